#pragma once
// The playing state of one open file (internal to the player): the input, the decoders, the
// queues and clocks, and the threads that read, decode and show.
//
// Threads: Open and the destructor run on the player's caller thread. Open starts the read
// thread and the decoding threads; StartPlayThread starts the display (play) thread, which runs
// until a quit request, then ends the other threads, closes the audio device and raises
// psStop. The input itself is closed by the destructor, after the player detached its probe.

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "engine/player/AudioDisplay.h"
#include "engine/library/EngineTypes.h"
#include "engine/library/FFmpegHandles.h"
#include "engine/library/FFmpegLoader.h"
#include "engine/player/FrameSink.h"
#include "engine/player/PlayerClock.h"
#include "engine/player/PlayerQueues.h"
#include "engine/player/PlayerTypes.h"

class TCustomPlayer;

// A decoder fed from a packet queue. DecodeFrame gives 1 with a frame (or subtitle), 0 when the
// decoder is drained for the current serial, -1 when aborted, 2 when the queue is empty and
// block is false.
class TPlayerDecoder {
public:
    void Init(TCodecContextPtr context, TPacketQueue* queue);
    void Close();
    int DecodeFrame(AVFrame* frame, AVSubtitle* sub, bool block);
    AVCodecContext* Context() const { return context_.get(); }
    int PacketSerial() const { return pktSerial_; }
    int Finished() const { return finished_.load(); }
    void SetStartPts(int64_t pts, AVRational timeBase) {
        startPts_ = pts;
        startPtsTb_ = timeBase;
    }
    // Until a packet at or after this time (the stream's time base) comes, pictures that no
    // other picture refers to are not decoded: after a seek they would only be thrown away.
    void SetSkipBefore(int64_t pts) { skipBefore_.store(pts); }
    int reorderPts = -1;

private:
    std::atomic<int64_t> skipBefore_{AV_NOPTS_VALUE};
    TCodecContextPtr context_;
    TPacketQueue* queue_ = nullptr;
    TPacketPtr packet_;
    int pktSerial_ = -1;
    std::atomic<int> finished_{0};
    bool packetPending_ = false;
    int64_t startPts_ = AV_NOPTS_VALUE;
    AVRational startPtsTb_{0, 1};
    int64_t nextPts_ = AV_NOPTS_VALUE;
    AVRational nextPtsTb_{0, 1};
};

// The audio format the device plays.
struct TAudioParams {
    int Freq = 0;
    AVChannelLayout Layout{};
    AVSampleFormat Fmt = AV_SAMPLE_FMT_S16;
    int FrameSize = 0;
    int BytesPerSec = 0;
};

class TVideoState {
    // Held for the state's whole life: the libraries stay loaded while a file is open.
    TLibraryUse libraryUse_;

public:
    TVideoState(TCustomPlayer& owner, TFrameSink* sink);
    ~TVideoState();
    TVideoState(const TVideoState&) = delete;
    TVideoState& operator=(const TVideoState&) = delete;

    // Opens the input and its streams and starts reading and decoding. False with the owner's
    // error set.
    bool Open(const std::string& fileName, bool paused);
    void StartPlayThread();
    // Asks the play thread to close everything and end (any thread; returns at once).
    void RequestQuit();
    bool PlayThreadDone() const { return playDone_.load(); }
    void JoinPlayThread();
    // Called by the input's interrupt check: true while reading should give up.
    bool AbortRequested() const { return abortRequest_.load(); }

