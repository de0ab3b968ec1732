#include "engine/library/FFmpegLogger.h"

#include <unistd.h>

#include <strings.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "engine/library/CodecLock.h"
#include "engine/library/Dispatcher.h"
#include "engine/library/EngineTypes.h"
#include "engine/library/FFmpegApi.h"

namespace {

std::atomic<int> g_libLevel{AV_LOG_INFO};
std::atomic<TFFLogger*> g_logger{nullptr};
std::mutex g_loggerMutex;
std::unique_ptr<TFFLogger> g_ownedLogger;

std::string VFormat(const char* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    char small[512];
    const int n = std::vsnprintf(small, sizeof small, format, copy);
    va_end(copy);
    if (n < 0) return {};
    if (static_cast<size_t>(n) < sizeof small) return std::string(small, static_cast<size_t>(n));
    std::string out(static_cast<size_t>(n) + 1, '\0');
    std::vsnprintf(out.data(), out.size(), format, args);
    out.resize(static_cast<size_t>(n));
    return out;
}

}  // namespace

TLogLevel LibLevelToLogLevel(int libLevel) {
    if (libLevel < AV_LOG_QUIET) return TLogLevel::llQuiet;
    if (libLevel >= AV_LOG_DEBUG) return TLogLevel::llDebug;
    return static_cast<TLogLevel>(libLevel / 8 + 1);  // C++ division truncates toward zero
}

int LogLevelToLibLevel(TLogLevel level) {
    return static_cast<int>(level) * 8 - 8;
}

uint32_t CurrentThreadId() {
    thread_local const uint32_t id = static_cast<uint32_t>(::gettid());
    return id;
}

int LibLogLevel() {
    return g_libLevel.load();
}

// ---- TLogList

std::vector<std::string> TLogList::Append(uint32_t threadId, const std::string& text) {
    std::vector<std::string> lines;
    std::lock_guard<std::mutex> lock(lock_);
    std::string& pending = pending_[threadId];
    pending += text;
    size_t start = 0;
    for (size_t nl = pending.find('\n'); nl != std::string::npos; nl = pending.find('\n', start)) {
        lines.emplace_back(pending, start, nl - start);
        start = nl + 1;
    }
    if (start == pending.size())
        pending_.erase(threadId);  // nothing left: forget the thread
    else if (start > 0)
        pending.erase(0, start);
    return lines;
}

bool TLogList::PendingEmpty(uint32_t threadId) {
    std::lock_guard<std::mutex> lock(lock_);
    auto it = pending_.find(threadId);
    return it == pending_.end() || it->second.empty();
}

void TLogList::Drop(uint32_t threadId) {
    std::lock_guard<std::mutex> lock(lock_);
    pending_.erase(threadId);
}

void TLogList::Clear() {
    std::lock_guard<std::mutex> lock(lock_);
    pending_.clear();
}

TLogList& LogList() {
    static TLogList list;
    return list;
}

// ---- TFFLogger

TFFLogger::TFFLogger() : logLevel_(LibLevelToLogLevel(g_libLevel.load())) {
    TFFLogger* expected = nullptr;
    if (!g_logger.compare_exchange_strong(expected, this))
        throw EEngineAssertion("Allow creating only one instance of TFFLogger.", "FFmpegLogger");
}

TFFLogger::~TFFLogger() {
    TFFLogger* expected = this;
    g_logger.compare_exchange_strong(expected, nullptr);
}

void TFFLogger::SetLogLevel(TLogLevel level) {
    logLevel_.store(level);
    g_libLevel.store(LogLevelToLibLevel(level));
    if (ff::av_log_set_level) ff::av_log_set_level(LogLevelToLibLevel(level));
}

void TFFLogger::InstallAVLogCallback() {
    if (!ff::av_log_set_callback) throw EEngineAssertion("av_log_set_callback not loaded.", "FFmpegLogger");
    if (!ff::av_log_set_level) throw EEngineAssertion("av_log_set_level not loaded.", "FFmpegLogger");
    ff::av_log_set_callback(&TFFLogger::AVLogCallback);
    SetLogLevel(LogLevel());
}

