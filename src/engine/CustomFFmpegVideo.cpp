// Video output: the filter graph (crop, scale, pad, the user's filters, the encoder's pixel
// format), synchronisation of pictures to the output frame rate, encoding and writing.
#include "engine/CustomFFmpeg.h"
#include "engine/FFmpegErrors.h"

namespace {

struct TInOutDeleter {
    void operator()(AVFilterInOut* io) const {
        if (io) ff::avfilter_inout_free(&io);
    }
};
using TInOutPtr = std::unique_ptr<AVFilterInOut, TInOutDeleter>;

// Adds a filter after last; returns the new last filter (null on failure).
AVFilterContext* Append(AVFilterGraph* graph, AVFilterContext* last, const char* filter,
                        const std::string& args, int& ret) {
    AVFilterContext* ctx = nullptr;
    ret = ff::avfilter_graph_create_filter(&ctx, ff::avfilter_get_by_name(filter), filter, args.c_str(),
                                           nullptr, graph);
    if (ret < 0) return nullptr;
    ret = ff::avfilter_link(last, 0, ctx, 0);
    return ret < 0 ? nullptr : ctx;
}

}  // namespace

// buffer -> [yadif] -> [crop] -> [scale] -> [pad] -> [the user's filters] -> buffersink, the sink
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
        last = Append(graph.get(), last, "yadif", "mode=send_frame:parity=auto:deint=all", ret);
        if (!last) return ret;
    }
    const int croppedW = width - ost.leftBand - ost.rightBand;
    const int croppedH = height - ost.topBand - ost.bottomBand;
    if (ost.leftBand || ost.rightBand || ost.topBand || ost.bottomBand) {
        last = Append(
            graph.get(), last, "crop",
            FormatText("w=%d:h=%d:x=%d:y=%d:exact=1", croppedW, croppedH, ost.leftBand, ost.topBand), ret);
        if (!last) return ret;
    }
    const int scaledW = ost.enc->width - ost.padleft - ost.padright;
    const int scaledH = ost.enc->height - ost.padtop - ost.padbottom;
    if (scaledW != croppedW || scaledH != croppedH) {
        last = Append(graph.get(), last, "scale",
                      FormatText("w=%d:h=%d:flags=%d", scaledW, scaledH, swsFlags), ret);
        if (!last) return ret;
    }
    if (ost.padleft || ost.padright || ost.padtop || ost.padbottom) {
        const TColor c = ost.spec->pad_color;
        const unsigned rgb = ((c & 0xff) << 16) | (c & 0xff00) | ((c >> 16) & 0xff);
        last = Append(graph.get(), last, "pad",
                      FormatText("width=%d:height=%d:x=%d:y=%d:color=0x%06x", ost.enc->width, ost.enc->height,
                                 ost.padleft, ost.padtop, rgb),
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
    ost.resample_width = width;
    ost.resample_height = height;
    ost.resample_pix_fmt = format;
    if (!ost.filtered) ost.filtered.reset(ff::av_frame_alloc());
    return ost.filtered ? 0 : AVERROR(ENOMEM);
}
