// The transcoding core's settings: defaults, the option dispatcher and its handlers, the
// library option setter.
#include <time.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <unordered_map>

#include "engine/transcode/CodecNames.h"
#include "engine/transcode/CustomFFmpeg.h"
#include "engine/library/FFmpegLoader.h"
#include "engine/transcode/Previewer.h"

namespace {

[[noreturn]] void Fail(const std::string& message) {
    throw FFmpegException(message);
}

// Decimal integers as the options take them; "$FF" and "0xFF" are hexadecimal. Leading blanks
// are allowed, nothing may follow the number.
int64_t Int64Of(const std::string& text) {
    size_t i = text.find_first_not_of(' ');
    if (i == std::string::npos) Fail("'" + text + "' is not a valid integer value");
    bool negative = false;
    if (text[i] == '-' || text[i] == '+') negative = text[i++] == '-';
    int base = 10;
    if (i < text.size() && text[i] == '$') {
        base = 16;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    uint64_t value = 0;
    const char* begin = text.data() + i;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(begin, end, value, base);
    if (ec != std::errc() || ptr != end || begin == end || value > static_cast<uint64_t>(INT64_MAX))
        Fail("'" + text + "' is not a valid integer value");
    return negative ? -static_cast<int64_t>(value) : static_cast<int64_t>(value);
}

int IntOf(const std::string& text) {
    const int64_t value = Int64Of(text);
    if (value < INT32_MIN || value > INT32_MAX) Fail("'" + text + "' is not a valid integer value");
    return static_cast<int>(value);
}

// Decimal numbers; a comma counts as the decimal point (texts written under a locale that uses
// one).
double FloatOf(const std::string& text) {
    std::string s = text;
    const size_t first = s.find_first_not_of(' ');
    s = first == std::string::npos ? "" : s.substr(first);
    const size_t last = s.find_last_not_of(' ');
    s = last == std::string::npos ? "" : s.substr(0, last + 1);
    for (char& c : s)
        if (c == ',') c = '.';
    double value = 0;
    const auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (s.empty() || ec != std::errc() || ptr != s.data() + s.size())
        Fail("'" + text + "' is not a valid floating point value");
    return value;
}

// A decimal number inside [low, high] (the option's name in the refusal).
double FloatIn(const std::string& name, const std::string& text, double low, double high) {
    const double value = FloatOf(text);
    if (!(value >= low && value <= high))
        Fail(FormatText("The value %s of option %s is out of range [%g - %g]", text.c_str(), name.c_str(),
                        low, high));
    return value;
}

bool BoolOf(const std::string& text) {
    return text != "0";
}

uint32_t TagOf(const std::string& text) {
    return static_cast<uint32_t>(static_cast<uint8_t>(text[0])) |
           static_cast<uint32_t>(static_cast<uint8_t>(text[1])) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(text[2])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(text[3])) << 24;
}

// The muxers hold delays in microseconds in an int.
constexpr double kMaxMuxSeconds = 2147.0;

using THandler = void (*)(TCustomFFmpeg& core, const std::string& name, const std::string& value);

}  // namespace

TCustomFFmpeg::TCustomFFmpeg() = default;

TCustomFFmpeg::~TCustomFFmpeg() {
    CleanupRun();
}

void TCustomFFmpeg::Log(TLogLevel level, const std::string& message) const {
    GetFFLogger().Log(this, level, message);
}

void TCustomFFmpeg::InitFFmpeg() {
    FLibraryUse.Acquire();
    CleanupRun();
    Finput_files.clear();
    Finput_files_ts_offset.clear();
    Foutput_files.clear();
    Fstream_maps.clear();
    Fmeta_data_maps.clear();
    ResetSettings();
    FJoinMode = false;
    FConverting = false;
    FBroken = false;
    FFinished = false;
    FTerminated = false;
    FFatalException = false;
    FFatalMessage.clear();
    FTotalOutputDuration = -1;
    FLastErrMsg.clear();
    FOptions = std::make_unique<TFFOptions>(Fsws_flags);
}

