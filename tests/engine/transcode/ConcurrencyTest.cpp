// Threads meeting in the engine: destroying the component while its tasks end, stopping from a
// handler, exceptions through the dispatcher, the log bridge under concurrent use and under
// the codec lock, and unloading libraries in use. Hangs end the process after a time limit.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <thread>

#include "engine/EngineFixtures.h"
#include "common/MediaFixtures.h"
#include "engine/probe/AVProbe.h"
#include "engine/library/CodecLock.h"
#include "engine/library/Dispatcher.h"
#include "engine/transcode/FFmpeg.h"
#include "engine/library/FFmpegLoader.h"
#include "engine/transcode/FFmpegTasks.h"

namespace {

using namespace enginetest;
using Clock = std::chrono::steady_clock;

// Ends the process when the test body has not finished in time (a deadlock cannot be left
// behind as a failure: the blocked threads would keep the process alive).
class Watchdog {
public:
    explicit Watchdog(int seconds, const char* what) : what_(what) {
        thread_ = std::thread([this, seconds] {
            std::unique_lock<std::mutex> lock(mutex_);
            if (!cv_.wait_for(lock, std::chrono::seconds(seconds), [this] { return done_; })) {
                std::fprintf(stderr, "HUNG: %s\n", what_);
                std::_Exit(3);
            }
        });
    }
    ~Watchdog() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            done_ = true;
        }
        cv_.notify_all();
        thread_.join();
    }

private:
    const char* what_;
    std::mutex mutex_;
    std::condition_variable cv_;
    bool done_ = false;
    std::thread thread_;
};

class ConcurrencyTest : public ::testing::Test {
protected:
    void SetUp() override {
        LoadTaskLibraries();
        InstallDispatcher(&dispatcher_);
    }
    void TearDown() override { InstallDispatcher(nullptr); }
    std::string Out(const std::string& name) { return dir_.file(name); }

    QueueDispatcher dispatcher_;
    fixtures::TempDir dir_;
};

TEST_F(ConcurrencyTest, DestroyingTheComponentWhileTasksEnd) {
    Watchdog watchdog(240, "destroying the component while tasks end");
    const std::string input = InfoWav();
    std::atomic<int> reported{0};
    for (int i = 0; i < 200; ++i) {
        auto tasks = std::make_unique<TFFmpegTasks>();
        tasks->OnTerminate = [&reported](TCustomFFmpegTasks*, const TTerminateInfo&) { ++reported; };
        for (int t = 0; t < 2; ++t) {
            const int index = tasks->AddTask(input, "");
            ASSERT_GE(index, 0) << tasks->LastErrMsg();
            ASSERT_TRUE(tasks->SetOutputFile(index, Out("end" + std::to_string(t) + ".wav"), "t=0.05"));
            // Every fifth round a conversion thread is held up right after its task shows as
            // ended, longer than the destructor's wait takes to notice: the component must still
            // wait for the report of that end.
            if (i % 5 == 0) {
                TFFmpeg* task = tasks->Task(index);
                task->FOnTerminate = [report = task->FOnTerminate](TFFmpeg& ended) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(30));
                    report(ended);
                };
            }
        }
        ASSERT_TRUE(tasks->Start(2));
        // Destruction lands anywhere from before the tasks run to after they have ended.
        std::this_thread::sleep_for(std::chrono::microseconds((i % 20) * 250));
        tasks.reset();
    }
    EXPECT_GE(reported.load(), 200);
}

TEST_F(ConcurrencyTest, StopWithWaitFromAHandlerDoesNotWaitForItself) {
    Watchdog watchdog(120, "Stop(true) from a handler");
    const std::string input = Avi25();
    // Start(0): the handler runs on the thread that runs the task.
    {
        TFFmpegTasks tasks;
        tasks.SetProgressInterval(100);
        bool stopped = false;
        tasks.OnProgress = [&](TCustomFFmpegTasks* sender, const TProgressInfo*) {
            if (stopped) return;
            stopped = true;
            sender->Stop(true);
        };
        TTerminateInfo result{};
        tasks.OnTerminate = [&](TCustomFFmpegTasks*, const TTerminateInfo& info) {
            if (info.TaskIndex == 0) result = info;
        };
        const int t = tasks.AddTask(input, "");
        ASSERT_TRUE(tasks.SetOutputFile(t, Out("stop0.avi"), "vcodec=mpeg4<CRLF>re=1"));
        ASSERT_TRUE(tasks.Start(0));
        EXPECT_TRUE(stopped);
        EXPECT_FALSE(result.Finished);
    }
    // Thread mode with events on the conversion thread.
    {
        TFFmpegTasks tasks;
        tasks.SetProgressInterval(100);
        tasks.SetTriggerEventInMainThread(false);
        std::atomic<bool> stopped{false};
        tasks.OnProgress = [&](TCustomFFmpegTasks* sender, const TProgressInfo*) {
            if (!stopped.exchange(true)) sender->Stop(true);
        };
        std::atomic<bool> final{false};
        tasks.OnTerminate = [&](TCustomFFmpegTasks*, const TTerminateInfo& info) {
            if (info.TaskIndex == -1) final = true;
        };
        const int t = tasks.AddTask(input, "");
        ASSERT_TRUE(tasks.SetOutputFile(t, Out("stop1.avi"), "vcodec=mpeg4<CRLF>re=1"));
        ASSERT_TRUE(tasks.Start(1));
        const auto end = Clock::now() + std::chrono::seconds(30);
        while (!final && Clock::now() < end)
            dispatcher_.waitAndPump(20);
        EXPECT_TRUE(stopped);
        EXPECT_TRUE(final);
    }
}

