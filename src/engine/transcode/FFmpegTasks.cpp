#include "engine/transcode/FFmpegTasks.h"

#include <sys/resource.h>
#include <unistd.h>

#include <charconv>

#include "engine/library/Dispatcher.h"
#include "engine/library/FFmpegLoader.h"
#include "engine/transcode/OptionText.h"
#include "engine/library/StreamIO.h"

namespace {

// The component whose terminate handler the calling thread is running (such a thread does not
// wait for itself).
thread_local const TCustomFFmpegTasks* tl_notifierOf = nullptr;
// The component whose task runs on this thread (a conversion thread, or the caller's during
// Start(0)): a handler there that stops the run cannot wait for it.
thread_local const TCustomFFmpegTasks* tl_runnerOf = nullptr;

// Conversion threads at a lower priority run "nicer"; raising it needs privileges the program
// usually lacks, and is then left as it is.
int NiceOf(TThreadPriority priority) {
    switch (priority) {
        case TThreadPriority::tpIdle:
            return 19;
        case TThreadPriority::tpLowest:
            return 15;
        case TThreadPriority::tpLower:
            return 5;
        case TThreadPriority::tpHigher:
            return -5;
        case TThreadPriority::tpHighest:
            return -10;
        case TThreadPriority::tpTimeCritical:
            return -15;
        default:
            return 0;
    }
}

// A decimal 64-bit integer, or the no-timestamp value when the text is not one.
int64_t TimeOf(const std::string& text) {
    int64_t value = 0;
    const char* begin = text.data();
    const char* end = begin + text.size();
    if (begin != end && *begin == '+') ++begin;
    const auto [ptr, ec] = std::from_chars(begin, end, value);
    return ec == std::errc() && ptr == end && begin != end ? value : kNoTimestamp;
}

TInputOptions InputOptionsOf(const std::string& extOptions) {
    TInputOptions options;
    std::string rest;
    for (const auto& [name, value] : ParseOptionText(extOptions)) {
        if (LowerCaseAscii(name) == "timestart") {
            options.TimeStart = TimeOf(value);
            continue;
        }
        if (!rest.empty()) rest += '\n';
        rest += name + "=" + value;
    }
    options.ExtOptions = rest;
    return options;
}

TOutputOptions OutputOptionsOf(const std::string& extOptions) {
    TOutputOptions options;
    for (const auto& [name, value] : ParseOptionText(extOptions)) {
        const std::string lower = LowerCaseAscii(name);
        if (lower == "hook" || lower == "customhook")
            options.CustomHook = true;
        else if (lower == "join")
            options.Join = true;
        else if (lower == "timestart")
            options.TimeStart = TimeOf(value);
        else if (lower == "timelength")
            options.TimeLength = TimeOf(value);
    }
    options.ExtOptions = extOptions;
    return options;
}

}  // namespace

TCustomFFmpegTasks::TCustomFFmpegTasks() : FAVProbe(std::make_unique<TAVProbe>()) {}

TCustomFFmpegTasks::~TCustomFFmpegTasks() {
    Stop(true);
    WaitUntil([this] { return NotifiersDone(); });
    FFFmpegList.clear();
}

bool TCustomFFmpegTasks::LoadAVLib(const std::string& path) {
    FFLoader().SetLibraryPath(path);
    if (!FFLoader().Load(kTaskLibraries)) {
        FLastErrMsg = FFLoader().LastErrMsg();
        return false;
    }
    return true;
}

bool TCustomFFmpegTasks::UnloadAVLib() {
    if (FFLoader().Unload(kTaskLibraries)) return true;
    FLastErrMsg = FFLoader().LastErrMsg();
    return false;
}

bool TCustomFFmpegTasks::AVLibLoaded() const {
    return FFLoader().Loaded(kTaskLibraries);
}

bool TCustomFFmpegTasks::RefuseWhileWorking(const char* operation) {
    if (!FWorking.load()) return false;
    FLastErrMsg = std::string("Cannot ") + operation + " while working.";
    return true;
}

bool TCustomFFmpegTasks::CheckIndex(int taskIndex) {
    if (taskIndex >= 0 && taskIndex < TasksCount()) return true;
    FLastErrMsg = "List index out of bounds (" + std::to_string(taskIndex) + ")";
    return false;
}

