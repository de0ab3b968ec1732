// The remaining-time estimate on progress sequences as the task component reports them (one
// report per task every 200 ms), driven by speed profiles like those seen in real runs.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

#include "convert/RemainingTime.h"
#include "convert/RunClock.h"

namespace {
constexpr int64_t kSec = 1000000;  // media microseconds
constexpr int64_t kStepMs = 200;

// Speed of a task (media seconds per wall second) at a given position (media seconds).
using Profile = std::function<double(double position)>;

struct SimTask {
    int64_t total;
    Profile speed;
    int64_t done = 0;
    bool started = false;
    bool finished = false;
};

// Replays a run of `runWidth` tasks at a time, reporting to `estimate` every step; `observe`
// sees each instant (wall ms) and can read the estimate. Returns the run's wall time in ms.
int64_t Replay(TRemainingTime& estimate, std::vector<SimTask> tasks, int runWidth,
               const std::function<void(int64_t nowMs)>& observe) {
    std::vector<int64_t> durations;
    for (const SimTask& t : tasks)
        durations.push_back(t.total);
    estimate.Start(durations, runWidth);
    int64_t now = 0;
    for (;;) {
        int running = 0;
        for (SimTask& t : tasks)
            if (t.started && !t.finished) ++running;
        for (SimTask& t : tasks)
            if (!t.started && running < runWidth) {
                t.started = true;
                ++running;
            }
        if (running == 0) return now;
        now += kStepMs;
        for (size_t i = 0; i < tasks.size(); ++i) {
            SimTask& t = tasks[i];
            if (!t.started || t.finished) continue;
            const double speed = t.speed(static_cast<double>(t.done) / kSec);
            t.done = std::min(t.total, t.done + static_cast<int64_t>(speed * kStepMs * 1000));
            if (t.done >= t.total) {
                t.finished = true;
                estimate.Finished(static_cast<int>(i), now);
            } else {
                estimate.Progress(static_cast<int>(i), now, t.done, t.total);
            }
        }
        observe(now);
    }
}

// The run's remaining time estimated at `atMs` against the real one, as a fraction of the real.
double RunErrorAt(std::vector<SimTask> tasks, int runWidth, int64_t atMs) {
    TRemainingTime estimate;
    int64_t estimated = -2;
    const int64_t end = Replay(estimate, tasks, runWidth, [&](int64_t now) {
        if (now == atMs) estimated = estimate.RunRemainingMs(now);
    });
    EXPECT_GE(estimated, 0) << "no estimate at " << atMs << " ms";
    const double real = static_cast<double>(end - atMs);
    return (static_cast<double>(estimated) - real) / real;
}

Profile Steady(double speed) {
    return [speed](double) { return speed; };
}
}  // namespace

TEST(RemainingTime, SteadyTaskIsShownAfterTwoSecondsAndHolds) {
    TRemainingTime estimate;
    std::vector<SimTask> tasks{{30 * kSec, Steady(2.0)}};
    Replay(estimate, tasks, 1, [&](int64_t now) {
        const int64_t left = estimate.TaskRemainingMs(0, now);
        if (now < TRemainingTime::kShowAfterMs) {
            EXPECT_EQ(left, -1) << now;
            return;
        }
        if (now >= 15000) return;  // finished
        const int64_t real = 15000 - now;
        EXPECT_NEAR(left, real, 250) << now;
        EXPECT_NEAR(estimate.RunRemainingMs(now), real, 250) << now;
    });
}

TEST(RemainingTime, SlowStartDropsOutOfTheEstimate) {
    // The first 4 s of media go at real time (encoder warming up), the rest at 3x.
    auto speed = [](double pos) { return pos < 4.0 ? 1.0 : 3.0; };
    TRemainingTime estimate;
    std::vector<SimTask> tasks{{30 * kSec, speed}};
    const int64_t end = Replay(estimate, tasks, 1, [&](int64_t now) {
        // Once the slow part lies before the last quarter of the run so far, the estimate is right.
        if (now >= 6000 && now < 12000) {
            EXPECT_NEAR(estimate.TaskRemainingMs(0, now), 12667 - now, 400) << now;
        }
    });
    EXPECT_NEAR(end, 12667, kStepMs);
}

