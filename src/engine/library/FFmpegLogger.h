#pragma once
// The log bridge: routes the media libraries' log output and the engine's own messages to the
// application through one OnLog hook.
//
// One logger per process. GetFFLogger() returns it, creating one on first use when the
// application has not made its own; creating a second is a programming error. The application
// keeps ownership of a logger it created and must destroy it only when no library work runs.
//
// Threads: the libraries log from any thread (conversion, player and probe threads). Each thread
// has its own pending line, so lines of different threads never mix; a part of a line without
// its newline waits until the same thread completes it. OnLog runs on the main thread through
// the Dispatcher (the calling thread waits) when TriggerEventInMainThread is true and the caller
// is another thread; otherwise it runs on the calling thread. A line raised while its thread
// holds the codec lock is held back and delivered once the thread lets go of the lock (in order),
// so the main thread never waits for a thread that waits for it. OnLog may be replaced while
// other threads log.

#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

enum class TLogLevel { llQuiet, llPanic, llFatal, llError, llWarning, llInfo, llVerbose, llDebug };

// Library level (quiet -8 .. debug 48) to TLogLevel: level div 8 (toward zero) + 1, clamped.
TLogLevel LibLevelToLogLevel(int libLevel);
// TLogLevel to library level: ordinal * 8 - 8.
int LogLevelToLibLevel(TLogLevel level);

// printf into a string, without a length limit.
std::string FormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The id of the calling thread as the log reports it (the kernel's thread id).
uint32_t CurrentThreadId();

// Arguments of one delivered line.
struct TLogInfo {
    const void* Sender = nullptr;
    uint32_t ThreadID = 0;
    TLogLevel LogLevel = TLogLevel::llInfo;
    std::string LogMsg;
};

using TLogEvent =
    std::function<void(const void* sender, uint32_t threadId, TLogLevel level, const std::string& message)>;

// The pending (not yet completed) library log line of each thread.
class TLogList {
public:
    // Appends text to the thread's pending line and returns every line it completes (without
    // the newline); the rest stays pending.
    std::vector<std::string> Append(uint32_t threadId, const std::string& text);
    // Whether the thread's pending line is empty (a new line begins).
    bool PendingEmpty(uint32_t threadId);
    // Forgets the thread's pending line (the thread ends).
    void Drop(uint32_t threadId);
    void Clear();

private:
    std::mutex lock_;
    std::map<uint32_t, std::string> pending_;
};

class TFFLogger {
public:
    TFFLogger();  // EEngineAssertion when a logger exists already
    ~TFFLogger();
    TFFLogger(const TFFLogger&) = delete;
    TFFLogger& operator=(const TFFLogger&) = delete;

    TLogLevel LogLevel() const { return logLevel_.load(); }
    // Stores the level and, when libavutil is loaded, applies it to the libraries.
    void SetLogLevel(TLogLevel level);
    bool TriggerEventInMainThread() const { return triggerInMainThread_.load(); }
    void SetTriggerEventInMainThread(bool value) { triggerInMainThread_.store(value); }
    // A copy of the handler (empty when none is set).
    TLogEvent OnLog() const;
    bool HasOnLog() const { return hasOnLog_.load(); }
    void SetOnLog(TLogEvent handler);

    // Installs the library log callback and applies LogLevel to the libraries. Needs
    // av_log_set_callback and av_log_set_level loaded (EEngineAssertion otherwise).
    void InstallAVLogCallback();
    // The argument of the "loglevel" option: a level name (any case) or a decimal library level.
    // A text that is neither throws std::invalid_argument.
    void OptLogLevel(const std::string& arg);

    // The engine's own messages. Passes when level <= LogLevel, and a verbose message whenever
    // the logger is not quiet.
    void Log(const void* sender, TLogLevel level, const std::string& message);
    template <typename... Args>
    requires(sizeof...(Args) > 0) void Log(const void* sender, TLogLevel level, const char* format,
                                           Args... args) {
        if (!HasOnLog() || !Passes(level)) return;
        Log(sender, level, FormatText(format, args...));
    }
    bool Passes(TLogLevel level) const;

    // The log callback installed into libavutil. Public so that tests can feed it directly.
    static void AVLogCallback(void* avcl, int level, const char* fmt, va_list args);

private:
    friend void DeliverHeldLogLines();
    void Raise(const TLogInfo& info);

    std::atomic<TLogLevel> logLevel_;
    std::atomic<bool> triggerInMainThread_{true};
    mutable std::mutex onLogLock_;
    TLogEvent onLog_;
    std::atomic<bool> hasOnLog_{false};
};

// Delivers the lines the calling thread raised while it held the codec lock (the lock calls
// this when the thread lets go of it).
void DeliverHeldLogLines();

// The process's logger (created without owner on first use when none exists).
TFFLogger& GetFFLogger();

// The process's list of pending library log lines.
TLogList& LogList();

// The process-wide library log level (libavutil's scale), initially 32 (info).
int LibLogLevel();
