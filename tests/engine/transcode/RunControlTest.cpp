// Running tasks: several at a time, the order of the notifications, stop, pause and resume,
// the refusals while working, progress timing, and bad inputs that must not stop the others.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <thread>

#include "engine/EngineFixtures.h"
#include "engine/EngineRun.h"
#include "common/MediaFixtures.h"
#include "engine/library/Dispatcher.h"

namespace {

using namespace enginetest;
using Clock = std::chrono::steady_clock;

// The tests play the user-interface thread: a queue dispatcher pumped while they wait.
class RunControlTest : public ::testing::Test {
protected:
    void SetUp() override {
        LoadTaskLibraries();
        InstallDispatcher(&dispatcher_);
        tasks_.SetProgressInterval(100);
        tasks_.OnTerminate = [this](TCustomFFmpegTasks*, const TTerminateInfo& info) {
            std::lock_guard<std::mutex> lock(mutex_);
            terminations_.push_back(info);
        };
    }
    void TearDown() override {
        tasks_.Stop(true);
        tasks_.ClearTasks();
        InstallDispatcher(nullptr);
    }
    int Add(const std::string& input, const std::string& output, const std::string& outputText,
            const std::string& inputText = "") {
        const int t = tasks_.AddTask(input, inputText);
        EXPECT_GE(t, 0) << tasks_.LastErrMsg();
        if (t >= 0) {
            EXPECT_TRUE(tasks_.SetOutputFile(t, output, outputText)) << tasks_.LastErrMsg();
        }
        return t;
    }
    // Pumps until the final notification (or the time runs out); returns whether it came.
    bool WaitForFinal(int seconds = 60) {
        const auto end = Clock::now() + std::chrono::seconds(seconds);
        while (Clock::now() < end) {
            dispatcher_.waitAndPump(20);
            std::lock_guard<std::mutex> lock(mutex_);
            if (!terminations_.empty() && terminations_.back().TaskIndex == -1) return true;
        }
        return false;
    }
    std::vector<TTerminateInfo> Terminations() {
        std::lock_guard<std::mutex> lock(mutex_);
        return terminations_;
    }