void TCustomFFmpeg::ResetSettings() {
    Fnext_input_ts_scale.fill(0.0);
    Flast_asked_format.clear();
    Fframe_width = Fframe_height = 0;
    Fframe_aspect_ratio = 0.0f;
    Fframe_pix_fmt = -1;
    Fframe_padtop = Fframe_padbottom = Fframe_padleft = Fframe_padright = 0;
    Fpadcolor[0] = 16;
    Fpadcolor[1] = Fpadcolor[2] = 128;
    Fpadcolor_rgb = 0;
    Fframe_topBand = Fframe_bottomBand = Fframe_leftBand = Fframe_rightBand = 0;
    for (int64_t& m : Fmax_frames)
        m = INT32_MAX;
    Fframe_rate = AVRational{0, 0};
    Fframe_rate_chosen = false;
    Fvideo_qscale = 0.0f;
    Fintra_matrix.clear();
    Finter_matrix.clear();
    Fvideo_rc_override_string.clear();
    Fvideo_discard = 0;
    Fsame_quality = false;
    Fdo_deinterlace = false;
    Ftop_field_first = -1;
    Fme_threshold = 0;
    Fintra_dc_precision = 8;
    Fqp_hist = false;
    Fvfilters.clear();
    Fintra_only = false;
    Fvideo_global_header = 0;
    Fvideo_channel = 0;
    Fvideo_standard.clear();
    Fforce_fps = false;
    Faudio_sample_rate = 44100;
    Faudio_sample_fmt = -1;
    Fchannel_layout = 0;
    Faudio_qscale = -100000.0f;
    Faudio_channels = 2;
    Faudio_volume = 256;
    Faudio_sync_method = 0;
    Faudio_drift_threshold = 0.1f;
    Fmux_preload = 0.5f;
    Fmux_max_delay = 0.7f;
    Frecording_time = INT64_MAX;
    Fstart_time = 0;
    Frec_timestamp = 0;
    Finput_ts_offset = 0;
    Fcopy_ts = false;
    Fopt_shortest = false;
    Fopt_programid = 0;
    Fprogramid_set = false;
    Fcopy_initial_nonkeyframes = 0;
    Frate_emu = false;
    Floop_input = false;
    Floop_output = -1;
    Finput_sync = false;
    Flimit_filesize = 0;
    Fdts_delta_threshold = 10.0f;
    Fvideo_sync_method = -1;
    Fdo_pass = 0;
    Fpass_logfilename_prefix.clear();
    Fvstats_filename.clear();
    Fdo_psnr = Fdo_benchmark = Fdo_hex_dump = Fdo_pkt_dump = false;
    Fverbose = 1;
    Fexit_on_error = false;
    Fthread_count = 1;
    Fsws_flags = SWS_BICUBIC;
    Fpgmyuv_compatibility_hack = false;
    Fusing_vhook = false;
    ResetPerOutputSettings();
}

void TCustomFFmpeg::SetThreadCount(int count) {
    Fthread_count = count >= 0 ? count : 1;
    for (auto& input : Finput_files)
        input->thread_count = Fthread_count;
}

// Settings an opened input consumes.
void TCustomFFmpeg::ResetPerFileSettings() {
    Fstart_time = 0;
    Flast_asked_format.clear();
    Finput_ts_offset = 0;
    Fopt_programid = 0;
    Fprogramid_set = false;
    Fvideo_codec_name.clear();
    Faudio_codec_name.clear();
    Fsubtitle_codec_name.clear();
}

// Settings an opened output consumes.
void TCustomFFmpeg::ResetPerOutputSettings() {
    Flast_asked_format.clear();
    Fvideo_codec_name.clear();
    Faudio_codec_name.clear();
    Fsubtitle_codec_name.clear();
    Fvideo_stream_copy = Faudio_stream_copy = Fsubtitle_stream_copy = false;
    Fvideo_disable = Faudio_disable = Fsubtitle_disable = false;
    Fvideo_codec_tag = Faudio_codec_tag = Fsubtitle_codec_tag = 0;
    Fvideo_language.clear();
    Faudio_language.clear();
    Fsubtitle_language.clear();
    Fmetadata.clear();
    Fvideo_bitstream_filters.clear();
    Faudio_bitstream_filters.clear();
    Fsubtitle_bitstream_filters.clear();
}

std::array<const AVCodec*, TFFOptions::kKinds> TCustomFFmpeg::ChosenEncoders() const {
    std::array<const AVCodec*, TFFOptions::kKinds> encoders{};
    auto lookup = [](const std::string& name) -> const AVCodec* {
        return name.empty() ? nullptr : ff::avcodec_find_encoder_by_name(CurrentEncoderName(name).c_str());
    };
    if (!Fvideo_stream_copy) encoders[0] = lookup(Fvideo_codec_name);
    if (!Faudio_stream_copy) encoders[1] = lookup(Faudio_codec_name);
    if (!Fsubtitle_stream_copy) encoders[3] = lookup(Fsubtitle_codec_name);
    return encoders;
}

