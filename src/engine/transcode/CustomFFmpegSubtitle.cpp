// Subtitle output: decoded subtitles encoded again (copied subtitles go through stream copy).
#include <algorithm>
#include <cstring>

#include "engine/transcode/CustomFFmpeg.h"

namespace {
constexpr int kSubtitleBufferSize = 1024 * 1024;

// Frees a decoded subtitle however its output ends.
struct TSubtitleGuard {
    AVSubtitle& sub;
    ~TSubtitleGuard() { ff::avsubtitle_free(&sub); }
};
}  // namespace

int TCustomFFmpeg::DecodeSubtitle(TInputStream& ist, const AVPacket* pkt) {
    if (!pkt) return 0;  // subtitle decoders hold nothing back
    AVSubtitle sub{};
    int got = 0;
    const int ret = ff::avcodec_decode_subtitle2(ist.dec.get(), &sub, &got, const_cast<AVPacket*>(pkt));
    if (ret < 0) return ret;
    if (!got) return 0;
    TSubtitleGuard guard{sub};
    int64_t pts = sub.pts != AV_NOPTS_VALUE    ? sub.pts
                  : pkt->pts != AV_NOPTS_VALUE ? ff::av_rescale_q(pkt->pts, ist.st->time_base, AV_TIME_BASE_Q)
                                               : AV_NOPTS_VALUE;
    if (pts == AV_NOPTS_VALUE || FrameInRange(ist, pts))
        for (TAVOutputStream* ost : ist.outputs)
            if (ost->encoding_needed && (!FJoinMode || ost->group == FCurrentGroup))
                DoSubtitleOut(*ost, ist, sub, pts);
    return 0;
}

void TCustomFFmpeg::DoSubtitleOut(TAVOutputStream& ost, TInputStream&, AVSubtitle& decoded, int64_t pts) {
    if (pts == AV_NOPTS_VALUE) Fail("Subtitle packets must have a pts");
    if (ost.frame_number >= ost.spec->max_frames) return;
    if (ost.subtitle_buffer.empty()) ost.subtitle_buffer.resize(kSubtitleBufferSize);
    // The display times become relative to the packet's time; encoders take no start delay
    // (picture subtitles carry one), so it moves into the time stamp. A shallow copy: the
    // rectangles stay the decoded subtitle's.
    AVSubtitle sub = decoded;
    sub.pts = pts - Fstart_time;
    if (sub.start_display_time > 0) {
        sub.pts += static_cast<int64_t>(sub.start_display_time) * 1000;
        if (sub.end_display_time != UINT32_MAX)
            sub.end_display_time -= std::min(sub.end_display_time, sub.start_display_time);
        sub.start_display_time = 0;
    }
    const int size =
        ff::avcodec_encode_subtitle(ost.enc.get(), ost.subtitle_buffer.data(), kSubtitleBufferSize, &sub);
    if (size < 0) Fail("Subtitle encoding failed");
    AVPacket* pkt = ost.pkt.get();
    if (ff::av_new_packet(pkt, size) < 0) Fail("Subtitle encoding failed");
    std::memcpy(pkt->data, ost.subtitle_buffer.data(), static_cast<size_t>(size));
    pkt->pts = pkt->dts = ff::av_rescale_q(sub.pts, AV_TIME_BASE_Q, ost.mux_tb);
    if (sub.end_display_time != UINT32_MAX)
        pkt->duration = ff::av_rescale_q(sub.end_display_time, AVRational{1, 1000}, ost.mux_tb);
    pkt->flags |= AV_PKT_FLAG_KEY;
    WritePacket(ost, pkt);
    ++ost.frame_number;
}