TFFmpeg* TCustomFFmpegTasks::Task(int taskIndex) const {
    return taskIndex >= 0 && taskIndex < TasksCount() ? FFFmpegList[taskIndex].get() : nullptr;
}

int TCustomFFmpegTasks::IndexOf(const TFFmpeg* task) const {
    for (size_t i = 0; i < FFFmpegList.size(); ++i)
        if (FFFmpegList[i].get() == task) return static_cast<int>(i);
    return -1;
}

std::unique_ptr<TFFmpeg> TCustomFFmpegTasks::NewTask() {
    auto task = std::make_unique<TFFmpeg>();
    task->InitFFmpeg();
    task->SetVerbose(FVerbose);
    task->SetThreadCount(FThreadCount);
    task->SetPostHook(TPostHook::phPreview, FPreview);
    task->SetPostHook(TPostHook::phBitmap, FPreviewBitmap);
    TFFmpeg* raw = task.get();
    task->FOnPreviewBitmap = [this, raw](const TBitmap24& bitmap, int64_t pts, int frameNumber) {
        TaskPreviewBitmap(*raw, bitmap, pts, frameNumber);
    };
    return task;
}

void TCustomFFmpegTasks::ConnectTask(TFFmpeg& task) {
    TFFmpeg* raw = &task;
    task.FOnProgress = [this, raw](const TProgressInfo& progress) { TaskProgress(*raw, progress); };
    // The notifier is counted before the task shows as terminated, so Stop(true) and the
    // destructor wait for it.
    task.FOnTerminating = [this](TFFmpeg&) {
        if (!FThreadMode) return;
        std::lock_guard<std::mutex> lock(FRun->lock);
        ++FRun->notifiers;
    };
    task.FOnTerminate = [this](TFFmpeg& t) { TaskTerminate(t); };
}

int TCustomFFmpegTasks::AddTaskWith(const std::string& fileName, const TInputOptions* options) {
    if (RefuseWhileWorking("AddTask")) return -1;
    if (!AVLibLoaded()) {
        FLastErrMsg = "LibAVCodec not loaded.";
        return -1;
    }
    try {
        std::unique_ptr<TFFmpeg> task = NewTask();
        if (!task->AddInput(fileName, options)) {
            FLastErrMsg = task->LastErrMsg();
            return -1;
        }
        ConnectTask(*task);
        FFFmpegList.push_back(std::move(task));
        return TasksCount() - 1;
    } catch (const std::exception& e) {
        FLastErrMsg = e.what();
        return -1;
    }
}

int TCustomFFmpegTasks::AddTask(const std::string& fileName) {
    return AddTaskWith(fileName, nullptr);
}

int TCustomFFmpegTasks::AddTask(const std::string& fileName, const TInputOptions& options) {
    return AddTaskWith(fileName, &options);
}

int TCustomFFmpegTasks::AddTask(const std::string& fileName, const std::string& extOptions) {
    const TInputOptions options = InputOptionsOf(extOptions);
    return AddTaskWith(fileName, &options);
}

int TCustomFFmpegTasks::AddTask(TEngineStream* stream, const std::string& privateData,
                                const TInputOptions& options) {
    if (RefuseWhileWorking("AddTask")) return -1;
    if (!AVLibLoaded()) {
        FLastErrMsg = "LibAVCodec not loaded.";
        return -1;
    }
    const std::string name = EngineStreamName(stream, privateData);
    try {
        std::unique_ptr<TFFmpeg> task = NewTask();
        task->RegisterStream(name, stream);
        if (!task->AddInput(name, &options)) {
            FLastErrMsg = task->LastErrMsg();
            return -1;
        }
        ConnectTask(*task);
        FFFmpegList.push_back(std::move(task));
        return TasksCount() - 1;
    } catch (const std::exception& e) {
        FLastErrMsg = e.what();
        return -1;
    }
}