    QueueDispatcher dispatcher_;
    TFFmpegTasks tasks_;
    std::mutex mutex_;
    std::vector<TTerminateInfo> terminations_;
    fixtures::TempDir dir_;
};

TEST_F(RunControlTest, SixTasksFourAtATime) {
    for (int i = 0; i < 6; ++i)
        Add(VideoOnly("25"), dir_.file("t" + std::to_string(i) + ".avi"), "vcodec=mpeg4", "re=1");
    std::atomic<int> running{0}, most{0};
    tasks_.OnProgress = [&](TCustomFFmpegTasks*, const TProgressInfo*) {};
    ASSERT_TRUE(tasks_.Start(4));
    EXPECT_TRUE(tasks_.Working());
    const auto end = Clock::now() + std::chrono::seconds(60);
    bool final = false;
    while (!final && Clock::now() < end) {
        dispatcher_.waitAndPump(10);
        int now = 0;
        for (int i = 0; i < tasks_.TasksCount(); ++i)
            if (tasks_.Task(i)->Converting()) ++now;
        most = std::max(most.load(), now);
        running = now;
        const auto t = Terminations();
        final = !t.empty() && t.back().TaskIndex == -1;
    }
    ASSERT_TRUE(final);
    EXPECT_EQ(most.load(), 4);
    const auto t = Terminations();
    ASSERT_EQ(t.size(), 7u);
    std::vector<bool> seen(6, false);
    for (int i = 0; i < 6; ++i) {
        ASSERT_GE(t[i].TaskIndex, 0);
        EXPECT_TRUE(t[i].Finished);
        EXPECT_FALSE(t[i].Exception);
        seen[t[i].TaskIndex] = true;
    }
    EXPECT_EQ(std::count(seen.begin(), seen.end(), true), 6);
    EXPECT_EQ(t[6].TaskIndex, -1);
    EXPECT_TRUE(tasks_.Terminated());
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(Frames(dir_.file("t" + std::to_string(i) + ".avi")), 50);

    // After the run the list is refused until it is cleared.
    EXPECT_EQ(tasks_.AddTask(VideoOnly("25")), -1);
    EXPECT_EQ(tasks_.LastErrMsg(), "Cannot AddTask while working.");
    EXPECT_FALSE(tasks_.Start(1));
    EXPECT_EQ(tasks_.LastErrMsg(), "Cannot StartTask while working.");
    EXPECT_TRUE(tasks_.ClearTasks());
    EXPECT_FALSE(tasks_.Working());
    EXPECT_GE(tasks_.AddTask(VideoOnly("25")), 0);
}

TEST_F(RunControlTest, RefusalsWhileWorking) {
    Add(VideoOnly("25"), dir_.file("a.avi"), "vcodec=mpeg4", "re=1");
    Add(VideoOnly("25"), dir_.file("b.avi"), "vcodec=mpeg4");
    ASSERT_TRUE(tasks_.Start(1));
    EXPECT_FALSE(tasks_.ClearTasks());
    EXPECT_EQ(tasks_.LastErrMsg(), "Cannot ClearTasks while working.");
    EXPECT_FALSE(tasks_.Exchange(0, 1));
    EXPECT_EQ(tasks_.LastErrMsg(), "Cannot Exchange while working.");
    EXPECT_FALSE(tasks_.RemoveTask(1));
    EXPECT_EQ(tasks_.LastErrMsg(), "Cannot RemoveTask while working.");
    EXPECT_FALSE(tasks_.AddInputFile(0, VideoOnly("25"), ""));
    EXPECT_EQ(tasks_.LastErrMsg(), "Cannot AddInputFile while working.");
    EXPECT_FALSE(tasks_.SetOutputFile(1, dir_.file("c.avi"), ""));
    EXPECT_EQ(tasks_.LastErrMsg(), "Cannot SetOutputFile while working.");
    tasks_.Stop(true);
    EXPECT_TRUE(WaitForFinal());
}

TEST_F(RunControlTest, StopWithTasksNotStartedYet) {
    for (int i = 0; i < 3; ++i)
        Add(VideoOnly("25"), dir_.file("s" + std::to_string(i) + ".avi"), "vcodec=mpeg4", "re=1");
    ASSERT_TRUE(tasks_.Start(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    tasks_.Stop(true);
    // Stop waited for every task; the notifications may still be on their way.
    ASSERT_TRUE(WaitForFinal(10));
    const auto t = Terminations();
    ASSERT_EQ(t.size(), 4u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(t[i].Finished) << i;
        EXPECT_FALSE(t[i].Exception) << t[i].ExceptionMsg;
    }
    EXPECT_EQ(t[3].TaskIndex, -1);
    // The stopped task's file plays: the pictures up to the stop, with an index.
    const std::string stopped = dir_.file("s0.avi");
    const int frames = Frames(stopped);
    EXPECT_GT(frames, 5);
    EXPECT_LT(frames, 40);
    EXPECT_NEAR(fixtures::ProbeDuration(stopped), frames / 25.0, 0.1);
    EXPECT_EQ(fixtures::FileSize(dir_.file("s2.avi")), 0) << "never started";
}

TEST_F(RunControlTest, PauseAndResumeLoseNothing) {
    const std::string plain = dir_.file("plain.avi");
    const std::string paused = dir_.file("paused.avi");
    const std::string options = "vcodec=mpeg4<CRLF>qscale=3<CRLF>flags=+bitexact";
    ASSERT_TRUE(Convert(Avi25(), plain, options).Finished());

    Add(Avi25(), paused, options, "re=1");
    std::atomic<int> lastFrame{0};
    tasks_.OnProgress = [&](TCustomFFmpegTasks*, const TProgressInfo* p) { lastFrame = p->FrameNumber; };
    ASSERT_TRUE(tasks_.Start(1));
    const auto until = Clock::now() + std::chrono::milliseconds(700);
    while (Clock::now() < until)
        dispatcher_.waitAndPump(10);
    tasks_.Pause();
    // A paused task stops at its next packet: no progress while paused.
    for (int i = 0; i < 10; ++i)
        dispatcher_.waitAndPump(20);
    const int atPause = tasks_.Task(0)->Converting() ? lastFrame.load() : -1;
    for (int i = 0; i < 20; ++i)
        dispatcher_.waitAndPump(20);
    EXPECT_EQ(lastFrame.load(), atPause);
    EXPECT_TRUE(tasks_.Task(0)->Converting());
    tasks_.Resume();
    ASSERT_TRUE(WaitForFinal());
    EXPECT_TRUE(Terminations().front().Finished);
    EXPECT_EQ(FrameChecksums(paused), FrameChecksums(plain));
    EXPECT_EQ(FrameChecksums(paused, "a:0"), FrameChecksums(plain, "a:0"));
}

TEST_F(RunControlTest, ProgressEveryInterval) {
    Add(VideoOnly("25"), dir_.file("p.avi"), "vcodec=mpeg4", "re=1");
    std::vector<Clock::time_point> times;
    std::vector<TProgressInfo> reports;
    tasks_.OnProgress = [&](TCustomFFmpegTasks* sender, const TProgressInfo* p) {
        EXPECT_TRUE(dispatcher_.isMainThread()) << "delivered on the main thread";
        EXPECT_EQ(sender, &tasks_);
        times.push_back(Clock::now());
        reports.push_back(*p);
    };
    const auto start = Clock::now();
    ASSERT_TRUE(tasks_.Start(1));
    ASSERT_TRUE(WaitForFinal());
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    ASSERT_GE(seconds, 1.8);  // read at the clip's own pace
    const double perSecond = reports.size() / seconds;
    EXPECT_GT(perSecond, 7.0);
    EXPECT_LT(perSecond, 11.5);
    for (size_t i = 1; i + 1 < times.size(); ++i)
        EXPECT_GE(std::chrono::duration<double>(times[i] - times[i - 1]).count(), 0.09);
    EXPECT_EQ(reports.back().FrameNumber, 50);
    EXPECT_EQ(reports.back().TaskIndex, 0);
    for (size_t i = 1; i < reports.size(); ++i)
        EXPECT_GE(reports[i].CurrentDuration, reports[i - 1].CurrentDuration);
}

TEST_F(RunControlTest, StartZeroRunsEverythingBeforeReturning) {
    Add(VideoOnly("25"), dir_.file("z0.avi"), "vcodec=mpeg4");
    Add(VideoOnly("30"), dir_.file("z1.avi"), "vcodec=mpeg4");
    ASSERT_TRUE(tasks_.Start(0));
    const auto t = Terminations();
    ASSERT_EQ(t.size(), 3u);
    EXPECT_EQ(t[0].TaskIndex, 0);
    EXPECT_EQ(t[1].TaskIndex, 1);
    EXPECT_EQ(t[2].TaskIndex, -1);
    EXPECT_TRUE(tasks_.Terminated());
    EXPECT_EQ(Frames(dir_.file("z1.avi")), 60);
}

TEST_F(RunControlTest, CopyWithACustomHookIsRefusedBeforeReading) {
    const std::string out = dir_.file("hook.mkv");
    Add(InfoMp4(), out, "vcodec=copy<CRLF>Hook");
    tasks_.OnCustomHook = [](TCustomFFmpegTasks*, THookInfo*) { ADD_FAILURE() << "no picture is decoded"; };
    ASSERT_TRUE(tasks_.Start(0));
    const auto t = Terminations();
    ASSERT_EQ(t.size(), 2u);
    EXPECT_TRUE(t[0].Exception);
    EXPECT_FALSE(t[0].Finished);
    EXPECT_EQ(t[0].ExceptionMsg, "-vcodec copy and CustomHook are incompatible (frames are not decoded)");
    EXPECT_EQ(fixtures::FileSize(out), 0) << "not even a header";
}

TEST_F(RunControlTest, BadInputsFailAloneAndNothingHangs) {
    // A truncated file (its index says more than there is), an encoder refusing its
    // parameters, and a good task between them.
    const std::string whole = fixtures::ReadFile(Avi25());
    const std::string truncated = dir_.file("truncated.avi");
    fixtures::WriteFile(truncated, whole.substr(0, whole.size() / 2));
    Add(truncated, dir_.file("from-truncated.mkv"), "vcodec=mpeg4<CRLF>acodec=libvorbis");
    Add(Avi25(), dir_.file("refused.mkv"), "vcodec=libx264<CRLF>pix_fmt=yuv444p<CRLF>profile=baseline");
    Add(Avi25(), dir_.file("good.mkv"), "vcodec=mpeg4<CRLF>acodec=libvorbis");
    ASSERT_TRUE(tasks_.Start(2));
    ASSERT_TRUE(WaitForFinal());
    auto t = Terminations();
    ASSERT_EQ(t.size(), 4u);
    std::map<int, TTerminateInfo> byTask;
    for (const TTerminateInfo& info : t)
        byTask[info.TaskIndex] = info;
    // The truncated file converts what it has.
    EXPECT_TRUE(byTask[0].Finished);
    const double d = fixtures::ProbeDuration(dir_.file("from-truncated.mkv"));
    EXPECT_GT(d, 0.3);
    EXPECT_LT(d, 1.6);
    EXPECT_TRUE(byTask[1].Exception);
    EXPECT_EQ(
        byTask[1].ExceptionMsg,
        "Error while opening encoder for output stream #0.0 (video) - maybe incorrect parameters such as "
        "bit_rate, rate, width or height. Please check error log message to find out more detail "
        "information.");
    EXPECT_TRUE(byTask[2].Finished);
    EXPECT_EQ(Frames(dir_.file("good.mkv")), 50);
}

TEST_F(RunControlTest, CorruptAudioInTheMiddle) {
    // MP2 audio in MPEG-TS with a run of garbage in the middle of the file.
    std::string data = fixtures::ReadFile(
        fixtures::Clip("engine-corrupt-src.ts", 3, 160, 120, 25, "-c:v mpeg2video -c:a mp2 -b:a 128k"));
    for (size_t i = data.size() / 2; i < data.size() / 2 + 20000 && i < data.size(); i += 188)
        for (size_t k = 4; k < 188 && i + k < data.size(); ++k)
            data[i + k] = static_cast<char>((i * 31 + k * 7) & 0xff);
    const std::string corrupt = dir_.file("corrupt.ts");
    fixtures::WriteFile(corrupt, data);
    LogCapture log(TLogLevel::llVerbose);
    Add(corrupt, dir_.file("skipped.mkv"), "vcodec=mpeg4<CRLF>acodec=libvorbis");
    Add(corrupt, dir_.file("strict.mkv"), "vcodec=mpeg4<CRLF>acodec=libvorbis<CRLF>xerror=1");
    ASSERT_TRUE(tasks_.Start(0));
    const auto t = Terminations();
    ASSERT_EQ(t.size(), 3u);
    EXPECT_TRUE(t[0].Finished) << t[0].ExceptionMsg;
    EXPECT_NEAR(fixtures::ProbeDuration(dir_.file("skipped.mkv")), 3.0, 0.3);
    EXPECT_TRUE(t[1].Exception);
    EXPECT_EQ(t[1].ExceptionMsg.rfind("Error while decoding stream #0.", 0), 0u) << t[1].ExceptionMsg;
    EXPECT_TRUE(log.Contains("Error while decoding stream #0."));
}

}  // namespace
