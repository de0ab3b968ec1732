// What an output keeps of its source: tags, chapters, every sound track (Matroska), the subtitle
// track, through the option builder and the engine, checked with ffprobe for MKV, MP4 and AVI;
// and what a container cannot hold is named.
#include <gtest/gtest.h>

#include "ConvertTestSupport.h"
#include "common/MediaFixtures.h"

namespace {
std::string richSource() {
    const std::string dir = fixtures::MediaDir();
    fixtures::WriteFile(dir + "/keep_subs.srt", "1\n00:00:00,500 --> 00:00:01,500\nHello\n\n"
                                                "2\n00:00:02,000 --> 00:00:02,800\nWorld\n");
    fixtures::WriteFile(dir + "/keep_meta.txt",
                        ";FFMETADATA1\ntitle=Round trip\nartist=Vanto Tester\ndate=2024\n"
                        "[CHAPTER]\nTIMEBASE=1/1000\nSTART=0\nEND=1500\ntitle=One\n"
                        "[CHAPTER]\nTIMEBASE=1/1000\nSTART=1500\nEND=3000\ntitle=Two\n");
    return fixtures::Make(
        "keep_source.mkv",
        "-f lavfi -i testsrc2=size=160x120:rate=25:d=3 -f lavfi -i sine=frequency=440:duration=3 "
        "-f lavfi -i sine=frequency=660:duration=3 -i " + fixtures::ShellQuote(dir + "/keep_subs.srt") +
            " -i " + fixtures::ShellQuote(dir + "/keep_meta.txt") +
            " -map 0 -map 1 -map 2 -map 3 -map_metadata 4 -map_chapters 4 -c:v libx264 -c:a aac -c:s srt");
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
        const char* subtitle;  // codec the output's subtitle track has, "" for none
        int chapters;
        const char* note;      // what the output names as not kept
    };
    const Case cases[] = {{1057, "mkv", 2, "ass", 2, ""},
                          {1055, "mp4", 1, "mov_text", 2, "1 more sound tracks not kept: only MKV keeps them all"},
                          {1058, "avi", 1, "", 0, "subtitles not kept: AVI cannot hold them"}};
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
        EXPECT_EQ(count(file, "", "chapter=id"), c.chapters);
        const QString notes = kept.join("; ");
        if (*c.note) {
            EXPECT_TRUE(notes.contains(c.note)) << notes.toStdString();
        }
        if (c.chapters == 0) {
            EXPECT_TRUE(notes.contains(QStringLiteral("chapters not kept: AVI cannot hold them"))) << notes.toStdString();
        }
    }
}

// An HDR10 clip: into H.264 (8-bit) it is tone-mapped to standard range; into 10-bit HEVC it
// keeps its colour description.
TEST(KeepTracks, HdrToneMappedOrKept) {
    ConvertFixture f;
    const QString source = QString::fromStdString(fixtures::Make(
        "hdr10_source.mkv",
        "-f lavfi -i testsrc2=size=160x120:rate=25:d=2 -f lavfi -i sine=frequency=440:duration=2 "
        "-vf zscale=tin=bt709:pin=bt709:min=bt709:t=smpte2084:p=bt2020:m=bt2020nc,format=yuv420p10le "
        "-c:v libx265 -x265-params log-level=error:colorprim=bt2020:transfer=smpte2084:colormatrix=bt2020nc "
        "-color_primaries bt2020 -color_trc smpte2084 -colorspace bt2020nc -c:a aac"));
    struct Case {
        int profile;
        const char* pixFmt;
        const char* transfer;
        const char* primaries;
    };
    for (const Case& c : {Case{1055, "yuv420p", "bt709", "bt709"}, Case{1069, "yuv420p10le", "smpte2084", "bt2020"}}) {
        SCOPED_TRACE(c.profile);
        std::unique_ptr<ConvertRecord> record = f.Record(source, c.profile, QStringLiteral("hdr_%1").arg(c.profile));
        record->PFileInfo->OutPutFileName = record->TargetFileName;
        const std::string file = f.Convert(*record->PFileInfo);
        ASSERT_FALSE(file.empty());
        EXPECT_EQ(fixtures::Probe(file, "v:0", "stream=pix_fmt"), c.pixFmt);
        EXPECT_EQ(fixtures::Probe(file, "v:0", "stream=color_transfer"), c.transfer);
        EXPECT_EQ(fixtures::Probe(file, "v:0", "stream=color_primaries"), c.primaries);
    }
}