bool TCustomFFmpegTasks::AddInputFile(int taskIndex, const std::string& fileName,
                                      const TInputOptions& options) {
    if (RefuseWhileWorking("AddInputFile") || !CheckIndex(taskIndex)) return false;
    TFFmpeg& task = *FFFmpegList[taskIndex];
    if (task.InputCount() >= task.FMaxFiles) {
        FLastErrMsg = "max input files " + std::to_string(task.FMaxFiles) + " reached";
        return false;
    }
    return OnTask(task, [&] { return task.AddInput(fileName, &options); });
}

bool TCustomFFmpegTasks::AddInputFile(int taskIndex, const std::string& fileName,
                                      const std::string& extOptions) {
    return AddInputFile(taskIndex, fileName, InputOptionsOf(extOptions));
}

bool TCustomFFmpegTasks::OnTask(TFFmpeg& task, const std::function<bool()>& step) {
    try {
        if (step()) return true;
        FLastErrMsg = task.LastErrMsg();
    } catch (const std::exception& e) {
        FLastErrMsg = e.what();
    }
    return false;
}

bool TCustomFFmpegTasks::SetOutputFile(int taskIndex, const std::string& fileName,
                                       const TOutputOptions& options) {
    if (RefuseWhileWorking("SetOutputFile") || !CheckIndex(taskIndex)) return false;
    TFFmpeg& task = *FFFmpegList[taskIndex];
    if (task.OutputCount() >= task.FMaxFiles) {
        FLastErrMsg = "max output files " + std::to_string(task.FMaxFiles) + " reached";
        return false;
    }
    if (options.CustomHook) {
        TFFmpeg* raw = &task;
        task.FOnCustomHook = [this, raw](THookInfo& hook) { TaskCustomHook(*raw, hook); };
    }
    return OnTask(task, [&] { return task.AddOutput(fileName, options); });
}

bool TCustomFFmpegTasks::SetOutputFile(int taskIndex, const std::string& fileName,
                                       const std::string& extOptions) {
    return SetOutputFile(taskIndex, fileName, OutputOptionsOf(extOptions));
}

bool TCustomFFmpegTasks::SetOutputStream(int taskIndex, TEngineStream* stream, const TOutputOptions& options,
                                         const std::string& privateData) {
    if (RefuseWhileWorking("SetOutputFile") || !CheckIndex(taskIndex)) return false;
    const std::string name = EngineStreamName(stream, privateData);
    FFFmpegList[taskIndex]->RegisterStream(name, stream);
    return SetOutputFile(taskIndex, name, options);
}

bool TCustomFFmpegTasks::ClearTasks() {
    if (FWorking.load() && !FTerminated.load()) {
        FLastErrMsg = "Cannot ClearTasks while working.";
        return false;
    }
    WaitUntil([this] { return NotifiersDone(); });
    FFFmpegList.clear();
    FLastErrMsg.clear();
    std::lock_guard<std::mutex> lock(FRun->lock);
    FCompleteTasks = 0;
    FCurrentTask = -1;
    FPendingTasks = 0;
    FTerminated = false;
    FThreadMode = false;
    FWorking = false;
    return true;
}

bool TCustomFFmpegTasks::Exchange(int taskIndex1, int taskIndex2) {
    if (RefuseWhileWorking("Exchange") || !CheckIndex(taskIndex1) || !CheckIndex(taskIndex2)) return false;
    std::swap(FFFmpegList[taskIndex1], FFFmpegList[taskIndex2]);
    return true;
}

bool TCustomFFmpegTasks::RemoveTask(int taskIndex) {
    if (RefuseWhileWorking("RemoveTask") || !CheckIndex(taskIndex)) return false;
    FFFmpegList.erase(FFFmpegList.begin() + taskIndex);
    return true;
}

void TCustomFFmpegTasks::SetPreview(bool value) {
    FPreview = value;
    for (auto& task : FFFmpegList)
        task->SetPostHook(TPostHook::phPreview, value);
}

void TCustomFFmpegTasks::SetPreviewBitmap(bool value) {
    FPreviewBitmap = value;
    for (auto& task : FFFmpegList)
        task->SetPostHook(TPostHook::phBitmap, value);
}

// ---- Events from the tasks (conversion threads)

