#include "engine/transcode/CodecNames.h"

#include <strings.h>

#include "engine/library/FFmpegApi.h"

namespace {
struct TRename {
    const char* Old;
    const char* Current;
};
// AAC encoders that are gone, and AMR encoders that Debian's build lacks.
const TRename kRenames[] = {
    {"libfaac", "aac"}, {"libvo_aacenc", "aac"}, {"libaacplus", "aac"},        {"libfdk_aac", "aac"},
    {"amr_nb", "aac"},  {"libamr_nb", "aac"},    {"libopencore_amrnb", "aac"},
};
}  // namespace

std::string CurrentEncoderName(const std::string& name) {
    // A library folder that still has the old encoder keeps it.
    if (ff::avcodec_find_encoder_by_name && ff::avcodec_find_encoder_by_name(name.c_str())) return name;
    for (const TRename& r : kRenames)
        if (strcasecmp(name.c_str(), r.Old) == 0) return r.Current;
    return name;
}
