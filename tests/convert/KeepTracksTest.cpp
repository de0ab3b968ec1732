// What an output keeps of its source: tags, chapters, every sound track (Matroska), every subtitle
// track, a phone's turned pictures, HDR, through the option builder and the engine, checked with
// ffprobe for MKV, MP4 and AVI; and what a container cannot hold is named.
#include <gtest/gtest.h>

#include "ConvertTestSupport.h"
#include "common/MediaFixtures.h"
#include "engine/EngineFixtures.h"

namespace {
std::string richSource() {
    const std::string dir = fixtures::MediaDir();
    fixtures::WriteFile(dir + "/keep_subs.srt", "1\n00:00:00,500 --> 00:00:01,500\nHello\n\n"
                                                "2\n00:00:02,000 --> 00:00:02,800\nWorld\n");
    fixtures::WriteFile(dir + "/keep_subs2.srt", "1\n00:00:01,000 --> 00:00:02,000\nBonjour\n");
    fixtures::WriteFile(dir + "/keep_meta.txt",
                        ";FFMETADATA1\ntitle=Round trip\nartist=Vanto Tester\ndate=2024\n"
                        "[CHAPTER]\nTIMEBASE=1/1000\nSTART=0\nEND=1500\ntitle=One\n"
                        "[CHAPTER]\nTIMEBASE=1/1000\nSTART=1500\nEND=3000\ntitle=Two\n");
    return fixtures::Make(
        "keep_source2.mkv",
        "-f lavfi -i testsrc2=size=160x120:rate=25:d=3 -f lavfi -i sine=frequency=440:duration=3 "
        "-f lavfi -i sine=frequency=660:duration=3 -i " + fixtures::ShellQuote(dir + "/keep_subs.srt") +
            " -i " + fixtures::ShellQuote(dir + "/keep_subs2.srt") + " -i " + fixtures::ShellQuote(dir + "/keep_meta.txt") +
            " -map 0 -map 1 -map 2 -map 3 -map 4 -map_metadata 5 -map_chapters 5 -c:v libx264 -c:a aac -c:s srt");
}

int count(const std::string& file, const char* select, const char* entry) {
    std::string out;
    fixtures::Run("ffprobe -v error " + std::string(select) + " -show_entries " + entry +
                      " -of csv=p=0 " + fixtures::ShellQuote(file),
                  &out);
    int lines = 0;
    for (char c : out)
        lines += c == '\n';
    return lines;
}
}  // namespace

TEST(KeepTracks, TagsChaptersTracksAndSubtitlesRoundTrip) {
    ConvertFixture f;
    const QString source = QString::fromStdString(richSource());
    struct Case {
        int profile;
        const char* ext;
        int soundTracks;
        const char* subtitle;  // codec the output's subtitle tracks have, "" for none
        int subtitleTracks;
        int chapters;
        const char* note;      // what the output names as not kept
    };
    const Case cases[] = {{1057, "mkv", 2, "ass", 2, 2, ""},
                          {1055, "mp4", 1, "mov_text", 2, 2, "1 more sound tracks not kept: only MKV keeps them all"},
                          {1058, "avi", 1, "", 0, 0, "subtitles not kept: AVI cannot hold them (2 tracks)"},
                          {1065, "webm", 1, "webvtt", 2, 2, "1 more sound tracks not kept: only MKV keeps them all"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ext);
        std::unique_ptr<ConvertRecord> record = f.Record(source, c.profile, QStringLiteral("keep_%1").arg(c.ext));
        record->PFileInfo->OutPutFileName = record->TargetFileName;
        QStringList kept;
        const std::string file = f.Convert(*record->PFileInfo, &kept);
        ASSERT_FALSE(file.empty());

        EXPECT_EQ(fixtures::Probe(file, "", "format_tags=title"), "Round trip");
        EXPECT_EQ(fixtures::Probe(file, "", "format_tags=artist"), "Vanto Tester");
        EXPECT_EQ(count(file, "-select_streams a", "stream=index"), c.soundTracks);
        EXPECT_EQ(fixtures::Probe(file, "s:0", "stream=codec_name"), c.subtitle);
        EXPECT_EQ(count(file, "-select_streams s", "stream=index"), c.subtitleTracks);
        if (c.subtitleTracks == 2) {
            EXPECT_EQ(fixtures::Probe(file, "s:1", "stream=codec_name"), c.subtitle);
            // The second track is the second source track, not the first one twice.
            std::string text;
            fixtures::Run("ffmpeg -v error -i " + fixtures::ShellQuote(file) + " -map 0:s:1 -f srt -", &text);
            EXPECT_NE(text.find("Bonjour"), std::string::npos) << text;
        }
        EXPECT_EQ(count(file, "", "chapter=id"), c.chapters);
        const QString notes = kept.join("; ");
        EXPECT_FALSE(notes.contains(QStringLiteral("chapters not kept")) && c.chapters > 0) << notes.toStdString();
        if (*c.note) {
            EXPECT_TRUE(notes.contains(c.note)) << notes.toStdString();
        }
        if (c.chapters == 0) {
            EXPECT_TRUE(notes.contains(QStringLiteral("chapters not kept: %1 cannot hold them").arg(QString(c.ext).toUpper())))
                << notes.toStdString();
        }
    }
}

