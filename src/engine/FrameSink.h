#pragma once
// Where the player's pictures go. The engine has no windows: the application hands the player a
// frame sink (a widget that paints the picture scaled into its panel, a null sink that counts,
// ...). The player calls it on its display thread for every picture it puts on screen.
//
// Ownership: the caller owns the sink and keeps it alive until the player was stopped (Stop with
// wait, or the player destroyed). Threads: ShowFrame and ClearFrame run on the player's display
// thread, never on the caller's thread; the sink synchronises with its own user interface.

#include <atomic>
#include <cstdint>

extern "C" {
#include <libavutil/frame.h>
}

struct TSinkFrameInfo {
    // Display aspect ratio (width / height) the picture should be shown with; never 0.
    double AspectRatio = 1.0;
    int64_t PTS = -1;  // microseconds from the file start, -1 unknown
    bool VerticalFlip = false;
};

class TFrameSink {
public:
    virtual ~TFrameSink() = default;
    // A picture to show now. picture is valid only during the call (convert or reference it).
    virtual void ShowFrame(const AVFrame& picture, const TSinkFrameInfo& info) = 0;
    // Nothing to show any more (file closed, audio only): show the empty panel.
    virtual void ClearFrame() = 0;
};

// A sink that shows nothing and only counts (command-line player, tests).
class TNullFrameSink : public TFrameSink {
public:
    void ShowFrame(const AVFrame&, const TSinkFrameInfo& info) override {
        ++frames_;
        lastPTS_ = info.PTS;
    }
    void ClearFrame() override {}
    int64_t Frames() const { return frames_.load(); }
    int64_t LastPTS() const { return lastPTS_.load(); }

private:
    std::atomic<int64_t> frames_{0};
    std::atomic<int64_t> lastPTS_{-1};
};
