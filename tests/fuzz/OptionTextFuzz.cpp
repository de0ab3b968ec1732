// One output set up from arbitrary option text: the option text parser, the option dispatcher
// and the run set-up up to the written header, on a small WAV read from memory into a memory
// output.
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "engine/transcode/CustomFFmpeg.h"
#include "engine/transcode/OptionText.h"

namespace {

// Options that name files to write (statistics, pass logs) or hand the encoder such names: the
// harness must not write outside its scratch folder.
bool Skipped(const std::string& name, const std::string& value) {
    const std::string n = LowerCaseAscii(name);
    if (n.find("stats") != std::string::npos || n.find("pass") != std::string::npos ||
        n.find("x264") != std::string::npos || n.find("x265") != std::string::npos)
        return true;
    bool letters = false;
    for (char c : value)
        letters = letters || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    return letters && value.find('/') != std::string::npos;
}

class Core : public TCustomFFmpeg {
public:
    using TCustomFFmpeg::SetupTranscode;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::InitEngine();
    if (size > 4096) return 0;
    static const std::vector<uint8_t> wav = fuzz::SmallWav();
    fuzz::MemoryStream input(wav.data(), wav.size());
    fuzz::MemoryStream output;
    const std::string text(reinterpret_cast<const char*>(data), size);

    Core core;
    core.InitFFmpeg();
    const std::string inName = EngineStreamName(&input, "in");
    const std::string outName = EngineStreamName(&output, "out");
    core.RegisterStream(inName, &input);
    core.RegisterStream(outName, &output);
    try {
        if (!core.OpenInput(inName)) return 0;
        core.SetOption("f", "nut");
        for (const TOptionLine& line : ParseOptionText(text)) {
            if (Skipped(line.first, line.second)) continue;
            try {
                core.SetOption(LowerCaseAscii(line.first), line.second);
            } catch (const FFmpegException&) {
            }
        }
        if (core.OpenOutput(outName, false) >= 0) core.SetupTranscode();
    } catch (const FFmpegException&) {
    }
    core.CleanupRun();
    return 0;
}
