// The conversion loop: choosing the input to read, reading, time-stamp corrections, limits,
// decoding, stream copy, end of input and join groups, flushing, trailers, pause and stop.
#include <algorithm>
#include <cinttypes>
#include <cmath>

extern "C" {
#include <libavutil/intreadwrite.h>
}

#include "engine/library/CodecLock.h"
#include "engine/transcode/CustomFFmpeg.h"
#include "engine/library/FFmpegErrors.h"
#include "engine/transcode/Previewer.h"

namespace {

// A packet time more than this far (microseconds, 30 hours) from where its stream stands is
// taken for damage rather than a jump.
constexpr int64_t kWildTimestampLimit = int64_t{30} * 3600 * AV_TIME_BASE;

const char* TypeName(AVMediaType type) {
    const char* name = ff::av_get_media_type_string(type);
    return name ? name : "unknown";
}

}  // namespace

void TCustomFFmpeg::RequestStop() {
    FBroken = true;
    SetPaused(false);
}

void TCustomFFmpeg::SetPaused(bool paused) {
    {
        std::lock_guard<std::mutex> lock(FPauseLock);
        FPaused = paused;
    }
    FPauseCond.notify_all();
}

// A paused task waits here, between packets, until it is resumed or stopped.
void TCustomFFmpeg::WaitWhilePaused() {
    if (!FPaused.load()) return;
    std::unique_lock<std::mutex> lock(FPauseLock);
    FPauseCond.wait(lock, [this] { return !FPaused.load() || FBroken.load(); });
}

void TCustomFFmpeg::Transcode() {
    SetupTranscode();
    TranscodeLoop();

    // Whatever the decoders and encoders still hold goes out; a stopped run too, so the file
    // keeps every picture that was read.
    for (auto& ist : FInputStreams)
        if (ist->decoding_needed && !ist->decoder_flushed) OutputPacket(*ist, nullptr);
    for (auto& ost : FOutputStreams)
        if (ost->encoding_needed && ost->encoder_opened && !ost->encoder_flushed) FlushEncoder(*ost);

    for (size_t k = 0; k < Foutput_files.size(); ++k) {
        TOutputFile& file = *Foutput_files[k].file;
        if (!file.header_written || file.trailer_written) continue;
        file.trailer_written = true;
        const int ret = ff::av_write_trailer(file.ctx.get());
        if (ret < 0) Fail(file.name + ": " + FFmpegErrorText(ret));
    }
    PrintReport(true, 0);

    for (auto& ost : FOutputStreams)
        ost->enc.reset();
    for (auto& ist : FInputStreams)
        ist->dec.reset();
    FFinished = !FBroken;
}

// The output time of a stream in seconds: how far its encoder (or its copied packets) got.
static double OutputTime(const TAVOutputStream& ost) {
    if (ost.encoding_needed && ost.enc) return ost.sync_opts * av_q2d(ost.enc->time_base);
    if (ost.last_mux_dts == AV_NOPTS_VALUE) return 0.0;
    return ost.last_mux_dts * av_q2d(ost.st->time_base);
}

// The input to read next: the one feeding the output stream that is furthest behind (with
// isync, the input stream that is furthest behind). -1: none can be read; -2: an output stream
// reached its frame limit.
int TCustomFFmpeg::ChooseInput() {
    double optsMin = 1e100, iptsMin = 1e100;
    int fileIndex = -1;
    for (auto& holder : FOutputStreams) {
        TAVOutputStream& ost = *holder;
        if (FJoinMode && ost.group != FCurrentGroup) continue;
        TInputStream& ist = *FInputStreams[ost.source_index];
        const TInputFile& in = *Finput_files[ist.file_index];
        if (ist.is_past_recording_time || in.no_packet || ost.finished) continue;
        if (!in.eof_reached) {
            const double ipts = static_cast<double>(ist.pts);
            const double opts = OutputTime(ost);
            if (ipts < iptsMin) {
                iptsMin = ipts;
                if (Finput_sync) fileIndex = ist.file_index;
            }
            if (opts < optsMin) {
                optsMin = opts;
                if (!Finput_sync) fileIndex = ist.file_index;
            }
        }
        if (ost.frame_number >= ost.spec->max_frames) return -2;
    }
    return fileIndex;
}

