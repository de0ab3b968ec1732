#include "engine/FFmpegTasks.h"

#include <charconv>

#include "engine/Dispatcher.h"
#include "engine/FFmpegLoader.h"
#include "engine/OptionText.h"
#include "engine/StreamIO.h"

namespace {

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
    OnProgress = nullptr;
    OnPreviewBitmap = nullptr;
    OnCustomHook = nullptr;
    OnTerminate = nullptr;
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

void TCustomFFmpegTasks::UnloadAVLib() {
    FFLoader().Unload(kTaskLibraries);
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
    try {
        if (!task.AddInput(fileName, &options)) {
            FLastErrMsg = task.LastErrMsg();
            return false;
        }
    } catch (const std::exception& e) {
        FLastErrMsg = e.what();
        return false;
    }
    return true;
}

bool TCustomFFmpegTasks::AddInputFile(int taskIndex, const std::string& fileName,
                                      const std::string& extOptions) {
    return AddInputFile(taskIndex, fileName, InputOptionsOf(extOptions));
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
    try {
        if (!task.AddOutput(fileName, options)) {
            FLastErrMsg = task.LastErrMsg();
            return false;
        }
    } catch (const std::exception& e) {
        FLastErrMsg = e.what();
        return false;
    }
    return true;
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
    FFFmpegList.clear();
    FLastErrMsg.clear();
    std::lock_guard<std::mutex> lock(FStateLock);
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
