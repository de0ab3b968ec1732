// Output shapes checked with ffprobe: subtitles encoded again (text and picture), padding
// around the scaled picture, stream-copy joins and a picture size or audio format that changes
// mid-stream.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "engine/EngineFixtures.h"
#include "engine/EngineRun.h"
#include "common/MediaFixtures.h"
#include "engine/library/FFmpegHandles.h"

namespace {

using namespace enginetest;

// Two cues: 0.5 s to 1.5 s and 2.0 s to 2.8 s.
const char* kCues =
    "1\n00:00:00,500 --> 00:00:01,500\nHello there\n\n"
    "2\n00:00:02,000 --> 00:00:02,800\nSecond cue\n\n";

// Gray 160x120 MPEG-4 video, 3 s, with an srt track of kCues.
std::string SrtMkv() {
    const std::string srt = fixtures::MediaDir() + "/engine-cues.srt";
    if (!fixtures::FileExists(srt)) fixtures::WriteFile(srt, kCues);
    return fixtures::Make("engine-srt.mkv", "-f lavfi -i color=c=gray:s=160x120:r=25:d=3 -i " +
                                                fixtures::ShellQuote(srt) +
                                                " -map 0:v -map 1:s -c:v mpeg4 -c:s srt");
}

// ffprobe's packet entries of one stream, one line each ("a,b").
std::vector<std::string> Packets(const std::string& file, const std::string& stream,
                                 const std::string& entries) {
    std::string out;
    fixtures::Run("ffprobe -v error -select_streams " + stream + " -show_entries packet=" + entries +
                      " -of csv=p=0 " + fixtures::ShellQuote(file),
                  &out);
    std::vector<std::string> lines;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) lines.push_back(line);
    return lines;
}

// The picture area of a white picture on black pads: cropdetect's "w:h:x:y" of the last frame.
std::string PictureArea(const std::string& file) {
    std::string out;
    fixtures::Run("ffmpeg -nostdin -hide_banner -i " + fixtures::ShellQuote(file) +
                      " -vf cropdetect=limit=0.3:round=2:reset=1 -f null - 2>&1",
                  &out);
    const size_t at = out.rfind("crop=");
    if (at == std::string::npos) return "";
    return out.substr(at + 5, out.find_first_of("\r\n", at) - at - 5);
}

class StreamShapeTest : public ::testing::Test {
protected:
    void SetUp() override { LoadTaskLibraries(); }
    std::string Out(const std::string& name) { return dir_.file(name); }
    fixtures::TempDir dir_;
};

TEST_F(StreamShapeTest, TextSubtitlesIntoMatroskaAndMp4) {
    const std::string source = SrtMkv();
    ASSERT_FALSE(source.empty());

    // Matroska: the ASS track keeps the decoder's header (its styles) and the cue times.
    const std::string mkv = Out("subs.mkv");
    RunResult r = Convert(source, mkv, "vcodec=mpeg4");
    ASSERT_TRUE(r.Finished()) << r.setupError << r.task.ExceptionMsg;
    EXPECT_EQ(fixtures::Probe(mkv, "s:0", "stream=codec_name"), "ass");
    const std::string ass = Out("subs.ass");
    ASSERT_EQ(fixtures::Run("ffmpeg -nostdin -v error -i " + fixtures::ShellQuote(mkv) +
                            " -map 0:s:0 -c copy " + fixtures::ShellQuote(ass)),
              0);
    const std::string text = fixtures::ReadFile(ass);
    EXPECT_NE(text.find("[Script Info]"), std::string::npos);
    EXPECT_NE(text.find("Hello there"), std::string::npos);
    EXPECT_EQ(Packets(mkv, "s:0", "pts_time,duration_time"),
              (std::vector<std::string>{"0.500000,1.000000", "2.000000,0.800000"}));

    // MP4: mov_text, and a complete file (its index written) that decodes.
    const std::string mp4 = Out("subs.mp4");
    r = Convert(source, mp4, "vcodec=mpeg4<CRLF>scodec=mov_text");
    ASSERT_TRUE(r.Finished()) << r.setupError << r.task.ExceptionMsg;
    EXPECT_EQ(fixtures::Probe(mp4, "s:0", "stream=codec_name"), "mov_text");
    // The muxer fills the gaps between cues with empty samples (2 bytes).
    EXPECT_EQ(Packets(mp4, "s:0", "pts_time,size"),
              (std::vector<std::string>{"0.000000,2", "0.500000,13", "1.500000,2", "2.000000,12"}));
    EXPECT_NEAR(fixtures::ProbeDuration(mp4), 3.0, 0.1);
    EXPECT_EQ(
        fixtures::Run("ffmpeg -nostdin -v error -xerror -i " + fixtures::ShellQuote(mp4) + " -f null -"), 0);
}