void TCustomFFmpeg::TranscodeLoop() {
    TPacketPtr pkt(ff::av_packet_alloc());
    if (!pkt) Fail("Out of memory");
    FTimerStart = ff::av_gettime_relative();
    FLastReport = FTimerStart;
    FCurrentGroup = 0;
    for (auto& ist : FInputStreams)
        ist->start_wallclock = FTimerStart;

    while (!FBroken) {
        WaitWhilePaused();
        if (FBroken) break;

        const int fileIndex = ChooseInput();
        if (fileIndex == -2) break;
        if (fileIndex < 0) {
            // Inputs that asked to try again are polled rather than taken for ended.
            bool waiting = false;
            for (auto& in : Finput_files)
                if (in->no_packet && !in->eof_reached) {
                    in->no_packet = false;
                    waiting = true;
                }
            if (!waiting) break;
            ff::av_usleep(10000);
            continue;
        }

        if (Flimit_filesize != 0) {
            AVIOContext* pb = Foutput_files[0].file->ctx->pb;
            if (pb && ff::avio_seek(pb, 0, SEEK_CUR) >= Flimit_filesize) break;
        }

        TInputFile& in = *Finput_files[fileIndex];
        const int ret = ff::av_read_frame(in.ctx.get(), pkt.get());
        if (ret == AVERROR(EAGAIN)) {
            in.no_packet = true;
            continue;
        }
        if (ret < 0) {
            if (in.ctx->pb && in.ctx->pb->error && in.ctx->pb->error != AVERROR_EOF && Fverbose >= 0)
                LogFmt(TLogLevel::llVerbose, "%s: %s", in.name.c_str(),
                       FFmpegErrorText(in.ctx->pb->error).c_str());
            FinishInput(fileIndex);
            if (!FJoinMode && Fopt_shortest) break;
            if (FJoinMode && FCurrentGroup >= static_cast<int>(Finput_files.size())) break;
            continue;
        }
        for (auto& other : Finput_files)
            other->no_packet = false;

        if (Fdo_pkt_dump && pkt->stream_index < in.nb_streams)
            ff::av_pkt_dump_log2(nullptr, AV_LOG_DEBUG, pkt.get(), Fdo_hex_dump ? 1 : 0,
                                 in.ctx->streams[pkt->stream_index]);
        if (pkt->stream_index >= in.nb_streams) {
            ff::av_packet_unref(pkt.get());
            continue;
        }
        TInputStream& ist = *FInputStreams[in.ist_index + pkt->stream_index];
        if (ist.st->discard == AVDISCARD_ALL || ist.outputs.empty()) {
            ff::av_packet_unref(pkt.get());
            continue;
        }
        ProcessInputPacket(ist, pkt.get());
        ff::av_packet_unref(pkt.get());

        const int64_t now = ff::av_gettime_relative();
        if (now - FLastReport >= FReportInterval) PrintReport(false, fileIndex);
    }
}

