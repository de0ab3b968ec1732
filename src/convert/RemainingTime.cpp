#include "convert/RemainingTime.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <queue>

namespace {
constexpr int64_t kMinWindowMs = 2000;
constexpr int64_t kMaxWindowMs = 10000;
constexpr int64_t kMinSpanMs = 1000;  // a shorter measurement is too noisy to use
}  // namespace

void TRemainingTime::Start(const std::vector<int64_t>& durations, int runWidth, int64_t nowMs) {
    lastFreeMs_ = nowMs;
    tasks_.assign(durations.size(), Task{});
    for (size_t i = 0; i < durations.size(); ++i)
        tasks_[i].total = durations[i];
    runWidth_ = std::max(1, runWidth);
}

void TRemainingTime::Progress(int task, int64_t nowMs, int64_t done, int64_t total) {
    if (task < 0) return;
    if (task >= static_cast<int>(tasks_.size())) tasks_.resize(task + 1);
    Task& t = tasks_[task];
    if (t.finished) return;
    if (total > 0) t.total = total;
    if (!t.started) {
        t.started = true;
        t.startMs = lastFreeMs_;
        t.firstMs = nowMs;
    }
    if (!t.samples.empty() && nowMs <= t.samples.back().ms) t.samples.pop_back();
    t.samples.push_back(Sample{nowMs, done});
    while (t.samples.size() > 2 && nowMs - t.samples[1].ms >= kMaxWindowMs)
        t.samples.pop_front();
}

void TRemainingTime::Finished(int task, int64_t nowMs, bool completed) {
    if (task < 0 || task >= static_cast<int>(tasks_.size())) return;
    Task& t = tasks_[task];
    const int64_t done = completed ? t.total : (t.samples.empty() ? 0 : t.samples.back().done);
    if (t.started && nowMs - t.firstMs >= kMinSpanMs && done > 0)
        t.finishedRate = static_cast<double>(done) / static_cast<double>(nowMs - t.firstMs);
    t.started = true;
    t.finished = true;
    lastFreeMs_ = nowMs;
}

double TRemainingTime::rateOf(const Task& t) const {
    if (t.finished) return t.finishedRate;
    if (t.samples.size() < 2) return 0;
    const Sample& last = t.samples.back();
    const int64_t window = std::clamp((last.ms - t.firstMs) / 4, kMinWindowMs, kMaxWindowMs);
    // The oldest sample inside the window.
    auto from = std::lower_bound(t.samples.begin(), t.samples.end(), last.ms - window,
                                 [](const Sample& s, int64_t ms) { return s.ms < ms; });
    if (from != t.samples.begin() && last.ms - from->ms < window) --from;
    const int64_t span = last.ms - from->ms;
    if (span < kMinSpanMs || last.done <= from->done) return 0;
    return static_cast<double>(last.done - from->done) / static_cast<double>(span);
}

double TRemainingTime::meanRate() const {
    double sum = 0;
    int count = 0;
    for (const Task& t : tasks_) {
        const double r = rateOf(t);
        if (r > 0) {
            sum += r;
            ++count;
        }
    }
    return count ? sum / count : 0;
}

int64_t TRemainingTime::leftOf(const Task& t, double rate, int64_t nowMs) const {
    const int64_t done = t.samples.empty() ? 0 : t.samples.back().done;
    const int64_t since = t.samples.empty() ? 0 : nowMs - t.samples.back().ms;
    const double left = static_cast<double>(std::max<int64_t>(0, t.total - done)) / rate - since;
    return std::max<int64_t>(0, std::llround(left));
}

int64_t TRemainingTime::TaskRemainingMs(int task, int64_t nowMs) const {
    if (task < 0 || task >= static_cast<int>(tasks_.size())) return -1;
    const Task& t = tasks_[task];
    if (t.finished) return 0;
    if (!t.started || t.total <= 0 || t.samples.empty() || nowMs - t.startMs < kShowAfterMs) return -1;
    const double rate = rateOf(t);
    return rate > 0 ? leftOf(t, rate, nowMs) : -1;
}

int64_t TRemainingTime::RunRemainingMs(int64_t nowMs) const {
    const double mean = meanRate();
    if (mean <= 0) return -1;
    int64_t knownTotal = 0;
    int known = 0;
    for (const Task& t : tasks_)
        if (t.total > 0) {
            knownTotal += t.total;
            ++known;
        }
    const int64_t typical = known ? knownTotal / known : 0;
    // End times (from now) of the tasks holding the run's slots, earliest first.
    std::priority_queue<int64_t, std::vector<int64_t>, std::greater<>> slots;
    std::vector<int64_t> queued;
    for (const Task& t : tasks_) {
        if (t.finished) continue;
        if (!t.started) {
            queued.push_back(t.total > 0 ? t.total : typical);
            continue;
        }
        const double own = rateOf(t);
        slots.push(t.total > 0 ? leftOf(t, own > 0 ? own : mean, nowMs) : 0);
    }
    int64_t end = 0;
    for (int64_t duration : queued) {
        int64_t free = 0;
        if (static_cast<int>(slots.size()) >= runWidth_) {
            free = slots.top();
            slots.pop();
        }
        slots.push(free + std::llround(static_cast<double>(duration) / mean));
    }
    while (!slots.empty()) {
        end = std::max(end, slots.top());
        slots.pop();
    }
    return end;
}
