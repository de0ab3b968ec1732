// The player's input: opening the file and its streams, the read thread that fills the packet
// queues, seeking, and switching streams.

#include <sys/stat.h>

#include <chrono>
#include <cstring>

#include "engine/library/CodecLock.h"
#include "engine/library/FFmpegErrors.h"
#include "engine/library/FFmpegLogger.h"
#include "engine/player/Player.h"
#include "engine/player/PlayerState.h"
#include "engine/probe/StreamRotation.h"

namespace {

int InterruptCallback(void* opaque) {
    return static_cast<TVideoState*>(opaque)->AbortRequested() ? 1 : 0;
}

bool IsAttachedPicture(const AVStream* st) {
    return (st->disposition & AV_DISPOSITION_ATTACHED_PIC) != 0;
}

// A local file name (not an address of a protocol other than "file").
std::string LocalPath(const std::string& name) {
    if (name.rfind("file:", 0) == 0) return name.substr(5);
    if (name.find("://") != std::string::npos) return {};
    return name;
}

}  // namespace

bool TVideoState::OpenInput(const std::string& fileName) {
    fileName_ = fileName;
    AVFormatContext* ic = ff::avformat_alloc_context();
    if (!ic) {
        owner_.SetError("av_mallocz() failed.");
        return false;
    }
    ic->interrupt_callback.callback = InterruptCallback;
    ic->interrupt_callback.opaque = this;
    if (owner_.Fgenpts) ic->flags |= AVFMT_FLAG_GENPTS;
    const AVInputFormat* format = nullptr;
    if (!owner_.FFormat.empty()) format = ff::av_find_input_format(owner_.FFormat.c_str());
    AVDictionary* opts = nullptr;
    ff::av_dict_set(&opts, "scan_all_pmts", "1", 0);
    int err = ff::avformat_open_input(&ic, fileName.c_str(), format, &opts);
    TDictionaryPtr optsGuard(opts);
    if (err < 0) {
        owner_.SetError(fileName + ": " + FFmpegErrorText(err));
        return false;
    }
    ic_.reset(ic);
    err = ff::avformat_find_stream_info(ic, nullptr);
    if (err < 0 || AbortRequested()) {
        owner_.SetError(fileName + ": could not find codec parameters");
        return false;
    }
    if (ic->pb) ic->pb->eof_reached = 0;
    const char* name = ic->iformat->name;
    seekByBytes_ = owner_.Fseek_by_bytes < 0
                       ? ((ic->iformat->flags & AVFMT_TS_DISCONT) && std::strcmp("ogg", name) != 0)
                       : owner_.Fseek_by_bytes != 0;
    maxFrameDuration_ = (ic->iformat->flags & AVFMT_TS_DISCONT) ? 10.0 : 3600.0;
    std::string formatName = name;
    still_ = formatName.find("image2") != std::string::npos ||
             (formatName.size() > 5 && formatName.compare(formatName.size() - 5, 5, "_pipe") == 0);
    realtime_ = formatName == "rtp" || formatName == "rtsp" || formatName == "sdp";

    startTime_ = owner_.Fstart_time;
    playTime_ = owner_.FPlayTime;
    syncType_ = owner_.Fav_sync_type;
    framedrop_ = owner_.Fframedrop;
    vfilters_ = owner_.Fvfilters;
    if (startTime_ != kNoTimestamp) {
        int64_t ts = startTime_;
        if (ic->start_time != AV_NOPTS_VALUE) ts += ic->start_time;
        if (ff::avformat_seek_file(ic, -1, INT64_MIN, ts, INT64_MAX, 0) < 0) {
            char text[64];
            std::snprintf(text, sizeof text, "%0.3f", static_cast<double>(ts) / 1000000.0);
            owner_.SetError(fileName + ": could not seek to position " + text);
            return false;
        }
    }

    for (unsigned i = 0; i < ic->nb_streams; ++i)
        ic->streams[i]->discard = AVDISCARD_ALL;
    int st[AVMEDIA_TYPE_NB];
    for (int& s : st)
        s = -1;
    if (!owner_.Fvideo_disable && !owner_.Fdisplay_disable)
        st[AVMEDIA_TYPE_VIDEO] =
            ff::av_find_best_stream(ic, AVMEDIA_TYPE_VIDEO, owner_.Fwanted_video_stream, -1, nullptr, 0);
    if (!owner_.Faudio_disable)
        st[AVMEDIA_TYPE_AUDIO] = ff::av_find_best_stream(ic, AVMEDIA_TYPE_AUDIO, owner_.Fwanted_audio_stream,
                                                         st[AVMEDIA_TYPE_VIDEO], nullptr, 0);
    if (!owner_.Fvideo_disable && !owner_.Fdisplay_disable)
        st[AVMEDIA_TYPE_SUBTITLE] = ff::av_find_best_stream(
            ic, AVMEDIA_TYPE_SUBTITLE, owner_.Fwanted_subtitle_stream,
            st[AVMEDIA_TYPE_AUDIO] >= 0 ? st[AVMEDIA_TYPE_AUDIO] : st[AVMEDIA_TYPE_VIDEO], nullptr, 0);

    if (st[AVMEDIA_TYPE_VIDEO] >= 0) {
        const AVStream* stream = ic->streams[st[AVMEDIA_TYPE_VIDEO]];
        // A picture filmed sideways is shown upright, as a phone shows it.
        const int rotation = StreamRotation(stream);
        const bool sideways = rotation == 90 || rotation == 270;
        frameWidth_.store(sideways ? stream->codecpar->height : stream->codecpar->width);
        frameHeight_.store(sideways ? stream->codecpar->width : stream->codecpar->height);
        if (const std::string upright = UprightFilters(rotation, StreamMirrored(stream)); !upright.empty())
            vfilters_ = vfilters_.empty() ? upright : upright + ',' + vfilters_;
    }
    if (st[AVMEDIA_TYPE_AUDIO] >= 0) OpenComponent(st[AVMEDIA_TYPE_AUDIO]);
    if (st[AVMEDIA_TYPE_VIDEO] >= 0) OpenComponent(st[AVMEDIA_TYPE_VIDEO]);
    if (st[AVMEDIA_TYPE_SUBTITLE] >= 0) OpenComponent(st[AVMEDIA_TYPE_SUBTITLE]);
    if (videoStream_.load() < 0 && audioStream_.load() < 0) {
        owner_.SetError(fileName + ": could not open codecs, no stream to play.");
        return false;
    }
    if (AbortRequested()) {
        owner_.SetError(fileName + ": opening was stopped.");
        return false;
    }
    return true;
}

