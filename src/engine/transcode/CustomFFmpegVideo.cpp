// Video output: the filter graph (crop, scale, pad, the user's filters, the encoder's pixel
// format), synchronisation of pictures to the output frame rate, encoding and writing.
#include <utility>

#include "engine/transcode/CustomFFmpeg.h"
#include "engine/library/FFmpegErrors.h"
#include "engine/probe/StreamRotation.h"
#include "engine/transcode/FilterChain.h"

namespace {

struct TInOutDeleter {
    void operator()(AVFilterInOut* io) const {
        if (io) ff::avfilter_inout_free(&io);
    }
};
using TInOutPtr = std::unique_ptr<AVFilterInOut, TInOutDeleter>;

}  // namespace

// buffer -> [yadif] -> [transpose or flips] -> [crop] -> [scale] -> [pad] -> [the user's filters] -> buffersink, the sink
// taking only the encoder's pixel format. The encoder's size comes from the sink.
int TCustomFFmpeg::ConfigureVideoFilters(TAVOutputStream& ost, int width, int height, AVPixelFormat format,
                                         AVRational sar) {
    ost.graph.reset();
    ost.buffersrc = ost.buffersink = nullptr;
    TFilterGraphPtr graph(ff::avfilter_graph_alloc());
    if (!graph) return AVERROR(ENOMEM);
    graph->nb_threads = Fthread_count;
    const int swsFlags = FOptions ? FOptions->ScalerFlags() : Fsws_flags;
    graph->scale_sws_opts = ff::av_strdup(FormatText("flags=%d", swsFlags).c_str());

    const int decodedW = width, decodedH = height;  // the size decoded pictures have
    if (sar.num <= 0 || sar.den <= 0) sar = AVRational{0, 1};
    const std::string srcArgs = FormatText("video_size=%dx%d:pix_fmt=%d:time_base=1/%d:pixel_aspect=%d/%d",
                                           width, height, format, AV_TIME_BASE, sar.num, sar.den);
    AVFilterContext* src = nullptr;
    int ret = ff::avfilter_graph_create_filter(&src, ff::avfilter_get_by_name("buffer"), "src",
                                               srcArgs.c_str(), nullptr, graph.get());
    if (ret < 0) return ret;
    AVFilterContext* sink = nullptr;
    ret = ff::avfilter_graph_create_filter(&sink, ff::avfilter_get_by_name("buffersink"), "out", nullptr,
                                           nullptr, graph.get());
    if (ret < 0) return ret;
    const AVPixelFormat pixFmt = ost.enc->pix_fmt;
    ret = ff::av_opt_set_bin(sink, "pix_fmts", reinterpret_cast<const uint8_t*>(&pixFmt), sizeof pixFmt,
                             AV_OPT_SEARCH_CHILDREN);
    if (ret < 0) return ret;

    AVFilterContext* last = src;
    if (ost.spec->deinterlace) {
        last = AppendFilter(graph.get(), last, "yadif", "mode=send_frame:parity=auto:deint=all", ret);
        if (!last) return ret;
    }
    // Sideways (or mirrored) pictures stand as shown from here on: the crop, scale and pad see
    // the turned one.
    for (const auto& [name, args] : UprightFilterSteps(ost.rotation, ost.mirrored)) {
        last = AppendFilter(graph.get(), last, name.c_str(), args, ret);
        if (!last) return ret;
    }
    if (ost.rotation == 90 || ost.rotation == 270) std::swap(width, height);
    const int croppedW = width - ost.leftBand - ost.rightBand;
    const int croppedH = height - ost.topBand - ost.bottomBand;
    if (ost.leftBand || ost.rightBand || ost.topBand || ost.bottomBand) {
        last = AppendFilter(
            graph.get(), last, "crop",
            FormatText("w=%d:h=%d:x=%d:y=%d:exact=1", croppedW, croppedH, ost.leftBand, ost.topBand), ret);
        if (!last) return ret;
    }
    const int scaledW = ost.enc->width - ost.padleft - ost.padright;
    const int scaledH = ost.enc->height - ost.padtop - ost.padbottom;
    if (scaledW != croppedW || scaledH != croppedH) {
        last = AppendFilter(graph.get(), last, "scale",
                            FormatText("w=%d:h=%d:flags=%d", scaledW, scaledH, swsFlags), ret);
        if (!last) return ret;
    }
    if (ost.padleft || ost.padright || ost.padtop || ost.padbottom) {
        const TColor c = ost.spec->pad_color;
        const unsigned rgb = ((c & 0xff) << 16) | (c & 0xff00) | ((c >> 16) & 0xff);
        last = AppendFilter(graph.get(), last, "pad",
                            FormatText("width=%d:height=%d:x=%d:y=%d:color=0x%06x", ost.enc->width,
                                       ost.enc->height, ost.padleft, ost.padtop, rgb),
                            ret);
        if (!last) return ret;
    }

    if (!ost.spec->vfilters.empty()) {
        TInOutPtr outputs(ff::avfilter_inout_alloc());
        TInOutPtr inputs(ff::avfilter_inout_alloc());
        if (!outputs || !inputs) return AVERROR(ENOMEM);
        outputs->name = ff::av_strdup("in");
        outputs->filter_ctx = last;
        outputs->pad_idx = 0;
        inputs->name = ff::av_strdup("out");
        inputs->filter_ctx = sink;
        inputs->pad_idx = 0;
        AVFilterInOut* in = inputs.release();
        AVFilterInOut* out = outputs.release();
        ret = ff::avfilter_graph_parse_ptr(graph.get(), ost.spec->vfilters.c_str(), &in, &out, nullptr);
        ff::avfilter_inout_free(&in);
        ff::avfilter_inout_free(&out);
        if (ret < 0) Fail("Error opening filters: " + FFmpegErrorText(ret));
    } else {
        ret = ff::avfilter_link(last, 0, sink, 0);
        if (ret < 0) return ret;
    }
    ret = ff::avfilter_graph_config(graph.get(), nullptr);
    if (ret < 0) return ret;

    ost.graph = std::move(graph);
    ost.buffersrc = src;
    ost.buffersink = sink;
    ost.resample_width = decodedW;
    ost.resample_height = decodedH;
    ost.resample_pix_fmt = format;
    if (!ost.filtered) ost.filtered.reset(ff::av_frame_alloc());
    return ost.filtered ? 0 : AVERROR(ENOMEM);
}