void TFFLogger::OptLogLevel(const std::string& arg) {
    static const struct {
        const char* name;
        int level;
    } kNames[] = {{"quiet", AV_LOG_QUIET},     {"panic", AV_LOG_PANIC},     {"fatal", AV_LOG_FATAL},
                  {"error", AV_LOG_ERROR},     {"warning", AV_LOG_WARNING}, {"info", AV_LOG_INFO},
                  {"verbose", AV_LOG_VERBOSE}, {"debug", AV_LOG_DEBUG}};
    for (const auto& n : kNames) {
        if (strcasecmp(arg.c_str(), n.name) == 0) {
            SetLogLevel(LibLevelToLogLevel(n.level));
            return;
        }
    }
    errno = 0;
    char* end = nullptr;
    const long value = std::strtol(arg.c_str(), &end, 10);
    if (arg.empty() || end == arg.c_str() || *end != '\0' || errno == ERANGE || value < INT32_MIN ||
        value > INT32_MAX)
        throw std::invalid_argument("'" + arg + "' is not a valid integer value");
    SetLogLevel(LibLevelToLogLevel(static_cast<int>(value)));
}

bool TFFLogger::Passes(TLogLevel level) const {
    const TLogLevel current = LogLevel();
    return level <= current || (level == TLogLevel::llVerbose && current != TLogLevel::llQuiet);
}

TLogEvent TFFLogger::OnLog() const {
    std::lock_guard<std::mutex> lock(onLogLock_);
    return onLog_;
}

void TFFLogger::SetOnLog(TLogEvent handler) {
    std::lock_guard<std::mutex> lock(onLogLock_);
    onLog_ = std::move(handler);
    hasOnLog_.store(static_cast<bool>(onLog_));
}

void TFFLogger::Log(const void* sender, TLogLevel level, const std::string& message) {
    if (!HasOnLog() || !Passes(level)) return;
    Raise(TLogInfo{sender, CurrentThreadId(), level, message});
}

std::string FormatText(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string out = VFormat(format, args);
    va_end(args);
    return out;
}

namespace {

// The lines of this thread raised while it held the codec lock.
struct THeldLines {
    std::vector<TLogInfo> lines;
    // The thread's partial library line is forgotten when the thread ends.
    ~THeldLines() { LogList().Drop(CurrentThreadId()); }
};
thread_local THeldLines tl_held;

}  // namespace

void DeliverHeldLogLines() {
    if (tl_held.lines.empty()) return;
    std::vector<TLogInfo> lines;
    lines.swap(tl_held.lines);
    TFFLogger* logger = g_logger.load();
    if (!logger) return;
    for (const TLogInfo& info : lines)
        logger->Raise(info);
}

void TFFLogger::Raise(const TLogInfo& info) {
    if (!HasOnLog()) return;
    const bool toMainThread = TriggerEventInMainThread() && !GetDispatcher().isMainThread();
    if (toMainThread && TCodecLock::HeldByThisThread()) {
        tl_held.lines.push_back(info);
        return;
    }
    TLogEvent handler = OnLog();
    if (!handler) return;
    if (toMainThread) {
        // Each event carries its own copy of the arguments, so events of several threads
        // waiting for the main thread at once cannot overwrite one another.
        GetDispatcher().send(
            [handler, info] { handler(info.Sender, info.ThreadID, info.LogLevel, info.LogMsg); });
    } else {
        handler(info.Sender, info.ThreadID, info.LogLevel, info.LogMsg);
    }
}

void TFFLogger::AVLogCallback(void* avcl, int level, const char* fmt, va_list args) {
    if (level >= 0) level &= 0xff;  // the upper bits carry colour hints
    if (level > g_libLevel.load()) return;
    TFFLogger* logger = g_logger.load();
    if (!logger || !fmt) return;

    const uint32_t threadId = CurrentThreadId();
    std::string text;
    if (avcl && LogList().PendingEmpty(threadId)) {
        const AVClass* cls = *static_cast<const AVClass* const*>(avcl);
        if (cls) {
            const char* name = cls->item_name ? cls->item_name(avcl) : cls->class_name;
            text = FormatText("[%s @ %p]", name ? name : "", avcl);
        }
    }
    text += VFormat(fmt, args);
    const std::vector<std::string> lines = LogList().Append(threadId, text);
    // A part of a line left pending is forgotten when this thread ends.
    if (!LogList().PendingEmpty(threadId)) static_cast<void>(tl_held.lines.capacity());
    const TLogLevel logLevel = LibLevelToLogLevel(level);
    // Called from inside the libraries (C code): a handler's exception must not pass through.
    try {
        for (const std::string& line : lines)
            logger->Raise(TLogInfo{logger, threadId, logLevel, line});
    } catch (...) {
    }
}

TFFLogger& GetFFLogger() {
    std::lock_guard<std::mutex> lock(g_loggerMutex);
    if (TFFLogger* logger = g_logger.load()) return *logger;
    g_ownedLogger = std::make_unique<TFFLogger>();
    return *g_ownedLogger;
}
