// The player's play thread: shows each picture when its time has come against the master clock,
// drops pictures that come too late, keeps subtitles in step, reports the position and the end,
// and carries out the play range (PlayTime with RepeatType).

#include <algorithm>
#include <chrono>
#include <cmath>

#include "engine/library/FFmpegLogger.h"
#include "engine/player/Player.h"
#include "engine/player/PlayerState.h"

void TVideoState::PlayLoop() {
    // Opened paused, or paused before this thread got going: the state says so.
    owner_.QueueState(paused_.load() ? TPlayState::psPause : TPlayState::psPlay);
    try {
        while (!quitRequest_.load()) {
            double remaining = kRefreshRate;
            SoundRefresh(remaining);
            if (!paused_.load() || forceRefresh_.load()) VideoRefresh(remaining);
            UpdatePosition();
            if (quitRequest_.load()) break;
            std::unique_lock<std::mutex> guard(playWaitLock_);
            playWait_.wait_for(guard, std::chrono::microseconds(static_cast<int64_t>(remaining * 1e6)));
        }
    } catch (const std::exception& e) {
        GetFFLogger().Log(&owner_, TLogLevel::llFatal, std::string("PlayThread Exception: ") + e.what());
    }
    CloseStreams();
    if (sink_) sink_->ClearFrame();
    {
        std::lock_guard<std::mutex> guard(currentLock_);
        current_.reset();
    }
    owner_.QueueState(TPlayState::psStop);
    playDone_.store(true);
}

double TVideoState::FrameDuration(const TQueuedFrame& vp, const TQueuedFrame& next) const {
    if (vp.Serial != next.Serial) return 0.0;
    double duration = next.PTS - vp.PTS;
    if (std::isnan(duration) || duration <= 0 || duration > maxFrameDuration_) return vp.Duration;
    return duration;
}

double TVideoState::ComputeTargetDelay(double delay) const {
    if (MasterSyncType() == TSyncType::stVideoMaster) return delay;
    // Shorten or lengthen the delay so that the video catches up with the master clock.
    double diff = vidclk_.Get() - MasterClock();
    double threshold = std::max(kSyncThresholdMin, std::min(kSyncThresholdMax, delay));
    if (!std::isnan(diff) && std::fabs(diff) < maxFrameDuration_) {
        if (diff <= -threshold)
            delay = std::max(0.0, delay + diff);
        else if (diff >= threshold && delay > kSyncFrameDupThreshold)
            delay = delay + diff;
        else if (diff >= threshold)
            delay = 2 * delay;
        else if (diff <= -kSyncGentle)
            // A sound clock that runs a little fast (a sound card's own crystal) is followed
            // by showing pictures up to a tenth shorter, long before the video falls far enough
            // behind for the catch-up above, which drops a picture.
            delay = std::max(delay * 0.9, delay + diff);
        else if (diff >= kSyncGentle)
            delay = std::min(delay * 1.1, delay + diff);
    }
    return delay;
}

void TVideoState::UpdateVideoPts(double pts, int64_t, int serial) {
    vidclk_.Set(pts, serial);
    extclk_.SyncTo(vidclk_);
}

void TVideoState::ReleaseSubtitles() {
    if (subtitleChanged_.exchange(false)) {
        while (subpq_.Remaining() > 0)
            subpq_.Next();
        return;
    }
    if (subtitleStream_.load() < 0) return;
    double videoTime = vidclk_.Get();
    while (subpq_.Remaining() > 0) {
        TQueuedFrame* sp = subpq_.Peek();
        TQueuedFrame* next = subpq_.Remaining() > 1 ? subpq_.PeekNext() : nullptr;
        bool old = sp->Serial != subtitleq_.SerialValue();
        bool ended = !std::isnan(videoTime) && videoTime > sp->PTS + sp->Sub.end_display_time / 1000.0;
        bool replaced =
            next && !std::isnan(videoTime) && videoTime > next->PTS + next->Sub.start_display_time / 1000.0;
        if (!(old || ended || replaced)) break;
        subpq_.Next();
    }
}

