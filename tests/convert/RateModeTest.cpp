// Constant quality and the rate texts behind it: each encoder with a quality scale makes a
// smaller file at its "Smallest" point than at its "Best" point, through the option builder and
// the engine; ffprobe checks what came out.
#include <gtest/gtest.h>

#include <QFileInfo>

#include "ConvertTestSupport.h"
#include "common/MediaFixtures.h"
#include "convert/OutputNaming.h"
#include "convert/QualityEstimate.h"
#include "convert/TaskOptionBuilder.h"
#include "profiles/QualityScale.h"

namespace {
// Converts `source` with `profile` into the fixture's output folder; the output's path, or ""
// with a test failure.
std::string convertEntry(ConvertFixture& f, ListFileInfo& entry, const TFormatInfo& profile, const QString& name) {
    entry.formatInfo = profile.Clone();
    entry.OutPutFileName = name;
    return f.Convert(entry);
}

std::string convert(ConvertFixture& f, const QString& source, const TFormatInfo& profile, const QString& name) {
    std::unique_ptr<ConvertRecord> record = f.Record(source, 1055, name);
    return convertEntry(f, *record->PFileInfo, profile, name);
}

TFormatInfo qualityProfile(const char* format, const char* encoder, int quality) {
    TFormatInfo p;
    p.ID = 1055;
    p.Format = QString::fromLatin1(format);
    p.EncParam.VideoEncoder = QString::fromLatin1(encoder);
    p.EncParam.VideoBitrate = 4000000;  // must give way to the quality
    p.EncParam.AudioBitrate = 64000;
    p.EncParam.SampleRate = 44100;
    p.EncParam.Channels = 1;
    p.EncParam.AudioEncoder = QStringLiteral("aac");
    p.EncParam.Quality = quality;
    return p;
}
}  // namespace

TEST(QualityScale, TextsAndScales) {
    // Sizes as the size column counts them.
    const std::pair<const char*, qint64> sizes[] = {{"25M", 25 * 1048576LL}, {"800k", 800 * 1024LL},
                                                    {"1G", 1073741824LL},   {"1.5MB", 1572864LL},
                                                    {"123456", 123456LL},   {" 2 MiB ", 2097152LL}};
    for (const auto& [text, bytes] : sizes)
        EXPECT_EQ(ParseSizeText(QString::fromLatin1(text)).value_or(-1), bytes) << text;
    for (const char* bad : {"", "M", "-5M", "0", "12X", "1.5"})
        EXPECT_FALSE(ParseSizeText(QString::fromLatin1(bad))) << bad;
    EXPECT_EQ(SizeMbText(25 * 1048576LL), "25 MB");

    // VP9 and the AV1 encoders need the bit rate at 0 to be in pure quality mode.
    EXPECT_EQ(QualityOptionText("libx264", 23), "crf=23");
    EXPECT_EQ(QualityOptionText("libvpx-vp9", 99), "crf=63\nb=0");
    EXPECT_EQ(QualityOptionText("MPEG4", 0), "qscale=1");
    EXPECT_EQ(QualityOptionText("libvpx", 30), "");
    for (const char* e : {"libx264", "libx265", "libvpx-vp9", "libsvtav1", "libaom-av1", "mpeg4"}) {
        const TQualityScale* s = QualityScaleFor(e);
        ASSERT_TRUE(s) << e;
        for (int i = 1; i < 5; ++i)
            EXPECT_LT(s->Points[i], s->Points[i - 1]) << e << ": the names run from Smallest to Best";
        EXPECT_GE(s->Points[4], s->Best);
        EXPECT_LE(s->Points[0], s->Smallest);
    }
    TFormatInfo webm;
    webm.Format = ".webm";
    EXPECT_EQ(EffectiveVideoEncoder(webm), "libvpx-vp9");
    webm.VideoEnclist = "Auto, libsvtav1";
    EXPECT_EQ(EffectiveVideoEncoder(webm), "libsvtav1");
}