// One decoded picture into the output stream's graph; what comes out is synchronised and
// encoded. A picture of another size or format than the graph was built for rebuilds it.
void TCustomFFmpeg::DoVideoOut(TAVOutputStream& ost, TInputStream& ist, AVFrame* frame) {
    if (ost.finished) return;
    if (frame->width != ost.resample_width || frame->height != ost.resample_height ||
        frame->format != ost.resample_pix_fmt) {
        if (ost.graph && Fverbose >= 0)
            LogFmt(TLogLevel::llVerbose, "Input Stream #%d.%d frame size changed to %dx%d, %s",
                   ist.file_index, ist.index, frame->width, frame->height,
                   ff::av_get_pix_fmt_name(static_cast<AVPixelFormat>(frame->format)));
        // What the old graph still holds goes out before it is replaced.
        if (ost.graph && ost.buffersrc) {
            (void)!ff::av_buffersrc_add_frame_flags(ost.buffersrc, nullptr, 0);
            DrainFilteredVideo(ost);
        }
        if (ConfigureVideoFilters(ost, frame->width, frame->height, static_cast<AVPixelFormat>(frame->format),
                                  frame->sample_aspect_ratio) < 0)
            Fail("Cannot get resampling context");
    }
    frame->pts = ist.pts;
    frame->pkt_duration =
        ist.next_pts != AV_NOPTS_VALUE && ist.next_pts > ist.pts ? ist.next_pts - ist.pts : 0;
    if (ff::av_buffersrc_add_frame_flags(ost.buffersrc, frame, AV_BUFFERSRC_FLAG_KEEP_REF) < 0)
        Fail("Error opening filters!");
    DrainFilteredVideo(ost);
}

