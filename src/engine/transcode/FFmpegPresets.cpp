// Encoder presets: the 36 built-in libx264 presets and preset files (apre, vpre, spre, fpre).
//
// The built-in texts name today's libx264 options. Preset files written for the libx264
// wrapper of older libraries use keys and flag names that no longer exist (directpred,
// flags2=+dct8x8, partitions=+parti8x8, cqp ...); those are translated to today's names when a
// file is read, so such a file still means the same encoder settings.
#include <strings.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <utility>

#include "engine/transcode/FFmpegPresets.h"

#include "engine/transcode/CustomFFmpeg.h"

namespace {

struct TOptionsPreset {
    const char* Name;
    const char* Value;
};

#define COMMON_RC "g=250\nkeyint_min=25\ni_qfactor=0.71\nqcomp=0.6\nqmin=10\nqmax=51\nqdiff=4\n"

// Analysis settings of a fast first pass.
#define FIRSTPASS "partitions=none\nme_method=dia\nsubq=2\nrefs=1\ntrellis=0\n"

const TOptionsPreset kPresets[] = {
    {"libx264-baseline", "coder=0\nbf=0\nweightb=0\n8x8dct=0\nwpredp=0"},
    {"libx264-default",
     "coder=1\ncmp=+chroma\npartitions=i8x8,i4x4,p8x8,b8x8\nme_method=hex\nsubq=7\nme_range=16\n"
     "sc_threshold=40\nb_strategy=1\n" COMMON_RC
     "bf=3\nrefs=3\ndirect-pred=1\ntrellis=1\nmixed-refs=1\nweightb=1\n8x8dct=1\nfast-pskip=1\nwpredp=2"},
    {"libx264-fast",
     "coder=1\ncmp=+chroma\npartitions=i8x8,i4x4,p8x8,b8x8\nme_method=hex\nsubq=6\nme_range=16\n"
     "sc_threshold=40\nb_strategy=1\n" COMMON_RC
     "bf=3\nrefs=2\ndirect-pred=1\ntrellis=1\nmixed-refs=1\nweightb=1\n8x8dct=1\nfast-pskip=1\nwpredp=1"},
    {"libx264-fast_firstpass",
     "coder=1\ncmp=+chroma\nme_range=16\nsc_threshold=40\nb_strategy=1\n" COMMON_RC FIRSTPASS
     "bf=3\ndirect-pred=1\nmixed-refs=0\nweightb=1\n8x8dct=1\nfast-pskip=1\nwpredp=1"},
    {"libx264-faster",
     "coder=1\ncmp=+chroma\npartitions=i8x8,i4x4,p8x8,b8x8\nme_method=hex\nsubq=4\nme_range=16\n"
     "sc_threshold=40\nb_strategy=1\n" COMMON_RC
     "bf=3\nrefs=2\ndirect-pred=1\ntrellis=1\nmixed-refs=0\nweightb=1\n8x8dct=1\nfast-pskip=1\nwpredp=1"},
    {"libx264-faster_firstpass",
     "coder=1\ncmp=+chroma\nme_range=16\nsc_threshold=40\nb_strategy=1\n" COMMON_RC FIRSTPASS
     "bf=3\ndirect-pred=1\nmixed-refs=0\nweightb=1\n8x8dct=1\nfast-pskip=1\nwpredp=1"},
    {"libx264-fastfirstpass",
     "coder=1\ncmp=+chroma\nme_range=16\nsc_threshold=40\nb_strategy=1\n" COMMON_RC FIRSTPASS
     "bf=3\ndirect-pred=1\nmixed-refs=0\nweightb=1\n8x8dct=0\nfast-pskip=1\nwpredp=2"},
    {"libx264-hq",
     "coder=1\ncmp=+chroma\npartitions=all\nme_method=umh\nsubq=8\nme_range=16\n"
     "sc_threshold=40\nb_strategy=2\n" COMMON_RC
     "bf=3\nrefs=4\ndirect-pred=3\ntrellis=1\nmixed-refs=1\nweightb=1\n8x8dct=1\nfast-pskip=1\nwpredp=2"},
    {"libx264-ipod320",
     "coder=0\nbf=0\nweightb=0\n8x8dct=0\nlevel=13\nmaxrate=768000\nbufsize=3000000\nwpredp=0"},
    {"libx264-ipod640",
     "coder=0\nbf=0\nweightb=0\n8x8dct=0\nlevel=30\nmaxrate=10000000\nbufsize=10000000\nwpredp=0"},
    {"libx264-lossless_fast",
     "coder=0\ncmp=+chroma\npartitions=i4x4,p8x8\nme_method=hex\nsubq=3\nme_range=16\n"
     "sc_threshold=40\nb_strategy=1\n" COMMON_RC "direct-pred=1\nmixed-refs=1\nfast-pskip=1\nqp=0"},
    {"libx264-lossless_max",
     "coder=1\ncmp=+chroma\npartitions=all\nme_method=esa\nsubq=8\nme_range=16\n"
     "sc_threshold=40\nb_strategy=1\n" COMMON_RC
     "refs=16\ndirect-pred=1\nmixed-refs=1\n8x8dct=1\nfast-pskip=1\nqp=0"},
    {"libx264-lossless_medium",
     "coder=1\ncmp=+chroma\npartitions=i4x4,p8x8\nme_method=hex\nsubq=5\nme_range=16\n"
     "sc_threshold=40\nb_strategy=1\n" COMMON_RC "direct-pred=1\nmixed-refs=1\nfast-pskip=1\nqp=0"},
    {"libx264-lossless_slow",
     "coder=1\ncmp=+chroma\npartitions=all\nme_method=umh\nsubq=6\nme_range=16\n"
     "sc_threshold=40\nb_strategy=1\n" COMMON_RC
     "refs=2\ndirect-pred=1\nmixed-refs=1\n8x8dct=1\nfast-pskip=1\nqp=0"},
    {"libx264-lossless_slower",
     "coder=1\ncmp=+chroma\npartitions=all\nme_method=umh\nsubq=8\nme_range=16\n"
     "sc_threshold=40\nb_strategy=1\n" COMMON_RC
     "refs=4\ndirect-pred=1\nmixed-refs=1\n8x8dct=1\nfast-pskip=1\nqp=0"},
    {"libx264-lossless_ultrafast",
     "coder=0\ncmp=+chroma\npartitions=i4x4\nme_method=dia\nsubq=0\nme_range=16\n"
     "sc_threshold=40\nb_strategy=1\n" COMMON_RC "direct-pred=1\nfast-pskip=1\nqp=0"},
    {"libx264-main", "8x8dct=0"},
    {"libx264-max",
     "coder=1\ncmp=+chroma\npartitions=all\nme_method=tesa\nsubq=10\nme_range=24\n"
     "sc_threshold=40\nb_strategy=2\n" COMMON_RC
     "bf=16\nrefs=16\ndirect-pred=3\ntrellis=2\nmixed-refs=1\nweightb=1\n8x8dct=1\nfast-pskip=0\nwpredp=2"},
    {"libx264-medium",
     "coder=1\ncmp=+chroma\npartitions=i8x8,i4x4,p8x8,b8x8\nme_method=hex\nsubq=7\nme_range=16\n"
     "sc_threshold=40\nb_strategy=1\n" COMMON_RC
     "bf=3\nrefs=3\ndirect-pred=1\ntrellis=1\nmixed-refs=1\nweightb=1\n8x8dct=1\nfast-pskip=1\nwpredp=2"},
    {"libx264-medium_firstpass",
     "coder=1\ncmp=+chroma\nme_range=16\nsc_threshold=40\nb_strategy=1\n" COMMON_RC FIRSTPASS
     "bf=3\ndirect-pred=1\nmixed-refs=0\nweightb=1\n8x8dct=1\nfast-pskip=1\nwpredp=2"},
    {"libx264-normal",
     "coder=1\ncmp=+chroma\npartitions=i8x8,i4x4,p8x8,b8x8\nme_method=hex\nsubq=6\nme_range=16\n"
     "sc_threshold=40\nb_strategy=1\n" COMMON_RC
     "bf=3\nrefs=2\ndirect-pred=3\ntrellis=0\nmixed-refs=0\nweightb=1\n8x8dct=1\nfast-pskip=1\nwpredp=2"},
    {"libx264-placebo",
     "coder=1\ncmp=+chroma\npartitions=all\nme_method=tesa\nsubq=10\nme_range=24\n"
     "sc_threshold=40\nb_strategy=2\n" COMMON_RC
     "bf=16\nrefs=16\ndirect-pred=3\ntrellis=2\nmixed-refs=1\nweightb=1\n8x8dct=1\nfast-pskip=0\nwpredp=2"},
    {"libx264-placebo_firstpass",
     "coder=1\ncmp=+chroma\nme_range=24\nsc_threshold=40\nb_strategy=2\n" COMMON_RC FIRSTPASS
     "bf=16\ndirect-pred=3\nmixed-refs=0\nweightb=1\n8x8dct=1\nfast-pskip=0\nwpredp=2"},
    {"libx264-slow",
     "coder=1\ncmp=+chroma\npartitions=i8x8,i4x4,p8x8,b8x8\nme_method=umh\nsubq=8\nme_range=16\n"
     "sc_threshold=40\nb_strategy=2\n" COMMON_RC
     "bf=3\nrefs=5\ndirect-pred=3\ntrellis=1\nmixed-refs=1\nweightb=1\n8x8dct=1\nfast-pskip=1\nwpredp=2"},
    {"libx264-slow_firstpass",
     "coder=1\ncmp=+chroma\nme_range=16\nsc_threshold=40\nb_strategy=2\n" COMMON_RC FIRSTPASS
     "bf=3\ndirect-pred=3\nmixed-refs=0\nweightb=1\n8x8dct=1\nfast-pskip=1\nwpredp=2"},
    {"libx264-slower",
     "coder=1\ncmp=+chroma\npartitions=all\nme_method=umh\nsubq=9\nme_range=16\n"
     "sc_threshold=40\nb_strategy=2\n" COMMON_RC
     "bf=3\nrefs=8\ndirect-pred=3\ntrellis=2\nmixed-refs=1\nweightb=1\n8x8dct=1\nfast-pskip=1\nwpredp=2"},
    {"libx264-slower_firstpass",
     "coder=1\ncmp=+chroma\nme_range=16\nsc_threshold=40\nb_strategy=2\n" COMMON_RC FIRSTPASS
     "bf=3\ndirect-pred=3\nmixed-refs=0\nweightb=1\n8x8dct=1\nfast-pskip=1\nwpredp=2"},
    {"libx264-slowfirstpass",
     "coder=1\ncmp=+chroma\nme_range=16\nsc_threshold=40\nb_strategy=2\n" COMMON_RC FIRSTPASS
     "bf=3\ndirect-pred=3\nmixed-refs=0\nweightb=1\n8x8dct=0\nfast-pskip=1\nwpredp=2"},
    {"libx264-superfast",
     "coder=1\ncmp=+chroma\npartitions=i8x8,i4x4\nme_method=dia\nsubq=1\nme_range=16\n"
     "sc_threshold=40\nb_strategy=1\n" COMMON_RC
     "bf=3\nrefs=1\ndirect-pred=1\ntrellis=0\nmixed-refs=0\nweightb=1\n8x8dct=1\nfast-pskip=1\nwpredp=1"},
    {"libx264-superfast_firstpass",
     "coder=1\ncmp=+chroma\nme_range=16\nsc_threshold=40\nb_strategy=1\n" COMMON_RC FIRSTPASS
     "bf=3\ndirect-pred=1\nmixed-refs=0\nweightb=1\n8x8dct=1\nfast-pskip=1\nwpredp=1"},
    {"libx264-ultrafast",
     "coder=0\nx264-params=no-deblock=1\ncmp=+chroma\npartitions=none\nme_method=dia\nsubq=0\nme_range=16\n"
     "sc_threshold=0\nb_strategy=0\n" COMMON_RC
     "bf=0\nrefs=1\ndirect-pred=1\ntrellis=0\nmixed-refs=0\nweightb=0\n8x8dct=0\nfast-pskip=1\nwpredp=0"},
    {"libx264-ultrafast_firstpass",
     "coder=0\nx264-params=no-deblock=1\ncmp=+chroma\nme_range=16\nsc_threshold=0\nb_strategy=0\n" COMMON_RC
         FIRSTPASS "bf=0\ndirect-pred=1\nmixed-refs=0\nweightb=0\n8x8dct=0\nfast-pskip=1\nwpredp=0"},
    {"libx264-veryfast",
     "coder=1\ncmp=+chroma\npartitions=i8x8,i4x4,p8x8,b8x8\nme_method=hex\nsubq=2\nme_range=16\n"
     "sc_threshold=40\nb_strategy=1\n" COMMON_RC
     "bf=3\nrefs=1\ndirect-pred=1\ntrellis=0\nmixed-refs=0\nweightb=1\n8x8dct=1\nfast-pskip=1\nwpredp=1"},
    {"libx264-veryfast_firstpass",
     "coder=1\ncmp=+chroma\nme_range=16\nsc_threshold=40\nb_strategy=1\n" COMMON_RC FIRSTPASS
     "bf=3\ndirect-pred=1\nmixed-refs=0\nweightb=1\n8x8dct=1\nfast-pskip=1\nwpredp=1"},
    {"libx264-veryslow",
     "coder=1\ncmp=+chroma\npartitions=all\nme_method=umh\nsubq=10\nme_range=24\n"
     "sc_threshold=40\nb_strategy=2\n" COMMON_RC
     "bf=8\nrefs=16\ndirect-pred=3\ntrellis=2\nmixed-refs=1\nweightb=1\n8x8dct=1\nfast-pskip=1\nwpredp=2"},
    {"libx264-veryslow_firstpass",
     "coder=1\ncmp=+chroma\nme_range=24\nsc_threshold=40\nb_strategy=2\n" COMMON_RC FIRSTPASS
     "bf=8\ndirect-pred=3\nmixed-refs=0\nweightb=1\n8x8dct=1\nfast-pskip=1\nwpredp=2"},
};

#undef FIRSTPASS
#undef COMMON_RC

std::string Trim(const std::string& s) {
    const size_t first = s.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return {};
    const size_t last = s.find_last_not_of(" \t\r\n");
    return s.substr(first, last - first + 1);
}

const char* FindPreset(const std::string& name) {
    for (const TOptionsPreset& p : kPresets)
        if (strcasecmp(p.Name, name.c_str()) == 0) return p.Value;
    return nullptr;
}

// The x264 partition names a partitions text of the old "+parti8x8-partp4x4" form enables.
std::string TranslatePartitions(const std::string& value) {
    if (value.find("part") == std::string::npos) return value;
    static const char* kParts[] = {"i4x4", "i8x8", "p8x8", "p4x4", "b8x8"};
    std::string result;
    for (const char* part : kParts) {
        const std::string token = std::string("+part") + part;
        if (value.find(token) == std::string::npos) continue;
        if (!result.empty()) result += ',';
        result += part;
    }
    return result.empty() ? "none" : result;
}

// Old key=value pairs of the libx264 wrapper in today's option names. Returns the pairs to set.
std::vector<std::pair<std::string, std::string>> TranslateOldPair(const std::string& key,
                                                                  const std::string& value) {
    if (key == "directpred") return {{"direct-pred", value}};
    if (key == "cqp") return {{"qp", value}};
    if (key == "partitions") return {{key, TranslatePartitions(value)}};
    if (key != "flags" && key != "flags2") return {{key, value}};

    // Flags words that became libx264 options of their own.
    static const struct {
        const char* Word;
        const char* On;
        const char* Off;
    } kWords[] = {{"mixed_refs", "mixed-refs=1", "mixed-refs=0"},
                  {"wpred", "weightb=1", "weightb=0"},
                  {"dct8x8", "8x8dct=1", "8x8dct=0"},
                  {"fastpskip", "fast-pskip=1", "fast-pskip=0"},
                  {"bpyramid", "b-pyramid=normal", "b-pyramid=none"},
                  {"mbtree", "mbtree=1", "mbtree=0"},
                  {"aud", "aud=1", "aud=0"},
                  {"ssim", "ssim=1", "ssim=0"},
                  {"loop", nullptr, "x264-params=no-deblock=1"}};
    std::vector<std::pair<std::string, std::string>> pairs;
    std::string rest;
    size_t i = 0;
    while (i < value.size()) {
        const char sign = value[i] == '-' || value[i] == '+' ? value[i++] : '+';
        size_t end = value.find_first_of("+-", i);
        if (end == std::string::npos) end = value.size();
        const std::string word = value.substr(i, end - i);
        i = end;
        bool translated = false;
        for (const auto& w : kWords) {
            if (word != w.Word) continue;
            translated = true;
            const char* setting = sign == '+' ? w.On : w.Off;
            if (setting) {
                const std::string s = setting;
                const size_t eq = s.find('=');
                pairs.emplace_back(s.substr(0, eq), s.substr(eq + 1));
            }
        }
        if (!translated && !word.empty()) rest += std::string(1, sign) + word;
    }
    if (!rest.empty()) pairs.emplace_back(key, rest);
    return pairs;
}

bool ReadWholeFile(const std::string& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream ss;
    ss << in.rdbuf();
    text = ss.str();
    return true;
}

}  // namespace

