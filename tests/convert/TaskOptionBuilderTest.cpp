#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "app/CommEntity.h"
#include "common/ScriptedDialogs.h"
#include "common/TestSandbox.h"
#include "convert/OutputNaming.h"
#include "convert/TaskOptionBuilder.h"
#include "engine/transcode/FFmpegTasks.h"
#include "settings/Lang.h"

namespace {
struct Profile {
    QString format;
    int width = 0, height = 0, videoBitrate = 0, frameRate = 0, sampleRate = 0, audioBitrate = 0,
        channels = 2;
    QString videoEncoder, audioEncoder;
};

std::unique_ptr<ListFileInfo> entryFor(const Profile& p, const QString& source = "/media/clip.mp4") {
    auto e = std::make_unique<ListFileInfo>();
    e->FileName = source;
    e->OutPutFileName = "clip";
    e->FileDurTime = 10000000;
    e->EndTime = 10000000;
    e->formatInfo = std::make_unique<TFormatInfo>();
    e->formatInfo->Format = p.format;
    TEncParam& enc = e->formatInfo->EncParam;
    enc.Width = p.width;
    enc.Height = p.height;
    enc.VideoBitrate = p.videoBitrate;
    enc.FrameRate = p.frameRate;
    enc.SampleRate = p.sampleRate;
    enc.AudioBitrate = p.audioBitrate;
    enc.Channels = p.channels;
    enc.VideoEncoder = p.videoEncoder;
    enc.AudioEncoder = p.audioEncoder;
    return e;
}

class TaskOptionBuilderTest : public ::testing::Test {
protected:
    void SetUp() override {
        LoadLang();
        out = sandbox.root() + "/out";
        QDir().mkpath(out);
        builder.OutputFolder = out;
    }
    void build(const ListFileInfo& e) {
        in = TInputOptions{};
        o = TOutputOptions{};
        builder.CreateOptions(o, in, e);
    }
    TestSandbox sandbox;
    ScriptedDialogs dialogs;
    TFFmpegTasks tasks;
    TOutputNaming naming;
    AppLogger log;
    TTaskOptionBuilder builder{tasks, naming, log};
    QString out;
    TInputOptions in;
    TOutputOptions o;
};
}  // namespace

TEST_F(TaskOptionBuilderTest, ContainerTableAndCommonFields) {
    struct Case {
        const char* format;
        const char* container;
    };
    for (const Case& c : {Case{".mpg", "mpeg"}, Case{".3g2", "3gp"}, Case{".dpg", "mp4"}, Case{".f4v", "flv"},
                          Case{".trp", "mpeg"}, Case{".TS", "mpeg"}, Case{".ape", "mpeg"}, Case{".mp4", ""},
                          Case{".avi", ""}}) {
        build(*entryFor({c.format}));
        EXPECT_EQ(o.FileFormat, c.container) << c.format;
        EXPECT_EQ(o.FileExt, c.format) << c.format;  // as stored, not lower-cased
        EXPECT_EQ(o.AudioVolume, 256);
        EXPECT_TRUE(o.DisableSubtitle);
        EXPECT_FALSE(o.CustomHook);
        EXPECT_EQ(in.FileName, "/media/clip.mp4");
        EXPECT_EQ(in.FileFormat, "");
    }
}

TEST_F(TaskOptionBuilderTest, ThreeGpRules) {
    build(*entryFor({".3g2", 176, 144, 96000, 15000, 22050, 32000, 2, "h263", ""}));
    EXPECT_EQ(o.FileFormat, "3gp");
    EXPECT_EQ(o.AudioChannels, 1);
    EXPECT_EQ(o.AudioSampleRate, 8000);
    EXPECT_EQ(o.FrameSize, "128x96");
    EXPECT_EQ(o.AudioBitrate, 7400);
    EXPECT_TRUE(QString::fromStdString(o.FileName).endsWith("/clip.3g2")) << o.FileName;

    build(*entryFor({".3gp", 176, 144, 96000, 15000, 22050, 32000, 2, "h263", "LIBFAAC"}));
    EXPECT_EQ(o.AudioCodec, "libfaac");
    EXPECT_EQ(o.AudioChannels, 2);
    EXPECT_EQ(o.AudioSampleRate, 22050);
    EXPECT_EQ(o.FrameSize, "176x144");
    EXPECT_EQ(o.AudioBitrate, 32000);
}

TEST_F(TaskOptionBuilderTest, FlashSampleRates) {
    build(*entryFor({".flv", 320, 240, 0, 0, 48000}));
    EXPECT_EQ(o.AudioSampleRate, 22050);
    build(*entryFor({".flv", 320, 240, 0, 0, 44100}));
    EXPECT_EQ(o.AudioSampleRate, 44100);
    build(*entryFor({".swf", 320, 240}));  // unset becomes 22050 too
    EXPECT_EQ(o.AudioSampleRate, 22050);
}

