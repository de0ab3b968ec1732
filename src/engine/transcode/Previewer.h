#pragma once
// The preview window a running conversion paints its pictures into.
//
// The engine has no windows: the application installs a factory of preview sinks (a small
// stay-on-top window showing the picture, with the time as its caption). TPreviewer creates its
// sink on first use and paints through it on the main thread (Dispatcher::send). Without an
// installed factory, or once the user closed the window, PaintFrame returns false and the
// conversion switches its preview off.
//
// Ownership: a task's core owns its TPreviewer; the previewer owns its sink and destroys it on
// the main thread. Threads: PaintFrame is called by one conversion thread; the sink runs on the
// main thread only.

#include <cstdint>
#include <functional>
#include <memory>

#include "engine/library/Bitmap24.h"

class TPreviewSink {
public:
    virtual ~TPreviewSink() = default;
    // Shows the picture; false when the window has been closed.
    virtual bool Paint(const TBitmap24& bitmap, int frameNumber, int64_t pts) = 0;
};

using TPreviewSinkFactory = std::function<std::unique_ptr<TPreviewSink>()>;

// Installs the application's factory (called on the main thread); an empty one removes it.
void InstallPreviewSinkFactory(TPreviewSinkFactory factory);

class TPreviewer {
public:
    TPreviewer() = default;
    ~TPreviewer();
    TPreviewer(const TPreviewer&) = delete;
    TPreviewer& operator=(const TPreviewer&) = delete;

    // Paints the picture with its frame number and time (microseconds); false at once when the
    // window was closed or none can be made.
    bool PaintFrame(const TBitmap24& bitmap, int frameNumber, int64_t pts);
    bool Closed() const { return closed_; }
    int FrameNumber() const { return frameNumber_; }
    int64_t PTS() const { return pts_; }

private:
    std::unique_ptr<TPreviewSink> sink_;
    bool closed_ = false;
    int frameNumber_ = 0;
    int64_t pts_ = 0;
};
