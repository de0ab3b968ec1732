#include "engine/probe/AVProbe.h"

#include <algorithm>
#include <cinttypes>

#include "engine/library/CodecLock.h"
#include "engine/library/FFmpegErrors.h"

namespace {
constexpr AVRational kMicroseconds{1, AV_TIME_BASE};
constexpr int64_t kDefaultFrameDuration = 40000;
// How often a non-blocking read may ask to try again before the input counts as exhausted.
constexpr int kMaxReadRetries = 500;
// Packets skipped while waiting for a key packet before decoding whatever comes (for streams
// whose packets carry no key flags at all).
constexpr int kMaxSkippedPackets = 600;

bool EndsWith(const std::string& s, const char* suffix) {
    const std::string t(suffix);
    return s.size() >= t.size() && s.compare(s.size() - t.size(), t.size(), t) == 0;
}
}  // namespace

TAVProbe::TAVProbe() {
    TAVProbe::RefreshValues();
}

TAVProbe::~TAVProbe() {
    TAVProbe::CloseFile();
}

void TAVProbe::RefreshValues() {
    TCustomAVProbe::RefreshValues();
    seekIndex_ = -1;
    startTime_ = 0;
    if (!fileHandle_) return;
    // Attached pictures (cover art) are single frames: time seeks go by the real video stream,
    // else by the audio.
    for (unsigned i = 0; i < fileHandle_->nb_streams && seekIndex_ < 0; ++i) {
        const AVStream* st = fileHandle_->streams[i];
        if (st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
            !(st->disposition & AV_DISPOSITION_ATTACHED_PIC))
            seekIndex_ = static_cast<int>(i);
    }
    if (seekIndex_ < 0) seekIndex_ = firstAudioStreamIndex_;
    const int64_t start =
        seekIndex_ >= 0 ? fileHandle_->streams[seekIndex_]->start_time : fileHandle_->start_time;
    startTime_ = start == AV_NOPTS_VALUE ? 0 : start;
}

void TAVProbe::CloseFile() {
    decodeIndex_ = -1;
    eof_ = draining_ = false;
    DropPicture();
    picture_ = TFrameInfo{};
    lastPTS_ = kNoTimestamp;
    lastPos_ = -1;
    CloseDecoder();
    rgbContext_.Clear();
    TCustomAVProbe::CloseFile();
}

void TAVProbe::CloseDecoder() {
    codec_.reset();  // freed under the codec lock by its deleter
    codecStream_ = -1;
}

void TAVProbe::DropPicture() {
    // The time and position of the dropped picture stay, as the reference for stepping.
    picture_.Ready = false;
    if (frame_) ff::av_frame_unref(frame_.get());
}

bool TAVProbe::IsImage2() const {
    // "image2" and the single-picture demuxers of today's libraries (png_pipe, bmp_pipe, ...).
    const std::string name = FormatName();
    return name == "image2" || EndsWith(name, "_pipe");
}

int64_t TAVProbe::InputPosition() const {
    if (!fileHandle_ || !fileHandle_->pb) return -1;
    return ff::avio_seek(fileHandle_->pb, 0, SEEK_CUR);
}

int64_t TAVProbe::Position() {
    if (!RequireFile()) return -1;
    if (!fileHandle_->pb) {
        LogMsg(TLogLevel::llError, "cannot get position");
        return -1;
    }
    return InputPosition();
}

int64_t TAVProbe::FrameDuration() const {
    const int index = decodeIndex_ >= 0 ? decodeIndex_ : seekIndex_;
    const AVStream* st = Stream(index);
    if (!st || st->r_frame_rate.num == 0 || st->r_frame_rate.den == 0) return kDefaultFrameDuration;
    return static_cast<int64_t>(1000000) * st->r_frame_rate.den / st->r_frame_rate.num;
}

int TAVProbe::SelectStream(int streamIndex) {
    if (!RequireFile()) return -1;
    if (!ownHandle_) {
        LogMsg(TLogLevel::llError, "file cannot be seeked, handle is readonly.");
        return -1;
    }
    int index = streamIndex;
    if (index < 0) index = decodeIndex_ >= 0 ? decodeIndex_ : firstVideoStreamIndex_;
    if (index < 0) {
        LogMsg(TLogLevel::llError, "no video stream.");
        return -1;
    }
    if (index >= streamCount_) {
        LogFmt(TLogLevel::llError, "stream index #%d is invalid.", index);
        return -1;
    }
    if (fileHandle_->streams[index]->codecpar->codec_type != AVMEDIA_TYPE_VIDEO) {
        LogFmt(TLogLevel::llError, "stream #%d is not video stream.", index);
        return -1;
    }
    if (index != decodeIndex_) {
        DropPicture();
        picture_ = TFrameInfo{};
        lastPTS_ = kNoTimestamp;
        lastPos_ = -1;
        decodeIndex_ = index;
    }
    return index;
}

