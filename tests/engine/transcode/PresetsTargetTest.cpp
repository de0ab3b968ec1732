// Presets (the 36 built-in ones against the installed libx264, preset files) and the target
// option with its norms.
#include <gtest/gtest.h>

#include "engine/EngineFixtures.h"
#include "common/MediaFixtures.h"
#include "engine/transcode/FFmpeg.h"
#include "engine/transcode/FFmpegPresets.h"

namespace {

using namespace enginetest;

std::string Dict(const AVDictionary* dict, const char* key) {
    const AVDictionaryEntry* e = ff::av_dict_get(dict, key, nullptr, 0);
    return e ? e->value : "<none>";
}

std::string Apply(TFFmpeg& core, const std::string& name, const std::string& value) {
    try {
        core.SetOption(name, value);
        return "";
    } catch (const FFmpegException& e) {
        return e.what();
    }
}

class PresetsTest : public ::testing::Test {
protected:
    void SetUp() override {
        LoadTaskLibraries();
        core_.InitFFmpeg();
    }
    TFFmpeg core_;
    fixtures::TempDir dir_;
};

TEST_F(PresetsTest, EveryBuiltinPresetOpensALibx264Output) {
    ASSERT_EQ(BuiltinPresetCount(), 36);
    const std::string input = VideoOnly("25");
    for (int i = 0; i < BuiltinPresetCount(); ++i) {
        const std::string name = BuiltinPresetName(i);
        SCOPED_TRACE(name);
        TFFmpeg task;
        task.InitFFmpeg();
        ASSERT_TRUE(task.AddInput(input, nullptr)) << task.LastErrMsg();
        TOutputOptions out;
        out.VideoCodec = "libx264";
        out.VideoPreset = name;
        const std::string file = dir_.file(name + ".mkv");
        ASSERT_TRUE(task.AddOutput(file, out)) << task.LastErrMsg();
        try {
            task.SetupTranscode();  // opens libx264 with the preset's options and writes the header
        } catch (const FFmpegException& e) {
            ADD_FAILURE() << e.what();
        }
        task.CleanupRun();
        EXPECT_GT(fixtures::FileSize(file), 0);
    }
}

TEST_F(PresetsTest, ShortNameFollowsTheCodecName) {
    core_.SetOption("vcodec", "libx264");
    EXPECT_EQ(Apply(core_, "vpre", "default"), "");
    const AVDictionary* video = core_.FOptions->CodecOptions(AVMEDIA_TYPE_VIDEO);
    EXPECT_EQ(Dict(video, "me_method"), "hex");
    EXPECT_EQ(Dict(video, "direct-pred"), "1");
    EXPECT_EQ(Dict(video, "8x8dct"), "1");
    EXPECT_EQ(Dict(video, "qcomp"), "0.6");
    // Without the codec name the short name is a file name, and there is no such file.
    TFFmpeg other;
    other.InitFFmpeg();
    EXPECT_EQ(Apply(other, "vpre", "default"), "Preset \"default\" not found");
    EXPECT_EQ(Apply(other, "vpre", "LIBX264-Baseline"), "");
}

TEST_F(PresetsTest, PresetFiles) {
    const std::string good = dir_.file("good.ffpreset");
    fixtures::WriteFile(good, "  \nvcodec=mpeg4\r\n\n  g=12  \nbf=2\n");
    EXPECT_EQ(Apply(core_, "fpre", good), "");
    EXPECT_EQ(core_.Fvideo_codec_name, "mpeg4");
    EXPECT_EQ(Dict(core_.FOptions->CodecOptions(AVMEDIA_TYPE_VIDEO), "g"), "12");
    EXPECT_EQ(Dict(core_.FOptions->CodecOptions(AVMEDIA_TYPE_VIDEO), "bf"), "2");

    // A vpre value that is no built-in name is a file name too.
    EXPECT_EQ(Apply(core_, "vpre", good), "");

    const std::string missing = dir_.file("missing.ffpreset");
    EXPECT_EQ(Apply(core_, "fpre", missing), "Preset \"" + missing + "\" not found");

    const std::string syntax = dir_.file("syntax.ffpreset");
    fixtures::WriteFile(syntax, "g=12\n=5\n");
    EXPECT_EQ(Apply(core_, "fpre", syntax), syntax + ": Invalid syntax: \"=5\"");
    fixtures::WriteFile(syntax, "g\n");
    EXPECT_EQ(Apply(core_, "fpre", syntax), syntax + ": Invalid syntax: \"g\"");

    const std::string refused = dir_.file("refused.ffpreset");
    fixtures::WriteFile(refused, "g=abc\n");
    EXPECT_EQ(Apply(core_, "fpre", refused),
              refused + ": Invalid option or argument: \"g=abc\", parsed as \"g\" = \"abc\"");
    fixtures::WriteFile(refused, "nosuchthing=1\n");
    EXPECT_EQ(Apply(core_, "fpre", refused),
              refused + ": Invalid option or argument: \"nosuchthing=1\", parsed as \"nosuchthing\" = \"1\"");
}

TEST_F(PresetsTest, OldLibx264KeysInPresetFilesAreTranslated) {
    const std::string old = dir_.file("old.ffpreset");
    fixtures::WriteFile(old,
                        "coder=1\nflags=-loop\ncmp=+chroma\npartitions=+parti8x8+parti4x4-partp8x8-partb8x8\n"
                        "directpred=3\nflags2=+mixed_refs-wpred+dct8x8+fastpskip\ncqp=0\nme_method=umh\n");
    core_.SetOption("vcodec", "libx264");
    EXPECT_EQ(Apply(core_, "fpre", old), "");
    const AVDictionary* video = core_.FOptions->CodecOptions(AVMEDIA_TYPE_VIDEO);
    EXPECT_EQ(Dict(video, "x264-params"), "no-deblock=1");
    EXPECT_EQ(Dict(video, "partitions"), "i4x4,i8x8");
    EXPECT_EQ(Dict(video, "direct-pred"), "3");
    EXPECT_EQ(Dict(video, "mixed-refs"), "1");
    EXPECT_EQ(Dict(video, "weightb"), "0");
    EXPECT_EQ(Dict(video, "8x8dct"), "1");
    EXPECT_EQ(Dict(video, "fast-pskip"), "1");
    EXPECT_EQ(Dict(video, "qp"), "0");
}

class TargetTest : public ::testing::Test {
protected:
    void SetUp() override { LoadTaskLibraries(); }

