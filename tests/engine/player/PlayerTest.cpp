// The player: its event queue, its state machine and events, the pictures it shows after seeks
// and steps, files of every kind (audio only, still image, no audio, broken, removed while
// playing), and stopping in any state.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "common/MediaFixtures.h"
#include "engine/library/Dispatcher.h"
#include "engine/EngineFixtures.h"
#include "engine/library/FFmpegLoader.h"
#include "engine/player/Player.h"
#include "engine/player/SubtitleText.h"

using namespace std::chrono_literals;

namespace {

// 160x120 at 25 fps, 4 s, H.264 lossless with B-frames, a key frame every second, and AAC sound.
// Picture n has the luma 2 * n everywhere, so the picture shown tells its own number.
std::string CounterClip() {
    return fixtures::Make(
        "player-counter.mp4",
        "-f lavfi -i color=c=black:size=160x120:rate=25:duration=4,format=yuv420p,"
        "geq=lum='2*N':cb=128:cr=128 -f lavfi -i sine=frequency=440:sample_rate=44100:duration=4 "
        "-c:v libx264 -qp 0 -g 25 -keyint_min 25 -sc_threshold 0 -bf 2 -c:a aac -shortest");
}

// Records what reaches the window: the picture number (from its luma) and time of each picture.
class RecordingSink : public TFrameSink {
public:
    void ShowFrame(const AVFrame& picture, const TSinkFrameInfo& info) override {
        std::lock_guard<std::mutex> guard(lock_);
        int luma = picture.data[0][(picture.height / 2) * picture.linesize[0] + picture.width / 2];
        if (numbers_.empty() || pts_.back() != info.PTS) {
            numbers_.push_back(luma / 2);
            pts_.push_back(info.PTS);
            std::string shown;
            if (info.Subtitle) {
                shown = info.Subtitle->Text;
                if (!info.Subtitle->Pictures.empty())
                    shown += std::to_string(info.Subtitle->Pictures.size()) + " picture";
            }
            subtitles_.push_back(shown);
        }
        aspect_ = info.AspectRatio;
    }
    void ClearFrame() override {
        std::lock_guard<std::mutex> guard(lock_);
        ++clears_;
    }
    size_t Count() {
        std::lock_guard<std::mutex> guard(lock_);
        return numbers_.size();
    }
    int LastNumber() {
        std::lock_guard<std::mutex> guard(lock_);
        return numbers_.empty() ? -1 : numbers_.back();
    }
    int64_t LastPTS() {
        std::lock_guard<std::mutex> guard(lock_);
        return pts_.empty() ? -1 : pts_.back();
    }
    // The subtitle over each picture shown ("" none, its text, or "N picture").
    std::vector<std::pair<int64_t, std::string>> Subtitles() {
        std::lock_guard<std::mutex> guard(lock_);
        std::vector<std::pair<int64_t, std::string>> out;
        for (size_t i = 0; i < pts_.size(); ++i)
            out.emplace_back(pts_[i], subtitles_[i]);
        return out;
    }
    int Clears() {
        std::lock_guard<std::mutex> guard(lock_);
        return clears_;
    }

private:
    std::mutex lock_;
    std::vector<int> numbers_;
    std::vector<int64_t> pts_;
    std::vector<std::string> subtitles_;
    double aspect_ = 0;
    int clears_ = 0;
};

// Records the player's events.
struct EventLog {
    std::mutex lock;
    std::vector<TPlayState> states;
    std::vector<int64_t> positions;
    bool offMainThread = false;