// Picture subtitles before a text track: Matroska keeps both (the pictures as they are), MP4 the
// text track only and names the pictures as not kept.
TEST(KeepTracks, PictureSubtitlesStayOrAreNamed) {
    ConvertFixture f;
    const std::string pictures = enginetest::DvdSubMkv();
    ASSERT_FALSE(pictures.empty());
    const std::string dir = fixtures::MediaDir();
    fixtures::WriteFile(dir + "/keep_text.srt", "1\n00:00:01,000 --> 00:00:02,000\nText\n");
    const QString source = QString::fromStdString(fixtures::Make(
        "keep_picture_subs.mkv", "-f lavfi -i testsrc2=size=160x120:rate=25:d=3 -f lavfi -i sine=duration=3 -i " +
                                     fixtures::ShellQuote(pictures) + " -i " + fixtures::ShellQuote(dir + "/keep_text.srt") +
                                     " -map 0 -map 1 -map 2 -map 3 -c:v libx264 -c:a aac -c:s copy"));
    for (const int profile : {1057, 1055}) {
        SCOPED_TRACE(profile);
        std::unique_ptr<ConvertRecord> record = f.Record(source, profile, QStringLiteral("picsubs_%1").arg(profile));
        record->PFileInfo->OutPutFileName = record->TargetFileName;
        QStringList kept;
        const std::string file = f.Convert(*record->PFileInfo, &kept);
        ASSERT_FALSE(file.empty());
        if (profile == 1057) {
            EXPECT_EQ(fixtures::Probe(file, "s:0", "stream=codec_name"), "dvd_subtitle");
            EXPECT_EQ(fixtures::Probe(file, "s:1", "stream=codec_name"), "ass");
            // As they are: the same packets, byte for byte.
            auto packets = [](const std::string& media) {
                std::string out;
                fixtures::Run("ffprobe -v error -select_streams s:0 -show_data_hash MD5 -show_entries packet=size,data_hash -of csv=p=0 " +
                                  fixtures::ShellQuote(media),
                              &out);
                return out;
            };
            EXPECT_EQ(packets(file), packets(source.toStdString()));
            EXPECT_TRUE(kept.isEmpty()) << kept.join("; ").toStdString();
        } else {
            EXPECT_EQ(fixtures::Probe(file, "s:0", "stream=codec_name"), "mov_text");
            EXPECT_EQ(fixtures::Probe(file, "s:1", "stream=codec_name"), "");
            EXPECT_EQ(kept, QStringList{"picture subtitles not kept: MP4 cannot hold them"});
        }
    }
}

// A phone's clip, filmed sideways and shown turned by its display matrix: converted, its pictures
// stand upright (as ffmpeg itself turns them) and carry no turn any more; copied, they keep it.
TEST(KeepTracks, SidewaysPicturesStandUpright) {
    ConvertFixture f;
    const std::string plain = fixtures::Make("phone_plain.mp4", "-f lavfi -i testsrc2=size=160x120:rate=25:d=1 "
                                                                "-f lavfi -i sine=duration=1 -c:v libx264 -c:a aac");
    ASSERT_FALSE(plain.empty());
    const std::string turned = fixtures::WithTrackMatrix(plain, "phone_turned.mp4", 0, 1, -1, 0);
    ASSERT_EQ(fixtures::Probe(turned, "v:0", "stream_side_data=rotation"), "-90");

    for (const char* encoder : {"", "copy"}) {
        SCOPED_TRACE(encoder);
        std::unique_ptr<ConvertRecord> record =
            f.Record(QString::fromStdString(turned), 1055, QStringLiteral("turned_%1").arg(encoder));
        record->PFileInfo->OutPutFileName = record->TargetFileName;
        record->PFileInfo->formatInfo->EncParam.VideoEncoder = QString::fromLatin1(encoder);
        const std::string file = f.Convert(*record->PFileInfo);
        ASSERT_FALSE(file.empty());
        if (*encoder) {
            EXPECT_EQ(fixtures::Probe(file, "v:0", "stream=width"), "160");
            EXPECT_EQ(fixtures::Probe(file, "v:0", "stream_side_data=rotation"), "-90");
            continue;
        }
        EXPECT_EQ(fixtures::Probe(file, "v:0", "stream=width"), "120");
        EXPECT_EQ(fixtures::Probe(file, "v:0", "stream=height"), "160");
        EXPECT_EQ(fixtures::Probe(file, "v:0", "stream_side_data=rotation"), "");
        // The same pictures as ffmpeg's own turned ones.
        std::string psnr;
        fixtures::Run("ffmpeg -nostdin -hide_banner -i " + fixtures::ShellQuote(file) + " -i " +
                          fixtures::ShellQuote(turned) + " -lavfi \"[0:v][1:v]psnr\" -f null - 2>&1 | grep -o 'average:[0-9.inf]*'",
                      &psnr);
        ASSERT_GT(psnr.size(), 8u) << psnr;
        EXPECT_GT(std::atof(psnr.c_str() + 8), 30.0) << psnr;
    }

    // Mirroring matrices (a front camera's): a left-right flip, and a flip with a quarter turn
    // (the picture's axes swapped). The pictures come out as the matrix shows them: the plain
    // clip through ffmpeg's own flip and transpose filters.
    struct Mirror {
        int a, b, c, d;
        const char* filter;
        const char* width;
    };
    for (const Mirror& m : {Mirror{-1, 0, 0, 1, "hflip", "160"}, Mirror{0, 1, 1, 0, "transpose=dir=cclock_flip", "120"}}) {
        SCOPED_TRACE(m.filter);
        const std::string mirrored =
            fixtures::WithTrackMatrix(plain, std::string("phone_mirror_") + m.width + ".mp4", m.a, m.b, m.c, m.d);
        std::unique_ptr<ConvertRecord> record = f.Record(QString::fromStdString(mirrored), 1055,
                                                         QStringLiteral("mirrored_%1").arg(m.width));
        record->PFileInfo->OutPutFileName = record->TargetFileName;
        const std::string file = f.Convert(*record->PFileInfo);
        ASSERT_FALSE(file.empty());
        EXPECT_EQ(fixtures::Probe(file, "v:0", "stream=width"), m.width);
        std::string psnr;
        fixtures::Run("ffmpeg -nostdin -hide_banner -i " + fixtures::ShellQuote(file) + " -i " + fixtures::ShellQuote(plain) +
                          " -lavfi \"[1:v]" + m.filter + "[m];[0:v][m]psnr\" -f null - 2>&1 | grep -o 'average:[0-9.inf]*'",
                      &psnr);
        ASSERT_GT(psnr.size(), 8u) << psnr;
        EXPECT_GT(std::atof(psnr.c_str() + 8), 30.0) << psnr;
    }
}

