// The log bridge: level arithmetic, filtering, per-thread pending lines, delivery thread.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "engine/EngineFixtures.h"
#include "engine/library/Dispatcher.h"
#include "engine/library/FFmpegApi.h"
#include "engine/library/FFmpegLoader.h"
#include "engine/library/FFmpegLogger.h"

using enginetest::LogCapture;

namespace {

TEST(FFLoggerLevels, LibraryLevelsMapOntoLogLevelsAndBack) {
    const struct {
        int lib;
        TLogLevel level;
    } cases[] = {{-8, TLogLevel::llQuiet},   {0, TLogLevel::llPanic},    {8, TLogLevel::llFatal},
                 {16, TLogLevel::llError},   {24, TLogLevel::llWarning}, {32, TLogLevel::llInfo},
                 {40, TLogLevel::llVerbose}, {48, TLogLevel::llDebug}};
    for (const auto& c : cases) {
        EXPECT_EQ(LibLevelToLogLevel(c.lib), c.level) << c.lib;
        EXPECT_EQ(LogLevelToLibLevel(c.level), c.lib) << c.lib;
    }
    // Between the named levels: division toward zero, plus one; clamped at both ends.
    EXPECT_EQ(LibLevelToLogLevel(20), TLogLevel::llError);
    EXPECT_EQ(LibLevelToLogLevel(31), TLogLevel::llWarning);
    EXPECT_EQ(LibLevelToLogLevel(-1), TLogLevel::llPanic);
    EXPECT_EQ(LibLevelToLogLevel(-7), TLogLevel::llPanic);
    EXPECT_EQ(LibLevelToLogLevel(-16), TLogLevel::llQuiet);
    EXPECT_EQ(LibLevelToLogLevel(56), TLogLevel::llDebug);  // AV_LOG_TRACE
    EXPECT_EQ(LibLevelToLogLevel(1000), TLogLevel::llDebug);
}

TEST(FFLoggerLevels, OptLogLevelTakesNamesAndNumbers) {
    TFFLogger& logger = GetFFLogger();
    const TLogLevel old = logger.LogLevel();
    logger.OptLogLevel("verbose");
    EXPECT_EQ(logger.LogLevel(), TLogLevel::llVerbose);
    logger.OptLogLevel("QUIET");
    EXPECT_EQ(logger.LogLevel(), TLogLevel::llQuiet);
    logger.OptLogLevel("20");
    EXPECT_EQ(logger.LogLevel(), TLogLevel::llError);
    logger.OptLogLevel("-8");
    EXPECT_EQ(logger.LogLevel(), TLogLevel::llQuiet);
    EXPECT_THROW(logger.OptLogLevel("loud"), std::invalid_argument);
    EXPECT_THROW(logger.OptLogLevel("12x"), std::invalid_argument);
    EXPECT_THROW(logger.OptLogLevel(""), std::invalid_argument);
    EXPECT_EQ(logger.LogLevel(), TLogLevel::llQuiet) << "a refused text changes nothing";
    logger.SetLogLevel(old);
}

TEST(FFLoggerLevels, LevelReachesTheLibraries) {
    enginetest::LoadProbeLibraries();
    TFFLogger& logger = GetFFLogger();
    const TLogLevel old = logger.LogLevel();
    logger.SetLogLevel(TLogLevel::llWarning);
    EXPECT_EQ(ff::av_log_get_level(), 24);
    logger.OptLogLevel("debug");
    EXPECT_EQ(ff::av_log_get_level(), 48);
    EXPECT_EQ(LibLogLevel(), 48);
    logger.SetLogLevel(old);
}

TEST(FFLogger, OnlyOneLoggerPerProcess) {
    GetFFLogger();
    try {
        TFFLogger second;
        FAIL() << "a second logger was created";
    } catch (const EEngineAssertion& e) {
        EXPECT_EQ(e.Message(), "Allow creating only one instance of TFFLogger.");
    }
    EXPECT_EQ(&GetFFLogger(), &GetFFLogger());
}

TEST(FFLogger, EngineMessagesPassByLevel) {
    TFFLogger& logger = GetFFLogger();
    {
        LogCapture capture(TLogLevel::llError);
        logger.Log(nullptr, TLogLevel::llError, "error passes");
        logger.Log(nullptr, TLogLevel::llFatal, "fatal passes");
        logger.Log(nullptr, TLogLevel::llWarning, "warning is dropped");
        logger.Log(nullptr, TLogLevel::llVerbose, "verbose passes unless quiet");
        logger.Log(nullptr, TLogLevel::llDebug, "debug is dropped");
        logger.Log(nullptr, TLogLevel::llError, "formatted %d/%s", 42, "x");
        EXPECT_EQ(capture.Lines(),
                  (std::vector<std::string>{"error passes", "fatal passes", "verbose passes unless quiet",
                                            "formatted 42/x"}));
    }
    {
        LogCapture capture(TLogLevel::llQuiet);
        logger.Log(nullptr, TLogLevel::llVerbose, "verbose");
        logger.Log(nullptr, TLogLevel::llQuiet, "always");
        EXPECT_EQ(capture.Lines(), (std::vector<std::string>{"always"}));
    }
}

TEST(FFLogger, SenderAndThreadReachTheHandler) {
    TFFLogger& logger = GetFFLogger();
    const void* gotSender = nullptr;
    uint32_t gotThread = 0;
    TLogLevel gotLevel = TLogLevel::llQuiet;
    logger.SetTriggerEventInMainThread(false);
    logger.SetOnLog([&](const void* sender, uint32_t thread, TLogLevel level, const std::string&) {
        gotSender = sender;
        gotThread = thread;
        gotLevel = level;
    });
    int marker = 0;
    logger.Log(&marker, TLogLevel::llPanic, "x");
    logger.SetOnLog(nullptr);
    logger.SetTriggerEventInMainThread(true);
    EXPECT_EQ(gotSender, &marker);
    EXPECT_EQ(gotThread, CurrentThreadId());
    EXPECT_EQ(gotLevel, TLogLevel::llPanic);
}

const char* FakeItemName(void*) {
    return "fake item";
}
const AVClass kFakeClass = {"FakeClass", &FakeItemName, nullptr, LIBAVUTIL_VERSION_INT};
struct FakeObject {
    const AVClass* cls = &kFakeClass;
};

TEST(FFLoggerLibraryLines, PartialLinesWaitForTheirNewline) {
    enginetest::LoadProbeLibraries();
    LogCapture capture(TLogLevel::llInfo);
    ff::av_log(nullptr, AV_LOG_INFO, "first part, ");
    ff::av_log(nullptr, AV_LOG_WARNING, "%s, ", "second part");
    EXPECT_TRUE(capture.Lines().empty()) << "delivered before the newline";
    ff::av_log(nullptr, AV_LOG_INFO, "end %d\n", 3);
    EXPECT_EQ(capture.Lines(), (std::vector<std::string>{"first part, second part, end 3"}));

    ff::av_log(nullptr, AV_LOG_INFO, "a\nb\nc");
    EXPECT_EQ(capture.Lines().size(), 3u);
    ff::av_log(nullptr, AV_LOG_DEBUG, "dropped: above the library level\n");
    ff::av_log(nullptr, AV_LOG_INFO, "\n");
    const std::vector<std::string> lines = capture.Lines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[1], "a");
    EXPECT_EQ(lines[2], "b");
    EXPECT_EQ(lines[3], "c");
}

