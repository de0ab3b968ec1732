// The output parameter table: what is kept, defaults of absent values, bad values, and copies.
#include <gtest/gtest.h>

#include "common/ScriptedDialogs.h"
#include "common/TestSandbox.h"
#include "profiles/ParaInfo.h"
#include "profiles/ProfileMenu.h"
#include "settings/Lang.h"

namespace {
const QByteArray kCatalogue =
    "<Profiles><category id=\"4\" title=\"T\" icon=\"i\" skip=\"false\">"
    "<FormatInfo ID=\"1\" Format=\".mp4\" FourCC=\"\"><Name>a</Name><Description/></FormatInfo>"
    "<FormatInfo ID=\"2\" Format=\".avi\" FourCC=\"\"><Name>b</Name><Description/></FormatInfo>"
    "<FormatInfo ID=\"3\" Format=\".mp3\" FourCC=\"\"><Name>c</Name><Description/></FormatInfo>"
    "</category></Profiles>";

QByteArray record(const QByteArray& id, const QByteArray& inner, const QByteArray& format = ".mp4") {
    return "<FormatInfo ID=\"" + id + "\" Format=\"" + format + "\" FourCC=\"DIVX\" Icon=\"ico\">" + inner +
           "</FormatInfo>\n";
}

// A sandbox with the shipped language table, the catalogue above and the given parameter file.
class ParaInfoFixture : public ::testing::Test {
protected:
    void load(const QByteArray& product) {
        sandbox.writeProgramFile("ProfileMenu.dll", kCatalogue);
        sandbox.writeProgramFile("ParaInfo.dll",
                                 "<?xml version=\"1.0\"?>\n<Product>\n" + product + "</Product>\n");
        LoadLang();
        LoadProfileMenu();
        LoadParaInfo();
    }
    QString loadError(const QByteArray& product) {
        try {
            load(product);
        } catch (const EProfileDataError& e) {
            return e.message();
        }
        return QString();
    }
    TestSandbox sandbox;
};
}  // namespace

TEST_F(ParaInfoFixture, ReadsEveryFieldOfAFullRecord) {
    load(
        "<!-- first child -->\n" +
        record(
            "2",
            "<Name>AVI</Name><Description>d</Description><Resolution>320*240,640*480</Resolution>"
            "<FrameRate>Auto,25 fps</FrameRate><VideoBitrate>768 kbps</VideoBitrate>"
            "<AudioBitrate>128 kbps</AudioBitrate><SampleRate>44100 Hz</SampleRate><Channel>2 "
            "(Stereo)</Channel>"
            "<VideoEncList>mpeg4</VideoEncList><AudioEnclist>libmp3lame</AudioEnclist>"
            "<EncParam><Width>640</Width><Height>480</Height><VideoBitrate>768000</VideoBitrate>"
            "<FrameRate>29970</FrameRate><SampleRate>44100</SampleRate><AudioBitrate>128000</AudioBitrate>"
            "<Channels>2</Channels><Interpolation>3</Interpolation><ResizeStyle>2</ResizeStyle><Zoom>4</Zoom>"
            "<VideoEncoder>  mpeg4 </VideoEncoder><AudioEncoder>libmp3lame\n</AudioEncoder></EncParam>",
            ".avi"));
    const auto& f = *FormatInfoMap().at(2);
    EXPECT_EQ(f.Order, 1);
    EXPECT_EQ(f.Categoryid, 4);
    EXPECT_EQ(QStringList({f.Format, f.FourCC, f.Icon, f.Name, f.Resolution, f.FrameRate, f.VideoBitrate,
                           f.AudioBitrate, f.SampleRate, f.Channel, f.VideoEnclist, f.AudioEncList}),
              QStringList({".avi", "DIVX", "ico", "AVI", "320*240,640*480", "Auto,25 fps", "768 kbps",
                           "128 kbps", "44100 Hz", "2 (Stereo)", "mpeg4", "libmp3lame"}));
    const TEncParam& p = f.EncParam;
    EXPECT_EQ(std::vector<int>({p.Width, p.Height, p.VideoBitrate, p.FrameRate, p.SampleRate, p.AudioBitrate,
                                p.Channels, p.Interpolation, p.ResizeStyle, p.Zoom}),
              std::vector<int>({640, 480, 768000, 29970, 44100, 128000, 2, 3, 2, 4}));
    EXPECT_EQ(p.VideoEncoder, "mpeg4");  // trimmed
    EXPECT_EQ(p.AudioEncoder, "libmp3lame");
}