bool TAVProbe::OpenDecoder(int streamIndex) {
    if (codec_ && codecStream_ == streamIndex) return true;
    const AVStream* st = fileHandle_->streams[streamIndex];
    const AVCodecParameters* par = st->codecpar;
    if (par->width == 0 || par->height == 0) {
        LogMsg(TLogLevel::llError, "frame size of codec is invalid.");
        return false;
    }
    CloseDecoder();
    const AVCodec* decoder = ff::avcodec_find_decoder(par->codec_id);
    if (!decoder) {
        LogFmt(TLogLevel::llError, "Unsupported codec (id=%d) for input file stream #%d",
               static_cast<int>(par->codec_id), streamIndex);
        return false;
    }
    TCodecContextPtr ctx(ff::avcodec_alloc_context3(decoder));
    if (!ctx || ff::avcodec_parameters_to_context(ctx.get(), par) < 0) {
        LogFmt(TLogLevel::llError, "Error while opening codec for input file stream #%d", streamIndex);
        return false;
    }
    ctx->pkt_timebase = st->time_base;
    ctx->thread_count = 1;  // a single picture is wanted: no frame-thread delay
    int ret;
    {
        TCodecLock lock;
        ret = ff::avcodec_open2(ctx.get(), decoder, nullptr);
    }
    if (ret < 0) {
        LogFmt(TLogLevel::llError, "Error while opening codec for input file stream #%d", streamIndex);
        return false;
    }
    if (!frame_) frame_.reset(ff::av_frame_alloc());
    if (!decoded_) decoded_.reset(ff::av_frame_alloc());
    if (!packet_) packet_.reset(ff::av_packet_alloc());
    if (!frame_ || !decoded_ || !packet_) {
        LogMsg(TLogLevel::llError, FFmpegErrorText(AVERROR(ENOMEM)));
        return false;
    }
    codec_ = std::move(ctx);
    codecStream_ = streamIndex;
    eof_ = draining_ = false;
    waitKey_ = true;
    skippedPackets_ = 0;
    return true;
}

bool TAVProbe::Decode(int streamIndex) {
    const int index = SelectStream(streamIndex);
    if (index < 0 || !OpenDecoder(index)) return false;
    if (IsImage2() && picture_.Ready) return true;
    if (eof_) {
        LogMsg(TLogLevel::llInfo, "stream eof reached.");
        return false;
    }
    const int64_t position = InputPosition();
    int retries = 0;
    for (;;) {
        int ret = ff::avcodec_receive_frame(codec_.get(), decoded_.get());
        if (ret >= 0) {
            StorePicture(position);
            return true;
        }
        if (ret == AVERROR_EOF || (ret == AVERROR(EAGAIN) && draining_)) {
            eof_ = true;
            LogMsg(TLogLevel::llInfo, "stream eof reached.");
            return false;
        }
        if (ret != AVERROR(EAGAIN))  // a damaged picture: go on with the next packets
            LogFmt(TLogLevel::llDebug, "decoding stream #%d failed: %s", index, FFmpegErrorText(ret).c_str());

        ret = ff::av_read_frame(fileHandle_, packet_.get());
        if (ret == AVERROR(EAGAIN) && ++retries <= kMaxReadRetries) {
            ff::av_usleep(10000);
            continue;
        }
        if (ret < 0) {
            // End of input: let the decoder give the pictures it still holds.
            draining_ = true;
            ff::avcodec_send_packet(codec_.get(), nullptr);
            continue;
        }
        retries = 0;
        if (packet_->stream_index == index && waitKey_) {
            if (!(packet_->flags & AV_PKT_FLAG_KEY) && ++skippedPackets_ <= kMaxSkippedPackets) {
                ff::av_packet_unref(packet_.get());
                continue;
            }
            waitKey_ = false;
            skippedPackets_ = 0;
        }
        if (packet_->stream_index == index) {
            ret = ff::avcodec_send_packet(codec_.get(), packet_.get());
            if (ret < 0 && ret != AVERROR(EAGAIN))
                LogFmt(TLogLevel::llDebug, "decoding stream #%d failed: %s", index,
                       FFmpegErrorText(ret).c_str());
        }
        ff::av_packet_unref(packet_.get());
    }
}