bool TCustomFFmpeg::SetLibOption(const std::string& name, const std::string& value) {
    if (!FOptions) return false;
    const auto encoders = ChosenEncoders();
    TFFOptions::TResult result = FOptions->Set(name, value, encoders, Flast_asked_format);
    if (result == TFFOptions::TResult::Unknown && name.size() > 1 &&
        (name[0] == 'a' || name[0] == 'v' || name[0] == 's'))
        result = FOptions->SetPrefixed(name[0], name.substr(1), value, encoders);
    if (result == TFFOptions::TResult::Invalid) {
        Log(TLogLevel::llError,
            FormatText("Invalid value \"%s\" for option \"%s\"\n", value.c_str(), name.c_str()));
        return false;
    }
    if (result != TFFOptions::TResult::Set) return false;

    // A debug flag on the video codec or the format raises the log to debug level.
    int64_t debug = 0;
    const AVCodecContext* video = FOptions->CodecContext(AVMEDIA_TYPE_VIDEO);
    if (video && video->debug) debug = video->debug;
    const AVFormatContext* format = FOptions->FormatContext();
    if (format && format->debug) debug = format->debug;
    if (debug) GetFFLogger().SetLogLevel(TLogLevel::llDebug);
    return true;
}

int64_t TCustomFFmpeg::ParseTime(const std::string& option, const std::string& value, bool isDuration) const {
    int64_t us = 0;
    if (ff::av_parse_time(&us, value.c_str(), isDuration ? 1 : 0) < 0)
        Fail(FormatText("Invalid %s specification for %s: %s", isDuration ? "duration" : "date",
                        option.c_str(), value.c_str()));
    return us;
}

void TCustomFFmpeg::OptFrameRate(const std::string& value) {
    AVRational rate{0, 0};
    std::string text = value;
    if (ff::av_parse_video_rate(&rate, text.c_str()) < 0) {
        for (char& c : text)
            if (c == ',') c = '.';
        if (text == value || ff::av_parse_video_rate(&rate, text.c_str()) < 0) Fail("Incorrect frame rate");
    }
    Fframe_rate = rate;
    Fframe_rate_chosen = true;
}

void TCustomFFmpeg::OptFrameSize(const std::string& value) {
    int w = 0, h = 0;
    if (ff::av_parse_video_size(&w, &h, value.c_str()) < 0) Fail("Incorrect frame size");
    Fframe_width = w;
    Fframe_height = h;
}

void TCustomFFmpeg::OptAspect(const std::string& value) {
    double ar = 0;
    const size_t colon = value.find(':');
    if (colon != std::string::npos) {
        const double x = std::strtod(value.substr(0, colon).c_str(), nullptr);
        const double y = std::strtod(value.substr(colon + 1).c_str(), nullptr);
        ar = y > 0 ? x / y : 0;
    } else {
        ar = std::strtod(value.c_str(), nullptr);
    }
    if (!(ar != 0) || !std::isfinite(ar)) Fail("Incorrect aspect ratio specification.");
    Fframe_aspect_ratio = static_cast<float>(ar);
}

void TCustomFFmpeg::OptPixFmt(const std::string& value) {
    if (value == "list") {
        for (const AVPixFmtDescriptor* d = ff::av_pix_fmt_desc_next(nullptr); d;
             d = ff::av_pix_fmt_desc_next(d))
            Log(TLogLevel::llInfo, d->name);
        return;
    }
    const AVPixelFormat fmt = ff::av_get_pix_fmt(value.c_str());
    if (fmt == AV_PIX_FMT_NONE) Fail(FormatText("Unknown pixel format requested: %s", value.c_str()));
    Fframe_pix_fmt = fmt;
}

void TCustomFFmpeg::OptSampleFmt(const std::string& value) {
    if (value == "list") {
        for (int f = 0; f < AV_SAMPLE_FMT_NB; ++f)
            if (const char* n = ff::av_get_sample_fmt_name(static_cast<AVSampleFormat>(f)))
                Log(TLogLevel::llInfo, n);
        return;
    }
    Faudio_sample_fmt = ff::av_get_sample_fmt(value.c_str());
}

