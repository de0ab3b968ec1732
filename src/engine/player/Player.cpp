#include "engine/player/Player.h"

#include <chrono>

#include "engine/library/Dispatcher.h"
#include "engine/library/FFmpegLoader.h"
#include "engine/library/FFmpegLogger.h"
#include "engine/player/PlayerState.h"

TCustomPlayer::TCustomPlayer() : FAVProbe(std::make_unique<TAVProbe>()) {}

TCustomPlayer::~TCustomPlayer() {
    DisconnectEvents();
    Stop(true);
    if (FEventThread.joinable()) {
        FPlayEvent.Push(TPlayEventKind::pekQuit, 0);
        JoinEventThread(GetDispatcher().isMainThread());
    }
}

bool TCustomPlayer::LoadAVLib(const std::string& path) {
    FFLoader().SetLibraryPath(path);
    if (!FFLoader().Load(kPlayerLibraries)) {
        SetError(FFLoader().LastErrMsg());
        return false;
    }
    return true;
}

bool TCustomPlayer::UnloadAVLib() {
    Stop(true);
    if (FFLoader().Unload(kPlayerLibraries)) return true;
    SetError(FFLoader().LastErrMsg());
    return false;
}

bool TCustomPlayer::AVLibLoaded() const {
    return FFLoader().Loaded(kPlayerLibraries);
}

void TCustomPlayer::SetError(const std::string& message) {
    {
        std::lock_guard<std::mutex> guard(FErrLock);
        FLastErrMsg = message;
    }
    GetFFLogger().Log(this, TLogLevel::llError, message);
}

std::string TCustomPlayer::LastErrMsg() const {
    std::lock_guard<std::mutex> guard(FErrLock);
    return FLastErrMsg;
}

bool TCustomPlayer::SetFormat(const std::string& name) {
    if (!name.empty() && AVLibLoaded() && !ff::av_find_input_format(name.c_str())) {
        SetError("Unknown input format: " + name);
        return false;
    }
    FFormat = name;
    return true;
}

void TCustomPlayer::SetAudioVolume(TAudioVolume value) {
    FAudioVolume.store(value < 0 ? 0 : (value > kMaxAudioVolume ? kMaxAudioVolume : value));
}

void TCustomPlayer::SetAspectRatio(float value) {
    FAspectRatio.store(value < 0 ? 0 : value);
    std::lock_guard<std::mutex> guard(FDataLock);
    if (FVideoState) FVideoState->ForceRefresh();
}

bool TCustomPlayer::Open(const std::string& fileName, TFrameSink* sink, bool paused) {
    if (!AVLibLoaded()) {
        SetError("libav or libsdl not loaded.");
        return false;
    }
    Stop(true);
    {
        std::lock_guard<std::mutex> guard(FErrLock);
        FLastErrMsg.clear();
    }
    FCurrentPTS.store(-1);
    FLastPTS.store(-1);

    auto state = std::make_unique<TVideoState>(*this, sink);
    {
        std::lock_guard<std::mutex> guard(FDataLock);
        FOpening = state.get();
    }
    bool opened = state->Open(fileName, paused);
    {
        std::lock_guard<std::mutex> guard(FDataLock);
        FOpening = nullptr;
    }
    if (!opened) return false;

    FFileName = fileName;
    FFrameSink = sink;
    FAVProbe->SetFileHandle(state->Input());
    FRGBContext.Clear();
    FHookContext.Clear();
    Fframe_width = state->FrameWidth();
    Fframe_height = state->FrameHeight();

    TFileOpenEvent onFileOpen;
    {
        std::lock_guard<std::mutex> guard(FEventLock);
        onFileOpen = FOnFileOpen;
    }
    if (onFileOpen) {
        int64_t duration = state->IsStillImage() ? 0 : state->Duration();
        if (duration == kNoTimestamp) duration = -1;
        int width = Fscreen_width, height = Fscreen_height;
        auto raise = [&] { onFileOpen(this, duration, Fframe_width, Fframe_height, width, height); };
        Dispatcher& dispatcher = GetDispatcher();
        if (FTriggerEventInMainThread.load() && !dispatcher.isMainThread())
            dispatcher.send(raise);
        else
            raise();
        Fscreen_width = width;
        Fscreen_height = height;
    }

    FState.store(TPlayState::psPlay);
    FPlaying.store(true);
    StartEventThread();
    {
        std::lock_guard<std::mutex> guard(FDataLock);
        FVideoState = std::move(state);
        FVideoState->StartPlayThread();
    }
    return true;
}

