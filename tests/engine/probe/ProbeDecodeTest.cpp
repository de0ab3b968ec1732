// Decoding single pictures: frame by frame, key frame steps both ways, previous frame, seeking
// to the start, still images, bitmaps, and use from a worker thread.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>

#include "engine/EngineFixtures.h"
#include "common/MediaFixtures.h"
#include "engine/probe/AVProbe.h"
#include "engine/library/Dispatcher.h"

namespace {

using namespace enginetest;

constexpr int64_t kSecond = 1000000;

// The clips of GopClip(): 100 frames at 25 fps, key frames at 0, 1, 2 and 3 s.
class ProbeGopTest : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override {
        LoadProbeLibraries();
        file_ = GopClip(GetParam());
        ASSERT_TRUE(probe_.LoadFile(file_)) << probe_.LastErrMsg();
    }
    int64_t Pts() const { return probe_.FrameInfo().PTS; }
    std::string file_;
    TAVProbe probe_;
};

TEST_P(ProbeGopTest, DecodesEveryFrameInOrderThenStopsAtTheEnd) {
    ASSERT_TRUE(probe_.Decode()) << probe_.LastErrMsg();
    const TFrameInfo& first = probe_.FrameInfo();
    EXPECT_EQ(first.PTS, 0);
    EXPECT_TRUE(first.IsKeyFrame);
    EXPECT_EQ(first.PictureType, TPictureType::ptI);
    EXPECT_EQ(first.Width, 320);
    EXPECT_EQ(first.Height, 240);
    EXPECT_EQ(first.StreamIndex, 0);
    EXPECT_TRUE(first.Ready);

    int frames = 1;
    int64_t last = Pts();
    while (probe_.Decode()) {
        ++frames;
        EXPECT_EQ(Pts(), last + 40000) << "frame " << frames;  // presentation order, no gaps
        last = Pts();
    }
    EXPECT_EQ(frames, fixtures::ProbeFrameCount(file_));
    EXPECT_EQ(probe_.LastErrMsg(), "stream eof reached.");
    EXPECT_FALSE(probe_.Decode());

    // Back to the start after the end was reached.
    ASSERT_TRUE(probe_.Seek(TSeekFlags(), 0)) << probe_.LastErrMsg();
    ASSERT_TRUE(probe_.Decode()) << probe_.LastErrMsg();
    EXPECT_EQ(Pts(), 0);
}

TEST_P(ProbeGopTest, StepsByKeyFrameForwardAndBack) {
    ASSERT_TRUE(probe_.Decode());
    for (int64_t want : {1 * kSecond, 2 * kSecond, 3 * kSecond}) {
        ASSERT_TRUE(probe_.DecodeNextKeyFrame()) << probe_.LastErrMsg();
        EXPECT_EQ(Pts(), want);
        EXPECT_TRUE(probe_.FrameInfo().IsKeyFrame);
    }
    EXPECT_FALSE(probe_.DecodeNextKeyFrame()) << "no key frame after 3 s";
    for (int64_t want : {2 * kSecond, 1 * kSecond, int64_t{0}}) {
        ASSERT_TRUE(probe_.DecodePreviousKeyFrame()) << probe_.LastErrMsg();
        EXPECT_EQ(Pts(), want);
        EXPECT_TRUE(probe_.FrameInfo().IsKeyFrame);
    }
    // At the first frame the previous key frame is the first frame itself.
    ASSERT_TRUE(probe_.DecodePreviousKeyFrame()) << probe_.LastErrMsg();
    EXPECT_EQ(Pts(), 0);
}

TEST_P(ProbeGopTest, PreviousKeyFrameAndPreviousFrameFromInsideAGroup) {
    ASSERT_TRUE(probe_.Seek(TSeekFlag::sfBackward, 2 * kSecond)) << probe_.LastErrMsg();
    ASSERT_TRUE(probe_.Decode());
    ASSERT_EQ(Pts(), 2 * kSecond);
    for (int i = 0; i < 12; ++i)
        ASSERT_TRUE(probe_.Decode());
    ASSERT_EQ(Pts(), 2480000);

    ASSERT_TRUE(probe_.DecodePreviousFrame()) << probe_.LastErrMsg();
    EXPECT_EQ(Pts(), 2440000);
    ASSERT_TRUE(probe_.DecodePreviousKeyFrame()) << probe_.LastErrMsg();
    EXPECT_EQ(Pts(), 2 * kSecond);
    // Across the group boundary: the last frame of the previous group.
    ASSERT_TRUE(probe_.DecodePreviousFrame()) << probe_.LastErrMsg();
    EXPECT_EQ(Pts(), 1960000);
    EXPECT_FALSE(probe_.FrameInfo().IsKeyFrame);
}

TEST_P(ProbeGopTest, BitmapMatchesTheLibrariesOwnDecode) {
    TBitmap24 bitmap;
    EXPECT_FALSE(probe_.CopyToBitmap(bitmap));
    EXPECT_EQ(probe_.LastErrMsg(), "picture not ready, please decode first");

    ASSERT_TRUE(probe_.Seek(TSeekFlag::sfBackward, kSecond));
    ASSERT_TRUE(probe_.Decode());
    ASSERT_EQ(Pts(), kSecond);
    ASSERT_TRUE(probe_.CopyToBitmap(bitmap)) << probe_.LastErrMsg();
    ASSERT_EQ(bitmap.Width(), 320);
    ASSERT_EQ(bitmap.Height(), 240);
    EXPECT_GE(bitmap.Stride(), 960);
    EXPECT_EQ(bitmap.Stride() % 4, 0);

    // ffmpeg's own picture of the same moment, as top-down BGR.
    std::string raw;
    ASSERT_EQ(fixtures::Run("ffmpeg -nostdin -v error -i " + fixtures::ShellQuote(file_) +
                                " -vf select='eq(n\\,25)' -frames:v 1 -f rawvideo -pix_fmt bgr24 -",
                            &raw),
              0);
    ASSERT_EQ(raw.size(), 320u * 240u * 3u);
    double diff = 0;
    long bright = 0;
    for (int y = 0; y < 240; ++y) {
        const uint8_t* row = bitmap.ScanLine(y);
        for (int x = 0; x < 320 * 3; ++x) {
            diff += std::abs(static_cast<int>(row[x]) -
                             static_cast<uint8_t>(raw[static_cast<size_t>(y) * 960 + x]));
            bright += row[x] > 64;
        }
    }
    EXPECT_LT(diff / raw.size(), 3.0) << "mean difference per byte";
    EXPECT_GT(bright, 320 * 240) << "the test pattern is mostly bright";
}

