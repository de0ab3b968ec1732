// The shipped catalogue, parameter table and pictures (read from the source tree's data folder, so
// a bad edit fails here). The installed ffmpeg program is the oracle for encoder names and for the
// sample rates, channel counts and frame rates each encoder accepts.
#include <gtest/gtest.h>

#include <QDomDocument>
#include <QFile>
#include <QImage>
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
QString ffmpegOutput(const QString& args) {
    std::string out;
    const int status = fixtures::Run("ffmpeg -hide_banner " + args.toStdString() + " 2>/dev/null", &out);
    EXPECT_EQ(status, 0) << args.toStdString();
    return QString::fromStdString(out);
}

// Encoder name -> 'V' or 'A', from "ffmpeg -encoders".
const std::map<QString, QChar>& installedEncoders() {
    static const std::map<QString, QChar> encoders = [] {
        std::map<QString, QChar> m;
        static const QRegularExpression row(R"(^ ([VAS])[A-Z.]{5} (\S+))");
        for (const QString& line : ffmpegOutput("-encoders").split('\n')) {
            const auto match = row.match(line);
            if (match.hasMatch() && match.captured(2) != "=") m[match.captured(2)] = match.captured(1)[0];
        }
        return m;
    }();
    return encoders;
}

// Legacy encoder names that the engine maps to today's (and only these).
QString engineEncoder(const QString& name) {
    const QString lower = name.toLower();
    return lower == "libfaac" ? QStringLiteral("aac") : lower;
}

// What "ffmpeg -h encoder=NAME" says the encoder accepts; empty sets mean "not restricted".
struct EncoderLimits {
    std::set<int> sampleRates;
    std::set<int> channelCounts;
    std::vector<double> frameRates;
};

const EncoderLimits& limitsOf(const QString& encoder) {
    static std::map<QString, EncoderLimits> cache;
    static const std::map<QString, int> layouts = [] {
        std::map<QString, int> m;
        bool standard = false;
        for (const QString& line : ffmpegOutput("-layouts").split('\n')) {
            if (line.startsWith("Standard channel layouts")) standard = true;
            const QStringList cols = line.split(' ', Qt::SkipEmptyParts);
            if (standard && cols.size() == 2 && cols[0] != "NAME") m[cols[0]] = int(cols[1].count('+')) + 1;
        }
        return m;
    }();
    auto it = cache.find(encoder);
    if (it != cache.end()) return it->second;
    EncoderLimits limits;
    for (const QString& line : ffmpegOutput("-h encoder=" + encoder).split('\n')) {
        const QString t = line.trimmed();
        const QString values = t.section(':', 1).trimmed();
        if (t.startsWith("Supported sample rates:")) {
            for (const QString& v : values.split(' ', Qt::SkipEmptyParts))
                limits.sampleRates.insert(v.toInt());
        } else if (t.startsWith("Supported channel layouts:")) {
            for (const QString& v : values.split(' ', Qt::SkipEmptyParts)) {
                if (layouts.count(v))
                    limits.channelCounts.insert(layouts.at(v));
                else if (v.startsWith('(') && v.endsWith(')'))
                    limits.channelCounts.insert(int(v.count('+')) + 1);
            }
        } else if (t.startsWith("Supported framerates:")) {
            for (const QString& v : values.split(' ', Qt::SkipEmptyParts))
                limits.frameRates.push_back(v.section('/', 0, 0).toDouble() /
                                            v.section('/', 1, 1).toDouble());
        }
    }
    return cache.emplace(encoder, limits).first->second;
}

QStringList items(const QString& list) {
    return SplitString(list, ",");
}

bool isVideoProfile(const TFormatInfo& f) {
    return !f.VideoEnclist.isEmpty() || !f.EncParam.VideoEncoder.isEmpty();
}

// The encoders a profile may run with: its own and every one its lists offer ("Auto" aside).
QStringList offered(const QString& current, const QString& list) {
    QStringList names;
    const QStringList candidates = items(list) << current;
    for (const QString& n : candidates)
        if (!n.isEmpty() && n != "Auto" && !names.contains(engineEncoder(n))) names << engineEncoder(n);
    return names;
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
    }

    std::vector<const TFormatInfo*> records() const {
        std::vector<const TFormatInfo*> r;
        for (const auto& [id, info] : FormatInfoMap())
            r.push_back(info.get());
        return r;
    }

    TestSandbox sandbox;  // a copy of the shipped data folder
};
}  // namespace