void TCustomPlayer::Stop(bool waitForStop) {
    TVideoState* state;
    {
        std::lock_guard<std::mutex> guard(FDataLock);
        if (FOpening) FOpening->RequestQuit();  // Stop from another thread during Open
        state = FVideoState.get();
        if (state) state->RequestQuit();
    }
    if (!waitForStop) return;
    bool pump = GetDispatcher().isMainThread();
    if (state) {
        while (!state->PlayThreadDone()) {
            if (pump) GetDispatcher().pump();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        state->JoinPlayThread();
    }
    std::unique_ptr<TVideoState> closing;
    {
        std::lock_guard<std::mutex> guard(FDataLock);
        if (state) {
            FLastStats = FVideoState->Stats();
            closing = std::move(FVideoState);
        }
    }
    if (closing) {
        FAVProbe->SetFileHandle(nullptr);
        closing.reset();
    }
    FPlaying.store(false);
    FState.store(TPlayState::psStop);
}

void TCustomPlayer::Pause() {
    std::lock_guard<std::mutex> guard(FDataLock);
    if (FVideoState && !FVideoState->Paused()) FVideoState->TogglePause(true);
}

void TCustomPlayer::Resume() {
    std::lock_guard<std::mutex> guard(FDataLock);
    if (FVideoState) FVideoState->Resume();
}

void TCustomPlayer::TogglePause() {
    std::lock_guard<std::mutex> guard(FDataLock);
    if (FVideoState) FVideoState->TogglePause(true);
}

void TCustomPlayer::StepToNextFrame() {
    std::lock_guard<std::mutex> guard(FDataLock);
    if (FVideoState) FVideoState->StepToNextFrame();
}

void TCustomPlayer::ToggleAudioDisplay() {
    TShowAudio next = FShowAudio.load() == TShowAudio::saNone   ? TShowAudio::saWave
                      : FShowAudio.load() == TShowAudio::saWave ? TShowAudio::saRDFT
                                                                : TShowAudio::saNone;
    FShowAudio.store(next);
    std::lock_guard<std::mutex> guard(FDataLock);
    if (FVideoState) FVideoState->ForceRefresh();
}

void TCustomPlayer::Seek(TSeekFlags flags, int64_t pts) {
    std::lock_guard<std::mutex> guard(FDataLock);
    if (!FVideoState) return;
    if (flags.Contains(TSeekFlag::sfByte)) {
        FVideoState->RequestSeek(pts < 0 ? 0 : pts, 0, true);
        return;
    }
    int64_t duration = FVideoState->Duration();
    if (pts < 0) pts = 0;
    if (duration != kNoTimestamp && duration > 0 && pts > duration) pts = duration;
    FVideoState->RequestSeek(pts + FVideoState->StartOffset(), 0, false);
}

void TCustomPlayer::Seek(TSeekFlags flags, double delta) {
    std::lock_guard<std::mutex> guard(FDataLock);
    if (!FVideoState) return;
    if (flags.Contains(TSeekFlag::sfByte)) {
        int64_t pos = FVideoState->BytePosition();
        int64_t rate = FVideoState->BitRate();
        double bytesPerSec = rate > 0 ? static_cast<double>(rate) / 8.0 : 180000.0;
        int64_t shift = static_cast<int64_t>(delta * bytesPerSec);
        if (pos < 0) pos = 0;
        FVideoState->RequestSeek(pos + shift < 0 ? 0 : pos + shift, shift, true);
        return;
    }
    double clock = FVideoState->MasterClock();
    if (std::isnan(clock)) {
        int64_t current = FCurrentPTS.load();
        clock = static_cast<double>((current < 0 ? 0 : current) + FVideoState->StartOffset()) / 1e6;
    }
    double target = clock + delta;
    int64_t start = FVideoState->StartOffset();
    int64_t duration = FVideoState->Duration();
    int64_t pos = static_cast<int64_t>(target * 1e6);
    if (pos < start) pos = start;
    if (duration != kNoTimestamp && duration > 0 && pos > start + duration) pos = start + duration;
    FVideoState->RequestSeek(pos, static_cast<int64_t>(delta * 1e6), false);
}

TBitmap24 TCustomPlayer::CurrentFrame() {
    int64_t pts;
    return CurrentFrame(pts);
}

TBitmap24 TCustomPlayer::CurrentFrame(int64_t& pts) {
    pts = -1;
    TBitmap24 bitmap;
    TFramePtr picture;
    {
        std::lock_guard<std::mutex> guard(FDataLock);
        if (!FVideoState || FVideoState->VideoStream() < 0) return bitmap;
        bitmap.SetSize(FVideoState->FrameWidth(), FVideoState->FrameHeight());
        picture.reset(FVideoState->CurrentPicture(pts));
    }
    if (picture && !FRGBContext.ToBitmap(*picture, bitmap)) {
        bitmap.SetSize(picture->width, picture->height);
    }
    if (!picture) pts = -1;
    return bitmap;
}

void TCustomPlayer::UpdateScreenPosition() {
    std::lock_guard<std::mutex> guard(FDataLock);
    if (FVideoState) FVideoState->ForceRefresh();
}

int TCustomPlayer::AudioStreamIndex() const {
    std::lock_guard<std::mutex> guard(FDataLock);
    return FVideoState ? FVideoState->AudioStream() : -1;
}

int TCustomPlayer::VideoStreamIndex() const {
    std::lock_guard<std::mutex> guard(FDataLock);
    return FVideoState ? FVideoState->VideoStream() : -1;
}

int TCustomPlayer::SubtitleStreamIndex() const {
    std::lock_guard<std::mutex> guard(FDataLock);
    return FVideoState ? FVideoState->SubtitleStream() : -1;
}

void TCustomPlayer::SetAudioStreamIndex(int index) {
    std::lock_guard<std::mutex> guard(FDataLock);
    if (FVideoState) FVideoState->SwitchStream(AVMEDIA_TYPE_AUDIO, index);
}

void TCustomPlayer::SetVideoStreamIndex(int index) {
    std::lock_guard<std::mutex> guard(FDataLock);
    if (FVideoState) FVideoState->SwitchStream(AVMEDIA_TYPE_VIDEO, index);
}

void TCustomPlayer::SetSubtitleStreamIndex(int index) {
    std::lock_guard<std::mutex> guard(FDataLock);
    if (FVideoState) FVideoState->SwitchStream(AVMEDIA_TYPE_SUBTITLE, index);
}

bool TCustomPlayer::Paused() const {
    std::lock_guard<std::mutex> guard(FDataLock);
    // A step shows one picture and pauses again: to the user it is paused throughout.
    return !FVideoState || FVideoState->Paused() || FVideoState->Stepping();
}

TPlayerStats TCustomPlayer::Stats() const {
    std::lock_guard<std::mutex> guard(FDataLock);
    return FVideoState ? FVideoState->Stats() : FLastStats;
}

void TCustomPlayer::SetOnFileOpen(TFileOpenEvent handler) {
    std::lock_guard<std::mutex> guard(FEventLock);
    FOnFileOpen = std::move(handler);
}

void TCustomPlayer::SetOnPosition(TPositionEvent handler) {
    std::lock_guard<std::mutex> guard(FEventLock);
    FOnPosition = std::move(handler);
}

void TCustomPlayer::SetOnState(TStateEvent handler) {
    std::lock_guard<std::mutex> guard(FEventLock);
    FOnState = std::move(handler);
}

void TCustomPlayer::SetOnHook(THookEvent handler) {
    std::lock_guard<std::mutex> guard(FEventLock);
    FOnHook = std::move(handler);
}

void TCustomPlayer::DisconnectEvents() {
    std::lock_guard<std::mutex> guard(FEventLock);
    FOnFileOpen = nullptr;
    FOnPosition = nullptr;
    FOnState = nullptr;
    FOnHook = nullptr;
}

void TCustomPlayer::QueuePosition(int64_t pts) {
    FCurrentPTS.store(pts);
    int64_t last = FLastPTS.load();
    if (last >= 0 && pts >= 0 && (pts > last ? pts - last : last - pts) <= 10000) return;
    bool connected;
    {
        std::lock_guard<std::mutex> guard(FEventLock);
        connected = static_cast<bool>(FOnPosition);
    }
    if (!connected) return;
    FLastPTS.store(pts);
    FPlayEvent.Push(TPlayEventKind::pekPosition, pts);
}

void TCustomPlayer::QueueState(TPlayState state) {
    FState.store(state);
    if (state == TPlayState::psStop) FPlaying.store(false);
    bool connected;
    {
        std::lock_guard<std::mutex> guard(FEventLock);
        connected = static_cast<bool>(FOnState);
    }
    if (connected) FPlayEvent.Push(TPlayEventKind::pekState, static_cast<int64_t>(state));
}

bool TCustomPlayer::HasHook() const {
    std::lock_guard<std::mutex> guard(FEventLock);
    return static_cast<bool>(FOnHook);
}

void TCustomPlayer::RunHook(AVFrame& picture, int64_t pts) {
    THookEvent hook;
    {
        std::lock_guard<std::mutex> guard(FEventLock);
        hook = FOnHook;
    }
    if (!hook) return;
    if (!FHookContext.ToBitmap(picture, FHookBitmap)) {
        SetError("Cannot initialize the toRGB conversion context");
        return;
    }
    try {
        hook(this, FHookBitmap, pts);
    } catch (const std::exception& e) {
        SetError(std::string("Error occurs OnHook: ") + e.what());
        return;
    }
    if (FHookBitmap.Width() != picture.width || FHookBitmap.Height() != picture.height) return;
    if (ff::av_frame_make_writable(&picture) < 0 || !FHookContext.FromBitmap(FHookBitmap, picture))
        SetError("Cannot initialize the fromRGB conversion context");
}

void TCustomPlayer::StartEventThread() {
    if (FEventThread.joinable()) return;
    FEventThreadDone.store(false);
    FEventThread = std::thread([this] { EventLoop(); });
}

void TCustomPlayer::JoinEventThread(bool pump) {
    if (!FEventThread.joinable()) return;
    while (!FEventThreadDone.load()) {
        if (pump) GetDispatcher().pump();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    FEventThread.join();
}

void TCustomPlayer::EventLoop() {
    for (;;) {
        TPlayEventEntry entry;
        if (!FPlayEvent.WaitPop(entry, 100)) continue;
        if (entry.Kind == TPlayEventKind::pekQuit) break;
        RaiseEvent(entry);
    }
    FEventThreadDone.store(true);
}

void TCustomPlayer::RaiseEvent(const TPlayEventEntry& entry) {
    std::function<void()> raise;
    {
        std::lock_guard<std::mutex> guard(FEventLock);
        if (entry.Kind == TPlayEventKind::pekPosition) {
            FLastPTS.store(entry.Value);
            if (FOnPosition)
                raise = [handler = FOnPosition, this, value = entry.Value] { handler(this, value); };
        } else {
            auto state = static_cast<TPlayState>(entry.Value);
            if (FOnState) raise = [handler = FOnState, this, state] { handler(this, state); };
        }
    }
    if (!raise) return;
    Dispatcher& dispatcher = GetDispatcher();
    if (FTriggerEventInMainThread.load() && !dispatcher.isMainThread())
        dispatcher.send(raise);
    else
        raise();
}
