// The probe's counts, stream records and information text, checked line by line. Numbers that
// depend on the encoders' output (sizes, bit rates, encoder tags) come from ffprobe.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <sstream>

#include "engine/EngineFixtures.h"
#include "common/MediaFixtures.h"
#include "engine/probe/AVProbe.h"
#include "engine/probe/StreamRotation.h"

namespace {

using namespace enginetest;

std::vector<std::string> SplitCrLf(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t p = text.find("\r\n"); p != std::string::npos; p = text.find("\r\n", start)) {
        lines.push_back(text.substr(start, p - start));
        start = p + 2;
    }
    lines.push_back(text.substr(start));
    return lines;
}

// "<n> kb/s" from ffprobe's bit rate of the format (empty stream specifier) or a stream.
std::string OracleKbps(const std::string& file, const std::string& streamSpec) {
    const std::string value =
        fixtures::Probe(file, streamSpec, streamSpec.empty() ? "format=bit_rate" : "stream=bit_rate");
    return std::to_string(std::atoll(value.c_str()) / 1000) + " kb/s";
}

std::string OracleSizeKb(const std::string& file) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2f KB", static_cast<double>(fixtures::FileSize(file)) / 1024);
    return buf;
}

void ExpectLines(const std::string& text, const std::vector<std::string>& expected) {
    const std::vector<std::string> lines = SplitCrLf(text);
    for (size_t i = 0; i < std::max(lines.size(), expected.size()); ++i) {
        const std::string got = i < lines.size() ? lines[i] : "<missing>";
        const std::string want = i < expected.size() ? expected[i] : "<none>";
        EXPECT_EQ(got, want) << "line " << i + 1;
    }
}

class ProbeInfoTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // The time stamp line is local time: pin the zone.
        setenv("TZ", "UTC", 1);
        tzset();
    }
    void SetUp() override { LoadProbeLibraries(); }
    TAVProbe probe_;
};

TEST_F(ProbeInfoTest, WavTextAndCounts) {
    const std::string file = InfoWav();
    ASSERT_TRUE(probe_.LoadFile(file)) << probe_.LastErrMsg();
    EXPECT_EQ(probe_.FileSize(), 88244);
    EXPECT_EQ(probe_.StreamCount(), 1);
    EXPECT_EQ(probe_.AudioStreamCount(), 1);
    EXPECT_EQ(probe_.VideoStreamCount(), 0);
    EXPECT_EQ(probe_.FirstAudioStreamIndex(), 0);
    EXPECT_EQ(probe_.FirstVideoStreamIndex(), -1);
    ExpectLines(
        probe_.FileInfoText(),
        {"File Name: " + file, "Format Name: wav", "Format Long Name: WAV / WAVE (Waveform Audio)",
         "File Size: 86.18 KB", "Duration: 00:00:01.000", "Bit Rate: 705 kb/s",
         "Stream #0, 1/44100: Audio: pcm_s16le ([1][0][0][0] / 0x0001), 44100 Hz, 1 channels, s16, 705 kb/s, "
         "Duration: 00:00:01.000"});
}