void TAVProbe::StorePicture(int64_t position) {
    lastPTS_ = picture_.PTS;
    lastPos_ = picture_.Position;
    ff::av_frame_unref(frame_.get());
    ff::av_frame_move_ref(frame_.get(), decoded_.get());
    const AVFrame* f = frame_.get();
    const AVStream* st = fileHandle_->streams[decodeIndex_];

    picture_.PixFmt = f->format;
    picture_.Width = f->width;
    picture_.Height = f->height;
    picture_.IsKeyFrame = f->key_frame != 0;
    picture_.PictureType = (f->pict_type >= AV_PICTURE_TYPE_NONE && f->pict_type <= AV_PICTURE_TYPE_BI)
                               ? static_cast<TPictureType>(f->pict_type)
                               : TPictureType::ptUnknown;
    int64_t ts = f->best_effort_timestamp;
    if (ts == AV_NOPTS_VALUE) ts = f->pkt_dts;
    if (ts == AV_NOPTS_VALUE) ts = f->pts;
    if (ts != AV_NOPTS_VALUE) {
        if (st->start_time != AV_NOPTS_VALUE) ts -= st->start_time;
        picture_.PTS = ff::av_rescale_q(ts, st->time_base, kMicroseconds);
        LogFmt(TLogLevel::llDebug, "decode PTS: %0.3f\n", static_cast<double>(picture_.PTS) / 1000000);
    } else {
        picture_.PTS = kNoTimestamp;
    }
    picture_.OriginalDTS = f->pkt_dts;
    picture_.OriginalPTS = f->pts;
    picture_.StreamIndex = decodeIndex_;
    picture_.Position = position;
    picture_.Ready = true;
    LogFmt(TLogLevel::llDebug, "pkt.st_idx=%d, dts=%" PRId64 ", pts=%" PRId64 ", flags=%d, pict_type=%d",
           decodeIndex_, f->pkt_dts, f->pts, f->key_frame, static_cast<int>(f->pict_type));
}

bool TAVProbe::Seek(TSeekFlags flags, int64_t pts) {
    if (!RequireFile()) return false;
    if (!ownHandle_) {
        LogMsg(TLogLevel::llError, "file cannot be seeked, handle is readonly.");
        return false;
    }
    if (IsImage2()) {
        LogMsg(TLogLevel::llInfo, "\"image2\" format cannot to be seeked.");
        return false;
    }
    LogFmt(TLogLevel::llDebug, "currunt position %" PRId64 " bytes", InputPosition());
    if (pts < 0) pts = 0;
    const bool byBytes = flags.Contains(TSeekFlag::sfByte);
    int64_t target = pts;
    if (!byBytes) {
        if (seekIndex_ >= 0)
            target = ff::av_rescale_q(pts, kMicroseconds, fileHandle_->streams[seekIndex_]->time_base);
        if (startTime_ > 0) target += startTime_;
    }

    if (codec_) ff::avcodec_flush_buffers(codec_.get());
    eof_ = draining_ = false;
    DropPicture();

    waitKey_ = true;
    skippedPackets_ = 0;

    int ret = -1;
    if (pts == 0 && !byBytes && (fileHandle_->iformat->flags & AVFMT_TS_DISCONT)) {
        // Streams without an index find times by searching; their start is simply byte 0.
        ret = ff::av_seek_frame(fileHandle_, -1, 0, AVSEEK_FLAG_BYTE);
    }
    if (ret >= 0) {
        // already at the start
    } else if (pts > 0 && !byBytes && flags.Contains(TSeekFlag::sfBackward) && seekIndex_ >= 0 &&
               (fileHandle_->iformat->flags & AVFMT_TS_DISCONT)) {
        ret = SeekBackwardSearched(target, flags.Bits());
    } else if (pts > 0) {
        ret = ff::av_seek_frame(fileHandle_, seekIndex_, target, flags.Bits());
    } else {
        // The start: the key frame at or before it, else (when the first key frame follows the
        // start) the first one after it.
        ret = ff::av_seek_frame(fileHandle_, seekIndex_, target, flags.Bits() | AVSEEK_FLAG_BACKWARD);
        if (ret < 0) ret = ff::av_seek_frame(fileHandle_, seekIndex_, target, flags.Bits());
    }
    if (ret < 0) {
        if (byBytes)
            LogFmt(TLogLevel::llError, "could not seek to position %" PRId64 " bytes", pts);
        else
            LogFmt(TLogLevel::llError, "could not seek to position %0.3f seconds",
                   static_cast<double>(pts) / 1000000);
        return false;
    }
    LogFmt(TLogLevel::llDebug, "seek to position %" PRId64 " bytes", InputPosition());
    if (fileHandle_->pb && ff::avio_feof(fileHandle_->pb)) {
        eof_ = true;
        LogMsg(TLogLevel::llInfo, "stream eof reached.");
        return false;
    }
    return true;
}

