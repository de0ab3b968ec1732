#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <cstdlib>
#include <random>

#include "app/FileListItem.h"
#include "app/FrameSinkWidget.h"
#include "app/MainFrm.h"
#include "app/StillPicture.h"
#include "online/YouTubeFrm.h"
#include "app/SnapshotWriter.h"
#include "app/Utils.h"
#include "common/MediaFixtures.h"
#include "common/ScriptedDialogs.h"
#include "common/TestSandbox.h"
#include "common/WaitFor.h"
#include "convert/ConvertDlg.h"
#include "engine/player/Player.h"
#include "settings/Lang.h"
#include "settings/Options.h"

namespace {
QString clip(const char* name, double seconds, int w = 320, int h = 240, const char* codecArgs = "") {
    return QString::fromStdString(fixtures::Clip(name, seconds, w, h, 25, codecArgs));
}

// True when the panel shows something brighter than the black letterbox.
bool panelShowsPicture(QWidget* panel) {
    const QImage img = panel->grab().toImage();
    for (int y = 0; y < img.height(); y += 7)
        for (int x = 0; x < img.width(); x += 7)
            if (qGray(img.pixel(x, y)) > 60) return true;
    return false;
}

class PreviewPanelTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        w = std::make_unique<TfrmMain>();
        player = w->Player();
    }
    bool playing() {
        return WaitFor([this] { return player->State() == TPlayState::psPlay && player->CurrentPTS() > 0; });
    }
    TestSandbox sandbox;
    ScriptedDialogs dialogs;
    std::unique_ptr<TfrmMain> w;
    TFFPlayer* player = nullptr;
};
}  // namespace

TEST_F(PreviewPanelTest, DoubleClickPreviewsTheSelectedRowOrTheFirst) {
    w->FileListViewDblClick();  // empty list: nothing
    EXPECT_TRUE(player->FileName().empty());

    const QString a = clip("preview_a.mp4", 4), b = clip("preview_b.mp4", 4);
    w->AddVideFiles({a, b});
    w->FileListView->clearSelection();
    w->FileListViewDblClick();
    EXPECT_EQ(w->SelectedRow(), w->Row(0));
    EXPECT_EQ(QString::fromStdString(player->FileName()), a);
    ASSERT_TRUE(playing());
    EXPECT_TRUE(w->btnPause->isVisibleTo(w.get()));
    EXPECT_FALSE(w->BtnPlay->isVisibleTo(w.get()));
    EXPECT_TRUE(w->BtnStop->isEnabled());
    EXPECT_TRUE(w->BtnSnap->isEnabled());
    EXPECT_EQ(w->LbVideoFileTitle->text(), "Preview:preview_a.mp4");
    EXPECT_TRUE(WaitFor([this] { return panelShowsPicture(w->PanelRenderPanel); }));

    w->FileListView->setCurrentItem(w->Row(1));
    w->FileListViewDblClick();
    EXPECT_EQ(QString::fromStdString(player->FileName()), b);
    EXPECT_TRUE(playing());

    // An online row: the player stops and the online video dialog shows it, its OK disabled.
    auto* online = new TFileListItem;
    auto entry = std::make_unique<ListFileInfo>();
    entry->IsYutubeFile = true;
    online->SetEntry(std::move(entry));
    w->FileListView->addTopLevelItem(online);
    w->FileListView->setCurrentItem(online);
    bool okEnabled = true;
    dialogs.dialogHandlers << [&](QDialog* d) {
        auto* online = qobject_cast<TFrmYouTube*>(d);
        EXPECT_NE(online, nullptr);
        if (online) okEnabled = online->btnOK->isEnabled();
        return int(mrCancel);
    };
    w->FileListViewDblClick();
    EXPECT_EQ(dialogs.count("Dialog"), 1);
    EXPECT_FALSE(okEnabled);
    EXPECT_EQ(player->State(), TPlayState::psStop);
    EXPECT_FALSE(w->BtnSnap->isEnabled());
    EXPECT_TRUE(w->currentFile.isEmpty());
}

