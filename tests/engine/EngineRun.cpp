#include "EngineRun.h"

#include <gtest/gtest.h>

#include <sstream>

#include "common/MediaFixtures.h"
#include "engine/transcode/OptionText.h"

namespace enginetest {

RunResult Convert(const std::vector<std::pair<std::string, std::string>>& inputs, const std::string& output,
                  const TOutputOptions& options,
                  const std::function<void(TFFmpegTasks&, TFFmpeg&)>& prepare) {
    RunResult result;
    TFFmpegTasks tasks;
    tasks.SetProgressInterval(100);
    tasks.OnProgress = [&](TCustomFFmpegTasks*, const TProgressInfo* p) { result.progress.push_back(*p); };
    tasks.OnTerminate = [&](TCustomFFmpegTasks*, const TTerminateInfo& info) {
        result.terminations.push_back(info);
        if (info.TaskIndex >= 0) result.task = info;
    };
    const int t = tasks.AddTask(inputs.at(0).first, inputs.at(0).second);
    if (t < 0) {
        result.setupError = tasks.LastErrMsg();
        return result;
    }
    for (size_t i = 1; i < inputs.size(); ++i)
        if (!tasks.AddInputFile(t, inputs[i].first, inputs[i].second)) {
            result.setupError = tasks.LastErrMsg();
            return result;
        }
    if (prepare) prepare(tasks, *tasks.Task(t));
    if (!tasks.SetOutputFile(t, output, options)) {
        result.setupError = tasks.LastErrMsg();
        return result;
    }
    result.added = true;
    tasks.Start(0);
    return result;
}

RunResult Convert(const std::string& input, const std::string& output, const std::string& outputText,
                  const std::string& inputText) {
    TOutputOptions options;
    options.ExtOptions = outputText;
    for (const auto& [name, value] : ParseOptionText(outputText)) {
        const std::string lower = LowerCaseAscii(name);
        if (lower == "join") options.Join = true;
        if (lower == "hook") options.CustomHook = true;
    }
    return Convert({{input, inputText}}, output, options);
}

int Frames(const std::string& file, const std::string& stream) {
    return fixtures::ProbeFrameCount(file, stream);
}

double StreamDouble(const std::string& file, const std::string& stream, const std::string& entry) {
    const std::string s = fixtures::Probe(file, stream, "stream=" + entry);
    if (s.empty() || s == "N/A") return -1;
    return std::stod(s);
}

double MaxVolume(const std::string& file) {
    std::string out;
    fixtures::Run("ffmpeg -nostdin -hide_banner -i " + fixtures::ShellQuote(file) +
                      " -map 0:a:0 -af volumedetect -f null - 2>&1",
                  &out);
    const size_t at = out.find("max_volume: ");
    if (at == std::string::npos) return -1000;
    return std::stod(out.substr(at + 12));
}

std::vector<std::string> FrameChecksums(const std::string& file, const std::string& stream) {
    std::string out;
    fixtures::Run("ffmpeg -nostdin -v error -i " + fixtures::ShellQuote(file) + " -map 0:" + stream +
                      " -f framemd5 - 2>/dev/null",
                  &out);
    std::vector<std::string> sums;
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.empty() || line[0] == '#') continue;
        sums.push_back(line.substr(line.rfind(',') + 1));
    }
    return sums;
}

}  // namespace enginetest