    // Control (caller thread).
    bool Paused() const { return paused_.load(); }
    // Showing one picture (a step, or the picture at a position sought while paused), after
    // which it pauses again by itself.
    bool Stepping() const { return step_.load(); }
    // Goes on playing: out of a pause, or out of a step that would pause again.
    void Resume();
    // Toggles pause; with raise, psPause/psResume is raised.
    void TogglePause(bool raise);
    void StepToNextFrame();
    // pos/rel in microseconds (bytes with byBytes).
    void RequestSeek(int64_t pos, int64_t rel, bool byBytes);
    double MasterClock() const;
    bool SeekByBytes() const { return seekByBytes_; }
    int64_t Duration() const;     // microseconds, kNoTimestamp unknown
    int64_t StartOffset() const;  // the input's start time, microseconds (0 unknown)
    int64_t BitRate() const;
    int64_t BytePosition() const;  // of the picture on screen, -1 unknown
    AVFormatContext* Input() const { return ic_.get(); }
    bool IsStillImage() const { return still_; }
    int AudioStream() const { return audioStream_.load(); }
    int VideoStream() const { return videoStream_.load(); }
    int SubtitleStream() const { return subtitleStream_.load(); }
    // Switches the stream of index's type; false with the owner's error set.
    bool SwitchStream(AVMediaType type, int index);
    void ForceRefresh();
    // The picture on screen (a new reference; null before any). pts in microseconds.
    AVFrame* CurrentPicture(int64_t& pts);
    TPlayerStats Stats() const;
    int FrameWidth() const;
    int FrameHeight() const;

private:
    friend class TCustomPlayer;
    // Opening and closing streams (PlayerReadThread.cpp).
    bool OpenInput(const std::string& fileName);
    bool OpenComponent(int streamIndex);
    void CloseComponent(int streamIndex);
    void ReadLoop();
    void DoSeek();
    bool EnoughPackets() const;
    bool InputGone();
    // Decoding threads (PlayerVideoThread.cpp).
    void VideoLoop();
    void SubtitleLoop();
    bool QueuePicture(AVFrame* frame, double pts, double duration, int64_t pos, int serial);
    bool ConfigureVideoFilters(const AVFrame* frame);
    void FreeVideoFilters();
    // Audio (PlayerAudio.cpp).
    bool OpenAudio(const AVChannelLayout& layout, int sampleRate);
    void CloseAudio();
    static void AudioCallback(void* opaque, Uint8* stream, int len);
    void FillAudio(Uint8* stream, int len);
    int DecodeAudioFrame();
    int SynchronizeAudio(int samples);
    // Display (PlayerDisplay.cpp).
    void PlayLoop();
    void VideoRefresh(double& remaining);
    void VideoDisplay(bool newPicture);
    // Whether the sound display is drawn instead of pictures (any thread).
    bool SoundDisplayOn() const;
    // Draws the sound display when its time has come; remaining shrinks to the next drawing.
    void SoundRefresh(double& remaining);
    double ComputeTargetDelay(double delay) const;
    double FrameDuration(const TQueuedFrame& vp, const TQueuedFrame& next) const;
    void UpdateVideoPts(double pts, int64_t pos, int serial);
    void ReleaseSubtitles();
    // The subtitle due over picture vp (false when none).
    bool CurrentSubtitle(const TQueuedFrame& vp, TSinkSubtitle& out);
    void UpdatePosition();
    void PauseInternal();
    TSyncType MasterSyncType() const;
    void CloseStreams();
    void WakePlayThread();
    void HoldAudio();

    TCustomPlayer& owner_;
    TFrameSink* sink_;
    TSinkSubtitle subtitle_;  // display thread: the subtitle handed to the sink
    std::string fileName_;
    TInputContextPtr ic_;
    std::atomic<bool> abortRequest_{false};
    std::atomic<bool> quitRequest_{false};
    std::atomic<bool> playDone_{false};
    bool streamsClosed_ = false;
    bool sdlAudioInit_ = false;
    std::mutex streamLock_;  // stream switching against packet routing and display

    std::thread readThread_;
    std::thread videoThread_;
    std::thread subtitleThread_;
    std::thread playThread_;
    std::mutex readWaitLock_;
    std::condition_variable readWait_;  // wakes the read thread (seek, queue drained, quit)
    std::mutex playWaitLock_;
    std::condition_variable playWait_;  // wakes the play thread

