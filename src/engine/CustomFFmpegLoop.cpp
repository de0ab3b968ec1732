// The conversion loop: choosing the input to read, reading, time-stamp corrections, limits,
// stream copy, end of input and join groups, pause and stop.
#include "engine/CustomFFmpeg.h"

void TCustomFFmpeg::RequestStop() {
    FBroken = true;
    SetPaused(false);
}

void TCustomFFmpeg::SetPaused(bool paused) {
    {
        std::lock_guard<std::mutex> lock(FPauseLock);
        FPaused = paused;
    }
    FPauseCond.notify_all();
}

// A paused task waits here, between packets, until it is resumed or stopped.
void TCustomFFmpeg::WaitWhilePaused() {
    if (!FPaused.load()) return;
    std::unique_lock<std::mutex> lock(FPauseLock);
    FPauseCond.wait(lock, [this] { return !FPaused.load() || FBroken.load(); });
}