TEST_F(ProbeInfoTest, Mp4TextWithMetadataAndTimeStamp) {
    const std::string file = InfoMp4();
    ASSERT_TRUE(probe_.LoadFile(file)) << probe_.LastErrMsg();
    const std::string lavf = fixtures::Probe(file, "", "format_tags=encoder");
    const std::string lavc = fixtures::Probe(file, "v:0", "stream_tags=encoder");
    ASSERT_FALSE(lavf.empty());
    ExpectLines(
        probe_.FileInfoText(),
        {"File Name: " + file,
         "Format Name: mov,mp4,m4a,3gp,3g2,mj2",
         "Format Long Name: QuickTime / MOV",
         "File Size: " + OracleSizeKb(file),
         "Duration: 00:00:02.000",
         "StartTime: 0.000000",
         "Bit Rate: " + OracleKbps(file, ""),
         "Time Stamp: 2020-01-02 03:04:05",
         "Metadata:",
         "  major_brand     : isom",
         "  minor_version   : 512",
         "  compatible_brands: isomiso2avc1mp41",
         "  creation_time   : 2020-01-02T03:04:05.000000Z",
         "  title           : Probe Title",
         "  artist          : Probe Artist",
         "  album           : Probe Album",
         "  date            : 2021",
         "  encoder         : " + lavf,
         "  comment         : Made by the tests",
         "  genre           : Test",
         "  track           : 7",
         "Stream #0[0x1](und), 1/12800: Video: h264 (High) (avc1 / 0x31637661), yuv420p(progressive), "
         "320x240 [SAR 1:1 DAR 4:3], " +
             OracleKbps(file, "v:0") +
             ", 25 fps, 25 tbr, 12800 tbn, 50 tbc, StartTime: 0.000000, Duration: 00:00:02.000",
         "  Metadata:",
         "    creation_time   : 2020-01-02T03:04:05.000000Z",
         "    handler_name    : VideoHandler",
         "    vendor_id       : [0][0][0][0]",
         "    encoder         : " + lavc,
         "Stream #1[0x2](eng), 1/44100: Audio: aac (LC) (mp4a / 0x6134706D), 44100 Hz, mono, fltp, " +
             OracleKbps(file, "a:0") + ", StartTime: 0.000000, Duration: 00:00:02.000",
         "  Metadata:",
         "    creation_time   : 2020-01-02T03:04:05.000000Z",
         "    handler_name    : SoundHandler",
         "    vendor_id       : [0][0][0][0]"});
}

TEST_F(ProbeInfoTest, TransportStreamTextWithProgramIdsAndStartTimes) {
    const std::string file = InfoTs();
    ASSERT_TRUE(probe_.LoadFile(file)) << probe_.LastErrMsg();
    EXPECT_EQ(probe_.ProgramCount(), 1);
    ExpectLines(
        probe_.FileInfoText(),
        {"File Name: " + file, "Format Name: mpegts", "Format Long Name: MPEG-TS (MPEG-2 Transport Stream)",
         "File Size: " + OracleSizeKb(file), "Duration: 00:00:01.018", "StartTime: 1.429089",
         "Bit Rate: " + OracleKbps(file, ""), "Program 1 Vanto Test@Channel One",
         "  Metadata:", "    service_name    : Channel One", "    service_provider: Vanto Test",
         "Stream #0[0x100], 1/90000: Video: mpeg2video (Main) ([2][0][0][0] / 0x0002), yuv420p(tv, "
         "progressive), 320x240 [SAR 1:1 DAR 4:3], 25 fps, 25 tbr, 90k tbn, 50 tbc, StartTime: 1.440000, "
         "Duration: 00:00:01.000",
         "Stream #1[0x101], 1/90000: Audio: mp2 ([3][0][0][0] / 0x0003), 44100 Hz, mono, fltp, 384 kb/s, "
         "StartTime: 1.429089, Duration: 00:00:01.018"});
}

TEST_F(ProbeInfoTest, FractionalFrameRateAndStreamLanguage) {
    const std::string file = Info2997Mkv();
    ASSERT_TRUE(probe_.LoadFile(file)) << probe_.LastErrMsg();
    const std::vector<std::string> lines = SplitCrLf(probe_.FileInfoText());
    std::string video, audio;
    for (const std::string& l : lines) {
        if (l.rfind("Stream #0", 0) == 0) video = l;
        if (l.rfind("Stream #1", 0) == 0) audio = l;
    }
    EXPECT_NE(video.find(
                  ", 1/1000: Video: mpeg4 (Simple Profile), yuv420p(progressive), 320x240 [SAR 1:1 DAR 4:3], "
                  "29.97 fps, 29.97 tbr, 1k tbn, 30k tbc, StartTime: 0.003000, Duration: N/A"),
              std::string::npos)
        << video;
    EXPECT_EQ(
        audio,
        "Stream #1(fre), 1/1000: Audio: vorbis, 44100 Hz, mono, fltp, StartTime: 0.000000, Duration: N/A");
    const TVideoStreamInfo v = probe_.FirstVideoStreamInfo();
    EXPECT_EQ(v.FrameRate.Num, 30000);
    EXPECT_EQ(v.FrameRate.Den, 1001);
    EXPECT_EQ(probe_.FirstAudioStreamInfo().Language, "fre");
}

