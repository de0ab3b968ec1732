// Conversions checked with ffprobe as the oracle: ranges, targets, frame-rate changes, two-pass,
// volume, audio sync, stream copy, join, hooks and previews.
#include <gtest/gtest.h>

#include <cmath>

#include "engine/EngineFixtures.h"
#include "engine/EngineRun.h"
#include "common/MediaFixtures.h"
#include "engine/library/Dispatcher.h"
#include "engine/transcode/FFmpegPresets.h"
#include "engine/transcode/Previewer.h"

namespace {

using namespace enginetest;

class ConvertTest : public ::testing::Test {
protected:
    void SetUp() override { LoadTaskLibraries(); }
    std::string Out(const std::string& name) { return dir_.file(name); }
    fixtures::TempDir dir_;
};

TEST_F(ConvertTest, DefaultsOfTheContainer) {
    const std::string out = Out("plain.mp4");
    const RunResult r = Convert(Avi25(), out, "");
    ASSERT_TRUE(r.added) << r.setupError;
    ASSERT_TRUE(r.Finished()) << r.task.ExceptionMsg;
    EXPECT_EQ(fixtures::Probe(out, "v:0", "stream=codec_name"), "h264");
    EXPECT_EQ(fixtures::Probe(out, "a:0", "stream=codec_name"), "aac");
    EXPECT_EQ(Frames(out), 50);
    EXPECT_EQ(fixtures::Probe(out, "v:0", "stream=width"), "320");
    EXPECT_NEAR(fixtures::ProbeDuration(out), 2.0, 0.05);
    // One termination of the task, then the final one.
    ASSERT_EQ(r.terminations.size(), 2u);
    EXPECT_EQ(r.terminations[0].TaskIndex, 0);
    EXPECT_EQ(r.terminations[1].TaskIndex, -1);
    EXPECT_TRUE(r.terminations[1].Finished);
    ASSERT_FALSE(r.progress.empty());
    const TProgressInfo& last = r.progress.back();
    EXPECT_EQ(last.FrameNumber, 50);
    EXPECT_NEAR(last.CurrentDuration, 2000000, 60000);
    EXPECT_NEAR(last.TotalDuration, fixtures::ProbeDuration(Avi25()) * 1000000, 1000);
    EXPECT_EQ(last.CurrentSize, fixtures::FileSize(out));
    // Progress by bytes for sources without a duration: the whole input has been read.
    EXPECT_EQ(last.InputSize, fixtures::FileSize(Avi25()));
    EXPECT_GT(last.InputBytesRead, last.InputSize * 9 / 10);
    EXPECT_LE(last.InputBytesRead, last.InputSize);
}

TEST_F(ConvertTest, ClipRange) {
    const std::string out = Out("range.mp4");
    TOutputOptions options;
    options.TimeLength = 1000000;
    options.VideoCodec = "mpeg4";
    const RunResult r = Convert({{InfoMp4(), "TimeStart=500000"}}, out, options);
    ASSERT_TRUE(r.Finished()) << r.setupError << r.task.ExceptionMsg;
    EXPECT_NEAR(Frames(out), 25, 1);
    EXPECT_NEAR(fixtures::ProbeDuration(out), 1.0, 0.05);
    EXPECT_NEAR(StreamDouble(out, "a:0", "duration"), 1.0, 0.03);

    // ss and t as option text on the output: frames before the start are dropped.
    const std::string out2 = Out("range2.avi");
    const RunResult r2 = Convert(Avi25(), out2, "vcodec=mpeg4<CRLF>ss=1<CRLF>t=0.6");
    ASSERT_TRUE(r2.Finished()) << r2.task.ExceptionMsg;
    EXPECT_NEAR(Frames(out2), 15, 1);
    EXPECT_NEAR(StreamDouble(out2, "a:0", "duration"), 0.6, 0.03);
}

TEST_F(ConvertTest, Targets) {
    const std::string dvd = Out("dvd.mpg");
    RunResult r = Convert(Avi25(), dvd, "target=pal-dvd");
    ASSERT_TRUE(r.Finished()) << r.setupError << r.task.ExceptionMsg;
    EXPECT_EQ(fixtures::Probe(dvd, "v:0", "stream=codec_name"), "mpeg2video");
    EXPECT_EQ(fixtures::Probe(dvd, "v:0", "stream=width"), "720");
    EXPECT_EQ(fixtures::Probe(dvd, "v:0", "stream=height"), "576");
    EXPECT_EQ(fixtures::Probe(dvd, "v:0", "stream=r_frame_rate"), "25/1");
    EXPECT_EQ(fixtures::Probe(dvd, "v:0", "stream=display_aspect_ratio"), "16:9");
    EXPECT_EQ(fixtures::Probe(dvd, "a:0", "stream=codec_name"), "ac3");
    EXPECT_EQ(fixtures::Probe(dvd, "a:0", "stream=sample_rate"), "48000");
    EXPECT_EQ(fixtures::Probe(dvd, "", "format=format_name"), "mpeg");
    EXPECT_EQ(Frames(dvd), 50);

    const std::string vcd = Out("vcd.mpg");
    TOutputOptions options;
    options.TargetType = TOptionTargetType::ttVCD;
    options.NormType = TOptionNormType::ntNTSC;
    r = Convert({{Avi25(), ""}}, vcd, options);
    ASSERT_TRUE(r.Finished()) << r.setupError << r.task.ExceptionMsg;
    EXPECT_EQ(fixtures::Probe(vcd, "v:0", "stream=codec_name"), "mpeg1video");
    EXPECT_EQ(fixtures::Probe(vcd, "v:0", "stream=width"), "352");
    EXPECT_EQ(fixtures::Probe(vcd, "v:0", "stream=height"), "240");
    EXPECT_EQ(fixtures::Probe(vcd, "v:0", "stream=r_frame_rate"), "30000/1001");
    EXPECT_EQ(fixtures::Probe(vcd, "a:0", "stream=codec_name"), "mp2");
    EXPECT_EQ(fixtures::Probe(vcd, "a:0", "stream=channels"), "2");
    EXPECT_EQ(fixtures::Probe(vcd, "a:0", "stream=sample_rate"), "44100");
    EXPECT_NEAR(Frames(vcd), 60, 1);  // 2 s at 29.97
}

TEST_F(ConvertTest, FrameRateChangesDuplicateAndDrop) {
    LogCapture log(TLogLevel::llVerbose);
    const std::string up = Out("up.avi");
    RunResult r = Convert(VideoOnly("25"), up, "vcodec=mpeg4<CRLF>r=29.97");
    ASSERT_TRUE(r.Finished()) << r.task.ExceptionMsg;
    EXPECT_NEAR(Frames(up), 60, 1);
    EXPECT_NEAR(fixtures::ProbeDuration(up), 2.0, 0.05);
    EXPECT_TRUE(log.Contains(" dup=9 drop=0") || log.Contains(" dup=10 drop=0")) << "dup count in the report";

    const std::string down = Out("down.avi");
    r = Convert(VideoOnly("30"), down, "vcodec=mpeg4<CRLF>r=25");
    ASSERT_TRUE(r.Finished()) << r.task.ExceptionMsg;
    EXPECT_NEAR(Frames(down), 50, 1);
    EXPECT_TRUE(log.Contains(" dup=0 drop=10") || log.Contains(" dup=0 drop=9"));

    // Variable-frame-rate containers keep the pictures' own times instead of duplicating.
    const std::string vfr = Out("vfr.mkv");
    r = Convert(VideoOnly("25"), vfr, "vcodec=mpeg4<CRLF>r=50");
    ASSERT_TRUE(r.Finished()) << r.task.ExceptionMsg;
    EXPECT_EQ(Frames(vfr), 50);
    EXPECT_NEAR(fixtures::ProbeDuration(vfr), 2.0, 0.05);
}

TEST_F(ConvertTest, TwoPass) {
    const std::string log = dir_.file("stats");
    const std::string first = Out("pass1.avi");
    RunResult r =
        Convert(Avi25(), first, "vcodec=mpeg4<CRLF>b=300000<CRLF>an=1<CRLF>pass=1<CRLF>passlogfile=" + log);
    ASSERT_TRUE(r.Finished()) << r.task.ExceptionMsg;
    ASSERT_GT(fixtures::FileSize(log + "-0.log"), 0);
    const std::string second = Out("pass2.avi");
    r = Convert(Avi25(), second, "vcodec=mpeg4<CRLF>b=300000<CRLF>an=1<CRLF>pass=2<CRLF>passlogfile=" + log);
    ASSERT_TRUE(r.Finished()) << r.task.ExceptionMsg;
    EXPECT_EQ(Frames(second), 50);
    const double kbits = fixtures::FileSize(second) * 8 / 2.0 / 1000;
    EXPECT_NEAR(kbits, 300, 90);
    // Pass 2 without the statistics of pass 1.
    r = Convert(Avi25(), Out("pass2b.avi"), "vcodec=mpeg4<CRLF>pass=2<CRLF>passlogfile=" + dir_.file("none"));
    EXPECT_TRUE(r.task.Exception);
    EXPECT_EQ(r.task.ExceptionMsg, "Cannot read file: Error reading log file \"" + dir_.file("none") +
                                       "-0.log\" for pass-2 encoding");
}

TEST_F(ConvertTest, VolumeAndAudioSync) {
    const std::string same = Out("same.wav");
    const std::string half = Out("half.wav");
    ASSERT_TRUE(Convert(InfoWav(), same, "vol=256").Finished());
    ASSERT_TRUE(Convert(InfoWav(), half, "vol=128").Finished());
    EXPECT_NEAR(MaxVolume(half) - MaxVolume(same), -6.02, 0.2);

    // Audio that starts 0.5 s after the video: with async the gap becomes silence from 0.
    const std::string late = fixtures::Make(
        "engine-late-audio.mkv",
        "-f lavfi -i testsrc2=size=160x120:rate=25:duration=2 -itsoffset 0.5 -f lavfi -i sine=duration=1.5 "
        "-map 0:v -map 1:a -c:v mpeg4 -c:a libvorbis");
    const std::string kept = Out("kept.mkv");
    const std::string filled = Out("filled.mkv");
    ASSERT_TRUE(Convert(late, kept, "acodec=libvorbis<CRLF>vcodec=mpeg4").Finished());
    ASSERT_TRUE(Convert(late, filled, "acodec=libvorbis<CRLF>vcodec=mpeg4<CRLF>async=1").Finished());
    EXPECT_NEAR(StreamDouble(kept, "a:0", "start_time"), 0.5, 0.05);
    EXPECT_NEAR(StreamDouble(filled, "a:0", "start_time"), 0.0, 0.03);
    std::string out;
    fixtures::Run("ffprobe -v error -select_streams a:0 -show_entries packet=pts_time -of csv=p=0 " +
                      fixtures::ShellQuote(filled) + " | tail -1",
                  &out);
    EXPECT_NEAR(std::stod(out), 1.95, 0.08) << "the audio reaches the end";
}

TEST_F(ConvertTest, CopyOneStreamEncodeTheOther) {
    const std::string out = Out("copy.mkv");
    const RunResult r = Convert(InfoMp4(), out, "vcodec=copy<CRLF>acodec=libvorbis");
    ASSERT_TRUE(r.Finished()) << r.task.ExceptionMsg;
    EXPECT_EQ(fixtures::Probe(out, "v:0", "stream=codec_name"), "h264");
    EXPECT_EQ(fixtures::Probe(out, "a:0", "stream=codec_name"), "vorbis");
    EXPECT_EQ(FrameChecksums(out), FrameChecksums(InfoMp4())) << "the copied pictures are the source's";
    EXPECT_NEAR(fixtures::ProbeDuration(out), 2.0, 0.06);
}

TEST_F(ConvertTest, JoinOfThreeClipsOfDifferentSizes) {
    const std::string a = fixtures::Clip("engine-join-a.avi", 2, 320, 240, 25, "-c:v mpeg4 -q:v 5 -c:a mp2");
    const std::string b = fixtures::Clip("engine-join-b.mp4", 1, 176, 144, 30, "-c:v libx264 -c:a aac");
    const std::string c = fixtures::Clip("engine-join-c.mkv", 1.5, 640, 360, 25, "-c:v mpeg4 -c:a libvorbis");
    const std::string out = Out("joined.mp4");
    TOutputOptions options;
    options.Join = true;
    options.VideoCodec = "mpeg4";
    options.AudioCodec = "libfaac";
    options.FrameSize = "320x240";
    const RunResult r = Convert({{a, ""}, {b, ""}, {c, ""}}, out, options);
    ASSERT_TRUE(r.Finished()) << r.setupError << r.task.ExceptionMsg;
    EXPECT_EQ(fixtures::Probe(out, "v:0", "stream=width"), "320");
    EXPECT_EQ(fixtures::Probe(out, "v:0", "stream=height"), "240");
    EXPECT_NEAR(fixtures::ProbeDuration(out), 4.5, 0.1);
    EXPECT_NEAR(Frames(out), 112, 2);  // 50 + 25 + 37.5 at 25 fps
    EXPECT_NEAR(StreamDouble(out, "a:0", "duration"), 4.5, 0.1);
    ASSERT_FALSE(r.progress.empty());
    EXPECT_NEAR(r.progress.back().TotalDuration, 4500000, 100000);
    EXPECT_NEAR(r.progress.back().CurrentDuration, 4500000, 100000);
    // Time stamps run on across the inputs: no picture comes earlier than the one before.
    std::string times;
    fixtures::Run(
        "ffprobe -v error -select_streams v:0 -show_entries frame=best_effort_timestamp_time -of csv=p=0 " +
            fixtures::ShellQuote(out),
        &times);
    double previous = -1;
    int backwards = 0;
    for (size_t pos = 0; pos < times.size();) {
        const size_t end = times.find('\n', pos);
        const double t = std::stod(times.substr(pos, end - pos));
        if (t <= previous) ++backwards;
        previous = t;
        pos = end == std::string::npos ? times.size() : end + 1;
    }
    EXPECT_EQ(backwards, 0);
    EXPECT_NEAR(previous, 4.46, 0.1);
}

TEST_F(ConvertTest, CustomHookDrawsIntoThePictures) {
    const std::string out = Out("hooked.avi");
    int calls = 0;
    TOutputOptions options;
    options.VideoCodec = "mpeg4";
    options.ExtOptions = "qscale=2<CRLF>an=1";
    options.CustomHook = true;
    const RunResult r = Convert({{VideoOnly("25"), ""}}, out, options, [&](TFFmpegTasks& tasks, TFFmpeg&) {
        tasks.OnCustomHook = [&](TCustomFFmpegTasks*, THookInfo* hook) {
            ++calls;
            EXPECT_EQ(hook->FrameNumber, calls);
            EXPECT_EQ(hook->Bitmap->Width(), 160);
            // The first ten pictures become white; then no more calls.
            for (int y = 0; y < hook->Bitmap->Height(); ++y)
                std::memset(hook->Bitmap->ScanLine(y), 255, static_cast<size_t>(hook->Bitmap->Width()) * 3);
            hook->StopHook = calls == 10;
        };
    });
    ASSERT_TRUE(r.Finished()) << r.task.ExceptionMsg;
    EXPECT_EQ(calls, 10);
    std::string stats;
    fixtures::Run("ffprobe -v error -f lavfi -i " + fixtures::ShellQuote("movie=" + out + ",signalstats") +
                      " -show_entries frame_tags=lavfi.signalstats.YAVG -of csv=p=0",
                  &stats);
    std::vector<double> luma;
    for (size_t pos = 0; pos < stats.size();) {
        const size_t end = stats.find('\n', pos);
        luma.push_back(std::stod(stats.substr(pos, end - pos)));
        pos = end == std::string::npos ? stats.size() : end + 1;
    }
    ASSERT_EQ(luma.size(), 50u);
    EXPECT_GT(luma[0], 230);
    EXPECT_GT(luma[9], 230);
    EXPECT_LT(luma[10], 200);
}

TEST_F(ConvertTest, PreviewBitmapsAndThePreviewWindow) {
    // Bitmaps for the application, at most every 100 ms.
    int bitmaps = 0;
    const RunResult r = Convert(
        {{VideoOnly("25"), "re=1"}}, Out("preview.avi"),
        [] {
            TOutputOptions o;
            o.VideoCodec = "mpeg4";
            return o;
        }(),
        [&](TFFmpegTasks& tasks, TFFmpeg&) {
            tasks.SetPreviewBitmap(true);
            tasks.OnPreviewBitmap = [&](TCustomFFmpegTasks*, const TPreviewInfo& info) {
                ++bitmaps;
                EXPECT_EQ(info.Bitmap->Width(), 160);
                EXPECT_EQ(info.TaskIndex, 0);
            };
        });
    ASSERT_TRUE(r.Finished()) << r.task.ExceptionMsg;
    EXPECT_GE(bitmaps, 12);  // 2 s of pictures read at their own pace
    EXPECT_LE(bitmaps, 21);

    // The preview window: painted until the user closes it; the conversion goes on.
    struct Sink : TPreviewSink {
        int* paints;
        explicit Sink(int* p) : paints(p) {}
        bool Paint(const TBitmap24& bitmap, int, int64_t) override {
            EXPECT_EQ(bitmap.Width(), 160);
            return ++*paints < 3;  // closed after the third picture
        }
    };
    int paints = 0;
    InstallPreviewSinkFactory([&] { return std::make_unique<Sink>(&paints); });
    bool previewLeftOn = true;
    const RunResult p = Convert({{VideoOnly("25"), "re=1"}}, Out("window.avi"), TOutputOptions{},
                                [&](TFFmpegTasks& tasks, TFFmpeg& task) {
                                    tasks.SetPreview(true);
                                    tasks.OnTerminate = [&](TCustomFFmpegTasks*, const TTerminateInfo& info) {
                                        if (info.TaskIndex == 0)
                                            previewLeftOn = task.PostHooks().Contains(TPostHook::phPreview);
                                    };
                                });
    InstallPreviewSinkFactory(nullptr);
    EXPECT_EQ(paints, 3);
    EXPECT_FALSE(previewLeftOn);
    EXPECT_EQ(Frames(Out("window.avi")), 50);
    // Without a preview window the preview switches itself off at once.
    const RunResult none = Convert(VideoOnly("25"), Out("nowindow.avi"), "");
    EXPECT_TRUE(none.Finished());
}

TEST_F(ConvertTest, PresetsEncodeWithTheirSettings) {
    // The ultrafast preset: no CABAC, no deblocking, one reference (libx264 writes its settings
    // into the stream).
    const std::string out = Out("ultrafast.mkv");
    ASSERT_TRUE(Convert(VideoOnly("25"), out, "vcodec=libx264<CRLF>vpre=ultrafast").Finished());
    const std::string data = fixtures::ReadFile(out);
    EXPECT_NE(data.find("cabac=0"), std::string::npos);
    EXPECT_NE(data.find("deblock=0"), std::string::npos);
    EXPECT_NE(data.find(" ref=1 "), std::string::npos);
    EXPECT_EQ(Frames(out), 50);
    const std::string slow = Out("default.mkv");
    ASSERT_TRUE(Convert(VideoOnly("25"), slow, "vcodec=libx264<CRLF>vpre=default").Finished());
    const std::string slowData = fixtures::ReadFile(slow);
    EXPECT_NE(slowData.find("cabac=1"), std::string::npos);
    EXPECT_NE(slowData.find(" ref=3 "), std::string::npos);
    EXPECT_NE(slowData.find("me=hex"), std::string::npos);
    EXPECT_NE(slowData.find("subme=7"), std::string::npos);
}

TEST_F(ConvertTest, EveryBuiltinPresetMakesAPlayableFile) {
    for (int i = 0; i < BuiltinPresetCount(); ++i) {
        const std::string name = BuiltinPresetName(i);
        SCOPED_TRACE(name);
        const std::string out = Out(name + ".mkv");
        const RunResult r = Convert(VideoOnly("25"), out, "vcodec=libx264<CRLF>vframes=8<CRLF>vpre=" + name);
        ASSERT_TRUE(r.Finished()) << r.setupError << r.task.ExceptionMsg;
        EXPECT_EQ(Frames(out), 8);
    }
}

TEST_F(ConvertTest, PictureGeometryAndFilters) {
    // Crop 20 lines at the top and bottom, scale the rest to 320x240, pad 20 lines around it.
    const std::string out = Out("geometry.avi");
    RunResult r =
        Convert(Avi25(), out,
                "vcodec=mpeg4<CRLF>croptop=20<CRLF>cropbottom=20<CRLF>s=320x240<CRLF>padtop=20<CRLF>"
                "padbottom=20<CRLF>padcolor=16777215");
    ASSERT_TRUE(r.Finished()) << r.task.ExceptionMsg;
    EXPECT_EQ(fixtures::Probe(out, "v:0", "stream=width"), "320");
    EXPECT_EQ(fixtures::Probe(out, "v:0", "stream=height"), "280");
    std::string stats;
    fixtures::Run("ffprobe -v error -f lavfi -i " +
                      fixtures::ShellQuote("movie=" + out + ",crop=320:16:0:0,signalstats") +
                      " -read_intervals %+#1 -show_entries frame_tags=lavfi.signalstats.YAVG -of csv=p=0",
                  &stats);
    EXPECT_GT(std::stod(stats), 230) << "the white padding";

    // The user's filters, a deinterlacer and a flip; the encoder's size follows the filters.
    const std::string filtered = Out("filtered.mkv");
    r = Convert(Avi25(), filtered, "vcodec=mpeg4<CRLF>deinterlace=1<CRLF>vfilters=transpose=1,scale=120:-2");
    ASSERT_TRUE(r.Finished()) << r.task.ExceptionMsg;
    EXPECT_EQ(fixtures::Probe(filtered, "v:0", "stream=width"), "120");
    EXPECT_EQ(fixtures::Probe(filtered, "v:0", "stream=height"), "160");
    EXPECT_EQ(Frames(filtered), 50);
}

TEST_F(ConvertTest, PictureSizeChangesMidStream) {
    const std::string small =
        fixtures::Clip("engine-seg-small.ts", 1, 160, 120, 25, "-c:v mpeg2video -an", false);
    const std::string large =
        fixtures::Clip("engine-seg-large.ts", 1, 320, 240, 25, "-c:v mpeg2video -an", false);
    const std::string joined = dir_.file("changing.ts");
    fixtures::WriteFile(joined, fixtures::ReadFile(small) + fixtures::ReadFile(large));
    LogCapture log(TLogLevel::llVerbose);
    const std::string out = Out("steady.avi");
    const RunResult r = Convert(joined, out, "vcodec=mpeg4");
    ASSERT_TRUE(r.Finished()) << r.task.ExceptionMsg;
    EXPECT_TRUE(log.Contains("frame size changed to 320x240"));
    EXPECT_EQ(fixtures::Probe(out, "v:0", "stream=width"), "160");
    EXPECT_NEAR(Frames(out), 50, 2);
}

TEST_F(ConvertTest, SubtitlesEncodedCopiedOrLeftOut) {
    const std::string srt = dir_.file("subs.srt");
    fixtures::WriteFile(
        srt, "1\n00:00:00,200 --> 00:00:00,900\nHello\n\n2\n00:00:01,000 --> 00:00:01,800\nWorld\n");
    const std::string source = dir_.file("subbed.mkv");
    ASSERT_EQ(fixtures::Run("ffmpeg -nostdin -v error -y -i " + fixtures::ShellQuote(VideoOnly("25")) +
                            " -i " + fixtures::ShellQuote(srt) + " -map 0 -map 1 -c:v copy -c:s srt " +
                            fixtures::ShellQuote(source)),
              0);
    const std::string encoded = Out("encoded.mkv");
    ASSERT_TRUE(Convert(source, encoded, "vcodec=mpeg4<CRLF>scodec=ass").Finished());
    EXPECT_EQ(fixtures::Probe(encoded, "s:0", "stream=codec_name"), "ass");
    const std::string copied = Out("copied.mkv");
    ASSERT_TRUE(Convert(source, copied, "vcodec=mpeg4<CRLF>scodec=copy").Finished());
    EXPECT_EQ(fixtures::Probe(copied, "s:0", "stream=codec_name"), "subrip");
    std::string text;
    fixtures::Run("ffmpeg -nostdin -v error -i " + fixtures::ShellQuote(copied) + " -map 0:s -f srt -",
                  &text);
    EXPECT_NE(text.find("World"), std::string::npos);
    EXPECT_NE(text.find("00:00:01,000 --> 00:00:01,800"), std::string::npos);
    const std::string without = Out("without.mkv");
    ASSERT_TRUE(Convert(source, without, "vcodec=mpeg4<CRLF>sn=1").Finished());
    EXPECT_EQ(fixtures::Probe(without, "s:0", "stream=codec_name"), "");
}

TEST_F(ConvertTest, LimitsAndBitstreamFilters) {
    const std::string limited = Out("limited.avi");
    ASSERT_TRUE(Convert(Avi25(), limited, "vcodec=mpeg4<CRLF>qscale=2<CRLF>fs=40000").Finished());
    EXPECT_LT(fixtures::FileSize(limited), 80000);
    EXPECT_GT(Frames(limited), 0);
    EXPECT_LT(Frames(limited), 50);

    const std::string frames = Out("frames.avi");
    ASSERT_TRUE(Convert(Avi25(), frames, "vcodec=mpeg4<CRLF>vframes=7").Finished());
    EXPECT_EQ(Frames(frames), 7);

    // H.264 copied out of MP4 into a raw Annex B stream through the filter.
    const std::string annexb = Out("raw.h264");
    ASSERT_TRUE(Convert(InfoMp4(), annexb, "vcodec=copy<CRLF>vbsf=h264_mp4toannexb").Finished());
    EXPECT_EQ(fixtures::ReadFile(annexb).compare(0, 4, std::string("\0\0\0\1", 4)), 0);
    EXPECT_EQ(Frames(annexb), 50);
}

}  // namespace
