// The player's decoders and the threads that decode pictures and subtitles into their queues.

#include <cmath>

#include "engine/library/FFmpegLogger.h"
#include "engine/player/Player.h"
#include "engine/player/PlayerState.h"
#include "engine/player/SubtitleText.h"

void TPlayerDecoder::Init(TCodecContextPtr context, TPacketQueue* queue) {
    context_ = std::move(context);
    queue_ = queue;
    packet_.reset(ff::av_packet_alloc());
    pktSerial_ = -1;
    finished_.store(0);
    packetPending_ = false;
    nextPts_ = startPts_;
    nextPtsTb_ = startPtsTb_;
}

void TPlayerDecoder::Close() {
    packet_.reset();
    context_.reset();
    queue_ = nullptr;
}

int TPlayerDecoder::DecodeFrame(AVFrame* frame, AVSubtitle* sub, bool block) {
    AVCodecContext* avctx = context_.get();
    for (;;) {
        if (queue_->SerialValue() == pktSerial_ && avctx->codec_type != AVMEDIA_TYPE_SUBTITLE) {
            int err;
            do {
                if (queue_->Aborted()) return -1;
                err = ff::avcodec_receive_frame(avctx, frame);
                if (err >= 0) {
                    if (avctx->codec_type == AVMEDIA_TYPE_VIDEO) {
                        if (reorderPts == -1)
                            frame->pts = frame->best_effort_timestamp;
                        else if (!reorderPts)
                            frame->pts = frame->pkt_dts;
                    } else {
                        AVRational tb{1, frame->sample_rate};
                        if (frame->pts != AV_NOPTS_VALUE)
                            frame->pts = ff::av_rescale_q(frame->pts, avctx->pkt_timebase, tb);
                        else if (nextPts_ != AV_NOPTS_VALUE)
                            frame->pts = ff::av_rescale_q(nextPts_, nextPtsTb_, tb);
                        if (frame->pts != AV_NOPTS_VALUE) {
                            nextPts_ = frame->pts + frame->nb_samples;
                            nextPtsTb_ = tb;
                        }
                    }
                    return 1;
                }
                if (err == AVERROR_EOF) {
                    finished_.store(pktSerial_);
                    ff::avcodec_flush_buffers(avctx);
                    return 0;
                }
            } while (err != AVERROR(EAGAIN));
        }

        // The next packet of the current serial.
        for (;;) {
            if (packetPending_) {
                packetPending_ = false;
            } else {
                int oldSerial = pktSerial_;
                int got = queue_->Get(packet_.get(), block, &pktSerial_);
                if (got < 0) return -1;
                if (got == 0) return 2;
                if (oldSerial != pktSerial_) {
                    ff::avcodec_flush_buffers(avctx);
                    finished_.store(0);
                    nextPts_ = startPts_;
                    nextPtsTb_ = startPtsTb_;
                }
            }
            if (queue_->SerialValue() == pktSerial_) break;
            ff::av_packet_unref(packet_.get());
        }

        if (avctx->codec_type == AVMEDIA_TYPE_SUBTITLE) {
            int gotSub = 0;
            int err = ff::avcodec_decode_subtitle2(avctx, sub, &gotSub, packet_.get());
            if (err < 0) {
                ff::av_packet_unref(packet_.get());
                continue;
            }
            if (gotSub && !packet_->data) {
                packetPending_ = true;  // drain: ask again with the same empty packet
                return 1;
            }
            bool empty = !packet_->data;
            ff::av_packet_unref(packet_.get());
            if (gotSub) return 1;
            if (empty) {
                finished_.store(pktSerial_);
                return 0;
            }
            continue;
        }
        if (avctx->codec_type == AVMEDIA_TYPE_VIDEO) {
            int64_t skipBefore = skipBefore_.load();
            bool early =
                skipBefore != AV_NOPTS_VALUE && packet_->pts != AV_NOPTS_VALUE && packet_->pts < skipBefore;
            avctx->skip_frame = early ? AVDISCARD_NONREF : AVDISCARD_DEFAULT;
        }
        if (ff::avcodec_send_packet(avctx, packet_.get()) == AVERROR(EAGAIN))
            packetPending_ = true;  // the decoder is full: receive first, send again after
        else
            ff::av_packet_unref(packet_.get());
    }
}

