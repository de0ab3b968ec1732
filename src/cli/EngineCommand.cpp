// vanto-convert engine [--threads N] [--loglevel LEVEL] -i FILE [-iopt TEXT] [-i FILE [-iopt TEXT]]...
//                      -o FILE [-oopt TEXT]
//
// One task of the transcoding component from the command line: the first input starts the task
// (AddTask), further inputs join it (AddInputFile), the output is set last (SetOutputFile). TEXT
// is an option text ("name=value" lines, or lines joined by "<CRLF>"). The task then runs on a
// conversion thread; its progress goes to standard error, Ctrl-C stops it (the output stays
// playable).
#include "cli/EngineCommand.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/library/FFmpegLoader.h"
#include "engine/library/FFmpegLogger.h"
#include "engine/transcode/FFmpegTasks.h"

namespace {

volatile sig_atomic_t g_interrupted = 0;

void OnInterrupt(int) {
    g_interrupted = 1;
}

std::string TimeText(int64_t us) {
    if (us < 0) return "--:--:--.--";
    const int64_t cs = us / 10000;
    return FormatText("%02d:%02d:%02d.%02d", static_cast<int>(cs / 360000), static_cast<int>(cs / 6000 % 60),
                      static_cast<int>(cs / 100 % 60), static_cast<int>(cs % 100));
}

void PrintHelp(std::FILE* out) {
    std::fputs(
        "usage: vanto-convert engine [--threads N] [--loglevel LEVEL]\n"
        "                            -i FILE [-iopt TEXT] [-i FILE [-iopt TEXT]]... -o FILE [-oopt TEXT]\n"
        "\n"
        "Converts with one task of the media engine: the first -i FILE starts the task, further\n"
        "ones are added to it (several inputs, for example to join them with the output option\n"
        "Join), -o FILE is the output. -iopt and -oopt give the option text of the input or output\n"
        "just named: name=value lines (a real line break or the six characters <CRLF> between\n"
        "them), for example \"vcodec=libx264<CRLF>vpre=libx264-default<CRLF>ab=128000\".\n"
        "Prints \"ready\" when the task is set up, then runs it with a progress line on standard\n"
        "error. Ctrl-C stops the conversion; the output written so far stays playable.\n"
        "Exit status: 0 when the conversion finished, 1 when the engine refused the task, the\n"
        "conversion failed (the reason goes to standard error) or it was stopped, 2 for a wrong\n"
        "command line.\n"
        "\n"
        "  --threads N       codec threads of the task (default 1)\n"
        "  --interval MS     progress interval in milliseconds (default 500, at least 100)\n"
        "  --loglevel LEVEL  show the media libraries' and the engine's messages up to LEVEL on\n"
        "                    standard error (quiet, panic, fatal, error, warning, info, verbose,\n"
        "                    debug, or a number); default quiet\n",
        out);
}

struct TFileArg {
    std::string Name;
    std::string Options;
};

int Run(const std::vector<std::string>& args) {
    std::vector<TFileArg> inputs;
    TFileArg output;
    bool haveOutput = false;
    int threads = 1;
    int interval = 500;
    std::string logLevel = "quiet";
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") {
            PrintHelp(stdout);
            return kExitOk;
        }
        const bool takesValue = a == "-i" || a == "-iopt" || a == "-o" || a == "-oopt" || a == "--threads" ||
                                a == "--loglevel" || a == "--interval";
        if (!takesValue) {
            std::fprintf(stderr, "vanto-convert engine: unknown argument %s\n", a.c_str());
            return kExitUsage;
        }
        if (i + 1 >= args.size()) {
            std::fprintf(stderr, "vanto-convert engine: %s needs a value\n", a.c_str());
            return kExitUsage;
        }
        const std::string& value = args[++i];
        if (a == "-i") {
            inputs.push_back({value, ""});
        } else if (a == "-iopt") {
            if (inputs.empty()) {
                std::fprintf(stderr, "vanto-convert engine: -iopt before any -i\n");
                return kExitUsage;
            }
            inputs.back().Options = value;
        } else if (a == "-o") {
            if (haveOutput) {
                std::fprintf(stderr, "vanto-convert engine: only one -o\n");
                return kExitUsage;
            }
            output.Name = value;
            haveOutput = true;
        } else if (a == "-oopt") {
            if (!haveOutput) {
                std::fprintf(stderr, "vanto-convert engine: -oopt before -o\n");
                return kExitUsage;
            }
            output.Options = value;
        } else if (a == "--threads") {
            char* end = nullptr;
            const long n = std::strtol(value.c_str(), &end, 10);
            if (value.empty() || *end || n < 1 || n > 64) {
                std::fprintf(stderr, "vanto-convert engine: --threads takes a number from 1 to 64\n");
                return kExitUsage;
            }
            threads = static_cast<int>(n);
        } else if (a == "--interval") {
            char* end = nullptr;
            const long n = std::strtol(value.c_str(), &end, 10);
            if (value.empty() || *end || n < 1 || n > 3600000) {
                std::fprintf(stderr, "vanto-convert engine: --interval takes milliseconds\n");
                return kExitUsage;
            }
            interval = static_cast<int>(n);
        } else {
            logLevel = value;
        }
    }
    if (inputs.empty() || !haveOutput) {
        std::fprintf(stderr,
                     "vanto-convert engine: an input (-i) and an output (-o) are needed "
                     "(see vanto-convert engine --help)\n");
        return kExitUsage;
    }

    TFFLogger& logger = GetFFLogger();
    try {
        logger.OptLogLevel(logLevel);
    } catch (const std::invalid_argument& e) {
        std::fprintf(stderr, "vanto-convert engine: --loglevel: %s\n", e.what());
        return kExitUsage;
    }
    logger.SetTriggerEventInMainThread(false);
    logger.SetOnLog([](const void*, uint32_t, TLogLevel, const std::string& message) {
        std::fprintf(stderr, "%s\n", message.c_str());
    });

    TFFmpegTasks tasks;
    if (!tasks.LoadAVLib(EngineProgramFolder() + "/lib")) {
        std::fprintf(stderr, "%s\n", tasks.LastErrMsg().c_str());
        return kExitFailed;
    }
    tasks.SetThreadCount(threads);
    const int task = tasks.AddTask(inputs[0].Name, inputs[0].Options);
    if (task < 0) {
        std::fprintf(stderr, "%s\n", tasks.LastErrMsg().c_str());
        return kExitFailed;
    }
    for (size_t i = 1; i < inputs.size(); ++i) {
        if (!tasks.AddInputFile(task, inputs[i].Name, inputs[i].Options)) {
            std::fprintf(stderr, "%s\n", tasks.LastErrMsg().c_str());
            return kExitFailed;
        }
    }
    if (!tasks.SetOutputFile(task, output.Name, output.Options)) {
        std::fprintf(stderr, "%s\n", tasks.LastErrMsg().c_str());
        return kExitFailed;
    }
    std::puts("ready");
    std::fflush(stdout);

    // The run: progress lines from the conversion thread, the result from the terminate thread.
    const bool terminal = ::isatty(STDERR_FILENO);
    tasks.SetProgressInterval(interval);
    tasks.SetTriggerEventInMainThread(false);
    tasks.OnProgress = [terminal](TCustomFFmpegTasks*, const TProgressInfo* p) {
        std::string line = FormatText("frame=%5d fps=%3d q=%3.1f size=%8.0fkB time=%s bitrate=%6.1fkbits/s",
                                      p->FrameNumber, p->FPS, p->Quality, p->CurrentSize / 1024.0,
                                      TimeText(p->CurrentDuration).c_str(), p->BitRate);
        if (p->TotalDuration > 0)
            line += FormatText(" %3d%%", static_cast<int>(p->CurrentDuration * 100 / p->TotalDuration));
        std::fprintf(stderr, terminal ? "%s\r" : "%s\n", line.c_str());
    };
    std::mutex resultLock;
    TTerminateInfo result;
    std::atomic<bool> done{false};
    tasks.OnTerminate = [&](TCustomFFmpegTasks*, const TTerminateInfo& info) {
        if (info.TaskIndex >= 0) {
            std::lock_guard<std::mutex> lock(resultLock);
            result = info;
        } else {
            done = true;
        }
    };
    struct sigaction action {};
    action.sa_handler = &OnInterrupt;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);

    tasks.Start(1);
    bool stopped = false;
    while (!done.load()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (g_interrupted && !stopped) {
            stopped = true;
            tasks.Stop(false);
        }
    }
    tasks.Stop(true);
    if (terminal) std::fputc('\n', stderr);

    std::lock_guard<std::mutex> lock(resultLock);
    if (result.Exception) {
        std::fprintf(stderr, "%s\n", result.ExceptionMsg.c_str());
        return kExitFailed;
    }
    if (!result.Finished) {
        std::fprintf(stderr, "vanto-convert engine: stopped\n");
        return kExitFailed;
    }
    return kExitOk;
}

}  // namespace

TCliCommand EngineCommand() {
    return {"engine", "set up (and run) one conversion task of the media engine", &PrintHelp, &Run};
}
