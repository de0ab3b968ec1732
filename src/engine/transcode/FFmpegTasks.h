#pragma once
// src/engine/transcode stands on the library layer and the probe (every task keeps a probe per
// opened input): the task component, the transcoding core split by stage (set-up, input, output,
// loop, video, audio, subtitles, progress, options, encoders), presets, targets, the filter
// chain, the option vocabulary and texts, fit-into-a-size, and the conversion's preview window.
// Each task converts on a conversion thread of its own; events reach the user-interface thread
// through the dispatcher.
//
// The transcoding task component: a list of tasks (one TFFmpeg each: inputs, outputs, options)
// that the application fills, starts and follows through events.
//
// Failures never leave the component as exceptions: every operation reports through its
// result (false, -1) and LastErrMsg. While a run is working, the operations that change the
// list refuse with "Cannot <operation> while working."; after a run the caller clears the list
// (ClearTasks) before building the next one.
//
// Events: OnProgress and OnPreviewBitmap are raised from a task's conversion thread, on the main
// thread through the Dispatcher (the conversion thread waits) when TriggerEventInMainThread is
// set, else directly. OnTerminate runs, in thread mode, on a short-lived thread of its own with
// a copy of the record (the handler synchronises with the user interface itself); the final
// notification of a run has TaskIndex -1 and comes after every task's own. OnCustomHook runs on
// the conversion thread.
//
// Ownership: owns its tasks, its probe and the event records. Threads: the list operations,
// Start, Pause, Resume and Stop belong to one thread (the user-interface thread).

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/probe/AVProbe.h"
#include "engine/library/EngineStream.h"
#include "engine/transcode/FFmpeg.h"
#include "engine/transcode/FFmpegTypes.h"

enum class TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

class TCustomFFmpegTasks {
public:
    using TProgressEvent = std::function<void(TCustomFFmpegTasks* sender, const TProgressInfo* info)>;
    using TTerminateEvent = std::function<void(TCustomFFmpegTasks* sender, const TTerminateInfo& info)>;
    using TPreviewBitmapEvent = std::function<void(TCustomFFmpegTasks* sender, const TPreviewInfo& info)>;
    using TCustomHookEvent = std::function<void(TCustomFFmpegTasks* sender, THookInfo* info)>;

    TCustomFFmpegTasks();
    virtual ~TCustomFFmpegTasks();
    TCustomFFmpegTasks(const TCustomFFmpegTasks&) = delete;
    TCustomFFmpegTasks& operator=(const TCustomFFmpegTasks&) = delete;

    // Sets the loader's library folder and loads the task libraries.
    bool LoadAVLib(const std::string& path);
    // Refused (false, LastErrMsg) while a task, probe or player of the process is open.
    bool UnloadAVLib();
    bool AVLibLoaded() const;

    // A new task with its first input; its index, or -1 with LastErrMsg.
    int AddTask(const std::string& fileName);
    int AddTask(const std::string& fileName, const TInputOptions& options);
    // Option text; a "TimeStart" line (any case) becomes the record's TimeStart.
    int AddTask(const std::string& fileName, const std::string& extOptions);
    // Reads the input from the caller's stream (named "stream:<address>:<privateData>").
    int AddTask(TEngineStream* stream, const std::string& privateData, const TInputOptions& options);

    bool AddInputFile(int taskIndex, const std::string& fileName, const TInputOptions& options);
    bool AddInputFile(int taskIndex, const std::string& fileName, const std::string& extOptions);
    bool SetOutputFile(int taskIndex, const std::string& fileName, const TOutputOptions& options);
    // Option text; "Hook"/"CustomHook", "Join", "TimeStart", "TimeLength" lines (any case) set
    // the record's fields; the whole text is the record's ExtOptions.
    bool SetOutputFile(int taskIndex, const std::string& fileName, const std::string& extOptions);
    // Writes the output into the caller's stream.
    bool SetOutputStream(int taskIndex, TEngineStream* stream, const TOutputOptions& options,
                         const std::string& privateData);

    bool ClearTasks();
    bool Exchange(int taskIndex1, int taskIndex2);
    bool RemoveTask(int taskIndex);
    int TasksCount() const { return static_cast<int>(FFFmpegList.size()); }
    // The task (owned by the component; null out of range).
    TFFmpeg* Task(int taskIndex) const;

    // Runs the tasks: threadCount > 0 runs that many at a time on conversion threads and returns
    // at once; 0 runs them one after another on the calling thread.
    bool Start(int threadCount);
    void Pause();
    void Resume();
    // Stops every task: running ones end at their next packet (their files stay playable), tasks
    // not started end at once with Finished false. waitFor waits for all of them, except when
    // called from a handler on a thread that runs one of them (it would wait for itself).
    void Stop(bool waitFor);