TEST_F(ParaInfoFixture, KeepsOnlyCatalogueIdsAndTheFirstOfARepeatedId) {
    load(record("1", "<Name>first</Name><EncParam/>") +
         record("9", "<Name>not in catalogue</Name><EncParam/>") +
         record("1", "<Name>second</Name><EncParam><Width>1</Width></EncParam>"));
    EXPECT_EQ(FormatInfoMap().size(), 1u);
    EXPECT_EQ(GetFormatInfo(1)->Name, "first");
    EXPECT_EQ(GetFormatInfo(1)->EncParam.Width, 0);
    EXPECT_EQ(GetFormatInfo(9), nullptr);
    EXPECT_EQ(GetFormatInfo(3), nullptr);  // in the catalogue, but without a record
}

TEST_F(ParaInfoFixture, AbsentOrEmptyValuesKeepTheDefaults) {
    load(record("1", "<EncParam><Width></Width><FrameRate>abc</FrameRate><VideoEncoder/></EncParam>"));
    const auto info = GetFormatInfo(1);
    ASSERT_NE(info, nullptr);
    EXPECT_TRUE(info->Name.isEmpty());
    EXPECT_TRUE(info->Resolution.isEmpty());
    const TEncParam& p = info->EncParam;
    EXPECT_EQ(p.Width, 0);
    EXPECT_EQ(p.FrameRate, 0);  // "abc": keep the source rate
    EXPECT_EQ(p.Channels, 1);
    EXPECT_EQ(p.Zoom, 1);
    EXPECT_TRUE(p.VideoEncoder.isEmpty());
    EXPECT_FALSE(p.IsSplite);
    EXPECT_EQ(p.SpliteSize, -1);
    EXPECT_EQ(p.SpliteTime, -1);
}

TEST_F(ParaInfoFixture, BadValuesEndTheLoadAndKeepEarlierRecords) {
    const struct {
        const char* what;
        QByteArray bad;
        const char* mentions;
    } cases[] = {
        {"Width abc", record("2", "<EncParam><Width>abc</Width></EncParam>"), "abc"},
        {"Channels 2.5", record("2", "<EncParam><Channels>2.5</Channels></EncParam>"), "2.5"},
        {"non-numeric ID", record("2x", "<EncParam/>"), "2x"},
        {"no EncParam", record("2", "<Name>n</Name>"), "EncParam"},
        {"no Icon", "<FormatInfo ID=\"2\" Format=\".avi\" FourCC=\"\"><EncParam/></FormatInfo>", "Icon"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TestSandbox::ResetStores();
        const QString message =
            loadError(record("1", "<EncParam/>") + c.bad + record("3", "<EncParam/>", ".mp3"));
        EXPECT_TRUE(message.startsWith(sandbox.programFile("ParaInfo.dll"))) << message.toStdString();
        EXPECT_TRUE(message.contains("line ")) << message.toStdString();
        EXPECT_TRUE(message.contains(c.mentions)) << message.toStdString();
        EXPECT_NE(GetFormatInfo(1), nullptr);
        EXPECT_EQ(GetFormatInfo(2), nullptr);
        EXPECT_EQ(GetFormatInfo(3), nullptr);
    }
    TestSandbox::ResetStores();
    EXPECT_TRUE(loadError("<FormatInfo ID=\"1\"").contains("not a well-formed XML document"));
}

TEST_F(ParaInfoFixture, MissingFileIsReportedWithTheLanguageText) {
    ScriptedDialogs dialogs;
    sandbox.writeProgramFile("ProfileMenu.dll", kCatalogue);
    sandbox.removeProgramFile("ParaInfo.dll");
    LoadLang();
    LoadProfileMenu();
    LoadParaInfo();
    EXPECT_EQ(dialogs.texts("MessageBox"), QStringList{GetLangText("ErrorNoParaFile")});
    EXPECT_TRUE(ParaInfoLoaded());
    EXPECT_TRUE(FormatInfoMap().empty());
    EXPECT_EQ(GetFormatInfo(1), nullptr);
}

TEST_F(ParaInfoFixture, CopiesShareNothingWithTheStoredRecord) {
    load("<Other/>" + record("1",
                             "<Name>n</Name><Resolution>320*240</Resolution><EncParam><Width>320</Width>"
                             "<VideoEncoder>mpeg4</VideoEncoder></EncParam>"));
    ASSERT_EQ(FormatInfoMap().at(1)->Order, 1);
    auto copy = GetFormatInfo(1);
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy.get(), FormatInfoMap().at(1).get());
    EXPECT_EQ(copy->Order, 0);
    EXPECT_EQ(copy->Categoryid, 4);
    copy->EncParam.Width = 640;
    copy->EncParam.VideoEncoder = "libx264";
    copy->Name = "changed";
    copy->Resolution += ",640*480";
    auto clone = copy->Clone();
    clone->EncParam.Width = 1280;
    EXPECT_EQ(copy->EncParam.Width, 640);

    const auto again = GetFormatInfo(1);
    EXPECT_EQ(again->EncParam.Width, 320);
    EXPECT_EQ(again->EncParam.VideoEncoder, "mpeg4");
    EXPECT_EQ(again->Name, "n");
    EXPECT_EQ(again->Resolution, "320*240");
}
