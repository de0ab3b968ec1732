// The playing state's life and control: opening, the quit request, pause and step, seek
// requests, and what the player reads back (clocks, the picture on screen, counters).

#include "engine/player/PlayerState.h"

#include "engine/library/FFmpegLogger.h"
#include "engine/player/Player.h"

TVideoState::TVideoState(TCustomPlayer& owner, TFrameSink* sink) : owner_(owner), sink_(sink) {
    libraryUse_.Acquire();
    audclk_.Init(&audioq_.Serial());
    vidclk_.Init(&videoq_.Serial());
    extclk_.Init(nullptr);
}

TVideoState::~TVideoState() {
    RequestQuit();
    JoinPlayThread();
    CloseStreams();
    ic_.reset();
}

bool TVideoState::Open(const std::string& fileName, bool paused) {
    if (ff::SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        owner_.SetError(std::string("Could not initialize SDL: ") + ff::SDL_GetError());
        return false;
    }
    sdlAudioInit_ = true;
    if (ff::SDL_GetCurrentAudioDriver && ff::SDL_GetCurrentAudioDriver())
        GetFFLogger().Log(&owner_, TLogLevel::llVerbose,
                          std::string("using audio driver: ") + ff::SDL_GetCurrentAudioDriver() + "\n");
    if (!OpenInput(fileName)) return false;
    HoldAudio();
    if (paused) {
        // Show the first picture, then pause.
        step_.store(true);
    }
    if (sink_ && videoStream_.load() < 0) sink_->ClearFrame();
    return true;
}

void TVideoState::StartPlayThread() {
    readThread_ = std::thread([this] { ReadLoop(); });
    playThread_ = std::thread([this] { PlayLoop(); });
}

void TVideoState::RequestQuit() {
    abortRequest_.store(true);
    quitRequest_.store(true);
    readWait_.notify_all();
    WakePlayThread();
}

void TVideoState::WakePlayThread() {
    std::lock_guard<std::mutex> guard(playWaitLock_);
    playWait_.notify_all();
}

void TVideoState::HoldAudio() {
    if (videoStream_.load() < 0 || audioStream_.load() < 0) return;
    audioHoldSince_.store(PlayerNow());
    audioHold_.store(true);
}

void TVideoState::JoinPlayThread() {
    if (playThread_.joinable()) playThread_.join();
}

void TVideoState::CloseStreams() {
    if (streamsClosed_) return;
    streamsClosed_ = true;
    abortRequest_.store(true);
    readWait_.notify_all();
    if (readThread_.joinable()) readThread_.join();
    {
        std::lock_guard<std::mutex> guard(streamLock_);
        CloseComponent(audioStream_.load());
        CloseComponent(videoStream_.load());
        CloseComponent(subtitleStream_.load());
    }
    FreeVideoFilters();
    if (sdlAudioInit_) {
        ff::SDL_QuitSubSystem(SDL_INIT_AUDIO);
        sdlAudioInit_ = false;
    }
}

TSyncType TVideoState::MasterSyncType() const {
    if (syncType_ == TSyncType::stVideoMaster)
        return videoStream_.load() >= 0 ? TSyncType::stVideoMaster : TSyncType::stAudioMaster;
    if (syncType_ == TSyncType::stAudioMaster)
        return audioStream_.load() >= 0 ? TSyncType::stAudioMaster : TSyncType::stExternalClock;
    return TSyncType::stExternalClock;
}

double TVideoState::MasterClock() const {
    switch (MasterSyncType()) {
        case TSyncType::stVideoMaster:
            return vidclk_.Get();
        case TSyncType::stAudioMaster:
            return audclk_.Get();
        default:
            return extclk_.Get();
    }
}

void TVideoState::TogglePause(bool raise) {
    std::lock_guard<std::mutex> pauseGuard(pauseLock_);
    bool paused = paused_.load();
    if (paused) {
        // The time spent paused does not count as lateness of the next picture (the play
        // thread moves its frame timer by this much).
        double shift = PlayerNow() - vidclk_.LastUpdated();
        double expected = frameTimerShift_.load();
        while (!frameTimerShift_.compare_exchange_weak(expected, expected + shift)) {
        }
        vidclk_.Set(vidclk_.Get(), vidclk_.Serial());
    }
    extclk_.Set(extclk_.Get(), extclk_.Serial());
    paused = !paused;
    audclk_.SetPaused(paused);
    vidclk_.SetPaused(paused);
    extclk_.SetPaused(paused);
    paused_.store(paused);
    if (raise) {
        step_.store(false);
        owner_.QueueState(paused ? TPlayState::psPause : TPlayState::psResume);
    }
    readWait_.notify_all();
    WakePlayThread();
}

void TVideoState::Resume() {
    if (paused_.load()) {
        TogglePause(true);
    } else if (step_.exchange(false)) {
        owner_.QueueState(TPlayState::psResume);
        WakePlayThread();
    }
}

void TVideoState::PauseInternal() {
    if (!paused_.load()) TogglePause(false);
}

void TVideoState::StepToNextFrame() {
    if (paused_.load()) TogglePause(false);
    if (!step_.exchange(true)) owner_.QueueState(TPlayState::psStep);
    WakePlayThread();
}

void TVideoState::RequestSeek(int64_t pos, int64_t rel, bool byBytes) {
    {
        std::lock_guard<std::mutex> guard(seekLock_);
        seekPos_ = pos;
        seekRel_ = rel;
        seekFlags_ = byBytes ? AVSEEK_FLAG_BYTE : 0;
        seekReq_ = true;
    }
    seekStarted_.store(PlayerNow());
    seekPending_.store(true);
    readWait_.notify_all();
}

int64_t TVideoState::Duration() const {
    if (!ic_ || ic_->duration == AV_NOPTS_VALUE) return kNoTimestamp;
    return ic_->duration;
}

int64_t TVideoState::StartOffset() const {
    if (!ic_ || ic_->start_time == AV_NOPTS_VALUE) return 0;
    return ic_->start_time;
}

int64_t TVideoState::BitRate() const {
    return ic_ ? ic_->bit_rate : 0;
}

int64_t TVideoState::BytePosition() const {
    int64_t pos = -1;
    if (videoStream_.load() >= 0) pos = pictq_.LastPos();
    return pos;
}

void TVideoState::ForceRefresh() {
    forceRefresh_.store(true);
    WakePlayThread();
}

AVFrame* TVideoState::CurrentPicture(int64_t& pts) {
    std::lock_guard<std::mutex> guard(currentLock_);
    if (!current_) {
        pts = -1;
        return nullptr;
    }
    pts = currentPTS_;
    return ff::av_frame_clone(current_.get());
}

TPlayerStats TVideoState::Stats() const {
    std::lock_guard<std::mutex> guard(statsLock_);
    return stats_;
}

int TVideoState::FrameWidth() const {
    return videoStream_.load() >= 0 ? frameWidth_.load() : -1;
}

int TVideoState::FrameHeight() const {
    return videoStream_.load() >= 0 ? frameHeight_.load() : -1;
}
