// The probe on arbitrary bytes, read through the engine's own stream I/O from memory: format
// detection, stream information, the information text and the first decoded pictures.
#include <cstdint>

#include "FuzzSupport.h"
#include "engine/probe/AVProbe.h"
#include "engine/library/Bitmap24.h"
#include "engine/library/FFmpegHandles.h"
#include "engine/library/StreamIO.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::InitEngine();
    fuzz::MemoryStream stream(data, size);
    TAvioContextPtr io = OpenStreamIO(&stream, false);
    AVFormatContext* ctx = ff::avformat_alloc_context();
    if (!io || !ctx) std::abort();
    ctx->pb = io.get();
    ctx->flags |= AVFMT_FLAG_CUSTOM_IO;
    // Formats that open further files or addresses (playlists, concat lists) get none.
    AVDictionary* options = nullptr;
    ff::av_dict_set(&options, "protocol_whitelist", "none", 0);
    ff::av_dict_set(&options, "probesize", "65536", 0);
    const int opened = ff::avformat_open_input(&ctx, "", nullptr, &options);
    ff::av_dict_free(&options);
    if (opened < 0) return 0;  // the library freed the context
    TInputContextPtr input(ctx);
    if (ff::avformat_find_stream_info(ctx, nullptr) < 0) return 0;

    TAVProbe probe;
    probe.SetFileHandle(ctx);
    TFileStreamInfo file;
    probe.GetFileStreamInfo(file);
    for (int i = 0; i < probe.StreamCount(); ++i) {
        TAudioStreamInfo audio;
        TVideoStreamInfo video;
        TSubtitleStreamInfo subtitle;
        probe.GetAudioStreamInfo(i, audio);
        probe.GetVideoStreamInfo(i, video);
        probe.GetSubtitleStreamInfo(i, subtitle);
        probe.CodecName(i);
    }
    probe.FileInfoText();
    TBitmap24 bitmap;
    for (int i = 0; i < 3 && probe.Decode(); ++i)
        probe.CopyToBitmap(bitmap);
    probe.SetFileHandle(nullptr);
    return 0;
}