bool TVideoState::OpenComponent(int streamIndex) {
    AVFormatContext* ic = ic_.get();
    if (streamIndex < 0 || streamIndex >= static_cast<int>(ic->nb_streams)) return false;
    AVStream* st = ic->streams[streamIndex];
    const AVCodec* codec = ff::avcodec_find_decoder(st->codecpar->codec_id);
    if (!codec) {
        owner_.SetError(std::string("No decoder could be found for codec ") +
                        ff::avcodec_get_name(st->codecpar->codec_id));
        return false;
    }
    TCodecContextPtr avctx(ff::avcodec_alloc_context3(codec));
    if (!avctx || ff::avcodec_parameters_to_context(avctx.get(), st->codecpar) < 0) {
        owner_.SetError("avcodec_open() failed.");
        return false;
    }
    avctx->pkt_timebase = st->time_base;
    avctx->workaround_bugs = owner_.Fworkaround_bugs;
    avctx->err_recognition = owner_.Ferror_recognition;
    avctx->error_concealment = owner_.Ferror_concealment;
    if (owner_.Flowres > 0)
        avctx->lowres = owner_.Flowres > codec->max_lowres ? codec->max_lowres : owner_.Flowres;
    AVDictionary* opts = nullptr;
    ff::av_dict_set(&opts, "threads", "auto", 0);
    if (avctx->codec_type == AVMEDIA_TYPE_VIDEO || avctx->codec_type == AVMEDIA_TYPE_AUDIO)
        ff::av_dict_set(&opts, "refcounted_frames", "1", 0);
    int err;
    {
        TCodecLock lock;
        err = ff::avcodec_open2(avctx.get(), codec, &opts);
    }
    ff::av_dict_free(&opts);
    if (err < 0) {
        owner_.SetError("avcodec_open() failed.");
        return false;
    }
    st->discard = AVDISCARD_DEFAULT;
    lastStream_[avctx->codec_type] = streamIndex;
    switch (avctx->codec_type) {
        case AVMEDIA_TYPE_AUDIO: {
            AVChannelLayout layout{};
            ff::av_channel_layout_copy(&layout, &avctx->ch_layout);
            int rate = avctx->sample_rate;
            if (rate <= 0 || layout.nb_channels <= 0) {
                ff::av_channel_layout_uninit(&layout);
                owner_.SetError("the audio stream is not invalid.");
                return false;
            }
            audioSrc_ = {};
            audioDiffAvgCoef_ = std::exp(std::log(0.01) / kAudioDiffAvgNb);
            audioDiffAvgCount_ = 0;
            audioDiffCum_ = 0;
            bool opened = OpenAudio(layout, rate);
            ff::av_channel_layout_uninit(&layout);
            if (!opened) return false;
            // Audio that drifts by less than this much (one device buffer) is not corrected.
            audioDiffThreshold_ = static_cast<double>(audioHwBufSize_) / audioTgt_.BytesPerSec;
            auddec_.Init(std::move(avctx), &audioq_);
            auddec_.reorderPts = owner_.Fdecoder_reorder_pts;
            if ((ic->iformat->flags & (AVFMT_NOBINSEARCH | AVFMT_NOGENSEARCH | AVFMT_NO_BYTE_SEEK)) &&
                !ic->iformat->read_seek)
                auddec_.SetStartPts(st->start_time, st->time_base);
            audioq_.Start();
            audioStream_.store(streamIndex);
            audioOpen_.store(true);
            ff::SDL_PauseAudioDevice(audioDevice_, 0);
            break;
        }
        case AVMEDIA_TYPE_VIDEO:
            viddec_.Init(std::move(avctx), &videoq_);
            viddec_.reorderPts = owner_.Fdecoder_reorder_pts;
            videoq_.Start();
            videoStream_.store(streamIndex);
            videoThread_ = std::thread([this] { VideoLoop(); });
            break;
        case AVMEDIA_TYPE_SUBTITLE:
            subdec_.Init(std::move(avctx), &subtitleq_);
            subtitleq_.Start();
            subtitleStream_.store(streamIndex);
            subtitleThread_ = std::thread([this] { SubtitleLoop(); });
            break;
        default:
            break;
    }
    return true;
}