TEST_F(TaskOptionBuilderTest, DiscTargetsAndDeviceFormats) {
    auto e = entryFor({".vcd"});
    e->CategoryTag = "_disc";
    build(*e);
    EXPECT_EQ(o.TargetType, TOptionTargetType::ttVCD);
    EXPECT_EQ(o.NormType, TOptionNormType::ntAuto);
    EXPECT_EQ(o.NormDefault, TOptionNormType::ntPAL);
    EXPECT_EQ(QString::fromStdString(o.FileName), out + "/clip_disc_vcd_auto.mpg");
    build(*entryFor({".SVCD", 480, 576}));
    EXPECT_EQ(o.TargetType, TOptionTargetType::ttSVCD);
    build(*entryFor({".dvd", 720, 576}));
    EXPECT_EQ(o.TargetType, TOptionTargetType::ttDVD);
    EXPECT_TRUE(QString::fromStdString(o.FileName).endsWith("/clip_dvd_auto.mpg"));
    build(*entryFor({".dvd", 0, 0, 6000000, 29970}));  // a disc profile naming its rate names its norm
    EXPECT_EQ(o.NormType, TOptionNormType::ntNTSC);
    build(*entryFor({".vcd", 0, 0, 1150000, 25000}));
    EXPECT_EQ(o.NormType, TOptionNormType::ntPAL);
    build(*entryFor({""}));  // no format at all is not a disc
    EXPECT_EQ(o.TargetType, TOptionTargetType::ttIgnore);

    build(*entryFor({".psp", 320, 240, 500000, 29970, 44100, 96000, 2, "libx264", "aac"}));
    EXPECT_EQ(o.FileFormat, "psp");
    EXPECT_EQ(o.VideoCodec, "mpeg4");
    EXPECT_EQ(o.AudioCodec, "libfaac");
    EXPECT_EQ(o.AudioSampleRate, 24000);
    EXPECT_EQ(o.FrameRate, "15000/1001");
    EXPECT_TRUE(QString::fromStdString(o.FileName).endsWith("/clip_psp.mp4"));

    build(*entryFor({".ipod", 640, 480}));
    EXPECT_EQ(o.FrameSize, "320x240");
    EXPECT_EQ(o.VideoCodec, "mpeg4");
    EXPECT_TRUE(QString::fromStdString(o.FileName).endsWith("/clip_ipod.mp4"));

    build(*entryFor({".wmv", 320, 240}));
    EXPECT_EQ(o.VideoCodec, "wmv2");
    EXPECT_EQ(o.AudioCodec, "wmav2");
    build(*entryFor({".wma", 0, 0, 0, 0, 44100, 128000}));
    EXPECT_TRUE(o.DisableVideo);
    EXPECT_EQ(o.AudioCodec, "wmav2");
    build(*entryFor({".mkv", 640, 480}));
    EXPECT_EQ(o.VideoPreset, "libx264-default");
    build(*entryFor({".rm20", 320, 240}));
    EXPECT_EQ(o.VideoCodec, "rv20");
    EXPECT_TRUE(QString::fromStdString(o.FileName).endsWith("/clip_rv20.rm"));
}

TEST_F(TaskOptionBuilderTest, SizesRatesAndEncoders) {
    build(*entryFor({".mp4", 640, 480, 1200000, 29970, 48000, 128000, 2, "MPEG4", "Auto"}));
    EXPECT_EQ(o.FrameSize, "640x480");
    EXPECT_EQ(o.FrameRate, "29.97");
    EXPECT_EQ(o.VideoBitrate, 1200000);
    EXPECT_EQ(o.AudioBitrate, 128000);
    EXPECT_EQ(o.AudioSampleRate, 48000);
    EXPECT_EQ(o.AudioChannels, 2);
    EXPECT_EQ(o.VideoCodec, "mpeg4");
    EXPECT_EQ(o.VideoTag, "DIVX");
    EXPECT_EQ(o.AudioCodec, "");
    EXPECT_FALSE(o.DisableVideo);

    build(*entryFor({".mp4", 0, 0, 0, 25000, 0, 0, -1, "libx264", "AUTO"}));
    EXPECT_EQ(o.FrameRate, "25.00");
    EXPECT_EQ(o.FrameSize, "");
    EXPECT_EQ(o.VideoBitrate, -1);
    EXPECT_EQ(o.AudioSampleRate, -1);
    EXPECT_EQ(o.AudioChannels, -1);
    EXPECT_EQ(o.VideoCodec, "libx264");
    EXPECT_EQ(o.VideoPreset, "libx264-default");
    EXPECT_EQ(o.VideoTag, "");

    build(*entryFor({".mp3", 0, 0, 0, 0, 44100, 192000, 2, "", "libmp3lame"}));
    EXPECT_TRUE(o.DisableVideo);
    EXPECT_EQ(o.AudioCodec, "libmp3lame");
    build(*entryFor({".mp3", 0, 0, 0, 0, 44100, 192000, 2, "auto", ""}));
    EXPECT_TRUE(o.DisableVideo);  // "auto" names no encoder
}