TEST(FFLoggerLibraryLines, ObjectNameStartsANewLineOnly) {
    enginetest::LoadProbeLibraries();
    LogCapture capture(TLogLevel::llInfo);
    FakeObject object;
    ff::av_log(&object, AV_LOG_ERROR, "opened ");
    ff::av_log(&object, AV_LOG_ERROR, "twice\n");
    char expected[64];
    std::snprintf(expected, sizeof expected, "[fake item @ %p]opened twice", static_cast<void*>(&object));
    EXPECT_EQ(capture.Lines(), (std::vector<std::string>{expected}));
}

TEST(FFLoggerLibraryLines, LinesOfTwoThreadsNeverMix) {
    enginetest::LoadProbeLibraries();
    LogCapture capture(TLogLevel::llInfo, /*triggerInMainThread=*/false);
    constexpr int kLines = 400;
    auto worker = [](char name) {
        for (int i = 0; i < kLines; ++i) {
            ff::av_log(nullptr, AV_LOG_INFO, "%c%d-", name, i);
            std::this_thread::yield();
            ff::av_log(nullptr, AV_LOG_INFO, "middle-");
            ff::av_log(nullptr, AV_LOG_INFO, "%c\n", name);
        }
    };
    std::thread a(worker, 'A');
    std::thread b(worker, 'B');
    a.join();
    b.join();
    const std::vector<std::string> lines = capture.Lines();
    ASSERT_EQ(lines.size(), 2u * kLines);
    int next[2] = {0, 0};
    for (const std::string& line : lines) {
        ASSERT_FALSE(line.empty());
        const char name = line[0];
        ASSERT_TRUE(name == 'A' || name == 'B') << line;
        int& n = next[name - 'A'];
        EXPECT_EQ(line, std::string(1, name) + std::to_string(n) + "-middle-" + name);
        ++n;
    }
    EXPECT_EQ(next[0], kLines);
    EXPECT_EQ(next[1], kLines);
}

TEST(FFLoggerLibraryLines, WorkerLinesRunOnTheMainThreadWhenAsked) {
    enginetest::LoadProbeLibraries();
    QueueDispatcher dispatcher;  // this thread is the main thread
    InstallDispatcher(&dispatcher);
    TFFLogger& logger = GetFFLogger();
    logger.SetTriggerEventInMainThread(true);
    logger.SetLogLevel(TLogLevel::llInfo);
    std::vector<std::string> lines;
    std::vector<bool> onMain;
    logger.SetOnLog([&](const void*, uint32_t, TLogLevel, const std::string& message) {
        lines.push_back(message);
        onMain.push_back(dispatcher.isMainThread());
    });
    std::atomic<bool> done{false};
    std::thread worker([&] {
        ff::av_log(nullptr, AV_LOG_WARNING, "from the worker\n");
        logger.Log(nullptr, TLogLevel::llError, "engine message");
        done = true;
    });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done && std::chrono::steady_clock::now() < deadline)
        dispatcher.waitAndPump(20);
    worker.join();
    logger.Log(nullptr, TLogLevel::llError, "on main");
    logger.SetOnLog(nullptr);
    InstallDispatcher(nullptr);
    EXPECT_EQ(lines, (std::vector<std::string>{"from the worker", "engine message", "on main"}));
    EXPECT_EQ(onMain, (std::vector<bool>{true, true, true}));
}

}  // namespace
