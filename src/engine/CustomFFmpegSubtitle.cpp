// Subtitle output: decoded subtitles encoded again (copied subtitles go through stream copy).
#include "engine/CustomFFmpeg.h"

namespace {
constexpr int kSubtitleBufferSize = 1024 * 1024;
}

int TCustomFFmpeg::DecodeSubtitle(TInputStream& ist, const AVPacket* pkt) {
    if (!pkt) return 0;  // subtitle decoders hold nothing back
    AVSubtitle sub{};
    int got = 0;
    const int ret = ff::avcodec_decode_subtitle2(ist.dec.get(), &sub, &got, const_cast<AVPacket*>(pkt));
    if (ret < 0) return ret;
    if (!got) return 0;
    int64_t pts = sub.pts != AV_NOPTS_VALUE    ? sub.pts
                  : pkt->pts != AV_NOPTS_VALUE ? ff::av_rescale_q(pkt->pts, ist.st->time_base, AV_TIME_BASE_Q)
                                               : AV_NOPTS_VALUE;
    if (pts == AV_NOPTS_VALUE || FrameInRange(ist, pts))
        for (TAVOutputStream* ost : ist.outputs)
            if (ost->encoding_needed && (!FJoinMode || ost->group == FCurrentGroup))
                DoSubtitleOut(*ost, ist, sub, pts);
    ff::avsubtitle_free(&sub);
    return 0;
}

void TCustomFFmpeg::DoSubtitleOut(TAVOutputStream& ost, TInputStream&, AVSubtitle& sub, int64_t pts) {
    if (pts == AV_NOPTS_VALUE) Fail("Subtitle packets must have a pts");
    if (ost.frame_number >= ost.spec->max_frames) return;
    if (ost.subtitle_buffer.empty()) ost.subtitle_buffer.resize(kSubtitleBufferSize);
    // The display times become relative to the packet's time.
    sub.pts = pts - Fstart_time;
    const int size =
        ff::avcodec_encode_subtitle(ost.enc.get(), ost.subtitle_buffer.data(), kSubtitleBufferSize, &sub);
    if (size < 0) Fail("Subtitle encoding failed");
    AVPacket* pkt = ost.pkt.get();
    if (ff::av_new_packet(pkt, size) < 0) Fail("Subtitle encoding failed");
    std::memcpy(pkt->data, ost.subtitle_buffer.data(), static_cast<size_t>(size));
    pkt->pts = pkt->dts = ff::av_rescale_q(sub.pts, AV_TIME_BASE_Q, ost.mux_tb);
    pkt->duration = ff::av_rescale_q(sub.end_display_time, AVRational{1, 1000}, ost.mux_tb);
    pkt->flags |= AV_PKT_FLAG_KEY;
    WritePacket(ost, pkt);
    ++ost.frame_number;
}