void TVideoState::CloseComponent(int streamIndex) {
    AVFormatContext* ic = ic_.get();
    if (!ic || streamIndex < 0 || streamIndex >= static_cast<int>(ic->nb_streams)) return;
    AVStream* st = ic->streams[streamIndex];
    switch (st->codecpar->codec_type) {
        case AVMEDIA_TYPE_AUDIO:
            audioq_.Abort();
            CloseAudio();
            auddec_.Close();
            audioStream_.store(-1);
            break;
        case AVMEDIA_TYPE_VIDEO:
            videoq_.Abort();
            pictq_.Signal();
            if (videoThread_.joinable()) videoThread_.join();
            viddec_.Close();
            videoStream_.store(-1);
            break;
        case AVMEDIA_TYPE_SUBTITLE:
            subtitleq_.Abort();
            subpq_.Signal();
            if (subtitleThread_.joinable()) subtitleThread_.join();
            subdec_.Close();
            subtitleStream_.store(-1);
            break;
        default:
            break;
    }
    st->discard = AVDISCARD_ALL;
}

bool TVideoState::SwitchStream(AVMediaType type, int index) {
    AVFormatContext* ic = ic_.get();
    if (!ic) return false;
    std::atomic<int>& current = type == AVMEDIA_TYPE_AUDIO   ? audioStream_
                                : type == AVMEDIA_TYPE_VIDEO ? videoStream_
                                                             : subtitleStream_;
    if (index == current.load()) return true;
    if (index >= static_cast<int>(ic->nb_streams)) return false;
    if (index < 0) {
        if (type != AVMEDIA_TYPE_SUBTITLE || index < -1) {
            owner_.SetError(index == -1 ? "the current stream is not valid."
                                        : "the stream index is not valid.");
            return false;
        }
        std::lock_guard<std::mutex> guard(streamLock_);
        CloseComponent(current.load());
        subtitleChanged_.store(true);
        return true;
    }
    AVStream* st = ic->streams[index];
    AVMediaType streamType = st->codecpar->codec_type;
    if (streamType != AVMEDIA_TYPE_AUDIO && streamType != AVMEDIA_TYPE_VIDEO &&
        streamType != AVMEDIA_TYPE_SUBTITLE) {
        owner_.SetError("the stream type is invalid.");
        return false;
    }
    if (streamType != type) {
        owner_.SetError("the stream type is not matched.");
        return false;
    }
    if (type == AVMEDIA_TYPE_AUDIO &&
        (st->codecpar->sample_rate <= 0 || st->codecpar->ch_layout.nb_channels <= 0)) {
        owner_.SetError("the audio stream is not invalid.");
        return false;
    }
    std::lock_guard<std::mutex> guard(streamLock_);
    int old = current.load();
    CloseComponent(old);
    if (type == AVMEDIA_TYPE_SUBTITLE) subtitleChanged_.store(true);
    bool ok = OpenComponent(index);
    if (!ok && old >= 0) OpenComponent(old);
    // The new stream starts at the position playing now.
    double clock = MasterClock();
    if (!std::isnan(clock)) RequestSeek(static_cast<int64_t>(clock * 1e6), 0, false);
    return ok;
}

