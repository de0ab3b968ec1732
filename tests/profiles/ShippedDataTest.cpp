// The shipped catalogue, parameter table and pictures, read from the source tree's data folder so
// that a bad edit fails here. The installed ffmpeg program is the oracle for the encoder names and
// for the sample rates, channel counts and frame rates each encoder accepts.
#include <gtest/gtest.h>

#include <QDomDocument>
#include <QFile>
#include <QImageReader>
#include <QRegularExpression>
#include <cmath>
#include <map>
#include <set>

#include "app/Utils.h"
#include "common/MediaFixtures.h"
#include "common/ScriptedDialogs.h"
#include "common/TestSandbox.h"
#include "profiles/IconUtils.h"
#include "profiles/ParaInfo.h"
#include "profiles/ProfileMenu.h"
#include "profiles/StartupProfile.h"
#include "settings/Lang.h"
#include "settings/Options.h"
#include "settings/SettingRules.h"

namespace {
QStringList ffmpegLines(const QString& args) {
    std::string out;
    EXPECT_EQ(fixtures::Run("ffmpeg -hide_banner " + args.toStdString() + " 2>/dev/null", &out), 0);
    return QString::fromStdString(out).split('\n');
}

// An installed encoder and what "ffmpeg -h encoder=NAME" says it accepts (empty: anything).
struct Encoder {
    QChar kind;  // 'V' or 'A'
    bool probed = false;
    std::set<int> sampleRates;
    bool stereoAtMost = false;
    std::vector<double> frameRates;
};

// The installed encoder a profile's name stands for; "libfaac", the old name the engine maps to
// "aac", is the only name that is not taken as it is.
const Encoder* findEncoder(const QString& profileName) {
    static std::map<QString, Encoder> encoders = [] {
        std::map<QString, Encoder> m;
        static const QRegularExpression row(R"(^ ([VA])[A-Z.]{5} (\S+))");
        for (const QString& line : ffmpegLines("-encoders")) {
            const auto match = row.match(line);
            if (match.hasMatch() && match.captured(2) != "=")
                m[match.captured(2)].kind = match.captured(1).at(0);
        }
        return m;
    }();
    const QString name = profileName.toLower() == "libfaac" ? QStringLiteral("aac") : profileName.toLower();
    const auto it = encoders.find(name);
    if (it == encoders.end()) return nullptr;
    Encoder& e = it->second;
    for (const QString& line : e.probed ? QStringList() : ffmpegLines("-h encoder=" + name)) {
        const QString key = line.section(':', 0, 0).trimmed();
        const QStringList values = line.section(':', 1).split(' ', Qt::SkipEmptyParts);
        if (key == "Supported sample rates")
            for (const QString& v : values)
                e.sampleRates.insert(v.toInt());
        if (key == "Supported channel layouts") e.stereoAtMost = values == QStringList({"mono", "stereo"});
        if (key == "Supported framerates")
            for (const QString& v : values)
                e.frameRates.push_back(v.section('/', 0, 0).toDouble() / v.section('/', 1).toDouble());
    }
    e.probed = true;
    return &e;
}

QStringList items(const QString& list) {
    return SplitString(list, ",");
}

// The encoders a profile may run with: its own and every one its list offers ("Auto" aside).
QStringList offered(const QString& current, const QString& list) {
    QStringList names = items(list) << current;
    names.removeAll("Auto");
    names.removeAll(QString());
    names.removeDuplicates();
    return names;
}

// A list holds the dialog's view of a value: entry 0 when the value is unset, else the entry that
// shows it; and that entry reads back as the value, so OK without a change keeps the profile.
void expectRoundTrip(const char* what, const QString& listText, int value, bool unset, const QString& shown,
                     const std::function<std::optional<int>(const QString&)>& read, int unsetValue) {
    SCOPED_TRACE(what);
    const QStringList list = items(listText);
    for (const QString& e : list)
        EXPECT_TRUE(read(e)) << "unreadable entry " << e.toStdString();
    if (list.isEmpty()) {
        EXPECT_TRUE(unset) << "no list for " << value;
        return;
    }
    const int index = unset ? 0 : FindChoice(list, shown);
    ASSERT_GE(index, 0) << shown.toStdString() << " is not offered";
    EXPECT_EQ(read(list[index]), unset ? unsetValue : value) << list[index].toStdString();
}

class ShippedData : public ::testing::Test {
protected:
    void SetUp() override {
        ScriptedDialogs dialogs;
        ASSERT_NO_THROW({
            LoadLang();
            LoadProfileMenu();
            LoadIcons();
            LoadParaInfo();
        });
        EXPECT_TRUE(dialogs.calls.isEmpty()) << dialogs.texts().join('|').toStdString();
        for (const auto& [id, info] : FormatInfoMap())
            records.push_back(info.get());
    }

