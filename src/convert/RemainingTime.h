#pragma once
// Remaining-time estimate of a conversion run: each running task's remaining time from its
// recent speed, and the run's, counting the tasks still queued by their durations and the number
// of tasks the run keeps going at once.
//
// A task's speed (media time converted per wall-clock time) is measured over the last quarter of
// its run so far (2 to 10 seconds of it), so a slow start drops out of the figure and a change of
// pace shows within seconds. Queued tasks are expected at the mean speed of the tasks measured so
// far; the run's end comes from playing the queue forward: whenever a running task ends, the next
// queued one takes its place.
//
// Plain value object, no clock of its own: callers pass the time in milliseconds from any fixed
// origin. One thread.

#include <cstdint>
#include <deque>
#include <vector>

class TRemainingTime {
public:
    // A task's own estimate is shown once it has run this long.
    static constexpr int64_t kShowAfterMs = 2000;

    // A new run starting at `nowMs`: the tasks' media durations in microseconds (<= 0 when
    // unknown), in start order, `runWidth` of them at a time.
    void Start(const std::vector<int64_t>& durations, int runWidth, int64_t nowMs = 0);
    // A progress report of task `task`: `done` of `total` microseconds converted.
    void Progress(int task, int64_t nowMs, int64_t done, int64_t total);
    // The end of a task; `completed` false when it failed or stopped short of its end.
    void Finished(int task, int64_t nowMs, bool completed = true);

    // Milliseconds left, or -1 while unknown (too early, or nothing measured yet).
    int64_t TaskRemainingMs(int task, int64_t nowMs) const;
    int64_t RunRemainingMs(int64_t nowMs) const;

private:
    struct Sample {
        int64_t ms;
        int64_t done;
    };
    struct Task {
        int64_t total = 0;
        bool started = false;
        bool finished = false;
        int64_t startMs = 0;  // when its slot became free: the run's start or the last end before it
        int64_t firstMs = 0;  // its first report
        std::deque<Sample> samples;
        double finishedRate = 0;  // media microseconds per millisecond over the whole task
    };
    // Media microseconds per wall-clock millisecond, 0 while not measured.
    double rateOf(const Task& t) const;
    double meanRate() const;
    int64_t leftOf(const Task& t, double rate, int64_t nowMs) const;

    std::vector<Task> tasks_;
    int runWidth_ = 1;
    int64_t lastFreeMs_ = 0;
};
