// The conversion settings dialog: lists filled from a profile's allowed values, current values
// selected, choices written back, the profile's defaults restored.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QSpinBox>

#include "app/Utils.h"
#include "common/TestSandbox.h"
#include "profiles/ParaInfo.h"
#include "profiles/ProfileMenu.h"
#include "settings/Lang.h"
#include "settings/SettingDlg.h"

namespace {
std::unique_ptr<TFormatInfo> profile() {
    auto f = std::make_unique<TFormatInfo>();
    f->ID = 999999;
    f->Name = "Test profile";
    f->Resolution = "Auto - Original, 320*240, 640*360";
    f->FrameRate = "Auto, 25 fps, 29.97 fps, 30 FPS";
    f->VideoBitrate = "Auto, 500 kbps, 1500 kbps";
    f->AudioBitrate = "96 kbps, 128 kbps";
    f->SampleRate = "44100 Hz, 48000 Hz";
    f->Channel = "Auto, 1 (Mono), 2 (Stereo)";
    f->VideoEnclist = "Auto, libx264, mpeg4";
    f->AudioEncList = "aac";
    f->EncParam.Width = 320;
    f->EncParam.Height = 240;
    f->EncParam.FrameRate = 25000;
    f->EncParam.VideoBitrate = 1500000;
    f->EncParam.AudioBitrate = 128000;
    f->EncParam.SampleRate = 48000;
    f->EncParam.Channels = 2;
    f->EncParam.VideoEncoder = "libx264";
    f->EncParam.AudioEncoder = "aac";
    return f;
}

QStringList items(const QComboBox* list) {
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->itemText(i);
    return out;
}
}  // namespace

TEST(SettingDialog, CurrentValuesAreSelectedByTheRules) {
    struct Case {
        const char* what;
        std::function<void(TFormatInfo&)> change;
        QComboBox* TDlgSetting::*list;
        QString shown;
        int count;  // entries in the list afterwards
    };
    const std::vector<Case> cases{
        {"exact size", [](TFormatInfo&) {}, &TDlgSetting::cmbResolution, "320x240", 3},
        {"size absent", [](TFormatInfo& f) { f.EncParam.Width = 640, f.EncParam.Height = 480; },
         &TDlgSetting::cmbResolution, "640x480", 4},
        {"no size", [](TFormatInfo& f) { f.EncParam.Width = 0; }, &TDlgSetting::cmbResolution,
         "Auto - Original", 3},
        {"frame rate, other case", [](TFormatInfo& f) { f.EncParam.FrameRate = 30000; },
         &TDlgSetting::cmbFrameRate, "30 FPS", 4},
        {"frame rate to two decimals", [](TFormatInfo& f) { f.EncParam.FrameRate = 29970; },
         &TDlgSetting::cmbFrameRate, "29.97 fps", 4},
        {"frame rate absent", [](TFormatInfo& f) { f.EncParam.FrameRate = 23976; },
         &TDlgSetting::cmbFrameRate, "23.98 fps", 5},
        {"frame rate Auto", [](TFormatInfo& f) { f.EncParam.FrameRate = 0; }, &TDlgSetting::cmbFrameRate,
         "Auto", 4},
        {"bit rate in whole kbps", [](TFormatInfo& f) { f.EncParam.VideoBitrate = 500900; },
         &TDlgSetting::cmbBitRate, "500 kbps", 3},
        {"bit rate below 1000", [](TFormatInfo& f) { f.EncParam.VideoBitrate = 500; },
         &TDlgSetting::cmbBitRate, "Auto", 3},
        {"audio bit rate absent", [](TFormatInfo& f) { f.EncParam.AudioBitrate = 64000; },
         &TDlgSetting::cmbAudioBitRate, "64 kbps", 3},
        {"sample rate", [](TFormatInfo&) {}, &TDlgSetting::cmbSampleRate, "48000 Hz", 2},
        {"sample rate unset", [](TFormatInfo& f) { f.EncParam.SampleRate = -1; }, &TDlgSetting::cmbSampleRate,
         "44100 Hz", 2},
        {"channels", [](TFormatInfo&) {}, &TDlgSetting::cmbChannel, "2 (Stereo)", 3},
        {"channels never appended", [](TFormatInfo& f) { f.EncParam.Channels = 6; }, &TDlgSetting::cmbChannel,
         "Auto", 3},
        {"encoder", [](TFormatInfo& f) { f.EncParam.VideoEncoder = "MPEG4"; }, &TDlgSetting::cmbEncoder,
         "mpeg4", 3},
        {"encoder Auto", [](TFormatInfo& f) { f.EncParam.VideoEncoder = "Auto"; }, &TDlgSetting::cmbEncoder,
         "Auto", 3},
        {"encoder not offered", [](TFormatInfo& f) { f.EncParam.VideoEncoder = "libxvid"; },
         &TDlgSetting::cmbEncoder, "libxvid", 4},
        {"audio encoder empty", [](TFormatInfo& f) { f.EncParam.AudioEncoder.clear(); },
         &TDlgSetting::cmbAudioEncoder, "aac", 1},
    };
    for (const Case& c : cases) {
        auto f = profile();
        c.change(*f);
        TDlgSetting dlg;
        dlg.SetFormatInfo(std::move(f));
        const QComboBox* list = dlg.*c.list;
        EXPECT_EQ(list->currentText(), c.shown) << c.what;
        EXPECT_EQ(list->count(), c.count) << c.what << ": " << items(list).join("|").toStdString();
        EXPECT_TRUE(list->isEnabled()) << c.what;
    }
    // A profile without lists: empty lists are disabled; a set size still shows.
    auto bare = std::make_unique<TFormatInfo>();
    bare->EncParam.Width = 640;
    bare->EncParam.Height = 480;
    TDlgSetting dlg;
    dlg.SetFormatInfo(std::move(bare));
    EXPECT_FALSE(dlg.cmbFrameRate->isEnabled());
    EXPECT_FALSE(dlg.cmbChannel->isEnabled());
    EXPECT_EQ(items(dlg.cmbResolution), QStringList{"640x480"});
    EXPECT_EQ(dlg.lbProfileName->text(), "");
}