TEST_F(StreamShapeTest, PictureSubtitlesStayPictures) {
    const std::string source = DvdSubMkv();
    ASSERT_FALSE(source.empty()) << "could not write the DVD subtitle fixture";
    const std::string out = Out("dvd.mkv");
    const RunResult r = Convert(source, out, "");
    ASSERT_TRUE(r.Finished()) << r.setupError << r.task.ExceptionMsg;
    EXPECT_EQ(fixtures::Probe(out, "s:0", "stream=codec_name"), "dvd_subtitle");
    // Picture subtitles count their display time in steps of 1024/90000 s.
    const std::vector<std::string> packets = Packets(out, "s:0", "pts_time,duration_time");
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(packets[0].substr(0, 9), "0.500000,");
    EXPECT_NEAR(std::stod(packets[0].substr(9)), 1.0, 0.012);
    EXPECT_EQ(packets[1].substr(0, 9), "2.000000,");
    EXPECT_NEAR(std::stod(packets[1].substr(9)), 0.8, 0.012);

    // A text encoder the user names cannot take pictures: refused with a reason.
    const RunResult refused = Convert(source, Out("dvd-as-text.mkv"), "scodec=ass");
    EXPECT_FALSE(refused.Finished());
    EXPECT_NE(refused.task.ExceptionMsg.find("only possible from text to text or bitmap to bitmap"),
              std::string::npos)
        << refused.task.ExceptionMsg;
}

TEST_F(StreamShapeTest, PadsGoAroundThePictureScaledToTheFrameSize) {
    const std::string white = fixtures::Make(
        "engine-white.avi", "-f lavfi -i color=c=white:s=320x240:r=25:d=0.4 -c:v mpeg4 -q:v 2");
    struct Case {
        const char* options;
        const char* size;  // width x height of the output
        const char* area;  // picture w:h:x:y
    } cases[] = {
        {"s=320x240<CRLF>padtop=20<CRLF>padbottom=20<CRLF>padleft=10<CRLF>padright=10", "340x280",
         "320:240:10:20"},
        {"s=176x144<CRLF>padtop=48<CRLF>padbottom=48", "176x240", "176:144:0:48"},
        {"padleft=16<CRLF>padright=16", "352x240", "320:240:16:0"},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options);
        const std::string out = Out("pad" + std::to_string(n++) + ".avi");
        const RunResult r = Convert(white, out, std::string("vcodec=mpeg4<CRLF>qscale=2<CRLF>") + c.options);
        ASSERT_TRUE(r.Finished()) << r.setupError << r.task.ExceptionMsg;
        EXPECT_EQ(
            fixtures::Probe(out, "v:0", "stream=width") + "x" + fixtures::Probe(out, "v:0", "stream=height"),
            c.size);
        EXPECT_EQ(PictureArea(out), c.area);
    }
}

TEST_F(StreamShapeTest, StreamCopyJoinContinuesAfterTheLastPacket) {
    const std::string a = fixtures::Clip("engine-copyjoin-a.mkv", 3, 160, 120, 25, "-c:v mpeg4", false);
    const std::string b = fixtures::Clip("engine-copyjoin-b.mkv", 3, 160, 120, 25, "-c:v mpeg4", false);
    const std::string out = Out("copyjoin.mkv");
    TOutputOptions options;
    options.Join = true;
    options.VideoCodec = "copy";
    const RunResult r = Convert({{a, ""}, {b, ""}}, out, options);
    ASSERT_TRUE(r.Finished()) << r.setupError << r.task.ExceptionMsg;
    EXPECT_NEAR(fixtures::ProbeDuration(out), 6.0, 0.001);
    const std::vector<std::string> times = Packets(out, "v:0", "pts_time");
    ASSERT_EQ(times.size(), 150u);
    for (size_t i = 1; i < times.size(); ++i)
        EXPECT_LT(std::stod(times[i - 1]), std::stod(times[i])) << "packet " << i;
    EXPECT_EQ(times[75], "3.000000");
}