TEST_F(PreviewPanelTest, PlayPauseSeekVolumeStopAndTheEnd) {
    w->AddVideFiles({clip("preview_c.mp4", 6)});  // one file: selected, so Play opens it
    w->spSkinBtnPlayClick();
    ASSERT_TRUE(playing());

    w->spSkinBtnPlayClick();
    EXPECT_TRUE(WaitFor([this] { return player->Paused(); }));
    EXPECT_TRUE(w->BtnPlay->isVisibleTo(w.get()));
    PumpEvents(150);
    const int64_t held = player->CurrentPTS();
    PumpEvents(300);
    EXPECT_EQ(player->CurrentPTS(), held);
    w->spSkinBtnPlayClick();
    EXPECT_TRUE(WaitFor([&] { return player->CurrentPTS() > held; }));

    // A user move seeks once; for a second the position events leave the slider where the user
    // put it, then it follows the playing position again.
    const int64_t seeksBefore = player->Stats().SeekCount;
    const int target = w->VideoTracer->maximum() / 3;
    const int64_t targetTime = int64_t(target) * 6000000 / w->VideoTracer->maximum();
    w->VideoTracer->setValue(target);
    PumpEvents(600);
    EXPECT_EQ(w->VideoTracer->value(), target);
    EXPECT_GT(player->CurrentPTS(), targetTime - 100000);
    EXPECT_LT(player->CurrentPTS(), targetTime + 1000000);
    PumpEvents(700);
    EXPECT_GE(w->VideoTracer->value(), target);
    EXPECT_EQ(player->Stats().SeekCount, seeksBefore + 1);

    w->VolTrace->setValue(w->VolTrace->width() / 4);
    EXPECT_EQ(player->AudioVolume(), w->VolTrace->width() / 4 * 255 / w->VolTrace->width());
    w->BtnVolClick();
    EXPECT_TRUE(player->Mute());
    EXPECT_TRUE(w->BtnVol->isVisibleTo(w.get()));
    EXPECT_FALSE(w->BtnMute->isVisibleTo(w.get()));
    w->BtnVolClick();
    EXPECT_FALSE(player->Mute());

    // Played to the end: the buttons reset and Play starts the file again.
    EXPECT_TRUE(WaitFor([this] { return !w->BtnStop->isEnabled(); }, 8000));
    EXPECT_TRUE(w->BtnPlay->isVisibleTo(w.get()));
    EXPECT_EQ(w->VideoTracer->value(), 0);
    w->spSkinBtnPlayClick();
    ASSERT_TRUE(playing());

    w->spSkinBtnStopClick();
    EXPECT_FALSE(w->BtnStop->isEnabled());
    EXPECT_FALSE(w->BtnSnap->isEnabled());
    EXPECT_TRUE(WaitFor([this] { return player->State() == TPlayState::psStop; }));
    EXPECT_EQ(w->VideoTracer->value(), 0);

    w->spSkinBtnPlayClick();
    ASSERT_TRUE(playing());
    w->spSkinBtnClearClick();  // an empty list stops the preview at once
    EXPECT_FALSE(player->Playing());
    EXPECT_EQ(player->State(), TPlayState::psStop);
}

TEST_F(PreviewPanelTest, SnapshotsOfThePicture) {
    TOptions& o = GetOptions();
    o.shapShotDir = sandbox.root() + "/shots/new";
    o.SnapShotFormat = 0;
    SnapshotCounter = 0;
    // Pixels 4:3 wide: shown, and saved, 426 x 180.
    w->AddVideFiles({clip("preview_sar.mp4", 4, 320, 180, "-vf setsar=4/3")});
    w->spSkinBtnPlayClick();
    ASSERT_TRUE(playing());

    w->spSkinBtnSnapClick();
    const QString jpg = o.shapShotDir + "/preview_sar.mp4_1.jpg";
    ASSERT_TRUE(QFile::exists(jpg));
    EXPECT_EQ(w->lbStatus->text(), FormatText(GetLangText("SnapshotSaved"), {"preview_sar.mp4_1.jpg"}));
    EXPECT_EQ(QImage(jpg).size(), QSize(426, 180));
    EXPECT_EQ(fixtures::Probe(jpg.toStdString(), "v:0", "stream=codec_name"), "mjpeg");

    w->PopupMenuFFPlayPopup();
    EXPECT_TRUE(w->MenuItemJPG->isChecked());
    w->MenuItemBmp->trigger();
    w->MenuItemBmp->trigger();  // choosing the current format keeps it
    EXPECT_EQ(o.SnapShotFormat, TSnapshotWriter::sfBmp);
    w->PopupMenuFFPlayPopup();
    EXPECT_TRUE(w->MenuItemBmp->isChecked());
    EXPECT_FALSE(w->MenuItemJPG->isChecked());

    fixtures::WriteFile((o.shapShotDir + "/preview_sar.mp4_2.bmp").toStdString(), "user's file");
    w->spSkinBtnSnapClick();
    const QString bmp = o.shapShotDir + "/preview_sar.mp4_3.bmp";
    ASSERT_TRUE(QFile::exists(bmp));
    EXPECT_EQ(QImage(bmp).size(), QSize(426, 180));
    EXPECT_EQ(fixtures::Probe(bmp.toStdString(), "v:0", "stream=pix_fmt"), "bgr24");
    EXPECT_EQ(fixtures::ReadFile((o.shapShotDir + "/preview_sar.mp4_2.bmp").toStdString()), "user's file");

    w->MenuItemOpenFolderClick();
    EXPECT_EQ(sandbox.platform.opened, QStringList{o.shapShotDir});

    // A folder that can't be made: the message, no file, no number used.
    fixtures::WriteFile((sandbox.root() + "/plain").toStdString(), "x");
    o.shapShotDir = sandbox.root() + "/plain/shots";
    w->spSkinBtnSnapClick();
    EXPECT_EQ(dialogs.texts("ShowInfo"), QStringList{GetLangText("DlgFailedCreateSnapFolder")});
    EXPECT_EQ(SnapshotCounter, 3);
}