void TCustomFFmpeg::OptCrop(const std::string& name, const std::string& value) {
    const int band = IntOf(value);
    if (band < 0) return;
    static const char* kVertical =
        "Vertical crop dimensions are outside the range of the original image.\n"
        "Remember to crop first and scale second.";
    static const char* kHorizontal =
        "Horizontal crop dimensions are outside the range of the original image.\n"
        "Remember to crop first and scale second.";
    if (name == "croptop" || name == "cropbottom") {
        if (band >= Fframe_height) Fail(kVertical);
        (name == "croptop" ? Fframe_topBand : Fframe_bottomBand) = band;
        Fframe_height -= band;
    } else {
        if (band >= Fframe_width) Fail(kHorizontal);
        (name == "cropleft" ? Fframe_leftBand : Fframe_rightBand) = band;
        Fframe_width -= band;
    }
}

void TCustomFFmpeg::OptPad(const std::string& name, const std::string& value) {
    const int pad = IntOf(value);
    if (pad < 0) return;
    if (name == "padtop")
        Fframe_padtop = pad;
    else if (name == "padbottom")
        Fframe_padbottom = pad;
    else if (name == "padleft")
        Fframe_padleft = pad;
    else
        Fframe_padright = pad;
}

void TCustomFFmpeg::OptPadColor(const std::string& value) {
    const uint32_t rgb = static_cast<uint32_t>(Int64Of(value));
    const double r = rgb & 0xff, g = (rgb >> 8) & 0xff, b = (rgb >> 16) & 0xff;
    // ITU-R BT.601, studio range.
    Fpadcolor[0] = static_cast<int>(std::lround(16 + (65.738 * r + 129.057 * g + 25.064 * b) / 256));
    Fpadcolor[1] = static_cast<int>(std::lround(128 + (-37.945 * r - 74.494 * g + 112.439 * b) / 256));
    Fpadcolor[2] = static_cast<int>(std::lround(128 + (112.439 * r - 94.154 * g - 18.285 * b) / 256));
    Fpadcolor_rgb = rgb & 0xffffff;
}

// "file.stream[:syncfile.syncstream]"; numbers are read as far as they go.
void TCustomFFmpeg::OptMap(const std::string& value) {
    if (static_cast<int>(Fstream_maps.size()) >= kMaxStreamMaps) Fail("too many stream maps");
    TStreamMap m;
    const char* p = value.c_str();
    char* end = nullptr;
    m.file_index = static_cast<int>(std::strtol(p, &end, 0));
    p = end;
    if (*p) ++p;
    m.stream_index = static_cast<int>(std::strtol(p, &end, 0));
    p = end;
    if (*p) {
        ++p;
        m.sync_file_index = static_cast<int>(std::strtol(p, &end, 0));
        p = end;
        if (*p) ++p;
        m.sync_stream_index = static_cast<int>(std::strtol(p, &end, 0));
    } else {
        m.sync_file_index = m.file_index;
        m.sync_stream_index = m.stream_index;
    }
    Fstream_maps.push_back(m);
}

void TCustomFFmpeg::OptMapMetaData(const std::string& value) {
    TMetaDataMap m;
    char* end = nullptr;
    m.out_file = static_cast<int>(std::strtol(value.c_str(), &end, 0));
    if (*end) ++end;
    m.in_file = static_cast<int>(std::strtol(end, &end, 0));
    Fmeta_data_maps.push_back(m);
}

void TCustomFFmpeg::OptItsScale(const std::string& value) {
    char* end = nullptr;
    const long stream = std::strtol(value.c_str(), &end, 0);
    if (stream < 0 || stream >= kMaxStreams)
        Fail(FormatText("stream index over MAX_STREAMS(%d)", kMaxStreams));
    const char* p = std::strchr(end, ':');
    const double scale = p ? std::strtod(p + 1, nullptr) : 0.0;
    Fnext_input_ts_scale[stream] = scale;
}

void TCustomFFmpeg::OptMetadata(const std::string& value) {
    const size_t eq = value.find('=');
    if (eq == std::string::npos) Fail("Missing =");
    Fmetadata.emplace_back(value.substr(0, eq), value.substr(eq + 1));
}

void TCustomFFmpeg::OptBitrate(const std::string& name, const std::string& value) {
    SetLibOption(name, value);
    if (!FOptions) return;
    const AVCodecContext* ctx =
        FOptions->CodecContext(name[0] == 'a' ? AVMEDIA_TYPE_AUDIO : AVMEDIA_TYPE_VIDEO);
    int64_t rate = 0;
    if (ctx && ff::av_opt_get_int(const_cast<AVCodecContext*>(ctx), "b", 0, &rate) >= 0 && rate > 0 && rate < 1000)
        Log(TLogLevel::llWarning,
            "WARNING: The bitrate parameter is set too low. It takes bits/s as argument, not kbits/s");
}