    TestSandbox sandbox;  // a copy of the shipped data folder
    std::vector<const TFormatInfo*> records;
};
}  // namespace

TEST_F(ShippedData, EveryEntryHasItsRecordAndEveryRecordItsEntry) {
    // The record IDs come from the file itself: the loader silently drops those the catalogue lacks.
    QFile file(sandbox.programFile("ParaInfo.dll"));
    QDomDocument doc;
    ASSERT_TRUE(file.open(QIODevice::ReadOnly) && doc.setContent(&file));
    std::multiset<int> fileIds, catalogueIds;
    for (QDomElement e = doc.documentElement().firstChildElement("FormatInfo"); !e.isNull();
         e = e.nextSiblingElement("FormatInfo"))
        fileIds.insert(e.attribute("ID").toInt());
    for (const auto& [id, entry] : MenuInfoMap()) {
        catalogueIds.insert(id);
        const auto record = GetFormatInfo(id);
        ASSERT_NE(record, nullptr) << id;
        EXPECT_EQ(QStringList({record->Format, record->Icon, record->Name}),
                  QStringList({entry->Format, entry->Icon, entry->Name}));
        EXPECT_FALSE(entry->Description.isEmpty() || entry->Skip) << id;
    }
    EXPECT_EQ(fileIds, catalogueIds);

    EXPECT_EQ(ChooseStartupProfile(GetOptions().ResultList).ID, 1055);  // the default recent profile
    ASSERT_FALSE(CategoryList().empty());
    EXPECT_EQ(ChooseStartupProfile({"no such"}).Entry, CategoryList().front()->Items.front().get());
}

TEST_F(ShippedData, EveryPictureKeyResolvesAndEveryPictureIsUsed) {
    std::set<QString> used;
    auto expectPicture = [&](const QString& key, int minSize) {
        const QImage picture = GetIcon(key);
        EXPECT_TRUE(!picture.isNull() && picture.width() >= minSize && picture.width() == picture.height())
            << key.toStdString();
        used.insert(key.toLower());
    };
    for (const auto& c : CategoryList()) {
        expectPicture(c->Icon, 16);
        for (const auto& e : c->Items)
            expectPicture(e->Icon, 35);
    }
    for (const TFormatInfo* f : records)
        expectPicture(f->Icon, 35);
    for (auto it = IconMap().cbegin(); it != IconMap().cend(); ++it)
        EXPECT_TRUE(used.count(it.key())) << "unused picture " << it.key().toStdString();

    QImageReader arrow(MenuArrowFile());
    EXPECT_EQ(arrow.format(), "bmp");
    EXPECT_EQ(arrow.read().size(), QSize(16, 16));
}

