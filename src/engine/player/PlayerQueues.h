#pragma once
// The player's queues: packets between the read thread and the decoders, decoded pictures and
// subtitles between the decoders and the display thread.
//
// Every packet carries the serial its queue had when it was put; a seek flushes the queues and
// raises their serial, so a decoder or the display can tell data from before the seek and throw
// it away. Threads: any number of producers and consumers; Abort wakes everyone that waits.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>

#include "engine/library/FFmpegHandles.h"

class TPacketQueue {
public:
    TPacketQueue() = default;
    ~TPacketQueue();
    TPacketQueue(const TPacketQueue&) = delete;
    TPacketQueue& operator=(const TPacketQueue&) = delete;

    // Clears the abort mark and starts a new serial.
    void Start();
    void Abort();
    bool Aborted() const { return abort_.load(); }
    // Takes over the packet's reference (the packet is left blank). False when aborted.
    bool Put(AVPacket* packet);
    // An empty packet for the stream: the decoder drains what it holds.
    bool PutNullPacket(int streamIndex);
    // Drops every packet and starts a new serial (after a seek).
    void Flush();
    // 1 with a packet (moved into packet), 0 when empty and not blocking, -1 when aborted.
    int Get(AVPacket* packet, bool block, int* serial);

    int Packets() const;
    int64_t Bytes() const;
    int64_t Duration() const;  // in the stream's time base
    const std::atomic<int>& Serial() const { return serial_; }
    int SerialValue() const { return serial_.load(); }

private:
    struct Entry {
        AVPacket* Packet;
        int Serial;
    };
    void ClearLocked();

    mutable std::mutex lock_;
    std::condition_variable cond_;
    std::deque<Entry> packets_;
    int64_t bytes_ = 0;
    int64_t duration_ = 0;
    std::atomic<bool> abort_{true};
    std::atomic<int> serial_{0};
};

// One decoded picture or subtitle with its times (seconds) and the serial of its packets.
struct TQueuedFrame {
    AVFrame* Frame = nullptr;
    AVSubtitle Sub{};
    bool HasSub = false;
    std::string SubText;  // plain text of the subtitle's text rects
    int Serial = 0;
    double PTS = 0;
    double Duration = 0;
    int64_t Pos = -1;
    int Width = 0;
    int Height = 0;
    AVRational SAR{0, 1};
};

// A ring of decoded frames. With keepLast the picture on screen stays in the queue (the display
// may show it again, and CurrentFrame reads it) until the next one replaces it.
class TFrameQueue {
public:
    TFrameQueue(TPacketQueue& packets, int maxSize, bool keepLast);
    ~TFrameQueue();
    TFrameQueue(const TFrameQueue&) = delete;
    TFrameQueue& operator=(const TFrameQueue&) = delete;

    // Wakes threads waiting on the queue (after Abort of its packet queue).
    void Signal();
    // Producer: a free slot (blocks while the queue is full); null when aborted.
    TQueuedFrame* PeekWritable();
    void Push();
    // Consumer: the oldest unshown frame (blocks until there is one); null when aborted.
    TQueuedFrame* PeekReadable();
    TQueuedFrame* Peek();      // oldest unshown
    TQueuedFrame* PeekNext();  // the one after it
    TQueuedFrame* PeekLast();  // the one on screen
    // Releases the oldest (the shown one stays once with keepLast).
    void Next();
    // Frames not yet shown.
    int Remaining() const;
    bool LastShown() const;
    // Byte position of the frame on screen, -1 unknown.
    int64_t LastPos() const;

private:
    static void Unref(TQueuedFrame& frame);

    TPacketQueue& packets_;
    mutable std::mutex lock_;
    std::condition_variable cond_;
    TQueuedFrame queue_[4];
    int rindex_ = 0;
    int windex_ = 0;
    int size_ = 0;
    int maxSize_;
    bool keepLast_;
    int rindexShown_ = 0;
};

// Queue limits: the read thread pauses while all queues together hold more than this, ...
inline constexpr int64_t kMaxQueueSize = 15 * 1024 * 1024;
// ... or each stream has enough: more than this many audio bytes, or video/subtitle packets.
inline constexpr int64_t kMaxAudioQueueBytes = 327680;
inline constexpr int kMinFrames = 5;
// Decoded pictures waiting to be shown, and subtitles.
inline constexpr int kPictureQueueSize = 2;
inline constexpr int kSubtitleQueueSize = 4;