void TVideoState::VideoLoop() {
    TFramePtr frame(ff::av_frame_alloc());
    TFramePtr filtered(ff::av_frame_alloc());
    AVStream* st = ic_->streams[videoStream_.load()];
    AVRational tb = st->time_base;
    AVRational frameRate = ff::av_guess_frame_rate(ic_.get(), st, nullptr);
    // A picture stamped more than this far (seconds) from the one before is damaged, not a jump.
    constexpr double kWildGap = 30.0 * 3600.0;
    double lastPts = NAN;
    int lastSerial = -1;
    for (;;) {
        int got = viddec_.DecodeFrame(frame.get(), nullptr, true);
        if (got < 0) break;
        if (got != 1) continue;
        int serial = viddec_.PacketSerial();
        frame->sample_aspect_ratio = ff::av_guess_sample_aspect_ratio(ic_.get(), st, frame.get());
        double dpts = frame->pts == AV_NOPTS_VALUE ? NAN : static_cast<double>(frame->pts) * av_q2d(tb);
        double duration = frameRate.num && frameRate.den ? av_q2d(av_inv_q(frameRate)) : 0;
        if (!std::isnan(dpts) && !std::isnan(lastPts) && serial == lastSerial &&
            std::fabs(dpts - lastPts) > kWildGap)
            dpts = lastPts + duration;  // shown in turn after the one before
        if (!std::isnan(dpts)) {
            lastPts = dpts;
            lastSerial = serial;
        }

        // After a time seek the pictures before the target are decoded but not shown.
        if (serial == seekSerialVideo_.load() && !std::isnan(dpts) &&
            dpts + duration * 0.5 < seekTarget_.load()) {
            ff::av_frame_unref(frame.get());
            continue;
        }
        // A picture that is already late against the master clock is dropped before it is queued.
        if (framedrop_ && MasterSyncType() != TSyncType::stVideoMaster && !std::isnan(dpts) &&
            serial != seekSerialVideo_.load()) {
            double diff = dpts - MasterClock();
            if (!std::isnan(diff) && std::fabs(diff) < kNoSyncThreshold && diff < 0 &&
                serial == vidclk_.Serial() && videoq_.Packets() > 0) {
                {
                    std::lock_guard<std::mutex> guard(statsLock_);
                    if (stats_.FramesDropped < TPlayerStats::kDropTimes) {
                        stats_.DropTimes[stats_.FramesDropped] =
                            static_cast<int64_t>(dpts * 1e6) - StartOffset();
                        stats_.DropEarly[stats_.FramesDropped] = true;
                    }
                    ++stats_.FramesDropped;
                }
                ff::av_frame_unref(frame.get());
                continue;
            }
        }

        if (vfilters_.empty()) {
            bool queued = QueuePicture(frame.get(), dpts, duration, frame->pkt_pos, serial);
            ff::av_frame_unref(frame.get());
            if (!queued) break;
            continue;
        }
        if (!ConfigureVideoFilters(frame.get())) {
            bool queued = QueuePicture(frame.get(), dpts, duration, frame->pkt_pos, serial);
            ff::av_frame_unref(frame.get());
            if (!queued) break;
            continue;
        }
        int64_t pos = frame->pkt_pos;
        if (ff::av_buffersrc_add_frame_flags(filterIn_, frame.get(), 0) < 0) {
            ff::av_frame_unref(frame.get());
            continue;
        }
        bool aborted = false;
        while (ff::av_buffersink_get_frame_flags(filterOut_, filtered.get(), 0) >= 0) {
            AVRational ftb = ff::av_buffersink_get_time_base(filterOut_);
            double fpts =
                filtered->pts == AV_NOPTS_VALUE ? NAN : static_cast<double>(filtered->pts) * av_q2d(ftb);
            bool queued = QueuePicture(filtered.get(), fpts, duration, pos, serial);
            ff::av_frame_unref(filtered.get());
            if (!queued) {
                aborted = true;
                break;
            }
        }
        if (aborted) break;
    }
}

bool TVideoState::QueuePicture(AVFrame* frame, double pts, double duration, int64_t pos, int serial) {
    TQueuedFrame* vp = pictq_.PeekWritable();
    if (!vp) return false;
    vp->SAR = frame->sample_aspect_ratio;
    vp->Width = frame->width;
    vp->Height = frame->height;
    vp->PTS = pts;
    vp->Duration = duration;
    vp->Pos = pos;
    vp->Serial = serial;
    frameWidth_.store(frame->width);
    frameHeight_.store(frame->height);
    ff::av_frame_move_ref(vp->Frame, frame);
    pictq_.Push();
    WakePlayThread();
    return true;
}

