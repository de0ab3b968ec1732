// The transcoding core's option dispatcher: one table per group of options, with accepted and
// refused values and their exact texts, and the library option setter.
#include <gtest/gtest.h>

#include <functional>

#include "engine/EngineFixtures.h"
#include "common/MediaFixtures.h"
#include "engine/transcode/FFmpeg.h"

namespace {

using namespace enginetest;

struct Row {
    std::string name;
    std::string value;
    std::string error;                           // "" = accepted
    std::function<bool(const TFFmpeg&)> effect;  // checked when accepted (may be empty)
};

class OptionsTest : public ::testing::Test {
protected:
    void SetUp() override {
        LoadTaskLibraries();
        core_.InitFFmpeg();
    }

    std::string Apply(TFFmpeg& core, const std::string& name, const std::string& value) {
        try {
            core.SetOption(name, value);
            return "";
        } catch (const FFmpegException& e) {
            return e.what();
        }
    }

    // Each row on a fresh core (with the given preparation).
    void Check(const std::vector<Row>& rows, const std::function<void(TFFmpeg&)>& prepare = {}) {
        for (const Row& row : rows) {
            SCOPED_TRACE(row.name + "=" + row.value);
            TFFmpeg core;
            core.InitFFmpeg();
            if (prepare) prepare(core);
            EXPECT_EQ(Apply(core, row.name, row.value), row.error);
            if (row.error.empty() && row.effect) {
                EXPECT_TRUE(row.effect(core));
            }
        }
    }

    static std::string Dict(const AVDictionary* dict, const char* key) {
        const AVDictionaryEntry* e = ff::av_dict_get(dict, key, nullptr, 0);
        return e ? e->value : "<none>";
    }