TEST(QualityMode, LowerQualityGivesSmallerFilesOnEveryEncoder) {
    ConvertFixture f;
    const QString source = QString::fromStdString(
        fixtures::Make("quality_source.mkv", "-f lavfi -i testsrc2=size=192x108:rate=25:duration=2 "
                                             "-f lavfi -i sine=frequency=440:duration=2 -c:v ffv1 -c:a flac"));
    struct Case {
        const char* encoder;
        const char* format;
        const char* codec;
    };
    const Case cases[] = {{"libx264", ".mp4", "h264"},        {"libx265", ".mkv", "hevc"},
                          {"libvpx-vp9", ".mkv", "vp9"},      {"libsvtav1", ".mkv", "av1"},
                          {"libaom-av1", ".mkv", "av1"},      {"mpeg4", ".avi", "mpeg4"},
                          {"mpeg2video", ".mkv", "mpeg2video"}, {"mpeg1video", ".mkv", "mpeg1video"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.encoder);
        const TQualityScale* scale = QualityScaleFor(c.encoder);
        ASSERT_TRUE(scale);
        const std::string best = convert(f, source, qualityProfile(c.format, c.encoder, scale->Points[4]),
                                         QStringLiteral("%1_best").arg(c.encoder));
        const std::string smallest = convert(f, source, qualityProfile(c.format, c.encoder, scale->Points[0]),
                                             QStringLiteral("%1_smallest").arg(c.encoder));
        ASSERT_FALSE(best.empty() || smallest.empty());
        EXPECT_EQ(fixtures::Probe(best, "v:0", "stream=codec_name"), c.codec);
        EXPECT_LT(fixtures::FileSize(smallest) * 5 / 4, fixtures::FileSize(best))
            << "best " << fixtures::FileSize(best) << " bytes, smallest " << fixtures::FileSize(smallest);
        std::printf("%-11s best (%d) %lld bytes, smallest (%d) %lld bytes\n", c.encoder, scale->Points[4],
                    fixtures::FileSize(best), scale->Points[0], fixtures::FileSize(smallest));
    }
}

TEST(FitSize, PlanAndRefusal) {
    // 10 s with 64 kbit/s of sound into 1 MB: what is left after the overhead goes to the picture.
    const auto plan = TTaskOptionBuilder::PlanFit(1048576, 10.0, true, 64000, 0);
    EXPECT_TRUE(plan.Possible);
    EXPECT_NEAR(plan.VideoBitrate, (1048576 * 0.97 - 16384) * 8 / 10 - 64000, 2);
    EXPECT_EQ(TTaskOptionBuilder::PlanFit(1048576, 10.0, true, 64000, 300000).VideoBitrate, 300000);
    // Too small: under 32 kbit/s of picture; the smallest size that works is just enough for it.
    const auto tooSmall = TTaskOptionBuilder::PlanFit(100000, 20.0, true, 64000, 0);
    EXPECT_FALSE(tooSmall.Possible);
    const auto justEnough = TTaskOptionBuilder::PlanFit(tooSmall.Smallest, 20.0, true, 64000, 0);
    EXPECT_TRUE(justEnough.Possible);
    EXPECT_NEAR(justEnough.VideoBitrate, 32000, 8);
    // Sound alone gives way first: its rate drops to what fits.
    EXPECT_LT(TTaskOptionBuilder::PlanFit(60000, 3.0, false, 128000, 0).AudioBitrate, 128000);

    ListFileInfo entry;
    entry.FileName = "/media/talk.mp4";
    entry.HasVideo = true;
    entry.SampleRate = 44100;
    entry.FileDurTime = entry.EndTime = 120000000;  // 2 minutes
    entry.formatInfo = std::make_unique<TFormatInfo>(qualityProfile(".mp4", "libx264", -1));
    entry.formatInfo->EncParam.FitSize = 1048576;
    const QString refusal = TTaskOptionBuilder::FitRefusal(entry);
    EXPECT_TRUE(refusal.startsWith("talk.mp4: 1 MB is too small for")) << refusal.toStdString();
    EXPECT_TRUE(refusal.contains("the smallest size that works is 1.50 MB")) << refusal.toStdString();
    entry.formatInfo->EncParam.FitSize = 2 * 1048576;
    EXPECT_EQ(TTaskOptionBuilder::FitRefusal(entry), "");

    // A merge is one output as long as all its clips: two that fit alone may not fit together.
    ListFileInfo second;
    second.FileName = "/media/song.mp3";
    second.SampleRate = 44100;
    second.FileDurTime = second.EndTime = 60000000;
    entry.StartTime = 30000000;  // only the last 90 s of the first file count
    EXPECT_EQ(TTaskOptionBuilder::MergeFitRefusal({&entry, &second}), "");
    entry.StartTime = 0;
    const QString merged = TTaskOptionBuilder::MergeFitRefusal({&entry, &second});
    EXPECT_TRUE(merged.startsWith("MergerVideo.mp4: 2 MB is too small for 00:03:00 of video")) << merged.toStdString();
    EXPECT_TRUE(merged.contains("the smallest size that works is 2.20 MB")) << merged.toStdString();
}