// Time stamps of a read packet: the input's offset and scale, discontinuities, the recording
// time; then decoding or copying.
void TCustomFFmpeg::ProcessInputPacket(TInputStream& ist, AVPacket* pkt) {
    TInputFile& in = *Finput_files[ist.file_index];
    const AVRational tb = ist.st->time_base;
    const int64_t offset = ff::av_rescale_q(in.ts_offset, AV_TIME_BASE_Q, tb);
    if (pkt->dts != AV_NOPTS_VALUE) pkt->dts += offset;
    if (pkt->pts != AV_NOPTS_VALUE) pkt->pts += offset;
    if (ist.index < kMaxStreams && in.ts_scale[ist.index] != 0.0) {
        const double scale = in.ts_scale[ist.index];
        if (pkt->pts != AV_NOPTS_VALUE) pkt->pts = std::llround(pkt->pts * scale);
        if (pkt->dts != AV_NOPTS_VALUE) pkt->dts = std::llround(pkt->dts * scale);
    }

    if (pkt->dts != AV_NOPTS_VALUE && ist.next_pts != AV_NOPTS_VALUE && !Fcopy_ts &&
        (in.ctx->iformat->flags & AVFMT_TS_DISCONT)) {
        const int64_t pktDts = ff::av_rescale_q(pkt->dts, tb, AV_TIME_BASE_Q);
        const int64_t delta = pktDts - ist.next_pts;
        if (std::llabs(delta) > static_cast<int64_t>(Fdts_delta_threshold * AV_TIME_BASE) ||
            pktDts + 1 < ist.pts) {
            in.ts_offset -= delta;
            const int64_t shift = ff::av_rescale_q(delta, AV_TIME_BASE_Q, tb);
            pkt->dts -= shift;
            if (pkt->pts != AV_NOPTS_VALUE) pkt->pts -= shift;
            if (Fverbose > 2)
                LogFmt(TLogLevel::llVerbose, "timestamp discontinuity %" PRId64 ", new offset= %" PRId64,
                       delta, in.ts_offset);
        }
    }

    // Elsewhere a time stamp far away from where the stream stands is wrong (a damaged packet):
    // it is dropped and the decoder goes on from its neighbours' times.
    if (ist.next_pts != AV_NOPTS_VALUE && !Fcopy_ts && !(in.ctx->iformat->flags & AVFMT_TS_DISCONT)) {
        auto wild = [&](int64_t ts) {
            if (ts == AV_NOPTS_VALUE) return false;
            return std::llabs(ff::av_rescale_q(ts, tb, AV_TIME_BASE_Q) - ist.next_pts) > kWildTimestampLimit;
        };
        if (wild(pkt->dts)) {
            LogFmt(TLogLevel::llVerbose, "DTS %" PRId64 " of stream %d.%d is invalid; dropped", pkt->dts,
                   ist.file_index, ist.index);
            pkt->dts = AV_NOPTS_VALUE;
        }
        if (wild(pkt->pts)) {
            LogFmt(TLogLevel::llVerbose, "PTS %" PRId64 " of stream %d.%d is invalid; dropped", pkt->pts,
                   ist.file_index, ist.index);
            pkt->pts = AV_NOPTS_VALUE;
        }
    }

    // Past the recording time. The decoding time stamp decides: every packet after this one
    // shows its pictures later still, so nothing inside the range is lost.
    if (Frecording_time != INT64_MAX) {
        const int64_t ts = pkt->dts != AV_NOPTS_VALUE ? pkt->dts : pkt->pts;
        if (ts != AV_NOPTS_VALUE &&
            ff::av_compare_ts(ts, tb, Frecording_time + Fstart_time, AV_TIME_BASE_Q) >= 0) {
            ist.is_past_recording_time = true;
            return;
        }
    }

    if (Frate_emu) {
        // Reading at the input's own pace: waits in short steps (a stop ends the wait).
        const int64_t due = ist.pts;
        for (;;) {
            const int64_t lead = due - (ff::av_gettime_relative() - ist.start_wallclock);
            if (lead <= 1000 || FBroken) break;
            ff::av_usleep(static_cast<unsigned>(std::min<int64_t>(lead, 100000)));
        }
    }

    const int ret = OutputPacket(ist, pkt);
    if (ret < 0) {
        const std::string message = FormatText("Error while decoding stream #%d.%d (%s)", ist.file_index,
                                               ist.index, TypeName(ist.st->codecpar->codec_type));
        if (Fexit_on_error) Fail(message);
        if (Fverbose >= 0) Log(TLogLevel::llVerbose, message);
    }
}