void TCustomFFmpeg::OptCodec(AVMediaType type, const std::string& value) {
    std::string& name = type == AVMEDIA_TYPE_VIDEO   ? Fvideo_codec_name
                        : type == AVMEDIA_TYPE_AUDIO ? Faudio_codec_name
                                                     : Fsubtitle_codec_name;
    bool& copy = type == AVMEDIA_TYPE_VIDEO   ? Fvideo_stream_copy
                 : type == AVMEDIA_TYPE_AUDIO ? Faudio_stream_copy
                                              : Fsubtitle_stream_copy;
    // A later codec name replaces an earlier "copy" (a record field overrides the option text).
    if (value == "copy") {
        name.clear();
        copy = true;
    } else {
        name = value;
        copy = false;
    }
}

void TCustomFFmpeg::OptTag(AVMediaType type, const std::string& value) {
    const char* kind = type == AVMEDIA_TYPE_VIDEO   ? "video"
                       : type == AVMEDIA_TYPE_AUDIO ? "audio"
                                                    : "subtitle";
    if (value.size() != 4) Fail(FormatText("%s tag parameter must be 4 chars", kind));
    uint32_t& tag = type == AVMEDIA_TYPE_VIDEO   ? Fvideo_codec_tag
                    : type == AVMEDIA_TYPE_AUDIO ? Faudio_codec_tag
                                                 : Fsubtitle_codec_tag;
    tag = TagOf(value);
}

void TCustomFFmpeg::OptMatrix(std::vector<uint16_t>& matrix, const std::string& value) {
    std::vector<uint16_t> m(64);
    const char* p = value.c_str();
    for (int i = 0; i < 64; ++i) {
        m[i] = static_cast<uint16_t>(std::atoi(p));
        if (i == 63) break;
        p = std::strchr(p, ',');
        if (!p) Fail(FormatText("Syntax error in matrix \"%s\" at coeff %d", value.c_str(), i));
        ++p;
    }
    matrix = std::move(m);
}

void TCustomFFmpeg::OptBitstreamFilter(std::string& chain, const std::string& value) {
    if (value.empty() || value[0] == '=') return;
    const std::string name = value.substr(0, value.find('='));
    if (!ff::av_bsf_get_by_name(name.c_str())) Fail(FormatText("Unknown bitstream filter %s", name.c_str()));
    if (!chain.empty()) chain += ',';
    chain += value;
}

// Frame-hook modules do not exist in today's libraries: every hook is refused.
void TCustomFFmpeg::OptVhook(const std::string& value) {
    Fail("Failed to add video hook function: " + value);
}

void TCustomFFmpeg::OptVstats() {
    const time_t now = ::time(nullptr);
    struct tm local {};
    ::localtime_r(&now, &local);
    char hhnnss[16];
    std::snprintf(hhnnss, sizeof hhnnss, "%02d%02d%02d", local.tm_hour, local.tm_min, local.tm_sec);
    Fvstats_filename = FormatText("%svstats_%s.log", (EngineProgramFolder() + "/").c_str(), hhnnss);
}

