// The probe's information text: container lines, metadata blocks, programs and stream lines.
#include <cinttypes>
#include <cmath>
#include <ctime>
#include <set>

#include "engine/library/CodecLock.h"
#include "engine/probe/CustomAVProbe.h"
#include "engine/library/FFmpegHandles.h"

namespace probetext {

namespace {
std::string Printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Printf(const char* format, ...) {
    char buf[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buf, sizeof buf, format, args);
    va_end(args);
    return buf;
}
}  // namespace

std::string FormatFileSize(int64_t bytes) {
    if (bytes <= 1024) return Printf("%" PRId64 " Byte", bytes);
    if (bytes <= 1048576) return Printf("%.2f KB", static_cast<double>(bytes) / 1024);
    if (bytes <= 1073741824) return Printf("%.2f MB", static_cast<double>(bytes) / 1048576);
    return Printf("%.2f GB", static_cast<double>(bytes) / 1073741824);
}

std::string FormatDuration(int64_t microseconds) {
    const int64_t totalMs = microseconds / 1000;
    const int64_t ms = totalMs % 1000;
    const int64_t totalSecs = totalMs / 1000;
    return Printf("%.2" PRId64 ":%.2" PRId64 ":%.2" PRId64 ".%.3" PRId64, totalSecs / 3600,
                  (totalSecs / 60) % 60, totalSecs % 60, ms);
}

std::string FormatSeconds(int64_t microseconds) {
    const char* sign = microseconds < 0 ? "-" : "";
    const uint64_t magnitude = microseconds < 0 ? static_cast<uint64_t>(-(microseconds + 1)) + 1
                                                : static_cast<uint64_t>(microseconds);
    return Printf("%s%" PRIu64 ".%.6" PRIu64, sign, magnitude / 1000000, magnitude % 1000000);
}

std::string FormatRate(double value, const char* label) {
    const int64_t hundredths = std::llround(value * 100);
    if (hundredths % 100 != 0) return Printf(", %3.2f %s", value, label);
    if (hundredths % (100 * 1000) != 0) return Printf(", %1.0f %s", value, label);
    return Printf(", %1.0fk %s", value / 1000, label);
}

std::string MetadataDisplayName(const std::string& key) {
    static const struct {
        const char* id;
        const char* name;
    } kNames[] = {{"TALB", "album"},     {"TAL", "album"},      {"TCOM", "composer"},  {"TCON", "genre"},
                  {"TCO", "genre"},      {"TCOP", "copyright"}, {"TDRL", "date"},      {"TENC", "encoder"},
                  {"TEN", "encoder"},    {"TIT2", "title"},     {"TT2", "title"},      {"TLAN", "language"},
                  {"TPE1", "artist"},    {"TP1", "artist"},     {"TPOS", "disc"},      {"TPUB", "publisher"},
                  {"TRCK", "track"},     {"TRK", "track"},      {"TSOA", "albumsort"}, {"TSOP", "authorsort"},
                  {"TSOT", "titlesort"}, {"TYER", "year"}};
    for (const auto& n : kNames)
        if (key == n.id) return n.name;
    return key;
}

}  // namespace probetext

using namespace probetext;

namespace {

constexpr const char* kLineBreak = "\r\n";

void AddLine(std::string& text, const std::string& line) {
    if (!text.empty()) text += kLineBreak;
    text += line;
}

std::string MetadataValue(const AVDictionary* metadata, const char* key) {
    const AVDictionaryEntry* e = metadata ? ff::av_dict_get(metadata, key, nullptr, 0) : nullptr;
    return e && e->value ? e->value : "";
}

std::string LocalTimeText(time_t seconds) {
    struct tm local {};
    if (!localtime_r(&seconds, &local)) return {};
    char buf[64];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &local);
    return buf;
}

// The codec's one-line description, as the libraries word it ("Video: h264 (High) ...").
std::string CodecDescription(const AVStream* st) {
    AVCodecContext* raw = ff::avcodec_alloc_context3(nullptr);
    if (!raw) return {};
    TCodecContextPtr ctx(raw);
    if (ff::avcodec_parameters_to_context(raw, st->codecpar) < 0) return {};
    char buf[1024] = {};
    ff::avcodec_string(buf, sizeof buf, raw, 0);
    return buf;
}

}  // namespace

void TCustomAVProbe::AppendMetadata(std::string& text, const AVDictionary* metadata,
                                    const std::string& indent) {
    if (!metadata || ff::av_dict_count(metadata) == 0) return;
    if (ff::av_dict_count(metadata) == 1 && ff::av_dict_get(metadata, "language", nullptr, 0)) return;
    AddLine(text, indent + "Metadata:");
    const AVDictionaryEntry* tag = nullptr;
    while ((tag = ff::av_dict_get(metadata, "", tag, AV_DICT_IGNORE_SUFFIX))) {
        if (std::string(tag->key) == "language") continue;
        std::string key = MetadataDisplayName(tag->key);
        if (key.size() < 16) key.append(16 - key.size(), ' ');  // "%-16s"
        AddLine(text, indent + "  " + key + ": " + (tag->value ? tag->value : ""));
    }
}