    TFFmpeg core_;
};

TEST_F(OptionsTest, ValueKinds) {
    Check({
        {"v", "7", "", [](const TFFmpeg& c) { return c.Fverbose == 7; }},
        {"v", " 7", "", [](const TFFmpeg& c) { return c.Fverbose == 7; }},
        {"v", "$10", "", [](const TFFmpeg& c) { return c.Fverbose == 16; }},
        {"v", "0x10", "", [](const TFFmpeg& c) { return c.Fverbose == 16; }},
        {"v", "-3", "", [](const TFFmpeg& c) { return c.Fverbose == -3; }},
        {"v", "abc", "'abc' is not a valid integer value", nullptr},
        {"v", "12x", "'12x' is not a valid integer value", nullptr},
        {"v", "", "'' is not a valid integer value", nullptr},
        {"v", "7 ", "'7 ' is not a valid integer value", nullptr},
        {"ar", "99999999999", "'99999999999' is not a valid integer value", nullptr},
        {"fs", "99999999999", "", [](const TFFmpeg& c) { return c.Flimit_filesize == 99999999999LL; }},
        {"aq", "1.5", "", [](const TFFmpeg& c) { return c.Faudio_qscale == 1.5f; }},
        {"aq", "1,5", "", [](const TFFmpeg& c) { return c.Faudio_qscale == 1.5f; }},
        {"aq", "x", "'x' is not a valid floating point value", nullptr},
        {"vn", "0", "", [](const TFFmpeg& c) { return !c.Fvideo_disable; }},
        {"vn", "1", "", [](const TFFmpeg& c) { return c.Fvideo_disable; }},
        {"vn", "", "", [](const TFFmpeg& c) { return c.Fvideo_disable; }},
        {"vn", "no", "", [](const TFFmpeg& c) { return c.Fvideo_disable; }},
        {"copyts", "0", "", [](const TFFmpeg& c) { return c.Fcopy_ts; }},  // any value switches it on
        {"xerror", "", "", [](const TFFmpeg& c) { return c.Fexit_on_error; }},
        {"rc_override", "0,10,2", "",
         [](const TFFmpeg& c) { return c.Fvideo_rc_override_string == "0,10,2"; }},
    });
}

// Values the libraries would overflow (microseconds in an int, quality times 118) and options
// the libraries no longer carry out are refused by name, never ignored.
TEST_F(OptionsTest, OutOfRangeAndUnsupportedOptionsAreRefused) {
    Check({
        {"muxdelay", "2147", "", [](const TFFmpeg& c) { return c.Fmux_max_delay == 2147.0f; }},
        {"muxdelay", "2148", "The value 2148 of option muxdelay is out of range [0 - 2147]", nullptr},
        {"muxpreload", "1e300", "The value 1e300 of option muxpreload is out of range [0 - 2147]", nullptr},
        {"muxpreload", "-1", "The value -1 of option muxpreload is out of range [0 - 2147]", nullptr},
        {"aq", "1e9", "The value 1e9 of option aq is out of range [-99999 - 1e+07]", nullptr},
        {"aq", "nan", "The value nan of option aq is out of range [-99999 - 1e+07]", nullptr},
        {"sameq", "0", "", nullptr},
        {"sameq", "1",
         "Option sameq is not supported: decoders do not report the source's quality; use "
         "qscale or a codec's quality option (crf, q) instead",
         nullptr},
        {"me_threshold", "0", "", nullptr},
        {"me_threshold", "5",
         "Option me_threshold is not supported: the encoders no longer have a motion "
         "estimation threshold",
         nullptr},
        {"dframes", "3", "Option dframes is not supported: data streams are not written to the output",
         nullptr},
    });
}

TEST_F(OptionsTest, DurationsAndDates) {
    Check({
        {"t", "10", "",
         [](const TFFmpeg& c) {
             return c.Frecording_time == 10000000 && c.TotalOutputDuration() == 10000000;
         }},
        {"t", "00:01:02.5", "", [](const TFFmpeg& c) { return c.Frecording_time == 62500000; }},
        {"t", "250ms", "", [](const TFFmpeg& c) { return c.Frecording_time == 250000; }},
        {"ss", "1.5", "", [](const TFFmpeg& c) { return c.Fstart_time == 1500000; }},
        {"itsoffset", "-2", "", [](const TFFmpeg& c) { return c.Finput_ts_offset == -2000000; }},
        {"timestamp", "2020-01-02 03:04:05Z", "",
         [](const TFFmpeg& c) { return c.Frec_timestamp == 1577934245; }},
        {"t", "abc", "Invalid duration specification for t: abc", nullptr},
        {"ss", "1:2:3:4", "Invalid duration specification for ss: 1:2:3:4", nullptr},
        {"itsoffset", "", "Invalid duration specification for itsoffset: ", nullptr},
        {"timestamp", "someday", "Invalid date specification for timestamp: someday", nullptr},
    });
}

TEST_F(OptionsTest, VideoOptions) {
    auto rate = [](int num, int den) {
        return [=](const TFFmpeg& c) { return c.Fframe_rate.num == num && c.Fframe_rate.den == den; };
    };
    auto size = [](int w, int h) {
        return [=](const TFFmpeg& c) { return c.Fframe_width == w && c.Fframe_height == h; };
    };
    Check({
        {"r", "29.97", "", rate(2997, 100)},
        {"r", "29,97", "", rate(2997, 100)},
        {"r", "ntsc", "", rate(30000, 1001)},
        {"r", "15000/1001", "", rate(15000, 1001)},
        {"r", "fast", "Incorrect frame rate", nullptr},
        {"s", "640x480", "", size(640, 480)},
        {"s", "vga", "", size(640, 480)},
        {"s", "big", "Incorrect frame size", nullptr},
        {"s", "640x", "Incorrect frame size", nullptr},
        {"aspect", "16:9", "",
         [](const TFFmpeg& c) { return std::abs(c.Fframe_aspect_ratio - 16.0f / 9) < 1e-6; }},
        {"aspect", "1.5", "", [](const TFFmpeg& c) { return c.Fframe_aspect_ratio == 1.5f; }},
        {"aspect", "4:0", "Incorrect aspect ratio specification.", nullptr},
        {"aspect", "wide", "Incorrect aspect ratio specification.", nullptr},
        {"pix_fmt", "yuv422p", "", [](const TFFmpeg& c) { return c.Fframe_pix_fmt == AV_PIX_FMT_YUV422P; }},
        {"pix_fmt", "yuv999", "Unknown pixel format requested: yuv999", nullptr},
        {"qscale", "3", "", [](const TFFmpeg& c) { return c.Fvideo_qscale == 3.0f; }},
        {"qscale", "0", "qscale must be > 0.0 and <= 255", nullptr},
        {"qscale", "255.5", "qscale must be > 0.0 and <= 255", nullptr},
        {"pass", "2", "", [](const TFFmpeg& c) { return c.Fdo_pass == 2; }},
        {"pass", "3", "pass number can be only 1 or 2", nullptr},
        {"vtag", "DIVX", "",
         [](const TFFmpeg& c) { return c.Fvideo_codec_tag == MKTAG('D', 'I', 'V', 'X'); }},
        {"vtag", "DIV", "video tag parameter must be 4 chars", nullptr},
        {"atag", "ab", "audio tag parameter must be 4 chars", nullptr},
        {"stag", "abcde", "subtitle tag parameter must be 4 chars", nullptr},
        {"padcolor", "255", "",  // pure red in studio-range YUV
         [](const TFFmpeg& c) {
             return c.Fpadcolor[0] == 81 && c.Fpadcolor[1] == 90 && c.Fpadcolor[2] == 240;
         }},
        {"padtop", "-5", "", [](const TFFmpeg& c) { return c.Fframe_padtop == 0; }},
        {"padright", "8", "", [](const TFFmpeg& c) { return c.Fframe_padright == 8; }},
        {"vcodec", "copy", "",
         [](const TFFmpeg& c) { return c.Fvideo_stream_copy && c.Fvideo_codec_name.empty(); }},
        {"vdt", "16", "", [](const TFFmpeg& c) { return c.Fvideo_discard == 16; }},
        {"dc", "10", "", [](const TFFmpeg& c) { return c.Fintra_dc_precision == 10; }},
        {"vfilters", "hflip,vflip", "", [](const TFFmpeg& c) { return c.Fvfilters == "hflip,vflip"; }},
    });

    std::string matrix;
    for (int i = 0; i < 63; ++i)
        matrix += std::to_string(16 + i) + ",";
    Check({
        {"intra_matrix", matrix + "99", "",
         [](const TFFmpeg& c) { return c.Fintra_matrix.size() == 64 && c.Fintra_matrix[63] == 99; }},
        {"inter_matrix", "1,2,3", "Syntax error in matrix \"1,2,3\" at coeff 2", nullptr},
    });
}

TEST_F(OptionsTest, CropChecksAgainstTheCurrentFrame) {
    Check(
        {
            {"croptop", "600",
             "Vertical crop dimensions are outside the range of the original image.\nRemember to crop first "
             "and scale "
             "second.",
             nullptr},
            {"cropbottom", "576",
             "Vertical crop dimensions are outside the range of the original image.\nRemember to crop first "
             "and scale "
             "second.",
             nullptr},
            {"cropleft", "720",
             "Horizontal crop dimensions are outside the range of the original image.\nRemember to crop "
             "first and "
             "scale second.",
             nullptr},
            {"croptop", "16", "",
             [](const TFFmpeg& c) { return c.Fframe_topBand == 16 && c.Fframe_height == 560; }},
            {"cropright", "20", "",
             [](const TFFmpeg& c) { return c.Fframe_rightBand == 20 && c.Fframe_width == 700; }},
            {"cropleft", "-1", "", [](const TFFmpeg& c) { return c.Fframe_width == 720; }},
        },
        [](TFFmpeg& c) { c.SetOption("s", "720x576"); });

    // The bands add up: the second band is checked against what the first left.
    core_.SetOption("s", "720x576");
    core_.SetOption("croptop", "300");
    EXPECT_EQ(
        Apply(core_, "cropbottom", "276"),
        "Vertical crop dimensions are outside the range of the original image.\nRemember to crop first and "
        "scale second.");
}

TEST_F(OptionsTest, AudioOptions) {
    Check({
        {"ar", "22050", "", [](const TFFmpeg& c) { return c.Faudio_sample_rate == 22050; }},
        {"ar", "0", "", [](const TFFmpeg& c) { return c.Faudio_sample_rate == 44100; }},
        {"ar", "-8000", "", [](const TFFmpeg& c) { return c.Faudio_sample_rate == 44100; }},
        {"ac", "1", "", [](const TFFmpeg& c) { return c.Faudio_channels == 1; }},
        {"ac", "0", "", [](const TFFmpeg& c) { return c.Faudio_channels == 2; }},
        {"vol", "512", "", [](const TFFmpeg& c) { return c.Faudio_volume == 512; }},
        {"sample_fmt", "s16", "", [](const TFFmpeg& c) { return c.Faudio_sample_fmt == AV_SAMPLE_FMT_S16; }},
        {"sample_fmt", "s17", "", [](const TFFmpeg& c) { return c.Faudio_sample_fmt == AV_SAMPLE_FMT_NONE; }},
        {"async", "1", "", [](const TFFmpeg& c) { return c.Faudio_sync_method == 1; }},
        {"vsync", "2", "", [](const TFFmpeg& c) { return c.Fvideo_sync_method == 2; }},
        {"adrift_threshold", "0.25", "", [](const TFFmpeg& c) { return c.Faudio_drift_threshold == 0.25f; }},
        {"alang", "eng", "", [](const TFFmpeg& c) { return c.Faudio_language == "eng"; }},
        {"acodec", "libfaac", "", [](const TFFmpeg& c) { return c.Faudio_codec_name == "libfaac"; }},
    });
}

TEST_F(OptionsTest, MapsMetadataAndScales) {
    Check({
        {"map", "0.1", "",
         [](const TFFmpeg& c) {
             const TStreamMap& m = c.Fstream_maps.at(0);
             return m.file_index == 0 && m.stream_index == 1 && m.sync_file_index == 0 &&
                    m.sync_stream_index == 1;
         }},
        {"map", "1.0:0.2", "",
         [](const TFFmpeg& c) {
             const TStreamMap& m = c.Fstream_maps.at(0);
             return m.file_index == 1 && m.stream_index == 0 && m.sync_file_index == 0 &&
                    m.sync_stream_index == 2;
         }},
        {"map_meta_data", "0:1", "",
         [](const TFFmpeg& c) {
             return c.Fmeta_data_maps.at(0).out_file == 0 && c.Fmeta_data_maps.at(0).in_file == 1;
         }},
        {"itsscale", "3:2.5", "", [](const TFFmpeg& c) { return c.Fnext_input_ts_scale[3] == 2.5; }},
        {"itsscale", "20:1", "stream index over MAX_STREAMS(20)", nullptr},
        {"metadata", "title=A=B", "",
         [](const TFFmpeg& c) {
             return c.Fmetadata.at(0) == std::make_pair(std::string("title"), std::string("A=B"));
         }},
        {"metadata", "title", "Missing =", nullptr},
        {"newvideo", "", "At least one output file must be specified", nullptr},
        {"newaudio", "", "At least one output file must be specified", nullptr},
        {"f", "pgmyuv", "",
         [](const TFFmpeg& c) { return c.Flast_asked_format == "image2" && c.Fpgmyuv_compatibility_hack; }},
        {"f", "matroska", "", [](const TFFmpeg& c) { return c.Flast_asked_format == "matroska"; }},
        {"loglevel", "loud", "'loud' is not a valid integer value", nullptr},
    });
}

TEST_F(OptionsTest, RefusedAndLoggedOnlyNames) {
    Check({
        {"threads", "2", "TODO: option - threads", nullptr},
        {"threads", "", "TODO: option - threads", nullptr},
        {"vhook", "vhook/drawtext.so|-f font.ttf",
         "Failed to add video hook function: vhook/drawtext.so|-f font.ttf", nullptr},
        {"absf", "nosuch", "Unknown bitstream filter nosuch", nullptr},
        {"vbsf", "h264_mp4toannexb", "",
         [](const TFFmpeg& c) { return c.Fvideo_bitstream_filters == "h264_mp4toannexb"; }},
        {"vbsf", "", "", [](const TFFmpeg& c) { return c.Fvideo_bitstream_filters.empty(); }},
        {"sbsf", "=x", "", [](const TFFmpeg& c) { return c.Fsubtitle_bitstream_filters.empty(); }},
        {"target", "pal-vhs", "Unknown target type", nullptr},
    });

    LogCapture log(TLogLevel::llDebug);
    for (const char* name :
         {"L", "h", "version", "formats", "codecs", "bsfs", "protocols", "filters", "i", "y", "benchmark"}) {
        EXPECT_EQ(Apply(core_, name, "x"), "");
        EXPECT_TRUE(log.Contains(std::string("Do nothing: option - ") + name)) << name;
    }
    EXPECT_EQ(Apply(core_, "timelimit", "10"), "");
    EXPECT_TRUE(log.Contains("Warning: -timelimit not implemented on Windows"));
    EXPECT_EQ(Apply(core_, "f", "pgmyuv"), "");
    EXPECT_TRUE(log.Contains("pgmyuv format is deprecated, use image2"));
    // A name nothing knows is ignored without a word.
    const size_t before = log.Lines().size();
    EXPECT_EQ(Apply(core_, "no_such_option_anywhere", "1"), "");
    EXPECT_EQ(log.Lines().size(), before);
}

TEST_F(OptionsTest, LibraryOptionSetter) {
    LogCapture log(TLogLevel::llDebug);
    const AVDictionary* video = core_.FOptions->CodecOptions(AVMEDIA_TYPE_VIDEO);
    (void)video;
    EXPECT_TRUE(core_.SetLibOption("g", "12"));
    EXPECT_EQ(Dict(core_.FOptions->CodecOptions(AVMEDIA_TYPE_VIDEO), "g"), "12");

    EXPECT_FALSE(core_.SetLibOption("g", "abc"));
    EXPECT_TRUE(log.Contains("Invalid value \"abc\" for option \"g\"\n"));
    EXPECT_EQ(Dict(core_.FOptions->CodecOptions(AVMEDIA_TYPE_VIDEO), "g"), "12");

    EXPECT_FALSE(core_.SetLibOption("", "1"));
    EXPECT_FALSE(core_.SetLibOption("g", "  "));

    // "b" is the video bit rate only; "vb" reaches it through the prefix; "ab" is the audio one.
    EXPECT_TRUE(core_.SetLibOption("b", "500000"));
    EXPECT_EQ(Dict(core_.FOptions->CodecOptions(AVMEDIA_TYPE_VIDEO), "b"), "500000");
    EXPECT_EQ(Dict(core_.FOptions->CodecOptions(AVMEDIA_TYPE_AUDIO), "b"), "<none>");
    EXPECT_TRUE(core_.SetLibOption("vb", "300000"));
    EXPECT_EQ(Dict(core_.FOptions->CodecOptions(AVMEDIA_TYPE_VIDEO), "b"), "300000");
    EXPECT_TRUE(core_.SetLibOption("ab", "96000"));
    EXPECT_EQ(Dict(core_.FOptions->CodecOptions(AVMEDIA_TYPE_AUDIO), "ab"), "96000");
    EXPECT_EQ(Dict(core_.FOptions->CodecOptions(AVMEDIA_TYPE_VIDEO), "ab"), "<none>");

    // Flags accumulate.
    EXPECT_TRUE(core_.SetLibOption("flags", "+qpel"));
    EXPECT_TRUE(core_.SetLibOption("flags", "+gray"));
    EXPECT_EQ(Dict(core_.FOptions->CodecOptions(AVMEDIA_TYPE_VIDEO), "flags"), "+qpel+gray");

    // Format and scaler options.
    EXPECT_TRUE(core_.SetLibOption("packetsize", "2324"));
    EXPECT_EQ(Dict(core_.FOptions->FormatOptions(), "packetsize"), "2324");
    EXPECT_TRUE(core_.SetLibOption("muxrate", "1411200"));  // a muxer's own option
    EXPECT_FALSE(core_.SetLibOption("packetsize", "big"));
    EXPECT_TRUE(core_.SetLibOption("sws_flags", "bilinear"));
    EXPECT_EQ(core_.FOptions->ScalerFlags(), SWS_BILINEAR);

    // An encoder's own options: checked against the chosen encoder.
    core_.SetOption("vcodec", "libx264");
    EXPECT_TRUE(core_.SetLibOption("preset", "veryfast"));
    EXPECT_EQ(Dict(core_.FOptions->CodecOptions(AVMEDIA_TYPE_VIDEO), "preset"), "veryfast");
    EXPECT_FALSE(core_.SetLibOption("crf", "high"));
    EXPECT_TRUE(core_.SetLibOption("crf", "20"));

    EXPECT_FALSE(core_.SetLibOption("no_such_option_anywhere", "1"));
    EXPECT_EQ(core_.FOptions->opt_names().front(), "g");
}

TEST_F(OptionsTest, BitrateWarning) {
    const char* kWarning =
        "WARNING: The bitrate parameter is set too low. It takes bits/s as argument, not kbits/s";
    {
        LogCapture log(TLogLevel::llDebug);
        core_.SetOption("ab", "128");
        EXPECT_TRUE(log.Contains(kWarning));
        EXPECT_EQ(Dict(core_.FOptions->CodecOptions(AVMEDIA_TYPE_AUDIO), "ab"), "128");
    }
    {
        LogCapture log(TLogLevel::llDebug);
        core_.SetOption("ab", "128000");
        core_.SetOption("b", "800000");
        core_.SetOption("vb", "800000");
        EXPECT_FALSE(log.Contains(kWarning));
    }
    {
        LogCapture log(TLogLevel::llDebug);
        core_.SetOption("vb", "800");
        EXPECT_TRUE(log.Contains(kWarning));
    }
}

TEST_F(OptionsTest, DebugFlagRaisesTheLogLevel) {
    LogCapture log(TLogLevel::llInfo);
    EXPECT_TRUE(core_.SetLibOption("debug", "pict"));
    EXPECT_EQ(GetFFLogger().LogLevel(), TLogLevel::llDebug);
}

}  // namespace