    // Streams.
    std::atomic<int> audioStream_{-1};
    std::atomic<int> videoStream_{-1};
    std::atomic<int> subtitleStream_{-1};
    int lastStream_[AVMEDIA_TYPE_NB] = {-1, -1, -1, -1, -1};
    TPacketQueue audioq_, videoq_, subtitleq_;
    TFrameQueue pictq_{videoq_, kPictureQueueSize + 1, true};
    TFrameQueue subpq_{subtitleq_, kSubtitleQueueSize, false};
    TPlayerDecoder auddec_, viddec_, subdec_;
    TPlayerClock audclk_, vidclk_, extclk_;
    std::atomic<bool> subtitleChanged_{false};

    // Reading.
    std::atomic<bool> paused_{false};
    bool lastPaused_ = false;
    std::atomic<bool> step_{false};
    std::mutex seekLock_;
    bool seekReq_ = false;
    int64_t seekPos_ = 0;
    int64_t seekRel_ = 0;
    int seekFlags_ = 0;
    double seekRequestTime_ = 0;
    std::atomic<bool> seekPending_{false};
    std::atomic<bool> eof_{false};
    std::atomic<bool> readError_{false};
    bool seekByBytes_ = false;
    bool still_ = false;
    bool realtime_ = false;
    double maxFrameDuration_ = 3600.0;
    std::string lastExistCheckPath_;
    double lastExistCheck_ = 0;
    // Pictures and audio before the seek target of the seek's serial are decoded but not shown.
    std::atomic<int> seekSerialVideo_{-1};
    std::atomic<int> seekSerialAudio_{-1};
    std::atomic<double> seekTarget_{0};
    std::atomic<double> seekStarted_{0};

    // Video decoding and filters.
    TFilterGraphPtr graph_;
    AVFilterContext* filterIn_ = nullptr;
    AVFilterContext* filterOut_ = nullptr;
    int graphWidth_ = 0, graphHeight_ = 0, graphFormat_ = -1;
    std::atomic<int> frameWidth_{-1}, frameHeight_{-1};

    // Audio.
    SDL_AudioDeviceID audioDevice_ = 0;
    TAudioParams audioSrc_{}, audioTgt_{};
    TSwrContextPtr swr_;
    TFramePtr audioFrame_;
    uint8_t* audioBuf_ = nullptr;
    TAvBufferPtr audioBuf1_;
    unsigned audioBuf1Size_ = 0;
    unsigned audioBufSize_ = 0;
    unsigned audioBufIndex_ = 0;
    int audioWriteBufSize_ = 0;
    int audioHwBufSize_ = 0;
    double audioClock_ = NAN;
    int audioClockSerial_ = -1;
    double audioDiffCum_ = 0;
    double audioDiffAvgCoef_ = 0;
    double audioDiffThreshold_ = 0;
    int audioDiffAvgCount_ = 0;
    std::atomic<bool> audioOpen_{false};
    // While set, the audio callback plays silence and leaves the packets queued: after opening
    // and after a seek the sound waits for the first picture, so both start together.
    std::atomic<bool> audioHold_{false};
    std::atomic<double> audioHoldSince_{0};
    // The samples the sound display draws from, and when it draws next (play thread).
    TAudioDisplay audioDisplay_;
    double nextSound_ = 0;
    bool soundShown_ = false;

    // Display.
    std::mutex pauseLock_;
    std::atomic<double> frameTimerShift_{0};  // added to the frame timer after a pause
    double frameTimer_ = 0;
    std::atomic<bool> forceRefresh_{false};
    bool newPictureShown_ = false;
    std::atomic<bool> endRaised_{false};
    mutable std::mutex currentLock_;
    TFramePtr current_;  // the picture on screen (a reference)
    int64_t currentPTS_ = -1;
    bool everShown_ = false;
    mutable std::mutex statsLock_;
    TPlayerStats stats_;
    int64_t lastReported_ = kNoTimestamp;
    int64_t playTime_ = kNoTimestamp;
    int64_t startTime_ = kNoTimestamp;
    TSyncType syncType_ = TSyncType::stAudioMaster;
    bool framedrop_ = true;
    std::string vfilters_;
};