void TVideoState::FreeVideoFilters() {
    graph_.reset();
    filterIn_ = filterOut_ = nullptr;
    graphFormat_ = -1;
}

bool TVideoState::ConfigureVideoFilters(const AVFrame* frame) {
    if (graph_ && frame->width == graphWidth_ && frame->height == graphHeight_ &&
        frame->format == graphFormat_)
        return true;
    FreeVideoFilters();
    graph_.reset(ff::avfilter_graph_alloc());
    if (!graph_) return false;
    AVStream* st = ic_->streams[videoStream_.load()];
    char args[256];
    std::snprintf(args, sizeof args, "video_size=%dx%d:pix_fmt=%d:time_base=%d/%d:pixel_aspect=%d/%d",
                  frame->width, frame->height, frame->format, st->time_base.num, st->time_base.den,
                  frame->sample_aspect_ratio.num,
                  frame->sample_aspect_ratio.den > 0 ? frame->sample_aspect_ratio.den : 1);
    ff::av_opt_set(graph_.get(), "scale_sws_opts", "flags=bilinear", 0);
    AVFilterContext* src = nullptr;
    AVFilterContext* sink = nullptr;
    int err = ff::avfilter_graph_create_filter(&src, ff::avfilter_get_by_name("buffer"), "ffplay_input", args,
                                               nullptr, graph_.get());
    if (err >= 0)
        err = ff::avfilter_graph_create_filter(&sink, ff::avfilter_get_by_name("buffersink"), "ffplay_output",
                                               nullptr, nullptr, graph_.get());
    AVFilterInOut* outputs = ff::avfilter_inout_alloc();
    AVFilterInOut* inputs = ff::avfilter_inout_alloc();
    if (err >= 0 && outputs && inputs) {
        outputs->name = ff::av_strdup("in");
        outputs->filter_ctx = src;
        outputs->pad_idx = 0;
        outputs->next = nullptr;
        inputs->name = ff::av_strdup("out");
        inputs->filter_ctx = sink;
        inputs->pad_idx = 0;
        inputs->next = nullptr;
        err = ff::avfilter_graph_parse_ptr(graph_.get(), vfilters_.c_str(), &inputs, &outputs, nullptr);
        if (err >= 0) err = ff::avfilter_graph_config(graph_.get(), nullptr);
    } else if (err >= 0) {
        err = AVERROR(ENOMEM);
    }
    ff::avfilter_inout_free(&outputs);
    ff::avfilter_inout_free(&inputs);
    if (err < 0) {
        GetFFLogger().Log(&owner_, TLogLevel::llError, "Error opening filters: " + vfilters_);
        FreeVideoFilters();
        vfilters_.clear();  // show the pictures unfiltered rather than none
        return false;
    }
    filterIn_ = src;
    filterOut_ = sink;
    graphWidth_ = frame->width;
    graphHeight_ = frame->height;
    graphFormat_ = frame->format;
    return true;
}

// Subtitles are decoded into their queue; the display puts the current one over the picture.
void TVideoState::SubtitleLoop() {
    for (;;) {
        TQueuedFrame* sp = subpq_.PeekWritable();
        if (!sp) break;
        int got = subdec_.DecodeFrame(nullptr, &sp->Sub, true);
        if (got < 0) break;
        if (got != 1) continue;
        sp->HasSub = true;
        double pts = sp->Sub.pts != AV_NOPTS_VALUE ? static_cast<double>(sp->Sub.pts) / AV_TIME_BASE : 0;
        sp->PTS = pts;
        sp->Serial = subdec_.PacketSerial();
        sp->Width = subdec_.Context()->width;
        sp->Height = subdec_.Context()->height;
        for (unsigned i = 0; i < sp->Sub.num_rects; ++i) {
            const std::string line = SubtitlePlainText(*sp->Sub.rects[i]);
            if (line.empty()) continue;
            if (!sp->SubText.empty()) sp->SubText += '\n';
            sp->SubText += line;
        }
        subpq_.Push();
    }
}