TEST_F(StreamShapeTest, PictureSizeChangeMidStreamKeepsEveryFrame) {
    // Two MPEG-TS pieces of different picture sizes, one after the other in one file.
    // Low delay: the decoder keeps no picture back at the change.
    const char* codec = " -c:v mpeg2video -bf 0 -flags +low_delay";
    const std::string big =
        fixtures::Make("engine-size-a.ts", std::string("-f lavfi -i testsrc=s=320x240:r=25:d=1") + codec);
    const std::string small =
        fixtures::Make("engine-size-b.ts", std::string("-f lavfi -i testsrc=s=160x120:r=25:d=1") + codec);
    const std::string joined = fixtures::MediaDir() + "/engine-size-change.ts";
    if (!fixtures::FileExists(joined)) {
        ASSERT_EQ(fixtures::Run("cat " + fixtures::ShellQuote(big) + " " + fixtures::ShellQuote(small) +
                                " > " + fixtures::ShellQuote(joined)),
                  0);
    }
    ASSERT_EQ(Frames(joined), 50);
    const std::string out = Out("size-change.avi");
    // The deinterlacer holds a picture back: what the old graph holds must come out.
    const RunResult r = Convert(joined, out, "vcodec=mpeg4<CRLF>s=320x240<CRLF>deinterlace=1<CRLF>vsync=0");
    ASSERT_TRUE(r.Finished()) << r.setupError << r.task.ExceptionMsg;
    EXPECT_EQ(Frames(out), 50);
}

TEST_F(StreamShapeTest, AudioFormatChangeMidStreamKeepsEverySample) {
    // Mono then stereo MP2 in one MPEG-TS stream: 42 + 48 frames of 1152 samples at 48 kHz.
    // Into AAC (1024-sample frames) the change falls 256 samples into an encoder frame; those
    // samples must go out with the stereo part, not be lost at the seam.
    const std::string mono =
        fixtures::Make("engine-audio-a.ts", "-f lavfi -i sine=f=440:r=48000:d=1.0 -ac 1 -c:a mp2 -b:a 64k");
    const std::string stereo = fixtures::Make(
        "engine-audio-b.ts", "-f lavfi -i sine=f=660:r=48000:d=1.152 -ac 2 -c:a mp2 -b:a 128k");
    const std::string joined = fixtures::MediaDir() + "/engine-audio-change.ts";
    if (!fixtures::FileExists(joined)) {
        ASSERT_EQ(fixtures::Run("cat " + fixtures::ShellQuote(mono) + " " + fixtures::ShellQuote(stereo) +
                                " > " + fixtures::ShellQuote(joined)),
                  0);
    }
    long long sourceSamples = 0;
    for (const std::string& n : Packets(joined, "a:0", "duration_time"))
        sourceSamples += std::llround(std::stod(n) * 48000);
    ASSERT_EQ(sourceSamples, 90 * 1152);

    const std::string out = Out("audio-change.m4a");
    const RunResult r = Convert(joined, out, "acodec=aac<CRLF>ar=48000<CRLF>ac=2");
    ASSERT_TRUE(r.Finished()) << r.setupError << r.task.ExceptionMsg;
    // Packets follow each other without a gap; all but the last carry 1024 samples, and with the
    // encoder's one frame of priming they hold every source sample.
    const std::vector<std::string> packets = Packets(out, "a:0", "pts,duration");
    ASSERT_GT(packets.size(), 2u);
    long long total = 0, expectedPts = std::stoll(packets[0]);
    for (size_t i = 0; i < packets.size(); ++i) {
        const long long pts = std::stoll(packets[i]);
        const long long duration = std::stoll(packets[i].substr(packets[i].find(',') + 1));
        EXPECT_EQ(pts, expectedPts) << "packet " << i;
        if (i + 1 < packets.size()) {
            EXPECT_EQ(duration, 1024) << "packet " << i;
        }
        expectedPts = pts + duration;
        total += duration;
    }
    EXPECT_EQ(total, sourceSamples + 1024);
}

}  // namespace