// Six kinds of source, three limits each: the output is never over the limit; the ratio reached
// is printed for the record.
TEST(FitSize, NeverOverTheLimit) {
    ConvertFixture f;
    const std::string tone = " -f lavfi -i sine=frequency=330:duration=3 -c:a aac -b:a 96k -ac 1";
    struct Source {
        const char* kind;
        std::string file;
        int64_t start = 0, end = 0;  // clip range, microseconds (0: whole)
    };
    const std::string still = fixtures::Make("fit_still.mp4", "-f lavfi -i color=c=gray:size=320x240:rate=25:d=3" + tone);
    const std::string talk = fixtures::Make(
        "fit_talk.mp4", "-f lavfi -i \"color=c=navy:size=320x240:rate=25:d=3[bg];testsrc2=size=96x96:rate=25:d=3[fg];"
                        "[bg][fg]overlay=112:60[out0]\"" + tone);
    const std::string motion = fixtures::Make(
        "fit_motion.mp4", "-f lavfi -i \"testsrc2=size=320x240:rate=25:d=3,hue=H=t*3,rotate=a=t*2\"" + tone);
    const std::string noise = fixtures::Make(
        "fit_noise.mp4", "-f lavfi -i \"nullsrc=size=160x120:rate=25:d=3,geq=lum=random(1)*255:cb=128:cr=128\"" + tone);
    const std::string sound = fixtures::Make("fit_sound.wav", "-f lavfi -i sine=frequency=330:duration=3 -ac 1");
    const Source sources[] = {{"still", still},          {"talking head", talk}, {"high motion", motion},
                              {"noise", noise},          {"sound only", sound},  {"clipped 1-3 s", motion, 1000000, 3000000}};
    TFormatInfo profile = qualityProfile(".mp4", "libx264", -1);
    profile.EncParam.VideoBitrate = 0;
    std::printf("%-14s %10s %10s %7s\n", "source", "limit", "size", "ratio");
    for (const Source& s : sources) {
        const bool soundOnly = s.file == sound;
        for (const qint64 limit : soundOnly ? std::vector<qint64>{48 * 1024, 64 * 1024, 96 * 1024}
                                            : std::vector<qint64>{160 * 1024, 320 * 1024, 640 * 1024}) {
            SCOPED_TRACE(std::string(s.kind) + " into " + std::to_string(limit));
            profile.EncParam.FitSize = limit;
            std::unique_ptr<ConvertRecord> record = f.Record(QString::fromStdString(s.file), 1055, "fit");
            if (s.end > 0) {
                record->PFileInfo->StartTime = s.start;
                record->PFileInfo->EndTime = s.end;
            }
            const std::string out = convertEntry(f, *record->PFileInfo, profile,
                                                 QStringLiteral("fit_%1_%2").arg(QString(s.kind).left(5)).arg(limit));
            ASSERT_FALSE(out.empty());
            const long long size = fixtures::FileSize(out);
            EXPECT_LE(size, limit);
            if (s.end > 0) {
                EXPECT_NEAR(fixtures::ProbeDuration(out), 2.0, 0.2);
            }
            std::printf("%-14s %10lld %10lld %6.1f%%\n", s.kind, static_cast<long long>(limit), size,
                        100.0 * static_cast<double>(size) / static_cast<double>(limit));
        }
    }
}