void TCustomFFmpeg::SetOption(const std::string& name, const std::string& value) {
    using C = TCustomFFmpeg;
    auto loggedOnly = [](C& c, const std::string& n, const std::string&) {
        c.Log(TLogLevel::llInfo, "Do nothing: option - " + n);
    };
    auto maxFrames = [](C& c, const std::string& n, const std::string& v) {
        c.Fmax_frames[n[0] == 'v' ? 0 : n[0] == 'a' ? 1 : 2] = IntOf(v);
    };
    auto codec = [](C& c, const std::string& n, const std::string& v) {
        c.OptCodec(n[0] == 'v'   ? AVMEDIA_TYPE_VIDEO
                   : n[0] == 'a' ? AVMEDIA_TYPE_AUDIO
                                 : AVMEDIA_TYPE_SUBTITLE,
                   v);
    };
    auto tag = [](C& c, const std::string& n, const std::string& v) {
        c.OptTag(n[0] == 'v'   ? AVMEDIA_TYPE_VIDEO
                 : n[0] == 'a' ? AVMEDIA_TYPE_AUDIO
                               : AVMEDIA_TYPE_SUBTITLE,
                 v);
    };
    auto newStream = [](C& c, const std::string& n, const std::string&) {
        if (c.Foutput_files.empty()) Fail("At least one output file must be specified");
        c.AddStream(n == "newvideo"   ? AVMEDIA_TYPE_VIDEO
                    : n == "newaudio" ? AVMEDIA_TYPE_AUDIO
                                      : AVMEDIA_TYPE_SUBTITLE);
    };
    auto bsf = [](C& c, const std::string& n, const std::string& v) {
        c.OptBitstreamFilter(n[0] == 'v'   ? c.Fvideo_bitstream_filters
                             : n[0] == 'a' ? c.Faudio_bitstream_filters
                                           : c.Fsubtitle_bitstream_filters,
                             v);
    };
    auto preset = [](C& c, const std::string& n, const std::string& v) { c.OptPreset(n, v); };
    auto crop = [](C& c, const std::string& n, const std::string& v) { c.OptCrop(n, v); };
    auto pad = [](C& c, const std::string& n, const std::string& v) { c.OptPad(n, v); };
    auto bitrate = [](C& c, const std::string& n, const std::string& v) { c.OptBitrate(n, v); };

    static const std::unordered_map<std::string, THandler> kHandlers = {
        {"L", loggedOnly},
        {"h", loggedOnly},
        {"version", loggedOnly},
        {"formats", loggedOnly},
        {"codecs", loggedOnly},
        {"bsfs", loggedOnly},
        {"protocols", loggedOnly},
        {"filters", loggedOnly},
        {"i", loggedOnly},
        {"y", loggedOnly},
        {"benchmark", loggedOnly},
        {"loglevel",
         [](C&, const std::string&, const std::string& v) {
             try {
                 GetFFLogger().OptLogLevel(v);
             } catch (const std::invalid_argument& e) {
                 Fail(e.what());
             }
         }},
        {"f",
         [](C& c, const std::string&, const std::string& v) {
             if (v == "pgmyuv") {
                 c.Fpgmyuv_compatibility_hack = true;
                 c.Flast_asked_format = "image2";
                 c.Log(TLogLevel::llInfo, "pgmyuv format is deprecated, use image2");
             } else {
                 c.Flast_asked_format = v;
             }
         }},
        {"map", [](C& c, const std::string&, const std::string& v) { c.OptMap(v); }},
        {"map_meta_data", [](C& c, const std::string&, const std::string& v) { c.OptMapMetaData(v); }},
        {"t",
         [](C& c, const std::string& n, const std::string& v) {
             c.Frecording_time = c.ParseTime(n, v, true);
             c.FTotalOutputDuration = c.Frecording_time;
         }},
        {"fs", [](C& c, const std::string&, const std::string& v) { c.Flimit_filesize = Int64Of(v); }},
        {"ss", [](C& c, const std::string& n, const std::string& v) { c.Fstart_time = c.ParseTime(n, v, true); }},
        {"itsoffset",
         [](C& c, const std::string& n, const std::string& v) { c.Finput_ts_offset = c.ParseTime(n, v, true); }},
        {"itsscale", [](C& c, const std::string&, const std::string& v) { c.OptItsScale(v); }},
        {"timestamp",
         [](C& c, const std::string& n, const std::string& v) {
             c.Frec_timestamp = c.ParseTime(n, v, false) / 1000000;
         }},
        {"metadata", [](C& c, const std::string&, const std::string& v) { c.OptMetadata(v); }},
        {"dframes",
         [](C&, const std::string&, const std::string&) {
             Fail("Option dframes is not supported: data streams are not written to the output");
         }},
        {"vframes", maxFrames},
        {"aframes", maxFrames},
        {"timelimit",
         [](C& c, const std::string&, const std::string&) {
             c.Log(TLogLevel::llWarning, "Warning: -timelimit not implemented on Windows");
         }},
        {"dump", [](C& c, const std::string&, const std::string& v) { c.Fdo_pkt_dump = BoolOf(v); }},
        {"hex", [](C& c, const std::string&, const std::string& v) { c.Fdo_hex_dump = BoolOf(v); }},
        {"re", [](C& c, const std::string&, const std::string& v) { c.Frate_emu = BoolOf(v); }},
        {"loop_input", [](C& c, const std::string&, const std::string& v) { c.Floop_input = BoolOf(v); }},
        {"loop_output", [](C& c, const std::string&, const std::string& v) { c.Floop_output = IntOf(v); }},
        {"v", [](C& c, const std::string&, const std::string& v) { c.Fverbose = IntOf(v); }},
        {"target", [](C& c, const std::string&, const std::string& v) { c.OptTarget(v, "ntsc"); }},
        {"threads", [](C&, const std::string& n, const std::string&) { Fail("TODO: option - " + n); }},
        {"vsync", [](C& c, const std::string&, const std::string& v) { c.Fvideo_sync_method = IntOf(v); }},
        {"async", [](C& c, const std::string&, const std::string& v) { c.Faudio_sync_method = IntOf(v); }},
        {"adrift_threshold",
         [](C& c, const std::string&, const std::string& v) {
             c.Faudio_drift_threshold = static_cast<float>(FloatOf(v));
         }},
        {"dts_delta_threshold",
         [](C& c, const std::string&, const std::string& v) {
             c.Fdts_delta_threshold = static_cast<float>(FloatOf(v));
         }},
        {"vglobal", [](C& c, const std::string&, const std::string& v) { c.Fvideo_global_header = IntOf(v); }},
        {"copyts", [](C& c, const std::string&, const std::string&) { c.Fcopy_ts = true; }},
        {"shortest", [](C& c, const std::string&, const std::string& v) { c.Fopt_shortest = BoolOf(v); }},
        {"programid",
         [](C& c, const std::string&, const std::string& v) {
             c.Fopt_programid = IntOf(v);
             c.Fprogramid_set = true;
         }},
        {"xerror", [](C& c, const std::string&, const std::string&) { c.Fexit_on_error = true; }},
        {"copyinkf",
         [](C& c, const std::string&, const std::string& v) { c.Fcopy_initial_nonkeyframes = IntOf(v); }},
        {"b", bitrate},
        {"vb", bitrate},
        {"ab", bitrate},
        {"r", [](C& c, const std::string&, const std::string& v) { c.OptFrameRate(v); }},
        {"s", [](C& c, const std::string&, const std::string& v) { c.OptFrameSize(v); }},
        {"aspect", [](C& c, const std::string&, const std::string& v) { c.OptAspect(v); }},
        {"pix_fmt", [](C& c, const std::string&, const std::string& v) { c.OptPixFmt(v); }},
        {"croptop", crop},
        {"cropbottom", crop},
        {"cropleft", crop},
        {"cropright", crop},
        {"padtop", pad},
        {"padbottom", pad},
        {"padleft", pad},
        {"padright", pad},
        {"padcolor", [](C& c, const std::string&, const std::string& v) { c.OptPadColor(v); }},
        {"intra", [](C& c, const std::string&, const std::string& v) { c.Fintra_only = BoolOf(v); }},
        {"vn", [](C& c, const std::string&, const std::string& v) { c.Fvideo_disable = BoolOf(v); }},
        {"an", [](C& c, const std::string&, const std::string& v) { c.Faudio_disable = BoolOf(v); }},
        {"sn", [](C& c, const std::string&, const std::string& v) { c.Fsubtitle_disable = BoolOf(v); }},
        {"vdt", [](C& c, const std::string&, const std::string& v) { c.Fvideo_discard = IntOf(v); }},
        {"qscale",
         [](C& c, const std::string&, const std::string& v) {
             const double q = FloatOf(v);
             if (!(q > 0.0 && q <= 255.0)) Fail("qscale must be > 0.0 and <= 255");
             c.Fvideo_qscale = static_cast<float>(q);
         }},
        {"rc_override", [](C& c, const std::string&, const std::string& v) { c.Fvideo_rc_override_string = v; }},
        {"vcodec", codec},
        {"acodec", codec},
        {"scodec", codec},
        // Options the media libraries no longer carry out: refused rather than ignored.
        {"me_threshold",
         [](C& c, const std::string&, const std::string& v) {
             c.Fme_threshold = IntOf(v);
             if (c.Fme_threshold != 0)
                 Fail("Option me_threshold is not supported: the encoders no longer have a motion "
                      "estimation threshold");
         }},
        {"sameq",
         [](C& c, const std::string&, const std::string& v) {
             c.Fsame_quality = BoolOf(v);
             if (c.Fsame_quality)
                 Fail("Option sameq is not supported: decoders do not report the source's quality; "
                      "use qscale or a codec's quality option (crf, q) instead");
         }},
        {"pass",
         [](C& c, const std::string&, const std::string& v) {
             const int pass = IntOf(v);
             if (pass != 1 && pass != 2) Fail("pass number can be only 1 or 2");
             c.Fdo_pass = pass;
         }},
        {"passlogfile", [](C& c, const std::string&, const std::string& v) { c.Fpass_logfilename_prefix = v; }},
        {"deinterlace", [](C& c, const std::string&, const std::string& v) { c.Fdo_deinterlace = BoolOf(v); }},
        {"psnr", [](C& c, const std::string&, const std::string& v) { c.Fdo_psnr = BoolOf(v); }},
        {"vstats", [](C& c, const std::string&, const std::string&) { c.OptVstats(); }},
        {"vstats_file", [](C& c, const std::string&, const std::string& v) { c.Fvstats_filename = v; }},
        {"vhook", [](C& c, const std::string&, const std::string& v) { c.OptVhook(v); }},
        {"vfilters", [](C& c, const std::string&, const std::string& v) { c.Fvfilters = v; }},
        {"intra_matrix", [](C& c, const std::string&, const std::string& v) { c.OptMatrix(c.Fintra_matrix, v); }},
        {"inter_matrix", [](C& c, const std::string&, const std::string& v) { c.OptMatrix(c.Finter_matrix, v); }},
        {"top", [](C& c, const std::string&, const std::string& v) { c.Ftop_field_first = IntOf(v); }},
        {"dc", [](C& c, const std::string&, const std::string& v) { c.Fintra_dc_precision = IntOf(v); }},
        {"vtag", tag},
        {"atag", tag},
        {"stag", tag},
        {"newvideo", newStream},
        {"newaudio", newStream},
        {"newsubtitle", newStream},
        {"vlang", [](C& c, const std::string&, const std::string& v) { c.Fvideo_language = v; }},
        {"alang", [](C& c, const std::string&, const std::string& v) { c.Faudio_language = v; }},
        {"slang", [](C& c, const std::string&, const std::string& v) { c.Fsubtitle_language = v; }},
        {"qphist", [](C& c, const std::string&, const std::string& v) { c.Fqp_hist = BoolOf(v); }},
        {"force_fps", [](C& c, const std::string&, const std::string& v) { c.Fforce_fps = BoolOf(v); }},
        {"aq",
         [](C& c, const std::string& n, const std::string& v) {
             // Scaled to the encoder's quality (an int) by 118.
             c.Faudio_qscale = static_cast<float>(FloatIn(n, v, -99999.0, 10000000.0));
         }},
        {"ar",
         [](C& c, const std::string&, const std::string& v) {
             const int rate = IntOf(v);
             if (rate > 0) c.Faudio_sample_rate = rate;
         }},
        {"ac",
         [](C& c, const std::string&, const std::string& v) {
             const int channels = IntOf(v);
             if (channels > 0) c.Faudio_channels = channels;
         }},
        {"vol", [](C& c, const std::string&, const std::string& v) { c.Faudio_volume = IntOf(v); }},
        {"sample_fmt", [](C& c, const std::string&, const std::string& v) { c.OptSampleFmt(v); }},
        {"vc", [](C& c, const std::string&, const std::string& v) { c.Fvideo_channel = IntOf(v); }},
        {"tvstd", [](C& c, const std::string&, const std::string& v) { c.Fvideo_standard = v; }},
        {"isync", [](C& c, const std::string&, const std::string& v) { c.Finput_sync = BoolOf(v); }},
        {"muxdelay",
         [](C& c, const std::string& n, const std::string& v) {
             c.Fmux_max_delay = static_cast<float>(FloatIn(n, v, 0.0, kMaxMuxSeconds));
         }},
        {"muxpreload",
         [](C& c, const std::string& n, const std::string& v) {
             c.Fmux_preload = static_cast<float>(FloatIn(n, v, 0.0, kMaxMuxSeconds));
         }},
        {"absf", bsf},
        {"vbsf", bsf},
        {"sbsf", bsf},
        {"apre", preset},
        {"vpre", preset},
        {"spre", preset},
        {"fpre", preset},
    };

    const auto it = kHandlers.find(name);
    if (it != kHandlers.end())
        it->second(*this, name, value);
    else
        SetLibOption(name, value);
}

TPostHooks TCustomFFmpeg::PostHooks() const {
    TPostHooks hooks;
    const uint8_t bits = FPostHookBits.load();
    for (TPostHook h : {TPostHook::phPreview, TPostHook::phBitmap, TPostHook::phHBITMAP})
        if (bits & (1u << static_cast<int>(h))) hooks.Include(h);
    return hooks;
}