// One packet (null: end of stream) through the input stream: decoded and handed to the output
// steps, or copied. Negative on a decoding error.
int TCustomFFmpeg::OutputPacket(TInputStream& ist, const AVPacket* pkt) {
    if (ist.next_pts == AV_NOPTS_VALUE) ist.next_pts = ist.pts;
    if (pkt && pkt->dts != AV_NOPTS_VALUE)
        ist.next_pts = ist.pts = ff::av_rescale_q(pkt->dts, ist.st->time_base, AV_TIME_BASE_Q);

    if (!ist.decoding_needed) {
        if (!pkt) return 0;
        ist.pts = ist.next_pts;
        if (pkt->duration > 0)
            ist.next_pts += ff::av_rescale_q(pkt->duration, ist.st->time_base, AV_TIME_BASE_Q);
        else if (ist.st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && ist.framerate.num > 0)
            ist.next_pts += ff::av_rescale_q(1, av_inv_q(ist.framerate), AV_TIME_BASE_Q);
        for (TAVOutputStream* ost : ist.outputs)
            if (!FJoinMode || ost->group == FCurrentGroup) DoStreamCopy(*ost, ist, pkt);
        return 0;
    }

    int ret = 0;
    switch (ist.st->codecpar->codec_type) {
        case AVMEDIA_TYPE_VIDEO:
            ret = DecodeVideo(ist, pkt);
            break;
        case AVMEDIA_TYPE_AUDIO:
            ret = DecodeAudio(ist, pkt);
            break;
        case AVMEDIA_TYPE_SUBTITLE:
            ret = DecodeSubtitle(ist, pkt);
            break;
        default:
            break;
    }
    if (!pkt) {
        ist.decoder_flushed = true;
        for (TAVOutputStream* ost : ist.outputs)
            if (ost->encoding_needed && ost->encoder_opened && !ost->encoder_flushed) FlushEncoder(*ost);
    }
    return ret;
}

// Frames before the start time are not output; reaching the recording time ends the stream.
bool TCustomFFmpeg::FrameInRange(TInputStream& ist, int64_t pts) {
    if (pts < Fstart_time) return false;
    if (Frecording_time != INT64_MAX && pts >= Fstart_time + Frecording_time) {
        ist.is_past_recording_time = true;
        return false;
    }
    return true;
}

int TCustomFFmpeg::DecodeVideo(TInputStream& ist, const AVPacket* pkt) {
    AVCodecContext* dec = ist.dec.get();
    int ret = ff::avcodec_send_packet(dec, pkt);
    if (ret < 0 && ret != AVERROR_EOF) return ret;
    int frames = 0;
    AVFrame* frame = ist.frame.get();
    for (;;) {
        ret = ff::avcodec_receive_frame(dec, frame);
        if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF) return 0;
        if (ret < 0) return ret;
        if (++frames == 2 && !ist.multi_frame_warned && pkt) {
            ist.multi_frame_warned = true;
            LogFmt(TLogLevel::llVerbose, "Multiple frames in a packet from stream %d", ist.index);
        }
        int64_t pts = frame->best_effort_timestamp;
        pts = pts != AV_NOPTS_VALUE ? ff::av_rescale_q(pts, ist.st->time_base, AV_TIME_BASE_Q) : ist.next_pts;
        int64_t duration =
            frame->pkt_duration > 0 ? ff::av_rescale_q(frame->pkt_duration, ist.st->time_base, AV_TIME_BASE_Q)
            : ist.framerate.num > 0 ? ff::av_rescale_q(1, av_inv_q(ist.framerate), AV_TIME_BASE_Q)
                                    : 40000;
        duration += duration * frame->repeat_pict / 2;
        // A picture stamped with the time of the one before it (or a little earlier: muxers that
        // round times repeat or swap neighbours) takes the next picture's place instead of being
        // dropped; a jump back of more than two pictures is a new time line and stays as it is.
        if (pts != AV_NOPTS_VALUE && ist.last_picture_pts != AV_NOPTS_VALUE && pts <= ist.last_picture_pts &&
            ist.last_picture_pts - pts < 2 * duration)
            pts = ist.last_picture_pts + duration;
        ist.last_picture_pts = pts;
        ist.pts = pts;
        ist.next_pts = pts + duration;

        HookStage(frame, pts);
        if (FrameInRange(ist, pts))
            for (TAVOutputStream* ost : ist.outputs)
                if (ost->encoding_needed && (!FJoinMode || ost->group == FCurrentGroup) && !FBroken)
                    DoVideoOut(*ost, ist, frame);
        ff::av_frame_unref(frame);
    }
}

