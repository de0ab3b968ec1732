#pragma once
// Running tasks of the component in the engine tests: one task converted synchronously with its
// events collected, and ffprobe facts of the result.

#include <functional>
#include <string>
#include <vector>

#include "engine/transcode/FFmpegTasks.h"

namespace enginetest {

struct RunResult {
    bool added = false;  // AddTask/AddInputFile/SetOutputFile succeeded
    std::string setupError;
    std::vector<TTerminateInfo> terminations;  // in the order raised (the final one last)
    std::vector<TProgressInfo> progress;
    TTerminateInfo task;  // the task's own termination
    bool Finished() const { return task.Finished && !task.Exception; }
};

// Adds a task with the inputs (text options each), sets the output, lets prepare adjust the
// component and the task, and runs it with Start(0).
RunResult Convert(const std::vector<std::pair<std::string, std::string>>& inputs, const std::string& output,
                  const TOutputOptions& options,
                  const std::function<void(TFFmpegTasks&, TFFmpeg&)>& prepare = {});
RunResult Convert(const std::string& input, const std::string& output, const std::string& outputText,
                  const std::string& inputText = "");

// ffprobe: decoded frames of a stream, a stream entry, loudest sample in dB.
int Frames(const std::string& file, const std::string& stream = "v:0");
double StreamDouble(const std::string& file, const std::string& stream, const std::string& entry);
double MaxVolume(const std::string& file);
// The frames' checksums of a file (ffmpeg's framemd5), one line per frame.
std::vector<std::string> FrameChecksums(const std::string& file, const std::string& stream = "v:0");

}  // namespace enginetest
