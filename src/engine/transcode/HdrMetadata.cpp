#include "engine/transcode/HdrMetadata.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "engine/library/CodecLock.h"
#include "engine/library/FFmpegHandles.h"
#include "engine/library/FFmpegLogger.h"

namespace {

bool HasHdrSideData(const AVStream* st) {
    size_t size = 0;
    return ff::av_stream_get_side_data(st, AV_PKT_DATA_MASTERING_DISPLAY_METADATA, &size) ||
           ff::av_stream_get_side_data(st, AV_PKT_DATA_CONTENT_LIGHT_LEVEL, &size);
}

void AddFromFrame(AVStream* st, const AVFrame* frame, AVFrameSideDataType from, AVPacketSideDataType to) {
    const AVFrameSideData* sd = ff::av_frame_get_side_data(frame, from);
    if (!sd || sd->size == 0) return;
    uint8_t* copy = ff::av_stream_new_side_data(st, to, sd->size);
    if (copy) std::memcpy(copy, sd->data, sd->size);
}

// The first picture the stream decodes to (null: none within the first packets).
TFramePtr FirstPicture(AVFormatContext* ic, int streamIndex) {
    const AVCodecParameters* par = ic->streams[streamIndex]->codecpar;
    const AVCodec* decoder = ff::avcodec_find_decoder(par->codec_id);
    if (!decoder) return nullptr;
    TCodecContextPtr dec(ff::avcodec_alloc_context3(decoder));
    if (!dec || ff::avcodec_parameters_to_context(dec.get(), par) < 0) return nullptr;
    dec->thread_count = 1;  // the first picture comes out of the first packet
    {
        TCodecLock lock;
        if (ff::avcodec_open2(dec.get(), decoder, nullptr) < 0) return nullptr;
    }
    TPacketPtr pkt(ff::av_packet_alloc());
    TFramePtr frame(ff::av_frame_alloc());
    if (!pkt || !frame) return nullptr;
    for (int packets = 0; packets < 500 && ff::av_read_frame(ic, pkt.get()) >= 0; ++packets) {
        const bool ours = pkt->stream_index == streamIndex;
        const int sent = ours ? ff::avcodec_send_packet(dec.get(), pkt.get()) : 0;
        ff::av_packet_unref(pkt.get());
        if (sent < 0 && sent != AVERROR(EAGAIN)) return nullptr;
        if (ours && ff::avcodec_receive_frame(dec.get(), frame.get()) >= 0) return frame;
    }
    ff::avcodec_send_packet(dec.get(), nullptr);
    return ff::avcodec_receive_frame(dec.get(), frame.get()) >= 0 ? std::move(frame) : nullptr;
}

}  // namespace

bool AsksHdrTransfer(const AVDictionary* options) {
    const AVDictionaryEntry* e = ff::av_dict_get(options, "color_trc", nullptr, 0);
    if (!e) return false;
    const std::string v = e->value;
    return v == "smpte2084" || v == "arib-std-b67" || v == std::to_string(AVCOL_TRC_SMPTE2084) ||
           v == std::to_string(AVCOL_TRC_ARIB_STD_B67);
}

bool CopyStreamSideData(AVStream* to, const AVStream* from, AVPacketSideDataType type) {
    size_t size = 0;
    const uint8_t* data = ff::av_stream_get_side_data(from, type, &size);
    if (!data || size == 0) return false;
    uint8_t* copy = ff::av_stream_new_side_data(to, type, size);
    if (!copy) return false;
    std::memcpy(copy, data, size);
    return true;
}

bool FindHdrSideData(const std::string& libName, int streamIndex, AVStream* st) {
    if (!st || HasHdrSideData(st)) return st != nullptr;
    AVFormatContext* raw = nullptr;
    if (ff::avformat_open_input(&raw, libName.c_str(), nullptr, nullptr) < 0) return false;
    TInputContextPtr ic(raw);
    if (streamIndex < 0 || streamIndex >= static_cast<int>(ic->nb_streams)) return false;
    for (unsigned i = 0; i < ic->nb_streams; ++i)
        ic->streams[i]->discard = static_cast<int>(i) == streamIndex ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    if (const TFramePtr frame = FirstPicture(ic.get(), streamIndex)) {
        AddFromFrame(st, frame.get(), AV_FRAME_DATA_MASTERING_DISPLAY_METADATA,
                     AV_PKT_DATA_MASTERING_DISPLAY_METADATA);
        AddFromFrame(st, frame.get(), AV_FRAME_DATA_CONTENT_LIGHT_LEVEL, AV_PKT_DATA_CONTENT_LIGHT_LEVEL);
    }
    return HasHdrSideData(st);
}

namespace {
using TNumberText = std::string (*)(AVRational);

// x265 and SVT-AV1 take the same description in their own spelling: the mastering display as
// G(x,y)B(x,y)R(x,y)WP(x,y)L(max,min) (green, blue, red, where the metadata lists red, green,
// blue), then the light levels as "cll,fall".
std::string EncoderHdrParams(const AVStream* st, const char* displayKey, const char* lightKey, TNumberText chroma,
                             TNumberText light) {
    std::string params;
    size_t size = 0;
    const auto* md = reinterpret_cast<const AVMasteringDisplayMetadata*>(
        ff::av_stream_get_side_data(st, AV_PKT_DATA_MASTERING_DISPLAY_METADATA, &size));
    if (md && size >= sizeof(AVMasteringDisplayMetadata) && md->has_primaries && md->has_luminance) {
        auto point = [&](const AVRational xy[2]) { return '(' + chroma(xy[0]) + ',' + chroma(xy[1]) + ')'; };
        params = std::string(displayKey) + "=G" + point(md->display_primaries[1]) + 'B' +
                 point(md->display_primaries[2]) + 'R' + point(md->display_primaries[0]) + "WP" +
                 point(md->white_point) + "L(" + light(md->max_luminance) + ',' + light(md->min_luminance) + ')';
    }
    const auto* cll = reinterpret_cast<const AVContentLightMetadata*>(
        ff::av_stream_get_side_data(st, AV_PKT_DATA_CONTENT_LIGHT_LEVEL, &size));
    if (cll && size >= sizeof(AVContentLightMetadata)) {
        if (!params.empty()) params += ':';
        params += std::string(lightKey) + '=' + std::to_string(cll->MaxCLL) + ',' + std::to_string(cll->MaxFALL);
    }
    return params;
}
}  // namespace

std::string X265HdrParams(const AVStream* st) {
    // Whole numbers: chromaticities in 0.00002 units, luminance in 0.0001 candelas.
    return EncoderHdrParams(
        st, "master-display", "max-cll",
        [](AVRational q) { return std::to_string(std::llround(av_q2d(q) * 50000)); },
        [](AVRational q) { return std::to_string(std::llround(av_q2d(q) * 10000)); });
}

std::string SvtAv1HdrParams(const AVStream* st) {
    // Decimals, written without the process's locale (a decimal comma would not parse).
    auto dec = [](AVRational q) {
        char text[32];
        const auto end = std::to_chars(text, text + sizeof text, av_q2d(q), std::chars_format::fixed, 4).ptr;
        return std::string(text, end);
    };
    return EncoderHdrParams(st, "mastering-display", "content-light", dec, dec);
}