int TCustomFFmpeg::DecodeAudio(TInputStream& ist, const AVPacket* pkt) {
    AVCodecContext* dec = ist.dec.get();
    int ret = ff::avcodec_send_packet(dec, pkt);
    if (ret < 0 && ret != AVERROR_EOF) return ret;
    AVFrame* frame = ist.frame.get();
    for (;;) {
        ret = ff::avcodec_receive_frame(dec, frame);
        if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF) return 0;
        if (ret < 0) return ret;
        if (frame->sample_rate <= 0) {
            ff::av_frame_unref(frame);
            continue;
        }
        int64_t pts = frame->best_effort_timestamp;
        pts = pts != AV_NOPTS_VALUE ? ff::av_rescale_q(pts, ist.st->time_base, AV_TIME_BASE_Q) : ist.next_pts;
        if (pts == AV_NOPTS_VALUE) pts = ist.pts;
        ist.pts = pts;
        ist.next_pts = pts + static_cast<int64_t>(frame->nb_samples) * AV_TIME_BASE / frame->sample_rate;
        if (FrameInRange(ist, pts))
            for (TAVOutputStream* ost : ist.outputs)
                if (ost->encoding_needed && (!FJoinMode || ost->group == FCurrentGroup))
                    DoAudioOut(*ost, ist, frame);
        ff::av_frame_unref(frame);
    }
}

void TCustomFFmpeg::DoStreamCopy(TAVOutputStream& ost, TInputStream& ist, const AVPacket* pkt) {
    if (ost.finished) return;
    // The packet's own presentation time decides (a stream with B-frames starts decoding
    // before its start time).
    const int64_t shown =
        pkt->pts != AV_NOPTS_VALUE ? ff::av_rescale_q(pkt->pts, ist.st->time_base, AV_TIME_BASE_Q) : ist.pts;
    if (shown < Fstart_time) return;
    if (Frecording_time != INT64_MAX && ist.pts >= Fstart_time + Frecording_time) {
        ist.is_past_recording_time = true;
        return;
    }
    // A copy starts at a key frame unless initial non-key frames are wanted.
    if (!ost.frame_number && !(pkt->flags & AV_PKT_FLAG_KEY) && !Fcopy_initial_nonkeyframes) return;
    if (ost.frame_number >= ost.spec->max_frames) return;

    AVPacket* opkt = ost.pkt.get();
    if (ff::av_packet_ref(opkt, pkt) < 0) Fail("Out of memory");
    const AVRational itb = ist.st->time_base;
    const int64_t startOffset = ff::av_rescale_q(Fstart_time, AV_TIME_BASE_Q, itb);
    if (opkt->pts != AV_NOPTS_VALUE) opkt->pts -= startOffset;
    opkt->dts = (pkt->dts == AV_NOPTS_VALUE ? ff::av_rescale_q(ist.pts, AV_TIME_BASE_Q, itb) : pkt->dts) -
                startOffset;
    opkt->stream_index = ost.index;
    WritePacket(ost, opkt);
    ++ost.frame_number;
}

// End of an input file. Join mode: the group of this input is flushed and the next input's
// group takes over, continuing the time stamps and frame numbers.
void TCustomFFmpeg::FinishInput(int fileIndex) {
    TInputFile& in = *Finput_files[fileIndex];
    in.eof_reached = true;
    if (!FJoinMode) return;

    for (int i = 0; i < in.nb_streams; ++i) {
        TInputStream& ist = *FInputStreams[in.ist_index + i];
        if (ist.decoding_needed && !ist.decoder_flushed) OutputPacket(ist, nullptr);
    }
    FlushEncoders(fileIndex);
    if (fileIndex + 1 >= static_cast<int>(Finput_files.size())) {
        FCurrentGroup = fileIndex + 1;
        return;
    }
    JoinNextGroup(fileIndex);
}

