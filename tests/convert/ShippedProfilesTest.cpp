// Every profile of the shipped catalogue converts a generated 5-second clip with sound through
// the option builder and the engine; ffprobe checks the result against the profile.
#include <gtest/gtest.h>

#include <QFile>
#include <QRegularExpression>
#include <cmath>

#include "ConvertTestSupport.h"
#include "common/MediaFixtures.h"
#include "convert/OutputNaming.h"
#include "convert/TaskOptionBuilder.h"
#include "profiles/ParaInfo.h"

namespace {
// Profile IDs of the shipped parameter table, read without Qt so that the cases can be listed.
std::vector<int> shippedIds() {
    const std::string xml = fixtures::ReadFile(VANTO_SOURCE_DIR "/data/ParaInfo.dll");
    std::vector<int> ids;
    const std::string marker = "<FormatInfo ID=\"";
    for (size_t p = xml.find(marker); p != std::string::npos; p = xml.find(marker, p + 1))
        ids.push_back(std::atoi(xml.c_str() + p + marker.size()));
    return ids;
}

std::string containerOf(const std::string& format, const std::string& forced) {
    static const std::map<std::string, std::string> byFormat{{".mp4", "mov,mp4,m4a,3gp,3g2,mj2"},
                                                             {".m4a", "mov,mp4,m4a,3gp,3g2,mj2"},
                                                             {".mov", "mov,mp4,m4a,3gp,3g2,mj2"},
                                                             {".psp", "mov,mp4,m4a,3gp,3g2,mj2"},
                                                             {".ipod", "mov,mp4,m4a,3gp,3g2,mj2"},
                                                             {".3gp", "mov,mp4,m4a,3gp,3g2,mj2"},
                                                             {".3g2", "mov,mp4,m4a,3gp,3g2,mj2"},
                                                             {".m4v", "mov,mp4,m4a,3gp,3g2,mj2"},
                                                             {".mkv", "matroska,webm"},
                                                             {".webm", "matroska,webm"},
                                                             {".avi", "avi"},
                                                             {".wmv", "asf"},
                                                             {".wma", "asf"},
                                                             {".asf", "asf"},
                                                             {".flv", "flv"},
                                                             {".f4v", "flv"},
                                                             {".swf", "swf"},
                                                             {".mpg", "mpeg"},
                                                             {".vcd", "mpeg"},
                                                             {".svcd", "mpeg"},
                                                             {".dvd", "mpeg"},
                                                             {".ts", "mpeg"},
                                                             {".mp3", "mp3"},
                                                             {".mp2", "mp3"},
                                                             {".aac", "aac"},
                                                             {".wav", "wav"},
                                                             {".flac", "flac"},
                                                             {".ogg", "ogg"},
                                                             {".opus", "ogg"},
                                                             {".ac3", "ac3"},
                                                             {".rm", "rm"}};
    if (forced == "mpeg") return "mpeg";
    auto it = byFormat.find(format);
    return it == byFormat.end() ? std::string() : it->second;
}

std::string codecOf(const std::string& encoder) {
    static const std::map<std::string, std::string> codecs{{"libx264", "h264"},
                                                           {"libx265", "hevc"},
                                                           {"libsvtav1", "av1"},
                                                           {"libaom-av1", "av1"},
                                                           {"libxvid", "mpeg4"},
                                                           {"mpeg4", "mpeg4"},
                                                           {"libvpx-vp9", "vp9"},
                                                           {"libvpx", "vp8"},
                                                           {"libtheora", "theora"},
                                                           {"flv", "flv1"},
                                                           {"h263", "h263"},
                                                           {"h263p", "h263p"},
                                                           {"wmv1", "wmv1"},
                                                           {"wmv2", "wmv2"},
                                                           {"msmpeg4", "msmpeg4v3"},
                                                           {"mpeg1video", "mpeg1video"},
                                                           {"mpeg2video", "mpeg2video"},
                                                           {"rv10", "rv10"},
                                                           {"rv20", "rv20"},
                                                           {"libmp3lame", "mp3"},
                                                           {"aac", "aac"},
                                                           {"libfaac", "aac"},
                                                           {"libvorbis", "vorbis"},
                                                           {"vorbis", "vorbis"},
                                                           {"libopus", "opus"},
                                                           {"opus", "opus"},
                                                           {"ac3", "ac3"},
                                                           {"mp2", "mp2"},
                                                           {"wmav1", "wmav1"},
                                                           {"wmav2", "wmav2"},
                                                           {"flac", "flac"},
                                                           {"pcm_s16le", "pcm_s16le"}};
    auto it = codecs.find(encoder);
    return it == codecs.end() ? encoder : it->second;
}

double rateOf(const std::string& text) {
    const auto slash = text.find('/');
    if (slash == std::string::npos) return std::atof(text.c_str());
    const double den = std::atof(text.c_str() + slash + 1);
    return den == 0 ? 0 : std::atof(text.c_str()) / den;
}

class ShippedProfile : public ::testing::TestWithParam<int> {};
}  // namespace