    // A core with the input opened, as a task has when its output options are applied.
    std::unique_ptr<TFFmpeg> WithInput(const std::string& input) {
        auto core = std::make_unique<TFFmpeg>();
        core->InitFFmpeg();
        EXPECT_TRUE(core->AddInput(input, nullptr)) << core->LastErrMsg();
        return core;
    }
};

TEST_F(TargetTest, PalDvdWithoutGuessing) {
    LogCapture log(TLogLevel::llDebug);
    auto core = WithInput(Info2997Mkv());
    EXPECT_EQ(Apply(*core, "target", "pal-dvd"), "");
    EXPECT_FALSE(log.Contains("for target."));
    EXPECT_EQ(core->Fframe_width, 720);
    EXPECT_EQ(core->Fframe_height, 576);
    EXPECT_EQ(core->Fframe_rate.num, 25);
    EXPECT_EQ(core->Fframe_rate.den, 1);
    EXPECT_EQ(core->Fvideo_codec_name, "mpeg2video");
    EXPECT_EQ(core->Faudio_codec_name, "ac3");
    EXPECT_EQ(core->Flast_asked_format, "dvd");
    EXPECT_EQ(core->Faudio_sample_rate, 48000);
    EXPECT_FLOAT_EQ(core->Fframe_aspect_ratio, 16.0f / 9.0f);
    const AVDictionary* video = core->FOptions->CodecOptions(AVMEDIA_TYPE_VIDEO);
    EXPECT_EQ(Dict(video, "b"), "6000000");
    EXPECT_EQ(Dict(video, "maxrate"), "9000000");
    EXPECT_EQ(Dict(video, "g"), "15");
    EXPECT_EQ(Dict(core->FOptions->CodecOptions(AVMEDIA_TYPE_AUDIO), "ab"), "448000");
    EXPECT_EQ(Dict(core->FOptions->FormatOptions(), "muxrate"), "10080000");
    EXPECT_EQ(Dict(core->FOptions->FormatOptions(), "packetsize"), "2048");
}

TEST_F(TargetTest, DvdGuessesNtscFromA2997Source) {
    LogCapture log(TLogLevel::llDebug);
    auto core = WithInput(Info2997Mkv());
    EXPECT_EQ(Apply(*core, "target", "dvd"), "");
    EXPECT_TRUE(log.Contains("Assuming NTSC for target."));
    EXPECT_EQ(core->Fframe_width, 720);
    EXPECT_EQ(core->Fframe_height, 480);
    EXPECT_EQ(core->Fframe_rate.num, 30000);
    EXPECT_EQ(core->Fframe_rate.den, 1001);
    EXPECT_EQ(Dict(core->FOptions->CodecOptions(AVMEDIA_TYPE_VIDEO), "g"), "18");
}

TEST_F(TargetTest, NormsAndTargets) {
    struct Case {
        std::string input, target;
        int width, height, rateNum, rateDen;
        std::string pixFmt;
    };
    const std::vector<Case> cases = {
        {Avi25(), "vcd", 352, 288, 25, 1, ""},
        {Avi25(), "ntsc-vcd", 352, 240, 30000, 1001, ""},
        {Avi25(), "ntsc-svcd", 480, 480, 30000, 1001, ""},
        {Avi25(), "film-dvd", 720, 480, 24000, 1001, ""},
        {Avi25(), "dv", 720, 576, 25, 1, "yuv420p"},
        {Avi25(), "ntsc-dv", 720, 480, 30000, 1001, "yuv411p"},
        {Avi25(), "dv50", 720, 576, 25, 1, "yuv422p"},
        // No video to decide by: the default norm of the option text (NTSC).
        {InfoWav(), "dvd", 720, 480, 30000, 1001, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.target + " on " + c.input);
        auto core = WithInput(c.input);
        ASSERT_EQ(Apply(*core, "target", c.target), "");
        EXPECT_EQ(core->Fframe_width, c.width);
        EXPECT_EQ(core->Fframe_height, c.height);
        EXPECT_EQ(core->Fframe_rate.num, c.rateNum);
        EXPECT_EQ(core->Fframe_rate.den, c.rateDen);
        if (!c.pixFmt.empty()) {
            EXPECT_STREQ(ff::av_get_pix_fmt_name(static_cast<AVPixelFormat>(core->Fframe_pix_fmt)),
                         c.pixFmt.c_str());
        }
    }

    // VCD: 4:3 assumed, SVCD raises mono to stereo and asks for the scan offset.
    LogCapture log(TLogLevel::llDebug);
    auto vcd = WithInput(Avi25());
    vcd->SetOption("target", "vcd");
    EXPECT_FLOAT_EQ(vcd->Fframe_aspect_ratio, 4.0f / 3.0f);
    EXPECT_TRUE(log.Contains("Assuming 4:3 for aspect ratio"));
    EXPECT_EQ(vcd->Fmux_preload, 0.44f);
    auto svcd = WithInput(Avi25());
    svcd->SetOption("ac", "1");
    svcd->SetOption("target", "svcd");
    EXPECT_EQ(svcd->Faudio_channels, 2);
    EXPECT_EQ(Dict(svcd->FOptions->CodecOptions(AVMEDIA_TYPE_VIDEO), "scan_offset"), "1");
    // An aspect ratio given before is kept.
    auto kept = WithInput(Avi25());
    kept->SetOption("aspect", "16:9");
    kept->SetOption("target", "pal-vcd");
    EXPECT_FLOAT_EQ(kept->Fframe_aspect_ratio, 16.0f / 9.0f);
}

}  // namespace