bool TVideoState::EnoughPackets() const {
    auto enough = [&](int stream, const TPacketQueue& q, bool audio) {
        if (stream < 0 || q.Aborted()) return true;
        if (IsAttachedPicture(ic_->streams[stream])) return true;
        return audio ? q.Bytes() > kMaxAudioQueueBytes : q.Packets() > kMinFrames;
    };
    if (audioq_.Bytes() + videoq_.Bytes() + subtitleq_.Bytes() > kMaxQueueSize) return true;
    return enough(audioStream_.load(), audioq_, true) && enough(videoStream_.load(), videoq_, false) &&
           enough(subtitleStream_.load(), subtitleq_, false);
}

bool TVideoState::InputGone() {
    std::string path = LocalPath(fileName_);
    if (path.empty()) return false;
    double now = PlayerNow();
    if (now - lastExistCheck_ < 0.25) return false;
    lastExistCheck_ = now;
    struct stat info;
    return ::stat(path.c_str(), &info) != 0;
}

void TVideoState::DoSeek() {
    int64_t target, rel;
    int flags;
    {
        std::lock_guard<std::mutex> guard(seekLock_);
        target = seekPos_;
        rel = seekRel_;
        flags = seekFlags_;
        seekReq_ = false;
    }
    AVFormatContext* ic = ic_.get();
    int64_t seekMin = rel > 0 ? target - rel + 2 : INT64_MIN;
    int64_t seekMax = rel < 0 ? target - rel - 2 : INT64_MAX;
    int err = ff::avformat_seek_file(ic, -1, seekMin, target, seekMax, flags);
    if (err < 0 && !(flags & AVSEEK_FLAG_BYTE) &&
        target <= (ic->start_time == AV_NOPTS_VALUE ? 0 : ic->start_time))
        err = ff::avformat_seek_file(ic, -1, INT64_MIN, target, INT64_MAX, flags | AVSEEK_FLAG_BACKWARD);
    if (err < 0) {
        GetFFLogger().Log(&owner_, TLogLevel::llError, fileName_ + ": error while seeking");
    } else {
        if (audioStream_.load() >= 0) audioq_.Flush();
        if (subtitleStream_.load() >= 0) subtitleq_.Flush();
        if (videoStream_.load() >= 0) videoq_.Flush();
        int video = videoStream_.load();
        if (video >= 0) {
            // Pictures more than a frame before the target are never shown.
            AVStream* st = ic->streams[video];
            AVRational rate = ff::av_guess_frame_rate(ic, st, nullptr);
            int64_t frame = rate.num > 0 ? ff::av_rescale_q(1, av_inv_q(rate), st->time_base) : 0;
            viddec_.SetSkipBefore((flags & AVSEEK_FLAG_BYTE)
                                      ? AV_NOPTS_VALUE
                                      : ff::av_rescale_q(target, AVRational{1, AV_TIME_BASE}, st->time_base) -
                                            frame);
        }
        if (flags & AVSEEK_FLAG_BYTE) {
            extclk_.Set(NAN, 0);
            seekSerialVideo_.store(-1);
            seekSerialAudio_.store(-1);
        } else {
            extclk_.Set(static_cast<double>(target) / 1e6, 0);
            seekTarget_.store(static_cast<double>(target) / 1e6);
            seekSerialVideo_.store(videoq_.SerialValue());
            seekSerialAudio_.store(audioq_.SerialValue());
            HoldAudio();
        }
    }
    eof_.store(false);
    endRaised_.store(false);
    seekPending_.store(false);
    if (paused_.load()) {
        // Show the picture at the new position, then stay paused.
        step_.store(true);
        TogglePause(false);
    }
    WakePlayThread();
}