void TCustomFFmpeg::FlushEncoders(int group) {
    for (auto& ost : FOutputStreams)
        if (ost->group == group && ost->encoding_needed && ost->encoder_opened && !ost->encoder_flushed)
            FlushEncoder(*ost);
}

void TCustomFFmpeg::JoinNextGroup(int finishedGroup) {
    const int next = finishedGroup + 1;
    // The next input starts where the finished one ends: after its last picture or sample
    // (a copied stream's last packet time plus its duration).
    double endTime = 0.0;
    for (auto& ost : FOutputStreams) {
        if (ost->group != finishedGroup) continue;
        const double end = !ost->encoding_needed && ost->mux_end != AV_NOPTS_VALUE
                               ? ost->mux_end * av_q2d(ost->st->time_base)
                               : OutputTime(*ost);
        endTime = std::max(endTime, end);
    }

    for (auto& holder : FOutputStreams) {
        TAVOutputStream& ost = *holder;
        if (ost.group != next) continue;
        // The same stream of the finished group hands over its position and counters.
        TAVOutputStream* prev = nullptr;
        for (auto& other : FOutputStreams)
            if (other->group == finishedGroup && other->file == ost.file && other->index == ost.index)
                prev = other.get();
        if (prev) {
            ost.frame_number = prev->frame_number;
            ost.last_mux_dts = prev->last_mux_dts;
            ost.mux_end = prev->mux_end;
            ost.data_size = prev->data_size;
            ost.dup_count = prev->dup_count;
            ost.drop_count = prev->drop_count;
            ost.quality = prev->quality;
            if (prev->encoding_needed && ost.encoding_needed && prev->enc) {
                ost.sync_opts = prev->sync_opts;
                prev->enc.reset();  // closed; the next group's encoder takes its place
                prev->encoder_opened = false;
            }
        }
        if (!ost.encoding_needed) continue;
        OpenEncoder(ost, true);
        if (ost.spec->type == AVMEDIA_TYPE_AUDIO) {
            const AVCodecParameters* par = FInputStreams[ost.source_index]->st->codecpar;
            if (ConfigureAudioFilters(ost, par->sample_rate, static_cast<AVSampleFormat>(par->format),
                                      par->ch_layout) < 0)
                Fail("Error opening filters!");
        }
    }
    Finput_files[next]->ts_offset += static_cast<int64_t>(endTime * AV_TIME_BASE);
    FCurrentGroup = next;
}

