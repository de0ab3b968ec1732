// Audio output: the conversion graph (volume, resampling with the audio sync method, sample
// format and channel layout of the encoder, the encoder's frame size), encoding and writing.
#include <algorithm>

#include "engine/transcode/CustomFFmpeg.h"
#include "engine/transcode/FilterChain.h"

namespace {

std::string LayoutText(const AVChannelLayout& layout) {
    char text[128] = {};
    if (ff::av_channel_layout_describe(&layout, text, sizeof text) < 0) return "stereo";
    return text;
}

}  // namespace

// abuffer -> [volume] -> [aresample with the sync method] -> aformat (the encoder's format,
// rate and layout) -> abuffersink. Encoders of a fixed frame size are fed through the output
// stream's sample queue (FixedFrameSize), which outlives the graph.
int TCustomFFmpeg::ConfigureAudioFilters(TAVOutputStream& ost, int sampleRate, AVSampleFormat format,
                                         const AVChannelLayout& layout) {
    // A rebuilt graph continues where the old one ended; only the first starts at 0.
    const int64_t firstPts = ost.graph ? ost.audio_next_pts : 0;
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
        if (firstPts != AV_NOPTS_VALUE)
            args += FormatText(":first_pts=%lld", static_cast<long long>(firstPts));
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
        // What the old graph still holds goes out before it is replaced. For an encoder of
        // fixed frame size the remainder (less than one encoder frame) stays in the sample
        // queue and is encoded together with the new graph's first samples.
        if (ost.graph && ost.buffersrc) {
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

bool TCustomFFmpeg::FixedFrameSize(const TAVOutputStream& ost) {
    return ost.encoder && !(ost.encoder->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE) &&
           ost.enc->frame_size > 0;
}

// Takes what the graph gives out. endOfStream: the graph was flushed for the last time, so the
// sample queue's remainder goes out as the (short) last frame.
void TCustomFFmpeg::DrainFilteredAudio(TAVOutputStream& ost, bool endOfStream) {
    AVFrame* samples = ost.filtered.get();
    AVCodecContext* enc = ost.enc.get();
    const bool fixed = FixedFrameSize(ost);
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
            samples->pts = ost.audio_next_pts != AV_NOPTS_VALUE ? ost.audio_next_pts : ost.sync_opts;
        ost.audio_next_pts = samples->pts + samples->nb_samples;
        if (fixed) {
            QueueAudio(ost, samples);
            ff::av_frame_unref(samples);
            EncodeQueuedAudio(ost, false);
            continue;
        }
        ost.sync_opts = samples->pts + samples->nb_samples;
        EncodeAudioFrame(ost, samples);
        ff::av_frame_unref(samples);
    }
    if (fixed && endOfStream) EncodeQueuedAudio(ost, true);
}

void TCustomFFmpeg::QueueAudio(TAVOutputStream& ost, const AVFrame* samples) {
    const AVCodecContext* enc = ost.enc.get();
    if (!ost.fifo) {
        ost.fifo.reset(
            ff::av_audio_fifo_alloc(enc->sample_fmt, enc->ch_layout.nb_channels, 2 * enc->frame_size));
        if (!ost.fifo) Fail("Audio encoding failed");
    }
    if (ff::av_audio_fifo_size(ost.fifo.get()) == 0) ost.fifo_pts = samples->pts;
    void* const* data = reinterpret_cast<void* const*>(samples->extended_data);
    if (ff::av_audio_fifo_write(ost.fifo.get(), const_cast<void**>(data), samples->nb_samples) <
        samples->nb_samples)
        Fail("Audio encoding failed");
}

// Encodes whole encoder frames from the sample queue; all: the remainder too, as a short frame.
void TCustomFFmpeg::EncodeQueuedAudio(TAVOutputStream& ost, bool all) {
    if (!ost.fifo) return;
    const AVCodecContext* enc = ost.enc.get();
    for (;;) {
        const int queued = ff::av_audio_fifo_size(ost.fifo.get());
        if (queued <= 0 || (queued < enc->frame_size && !all)) return;
        if (ost.finished || ost.frame_number >= ost.spec->max_frames) {
            ost.finished = true;
            ff::av_audio_fifo_drain(ost.fifo.get(), queued);
            return;
        }
        const int count = std::min(queued, enc->frame_size);
        TFramePtr frame(ff::av_frame_alloc());
        if (!frame) Fail("Audio encoding failed");
        frame->nb_samples = count;
        frame->format = enc->sample_fmt;
        frame->sample_rate = enc->sample_rate;
        if (ff::av_channel_layout_copy(&frame->ch_layout, &enc->ch_layout) < 0 ||
            ff::av_frame_get_buffer(frame.get(), 0) < 0 ||
            ff::av_audio_fifo_read(ost.fifo.get(), reinterpret_cast<void**>(frame->extended_data), count) <
                count)
            Fail("Audio encoding failed");
        frame->pts = ost.fifo_pts;
        ost.fifo_pts += count;
        ost.sync_opts = ost.fifo_pts;
        EncodeAudioFrame(ost, frame.get());
    }
}

void TCustomFFmpeg::EncodeAudioFrame(TAVOutputStream& ost, AVFrame* samples) {
    if (ff::avcodec_send_frame(ost.enc.get(), samples) < 0) Fail("Audio encoding failed");
    ++ost.frame_number;
    ReceivePackets(ost, "Audio encoding failed");
}
