#pragma once
// A frame sink that shows the player's pictures in an SDL window of its own, scaled into the
// window with their aspect ratio kept (black bands where the window's shape differs).
//
// The sink runs one window thread that owns everything of SDL's video side: it initialises the
// video subsystem, creates the window, renderer and texture, uploads and presents the pictures
// and handles the window's events; nothing of SDL's video is touched on any other thread.
// ShowFrame (on the player's display thread) takes a reference to the picture, wakes the window
// thread and waits until the picture is on the window (at most kDrawWait), so that the player's
// timing and counters see the drawing's cost as they would if it drew itself; a window that
// stalls longer does not hold the player up (then the newest picture wins).
// yuv420p pictures go into a YUV texture as they are; other formats are converted once a frame
// with swscale to 32-bit RGB at the size they are shown. Subtitles are not drawn.
//
// Closing the window (or Escape or q in it) marks the sink closed (Closed()); the window stays
// until the sink is destroyed, so the owner stops the player and then lets the sink go.
//
// Ownership: the caller owns the sink; it must outlive the player's use of it (as every sink).
// Needs the player's libraries loaded (SDL2 is opened at run time through the loader). One
// window sink at a time in a process: SDL has one event queue, which its window thread drains.
// Threads: Start and the destructor on the owner's thread; ShowFrame and ClearFrame on the
// player's display thread; Closed, Presented and Error from any thread.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "engine/library/FFmpegHandles.h"
#include "engine/library/FFmpegLoader.h"
#include "engine/player/FrameSink.h"

class TSDLFrameSink : public TFrameSink {
public:
    TSDLFrameSink() = default;
    ~TSDLFrameSink() override;
    TSDLFrameSink(const TSDLFrameSink&) = delete;
    TSDLFrameSink& operator=(const TSDLFrameSink&) = delete;

    // Opens SDL's video output and prepares the (still hidden) window on the window thread.
    // width x height is the window's size; 0 x 0 sizes it to the first picture's display size.
    // False, with Error(), when there is no display to open or no window can be had; the sink
    // then shows nothing. Call once.
    bool Start(const std::string& title, int width = 0, int height = 0);

    void ShowFrame(const AVFrame& picture, const TSinkFrameInfo& info) override;
    void ClearFrame() override;

    // The window was closed by its user.
    bool Closed() const { return closed_.load(); }
    // Pictures drawn in the window so far (each counted once, however often it is redrawn).
    int64_t Presented() const { return presented_.load(); }
    std::string Error() const;

private:
    struct TWindow;
    void WindowLoop(std::string title, int width, int height);
    bool OpenWindow(TWindow& w, const std::string& title, int width, int height);
    void Wake();
    void Render(TWindow& w);
    bool UploadPicture(TWindow& w, int outWidth, int outHeight, SDL_Rect& place);

    std::thread thread_;
    TLibraryUse libraryUse_;
    std::atomic<uint32_t> wakeEvent_{0};  // SDL event type that wakes the window thread
    std::atomic<bool> quit_{false};
    std::atomic<bool> closed_{false};
    std::atomic<int64_t> presented_{0};

    // Start's hand-shake with the window thread.
    mutable std::mutex startLock_;
    std::condition_variable started_;
    int startResult_ = 0;  // 0 waiting, 1 opened, -1 failed
    std::string error_;

    // The picture handed over by the display thread, waiting for the window thread.
    std::mutex pendingLock_;
    TFramePtr pending_;
    TSinkFrameInfo pendingInfo_;
    bool hasPending_ = false;
    bool clearPending_ = false;
    bool wakePosted_ = false;
    uint64_t pendingSerial_ = 0;  // pictures handed over so far
    uint64_t drawnSerial_ = 0;    // the last of them that reached the window (or was passed over)
    std::condition_variable drawn_;
};
