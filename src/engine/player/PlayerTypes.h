#pragma once
// Values shared by the player (Player.h), its playing threads and its users: play states and
// options, the event queue between the playing threads and the event thread, and the playback
// counters that the command-line player prints.

#include <condition_variable>
#include <cstdint>
#include <mutex>

enum class TPlayState { psPlay, psPause, psResume, psStep, psStop, psEnd };
enum class TRepeatType { rtNone, rtStop, rtLoop };
enum class TShowAudio { saNone, saWave, saRDFT };
enum class TAudioDriver { adDefault, adDirectSound, adWaveOut };
enum class TVideoDriver { vdDefault, vdDirectDraw, vdGDI };
// The clock the other streams follow (av_sync_type).
enum class TSyncType { stAudioMaster, stVideoMaster, stExternalClock };

// Audio volume, 0 (silent) to 128 (full).
using TAudioVolume = int;
inline constexpr TAudioVolume kMaxAudioVolume = 128;

// Kinds of the entries of the event queue.
enum class TPlayEventKind : int32_t { pekPosition = 1, pekState = 2, pekQuit = 3 };

struct TPlayEventEntry {
    TPlayEventKind Kind = TPlayEventKind::pekPosition;
    int32_t Spare = 0;
    int64_t Value = 0;  // position in microseconds, or a TPlayState
};

// The ring of ten events between the playing threads (producers) and the event thread
// (consumer). An event of the same kind as the newest queued one replaces it, so positions
// coalesce; when the ring is full the oldest entry is dropped. Thread-safe.
class TPlayEvent {
public:
    static constexpr int kCapacity = 10;

    void Push(TPlayEventKind kind, int64_t value);
    // Takes the oldest entry; false when the queue is empty.
    bool Pop(TPlayEventEntry& entry);
    // Waits up to timeoutMs for an entry and takes it; false on time-out.
    bool WaitPop(TPlayEventEntry& entry, int timeoutMs);
    int Count() const;
    void Clear();

private:
    mutable std::mutex Lock;
    std::condition_variable Event;  // signalled when the queue is not empty
    int32_t Header = 0;             // index of the oldest entry
    int32_t Tailer = 0;             // index where the next entry goes
    int32_t Size = 0;
    TPlayEventEntry Events[kCapacity];
};

// Counters of one opened file, for statistics and benchmarks. Times in microseconds.
struct TPlayerStats {
    int64_t FramesShown = 0;
    int64_t FramesDropped = 0;  // decoded pictures released unshown because they were late
    // Largest difference between the time of the picture put on screen and the audio clock at
    // that moment (only while audio plays and the picture belongs to the current position).
    int64_t MaxAVGap = 0;
    int64_t AVGapSamples = 0;
    // Pictures shown more than kAVGapBound away from the audio clock. One picture held back by
    // the scheduler makes the largest gap jump; only a drift makes many pictures late.
    static constexpr int64_t kAVGapBound = 45000;
    int64_t AVGapsOverBound = 0;
    int64_t SeekCount = 0;         // seeks that reached their first picture
    int64_t LastSeekLatency = -1;  // from Seek to the first picture at the new position
    int64_t MaxSeekLatency = -1;
    int64_t LastSeekFramePTS = -1;  // time of that picture, microseconds from the start
    // Times of the first dropped pictures (microseconds from the start), and whether each was
    // dropped before it was queued (late already when it was decoded).
    static constexpr int kDropTimes = 8;
    int64_t DropTimes[kDropTimes] = {};
    bool DropEarly[kDropTimes] = {};
};
