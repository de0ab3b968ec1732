// The target option: one word that sets every setting a VCD, SVCD, DVD or DV file needs, with
// the television norm given as a prefix or guessed from the frame rate.
#include <cmath>

#include "engine/transcode/CustomFFmpeg.h"

namespace {

enum TNorm { nPAL, nNTSC, nFilm, nUnknown };

const AVRational kFrameRates[] = {{25, 1}, {30000, 1001}, {24000, 1001}};

// The norm a frame rate stands for; nUnknown when it stands for none.
TNorm NormOfRate(AVRational rate) {
    if (rate.den == 0 || rate.num <= 0) return nUnknown;
    const long fr = std::lround(rate.num * 1000.0 / rate.den);
    if (fr == 25000) return nPAL;
    if (fr == 29970 || fr == 23976) return nNTSC;
    return nUnknown;
}

bool StartsWith(const std::string& s, const char* prefix) {
    return s.rfind(prefix, 0) == 0;
}

}  // namespace

void TCustomFFmpeg::OptTarget(const std::string& value, const std::string& defaultNorm) {
    TNorm norm = nUnknown;
    std::string type = value;
    if (StartsWith(value, "pal-")) {
        norm = nPAL;
        type = value.substr(4);
    } else if (StartsWith(value, "ntsc-")) {
        norm = nNTSC;
        type = value.substr(5);
    } else if (StartsWith(value, "film-")) {
        norm = nFilm;
        type = value.substr(5);
    } else {
        // A rate with a numerator but no denominator is broken; no rate at all (an input
        // without video) just decides nothing.
        if (Fframe_rate.den == 0 && Fframe_rate.num != 0) Fail("frame_rate is invalid.");
        norm = NormOfRate(Fframe_rate);
        for (size_t f = 0; norm == nUnknown && f < Finput_files.size(); ++f) {
            AVFormatContext* ic = Finput_files[f]->ctx.get();
            for (unsigned i = 0; norm == nUnknown && i < ic->nb_streams; ++i) {
                AVStream* st = ic->streams[i];
                if (st->codecpar->codec_type != AVMEDIA_TYPE_VIDEO) continue;
                norm = NormOfRate(ff::av_guess_frame_rate(ic, st, nullptr));
            }
        }
        if (norm == nUnknown) norm = defaultNorm == "ntsc" ? nNTSC : defaultNorm == "film" ? nFilm : nPAL;
        if (Fverbose > 0)
            LogFmt(TLogLevel::llVerbose, "Assuming %s for target.", norm == nPAL ? "PAL" : "NTSC");
    }

    const bool pal = norm == nPAL;
    const AVRational rate = kFrameRates[norm];
    auto setRate = [&] {
        Fframe_rate = rate;
        Fframe_rate_chosen = true;
    };
    auto assumeAspect = [&](float aspect, const char* text) {
        if (Fframe_aspect_ratio == 0.0f) {
            Fframe_aspect_ratio = aspect;
            Log(TLogLevel::llInfo, text);
        }
    };

    if (type == "vcd") {
        OptCodec(AVMEDIA_TYPE_VIDEO, "mpeg1video");
        OptCodec(AVMEDIA_TYPE_AUDIO, "mp2");
        SetOption("f", "vcd");
        OptFrameSize(pal ? "352x288" : "352x240");
        setRate();
        SetLibOption("g", pal ? "15" : "18");
        SetLibOption("b", "1150000");
        SetLibOption("maxrate", "1150000");
        SetLibOption("minrate", "1150000");
        SetLibOption("bufsize", "327680");  // 40 KiB in bits
        SetLibOption("ab", "224000");
        Faudio_sample_rate = 44100;
        Faudio_channels = 2;
        SetLibOption("packetsize", "2324");
        SetLibOption("muxrate", "1411200");
        // The system clock starts at 36000 and the first packs carry padding and the other
        // stream's first pack: the data begins at 36000 + 3 * 1200 (90 kHz units).
        Fmux_preload = (36000 + 3 * 1200) / 90000.0f;
        assumeAspect(4.0f / 3.0f, "Assuming 4:3 for aspect ratio");
    } else if (type == "svcd") {
        OptCodec(AVMEDIA_TYPE_VIDEO, "mpeg2video");
        OptCodec(AVMEDIA_TYPE_AUDIO, "mp2");
        SetOption("f", "svcd");
        OptFrameSize(pal ? "480x576" : "480x480");
        setRate();
        SetLibOption("g", pal ? "15" : "18");
        SetLibOption("b", "2040000");
        SetLibOption("maxrate", "2516000");
        SetLibOption("minrate", "0");
        SetLibOption("bufsize", "1835008");  // 224 KiB in bits
        SetLibOption("scan_offset", "1");    // the SVCD scan offset user data
        SetLibOption("ab", "224000");
        Faudio_sample_rate = 44100;
        SetLibOption("packetsize", "2324");
        if (Faudio_channels == 1) Faudio_channels = 2;
        assumeAspect(4.0f / 3.0f, "Assuming 4:3 for aspect ratio");
    } else if (type == "dvd") {
        OptCodec(AVMEDIA_TYPE_VIDEO, "mpeg2video");
        OptCodec(AVMEDIA_TYPE_AUDIO, "ac3");
        SetOption("f", "dvd");
        OptFrameSize(pal ? "720x576" : "720x480");
        setRate();
        SetLibOption("g", pal ? "15" : "18");
        SetLibOption("b", "6000000");
        SetLibOption("maxrate", "9000000");
        SetLibOption("minrate", "0");
        SetLibOption("bufsize", "1835008");
        SetLibOption("packetsize", "2048");   // the DVD format's own packet size
        SetLibOption("muxrate", "10080000");  // 504 * 8 * 2500, from the DVD format
        SetLibOption("ab", "448000");
        Faudio_sample_rate = 48000;
        if (Faudio_channels == 1) Faudio_channels = 2;
        assumeAspect(16.0f / 9.0f, "Assuming 16:9 for aspect ratio");
    } else if (StartsWith(type, "dv")) {
        SetOption("f", "dv");
        OptFrameSize(pal ? "720x576" : "720x480");
        OptPixFmt(type == "dv50" ? "yuv422p" : pal ? "yuv420p" : "yuv411p");
        setRate();
        Faudio_sample_rate = 48000;
        Faudio_channels = 2;
    } else {
        Fail("Unknown target type");
    }
}
