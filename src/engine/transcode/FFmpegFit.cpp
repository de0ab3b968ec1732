// Fit into a size: a task whose output record has a SizeLimit runs, where asked, an analysis
// pass before its own run (which is then the second pass), checks the finished file, and encodes
// it again at a video rate lowered by the measured excess while it is over the limit. It fails
// rather than deliver a file over the limit. Everything runs on the task's conversion thread.

#include <chrono>
#include <cstdio>
#include <dirent.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "engine/transcode/FFmpeg.h"

namespace {
int64_t fileSize(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<int64_t>(st.st_size) : -1;
}

const TOutputOptions* fitRecord(const std::vector<TOutputOptions>& outputs) {
    for (const TOutputOptions& o : outputs)
        if (o.SizeLimit > 0) return &o;
    return nullptr;
}
}  // namespace

bool TFFmpeg::RunSubTask(TOutputOptions out, const std::string& fileName, int part, int parts) {
    out.SizeLimit = 0;
    out.TwoPass = false;
    TFFmpeg sub;
    sub.InitFFmpeg();
    sub.SetVerbose(Verbose());
    sub.SetThreadCount(ThreadCount());
    sub.SetReportInterval(ReportInterval());
    sub.FOnProgress = [this, &sub, part, parts](const TProgressInfo& p) {
        // This task's stop and pause reach the sub-task at its progress reports.
        while (FPaused.load() && !FBroken.load())
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (FBroken.load()) sub.RequestStop();
        if (!FRunProgress) return;
        TProgressInfo q = p;
        if (p.TotalDuration > 0)
            q.CurrentDuration = (part * p.TotalDuration + std::min(p.CurrentDuration, p.TotalDuration)) / parts;
        FRunProgress(q);
    };
    for (const TInputOptions& in : FInputOptions)
        if (!sub.AddInput(in.FileName, &in)) {
            FFatalMessage = sub.LastErrMsg();
            return false;
        }
    if (!sub.AddOutput(fileName, out)) {
        FFatalMessage = sub.LastErrMsg();
        return false;
    }
    sub.Run();
    if (sub.FatalException()) FFatalMessage = sub.FatalMessage();
    return !sub.FatalException() && sub.Finished() && !FBroken.load();
}

void TFFmpeg::RunFirstPass() {
    const TOutputOptions* spec = fitRecord(FOutputOptions);
    if (!spec) return;
    FRunProgress = FOnProgress;
    // The analysis writes a throwaway file of the output's own format, so that both passes see
    // the same time base (the encoder's statistics must match).
    TOutputOptions first = *spec;
    first.DisableAudio = true;
    first.DisableSubtitle = true;
    first.ExtOptions += "\npass=1\npasslogfile=" + FPassLog;
    const size_t dot = FFitFile.rfind('.');
    const size_t slash = FFitFile.rfind('/');
    const std::string scratch = dot != std::string::npos && (slash == std::string::npos || dot > slash)
                                    ? FFitFile.substr(0, dot) + ".analysis" + FFitFile.substr(dot)
                                    : FFitFile + ".analysis";
    const bool analysed = RunSubTask(first, scratch, 0, 2);
    ::unlink(scratch.c_str());
    if (!analysed && !FBroken.load()) Fail("The analysis pass failed: " + FFatalMessage);
    // This task's own run is the second half of the progress.
    FOnProgress = [this](const TProgressInfo& p) {
        TProgressInfo q = p;
        if (p.TotalDuration > 0)
            q.CurrentDuration = (p.TotalDuration + std::min(p.CurrentDuration, p.TotalDuration)) / 2;
        if (FRunProgress) FRunProgress(q);
    };
}

void TFFmpeg::FitAfterwards() {
    const TOutputOptions* spec = fitRecord(FOutputOptions);
    if (FRunProgress) FOnProgress = FRunProgress;
    FRunProgress = FOnProgress;
    if (!spec || FFatalException || !FFinished || FBroken.load()) {
        RemovePassLogs();
        return;
    }
    const int64_t limit = spec->SizeLimit;
    int64_t size = fileSize(FFitFile);
    TOutputOptions again = *spec;
    if (!FPassLog.empty()) again.ExtOptions += "\npass=2\npasslogfile=" + FPassLog;
    for (int attempt = 0; size > limit && attempt < 2; ++attempt) {
        // The excess measured, and a margin that grows with each try.
        const double factor = static_cast<double>(limit) / static_cast<double>(size) * (attempt == 0 ? 0.97 : 0.90);
        const bool video = again.VideoBitrate > 0 && !again.DisableVideo;
        int32_t& rate = video ? again.VideoBitrate : again.AudioBitrate;
        if (rate <= 0) break;
        rate = static_cast<int32_t>(rate * factor);
        Log(TLogLevel::llInfo, FormatText("%s has %lld bytes, over the limit of %lld: encoding again at %d bit/s",
                                          FFitFile.c_str(), static_cast<long long>(size),
                                          static_cast<long long>(limit), rate));
        if (!RunSubTask(again, FFitFile, 1, 2)) {
            FFinished = false;
            if (!FBroken.load()) FFatalException = true;
            RemovePassLogs();
            return;
        }
        size = fileSize(FFitFile);
    }
    RemovePassLogs();
    if (size > limit) {
        FFinished = false;
        FFatalException = true;
        FFatalMessage = FormatText("The output could not be made to fit into %lld bytes (it has %lld bytes)",
                                   static_cast<long long>(limit), static_cast<long long>(size));
    }
}

void TFFmpeg::RemovePassLogs() const {
    if (FPassLog.empty()) return;
    // The statistics files are "<prefix>-<stream>.log" and what the encoders keep beside them
    // (x264: ".mbtree", ".temp").
    const size_t slash = FPassLog.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : FPassLog.substr(0, slash);
    const std::string stem = (slash == std::string::npos ? FPassLog : FPassLog.substr(slash + 1)) + "-";
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return;
    while (const dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (name.compare(0, stem.size(), stem) == 0 && name.find(".log") != std::string::npos)
            ::unlink((folder + "/" + name).c_str());
    }
    ::closedir(dir);
}