void TCustomFFmpegTasks::TaskProgress(TFFmpeg& task, const TProgressInfo& progress) {
    std::lock_guard<std::mutex> lock(FProgressLock);
    FProgressInfo = progress;
    FProgressInfo.TaskIndex = IndexOf(&task);
    TProgressEvent handler = OnProgress;
    if (!handler) return;
    if (FTriggerEventInMainThread && !GetDispatcher().isMainThread())
        GetDispatcher().send([&] { handler(this, &FProgressInfo); });
    else
        handler(this, &FProgressInfo);
}

void TCustomFFmpegTasks::TaskPreviewBitmap(TFFmpeg& task, const TBitmap24& bitmap, int64_t pts,
                                           int frameNumber) {
    std::lock_guard<std::mutex> lock(FPreviewLock);
    FPreviewInfo = TPreviewInfo{IndexOf(&task), &bitmap, frameNumber, pts};
    TPreviewBitmapEvent handler = OnPreviewBitmap;
    if (!handler) return;
    if (FTriggerEventInMainThread && !GetDispatcher().isMainThread())
        GetDispatcher().send([&] { handler(this, FPreviewInfo); });
    else
        handler(this, FPreviewInfo);
}

void TCustomFFmpegTasks::TaskCustomHook(TFFmpeg& task, THookInfo& hook) {
    std::lock_guard<std::mutex> lock(FHookLock);
    FHookInfo = hook;
    FHookInfo.TaskIndex = IndexOf(&task);
    if (OnCustomHook) OnCustomHook(this, &FHookInfo);
    hook.Update = FHookInfo.Update;
    hook.StopHook = FHookInfo.StopHook;
}

// ---- Run control

bool TCustomFFmpegTasks::Start(int threadCount) {
    if (RefuseWhileWorking("StartTask")) return false;
    {
        std::lock_guard<std::mutex> lock(FRun->lock);
        FCompleteTasks = 0;
        FCurrentTask = 0;
        FPendingTasks = TasksCount();
        FTerminated = false;
        FThreadMode = threadCount > 0;
        FRunWidth = FThreadMode ? threadCount : 1;
        FWorking = true;
        FPausedRun = false;
    }
    if (FThreadMode) {
        const int first = std::min(threadCount, TasksCount());
        for (int i = 0; i < first; ++i)
            StartNext();
        if (TasksCount() == 0) RaiseFinal();
        return true;
    }
    const TCustomFFmpegTasks* outer = tl_runnerOf;
    tl_runnerOf = this;
    try {
        while (StartNext()) {
        }
    } catch (...) {
        tl_runnerOf = outer;
        throw;
    }
    tl_runnerOf = outer;
    if (FinalDue()) RaiseFinal();
    return true;
}

// Claims the next task that is still waiting and starts it; false when none is left.
bool TCustomFFmpegTasks::StartNext() {
    TFFmpeg* task = nullptr;
    int unfinished = 0;
    {
        std::lock_guard<std::mutex> lock(FRun->lock);
        while (!task && FPendingTasks > 0 && FCurrentTask < TasksCount()) {
            TFFmpeg* candidate = FFFmpegList[FCurrentTask].get();
            ++FCurrentTask;
            --FPendingTasks;
            if (candidate->MarkStarted()) task = candidate;
        }
        unfinished = TasksCount() - FCompleteTasks;
    }
    if (!task) return false;
    StartTask(*task, unfinished);
    return true;
}

void TCustomFFmpegTasks::StartTask(TFFmpeg& task, int unfinished) {
    task.SetVerbose(FVerbose);
    if (CodecThreadsAtStart) task.SetThreadCount(CodecThreadsAtStart(FRunWidth, unfinished));
    task.SetReportInterval(static_cast<int64_t>(FProgressInterval) * 1000);
    if (FPausedRun && FThreadMode) task.SetPaused(true);
    if (!FThreadMode) {
        task.Run();
        return;
    }
    const int nice = NiceOf(FThreadPriority);
    task.FThread = std::thread([this, &task, nice] {
        tl_runnerOf = this;
        if (nice != 0) ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), nice);
        task.Run();
    });
}

