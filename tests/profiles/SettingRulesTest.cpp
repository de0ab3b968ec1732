// How list entries of the settings dialog are shown and read back.
#include <gtest/gtest.h>

#include "settings/SettingRules.h"

TEST(SettingRules, ValuesAreShownAsTheListsWriteThem) {
    EXPECT_EQ(ResolutionEntryText("320*240"), "320x240");
    EXPECT_EQ(ResolutionText(640, 480), "640x480");
    EXPECT_EQ(FrameRateText(25000), "25 fps");
    EXPECT_EQ(FrameRateText(29970), "29.97 fps");
    EXPECT_EQ(FrameRateText(12500), "12.50 fps");
    EXPECT_EQ(FrameRateText(100000), "100 fps");
    EXPECT_EQ(BitrateText(128000), "128 kbps");
    EXPECT_EQ(BitrateText(1500500), "1500 kbps");
    EXPECT_EQ(SampleRateText(44100), "44100 Hz");
}

TEST(SettingRules, FindingEntries) {
    const QStringList frameRates{"Auto", "25 FPS", "30 fps"};
    EXPECT_EQ(FindChoice(frameRates, FrameRateText(30000)), 2);
    EXPECT_EQ(FindChoice(frameRates, FrameRateText(25000)), 1);  // letter case ignored
    EXPECT_EQ(FindChoice(frameRates, FrameRateText(29970)), -1);

    const QStringList channels{"Auto", "1 (Mono)", "2 (Stereo)"};
    EXPECT_EQ(FindChannelChoice(channels, 2), 2);
    EXPECT_EQ(FindChannelChoice(channels, 6), 0);
    EXPECT_EQ(FindChannelChoice(channels, -1), 0);
    EXPECT_EQ(FindChannelChoice(channels, 12), 0);
}

TEST(SettingRules, ReadingEntriesBack) {
    auto size = [](const QString& t) {
        const auto v = ReadResolutionEntry(t);
        return v ? QString("%1x%2").arg(v->Width).arg(v->Height) : QString("error");
    };
    EXPECT_EQ(size("320x240"), "320x240");
    EXPECT_EQ(size("1280x720 (HD)"), "1280x720");
    EXPECT_EQ(size("Auto - Original"), "0x0");
    EXPECT_EQ(size("Auto"), "0x0");
    EXPECT_EQ(size(""), "0x0");
    EXPECT_EQ(size("1x2x3"), "0x0");
    EXPECT_EQ(size("640xabc"), "error");
    EXPECT_EQ(size("640X480"), "0x0");  // only a small x separates

    EXPECT_EQ(ReadFrameRateEntry("Auto"), 0);
    EXPECT_EQ(ReadFrameRateEntry(""), 0);
    EXPECT_EQ(ReadFrameRateEntry("29.97 fps"), 29970);
    EXPECT_EQ(ReadFrameRateEntry("23.976 FPS"), 23976);
    EXPECT_EQ(ReadFrameRateEntry("25"), 25000);
    EXPECT_EQ(ReadFrameRateEntry("auto"), std::nullopt);  // "Auto" is compared exactly
    EXPECT_EQ(ReadFrameRateEntry("fast fps"), std::nullopt);

    EXPECT_EQ(ReadBitrateEntry("Auto"), -1);
    EXPECT_EQ(ReadBitrateEntry("768 kbps"), 768000);
    EXPECT_EQ(ReadBitrateEntry("768 KBPS"), 768000);
    EXPECT_EQ(ReadBitrateEntry("1.5 kbps"), std::nullopt);
    EXPECT_EQ(ReadBitrateEntry("9999999 kbps"), std::nullopt);  // beyond 32 bits

    EXPECT_EQ(ReadSampleRateEntry("44100 Hz"), 44100);
    EXPECT_EQ(ReadSampleRateEntry("Auto"), -1);
    EXPECT_EQ(ReadSampleRateEntry("44.1 kHz"), std::nullopt);

    EXPECT_EQ(ReadChannelEntry("2 (Stereo)").Channels, 2);
    EXPECT_FALSE(ReadChannelEntry("2 (Stereo)").Keep);
    EXPECT_EQ(ReadChannelEntry("Auto").Channels, -1);
    EXPECT_FALSE(ReadChannelEntry("Auto").Keep);
    EXPECT_TRUE(ReadChannelEntry("Stereo").Keep);
    EXPECT_TRUE(ReadChannelEntry(" 2").Keep);

    EXPECT_EQ(ReadEncoderEntry("Auto"), "");
    EXPECT_EQ(ReadEncoderEntry("DivX"), "DivX");
}
