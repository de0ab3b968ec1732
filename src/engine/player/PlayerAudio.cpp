// The player's sound: the SDL audio device and its callback, which decodes the audio stream,
// converts it to the device's format, applies volume and mute, corrects the drift against the
// master clock when audio is not the master, and sets the audio clock.

#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/library/FFmpegLogger.h"
#include "engine/player/Player.h"
#include "engine/player/PlayerState.h"

namespace {
constexpr int kAudioBufferSamples = 1024;
constexpr int kMinAudioBufferBytes = 512;
}  // namespace

bool TVideoState::OpenAudio(const AVChannelLayout& layout, int sampleRate) {
    SDL_AudioSpec wanted{};
    SDL_AudioSpec obtained{};
    int channels = layout.nb_channels;
    if (channels > 8) channels = 2;
    wanted.freq = sampleRate;
    wanted.channels = static_cast<Uint8>(channels);
    wanted.format = AUDIO_S16SYS;
    wanted.silence = 0;
    wanted.samples = kAudioBufferSamples;
    wanted.callback = &TVideoState::AudioCallback;
    wanted.userdata = this;
    audioDevice_ = ff::SDL_OpenAudioDevice(
        nullptr, 0, &wanted, &obtained, SDL_AUDIO_ALLOW_FREQUENCY_CHANGE | SDL_AUDIO_ALLOW_CHANNELS_CHANGE);
    if (audioDevice_ == 0) {
        owner_.SetError(std::string("SDL_OpenAudio() failed: ") + ff::SDL_GetError());
        return false;
    }
    if (obtained.format != AUDIO_S16SYS) {
        owner_.SetError("SDL_OpenAudio() failed: unsupported sample format");
        ff::SDL_CloseAudioDevice(audioDevice_);
        audioDevice_ = 0;
        return false;
    }
    audioTgt_.Freq = obtained.freq;
    ff::av_channel_layout_uninit(&audioTgt_.Layout);
    ff::av_channel_layout_default(&audioTgt_.Layout, obtained.channels);
    audioTgt_.Fmt = AV_SAMPLE_FMT_S16;
    audioTgt_.FrameSize = ff::av_samples_get_buffer_size(nullptr, obtained.channels, 1, AV_SAMPLE_FMT_S16, 1);
    audioTgt_.BytesPerSec =
        ff::av_samples_get_buffer_size(nullptr, obtained.channels, obtained.freq, AV_SAMPLE_FMT_S16, 1);
    audioHwBufSize_ = static_cast<int>(obtained.size);
    audioSrc_.Freq = audioTgt_.Freq;
    ff::av_channel_layout_uninit(&audioSrc_.Layout);
    ff::av_channel_layout_copy(&audioSrc_.Layout, &audioTgt_.Layout);
    audioSrc_.Fmt = audioTgt_.Fmt;
    audioBufSize_ = audioBufIndex_ = 0;
    audioFrame_.reset(ff::av_frame_alloc());
    audioDisplay_.Reset(obtained.channels, obtained.freq);
    return true;
}

void TVideoState::CloseAudio() {
    audioOpen_.store(false);
    if (audioDevice_) {
        ff::SDL_CloseAudioDevice(audioDevice_);  // waits for a running callback
        audioDevice_ = 0;
    }
    swr_.reset();
    audioBuf1_.reset();
    audioBuf1Size_ = 0;
    audioBuf_ = nullptr;
    audioFrame_.reset();
    ff::av_channel_layout_uninit(&audioSrc_.Layout);
    ff::av_channel_layout_uninit(&audioTgt_.Layout);
}

void TVideoState::AudioCallback(void* opaque, Uint8* stream, int len) {
    static_cast<TVideoState*>(opaque)->FillAudio(stream, len);
}