// The end of a task's run (on its conversion thread, or the caller's without thread mode).
void TCustomFFmpegTasks::TaskTerminate(TFFmpeg& task) {
    const TTerminateInfo info{IndexOf(&task), task.Finished(), task.FatalException(), task.FatalMessage()};
    if (!FThreadMode) {
        RaiseTerminate(info);
        std::lock_guard<std::mutex> lock(FRun->lock);
        ++FCompleteTasks;
        FRun->cond.notify_all();
        return;
    }
    // A short-lived thread reports it, so the conversion thread ends without waiting for the
    // handler; it also starts the next task or raises the final notification.
    std::shared_ptr<TRunState> run = FRun;
    std::thread([this, info, run] {
        tl_notifierOf = this;
        RaiseTerminate(info);
        Completed();
        tl_notifierOf = nullptr;
        std::lock_guard<std::mutex> lock(run->lock);
        --run->notifiers;
        run->cond.notify_all();
    }).detach();
}

void TCustomFFmpegTasks::Completed() {
    bool startNext;
    {
        std::lock_guard<std::mutex> lock(FRun->lock);
        ++FCompleteTasks;
        startNext = FPendingTasks > 0;
        FRun->cond.notify_all();
    }
    if (startNext) StartNext();
    if (FinalDue()) RaiseFinal();
}

// Whether every task has ended and the final notification has not been raised yet.
bool TCustomFFmpegTasks::FinalDue() {
    std::lock_guard<std::mutex> lock(FRun->lock);
    if (FTerminated.load() || FPendingTasks > 0 || FCompleteTasks < TasksCount()) return false;
    FTerminated = true;
    return true;
}

void TCustomFFmpegTasks::RaiseFinal() {
    FTerminated = true;
    RaiseTerminate(TTerminateInfo{-1, true, false, ""});
    FRun->cond.notify_all();
}

void TCustomFFmpegTasks::RaiseTerminate(const TTerminateInfo& info) {
    std::lock_guard<std::mutex> lock(FTerminateLock);
    FTerminateInfo = info;
    if (OnTerminate) OnTerminate(this, info);
}

void TCustomFFmpegTasks::Pause() {
    if (!FWorking.load() || !FThreadMode) return;
    FPausedRun = true;
    for (auto& task : FFFmpegList)
        if (task->Started() && !task->Terminated()) task->SetPaused(true);
}

void TCustomFFmpegTasks::Resume() {
    FPausedRun = false;
    for (auto& task : FFFmpegList)
        task->SetPaused(false);
}

void TCustomFFmpegTasks::Stop(bool waitFor) {
    {
        std::lock_guard<std::mutex> lock(FRun->lock);
        FPendingTasks = 0;
    }
    FPausedRun = false;
    std::vector<TFFmpeg*> unstarted;
    for (auto& task : FFFmpegList) {
        if (task->Started()) {
            if (!task->Terminated()) task->RequestStop();
        } else if (FWorking.load() && task->MarkStarted()) {
            unstarted.push_back(task.get());
        }
    }
    // Tasks that never ran end now and are reported like the others (Finished false).
    for (TFFmpeg* task : unstarted)
        task->TerminateUnstarted();
    if (!FThreadMode && FWorking.load() && !unstarted.empty() && FinalDue()) RaiseFinal();
    // Called from a handler on a thread that runs a task: the task ends when the handler
    // returns, so waiting here would wait for itself.
    if (!waitFor || tl_runnerOf == this) return;
    WaitUntil([this] {
        for (auto& task : FFFmpegList)
            if (task->Started() && !task->Terminated()) return false;
        return NotifiersDone();
    });
}

bool TCustomFFmpegTasks::NotifiersDone() const {
    return FRun->notifiers == (tl_notifierOf == this ? 1 : 0);
}

void TCustomFFmpegTasks::WaitUntil(const std::function<bool()>& done) {
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(FRun->lock);
            if (done()) return;
            if (!GetDispatcher().isMainThread()) {
                FRun->cond.wait_for(lock, std::chrono::milliseconds(20));
                continue;
            }
        }
        // The main thread keeps running the work conversion threads wait for (progress events
        // sent to it), else both would wait for ever.
        GetDispatcher().pump();
        std::unique_lock<std::mutex> lock(FRun->lock);
        if (done()) return;
        FRun->cond.wait_for(lock, std::chrono::milliseconds(20));
    }
}