bool TVideoState::CurrentSubtitle(const TQueuedFrame& vp, TSinkSubtitle& out) {
    if (subtitleStream_.load() < 0 || subpq_.Remaining() == 0 || std::isnan(vp.PTS)) return false;
    const TQueuedFrame* sp = subpq_.Peek();
    if (sp->Serial != subtitleq_.SerialValue() || !sp->HasSub) return false;
    if (vp.PTS < sp->PTS + sp->Sub.start_display_time / 1000.0) return false;
    // No end time: shown until the next subtitle replaces it.
    if (sp->Sub.end_display_time > sp->Sub.start_display_time &&
        vp.PTS > sp->PTS + sp->Sub.end_display_time / 1000.0)
        return false;
    out.CanvasWidth = sp->Width > 0 ? sp->Width : vp.Width;
    out.CanvasHeight = sp->Height > 0 ? sp->Height : vp.Height;
    out.Pictures.clear();
    for (unsigned i = 0; i < sp->Sub.num_rects; ++i) {
        const AVSubtitleRect* rect = sp->Sub.rects[i];
        if (rect->type == SUBTITLE_BITMAP && rect->w > 0 && rect->h > 0 && rect->data[0] && rect->data[1])
            out.Pictures.push_back(rect);
    }
    out.Text = sp->SubText;
    return !out.Pictures.empty() || !out.Text.empty();
}

void TVideoState::VideoRefresh(double& remaining) {
    double shift = frameTimerShift_.exchange(0);
    frameTimer_ += shift;
    if (videoStream_.load() < 0) {
        forceRefresh_.store(false);
        return;
    }
    bool shown = false;
    for (;;) {
        if (pictq_.Remaining() == 0) break;  // nothing new to show
        TQueuedFrame* lastvp = pictq_.PeekLast();
        TQueuedFrame* vp = pictq_.Peek();
        if (vp->Serial != videoq_.SerialValue()) {
            pictq_.Next();  // from before a seek
            continue;
        }
        if (lastvp->Serial != vp->Serial || !pictq_.LastShown()) frameTimer_ = PlayerNow();
        if (paused_.load()) break;

        double lastDuration = pictq_.LastShown() ? FrameDuration(*lastvp, *vp) : 0.0;
        double delay = ComputeTargetDelay(lastDuration);
        double time = PlayerNow();
        if (time < frameTimer_ + delay) {
            remaining = std::min(frameTimer_ + delay - time, remaining);
            break;
        }
        frameTimer_ += delay;
        if (delay > 0 && time - frameTimer_ > kSyncThresholdMax) frameTimer_ = time;
        if (!std::isnan(vp->PTS)) UpdateVideoPts(vp->PTS, vp->Pos, vp->Serial);

        if (pictq_.Remaining() > 1) {
            TQueuedFrame* nextvp = pictq_.PeekNext();
            double duration = FrameDuration(*vp, *nextvp);
            if (!step_.load() && framedrop_ && MasterSyncType() != TSyncType::stVideoMaster &&
                time > frameTimer_ + duration) {
                {
                    std::lock_guard<std::mutex> guard(statsLock_);
                    if (stats_.FramesDropped < TPlayerStats::kDropTimes && !std::isnan(vp->PTS))
                        stats_.DropTimes[stats_.FramesDropped] =
                            static_cast<int64_t>(vp->PTS * 1e6) - StartOffset();
                    ++stats_.FramesDropped;
                }
                pictq_.Next();
                continue;
            }
        }
        ReleaseSubtitles();
        pictq_.Next();
        shown = true;
        forceRefresh_.store(true);
        if (step_.load() && !paused_.load()) {
            step_.store(false);
            PauseInternal();
        }
        break;
    }
    if (forceRefresh_.exchange(false) && pictq_.LastShown()) VideoDisplay(shown);
}

bool TVideoState::SoundDisplayOn() const {
    return audioStream_.load() >= 0 && owner_.FShowAudio.load() != TShowAudio::saNone &&
           (videoStream_.load() < 0 || owner_.FShowAudioOverVideo.load());
}

void TVideoState::SoundRefresh(double& remaining) {
    if (!sink_) return;
    if (!SoundDisplayOn()) {
        // Switched off: the panel is cleared once, and pictures (if any) come back at once.
        if (soundShown_) {
            soundShown_ = false;
            sink_->ClearFrame();
            forceRefresh_.store(true);
        }
        return;
    }
    if (paused_.load()) return;  // the drawing stays as it was
    const double now = PlayerNow();
    if (now < nextSound_) {
        remaining = std::min(remaining, nextSound_ - now);
        return;
    }
    const double interval = std::max(owner_.Frdftspeed.load(), 1) / 1000.0;
    nextSound_ = now + interval;
    remaining = std::min(remaining, interval);
    TSinkSound sound;
    const auto kind = owner_.FShowAudio.load() == TShowAudio::saWave ? TSinkSound::Shape::Wave
                                                                      : TSinkSound::Shape::Spectrum;
    if (!audioDisplay_.Take(kind, now, sound)) return;
    sound.PTS = owner_.CurrentPTS();
    sink_->ShowSound(sound);
    soundShown_ = true;
}