// A packet in the stream's source time base (the encoder's, or the input's for a copy) through
// the bitstream filters into the file.
void TCustomFFmpeg::WritePacket(TAVOutputStream& ost, AVPacket* pkt) {
    AVFormatContext* oc = ost.file->ctx.get();
    auto write = [&](AVPacket* p, AVRational tb) {
        ff::av_packet_rescale_ts(p, tb, ost.st->time_base);
        if (!(oc->oformat->flags & AVFMT_NOTIMESTAMPS) && p->dts != AV_NOPTS_VALUE &&
            ost.last_mux_dts != AV_NOPTS_VALUE) {
            const int64_t least = ost.last_mux_dts + ((oc->oformat->flags & AVFMT_TS_NONSTRICT) ? 0 : 1);
            if (p->dts < least) {
                LogFmt(TLogLevel::llVerbose,
                       "Non-monotonous DTS in output stream %d:%d; previous: %" PRId64 ", current: %" PRId64
                       "; changing to %" PRId64,
                       ost.file_index, ost.index, ost.last_mux_dts, p->dts, least);
                if (p->pts != AV_NOPTS_VALUE && p->pts >= p->dts) p->pts = std::max(p->pts, least);
                p->dts = least;
            }
        }
        if (p->dts != AV_NOPTS_VALUE) ost.last_mux_dts = p->dts;
        const int64_t shown = p->pts != AV_NOPTS_VALUE ? p->pts : p->dts;
        if (shown != AV_NOPTS_VALUE) {
            const int64_t end = shown + std::max<int64_t>(p->duration, 0);
            if (ost.mux_end == AV_NOPTS_VALUE || end > ost.mux_end) ost.mux_end = end;
        }
        ost.data_size += p->size;
        const int ret = ff::av_interleaved_write_frame(oc, p);
        if (ret < 0)
            Fail(FormatText("%s failed for stream %d, codec %s", "av_interleaved_write_frame()", ost.index,
                            ff::avcodec_get_name(ost.st->codecpar->codec_id)));
    };
    pkt->stream_index = ost.index;
    if (!ost.bsf) {
        write(pkt, ost.mux_tb);
        return;
    }
    if (ff::av_bsf_send_packet(ost.bsf.get(), pkt) < 0) {
        ff::av_packet_unref(pkt);
        return;
    }
    while (ff::av_bsf_receive_packet(ost.bsf.get(), pkt) >= 0)
        write(pkt, ost.bsf->time_base_out);
}

void TCustomFFmpeg::ReceivePackets(TAVOutputStream& ost, const char* failure) {
    AVCodecContext* enc = ost.enc.get();
    AVPacket* pkt = ost.pkt.get();
    for (;;) {
        const int ret = ff::avcodec_receive_packet(enc, pkt);
        if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF) break;
        if (ret < 0) Fail(failure);
        size_t statsSize = 0;
        if (const uint8_t* stats = ff::av_packet_get_side_data(pkt, AV_PKT_DATA_QUALITY_STATS, &statsSize);
            stats && statsSize >= 4) {
            ost.quality = static_cast<double>(AV_RL32(stats));
            if (statsSize >= 8 + 8 && stats[5] > 0) {
                for (int i = 0; i < stats[5] && 8 + 8 * (i + 1) <= static_cast<int>(statsSize); ++i)
                    ost.error[i] += AV_RL64(stats + 8 + 8 * i);
            }
        }
        if (ost.spec->type == AVMEDIA_TYPE_VIDEO) {
            WriteVideoStats(ost, pkt->size, pkt->flags & AV_PKT_FLAG_KEY);
            if (auto d = ost.picture_durations.find(pkt->pts); d != ost.picture_durations.end()) {
                if (pkt->duration <= 0) pkt->duration = d->second;
                ost.picture_durations.erase(d);
            }
        }
        WritePacket(ost, pkt);
        // The statistics belong to the packet just received (the next encode call clears them).
        if (ost.logfile && enc->stats_out) ff::fprintf(ost.logfile, "%s", enc->stats_out);
    }
}

// Drains what the filter graph and the encoder still hold.
void TCustomFFmpeg::FlushEncoder(TAVOutputStream& ost) {
    ost.encoder_flushed = true;
    const AVMediaType type = ost.spec->type;
    if (ost.graph && ost.buffersrc) {
        // End of stream for the graph; a refusal leaves nothing more to drain either way.
        (void)!ff::av_buffersrc_add_frame_flags(ost.buffersrc, nullptr, 0);
        if (type == AVMEDIA_TYPE_VIDEO)
            DrainFilteredVideo(ost);
        else if (type == AVMEDIA_TYPE_AUDIO)
            DrainFilteredAudio(ost, true);
    }
    if (type != AVMEDIA_TYPE_VIDEO && type != AVMEDIA_TYPE_AUDIO) return;
    const char* failure = type == AVMEDIA_TYPE_VIDEO ? "Video encoding failed" : "Audio encoding failed";
    const int ret = ff::avcodec_send_frame(ost.enc.get(), nullptr);
    if (ret < 0 && ret != AVERROR_EOF) Fail(failure);
    ReceivePackets(ost, failure);
}