TEST_F(TaskOptionBuilderTest, AudioSourcesIgnoreTheirPictures) {
    build(*entryFor({".mp4"}, "/music/song.MP3"));
    EXPECT_EQ(in.ExtOptions, "vn=1");
    build(*entryFor({".mp4"}, "/music/song.flac"));
    EXPECT_EQ(in.ExtOptions, "vn=1");
    build(*entryFor({".mp4"}, "/video/clip.mp4"));
    EXPECT_EQ(in.ExtOptions, "");
}

TEST_F(TaskOptionBuilderTest, PicturesAre420UnlessTheProfileKeepsTheirFormat) {
    auto e = entryFor({".mp4", 0, 0, 2000000, 0, 44100, 128000, 2, "libx264", "aac"});
    // MP4 also puts its index at the front; every output takes the source's tags.
    build(*e);
    EXPECT_EQ(o.ExtOptions, "pix_fmt=yuv420p\nmovflags=+faststart\nmap_meta_data=0:0");
    e->formatInfo->EncParam.KeepPixelFormat = true;
    build(*e);
    EXPECT_EQ(o.ExtOptions, "movflags=+faststart\nmap_meta_data=0:0");
    e->formatInfo->EncParam.PixelFormat = "yuv420p10le";
    build(*e);
    EXPECT_EQ(o.ExtOptions, "pix_fmt=yuv420p10le\nmovflags=+faststart\nmap_meta_data=0:0");
    build(*entryFor({".mp3", 0, 0, 0, 0, 44100, 128000}));  // no pictures to write
    EXPECT_EQ(o.ExtOptions, "map_meta_data=0:0");
}

TEST_F(TaskOptionBuilderTest, QualityTakesThePlaceOfTheBitRate) {
    auto e = entryFor({".mkv", 0, 0, 2000000, 0, 48000, 128000, 2, "libx265", "aac"});
    e->formatInfo->EncParam.Quality = 26;
    build(*e);
    EXPECT_EQ(o.VideoBitrate, -1);
    EXPECT_NE(o.ExtOptions.find("crf=26"), std::string::npos) << o.ExtOptions;
    EXPECT_EQ(o.VideoPreset, "");  // the x264 preset is x264's only
    // An encoder without a quality scale keeps its bit rate; HEVC in MP4 is tagged hvc1.
    e = entryFor({".mp4", 0, 0, 2000000, 0, 48000, 128000, 2, "libx265", "aac"});
    build(*e);
    EXPECT_EQ(o.VideoTag, "hvc1");
    e = entryFor({".webm", 0, 0, 900000, 0, 48000, 128000, 2, "libvpx", "libvorbis"});
    e->formatInfo->EncParam.Quality = 30;
    build(*e);
    EXPECT_EQ(o.VideoBitrate, 900000);
    EXPECT_EQ(o.ExtOptions.find("crf"), std::string::npos);
    // Fit into a size: a rate computed from the length; two passes for x264.
    e = entryFor({".mp4", 0, 0, 0, 0, 44100, 128000, 2, "libx264", "aac"});
    e->HasVideo = true;
    e->SampleRate = 44100;  // the source has sound: its bits come off the picture's
    e->formatInfo->EncParam.FitSize = 10 * 1048576;
    build(*e);
    EXPECT_EQ(o.SizeLimit, 10 * 1048576);
    EXPECT_TRUE(o.TwoPass);
    EXPECT_NEAR(o.VideoBitrate, (10 * 1048576 * 0.97 - 16384) * 8 / 10 - 128000, 2);
}

TEST_F(TaskOptionBuilderTest, ClipRangeOnlyWhenNotTheWholeFile) {
    auto e = entryFor({".mp4"});
    build(*e);
    EXPECT_EQ(in.TimeStart, kNoTimestamp);
    EXPECT_EQ(o.TimeLength, kNoTimestamp);
    e->EndTime = 4000000;
    build(*e);
    EXPECT_EQ(in.TimeStart, 0);
    EXPECT_EQ(o.TimeLength, 4000000);
    e->StartTime = 1000000;
    e->EndTime = 10000000;
    build(*e);
    EXPECT_EQ(in.TimeStart, 1000000);
    EXPECT_EQ(o.TimeLength, 9000000);
}

TEST_F(TaskOptionBuilderTest, OutputNameTakesTheTagAndAsksAboutExistingFiles) {
    auto e = entryFor({".mp4"});
    e->CategoryTag = "_HD";
    QFile f(out + "/clip_HD.mp4");
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    dialogs.answers = {7};
    build(*e);
    EXPECT_EQ(QString::fromStdString(o.FileName), out + "/clip_(new_1)_HD.mp4");
    EXPECT_EQ(dialogs.count("AskQuestion"), 1);
}

TEST_F(TaskOptionBuilderTest, AddTaskReportsTheComponentsError) {
    ASSERT_TRUE(tasks.LoadAVLib(""));
    auto e = entryFor({".mp4"}, sandbox.root() + "/missing.mp4");
    build(*e);
    QString error;
    EXPECT_FALSE(builder.AddTask(in, o, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(dialogs.calls.size(), 0);  // no window holds the run up
    EXPECT_EQ(tasks.TasksCount(), 0);
}