TEST(SettingDialog, ChoicesAreWrittenBackOnOkOnly) {
    TDlgSetting dlg;
    dlg.SetFormatInfo(profile());
    dlg.SetMergerValue(true);
    EXPECT_TRUE(dlg.Merger());
    EXPECT_EQ(dlg.lbProfileName->text(), "Test profile");
    dlg.cmbResolution->setCurrentText("Auto - Original");
    dlg.cmbFrameRate->setCurrentText("29.97 fps");
    dlg.cmbBitRate->setCurrentText("Auto");
    dlg.cmbChannel->setCurrentText("1 (Mono)");
    dlg.cmbEncoder->setCurrentText("Auto");
    dlg.cmbSampleRate->setCurrentText("44100 Hz");
    dlg.btnCancelClick();
    EXPECT_EQ(dlg.result(), mrCancel);
    EXPECT_EQ(dlg.SettingObj->EncParam.Width, 320);
    EXPECT_EQ(dlg.SettingObj->EncParam.FrameRate, 25000);

    dlg.btnOkClick();
    EXPECT_EQ(dlg.result(), mrOk);
    const TEncParam& p = dlg.SettingObj->EncParam;
    EXPECT_EQ(p.Width, 0);
    EXPECT_EQ(p.Height, 0);
    EXPECT_EQ(p.FrameRate, 29970);
    EXPECT_EQ(p.VideoBitrate, -1);
    EXPECT_EQ(p.Channels, 1);
    EXPECT_EQ(p.SampleRate, 44100);
    EXPECT_EQ(p.VideoEncoder, "");
    EXPECT_EQ(p.AudioEncoder, "aac");
    EXPECT_EQ(p.AudioBitrate, 128000);

    TDlgSetting closed;
    closed.SetFormatInfo(profile());
    closed.reject();  // the title bar's close button
    EXPECT_EQ(closed.result(), mrCancel);
}

TEST(SettingDialog, DefaultRestoresTheProfilesOwnValues) {
    TestSandbox sandbox;
    LoadProfileMenu();
    LoadParaInfo();
    auto edited = GetFormatInfo(1055);
    edited->EncParam.Width = 176;
    edited->EncParam.Height = 144;
    edited->EncParam.VideoBitrate = 256000;
    TDlgSetting dlg;
    dlg.SetFormatInfo(std::move(edited));
    EXPECT_EQ(dlg.cmbResolution->currentText(), "176x144");
    dlg.btnDefaultClick();
    EXPECT_EQ(dlg.cmbResolution->currentText(), "Auto - Original");
    EXPECT_EQ(dlg.cmbBitRate->currentText(), "2000 kbps");
    EXPECT_EQ(dlg.cmbResolution->findText("176x144"), -1);

    // A profile the table does not hold: nothing changes.
    auto unknown = profile();
    unknown->EncParam.Width = 176;
    unknown->EncParam.Height = 144;
    TDlgSetting other;
    other.SetFormatInfo(std::move(unknown));
    other.btnDefaultClick();
    EXPECT_EQ(other.cmbResolution->currentText(), "176x144");
}