TEST_F(ShippedData, EveryEntryHasItsRecordAndEveryRecordItsEntry) {
    // Read the record IDs from the file itself: the loader silently drops the ones the catalogue lacks.
    QFile file(sandbox.programFile("ParaInfo.dll"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QDomDocument doc;
    ASSERT_TRUE(doc.setContent(&file));
    std::multiset<int> fileIds;
    for (QDomElement e = doc.documentElement().firstChildElement("FormatInfo"); !e.isNull();
         e = e.nextSiblingElement("FormatInfo"))
        fileIds.insert(e.attribute("ID").toInt());

    std::multiset<int> catalogueIds;
    for (const auto& [id, entry] : MenuInfoMap())
        catalogueIds.insert(id);
    EXPECT_EQ(fileIds, catalogueIds);
    EXPECT_EQ(FormatInfoMap().size(), MenuInfoMap().size());

    for (const auto& [id, entry] : MenuInfoMap()) {
        SCOPED_TRACE(id);
        const auto record = GetFormatInfo(id);
        ASSERT_NE(record, nullptr);
        EXPECT_EQ(record->Format, entry->Format);
        EXPECT_EQ(record->FourCC, entry->FourCC);
        EXPECT_EQ(record->Icon, entry->Icon);
        EXPECT_EQ(record->Name, entry->Name);
        EXPECT_FALSE(entry->Name.isEmpty());
        EXPECT_FALSE(entry->Description.isEmpty());
        EXPECT_FALSE(entry->Skip);
    }
    EXPECT_NE(FindMenuInfo(1055), nullptr);
    ASSERT_FALSE(CategoryList().empty());
    EXPECT_EQ(ChooseStartupProfile(GetOptions().ResultList).ID, 1055);
    EXPECT_EQ(ChooseStartupProfile({"no such"}).ID, CategoryList().front()->Items.front()->IntID());
}

TEST_F(ShippedData, EveryPictureKeyResolvesAndEveryPictureIsUsed) {
    std::set<QString> used;
    for (const auto& c : CategoryList()) {
        SCOPED_TRACE(c->Title.toStdString());
        const QImage icon = GetIcon(c->Icon);
        ASSERT_FALSE(icon.isNull()) << c->Icon.toStdString();
        EXPECT_GE(icon.width(), 16);
        EXPECT_EQ(icon.width(), icon.height());
        used.insert(c->Icon.toLower());
        for (const auto& e : c->Items) {
            const QImage picture = GetIcon(e->Icon);
            ASSERT_FALSE(picture.isNull()) << e->ID.toStdString() << " " << e->Icon.toStdString();
            EXPECT_GE(picture.width(), 35);
            EXPECT_EQ(picture.width(), picture.height());
            used.insert(e->Icon.toLower());
        }
    }
    for (const TFormatInfo* f : records())
        EXPECT_FALSE(GetIcon(f->Icon).isNull()) << f->ID;
    for (auto it = IconMap().cbegin(); it != IconMap().cend(); ++it)
        EXPECT_TRUE(used.count(it.key())) << "unused picture " << it.key().toStdString();

    QImageReader arrow(MenuArrowFile());
    EXPECT_EQ(arrow.format(), "bmp");
    const QImage arrowImage = arrow.read();
    ASSERT_FALSE(arrowImage.isNull());
    EXPECT_EQ(arrowImage.size(), QSize(16, 16));
}

TEST_F(ShippedData, EveryNamedEncoderIsInstalled) {
    ASSERT_GT(installedEncoders().size(), 20u);
    for (const TFormatInfo* f : records()) {
        SCOPED_TRACE(f->ID);
        const auto check = [](const QStringList& names, QChar kind) {
            for (const QString& n : names) {
                const auto it = installedEncoders().find(n);
                if (it == installedEncoders().end())
                    ADD_FAILURE() << "no encoder " << n.toStdString();
                else
                    EXPECT_EQ(it->second, kind) << n.toStdString();
            }
        };
        check(offered(f->EncParam.VideoEncoder, f->VideoEnclist), 'V');
        check(offered(f->EncParam.AudioEncoder, f->AudioEncList), 'A');
    }
}

// Each entry of each list reads back without error, and the profile's own values are entries of
// its lists, so that the settings dialog shows them and its OK keeps them unchanged.
TEST_F(ShippedData, EveryChoiceListReadsBackAndHoldsTheProfileValues) {
    for (const TFormatInfo* f : records()) {
        SCOPED_TRACE(f->ID);
        const TEncParam& p = f->EncParam;

        const QStringList sizes = items(f->Resolution);
        QStringList sizeTexts;
        for (const QString& s : sizes) {
            sizeTexts << ResolutionEntryText(s);
            EXPECT_TRUE(ReadResolutionEntry(sizeTexts.last())) << s.toStdString();
        }
        const int sizeIndex =
            (p.Width <= 0 || p.Height <= 0) ? 0 : FindChoice(sizeTexts, ResolutionText(p.Width, p.Height));
        if (isVideoProfile(*f)) {
            ASSERT_GE(sizeIndex, 0);
            ASSERT_LT(sizeIndex, sizeTexts.size());
            const auto back = ReadResolutionEntry(sizeTexts[sizeIndex]);
            ASSERT_TRUE(back);
            EXPECT_EQ(back->Width, std::max(p.Width, 0));
            EXPECT_EQ(back->Height, std::max(p.Height, 0));
        } else {
            EXPECT_TRUE(sizes.isEmpty());
        }

        auto roundTrip = [](const char* what, const QStringList& list, int value, const QString& text,
                            std::optional<int> (*read)(const QString&), int unset) {
            SCOPED_TRACE(what);
            for (const QString& e : list)
                EXPECT_TRUE(read(e)) << e.toStdString();
            if (list.isEmpty()) {
                EXPECT_LE(value, 0);
                return;
            }
            const int index = value <= 0 || (unset < 0 && value < 1000 && text.endsWith("kbps"))
                                  ? 0
                                  : FindChoice(list, text);
            ASSERT_GE(index, 0) << text.toStdString() << " not in " << list.join(',').toStdString();
            const int back = read(list[index]).value_or(-12345);
            EXPECT_EQ(back <= 0 ? unset : back, value <= 0 ? unset : value) << list[index].toStdString();
        };
        roundTrip("frame rate", items(f->FrameRate), p.FrameRate, FrameRateText(p.FrameRate),
                  ReadFrameRateEntry, 0);
        roundTrip("video bit rate", items(f->VideoBitrate), p.VideoBitrate, BitrateText(p.VideoBitrate),
                  ReadBitrateEntry, -1);
        roundTrip("audio bit rate", items(f->AudioBitrate), p.AudioBitrate, BitrateText(p.AudioBitrate),
                  ReadBitrateEntry, -1);
        roundTrip("sample rate", items(f->SampleRate), p.SampleRate, SampleRateText(p.SampleRate),
                  ReadSampleRateEntry, -1);

        const QStringList channels = items(f->Channel);
        ASSERT_FALSE(channels.isEmpty());
        for (const QString& c : channels)
            EXPECT_FALSE(ReadChannelEntry(c).Keep) << c.toStdString();
        EXPECT_GT(p.Channels, 0);
        EXPECT_EQ(ReadChannelEntry(channels[FindChannelChoice(channels, p.Channels)]).Channels, p.Channels);

        for (const auto& [list, current] : {std::pair{items(f->VideoEnclist), p.VideoEncoder},
                                            std::pair{items(f->AudioEncList), p.AudioEncoder}}) {
            if (list.isEmpty()) {
                EXPECT_TRUE(current.isEmpty());
                continue;
            }
            const int index = current.isEmpty() || current == "Auto" ? 0 : FindChoice(list, current);
            ASSERT_GE(index, 0) << current.toStdString();
            EXPECT_EQ(ReadEncoderEntry(list[index]), current == "Auto" ? QString() : current);
        }
    }
}

// Every combination a profile's lists offer is one its encoders accept.
TEST_F(ShippedData, OfferedValuesSuitTheOfferedEncoders) {
    const std::set<QString> h263Sizes{"128x96", "176x144", "352x288", "704x576", "1408x1152"};
    const std::set<QString> discs{".dvd", ".svcd", ".vcd"};
    for (const TFormatInfo* f : records()) {
        SCOPED_TRACE(f->ID);
        const QString format = f->Format.toLower();
        const QStringList videoEncoders = offered(f->EncParam.VideoEncoder, f->VideoEnclist);
        const QStringList audioEncoders = offered(f->EncParam.AudioEncoder, f->AudioEncList);

        for (const QString& s : items(f->Resolution)) {
            const auto size = ReadResolutionEntry(ResolutionEntryText(s));
            if (!size || size->Width == 0) continue;
            EXPECT_TRUE(size->Width % 2 == 0 && size->Height % 2 == 0) << s.toStdString();
            if (videoEncoders.contains("h263")) {
                EXPECT_TRUE(h263Sizes.count(ResolutionEntryText(s))) << s.toStdString();
            }
        }
        for (const QString& enc : videoEncoders) {
            const EncoderLimits& limits = limitsOf(enc);
            if (limits.frameRates.empty()) continue;
            for (const QString& r : items(f->FrameRate)) {
                const int rate = ReadFrameRateEntry(r).value_or(-1);
                if (rate == 0) {
                    // "Auto" keeps the source's rate, which such an encoder may refuse; the disc
                    // types pick their norm's rate themselves.
                    EXPECT_TRUE(discs.count(format)) << enc.toStdString() << " offered with Auto";
                    continue;
                }
                const bool ok = std::any_of(limits.frameRates.begin(), limits.frameRates.end(),
                                            [&](double s) { return std::fabs(s - rate / 1000.0) < 0.01; });
                EXPECT_TRUE(ok) << enc.toStdString() << " " << r.toStdString();
            }
        }
        for (const QString& enc : audioEncoders) {
            const EncoderLimits& limits = limitsOf(enc);
            for (const QString& r : items(f->SampleRate)) {
                const int rate = ReadSampleRateEntry(r).value_or(-1);
                if (!limits.sampleRates.empty()) {
                    EXPECT_TRUE(limits.sampleRates.count(rate))
                        << enc.toStdString() << " " << r.toStdString();
                }
                // Flash output keeps only these rates and turns any other into 22050 Hz.
                if (format == ".flv" || format == ".swf") {
                    EXPECT_TRUE(rate == 11025 || rate == 22050 || rate == 44100) << r.toStdString();
                }
            }
            if (limits.channelCounts.empty()) continue;
            for (const QString& c : items(f->Channel)) {
                const int count = ReadChannelEntry(c).Channels;
                EXPECT_TRUE(count <= 0 || limits.channelCounts.count(count))
                    << enc.toStdString() << " " << c.toStdString();
            }
        }
    }
}
