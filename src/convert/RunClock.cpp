#include "convert/RunClock.h"

#include <chrono>

TRunClock::TRunClock(Source now) : now_(std::move(now)) {
    if (!now_)
        now_ = [] {
            return std::chrono::duration_cast<std::chrono::milliseconds>(
                       std::chrono::steady_clock::now().time_since_epoch())
                .count();
        };
}

void TRunClock::Start() {
    started_ = true;
    origin_ = now_();
    pausedTotal_ = 0;
    pausedAt_ = -1;
}

int64_t TRunClock::Elapsed() const {
    if (!started_) return 0;
    return (pausedAt_ >= 0 ? pausedAt_ : now_()) - origin_ - pausedTotal_;
}

void TRunClock::Pause() {
    if (started_ && pausedAt_ < 0) pausedAt_ = now_();
}

void TRunClock::Resume() {
    if (pausedAt_ < 0) return;
    pausedTotal_ += now_() - pausedAt_;
    pausedAt_ = -1;
}