    void Connect(TCustomPlayer& player) {
        player.SetOnState([this](TCustomPlayer*, TPlayState s) {
            std::lock_guard<std::mutex> guard(lock);
            if (!GetDispatcher().isMainThread()) offMainThread = true;
            states.push_back(s);
        });
        player.SetOnPosition([this](TCustomPlayer*, int64_t pts) {
            std::lock_guard<std::mutex> guard(lock);
            if (!GetDispatcher().isMainThread()) offMainThread = true;
            positions.push_back(pts);
        });
    }
    bool Has(TPlayState s) {
        std::lock_guard<std::mutex> guard(lock);
        for (TPlayState x : states)
            if (x == s) return true;
        return false;
    }
    void Clear() {
        std::lock_guard<std::mutex> guard(lock);
        states.clear();
    }
    std::vector<TPlayState> States() {
        std::lock_guard<std::mutex> guard(lock);
        return states;
    }
};

// Pumps the main thread's dispatcher until cond holds or the time is up.
bool WaitFor(const std::function<bool()>& cond, std::chrono::milliseconds timeout = 5000ms) {
    auto end = std::chrono::steady_clock::now() + timeout;
    while (!cond()) {
        if (std::chrono::steady_clock::now() > end) return false;
        GetDispatcher().pump();
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

class PlayerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        GetDispatcher();  // the test thread is the main thread
    }
    void SetUp() override {
        FFLoader().SetLibraryPath("");
        ASSERT_TRUE(player.LoadAVLib("")) << player.LastErrMsg();
    }
    // The player goes first: its threads may still report to the sink and the log until then.
    RecordingSink sink;
    EventLog events;
    TFFPlayer player;
};

TEST(PlayEventQueue, CoalescesSameKindAndDropsOldestWhenFull) {
    TPlayEvent queue;
    for (int i = 1; i <= 100; ++i)
        queue.Push(TPlayEventKind::pekPosition, i * 1000);
    ASSERT_EQ(queue.Count(), 1);  // a flood of positions is one entry: the newest
    TPlayEventEntry e;
    ASSERT_TRUE(queue.Pop(e));
    EXPECT_EQ(e.Value, 100000);

    // Alternating kinds never coalesce; beyond ten entries the oldest go.
    for (int i = 0; i < 14; ++i)
        queue.Push(i % 2 ? TPlayEventKind::pekState : TPlayEventKind::pekPosition, i);
    ASSERT_EQ(queue.Count(), TPlayEvent::kCapacity);
    std::vector<int64_t> values;
    while (queue.Pop(e))
        values.push_back(e.Value);
    EXPECT_EQ(values, (std::vector<int64_t>{4, 5, 6, 7, 8, 9, 10, 11, 12, 13}));

    // Consecutive state changes keep only the latest; a position in between keeps both.
    queue.Push(TPlayEventKind::pekState, static_cast<int64_t>(TPlayState::psPause));
    queue.Push(TPlayEventKind::pekState, static_cast<int64_t>(TPlayState::psStop));
    ASSERT_TRUE(queue.Pop(e));
    EXPECT_EQ(static_cast<TPlayState>(e.Value), TPlayState::psStop);
    EXPECT_FALSE(queue.WaitPop(e, 10));
}

TEST_F(PlayerTest, StateMachineEventsAndPicturesAfterSeekAndStep) {
    const std::string clip = CounterClip();
    events.Connect(player);
    int64_t openedDuration = -2;
    int frameWidth = 0;
    player.SetOnFileOpen([&](TCustomPlayer*, int64_t duration, int w, int, int&, int&) {
        openedDuration = duration;
        frameWidth = w;
    });
    EXPECT_TRUE(player.Paused());  // nothing open
    EXPECT_EQ(player.AudioStreamIndex(), -1);
    ASSERT_TRUE(player.Open(clip, &sink, false)) << player.LastErrMsg();
    EXPECT_NEAR(openedDuration, 4000000, 100000);
    EXPECT_EQ(frameWidth, 160);
    EXPECT_GE(player.AudioStreamIndex(), 0);
    EXPECT_GE(player.VideoStreamIndex(), 0);
    ASSERT_TRUE(WaitFor([&] { return sink.Count() >= 10; }));
    ASSERT_TRUE(WaitFor([&] { return events.Has(TPlayState::psPlay); }));

    player.Pause();
    ASSERT_TRUE(WaitFor([&] { return events.Has(TPlayState::psPause); }));
    EXPECT_TRUE(player.Paused());
    size_t shown = sink.Count();
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(sink.Count(), shown) << "pictures went on while paused";

    player.Resume();
    ASSERT_TRUE(WaitFor([&] { return events.Has(TPlayState::psResume); }));
    ASSERT_TRUE(WaitFor([&] { return sink.Count() >= shown + 5; }));

    // Seek while paused: the picture at (or just after) the time is shown, and playing stays paused.
    player.Pause();
    ASSERT_TRUE(WaitFor([&] { return player.Paused(); }));
    player.Seek(TSeekFlags(), int64_t{2470000});
    ASSERT_TRUE(WaitFor([&] { return sink.LastNumber() == 62; })) << "shown: " << sink.LastNumber();
    EXPECT_EQ(sink.LastPTS(), 2480000);
    std::this_thread::sleep_for(150ms);
    EXPECT_EQ(sink.LastNumber(), 62);
    EXPECT_TRUE(player.Paused());
    int64_t pts = -2;
    TBitmap24 bitmap = player.CurrentFrame(pts);
    EXPECT_EQ(pts, 2480000);
    ASSERT_EQ(bitmap.Width(), 160);
    ASSERT_EQ(bitmap.Height(), 120);
    // Luma 124 of limited range is about 125 in full-range grey.
    EXPECT_NEAR(bitmap.ScanLine(60)[80 * 3 + 1], 126, 4);

    // Steps show the following pictures, one each, and stay paused.
    player.StepToNextFrame();
    ASSERT_TRUE(WaitFor([&] { return sink.LastNumber() == 63; }));
    ASSERT_TRUE(WaitFor([&] { return events.Has(TPlayState::psStep); }));
    player.StepToNextFrame();
    ASSERT_TRUE(WaitFor([&] { return sink.LastNumber() == 64; }));
    std::this_thread::sleep_for(150ms);
    EXPECT_EQ(sink.LastNumber(), 64);
    EXPECT_TRUE(player.Paused());

    // A key frame exactly: frame 75 at 3 s; a seek beyond the end goes to the end.
    player.Seek(TSeekFlags(), int64_t{3000000});
    ASSERT_TRUE(WaitFor([&] { return sink.LastNumber() == 75; })) << "shown: " << sink.LastNumber();
    player.Resume();
    player.Seek(TSeekFlags(), int64_t{60000000});
    ASSERT_TRUE(WaitFor([&] { return events.Has(TPlayState::psEnd); }));
    EXPECT_NEAR(player.CurrentPTS(), 4000000, 50000);

    player.Stop(true);
    ASSERT_TRUE(WaitFor([&] { return events.Has(TPlayState::psStop); }));
    player.Stop(true);  // twice is harmless
    EXPECT_EQ(player.VideoStreamIndex(), -1);
    EXPECT_TRUE(player.CurrentFrame().Empty());
    EXPECT_GE(sink.Clears(), 1);

    std::vector<TPlayState> states = events.States();
    std::vector<TPlayState> expected = {TPlayState::psPlay,   TPlayState::psPause, TPlayState::psResume,
                                        TPlayState::psPause,  TPlayState::psStep,  TPlayState::psStep,
                                        TPlayState::psResume, TPlayState::psEnd,   TPlayState::psStop};
    EXPECT_EQ(states, expected);
    EXPECT_FALSE(events.offMainThread) << "events raised off the main thread";
    std::lock_guard<std::mutex> guard(events.lock);
    ASSERT_GE(events.positions.size(), 5u);
    for (size_t i = 1; i < events.positions.size(); ++i) {
        EXPECT_GE(events.positions[i], 0);
        EXPECT_LE(events.positions[i], 4000000);
        EXPECT_GT(std::llabs(events.positions[i] - events.positions[i - 1]), 10000) << "at " << i;
    }
}

TEST_F(PlayerTest, FilesOfEveryKind) {
    // Audio only: the position runs on the audio clock, no picture is shown.
    events.Connect(player);
    player.SetTriggerEventInMainThread(false);
    ASSERT_TRUE(player.Open(enginetest::AudioOnlyMp2(), &sink, false)) << player.LastErrMsg();
    EXPECT_EQ(player.FrameWidth(), -1);
    EXPECT_EQ(player.VideoStreamIndex(), -1);
    EXPECT_TRUE(player.CurrentFrame().Empty());
    ASSERT_TRUE(WaitFor([&] { return player.CurrentPTS() > 300000; }));
    EXPECT_EQ(sink.Count(), 0u);
    ASSERT_TRUE(WaitFor([&] { return events.Has(TPlayState::psEnd); }));

    // A still image: duration 0, its one picture shown, then the end.
    int64_t duration = -2;
    player.SetOnFileOpen([&](TCustomPlayer*, int64_t d, int, int, int&, int&) { duration = d; });
    events.Clear();
    ASSERT_TRUE(player.Open(enginetest::StillPng(), &sink, false)) << player.LastErrMsg();
    EXPECT_EQ(duration, 0);
    ASSERT_TRUE(WaitFor([&] { return sink.Count() == 1; }));
    ASSERT_TRUE(WaitFor([&] { return events.Has(TPlayState::psEnd); }));
    EXPECT_EQ(player.CurrentFrame().Width(), 320);
    // An open file keeps the libraries loaded.
    EXPECT_FALSE(FFLoader().Unload(kPlayerLibraries));
    EXPECT_EQ(FFLoader().LastErrMsg(), "Cannot unload the media libraries while they are in use.");
    EXPECT_TRUE(player.AVLibLoaded());

    // No sound: the pictures run on the external clock.
    ASSERT_TRUE(player.Open(enginetest::GopClip("mp4"), &sink, false)) << player.LastErrMsg();
    EXPECT_EQ(player.AudioStreamIndex(), -1);
    size_t before = sink.Count();
    std::this_thread::sleep_for(500ms);
    EXPECT_GE(sink.Count(), before + 8);
    EXPECT_LE(sink.Count(), before + 16) << "pictures shown faster than their rate";

    // A broken file fails at once with a reason and leaves nothing open.
    fixtures::TempDir dir;
    fixtures::WriteFile(dir.file("broken.mp4"), std::string(4096, '\x17'));
    auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(player.Open(dir.file("broken.mp4"), &sink, false));
    EXPECT_LT(std::chrono::steady_clock::now() - started, 3s);
    EXPECT_NE(player.LastErrMsg().find("broken.mp4"), std::string::npos) << player.LastErrMsg();
    EXPECT_EQ(player.VideoStreamIndex(), -1);
    EXPECT_EQ(player.State(), TPlayState::psStop);

    // A file removed while it plays: the player stops with an error.
    std::string copy = dir.file("copy.mp4");
    ASSERT_EQ(fixtures::Run("cp " + fixtures::ShellQuote(CounterClip()) + " " + fixtures::ShellQuote(copy)),
              0);
    events.Clear();
    ASSERT_TRUE(player.Open(copy, &sink, false)) << player.LastErrMsg();
    ASSERT_TRUE(WaitFor([&] { return player.CurrentPTS() > 200000; }));
    std::remove(copy.c_str());
    ASSERT_TRUE(WaitFor([&] { return events.Has(TPlayState::psStop); }, 3000ms));
    EXPECT_FALSE(player.LastErrMsg().empty());
    EXPECT_FALSE(player.Playing());
}

TEST_F(PlayerTest, PlayRangeLoopsAndHookChangesReachTheScreen) {
    // From 1 s for 0.4 s, over and over; the hook whitens every picture it is given.
    player.set_start_time(1000000);
    player.SetPlayTime(400000);
    player.SetRepeatType(TRepeatType::rtLoop);
    std::mutex lock;
    std::vector<int64_t> hookPts;
    player.SetOnHook([&](TCustomPlayer*, TBitmap24& bitmap, int64_t pts) {
        for (int y = 0; y < bitmap.Height(); ++y)
            std::fill(bitmap.ScanLine(y), bitmap.ScanLine(y) + bitmap.Width() * 3, 255);
        std::lock_guard<std::mutex> guard(lock);
        hookPts.push_back(pts);
    });
    ASSERT_TRUE(player.Open(CounterClip(), &sink, false)) << player.LastErrMsg();
    std::this_thread::sleep_for(1500ms);
    player.Stop(true);
    std::lock_guard<std::mutex> guard(lock);
    ASSERT_GE(hookPts.size(), 10u);
    int loops = 0;
    for (size_t i = 0; i < hookPts.size(); ++i) {
        EXPECT_GE(hookPts[i], 1000000) << i;
        EXPECT_LE(hookPts[i], 1480000) << i;
        if (i > 0 && hookPts[i] < hookPts[i - 1]) ++loops;
    }
    EXPECT_GE(loops, 2);
    EXPECT_EQ(sink.LastNumber(), 235 / 2) << "the hook's white did not reach the screen";
}

TEST_F(PlayerTest, SwitchesStreamsAndRefusesWrongOnes) {
    // Video, then two sound tracks.
    const std::string clip = fixtures::Make(
        "player-twoaudio.mkv",
        "-f lavfi -i testsrc2=size=160x120:rate=25:duration=3 -f lavfi -i sine=frequency=440:duration=3 "
        "-f lavfi -i sine=frequency=880:duration=3 -map 0 -map 1 -map 2 -c:v mpeg4 -c:a mp2");
    player.SetTriggerEventInMainThread(false);
    ASSERT_TRUE(player.Open(clip, &sink, false)) << player.LastErrMsg();
    ASSERT_EQ(player.AudioStreamIndex(), 1);
    ASSERT_TRUE(WaitFor([&] { return player.CurrentPTS() > 300000; }));

    player.SetAudioStreamIndex(2);
    EXPECT_EQ(player.AudioStreamIndex(), 2);
    EXPECT_EQ(player.LastErrMsg(), "");
    player.SetAudioStreamIndex(0);  // the video stream
    EXPECT_EQ(player.LastErrMsg(), "the stream type is not matched.");
    EXPECT_EQ(player.AudioStreamIndex(), 2);
    player.SetAudioStreamIndex(7);  // beyond the streams: ignored
    EXPECT_EQ(player.AudioStreamIndex(), 2);
    player.SetSubtitleStreamIndex(-2);
    EXPECT_EQ(player.LastErrMsg(), "the stream index is not valid.");

    // Playing goes on with the new track, from where it was.
    int64_t at = player.CurrentPTS();
    ASSERT_TRUE(WaitFor([&] { return player.CurrentPTS() > at + 300000; }));
    EXPECT_LT(player.CurrentPTS(), at + 1500000);
}

TEST(SubtitleText, PlainTextOfAssEvents) {
    EXPECT_EQ(AssEventPlainText("0,0,Default,,0,0,0,,{\\i1}Hi,{\\b1} you{\\b0}\\Nnext line"),
              "Hi, you\nnext line");
    EXPECT_EQ(AssEventPlainText("Dialogue: 0,0:00:01.00,0:00:02.00,Default,,0,0,0,,a\\hb"), "a b");
    EXPECT_EQ(AssEventPlainText("0,0,Default"), "");  // no text field
}

TEST_F(PlayerTest, SubtitlesAreShownOverThePicturesOfTheirTime) {
    // Cues from 0.5 s to 1.5 s and from 2.0 s to 2.8 s, as text (srt) and as DVD pictures.
    const std::string srt = fixtures::MediaDir() + "/player-cues.srt";
    fixtures::WriteFile(srt,
                        "1\n00:00:00,500 --> 00:00:01,500\nHello <i>there</i>\n\n"
                        "2\n00:00:02,000 --> 00:00:02,800\nSecond cue\n\n");
    const std::string video = "-f lavfi -i testsrc2=size=160x120:rate=25:duration=3 ";
    const std::string text = fixtures::Make("player-srt.mkv", video + "-i " + fixtures::ShellQuote(srt) +
                                                                  " -map 0:v -map 1:s -c:v mpeg4 -c:s srt");
    const std::string dvd = enginetest::DvdSubMkv();
    ASSERT_FALSE(dvd.empty());
    const std::string pictures =
        fixtures::Make("player-dvdsub.mkv",
                       video + "-i " + fixtures::ShellQuote(dvd) + " -map 0:v -map 1:s -c:v mpeg4 -c:s copy");

    for (const auto& [clip, first, second] :
         {std::tuple{text, "Hello there", "Second cue"}, std::tuple{pictures, "1 picture", "1 picture"}}) {
        SCOPED_TRACE(clip);
        RecordingSink seen;
        ASSERT_TRUE(player.Open(clip, &seen, false)) << player.LastErrMsg();
        ASSERT_TRUE(WaitFor([&] { return seen.LastPTS() >= 2900000; }, 10000ms));
        player.Stop(true);
        int checked[3] = {};
        for (const auto& [pts, shown] : seen.Subtitles()) {
            if (pts < 400000 || (pts > 1600000 && pts < 1900000)) {
                EXPECT_EQ(shown, "") << pts;
                ++checked[0];
            } else if (pts > 600000 && pts < 1400000) {
                EXPECT_EQ(shown, first) << pts;
                ++checked[1];
            } else if (pts > 2100000 && pts < 2700000) {
                EXPECT_EQ(shown, second) << pts;
                ++checked[2];
            }
        }
        for (int n : checked)
            EXPECT_GT(n, 5);
    }
}

TEST_F(PlayerTest, StopDuringOpenAndOpenWhilePlaying) {
    // An address that accepts the connection and never answers: Open waits for it until Stop.
    int server = socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(server, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(server, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(listen(server, 4), 0);
    socklen_t len = sizeof addr;
    getsockname(server, reinterpret_cast<sockaddr*>(&addr), &len);
    std::string url = "http://127.0.0.1:" + std::to_string(ntohs(addr.sin_port)) + "/clip.mp4";

    std::atomic<bool> opened{true}, returned{false};
    std::thread opener([&] {
        opened = player.Open(url, &sink, false);
        returned = true;
    });
    std::this_thread::sleep_for(300ms);
    EXPECT_FALSE(returned.load());
    player.Stop(true);
    EXPECT_TRUE(WaitFor([&] { return returned.load(); }, 3000ms)) << "Open did not give up";
    opener.join();
    close(server);
    EXPECT_FALSE(opened.load());

    // Opening while a file plays closes the old one first.
    events.Connect(player);
    player.SetTriggerEventInMainThread(false);
    ASSERT_TRUE(player.Open(CounterClip(), &sink, false));
    ASSERT_TRUE(WaitFor([&] { return sink.Count() > 3; }));
    ASSERT_TRUE(player.Open(enginetest::GopClip("mp4"), &sink, true));
    EXPECT_EQ(player.FileName(), enginetest::GopClip("mp4"));
    ASSERT_TRUE(WaitFor([&] { return events.Has(TPlayState::psStop); }));
    ASSERT_TRUE(WaitFor([&] { return player.Paused(); }));
    player.Stop(false);
    player.Stop(false);
    player.Stop(true);
    EXPECT_FALSE(player.Playing());
}

}  // namespace