TEST_F(PreviewPanelTest, StartAndClosingStopThePreview) {
    w->AddVideFiles({clip("preview_d.mp4", 6, 160, 120)});
    w->cmbOutput->setEditText(sandbox.root() + "/out");
    w->spSkinBtnPlayClick();
    ASSERT_TRUE(playing());
    TPlayState stateWhenConverting = TPlayState::psPlay;
    dialogs.dialogHandlers << [&](QDialog*) {
        stateWhenConverting = player->State();
        return int(mrCancel);
    };
    w->BtnStartClick();
    EXPECT_EQ(dialogs.count("Dialog"), 1);
    EXPECT_EQ(stateWhenConverting, TPlayState::psStop);

    w->spSkinBtnPlayClick();
    ASSERT_TRUE(playing());
    QElapsedTimer t;
    t.start();
    w->close();
    w.reset();
    EXPECT_LT(t.elapsed(), 3000);
}

namespace {
// Once the player's events have arrived, the buttons show what the player is doing, and a file
// that plays is the one the panel names.
bool controlsMatchPlayer(TfrmMain& w, TFFPlayer& p) {
    const bool visiblePlay = w.BtnPlay->isVisibleTo(&w);
    if (visiblePlay == w.btnPause->isVisibleTo(&w)) return false;  // exactly one of them
    if (!p.Playing()) return !w.BtnStop->isEnabled() && visiblePlay;
    const bool moving = !p.Paused();
    return w.BtnStop->isEnabled() && visiblePlay == !moving &&
           w.LbVideoFileTitle->toolTip() == QFileInfo(QString::fromStdString(p.FileName())).fileName();
}
std::string describe(TfrmMain& w, TFFPlayer& p) {
    return "player playing=" + std::to_string(p.Playing()) + " paused=" + std::to_string(p.Paused()) +
           " state=" + std::to_string(int(p.State())) + " file=" + p.FileName() +
           "; buttons play=" + std::to_string(w.BtnPlay->isVisibleTo(&w)) +
           " pause=" + std::to_string(w.btnPause->isVisibleTo(&w)) + " stop=" + std::to_string(w.BtnStop->isEnabled()) +
           " title=" + w.LbVideoFileTitle->toolTip().toStdString();
}
}  // namespace

TEST_F(PreviewPanelTest, TheButtonsAlwaysFollowThePlayer) {
    w->AddVideFiles({clip("jam_a.mp4", 2), clip("jam_b.mp4", 3), clip("jam_c.mp4", 2)});
    ASSERT_EQ(w->RowCount(), 3);
    auto select = [this](int row) {
        w->FileListView->clearSelection();
        w->FileListView->setCurrentItem(w->Row(row));
        w->Row(row)->setSelected(true);
    };
    auto settled = [this](const char* what) {
        EXPECT_TRUE(WaitFor([this] { return controlsMatchPlayer(*w, *player); }, 3000)) << what;
    };

    // The trial's case: row 2 double-clicked while row 1 plays, then pause, resume and stop.
    select(0);
    w->FileListViewDblClick();
    ASSERT_TRUE(playing());
    select(1);
    w->FileListViewDblClick();
    PumpEvents(200);  // the first file's late stop event arrives now
    settled("second row while the first played");
    EXPECT_TRUE(w->btnPause->isVisibleTo(w.get()));
    w->spSkinBtnPlayClick();
    EXPECT_TRUE(WaitFor([this] { return player->Paused(); }));
    settled("paused");
    w->spSkinBtnStopClick();
    settled("stopped");

    // A seeded walk through everything a user does to the panel.
    std::mt19937 random(20261210);
    for (int step = 0; step < 500; ++step) {
        const int action = static_cast<int>(random() % 6);
        const int row = static_cast<int>(random() % 3);
        switch (action) {
            case 0: w->spSkinBtnPlayClick(); break;
            case 1: w->spSkinBtnStopClick(); break;
            case 2: select(row); w->FileListViewDblClick(); break;
            case 3: select(row); break;
            case 4: w->VideoTracer->setValue(static_cast<int>(random() % (w->VideoTracer->maximum() + 1))); break;
            default: PumpEvents(static_cast<int>(random() % 400)); break;
        }
        ASSERT_TRUE(WaitFor([this] { return controlsMatchPlayer(*w, *player); }, 3000))
            << "step " << step << " action " << action << " row " << row << ": " << describe(*w, *player);
    }
    EXPECT_EQ(dialogs.count("ShowInfo"), 0);
}