std::string TCustomAVProbe::StreamLine(unsigned index) const {
    const AVStream* st = fileHandle_->streams[index];
    const AVCodecParameters* par = st->codecpar;
    std::string line = "Stream #" + std::to_string(index);
    char buf[128];
    if (fileHandle_->iformat && (fileHandle_->iformat->flags & AVFMT_SHOW_IDS)) {
        std::snprintf(buf, sizeof buf, "[0x%x]", st->id);
        line += buf;
    }
    const std::string language = MetadataValue(st->metadata, "language");
    if (!language.empty()) line += "(" + language + ")";
    if (st->time_base.num != 0 && st->time_base.den != 0) {
        const int64_t g = ff::av_gcd(st->time_base.num, st->time_base.den);
        std::snprintf(buf, sizeof buf, ", %d/%d", static_cast<int>(st->time_base.num / g),
                      static_cast<int>(st->time_base.den / g));
        line += buf;
    }
    line += ": " + CodecDescription(st);

    if (st->sample_aspect_ratio.num != 0 &&
        av_cmp_q(st->sample_aspect_ratio, par->sample_aspect_ratio) != 0) {
        int darNum = 0, darDen = 0;
        ff::av_reduce(&darNum, &darDen, static_cast<int64_t>(par->width) * st->sample_aspect_ratio.num,
                      static_cast<int64_t>(par->height) * st->sample_aspect_ratio.den, 1024 * 1024);
        std::snprintf(buf, sizeof buf, ", PAR %d:%d DAR %d:%d", st->sample_aspect_ratio.num,
                      st->sample_aspect_ratio.den, darNum, darDen);
        line += buf;
    }

    if (par->codec_type == AVMEDIA_TYPE_VIDEO) {
        if (st->avg_frame_rate.num && st->avg_frame_rate.den)
            line += FormatRate(av_q2d(st->avg_frame_rate), "fps");
        if (st->r_frame_rate.num && st->r_frame_rate.den) line += FormatRate(av_q2d(st->r_frame_rate), "tbr");
        if (st->time_base.num && st->time_base.den) line += FormatRate(1 / av_q2d(st->time_base), "tbn");
        // The decoder's time base as the demuxer's stream analysis left it (1/50 for 25 fps
        // H.264, whose frames last two ticks); left out when the analysis did not set one.
        if (ff::av_stream_get_codec_timebase) {
            const AVRational codecTb = ff::av_stream_get_codec_timebase(st);
            if (codecTb.num && codecTb.den) line += FormatRate(1 / av_q2d(codecTb), "tbc");
        }
    }
    if (st->start_time != AV_NOPTS_VALUE)
        line += ", StartTime: " +
                FormatSeconds(ff::av_rescale_q(st->start_time, st->time_base, AVRational{1, AV_TIME_BASE}));
    if (st->duration != AV_NOPTS_VALUE && st->duration >= 0)
        line += ", Duration: " +
                FormatDuration(ff::av_rescale_q(st->duration, st->time_base, AVRational{1, AV_TIME_BASE}));
    else
        line += ", Duration: N/A";

    std::string text = line;
    AppendMetadata(text, st->metadata, "  ");
    return text;
}

std::string TCustomAVProbe::FileInfoText() {
    if (!RequireFile()) return {};
    const AVFormatContext* ctx = fileHandle_;
    std::string text;
    AddLine(text, "File Name: " + FileName());
    AddLine(text, "Format Name: " + FormatName());
    AddLine(text, "Format Long Name: " + FormatLongName());
    AddLine(text, "File Size: " + FormatFileSize(fileSize_));
    if (ctx->duration == AV_NOPTS_VALUE || ctx->duration < 0)
        AddLine(text, "Duration: N/A");
    else
        AddLine(text, "Duration: " + FormatDuration(ctx->duration));
    if (ctx->start_time != AV_NOPTS_VALUE)
        AddLine(text, "StartTime: " + FormatSeconds(ctx->start_time));
    if (ctx->bit_rate < 1)
        AddLine(text, "Bit Rate: N/A");
    else
        AddLine(text, "Bit Rate: " + std::to_string(ctx->bit_rate / 1000) + " kb/s");
    int64_t created = 0;
    const std::string creation = MetadataValue(ctx->metadata, "creation_time");
    if (!creation.empty() && ff::av_parse_time(&created, creation.c_str(), 0) >= 0 &&
        created / AV_TIME_BASE > 0)
        AddLine(text, "Time Stamp: " + LocalTimeText(static_cast<time_t>(created / AV_TIME_BASE)));
    AppendMetadata(text, ctx->metadata, "");

    std::set<unsigned> listed;
    for (unsigned p = 0; p < ctx->nb_programs; ++p) {
        const AVProgram* program = ctx->programs[p];
        std::string provider = MetadataValue(program->metadata, "service_provider");
        std::string name = MetadataValue(program->metadata, "service_name");
        if (provider.empty()) provider = "N/A";
        if (name.empty()) name = "N/A";
        AddLine(text, "Program " + std::to_string(program->id) + " " + provider + "@" + name);
        AppendMetadata(text, program->metadata, "  ");
        for (unsigned i = 0; i < program->nb_stream_indexes; ++i) {
            const unsigned index = program->stream_index[i];
            if (index >= ctx->nb_streams) continue;
            AddLine(text, StreamLine(index));
            listed.insert(index);
        }
    }
    for (unsigned i = 0; i < ctx->nb_streams; ++i)
        if (!listed.count(i)) AddLine(text, StreamLine(i));
    return text;
}