// Formats without an index (MPEG-TS, MPEG-PS) find a time by searching packet time stamps and
// land on any packet; the first key frame after it may lie after the target, since a frame is
// decoded before it is shown. Step the landing point back (1, 2, 4, ... frames) until the first
// key frame found is not after the target.
int TAVProbe::SeekBackwardSearched(int64_t target, int flags) {
    const AVStream* st = fileHandle_->streams[seekIndex_];
    const int64_t frame =
        std::max<int64_t>(1, ff::av_rescale_q(FrameDuration(), kMicroseconds, st->time_base));
    int64_t step = 0;
    int ret = -1;
    for (int attempt = 0; attempt < 16; ++attempt) {
        const int64_t at = target - step;
        ret = ff::av_seek_frame(fileHandle_, seekIndex_, at, flags);
        if (ret < 0) return ret;
        const int64_t key = NextKeyTimestamp(seekIndex_);
        if (key == AV_NOPTS_VALUE || key <= target || at <= startTime_)
            return ff::av_seek_frame(fileHandle_, seekIndex_, at, flags);
        step = step == 0 ? frame : step * 2;
    }
    return ff::av_seek_frame(fileHandle_, seekIndex_, target - step, flags);
}

// Reads ahead to the next key packet of the stream and returns its time stamp (the input is
// left after it; the caller seeks again).
int64_t TAVProbe::NextKeyTimestamp(int streamIndex) {
    AVPacket* pkt = packet_ ? packet_.get() : nullptr;
    TPacketPtr own;
    if (!pkt) {
        own.reset(ff::av_packet_alloc());
        pkt = own.get();
        if (!pkt) return AV_NOPTS_VALUE;
    }
    int seen = 0, retries = 0;
    while (seen <= kMaxSkippedPackets) {
        const int ret = ff::av_read_frame(fileHandle_, pkt);
        if (ret == AVERROR(EAGAIN) && ++retries <= kMaxReadRetries) {
            ff::av_usleep(10000);
            continue;
        }
        if (ret < 0) return AV_NOPTS_VALUE;
        int64_t ts = AV_NOPTS_VALUE;
        if (pkt->stream_index == streamIndex) {
            ++seen;
            if (pkt->flags & AV_PKT_FLAG_KEY) ts = pkt->pts != AV_NOPTS_VALUE ? pkt->pts : pkt->dts;
        }
        const bool key = pkt->stream_index == streamIndex && (pkt->flags & AV_PKT_FLAG_KEY);
        ff::av_packet_unref(pkt);
        if (key) return ts;
    }
    return AV_NOPTS_VALUE;
}

bool TAVProbe::DecodeNextKeyFrame(int streamIndex) {
    const int index = SelectStream(streamIndex);
    if (index < 0) return false;
    int64_t target = FrameDuration();
    if (picture_.PTS != kNoTimestamp && picture_.PTS > 0) target += picture_.PTS;
    if (!Seek(TSeekFlags(), target)) return false;
    return Decode(index);
}

bool TAVProbe::DecodePreviousKeyFrame(int streamIndex) {
    const int index = SelectStream(streamIndex);
    if (index < 0) return false;
    int64_t reference = picture_.PTS;
    if (reference == kNoTimestamp) reference = lastPTS_;
    if (reference == kNoTimestamp) reference = 0;  // picture times count from the stream start
    const int64_t duration = FrameDuration();

    for (int64_t h = 1;; ++h) {
        const int64_t target = reference - h * duration;
        const bool atStart = target <= 0;  // the search cannot go further back than this try
        if (!Seek(TSeekFlag::sfBackward, target) || !Decode(index)) {
            if (atStart) break;
            continue;
        }
        if (picture_.PTS != kNoTimestamp && (picture_.PTS < reference || picture_.PTS <= 0)) return true;
        if (atStart) break;  // even the earliest picture is not before the reference
    }
    lastErrMsg_ = "Could not seek to the previous key-frame. " + lastErrMsg_;
    return false;
}

bool TAVProbe::DecodePreviousFrame(int streamIndex) {
    const int index = SelectStream(streamIndex);
    if (index < 0) return false;
    int64_t current = picture_.PTS;
    if (current == kNoTimestamp) current = lastPTS_;
    if (current == kNoTimestamp) current = 0;
    const int64_t target = current - 2 * FrameDuration();
    if (!DecodePreviousKeyFrame(index)) return false;
    // The key frame itself may already be the previous frame.
    while (picture_.PTS == kNoTimestamp || picture_.PTS <= target)
        if (!Decode(index)) return false;
    return true;
}

bool TAVProbe::CopyToBitmap(TBitmap24& bitmap) {
    if (!picture_.Ready || !frame_) {
        LogMsg(TLogLevel::llError, "picture not ready, please decode first");
        return false;
    }
    if (rgbContext_.ToBitmap(*frame_, bitmap)) return true;
    bitmap.SetSize(frame_->width, frame_->height);
    ff::av_log(nullptr, AV_LOG_ERROR, "convert picture to bitmap failed\n");
    lastErrMsg_ = "convert picture to bitmap failed";
    return false;
}
