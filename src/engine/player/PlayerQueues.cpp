#include "engine/player/PlayerQueues.h"

#include <algorithm>

TPacketQueue::~TPacketQueue() {
    std::lock_guard<std::mutex> guard(lock_);
    ClearLocked();
}

void TPacketQueue::ClearLocked() {
    for (Entry& e : packets_)
        ff::av_packet_free(&e.Packet);
    packets_.clear();
    bytes_ = 0;
    duration_ = 0;
}

void TPacketQueue::Start() {
    std::lock_guard<std::mutex> guard(lock_);
    abort_.store(false);
    serial_.fetch_add(1);
}

void TPacketQueue::Abort() {
    std::lock_guard<std::mutex> guard(lock_);
    abort_.store(true);
    cond_.notify_all();
}

bool TPacketQueue::Put(AVPacket* packet) {
    AVPacket* owned = ff::av_packet_alloc();
    if (!owned) {
        ff::av_packet_unref(packet);
        return false;
    }
    ff::av_packet_move_ref(owned, packet);
    std::lock_guard<std::mutex> guard(lock_);
    if (abort_.load()) {
        ff::av_packet_free(&owned);
        return false;
    }
    packets_.push_back({owned, serial_.load()});
    bytes_ += owned->size + static_cast<int64_t>(sizeof(Entry));
    duration_ += owned->duration;
    cond_.notify_one();
    return true;
}

bool TPacketQueue::PutNullPacket(int streamIndex) {
    TPacketPtr packet(ff::av_packet_alloc());
    if (!packet) return false;
    packet->stream_index = streamIndex;
    return Put(packet.get());
}

void TPacketQueue::Flush() {
    std::lock_guard<std::mutex> guard(lock_);
    ClearLocked();
    serial_.fetch_add(1);
    cond_.notify_all();
}

int TPacketQueue::Get(AVPacket* packet, bool block, int* serial) {
    std::unique_lock<std::mutex> guard(lock_);
    for (;;) {
        if (abort_.load()) return -1;
        if (!packets_.empty()) {
            Entry e = packets_.front();
            packets_.pop_front();
            bytes_ -= e.Packet->size + static_cast<int64_t>(sizeof(Entry));
            duration_ -= e.Packet->duration;
            ff::av_packet_move_ref(packet, e.Packet);
            ff::av_packet_free(&e.Packet);
            if (serial) *serial = e.Serial;
            return 1;
        }
        if (!block) return 0;
        cond_.wait(guard);
    }
}

int TPacketQueue::Packets() const {
    std::lock_guard<std::mutex> guard(lock_);
    return static_cast<int>(packets_.size());
}

int64_t TPacketQueue::Bytes() const {
    std::lock_guard<std::mutex> guard(lock_);
    return bytes_;
}

int64_t TPacketQueue::Duration() const {
    std::lock_guard<std::mutex> guard(lock_);
    return duration_;
}

TFrameQueue::TFrameQueue(TPacketQueue& packets, int maxSize, bool keepLast)
    : packets_(packets), maxSize_(std::min(maxSize, 4)), keepLast_(keepLast) {
    for (TQueuedFrame& f : queue_)
        f.Frame = ff::av_frame_alloc();
}

TFrameQueue::~TFrameQueue() {
    for (TQueuedFrame& f : queue_) {
        Unref(f);
        ff::av_frame_free(&f.Frame);
    }
}

void TFrameQueue::Unref(TQueuedFrame& frame) {
    if (frame.Frame) ff::av_frame_unref(frame.Frame);
    if (frame.HasSub) ff::avsubtitle_free(&frame.Sub);
    frame.HasSub = false;
    frame.SubText.clear();
}

void TFrameQueue::Signal() {
    std::lock_guard<std::mutex> guard(lock_);
    cond_.notify_all();
}

TQueuedFrame* TFrameQueue::PeekWritable() {
    std::unique_lock<std::mutex> guard(lock_);
    cond_.wait(guard, [&] { return size_ < maxSize_ || packets_.Aborted(); });
    if (packets_.Aborted()) return nullptr;
    return &queue_[windex_];
}

void TFrameQueue::Push() {
    std::lock_guard<std::mutex> guard(lock_);
    if (++windex_ == maxSize_) windex_ = 0;
    ++size_;
    cond_.notify_all();
}

TQueuedFrame* TFrameQueue::PeekReadable() {
    std::unique_lock<std::mutex> guard(lock_);
    cond_.wait(guard, [&] { return size_ - rindexShown_ > 0 || packets_.Aborted(); });
    if (packets_.Aborted()) return nullptr;
    return &queue_[(rindex_ + rindexShown_) % maxSize_];
}

TQueuedFrame* TFrameQueue::Peek() {
    std::lock_guard<std::mutex> guard(lock_);
    return &queue_[(rindex_ + rindexShown_) % maxSize_];
}

TQueuedFrame* TFrameQueue::PeekNext() {
    std::lock_guard<std::mutex> guard(lock_);
    return &queue_[(rindex_ + rindexShown_ + 1) % maxSize_];
}

TQueuedFrame* TFrameQueue::PeekLast() {
    std::lock_guard<std::mutex> guard(lock_);
    return &queue_[rindex_];
}

void TFrameQueue::Next() {
    std::lock_guard<std::mutex> guard(lock_);
    if (keepLast_ && !rindexShown_) {
        rindexShown_ = 1;
        return;
    }
    Unref(queue_[rindex_]);
    if (++rindex_ == maxSize_) rindex_ = 0;
    --size_;
    cond_.notify_all();
}

int TFrameQueue::Remaining() const {
    std::lock_guard<std::mutex> guard(lock_);
    return size_ - rindexShown_;
}

bool TFrameQueue::LastShown() const {
    std::lock_guard<std::mutex> guard(lock_);
    return rindexShown_ != 0;
}

int64_t TFrameQueue::LastPos() const {
    std::lock_guard<std::mutex> guard(lock_);
    const TQueuedFrame& f = queue_[rindex_];
    return rindexShown_ ? f.Pos : -1;
}