// The size of the video: bit rate, constant quality on the chosen encoder's named scale, or a
// size to fit into; each written back, and the quality scale following the encoder.
TEST(SettingDialog, RateModeQualityAndFitInto) {
    TDlgSetting dlg;
    auto f = profile();
    f->EncParam.Quality = 20;  // x264's "High" point
    dlg.SetFormatInfo(std::move(f));
    EXPECT_EQ(dlg.cmbRateMode->currentIndex(), TDlgSetting::kRateQuality);
    EXPECT_EQ(items(dlg.cmbQuality),
              QStringList({"Smallest (32)", "Small (28)", "Balanced (23)", "High (20)", "Best (17)"}));
    EXPECT_EQ(dlg.cmbQuality->currentText(), "High (20)");
    EXPECT_TRUE(dlg.cmbQuality->isEnabled());
    EXPECT_FALSE(dlg.cmbBitRate->isEnabled());
    EXPECT_FALSE(dlg.spnFitSize->isEnabled());

    // Another encoder brings its own scale; MPEG-4 Part 2's runs on qscale. The named point stays
    // (x264's 20 means nothing there).
    dlg.cmbEncoder->setCurrentText("mpeg4");
    EXPECT_EQ(dlg.cmbQuality->itemText(0), "Smallest (12)");
    EXPECT_EQ(dlg.cmbQuality->count(), 5);
    EXPECT_EQ(dlg.cmbQuality->currentIndex(), 3);
    dlg.cmbQuality->setCurrentIndex(4);
    dlg.btnOkClick();
    EXPECT_EQ(dlg.SettingObj->EncParam.Quality, 2);
    EXPECT_EQ(dlg.SettingObj->EncParam.FitSize, 0);

    dlg.cmbRateMode->setCurrentIndex(TDlgSetting::kRateFit);
    EXPECT_TRUE(dlg.spnFitSize->isEnabled());
    EXPECT_FALSE(dlg.cmbQuality->isEnabled());
    dlg.spnFitSize->setValue(8);
    dlg.btnOkClick();
    EXPECT_EQ(dlg.SettingObj->EncParam.FitSize, 8 * 1048576);
    EXPECT_EQ(dlg.SettingObj->EncParam.Quality, -1);

    // Shown again, the limit comes back; the bit rate mode clears both.
    auto again = dlg.SettingObj->Clone();
    TDlgSetting second;
    second.SetFormatInfo(std::move(again));
    EXPECT_EQ(second.cmbRateMode->currentIndex(), TDlgSetting::kRateFit);
    EXPECT_EQ(second.spnFitSize->value(), 8);
    second.cmbRateMode->setCurrentIndex(TDlgSetting::kRateBitrate);
    EXPECT_TRUE(second.cmbBitRate->isEnabled());
    second.btnOkClick();
    EXPECT_EQ(second.SettingObj->EncParam.FitSize, 0);
    EXPECT_EQ(second.SettingObj->EncParam.Quality, -1);
}

// In Chinese the entries are shown translated, and the same choices store the same values as in
// English: every shipped profile, each list's first or last entry, constant quality.
TEST(SettingDialog, ChineseEntriesStoreTheEnglishValues) {
    TestSandbox sandbox;
    LoadProfileMenu();
    LoadParaInfo();
    auto choose = [&](const char* language, int id, bool last) {
        ResetLang();
        LoadLangFile(Lang(), sandbox.programFile("Lang.dll"), language);
        TDlgSetting dlg;
        dlg.SetFormatInfo(GetFormatInfo(id));
        for (QComboBox* list : {dlg.cmbResolution, dlg.cmbFrameRate, dlg.cmbEncoder, dlg.cmbBitRate,
                                dlg.cmbSampleRate, dlg.cmbChannel, dlg.cmbAudioEncoder, dlg.cmbAudioBitRate})
            list->setCurrentIndex(last ? list->count() - 1 : 0);
        dlg.cmbRateMode->setCurrentIndex(TDlgSetting::kRateQuality);
        dlg.cmbQuality->setCurrentIndex(last ? std::min(4, dlg.cmbQuality->count() - 1) : 0);  // "Best"
        const QString shown = dlg.cmbResolution->itemText(0) + '|' + dlg.cmbChannel->currentText() + '|' +
                              dlg.cmbQuality->currentText();
        dlg.btnOkClick();
        const TEncParam& p = dlg.SettingObj->EncParam;
        return QStringList{shown, QString::number(p.Width), QString::number(p.Height), QString::number(p.FrameRate),
                           QString::number(p.VideoBitrate), QString::number(p.AudioBitrate),
                           QString::number(p.SampleRate), QString::number(p.Channels), QString::number(p.Quality),
                           p.VideoEncoder, p.AudioEncoder};
    };
    for (const auto& [id, info] : FormatInfoMap())
        for (bool last : {false, true})
            EXPECT_EQ(choose("en", id, last).mid(1), choose("zh", id, last).mid(1)) << id << last;
    EXPECT_GT(FormatInfoMap().size(), 50u);
    // 1055: "Auto - Original", "2 (Stereo)", mpeg4's "Best (2)"; 1501: a disc standard, "6 (5.1 Surround)".
    EXPECT_EQ(choose("zh", 1055, true)[0], QString::fromUtf8("自动 - 保持原样|2 (立体声)|最佳 (2)"));
    EXPECT_EQ(choose("zh", 1501, true)[0].section('|', 0, 1),
              QString::fromUtf8("自动 - 光盘标准（PAL 720x576 或 NTSC 720x480）|6 (5.1 环绕声)"));
    EXPECT_EQ(choose("en", 1055, true)[0], "Auto - Original|2 (Stereo)|Best (2)");
    ResetLang();
}