// The graph's pictures, each synchronised to the output frame rate: dropped, encoded once, or
// encoded several times.
void TCustomFFmpeg::DrainFilteredVideo(TAVOutputStream& ost) {
    AVFrame* picture = ost.filtered.get();
    const AVRational sinkTb = ff::av_buffersink_get_time_base(ost.buffersink);
    AVCodecContext* enc = ost.enc.get();
    const AVOutputFormat* format = ost.file->ctx->oformat;
    int method = Fvideo_sync_method;
    if (method < 0) method = ost.variable_rate || (format->flags & AVFMT_VARIABLE_FPS) ? 2 : 1;

    while (ff::av_buffersink_get_frame_flags(ost.buffersink, picture, 0) >= 0) {
        const double ipts =
            picture->pts == AV_NOPTS_VALUE
                ? static_cast<double>(ost.sync_opts)
                : (picture->pts * av_q2d(sinkTb) - Fstart_time / static_cast<double>(AV_TIME_BASE)) /
                      av_q2d(enc->time_base);
        const double delta = ipts - static_cast<double>(ost.sync_opts);
        int64_t copies = 1;
        if (method != 0) {
            if (delta < -1.1) {
                copies = 0;
            } else if (method == 2) {
                if (delta <= -0.6)
                    copies = 0;
                else if (delta > 0.6)
                    ost.sync_opts = std::llround(ipts);
            } else if (delta > 1.1) {
                copies = std::llround(delta);
            }
        } else {
            // Pictures keep their own time; one that would not come after the last is dropped.
            const int64_t pts = std::llround(ipts);
            if (ost.frame_number > 0 && pts < ost.sync_opts)
                copies = 0;
            else
                ost.sync_opts = pts;
        }
        if (copies == 0) {
            ++ost.drop_count;
            if (Fverbose > 2) Log(TLogLevel::llVerbose, "*** drop!");
        } else if (copies > 1) {
            ost.dup_count += copies - 1;
            if (Fverbose > 2) LogFmt(TLogLevel::llVerbose, "*** %d dup!", static_cast<int>(copies - 1));
        }
        copies = std::min<int64_t>(copies, ost.spec->max_frames - ost.frame_number);

        if (ost.spec->top_field_first >= 0) {
            picture->interlaced_frame = 1;
            picture->top_field_first = ost.spec->top_field_first;
        }
        if (enc->flags & AV_CODEC_FLAG_QSCALE) picture->quality = enc->global_quality;
        picture->pict_type = AV_PICTURE_TYPE_NONE;
        // A picture kept at its own time lasts until the next one; the last one as long as in the
        // source, so that the pictures end where the source's do.
        const int64_t duration =
            picture->pkt_duration > 0 ? ff::av_rescale_q(picture->pkt_duration, sinkTb, enc->time_base) : 0;
        for (int64_t i = 0; i < copies && !FBroken; ++i) {
            if (ost.variable_rate && duration > 0) ost.picture_durations[ost.sync_opts] = duration;
            picture->pts = ost.sync_opts;
            EncodeVideoFrame(ost, picture);
            ++ost.sync_opts;
            ++ost.frame_number;
        }
        ff::av_frame_unref(picture);
    }
}

void TCustomFFmpeg::EncodeVideoFrame(TAVOutputStream& ost, AVFrame* picture) {
    if (ff::avcodec_send_frame(ost.enc.get(), picture) < 0) Fail("Video encoding failed");
    if (!PostHooks().Empty() || FPreviewer)
        PreviewHook(*picture, ff::av_rescale_q(picture->pts, ost.enc->time_base, AV_TIME_BASE_Q));
    ReceivePackets(ost, "Video encoding failed");
}

// One line per encoded picture in the statistics file (option vstats).
void TCustomFFmpeg::WriteVideoStats(TAVOutputStream& ost, int frameSize, bool keyFrame) {
    if (!FVstatsFile) return;
    const AVCodecContext* enc = ost.enc.get();
    const double q = ost.quality / FF_QP2LAMBDA;
    ff::fprintf(FVstatsFile, "frame= %5d q= %2.1f ", static_cast<int>(ost.frame_number), q);
    if (enc->flags & AV_CODEC_FLAG_PSNR)
        ff::fprintf(FVstatsFile, "PSNR= %6.2f ",
                    -10.0 * std::log10(ost.error[0] / (enc->width * enc->height * 255.0 * 255.0) + 1e-30));
    const double ti = ost.sync_opts * av_q2d(enc->time_base);
    const double bitrate = ti > 0 ? ost.data_size * 8 / ti / 1000.0 : 0.0;
    ff::fprintf(FVstatsFile, "f_size= %6d ", frameSize);
    ff::fprintf(FVstatsFile, "s_size= %8.0fkB ", ost.data_size / 1024.0);
    ff::fprintf(FVstatsFile, "time= %0.3f ", ti);
    ff::fprintf(FVstatsFile, "br= %7.1fkbits/s ",
                ti > 0 ? frameSize * 8 / av_q2d(enc->time_base) / 1000.0 : 0.0);
    ff::fprintf(FVstatsFile, "avg_br= %7.1fkbits/s ", bitrate);
    ff::fprintf(FVstatsFile, "type= %c\n", keyFrame ? 'I' : 'P');
}
