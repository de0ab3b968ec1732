#include "engine/player/PlayerClock.h"

#include "engine/library/FFmpegApi.h"

double PlayerNow() {
    return static_cast<double>(ff::av_gettime_relative()) / 1000000.0;
}

void TPlayerClock::Init(const std::atomic<int>* queueSerial) {
    std::lock_guard<std::mutex> guard(lock_);
    queueSerial_ = queueSerial ? queueSerial : &ownSerial_;
    paused_ = false;
    pts_ = NAN;
    ptsDrift_ = 0;
    lastUpdated_ = PlayerNow();
    serial_ = -1;
}

double TPlayerClock::Get() const {
    std::lock_guard<std::mutex> guard(lock_);
    if (!queueSerial_ || queueSerial_->load() != serial_) return NAN;
    if (paused_) return pts_;
    return ptsDrift_ + PlayerNow();
}

void TPlayerClock::SetAt(double pts, int serial, double time) {
    std::lock_guard<std::mutex> guard(lock_);
    pts_ = pts;
    lastUpdated_ = time;
    ptsDrift_ = pts - time;
    serial_ = serial;
}

void TPlayerClock::Set(double pts, int serial) {
    SetAt(pts, serial, PlayerNow());
}

void TPlayerClock::SetPaused(bool paused) {
    std::lock_guard<std::mutex> guard(lock_);
    if (paused && !paused_) {
        // Freeze the time the clock shows now.
        if (!std::isnan(pts_)) pts_ = ptsDrift_ + PlayerNow();
    } else if (!paused && paused_) {
        lastUpdated_ = PlayerNow();
        ptsDrift_ = pts_ - lastUpdated_;
    }
    paused_ = paused;
}

bool TPlayerClock::Paused() const {
    std::lock_guard<std::mutex> guard(lock_);
    return paused_;
}

int TPlayerClock::Serial() const {
    std::lock_guard<std::mutex> guard(lock_);
    return serial_;
}

double TPlayerClock::LastUpdated() const {
    std::lock_guard<std::mutex> guard(lock_);
    return lastUpdated_;
}

void TPlayerClock::SyncTo(const TPlayerClock& other, double threshold) {
    double clock = Get();
    double otherClock = other.Get();
    if (!std::isnan(otherClock) && (std::isnan(clock) || std::fabs(clock - otherClock) > threshold))
        Set(otherClock, other.Serial());
}