// An HDR10 clip: into H.264 (8-bit) it is tone-mapped to standard range; into 10-bit HEVC, and
// into AV1 with a 10-bit pixel format chosen, it keeps its colour description, its mastering
// display and light levels (in the bitstream and the container), though the source carries them
// only in its pictures.
TEST(KeepTracks, HdrToneMappedOrKept) {
    ConvertFixture f;
    const QString source = QString::fromStdString(fixtures::Make(
        "hdr10_mastered.mkv",
        "-f lavfi -i testsrc2=size=160x120:rate=25:d=2 -f lavfi -i sine=frequency=440:duration=2 "
        "-vf zscale=tin=bt709:pin=bt709:min=bt709:t=smpte2084:p=bt2020:m=bt2020nc,format=yuv420p10le "
        "-c:v libx265 -x265-params log-level=error:colorprim=bt2020:transfer=smpte2084:colormatrix=bt2020nc:"
        "'master-display=G(13250,34500)B(7500,3000)R(34000,16000)WP(15635,16450)L(10000000,1)':max-cll=1000,400 "
        "-color_primaries bt2020 -color_trc smpte2084 -colorspace bt2020nc -c:a aac"));
    struct Case {
        int profile;
        const char* pixFmt;
        const char* transfer;
        const char* primaries;
        bool tenBit = false;  // a 10-bit pixel format chosen in the settings
    };
    for (const Case& c : {Case{1055, "yuv420p", "bt709", "bt709"}, Case{1069, "yuv420p10le", "smpte2084", "bt2020"},
                          Case{1068, "yuv420p10le", "smpte2084", "bt2020", true}}) {
        SCOPED_TRACE(c.profile);
        std::unique_ptr<ConvertRecord> record = f.Record(source, c.profile, QStringLiteral("hdr_%1").arg(c.profile));
        if (c.tenBit) record->PFileInfo->formatInfo->EncParam.PixelFormat = QStringLiteral("yuv420p10le");
        record->PFileInfo->OutPutFileName = record->TargetFileName;
        const std::string file = f.Convert(*record->PFileInfo);
        ASSERT_FALSE(file.empty());
        EXPECT_EQ(fixtures::Probe(file, "v:0", "stream=pix_fmt"), c.pixFmt);
        EXPECT_EQ(fixtures::Probe(file, "v:0", "stream=color_transfer"), c.transfer);
        EXPECT_EQ(fixtures::Probe(file, "v:0", "stream=color_primaries"), c.primaries);
        std::string frames, streams;
        fixtures::Run("ffprobe -v error -select_streams v:0 -read_intervals %+#1 -show_frames " +
                          fixtures::ShellQuote(file),
                      &frames);
        fixtures::Run("ffprobe -v error -select_streams v:0 -show_streams " + fixtures::ShellQuote(file), &streams);
        const bool hdr = std::string(c.transfer) == "smpte2084";
        for (const std::string* text : {&frames, &streams}) {
            EXPECT_EQ(text->find("side_data_type=Mastering display metadata") != std::string::npos, hdr) << *text;
            EXPECT_EQ(text->find("max_average=400") != std::string::npos, hdr) << *text;
            EXPECT_EQ(text->find("max_content=1000") != std::string::npos, hdr) << *text;
        }
    }
}
