// The preset-file reader: arbitrary bytes as a preset file given to "fpre", after a video codec.
#include <cstdint>

#include "FuzzSupport.h"
#include "engine/transcode/CustomFFmpeg.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::InitEngine();
    if (size > 8192) return 0;
    const std::string path = fuzz::WriteScratchFile("fuzz.ffpreset", data, size);
    TCustomFFmpeg core;
    core.InitFFmpeg();
    try {
        core.SetOption("vcodec", "mpeg4");
        core.SetOption("fpre", path);
    } catch (const FFmpegException&) {
    }
    return 0;
}
