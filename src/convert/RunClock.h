#pragma once
// The time of a conversion run in milliseconds without the time it spent paused. The run's
// remaining-time estimate measures its rates on this clock, so a pause neither slows the rates
// down nor shows up as work still to come. The wall clock is a seam, so tests can drive it.
// One thread.

#include <cstdint>
#include <functional>

class TRunClock {
public:
    // Milliseconds from any fixed origin; a steady clock when none is given.
    using Source = std::function<int64_t()>;
    explicit TRunClock(Source now = nullptr);

    void Start();  // zero, running
    bool IsValid() const { return started_; }
    int64_t Elapsed() const;  // stands still while paused
    void Pause();
    void Resume();
    bool IsPaused() const { return pausedAt_ >= 0; }

private:
    Source now_;
    bool started_ = false;
    int64_t origin_ = 0;
    int64_t pausedTotal_ = 0;
    int64_t pausedAt_ = -1;
};