int TVideoState::SynchronizeAudio(int samples) {
    int wanted = samples;
    if (MasterSyncType() == TSyncType::stAudioMaster) return wanted;
    double diff = audclk_.Get() - MasterClock();
    if (std::isnan(diff) || std::fabs(diff) >= kNoSyncThreshold) {
        audioDiffAvgCount_ = 0;
        audioDiffCum_ = 0;
        return wanted;
    }
    audioDiffCum_ = diff + audioDiffAvgCoef_ * audioDiffCum_;
    if (audioDiffAvgCount_ < kAudioDiffAvgNb) {
        ++audioDiffAvgCount_;  // not enough measures for a correct estimate yet
        return wanted;
    }
    double avgDiff = audioDiffCum_ * (1.0 - audioDiffAvgCoef_);
    if (std::fabs(avgDiff) >= audioDiffThreshold_) {
        wanted = samples + static_cast<int>(diff * audioSrc_.Freq);
        int minSamples = static_cast<int>(samples * (100 - kSampleCorrectionPercentMax) / 100);
        int maxSamples = static_cast<int>(samples * (100 + kSampleCorrectionPercentMax) / 100);
        wanted = std::clamp(wanted, minSamples, maxSamples);
    }
    return wanted;
}

// Decodes one audio frame into audioBuf_; its size in bytes, or -1 when nothing can be had now.
int TVideoState::DecodeAudioFrame() {
    if (paused_.load() || audioHold_.load()) return -1;
    AVFrame* frame = audioFrame_.get();
    for (;;) {
        int got = auddec_.DecodeFrame(frame, nullptr, false);
        if (got != 1) return -1;
        int serial = auddec_.PacketSerial();
        if (serial != audioq_.SerialValue()) {
            ff::av_frame_unref(frame);
            continue;
        }
        double pts =
            frame->pts == AV_NOPTS_VALUE ? NAN : static_cast<double>(frame->pts) / frame->sample_rate;
        double end = pts + static_cast<double>(frame->nb_samples) / frame->sample_rate;
        if (serial == seekSerialAudio_.load() && !std::isnan(pts) && end <= seekTarget_.load()) {
            ff::av_frame_unref(frame);  // before the seek target
            continue;
        }

        int wantedSamples = SynchronizeAudio(frame->nb_samples);
        auto format = static_cast<AVSampleFormat>(frame->format);
        if (format != audioSrc_.Fmt || ff::av_channel_layout_compare(&frame->ch_layout, &audioSrc_.Layout) ||
            frame->sample_rate != audioSrc_.Freq || (wantedSamples != frame->nb_samples && !swr_)) {
            swr_.reset();
            SwrContext* swr = nullptr;
            if (ff::swr_alloc_set_opts2(&swr, &audioTgt_.Layout, audioTgt_.Fmt, audioTgt_.Freq,
                                        &frame->ch_layout, format, frame->sample_rate, 0, nullptr) < 0 ||
                ff::swr_init(swr) < 0) {
                if (swr) ff::swr_free(&swr);
                char name[64] = "";
                ff::av_channel_layout_describe(&frame->ch_layout, name, sizeof name);
                GetFFLogger().Log(&owner_, TLogLevel::llError,
                                  FormatText("Cannot convert %s sample format to %s sample format",
                                             ff::av_get_sample_fmt_name(format),
                                             ff::av_get_sample_fmt_name(audioTgt_.Fmt)));
                ff::av_frame_unref(frame);
                return -1;
            }
            swr_.reset(swr);
            ff::av_channel_layout_uninit(&audioSrc_.Layout);
            ff::av_channel_layout_copy(&audioSrc_.Layout, &frame->ch_layout);
            audioSrc_.Freq = frame->sample_rate;
            audioSrc_.Fmt = format;
        }

        int size;
        if (swr_) {
            int outCount = static_cast<int64_t>(wantedSamples) * audioTgt_.Freq / frame->sample_rate + 256;
            int outSize = ff::av_samples_get_buffer_size(nullptr, audioTgt_.Layout.nb_channels, outCount,
                                                         audioTgt_.Fmt, 0);
            if (outSize < 0) {
                ff::av_frame_unref(frame);
                return -1;
            }
            if (wantedSamples != frame->nb_samples && ff::swr_set_compensation) {
                ff::swr_set_compensation(
                    swr_.get(), (wantedSamples - frame->nb_samples) * audioTgt_.Freq / frame->sample_rate,
                    wantedSamples * audioTgt_.Freq / frame->sample_rate);
            }
            if (audioBuf1Size_ < static_cast<unsigned>(outSize)) {
                audioBuf1_.reset(static_cast<uint8_t*>(ff::av_malloc(outSize)));
                audioBuf1Size_ = audioBuf1_ ? outSize : 0;
            }
            if (!audioBuf1_) {
                ff::av_frame_unref(frame);
                return -1;
            }
            uint8_t* out = audioBuf1_.get();
            int converted =
                ff::swr_convert(swr_.get(), &out, outCount, const_cast<const uint8_t**>(frame->extended_data),
                                frame->nb_samples);
            if (converted < 0) {
                GetFFLogger().Log(&owner_, TLogLevel::llError, "av_audio_convert() failed");
                ff::av_frame_unref(frame);
                return -1;
            }
            audioBuf_ = audioBuf1_.get();
            size = converted * audioTgt_.Layout.nb_channels * ff::av_get_bytes_per_sample(audioTgt_.Fmt);
        } else {
            audioBuf_ = frame->data[0];
            size = ff::av_samples_get_buffer_size(nullptr, frame->ch_layout.nb_channels, frame->nb_samples,
                                                  format, 1);
        }
        audioClock_ = std::isnan(pts) ? NAN : end;
        audioClockSerial_ = serial;
        return size;
    }
}