void TVideoState::VideoDisplay(bool newPicture) {
    TQueuedFrame* vp = pictq_.PeekLast();
    int64_t pts = std::isnan(vp->PTS) ? -1 : static_cast<int64_t>(vp->PTS * 1e6) - StartOffset();
    if (pts < -1) pts = 0;
    if (newPicture && owner_.HasHook()) owner_.RunHook(*vp->Frame, pts);
    if (newPicture) {
        std::lock_guard<std::mutex> guard(currentLock_);
        if (!current_) current_.reset(ff::av_frame_alloc());
        ff::av_frame_unref(current_.get());
        ff::av_frame_ref(current_.get(), vp->Frame);
        currentPTS_ = pts;
    }
    if (sink_ && !SoundDisplayOn()) {
        TSinkFrameInfo info;
        double aspect = owner_.FAspectRatio.load();
        if (aspect <= 0) {
            aspect = vp->Height > 0 ? static_cast<double>(vp->Width) / vp->Height : 1.0;
            if (vp->SAR.num > 0 && vp->SAR.den > 0) aspect *= av_q2d(vp->SAR);
        }
        info.AspectRatio = aspect > 0 ? aspect : 1.0;
        info.PTS = pts;
        info.VerticalFlip = owner_.FVerticalFlip.load();
        if (CurrentSubtitle(*vp, subtitle_)) info.Subtitle = &subtitle_;
        sink_->ShowFrame(*vp->Frame, info);
    }
    if (!newPicture) return;
    if (vp->Serial == videoq_.SerialValue()) audioHold_.store(false);
    std::lock_guard<std::mutex> guard(statsLock_);
    ++stats_.FramesShown;
    if (vp->Serial == seekSerialVideo_.load() && seekStarted_.load() > 0) {
        int64_t latency = static_cast<int64_t>((PlayerNow() - seekStarted_.exchange(0)) * 1e6);
        ++stats_.SeekCount;
        stats_.LastSeekLatency = latency;
        stats_.MaxSeekLatency = std::max(stats_.MaxSeekLatency, latency);
        stats_.LastSeekFramePTS = pts;
    }
    if (audioStream_.load() >= 0 && !paused_.load() && !std::isnan(vp->PTS)) {
        double audio = audclk_.Get();
        if (!std::isnan(audio)) {
            auto gap = static_cast<int64_t>(std::fabs(vp->PTS - audio) * 1e6);
            stats_.MaxAVGap = std::max(stats_.MaxAVGap, gap);
            ++stats_.AVGapSamples;
            if (gap > TPlayerStats::kAVGapBound) ++stats_.AVGapsOverBound;
        }
    }
}

void TVideoState::UpdatePosition() {
    // The sound does not wait for a picture that does not come.
    if (audioHold_.load() && PlayerNow() - audioHoldSince_.load() > 0.5) audioHold_.store(false);
    if (seekPending_.load()) return;
    double clock = videoStream_.load() >= 0 ? vidclk_.Get() : audclk_.Get();
    int64_t duration = still_ ? 0 : Duration();
    bool videoDone =
        videoStream_.load() < 0 || (viddec_.Finished() == videoq_.SerialValue() && pictq_.Remaining() == 0);
    bool audioDone =
        audioStream_.load() < 0 || (auddec_.Finished() == audioq_.SerialValue() && audioq_.Packets() == 0);
    bool atEnd = eof_.load() && videoDone && audioDone;
    int64_t pts;
    if (atEnd && duration != kNoTimestamp && !readError_.load()) {
        pts = duration;
    } else if (!std::isnan(clock)) {
        pts = static_cast<int64_t>(clock * 1e6) - StartOffset();
        if (pts < 0) pts = 0;
        if (duration != kNoTimestamp && pts > duration) pts = duration;
    } else {
        if (!atEnd) return;
        pts = owner_.CurrentPTS() >= 0 ? owner_.CurrentPTS() : 0;
    }
    owner_.QueuePosition(pts);

    if (atEnd && !endRaised_.exchange(true)) {
        owner_.QueueState(TPlayState::psEnd);
        if (owner_.RepeatType() == TRepeatType::rtLoop && !still_) {
            RequestSeek((startTime_ != kNoTimestamp ? startTime_ : 0) + StartOffset(), 0, false);
            return;
        }
    }
    if (playTime_ != kNoTimestamp && playTime_ > 0) {
        int64_t end = (startTime_ != kNoTimestamp ? startTime_ : 0) + playTime_;
        if (pts >= end) {
            switch (owner_.RepeatType()) {
                case TRepeatType::rtStop:
                    RequestQuit();
                    break;
                case TRepeatType::rtLoop:
                    RequestSeek((startTime_ != kNoTimestamp ? startTime_ : 0) + StartOffset(), 0, false);
                    break;
                case TRepeatType::rtNone:
                    break;
            }
        }
    }
}