// Constant quality has no bit rate to estimate from: the list shows "~" until three encoded
// samples give the size, which must come within 25 % of the real output. The check set: a
// picture whose colours drift (x264, x265, SVT-AV1), one whose grain grows over time (the samples
// must not take the start for the whole), and one still for six seconds then moving (x264).
TEST(QualityMode, SampledEstimateIsNearTheRealSize) {
    ConvertFixture f;
    const std::string tone = " -f lavfi -i sine=frequency=440:duration=9 -c:a aac -b:a 96k";
    const QString drift = QString::fromStdString(fixtures::Make(
        "estimate_source.mp4", "-f lavfi -i \"testsrc2=size=320x240:rate=25:d=9,hue=H=t*2\"" + tone));
    const QString grain = QString::fromStdString(fixtures::Make(
        "estimate_grain.mp4", "-f lavfi -i \"testsrc2=size=320x240:rate=25:d=9,format=yuv420p,"
                              "geq=lum='clip(lum(X,Y)+(random(1)-0.5)*T*12,0,255)':cb='cb(X,Y)':cr='cr(X,Y)'\"" + tone));
    const QString wakes = QString::fromStdString(fixtures::Make(
        "estimate_wakes.mp4",
        "-f lavfi -i \"testsrc2=size=320x240:rate=25:d=3,loop=loop=149:size=1:start=0,setpts=N/25/TB\"" + tone));
    struct Case {
        const QString* source;
        const char* format;
        const char* encoder;
        int quality;
    };
    for (const Case& c : {Case{&drift, ".mp4", "libx264", 23}, Case{&drift, ".mkv", "libx265", 28},
                          Case{&drift, ".mkv", "libsvtav1", 35}, Case{&grain, ".mp4", "libx264", 23},
                          Case{&wakes, ".mp4", "libx264", 23}}) {
        SCOPED_TRACE(std::string(c.encoder) + " " + c.source->toStdString());
        std::unique_ptr<ConvertRecord> record = f.Record(*c.source, 1055, "estimate");
        ListFileInfo& entry = *record->PFileInfo;
        entry.formatInfo = std::make_unique<TFormatInfo>(qualityProfile(c.format, c.encoder, c.quality));
        EXPECT_TRUE(NeedsQualityEstimate(entry));
        EXPECT_EQ(EntrySizeEstimate(entry, 4000000, 64000), "~");
        const qint64 estimate = EstimateQualitySize(entry);
        const std::string out = convertEntry(f, entry, *entry.formatInfo, "estimate");
        ASSERT_FALSE(out.empty());
        const long long real = fixtures::FileSize(out);
        std::printf("%-10s %-22s estimate %lld bytes, real %lld bytes (%+.1f %%)\n", c.encoder,
                    QFileInfo(*c.source).fileName().toUtf8().constData(), static_cast<long long>(estimate), real,
                    100.0 * (static_cast<double>(estimate) - real) / real);
        EXPECT_NEAR(static_cast<double>(estimate), static_cast<double>(real), real * 0.25);
        std::remove(out.c_str());
    }

    std::unique_ptr<ConvertRecord> record = f.Record(drift, 1055, "estimate");
    ListFileInfo& entry = *record->PFileInfo;
    entry.formatInfo = std::make_unique<TFormatInfo>(qualityProfile(".mp4", "libx264", 23));
    // Fit into a size: the list shows at most the limit.
    entry.formatInfo->EncParam.Quality = -1;
    entry.formatInfo->EncParam.FitSize = 1048576;
    EXPECT_EQ(EntrySizeEstimate(entry, 40000000, 64000), "1.00MB");
}