    const std::string& LastErrMsg() const { return FLastErrMsg; }
    bool Preview() const { return FPreview; }
    void SetPreview(bool value);
    bool PreviewBitmap() const { return FPreviewBitmap; }
    void SetPreviewBitmap(bool value);
    int ProgressInterval() const { return FProgressInterval; }
    void SetProgressInterval(int milliseconds) {
        FProgressInterval = milliseconds <= 100 ? 100 : milliseconds;
    }
    TThreadPriority ThreadPriority() const { return FThreadPriority; }
    void SetThreadPriority(TThreadPriority priority) { FThreadPriority = priority; }
    bool TriggerEventInMainThread() const { return FTriggerEventInMainThread; }
    void SetTriggerEventInMainThread(bool value) { FTriggerEventInMainThread = value; }
    int Verbose() const { return FVerbose; }
    void SetVerbose(int value) { FVerbose = value; }
    // Codec threads per task (the core's thread count), applied to tasks added afterwards.
    int ThreadCount() const { return FThreadCount; }
    void SetThreadCount(int count) { FThreadCount = count > 0 ? count : 1; }
    // When set, decides a task's codec threads as it starts (overriding ThreadCount): called
    // with the number of tasks the run keeps going at once and the number of the run's tasks
    // not finished yet (the starting one included). Runs on the thread that starts the task.
    std::function<int(int runWidth, int unfinished)> CodecThreadsAtStart;
    bool Terminated() const { return FTerminated.load(); }
    bool Working() const { return FWorking.load(); }
    void* UserData() const { return FData; }
    void SetUserData(void* data) { FData = data; }
    TAVProbe& AVProbe() { return *FAVProbe; }

    TProgressEvent OnProgress;
    TTerminateEvent OnTerminate;
    TPreviewBitmapEvent OnPreviewBitmap;
    TCustomHookEvent OnCustomHook;

protected:
    bool RefuseWhileWorking(const char* operation);
    bool CheckIndex(int taskIndex);
    // Runs one step on a task; a refusal takes the task's error text, an exception its message.
    bool OnTask(TFFmpeg& task, const std::function<bool()>& step);
    std::unique_ptr<TFFmpeg> NewTask();
    int IndexOf(const TFFmpeg* task) const;
    int AddTaskWith(const std::string& fileName, const TInputOptions* options);
    void ConnectTask(TFFmpeg& task);

    // Events from the tasks.
    void TaskProgress(TFFmpeg& task, const TProgressInfo& progress);
    void TaskPreviewBitmap(TFFmpeg& task, const TBitmap24& bitmap, int64_t pts, int frameNumber);
    void TaskCustomHook(TFFmpeg& task, THookInfo& hook);
    void TaskTerminate(TFFmpeg& task);

    // Run control.
    bool StartNext();
    void StartTask(TFFmpeg& task, int unfinished);
    void Completed();
    void RaiseTerminate(const TTerminateInfo& info);
    void RaiseFinal();
    bool FinalDue();
    // Waits (pumping the dispatcher on the main thread) until done() holds; done() runs under
    // the run-state lock.
    void WaitUntil(const std::function<bool()>& done);
    bool NotifiersDone() const;  // under the run-state lock

    std::string FLastErrMsg;
    void* FData = nullptr;
    bool FPreview = false;
    bool FPreviewBitmap = false;
    int FProgressInterval = 500;
    TThreadPriority FThreadPriority = TThreadPriority::tpNormal;
    bool FTriggerEventInMainThread = true;
    int FVerbose = 1;
    int FThreadCount = 1;

    TProgressInfo FProgressInfo;
    TTerminateInfo FTerminateInfo;
    TPreviewInfo FPreviewInfo;
    THookInfo FHookInfo;
    std::mutex FHookLock, FPreviewLock, FProgressLock, FTerminateLock;

    std::unique_ptr<TAVProbe> FAVProbe;
    std::vector<std::unique_ptr<TFFmpeg>> FFFmpegList;

    // Run state. The lock, its condition and the count of running terminate threads live in a
    // block the terminate threads share, so a thread that has just counted itself out may still
    // release the lock after the component is gone.
    struct TRunState {
        std::mutex lock;
        std::condition_variable cond;
        int notifiers = 0;  // terminate threads still running
    };
    std::shared_ptr<TRunState> FRun = std::make_shared<TRunState>();
    int FCompleteTasks = 0;
    int FCurrentTask = -1;
    int FPendingTasks = 0;
    std::atomic<bool> FTerminated{false};
    bool FThreadMode = false;
    int FRunWidth = 1;  // tasks at a time in thread mode
    std::atomic<bool> FWorking{false};
    std::atomic<bool> FPausedRun{false};
};

// The component as the application uses it.
class TFFmpegTasks : public TCustomFFmpegTasks {
public:
    using TCustomFFmpegTasks::TCustomFFmpegTasks;
};