void TCustomFFmpeg::OptPreset(const std::string& option, const std::string& value) {
    const char* builtin = nullptr;
    if (option != "fpre") {
        builtin = FindPreset(value);
        if (!builtin) {
            const std::string& codec = option == "apre"   ? Faudio_codec_name
                                       : option == "vpre" ? Fvideo_codec_name
                                                          : Fsubtitle_codec_name;
            builtin = FindPreset(codec + "-" + value);
        }
    }
    std::string text;
    if (builtin) {
        text = builtin;
    } else if (!ReadWholeFile(value, text)) {
        Fail(FormatText("Preset \"%s\" not found", value.c_str()));
    }

    std::istringstream lines(Trim(text));
    std::string line;
    while (std::getline(lines, line)) {
        line = Trim(line);
        if (line.empty()) continue;
        const size_t eq = line.find('=');
        const std::string key = eq == std::string::npos ? line : line.substr(0, eq);
        const std::string arg = eq == std::string::npos ? "" : line.substr(eq + 1);
        if (key.empty() || arg.empty())
            Fail(FormatText("%s: Invalid syntax: \"%s\"", value.c_str(), line.c_str()));
        if (strcasecmp(key.c_str(), "acodec") == 0) {
            OptCodec(AVMEDIA_TYPE_AUDIO, arg);
        } else if (strcasecmp(key.c_str(), "vcodec") == 0) {
            OptCodec(AVMEDIA_TYPE_VIDEO, arg);
        } else if (strcasecmp(key.c_str(), "scodec") == 0) {
            OptCodec(AVMEDIA_TYPE_SUBTITLE, arg);
        } else {
            for (const auto& [name, setting] : TranslateOldPair(key, arg))
                if (!SetLibOption(name, setting))
                    Fail(FormatText("%s: Invalid option or argument: \"%s\", parsed as \"%s\" = \"%s\"",
                                    value.c_str(), line.c_str(), key.c_str(), arg.c_str()));
        }
    }
}

int BuiltinPresetCount() {
    return static_cast<int>(sizeof kPresets / sizeof kPresets[0]);
}

const char* BuiltinPresetName(int index) {
    return index >= 0 && index < BuiltinPresetCount() ? kPresets[index].Name : nullptr;
}

const char* BuiltinPresetText(int index) {
    return index >= 0 && index < BuiltinPresetCount() ? kPresets[index].Value : nullptr;
}