TEST_F(PreviewPanelTest, TheSelectedRowShowsItsStillAndSoundPlaysAsAWave) {
    // The empty list's panel is grey, not black.
    const QColor grey = QApplication::palette().color(QPalette::Disabled, QPalette::Text);
    const QImage empty = w->RenderSink->grab().toImage();
    EXPECT_EQ(empty.pixelColor(empty.width() / 2, empty.height() / 2), grey);

    const QString video = clip("still_video.mp4", 3);
    const QString sound = QString::fromStdString(fixtures::Clip("still_sound.m4a", 3, 0, 0, 25, "", true, false));
    w->AddVideFiles({video, sound});
    auto select = [this](int row) {
        w->FileListView->setCurrentItem(w->Row(row));
        w->Row(row)->setSelected(true);
    };
    // A picture of the file, decoded without playing it, and its name above it.
    select(0);
    EXPECT_EQ(w->LbVideoFileTitle->text(), "Preview:still_video.mp4");
    EXPECT_EQ(w->lbPlayTime->text(), "00:00:00 / 00:00:03");  // the file's length before Play
    EXPECT_TRUE(WaitFor([this] { return panelShowsPicture(w->RenderSink); }));
    EXPECT_FALSE(player->Playing());
    // A file without pictures has none; going back takes the kept picture at once.
    select(1);
    EXPECT_EQ(w->LbVideoFileTitle->text(), "Preview:still_sound.m4a");
    EXPECT_TRUE(WaitFor([this] { return w->StillPictures->Cached(w->Row(1)->Serial()).has_value(); }));
    EXPECT_TRUE(w->RenderSink->Still().isNull());
    select(0);
    EXPECT_FALSE(w->RenderSink->Still().isNull());

    // Sound plays as a wave drawn in the panel, with the position and the duration beside the
    // slider; a click on the panel turns it into a spectrum.
    select(1);
    w->FileListViewDblClick();
    ASSERT_TRUE(playing());
    EXPECT_TRUE(WaitFor([this] { return panelShowsPicture(w->RenderSink); }));
    EXPECT_TRUE(WaitFor([this] { return w->lbPlayTime->text() == "00:00:01 / 00:00:03"; }))
        << w->lbPlayTime->text().toStdString();
    w->ToggleAudioDisplay();
    EXPECT_EQ(player->ShowAudio(), TShowAudio::saRDFT);
    w->spSkinBtnStopClick();
    EXPECT_EQ(w->lbPlayTime->text(), "00:00:00 / 00:00:03");
    // Stopped: the selected row's name and its (missing) picture come back.
    EXPECT_EQ(w->LbVideoFileTitle->text(), "Preview:still_sound.m4a");
}

// A phone's clip filmed sideways (160x120 stored, a quarter turn in its matrix) stands upright in
// the still picture and in the player, as a phone shows it.
TEST_F(PreviewPanelTest, ASidewaysClipStandsUpright) {
    const std::string plain = fixtures::Make("phone_plain.mp4", "-f lavfi -i testsrc2=size=160x120:rate=25:d=1 "
                                                                "-f lavfi -i sine=duration=1 -c:v libx264 -c:a aac");
    ASSERT_FALSE(plain.empty());
    const QString turned = QString::fromStdString(fixtures::WithTrackMatrix(plain, "phone_turned.mp4", 0, 1, -1, 0));
    w->AddVideFiles({turned});
    ASSERT_EQ(w->RowCount(), 1);
    w->FileListView->setCurrentItem(w->Row(0));
    w->Row(0)->setSelected(true);
    ASSERT_TRUE(WaitFor([this] { return w->StillPictures->Cached(w->Row(0)->Serial()).has_value(); }));
    const QImage still = *w->StillPictures->Cached(w->Row(0)->Serial());
    EXPECT_EQ(still.size(), QSize(120, 160));
    w->FileListViewDblClick();
    ASSERT_TRUE(playing());
    EXPECT_EQ(player->FrameWidth(), 120);
    EXPECT_EQ(player->FrameHeight(), 160);
    const TBitmap24 shown = player->CurrentFrame();
    EXPECT_EQ(shown.Width(), 120);
    EXPECT_EQ(shown.Height(), 160);
}