TEST_F(ProbeInfoTest, Id3FrameIdsShowByTheirNames) {
    ASSERT_TRUE(probe_.LoadFile(Id3TagsNut())) << probe_.LastErrMsg();
    const std::string text = probe_.FileInfoText();
    EXPECT_NE(text.find("\r\n  album           : Tag Album\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\r\n  artist          : Tag Artist\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\r\n  year            : 1999\r\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("TALB"), std::string::npos);
}

TEST_F(ProbeInfoTest, RecordsOfContainerAndStreams) {
    const std::string file = InfoMp4();
    ASSERT_TRUE(probe_.LoadFile(file)) << probe_.LastErrMsg();

    const TFileStreamInfo f = probe_.FileStreamInfo();
    EXPECT_EQ(f.StartTime, 0);
    EXPECT_EQ(f.Duration, 2000000);
    EXPECT_EQ(f.BitRate, std::atoi(fixtures::Probe(file, "", "format=bit_rate").c_str()));
    EXPECT_EQ(f.TimeStamp, 1577934245);  // 2020-01-02T03:04:05Z
    EXPECT_EQ(f.Year, 2021);
    EXPECT_EQ(f.Track, 7);
    EXPECT_EQ(f.Title, "Probe Title");
    EXPECT_EQ(f.Author, "Probe Artist");
    EXPECT_EQ(f.Album, "Probe Album");
    EXPECT_EQ(f.Comment, "Made by the tests");
    EXPECT_EQ(f.Genre, "Test");
    EXPECT_EQ(f.Copyright, "");

    const TVideoStreamInfo v = probe_.FirstVideoStreamInfo();
    EXPECT_EQ(v.Width, 320);
    EXPECT_EQ(v.Height, 240);
    EXPECT_FLOAT_EQ(v.AspectRatio, 4.0f / 3.0f);
    EXPECT_EQ(v.FrameRate.Num, 25);
    EXPECT_EQ(v.FrameRate.Den, 1);
    EXPECT_EQ(v.PixFmt, AV_PIX_FMT_YUV420P);
    EXPECT_EQ(v.CodecName.rfind("h264(H.264", 0), 0u) << v.CodecName;
    EXPECT_EQ(v.Language, "und");
    EXPECT_EQ(v.StartTime, 0);
    EXPECT_EQ(v.Duration, 25600);  // 2 s in 1/12800
    EXPECT_EQ(v.DurationScaled, 2000000);
    EXPECT_EQ(v.BitRate, std::atoi(fixtures::Probe(file, "v:0", "stream=bit_rate").c_str()));

    const TAudioStreamInfo a = probe_.FirstAudioStreamInfo();
    EXPECT_EQ(a.Channels, 1);
    EXPECT_EQ(a.SampleRate, 44100);
    EXPECT_EQ(a.SampleFormat, AV_SAMPLE_FMT_FLTP);
    EXPECT_EQ(a.Language, "eng");
    EXPECT_EQ(a.CodecName, "aac(AAC (Advanced Audio Coding))");
    EXPECT_EQ(a.DurationScaled, 2000000);

    EXPECT_TRUE(probe_.IsVideoStream(0));
    EXPECT_FALSE(probe_.IsAudioStream(0));
    EXPECT_TRUE(probe_.IsAudioStream(1));
}

TEST_F(ProbeInfoTest, StreamRecordsRefuseWrongStreams) {
    ASSERT_TRUE(probe_.LoadFile(InfoMp4())) << probe_.LastErrMsg();
    TVideoStreamInfo v;
    EXPECT_FALSE(probe_.GetVideoStreamInfo(1, v));
    EXPECT_EQ(probe_.LastErrMsg(), "stream #1 is not video stream.");
    EXPECT_EQ(v.Width, -1);
    EXPECT_FLOAT_EQ(v.AspectRatio, -1.0f);
    TAudioStreamInfo a;
    EXPECT_FALSE(probe_.GetAudioStreamInfo(5, a));
    EXPECT_EQ(probe_.LastErrMsg(), "stream index #5 is invalid.");
    EXPECT_FALSE(probe_.IsVideoStream(-1));
    EXPECT_EQ(probe_.LastErrMsg(), "stream index #-1 is invalid.");
    const TSubtitleStreamInfo s = probe_.FirstSubtitleStreamInfo();
    EXPECT_EQ(probe_.LastErrMsg(), "no subtitle stream.");
    EXPECT_EQ(s.CodecName, "");

    ASSERT_TRUE(probe_.LoadFile(GopClip("mp4"))) << probe_.LastErrMsg();
    const TAudioStreamInfo none = probe_.FirstAudioStreamInfo();
    EXPECT_EQ(probe_.LastErrMsg(), "no audio stream.");
    EXPECT_EQ(none.Channels, -1);
    EXPECT_EQ(none.SampleRate, -1);
    EXPECT_EQ(none.DurationScaled, -1);
    EXPECT_EQ(none.SampleFormat, -1);
}

TEST_F(ProbeInfoTest, UnknownSampleAspectRatioGivesZeroAspect) {
    ASSERT_TRUE(probe_.LoadFile(Sar0Mkv())) << probe_.LastErrMsg();
    const TVideoStreamInfo v = probe_.FirstVideoStreamInfo();
    EXPECT_EQ(v.Width, 320);
    EXPECT_FLOAT_EQ(v.AspectRatio, 0.0f);
}

TEST_F(ProbeInfoTest, DataOnlyFileHasNoStreamOfAnyKind) {
    ASSERT_TRUE(probe_.LoadFile(DataOnlyTs())) << probe_.LastErrMsg();
    EXPECT_EQ(probe_.StreamCount(), 1);
    EXPECT_EQ(probe_.AudioStreamCount(), 0);
    EXPECT_EQ(probe_.VideoStreamCount(), 0);
    EXPECT_EQ(probe_.SubtitleStreamCount(), 0);
    EXPECT_EQ(probe_.FirstAudioStreamIndex(), -1);
    EXPECT_EQ(probe_.FirstVideoStreamIndex(), -1);
    EXPECT_EQ(probe_.FirstSubtitleStreamIndex(), -1);
    EXPECT_EQ(probe_.SeekIndex(), -1);
    EXPECT_EQ(probe_.CodecName(0), "bin_data");  // no decoder: the codec's own name
    const std::vector<std::string> lines = SplitCrLf(probe_.FileInfoText());
    EXPECT_EQ(lines.back(),
              "Stream #0[0x100], 1/90000: Data: bin_data ([6][0][0][0] / 0x0006), StartTime: 1.400000, "
              "Duration: N/A");
    EXPECT_FALSE(probe_.Decode());
    EXPECT_EQ(probe_.LastErrMsg(), "no video stream.");
}

TEST_F(ProbeInfoTest, CoverPictureCountsAsVideoButAudioDrivesSeeking) {
    ASSERT_TRUE(probe_.LoadFile(CoverMp3())) << probe_.LastErrMsg();
    EXPECT_EQ(probe_.AudioStreamCount(), 1);
    EXPECT_EQ(probe_.VideoStreamCount(), 1);
    EXPECT_EQ(probe_.FirstVideoStreamIndex(), 1);
    EXPECT_EQ(probe_.SeekIndex(), 0);
    EXPECT_EQ(probe_.FileStreamInfo().Title, "Cover Song");
    EXPECT_EQ(probe_.FileStreamInfo().Author, "Someone");
    ASSERT_TRUE(probe_.Decode()) << probe_.LastErrMsg();
    TBitmap24 cover;
    ASSERT_TRUE(probe_.CopyToBitmap(cover));
    EXPECT_EQ(cover.Width(), 320);
    EXPECT_EQ(cover.Height(), 240);
}

TEST_F(ProbeInfoTest, NothingWithoutAFile) {
    EXPECT_EQ(probe_.FileInfoText(), "");
    EXPECT_EQ(probe_.LastErrMsg(), "file not loaded.");
    EXPECT_EQ(probe_.StreamCount(), -1);
    EXPECT_EQ(probe_.FileSize(), -1);
    EXPECT_EQ(probe_.FileStreamInfo().Duration, -1);
    EXPECT_FALSE(probe_.Decode());
    EXPECT_FALSE(probe_.Seek(TSeekFlags(), 0));
    EXPECT_EQ(probe_.Position(), -1);
    ASSERT_TRUE(probe_.LoadFile(InfoWav()));
    probe_.CloseFile();
    EXPECT_EQ(probe_.StreamCount(), -1);
    EXPECT_EQ(probe_.FileName(), "");
}

TEST(ProbeTextFormats, SizesDurationsAndRates) {
    using namespace probetext;
    EXPECT_EQ(FormatFileSize(0), "0 Byte");
    EXPECT_EQ(FormatFileSize(1024), "1024 Byte");
    EXPECT_EQ(FormatFileSize(1025), "1.00 KB");
    EXPECT_EQ(FormatFileSize(1048576), "1024.00 KB");
    EXPECT_EQ(FormatFileSize(1048577), "1.00 MB");
    EXPECT_EQ(FormatFileSize(1073741824), "1024.00 MB");
    EXPECT_EQ(FormatFileSize(5368709120LL), "5.00 GB");  // beyond 32 bits
    EXPECT_EQ(FormatDuration(0), "00:00:00.000");
    EXPECT_EQ(FormatDuration(3723456789LL), "01:02:03.456");
    EXPECT_EQ(FormatDuration(360000000000LL), "100:00:00.000");  // hours do not wrap
    EXPECT_EQ(FormatSeconds(1429089), "1.429089");
    EXPECT_EQ(FormatSeconds(-21333), "-0.021333");
    EXPECT_EQ(FormatRate(30000.0 / 1001, "tbr"), ", 29.97 tbr");
    EXPECT_EQ(FormatRate(25, "tbr"), ", 25 tbr");
    EXPECT_EQ(FormatRate(90000, "tbn"), ", 90k tbn");
    EXPECT_EQ(FormatRate(12800, "tbn"), ", 12800 tbn");
    EXPECT_EQ(FormatRate(1000, "tbn"), ", 1k tbn");
    EXPECT_EQ(MetadataDisplayName("TPE1"), "artist");
    EXPECT_EQ(MetadataDisplayName("TSOP"), "authorsort");
    EXPECT_EQ(MetadataDisplayName("title"), "title");
}

}  // namespace

TEST_F(ProbeInfoTest, NegativeContainerStartTimeIsShown) {
    // Opus in WebM starts before zero by its encoder delay.
    const std::string file =
        fixtures::Make("engine-info-opus.webm", "-f lavfi -i sine=duration=1 -c:a libopus");
    ASSERT_TRUE(probe_.LoadFile(file)) << probe_.LastErrMsg();
    const std::string oracle = fixtures::Probe(file, "", "format=start_time");
    ASSERT_EQ(oracle.rfind("-0.", 0), 0u) << oracle;
    const std::string text = probe_.FileInfoText();
    EXPECT_NE(text.find("\r\nStartTime: " + oracle + "\r\n"), std::string::npos) << text;
}

// Older files mark a sideways picture with a "rotate" tag instead of a display matrix: any whole
// turn is read as its quarter, a tag that is no quarter turn (or no number) as none.
TEST_F(ProbeInfoTest, RotateTagsGiveTheTurnAndOtherAnglesNone) {
    AVFormatContext* ic = ff::avformat_alloc_context();
    ASSERT_NE(ic, nullptr);
    AVStream* st = ff::avformat_new_stream(ic, nullptr);
    ASSERT_NE(st, nullptr);
    EXPECT_EQ(StreamRotation(st), 0);
    const std::pair<const char*, int> cases[] = {{"90", 90},  {"-90", 270}, {"450", 90}, {"180.4", 180},
                                                 {"45", 0},   {"x", 0},     {"nan", 0},  {"-360", 0}};
    for (const auto& [tag, turn] : cases) {
        ff::av_dict_set(&st->metadata, "rotate", tag, 0);
        EXPECT_EQ(StreamRotation(st), turn) << tag;
    }
    ff::avformat_free_context(ic);
}