void TVideoState::FillAudio(Uint8* stream, int len) {
    double callbackTime = PlayerNow();
    while (len > 0) {
        if (audioBufIndex_ >= audioBufSize_) {
            int size = audioOpen_.load() ? DecodeAudioFrame() : -1;
            if (size < 0) {  // silence while nothing is decoded
                audioBuf_ = nullptr;
                audioBufSize_ = kMinAudioBufferBytes / audioTgt_.FrameSize * audioTgt_.FrameSize;
            } else {
                audioBufSize_ = static_cast<unsigned>(size);
                if (audioBuf_ && SoundDisplayOn())
                    audioDisplay_.Push(reinterpret_cast<const int16_t*>(audioBuf_), size / audioTgt_.FrameSize);
            }
            audioBufIndex_ = 0;
        }
        int chunk = static_cast<int>(audioBufSize_ - audioBufIndex_);
        if (chunk > len) chunk = len;
        int volume = owner_.FMute.load() ? 0 : owner_.FAudioVolume.load();
        if (audioBuf_ && volume == SDL_MIX_MAXVOLUME) {
            std::memcpy(stream, audioBuf_ + audioBufIndex_, chunk);
        } else {
            std::memset(stream, 0, chunk);
            if (audioBuf_ && volume > 0)
                ff::SDL_MixAudioFormat(stream, audioBuf_ + audioBufIndex_, AUDIO_S16SYS, chunk, volume);
        }
        len -= chunk;
        stream += chunk;
        audioBufIndex_ += chunk;
    }
    audioWriteBufSize_ = static_cast<int>(audioBufSize_ - audioBufIndex_);
    if (!std::isnan(audioClock_)) {
        // The device still holds about two buffers of what was given before.
        audclk_.SetAt(audioClock_ - static_cast<double>(2 * audioHwBufSize_ + audioWriteBufSize_) /
                                        audioTgt_.BytesPerSec,
                      audioClockSerial_, callbackTime);
        extclk_.SyncTo(audclk_);
    }
    audioDisplay_.Mark((2 * audioHwBufSize_ + audioWriteBufSize_) / audioTgt_.FrameSize, callbackTime);
}