void TVideoState::ReadLoop() {
    AVFormatContext* ic = ic_.get();
    TPacketPtr pkt(ff::av_packet_alloc());
    std::string gone;
    while (!AbortRequested()) {
        bool paused = paused_.load();
        if (paused != lastPaused_) {
            lastPaused_ = paused;
            if (paused ? ff::av_read_pause != nullptr : ff::av_read_play != nullptr)
                paused ? ff::av_read_pause(ic) : ff::av_read_play(ic);
        }
        bool seek;
        {
            std::lock_guard<std::mutex> guard(seekLock_);
            seek = seekReq_;
        }
        if (seek) DoSeek();

        if (InputGone()) {
            readError_.store(true);
            GetFFLogger().Log(
                &owner_, TLogLevel::llError,
                FormatText("error #%d while reading file: %s", AVERROR(ENOENT), fileName_.c_str()));
            owner_.SetError(fileName_ + ": " + FFmpegErrorText(AVERROR(ENOENT)));
            RequestQuit();
            break;
        }
        if (!realtime_ && EnoughPackets()) {
            std::unique_lock<std::mutex> guard(readWaitLock_);
            readWait_.wait_for(guard, std::chrono::milliseconds(10));
            continue;
        }
        int err = ff::av_read_frame(ic, pkt.get());
        if (err < 0) {
            if ((err == AVERROR_EOF || (ic->pb && ff::avio_feof(ic->pb))) && !eof_.load()) {
                if (videoStream_.load() >= 0) videoq_.PutNullPacket(videoStream_.load());
                if (audioStream_.load() >= 0) audioq_.PutNullPacket(audioStream_.load());
                if (subtitleStream_.load() >= 0) subtitleq_.PutNullPacket(subtitleStream_.load());
                eof_.store(true);
                GetFFLogger().Log(&owner_, TLogLevel::llVerbose, "reach end of file: " + fileName_);
            } else if (err != AVERROR_EOF && err != AVERROR_EXIT && ic->pb && ic->pb->error) {
                readError_.store(true);
                GetFFLogger().Log(&owner_, TLogLevel::llError,
                                  FormatText("error #%d while reading file: %s", err, fileName_.c_str()));
                eof_.store(true);
            }
            std::unique_lock<std::mutex> guard(readWaitLock_);
            readWait_.wait_for(guard, std::chrono::milliseconds(10));
            continue;
        }
        eof_.store(false);
        std::lock_guard<std::mutex> guard(streamLock_);
        int index = pkt->stream_index;
        if (index == audioStream_.load())
            audioq_.Put(pkt.get());
        else if (index == videoStream_.load() && !IsAttachedPicture(ic->streams[index]))
            videoq_.Put(pkt.get());
        else if (index == videoStream_.load())
            videoq_.Put(pkt.get());
        else if (index == subtitleStream_.load())
            subtitleq_.Put(pkt.get());
        else
            ff::av_packet_unref(pkt.get());
    }
}
