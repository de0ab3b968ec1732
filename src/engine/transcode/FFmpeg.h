#pragma once
// One task of the task component: a transcoding core with the option records of its inputs and
// outputs, a probe per opened input, and its own run (on a conversion thread of its own or on
// the caller's).
//
// Applying options follows a fixed order. Inputs: the option text's names of phase 5, then of
// phase 2, then the record's format, start time and program. Outputs: the target, codecs (text
// then record), presets (text then record), the other option text, the record's other fields,
// the frame size, the video filters; the output is opened; new streams come last. A record
// field comes after the option text of its phase, so it overrides the same option given as
// text.
//
// Ownership: the component owns its tasks; a task owns its core state, probes and thread.
// Threads: built on the component's thread; Run runs on the task's conversion thread (or the
// caller's); Stop/Pause requests come from the component's thread.

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/probe/AVProbe.h"
#include "engine/transcode/CustomFFmpeg.h"
#include "engine/transcode/FFmpegTypes.h"

class TFFmpeg : public TCustomFFmpeg {
public:
    TFFmpeg();
    ~TFFmpeg() override;

    // Applies the input options (or resets the slot without them) and opens the input. False
    // with LastErrMsg on failure; the slot is reset then.
    bool AddInput(const std::string& fileName, const TInputOptions* options);
    // Applies the output options and opens the output. False with LastErrMsg on failure.
    bool AddOutput(const std::string& fileName, const TOutputOptions& options);

    int InputCount() const { return static_cast<int>(FInputOptions.size()); }
    int OutputCount() const { return static_cast<int>(FOutputOptions.size()); }
    const TInputOptions& InputOptions(int index) const { return FInputOptions.at(index); }
    const TOutputOptions& OutputOptions(int index) const { return FOutputOptions.at(index); }
    // The probe attached to an opened input (owned by the task; null out of range).
    TAVProbe* AVProbe(int index) const;

    // The run: the transcoding, then clean-up and termination. Refused (returns at once) while
    // converting or once terminated.
    void Run();
    // Whether the task has been started (claimed by the component) or ended.
    bool Started() const { return FStarted.load(); }
    bool MarkStarted() { return !FStarted.exchange(true); }
    bool Terminated() const { return FTerminated.load(); }
    bool FatalException() const { return FFatalException; }
    const std::string& FatalMessage() const { return FFatalMessage; }

    // Marks a task that never ran as ended (Stop on tasks not started): Finished false.
    void TerminateUnstarted();

    // Raised at the end of Run (conversion thread or caller's): FOnTerminating just before the
    // task shows as terminated, FOnTerminate just after.
    std::function<void(TFFmpeg&)> FOnTerminating;
    std::function<void(TFFmpeg&)> FOnTerminate;

    // The conversion thread (thread mode).
    std::thread FThread;

private:
    // Fit into a size (an output record with SizeLimit; FFmpegFit.cpp).
    void RunFirstPass();
    void FitAfterwards();
    // Runs a copy of this task's inputs with `out` into `fileName` on this thread, its progress
    // shown as part `part` of `parts`, following this task's stop and pause. False when it
    // failed (FFatalMessage) or was stopped.
    bool RunSubTask(TOutputOptions out, const std::string& fileName, int part, int parts);
    void RemovePassLogs() const;
    std::string FFitFile;  // the output that must fit ("" when none must)
    std::string FPassLog;  // prefix of the two passes' statistics files
    std::function<void(const TProgressInfo&)> FRunProgress;  // the caller's progress handler

    void ApplyExtOptions(const std::string& text, int phase);
    void ApplyOutputFields(const TOutputOptions& o);
    void ReleaseProbes();

    std::vector<std::unique_ptr<TAVProbe>> FAVProbes;
    std::vector<TInputOptions> FInputOptions;
    std::vector<TOutputOptions> FOutputOptions;
    std::atomic<bool> FStarted{false};
};