TEST_F(ShippedData, EveryChoiceListReadsBackAndHoldsTheProfileValues) {
    const auto size = [](const QString& t) -> std::optional<int> {
        const auto v = ReadResolutionEntry(t);
        return v ? std::optional<int>(v->Width * 10000 + v->Height) : std::nullopt;
    };
    for (const TFormatInfo* f : records) {
        SCOPED_TRACE(f->ID);
        const TEncParam& p = f->EncParam;
        const bool noSize = p.Width <= 0 || p.Height <= 0;
        expectRoundTrip("size", ResolutionEntryText(f->Resolution), p.Width * 10000 + p.Height, noSize,
                        ResolutionText(p.Width, p.Height), size, 0);
        expectRoundTrip("frame rate", f->FrameRate, p.FrameRate, p.FrameRate <= 0, FrameRateText(p.FrameRate),
                        ReadFrameRateEntry, 0);
        expectRoundTrip("video bit rate", f->VideoBitrate, p.VideoBitrate, p.VideoBitrate < 1000,
                        BitrateText(p.VideoBitrate), ReadBitrateEntry, -1);
        expectRoundTrip("audio bit rate", f->AudioBitrate, p.AudioBitrate, p.AudioBitrate < 1000,
                        BitrateText(p.AudioBitrate), ReadBitrateEntry, -1);
        expectRoundTrip("sample rate", f->SampleRate, p.SampleRate, p.SampleRate <= 0,
                        SampleRateText(p.SampleRate), ReadSampleRateEntry, -1);

        const QStringList channels = items(f->Channel);
        for (const QString& c : channels)
            EXPECT_FALSE(ReadChannelEntry(c).Keep) << c.toStdString();
        ASSERT_FALSE(channels.isEmpty());
        EXPECT_EQ(ReadChannelEntry(channels[FindChannelChoice(channels, p.Channels)]).Channels, p.Channels);

        for (const auto& [list, current] : {std::pair{items(f->VideoEnclist), p.VideoEncoder},
                                            std::pair{items(f->AudioEncList), p.AudioEncoder}}) {
            const int index = current.isEmpty() ? 0 : FindChoice(list, current);
            ASSERT_TRUE(index >= 0 && (index < list.size() || current.isEmpty())) << current.toStdString();
            if (!list.isEmpty()) {
                EXPECT_EQ(ReadEncoderEntry(list[index]), current);
            }
        }
    }
}

// Every encoder a profile offers is installed and takes every size and rate the profile offers.
TEST_F(ShippedData, EveryOfferedEncoderIsInstalledAndTakesTheOfferedValues) {
    const QStringList h263Sizes{"128x96", "176x144", "352x288", "704x576", "1408x1152"};
    for (const TFormatInfo* f : records) {
        SCOPED_TRACE(f->ID);
        const QString format = f->Format.toLower();
        for (const QString& name : offered(f->EncParam.VideoEncoder, f->VideoEnclist)) {
            const Encoder* e = findEncoder(name);
            if (!e || e->kind != 'V') {
                ADD_FAILURE() << "no video encoder " << name.toStdString();
                continue;
            }
            for (const QString& s : items(ResolutionEntryText(f->Resolution))) {
                const auto v = ReadResolutionEntry(s);
                const bool sized = v && v->Width > 0;
                EXPECT_TRUE(!sized || (v->Width % 2 == 0 && v->Height % 2 == 0)) << s.toStdString();
                EXPECT_TRUE(!sized || name != "h263" || h263Sizes.contains(s)) << s.toStdString();
            }
            for (const QString& r : items(f->FrameRate)) {
                if (e->frameRates.empty()) break;
                const double rate = ReadFrameRateEntry(r).value_or(-1) / 1000.0;
                // "Auto" keeps the source's rate, which such an encoder may refuse; the disc types
                // take their norm's rate instead.
                if (rate == 0 && (format == ".dvd" || format == ".svcd" || format == ".vcd")) continue;
                EXPECT_TRUE(std::any_of(e->frameRates.begin(), e->frameRates.end(),
                                        [&](double s) { return std::fabs(s - rate) < 0.01; }))
                    << name.toStdString() << " " << r.toStdString();
            }
        }
        for (const QString& name : offered(f->EncParam.AudioEncoder, f->AudioEncList)) {
            const Encoder* e = findEncoder(name);
            if (!e || e->kind != 'A') {
                ADD_FAILURE() << "no audio encoder " << name.toStdString();
                continue;
            }
            for (const QString& r : items(f->SampleRate)) {
                const int rate = ReadSampleRateEntry(r).value_or(-1);
                EXPECT_TRUE(e->sampleRates.empty() || e->sampleRates.count(rate))
                    << name.toStdString() << " " << rate;
                // Flash output keeps only these rates and turns any other into 22050 Hz.
                const bool flash = format == ".flv" || format == ".swf";
                EXPECT_TRUE(!flash || rate == 11025 || rate == 22050 || rate == 44100) << rate;
            }
            for (const QString& c : items(f->Channel))
                EXPECT_TRUE(!e->stereoAtMost || ReadChannelEntry(c).Channels <= 2)
                    << name.toStdString() << " " << c.toStdString();
        }
    }
}