INSTANTIATE_TEST_SUITE_P(Containers, ProbeGopTest, ::testing::Values("mp4", "mkv", "avi", "ts"),
                         [](const auto& info) { return info.param; });

TEST(ProbeDecode, TransportStreamCutInsideAGroupSeeksBackToItsFirstPicture) {
    LoadProbeLibraries();
    // Two thirds of the clip, cut at a packet boundary in the middle of a group of pictures: the
    // first key frame follows the start of the stream.
    const std::string whole = fixtures::ReadFile(GopClip("ts"));
    fixtures::TempDir dir;
    const std::string file = dir.file("cut.ts");
    fixtures::WriteFile(file, whole.substr((whole.size() / 3 / 188) * 188 + 188 * 5));

    TAVProbe probe;
    ASSERT_TRUE(probe.LoadFile(file)) << probe.LastErrMsg();
    ASSERT_TRUE(probe.Decode()) << probe.LastErrMsg();
    const int64_t first = probe.FrameInfo().PTS;
    for (int i = 0; i < 30; ++i)
        ASSERT_TRUE(probe.Decode());
    ASSERT_TRUE(probe.Seek(TSeekFlags(), 0)) << probe.LastErrMsg();
    ASSERT_TRUE(probe.Decode()) << probe.LastErrMsg();
    EXPECT_EQ(probe.FrameInfo().PTS, first);
}

TEST(ProbeDecode, StillImageGivesTheSamePictureEveryTime) {
    LoadProbeLibraries();
    TAVProbe probe;
    ASSERT_TRUE(probe.LoadFile(StillPng())) << probe.LastErrMsg();
    ASSERT_TRUE(probe.Decode()) << probe.LastErrMsg();
    const TFrameInfo first = probe.FrameInfo();
    ASSERT_TRUE(probe.Decode());
    ASSERT_TRUE(probe.Decode());
    EXPECT_EQ(probe.FrameInfo().PTS, first.PTS);
    EXPECT_EQ(probe.FrameInfo().Width, 320);
    EXPECT_FALSE(probe.Seek(TSeekFlags(), 0));
    EXPECT_EQ(probe.LastErrMsg(), "\"image2\" format cannot to be seeked.");
    TBitmap24 bitmap;
    ASSERT_TRUE(probe.CopyToBitmap(bitmap));
    EXPECT_EQ(bitmap.Height(), 240);
}

TEST(ProbeDecode, WrappedHandleIsReadButNeverDecodedOrClosed) {
    LoadProbeLibraries();
    TAVProbe owner;
    ASSERT_TRUE(owner.LoadFile(InfoMp4())) << owner.LastErrMsg();
    {
        TAVProbe reader;
        reader.SetFileHandle(owner.FileHandle());
        EXPECT_FALSE(reader.OwnsHandle());
        EXPECT_EQ(reader.StreamCount(), 2);
        EXPECT_EQ(reader.FileName(), owner.FileName());
        EXPECT_FALSE(reader.FileInfoText().empty());
        EXPECT_FALSE(reader.Decode());
        EXPECT_EQ(reader.LastErrMsg(), "file cannot be seeked, handle is readonly.");
        EXPECT_FALSE(reader.Seek(TSeekFlags(), 0));
    }
    // The reader is gone; the owner's file is still open and usable.
    ASSERT_TRUE(owner.Decode()) << owner.LastErrMsg();
    EXPECT_EQ(owner.FrameInfo().PTS, 0);
}

TEST(ProbeDecode, ProbeWorksOnAWorkerWhileTheMainThreadPumps) {
    LoadProbeLibraries();
    QueueDispatcher dispatcher;
    InstallDispatcher(&dispatcher);
    LogCapture capture(TLogLevel::llDebug, /*triggerInMainThread=*/true);
    std::atomic<bool> done{false};
    bool ok = false;
    int64_t pts = -1;
    std::string text;
    std::thread worker([&] {
        TAVProbe probe;
        ok = probe.LoadFile(GopClip("mp4")) && probe.DecodeNextKeyFrame();
        pts = probe.FrameInfo().PTS;
        text = probe.FileInfoText();
        done = true;
    });
    // Pumped until the worker is done: its traces wait for this thread, so stopping earlier
    // would leave it waiting forever (the test's time limit bounds a probe that never ends).
    while (!done)
        dispatcher.waitAndPump(10);
    worker.join();
    dispatcher.pump();
    InstallDispatcher(nullptr);
    EXPECT_TRUE(ok);
    EXPECT_EQ(pts, kSecond);
    EXPECT_NE(text.find("Format Name: mov,mp4"), std::string::npos);
    EXPECT_TRUE(capture.Contains("decode PTS: 1.000")) << "debug traces reach the main thread";
}

}  // namespace