TEST(RemainingTime, SpeedUpAtTheEndIsFollowed) {
    // 48 s of media at 2x, the last 12 s (a still picture) at 6x: 26 s in all.
    auto speed = [](double pos) { return pos < 48.0 ? 2.0 : 6.0; };
    TRemainingTime estimate;
    std::vector<SimTask> tasks{{60 * kSec, speed}};
    int64_t after = -1;
    const int64_t end = Replay(estimate, tasks, 1, [&](int64_t now) {
        const int64_t left = estimate.TaskRemainingMs(0, now);
        // Until the change the estimate can't see it coming: it errs long, never short.
        if (now >= 2000 && now <= 24000) {
            EXPECT_NEAR(left, 30000 - now, 300) << now;
        }
        if (now == 25000) after = left;
    });
    EXPECT_NEAR(end, 26000, kStepMs);
    // One second into the fast part (6 s of media left) the estimate is below what the old
    // speed would give (3 s) and not below the truth (1 s).
    EXPECT_LT(after, 3000);
    EXPECT_GE(after, 1000 - kStepMs);
}

TEST(RemainingTime, ParallelTasksWithOneLongFileFollowTheSchedule) {
    // Two at a time, each at 2x: A (10 s) and B (60 s) start, C (10 s) takes A's place at 5 s and
    // ends at 10 s; B alone decides the end at 30 s. Dividing the work left by both tasks' speed
    // would say 17 s at 3 s; the schedule says 27 s.
    std::vector<SimTask> tasks{{10 * kSec, Steady(2.0)}, {60 * kSec, Steady(2.0)}, {10 * kSec, Steady(2.0)}};
    EXPECT_NEAR(RunErrorAt(tasks, 2, 3000), 0.0, 0.03);
    EXPECT_NEAR(RunErrorAt(tasks, 2, 7000), 0.0, 0.03);
    // Eight files of different lengths two at a time, estimated after a quarter of the run.
    std::vector<SimTask> batch;
    for (int i = 0; i < 8; ++i)
        batch.push_back({(20 + 5 * (i % 3)) * kSec, Steady(i % 2 ? 1.8 : 2.2)});
    TRemainingTime probe;
    const int64_t total = Replay(probe, batch, 2, [](int64_t) {});
    const int64_t quarter = total / 4 / kStepMs * kStepMs;
    EXPECT_NEAR(RunErrorAt(batch, 2, quarter), 0.0, 0.15);
}

// A run of one 100 s task at speed 1 paused after 30 s for 10 % and for 300 % of its length:
// on the run's clock the pause counts for nothing, so 5 s after Resume the estimate is within
// 15 % of the time truly left and it never jumps while paused.
TEST(RemainingTimePause, APauseCountsForNothing) {
    for (const int64_t pauseMs : {int64_t{10000}, int64_t{300000}}) {
        int64_t wall = 0;
        TRunClock clock([&wall] { return wall; });
        TRemainingTime estimate;
        clock.Start();
        estimate.Start({100 * kSec}, 1, clock.Elapsed());
        int64_t done = 0;
        auto work = [&](int64_t ms) {
            for (int64_t t = 0; t < ms; t += kStepMs) {
                wall += kStepMs;
                done += kStepMs * 1000;  // speed 1: a media millisecond per wall millisecond
                estimate.Progress(0, clock.Elapsed(), done, 100 * kSec);
            }
        };
        work(30000);
        const int64_t before = estimate.RunRemainingMs(clock.Elapsed());
        clock.Pause();
        wall += pauseMs;
        EXPECT_EQ(estimate.RunRemainingMs(clock.Elapsed()), before) << pauseMs;
        clock.Resume();
        work(5000);
        const double truth = 100000.0 - 35000.0;
        EXPECT_NEAR(estimate.RunRemainingMs(clock.Elapsed()), truth, 0.15 * truth) << pauseMs;
        EXPECT_EQ(clock.Elapsed(), 35000);
    }
}