TEST_F(ConcurrencyTest, AnExceptionInSendReachesTheWaitingThread) {
    Watchdog watchdog(30, "a throwing send");
    std::string caught;
    bool secondRan = false;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        try {
            GetDispatcher().send([] { throw std::runtime_error("handler failed"); });
        } catch (const std::runtime_error& e) {
            caught = e.what();
        }
        GetDispatcher().send([&] { secondRan = true; });
        done = true;
    });
    while (!done)
        EXPECT_NO_THROW(dispatcher_.waitAndPump(20));
    worker.join();
    EXPECT_EQ(caught, "handler failed");
    EXPECT_TRUE(secondRan);
}

TEST_F(ConcurrencyTest, LogHandlerReplacedWhileThreadsLog) {
    TFFLogger& logger = GetFFLogger();
    const TLogEvent old = logger.OnLog();
    const TLogLevel oldLevel = logger.LogLevel();
    const bool oldTrigger = logger.TriggerEventInMainThread();
    logger.SetLogLevel(TLogLevel::llInfo);
    logger.SetTriggerEventInMainThread(false);
    std::atomic<int> first{0}, second{0};
    // Handlers big enough to live on the heap: one freed by a swap while a thread still copies
    // or calls it is a use-after-free AddressSanitizer sees, not only a race.
    const std::array<char, 256> ballast{};
    auto counting = [&ballast](std::atomic<int>& count) -> TLogEvent {
        return [&count, ballast](const void*, uint32_t, TLogLevel, const std::string&) {
            count += 1 + ballast[0];
        };
    };
    logger.SetOnLog(counting(first));
    constexpr int kThreads = 4, kLines = 20000;
    std::atomic<bool> go{false};
    std::atomic<int> running{kThreads};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&] {
            while (!go)
                std::this_thread::yield();
            for (int i = 0; i < kLines; ++i)
                logger.Log(nullptr, TLogLevel::llInfo, "line %d", i);
            --running;
        });
    go = true;
    // The handler is replaced for as long as the threads log.
    for (int i = 0; running > 0 || i < 1000; ++i)
        logger.SetOnLog(counting(i % 2 ? first : second));
    for (auto& t : threads)
        t.join();
    logger.SetOnLog(old);
    logger.SetLogLevel(oldLevel);
    logger.SetTriggerEventInMainThread(oldTrigger);
    EXPECT_EQ(first + second, kThreads * kLines);
}

TEST_F(ConcurrencyTest, LinesLoggedUnderTheCodecLockWaitForItsRelease) {
    Watchdog watchdog(30, "a log line under the codec lock");
    TFFLogger& logger = GetFFLogger();
    const TLogEvent old = logger.OnLog();
    const bool oldTrigger = logger.TriggerEventInMainThread();
    logger.SetTriggerEventInMainThread(true);
    std::vector<std::string> delivered;
    bool onMainThread = true;
    logger.SetOnLog([&](const void*, uint32_t, TLogLevel, const std::string& message) {
        delivered.push_back(message);
        onMainThread = onMainThread && GetDispatcher().isMainThread();
    });
    std::atomic<bool> held{false}, done{false};
    std::thread worker([&] {
        {
            TCodecLock lock;
            held = true;
            logger.Log(nullptr, TLogLevel::llError, "opened under the lock");
            logger.Log(nullptr, TLogLevel::llError, "second line");
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        done = true;
    });
    while (!held)
        std::this_thread::yield();
    {
        // The user-interface thread waits for the lock without pumping its queue.
        TCodecLock lock;
        EXPECT_TRUE(delivered.empty());
    }
    while (!done)
        dispatcher_.waitAndPump(10);
    worker.join();
    logger.SetOnLog(old);
    logger.SetTriggerEventInMainThread(oldTrigger);
    EXPECT_EQ(delivered, (std::vector<std::string>{"opened under the lock", "second line"}));
    EXPECT_TRUE(onMainThread);
}

TEST_F(ConcurrencyTest, PartialLibraryLineIsForgottenWhenItsThreadEnds) {
    uint32_t threadId = 0;
    std::thread worker([&] {
        threadId = CurrentThreadId();
        ff::av_log(nullptr, AV_LOG_ERROR, "a line without its end");
        EXPECT_FALSE(LogList().PendingEmpty(threadId));
    });
    worker.join();
    EXPECT_TRUE(LogList().PendingEmpty(threadId));
}

TEST_F(ConcurrencyTest, LibrariesInUseAreNotUnloaded) {
    const int before = FFLoader().Users();
    const char* refusal = "Cannot unload the media libraries while they are in use.";
    {
        TAVProbe probe;
        ASSERT_TRUE(probe.LoadFile(InfoWav(), ""));
        EXPECT_FALSE(probe.UnloadAVLib());
        EXPECT_EQ(probe.LastErrMsg(), refusal);
        EXPECT_TRUE(FFLoader().Loaded(kProbeLibraries));
    }
    {
        TFFmpegTasks tasks;
        ASSERT_GE(tasks.AddTask(InfoWav(), ""), 0);
        EXPECT_FALSE(tasks.UnloadAVLib());
        EXPECT_EQ(tasks.LastErrMsg(), refusal);
        EXPECT_TRUE(tasks.AVLibLoaded());
    }
    EXPECT_EQ(FFLoader().Users(), before);
}

}  // namespace