TEST_P(ShippedProfile, ConvertsAClipAsTheProfileSays) {
    ConvertFixture f;
    const int id = GetParam();
    // Pictures larger than full HD take many times as long to encode: one second shows as much.
    const std::unique_ptr<TFormatInfo> params = GetFormatInfo(id);
    const bool large = params && params->EncParam.Width * params->EncParam.Height > 1920 * 1080;
    const double seconds = large ? 1.0 : 5.0;
    const QString source = large ? ConvertFixture::Clip("profiles_source_1s.mp4", 1, 320, 240, 25)
                                 : ConvertFixture::Clip("profiles_source.mp4", 5, 320, 240, 25);
    std::unique_ptr<ConvertRecord> record = f.Record(source, id, QStringLiteral("p%1").arg(id));
    ASSERT_TRUE(record->PFileInfo->formatInfo) << "no parameters for " << id;
    ListFileInfo& entry = *record->PFileInfo;
    entry.OutPutFileName = record->TargetFileName;

    TOutputNaming naming;
    AppLogger log;
    TTaskOptionBuilder builder(f.tasks, naming, log);
    builder.OutputFolder = f.out;
    TOutputOptions o;
    TInputOptions in;
    builder.CreateOptions(o, in, entry);
    ASSERT_TRUE(builder.AddTask(in, o)) << f.tasks.LastErrMsg();
    TTerminateInfo result;
    f.tasks.OnTerminate = [&](TCustomFFmpegTasks*, const TTerminateInfo& info) {
        if (info.TaskIndex == 0) result = info;
    };
    f.tasks.Start(0);
    ASSERT_TRUE(result.Finished) << entry.formatInfo->Name.toStdString() << ": " << result.ExceptionMsg;
    ASSERT_FALSE(result.Exception) << result.ExceptionMsg;

    const std::string file = o.FileName;
    const std::string format = entry.formatInfo->Format.toLower().toStdString();
    const std::string name = entry.formatInfo->Name.toStdString();
    SCOPED_TRACE(name + " (" + format + ") -> " + file);
    EXPECT_EQ(fixtures::Probe(file, "", "format=format_name"), containerOf(format, o.FileFormat));
    // Raw ADTS and SWF headers carry no exact duration: decode those.
    const bool estimated = format == ".aac" || format == ".swf";
    EXPECT_NEAR(estimated ? fixtures::DecodedDuration(file) : fixtures::ProbeDuration(file), seconds, 0.2);

    // Disc targets decide their own codecs, sizes and rates; the source's 25 fps picks PAL.
    std::string videoCodec = codecOf(o.VideoCodec), audioCodec = codecOf(o.AudioCodec);
    std::string size = o.FrameSize;
    double rate = o.FrameRate.empty() ? 25.0 : rateOf(o.FrameRate);
    int sampleRate = o.AudioSampleRate;
    if (o.TargetType != TOptionTargetType::ttIgnore) {
        // The source's 25 fps picks PAL unless the profile asked for an NTSC rate.
        const bool ntsc = o.NormType == TOptionNormType::ntNTSC;
        if (o.TargetType == TOptionTargetType::ttVCD)
            videoCodec = "mpeg1video", audioCodec = "mp2", size = ntsc ? "352x240" : "352x288",
            sampleRate = 44100;
        else if (o.TargetType == TOptionTargetType::ttSVCD)
            videoCodec = "mpeg2video", audioCodec = "mp2", size = ntsc ? "480x480" : "480x576",
            sampleRate = 44100;
        else
            videoCodec = "mpeg2video", audioCodec = "ac3", size = ntsc ? "720x480" : "720x576",
            sampleRate = 48000;
        if (!o.FrameSize.empty()) size = o.FrameSize;
        rate = ntsc ? 30000.0 / 1001 : 25.0;
    }
    if (size.empty()) size = "320x240";

    const std::string video = fixtures::Probe(file, "v:0", "stream=codec_name");
    if (o.DisableVideo && o.TargetType == TOptionTargetType::ttIgnore) {
        EXPECT_EQ(video, "");
    } else {
        if (!videoCodec.empty()) {
            EXPECT_EQ(video, videoCodec);
        }
        EXPECT_EQ(fixtures::Probe(file, "v:0", "stream=width") + "x" +
                      fixtures::Probe(file, "v:0", "stream=height"),
                  size);
        const double got = rateOf(fixtures::Probe(file, "v:0", "stream=avg_frame_rate"));
        EXPECT_NEAR(got, rate, rate * 0.02) << "frame rate";
        // Pictures every player decodes, in the H.264 profile and level the device takes.
        const TEncParam& p = entry.formatInfo->EncParam;
        if (!p.KeepPixelFormat) {
            EXPECT_EQ(fixtures::Probe(file, "v:0", "stream=pix_fmt"),
                      p.PixelFormat.isEmpty() ? std::string("yuv420p") : p.PixelFormat.toStdString());
        }
        if (video == "h264" && !p.VideoProfile.isEmpty()) {
            QString level = p.VideoLevel;
            EXPECT_TRUE(QString::fromStdString(fixtures::Probe(file, "v:0", "stream=profile"))
                            .endsWith(p.VideoProfile, Qt::CaseInsensitive));
            EXPECT_EQ(fixtures::Probe(file, "v:0", "stream=level"), level.remove(QLatin1Char('.')).toStdString());
        }
    }
    // MP4 and QuickTime files keep their index at the front, so they play while they download.
    if (containerOf(format, o.FileFormat) == "mov,mp4,m4a,3gp,3g2,mj2") {
        const std::string bytes = fixtures::ReadFile(file);
        EXPECT_LT(bytes.find("moov"), bytes.find("mdat")) << "index at the front";
    }
    const TEncParam& p = entry.formatInfo->EncParam;
    if (!p.PixelFormat.isEmpty()) {
        EXPECT_EQ(fixtures::Probe(file, "v:0", "stream=pix_fmt"), p.PixelFormat.toStdString());
    }
    if (o.VideoTag == "hvc1") {
        EXPECT_EQ(fixtures::Probe(file, "v:0", "stream=codec_tag_string"), "hvc1");
    }
    const std::string audio = fixtures::Probe(file, "a:0", "stream=codec_name");
    ASSERT_FALSE(audio.empty()) << "no sound";
    if (!audioCodec.empty()) {
        EXPECT_EQ(audio, audioCodec);
    }
    if (sampleRate > 0) {
        EXPECT_EQ(fixtures::Probe(file, "a:0", "stream=sample_rate"), std::to_string(sampleRate));
    }
    if (o.AudioChannels > 0) {
        EXPECT_EQ(fixtures::Probe(file, "a:0", "stream=channels"), std::to_string(o.AudioChannels));
    }
}

INSTANTIATE_TEST_SUITE_P(Catalogue, ShippedProfile, ::testing::ValuesIn(shippedIds()),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return std::to_string(info.param);
                         });
