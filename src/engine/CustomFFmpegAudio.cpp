// Audio output: the conversion graph (volume, resampling with the audio sync method, sample
// format and channel layout of the encoder, the encoder's frame size), encoding and writing.
#include "engine/CustomFFmpeg.h"
#include "engine/FilterChain.h"

namespace {

std::string LayoutText(const AVChannelLayout& layout) {
    char text[128] = {};
    if (ff::av_channel_layout_describe(&layout, text, sizeof text) < 0) return "stereo";
    return text;
}

}  // namespace

// abuffer -> [volume] -> [aresample with the sync method] -> aformat (the encoder's format,
// rate and layout) -> abuffersink, which hands out frames of the encoder's frame size.
int TCustomFFmpeg::ConfigureAudioFilters(TAVOutputStream& ost, int sampleRate, AVSampleFormat format,
                                         const AVChannelLayout& layout) {
    ost.graph.reset();
    ost.buffersrc = ost.buffersink = nullptr;
    TFilterGraphPtr graph(ff::avfilter_graph_alloc());
    if (!graph) return AVERROR(ENOMEM);
    graph->nb_threads = 1;

    AVChannelLayout inLayout{};
    if (layout.nb_channels > 0 && layout.order != AV_CHANNEL_ORDER_UNSPEC)
        ff::av_channel_layout_copy(&inLayout, &layout);
    else
        ff::av_channel_layout_default(&inLayout, layout.nb_channels > 0 ? layout.nb_channels : 2);
    const char* fmtName = ff::av_get_sample_fmt_name(format);
    const std::string srcArgs =
        FormatText("time_base=1/%d:sample_rate=%d:sample_fmt=%s:channel_layout=%s", sampleRate, sampleRate,
                   fmtName ? fmtName : "s16", LayoutText(inLayout).c_str());
    AVFilterContext* src = nullptr;
    int ret = ff::avfilter_graph_create_filter(&src, ff::avfilter_get_by_name("abuffer"), "src",
                                               srcArgs.c_str(), nullptr, graph.get());
    if (ret < 0) {
        ff::av_channel_layout_uninit(&inLayout);
        return ret;
    }
    AVFilterContext* sink = nullptr;
    ret = ff::avfilter_graph_create_filter(&sink, ff::avfilter_get_by_name("abuffersink"), "out", nullptr,
                                           nullptr, graph.get());
    if (ret < 0) {
        ff::av_channel_layout_uninit(&inLayout);
        return ret;
    }

    AVFilterContext* last = src;
    if (Faudio_volume != 256) {
        last = AppendFilter(graph.get(), last, "volume", FormatText("volume=%f", Faudio_volume / 256.0), ret);
        if (!last) return ret;
    }
    if (Faudio_sync_method > 0) {
        std::string args = FormatText("async=%d", Faudio_sync_method);
        if (Faudio_drift_threshold != 0.1f) args += FormatText(":min_hard_comp=%f", Faudio_drift_threshold);
        args += ":first_pts=0";
        last = AppendFilter(graph.get(), last, "aresample", args, ret);
        if (!last) return ret;
    }
    const AVCodecContext* enc = ost.enc.get();
    last = AppendFilter(graph.get(), last, "aformat",
                        FormatText("sample_fmts=%s:sample_rates=%d:channel_layouts=%s",
                                   ff::av_get_sample_fmt_name(enc->sample_fmt), enc->sample_rate,
                                   LayoutText(enc->ch_layout).c_str()),
                        ret);
    ff::av_channel_layout_uninit(&inLayout);
    if (!last) return ret;
    ret = ff::avfilter_link(last, 0, sink, 0);
    if (ret < 0) return ret;
    ret = ff::avfilter_graph_config(graph.get(), nullptr);
    if (ret < 0) return ret;
    if (ost.encoder && !(ost.encoder->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE) && enc->frame_size > 0)
        ff::av_buffersink_set_frame_size(sink, static_cast<unsigned>(enc->frame_size));

    ost.graph = std::move(graph);
    ost.buffersrc = src;
    ost.buffersink = sink;
    ost.resample_sample_rate = sampleRate;
    ost.resample_sample_fmt = format;
    ff::av_channel_layout_uninit(&ost.resample_ch_layout);
    ff::av_channel_layout_copy(&ost.resample_ch_layout, &layout);
    if (!ost.filtered) ost.filtered.reset(ff::av_frame_alloc());
    return ost.filtered ? 0 : AVERROR(ENOMEM);
}

// One decoded audio frame into the output stream's conversion graph; the encoder gets whole
// frames of its frame size.
void TCustomFFmpeg::DoAudioOut(TAVOutputStream& ost, TInputStream& ist, AVFrame* frame) {
    if (ost.finished) return;
    if (frame->sample_rate != ost.resample_sample_rate || frame->format != ost.resample_sample_fmt ||
        ff::av_channel_layout_compare(&frame->ch_layout, &ost.resample_ch_layout) != 0) {
        // What the old graph still holds goes out before it is replaced. An encoder of fixed
        // frame size takes a short frame only as its last, so there the old graph's remainder
        // (less than one frame) is left behind.
        const bool variableSize =
            ost.encoder &&
            ((ost.encoder->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE) || ost.enc->frame_size <= 0);
        if (ost.graph && ost.buffersrc && variableSize) {
            (void)!ff::av_buffersrc_add_frame_flags(ost.buffersrc, nullptr, 0);
            DrainFilteredAudio(ost);
        }
        if (ConfigureAudioFilters(ost, frame->sample_rate, static_cast<AVSampleFormat>(frame->format),
                                  frame->ch_layout) < 0)
            Fail(FormatText("Can not resample %d channels @ %d Hz to %d channels @ %d Hz",
                            frame->ch_layout.nb_channels, frame->sample_rate, ost.enc->ch_layout.nb_channels,
                            ost.enc->sample_rate));
    }
    frame->pts = ff::av_rescale_q(ist.pts - Fstart_time, AV_TIME_BASE_Q, AVRational{1, frame->sample_rate});
    if (ff::av_buffersrc_add_frame_flags(ost.buffersrc, frame, AV_BUFFERSRC_FLAG_KEEP_REF) < 0)
        Fail("Audio encoding failed");
    DrainFilteredAudio(ost);
}

void TCustomFFmpeg::DrainFilteredAudio(TAVOutputStream& ost) {
    AVFrame* samples = ost.filtered.get();
    AVCodecContext* enc = ost.enc.get();
    const AVRational sinkTb = ff::av_buffersink_get_time_base(ost.buffersink);
    while (ff::av_buffersink_get_frame_flags(ost.buffersink, samples, 0) >= 0) {
        if (ost.frame_number >= ost.spec->max_frames) {
            ff::av_frame_unref(samples);
            ost.finished = true;
            continue;
        }
        if (samples->pts != AV_NOPTS_VALUE)
            samples->pts = ff::av_rescale_q(samples->pts, sinkTb, enc->time_base);
        else
            samples->pts = ost.sync_opts;
        ost.sync_opts = samples->pts + samples->nb_samples;
        EncodeAudioFrame(ost, samples);
        ff::av_frame_unref(samples);
    }
}

void TCustomFFmpeg::EncodeAudioFrame(TAVOutputStream& ost, AVFrame* samples) {
    if (ff::avcodec_send_frame(ost.enc.get(), samples) < 0) Fail("Audio encoding failed");
    ++ost.frame_number;
    ReceivePackets(ost, "Audio encoding failed");
}
