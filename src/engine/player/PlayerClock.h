#pragma once
// The player's clocks: a clock is a time (seconds) that runs on from the moment it was set, at
// the speed of the wall clock, unless paused. The audio clock is set by the audio callback, the
// video clock by the display thread, the external clock follows whichever is set. A clock
// belongs to one queue serial: after a seek, a clock whose serial is not the queue's current one
// reads as unknown (NaN).
//
// Threads: set and read from any thread (a small lock guards each clock).

#include <atomic>
#include <cmath>
#include <mutex>

// The wall clock in seconds (monotonic).
double PlayerNow();

class TPlayerClock {
public:
    // queueSerial: the serial of the packet queue the clock follows (null: its own).
    void Init(const std::atomic<int>* queueSerial);
    double Get() const;
    void Set(double pts, int serial);
    void SetAt(double pts, int serial, double time);
    void SetPaused(bool paused);
    bool Paused() const;
    int Serial() const;
    double LastUpdated() const;
    // Sets this clock to other's time when they differ by more than threshold seconds (or this
    // one is unknown).
    void SyncTo(const TPlayerClock& other, double threshold = 10.0);

private:
    mutable std::mutex lock_;
    double pts_ = NAN;
    double ptsDrift_ = 0;
    double lastUpdated_ = 0;
    int serial_ = -1;
    bool paused_ = false;
    std::atomic<int> ownSerial_{0};
    const std::atomic<int>* queueSerial_ = nullptr;
};

// Display-timing constants (seconds).
inline constexpr double kSyncThresholdMin = 0.04;
inline constexpr double kSyncThresholdMax = 0.1;
inline constexpr double kSyncFrameDupThreshold = 0.1;
// Below kSyncThresholdMin, a drift beyond this is corrected gently (pictures a little shorter
// or longer), so that a slowly drifting sound clock never makes the display drop a picture.
inline constexpr double kSyncGentle = 0.015;
inline constexpr double kNoSyncThreshold = 10.0;
inline constexpr double kRefreshRate = 0.01;
// The audio clock difference is averaged over this many callbacks.
inline constexpr int kAudioDiffAvgNb = 20;
inline constexpr double kSampleCorrectionPercentMax = 10.0;
