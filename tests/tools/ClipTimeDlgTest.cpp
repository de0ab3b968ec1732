#include <gtest/gtest.h>

#include <QKeyEvent>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <cstdlib>

#include "app/CommEntity.h"
#include "app/FileListItem.h"
#include "app/MainFrm.h"
#include "app/Utils.h"
#include "common/MediaFixtures.h"
#include "common/ScriptedDialogs.h"
#include "common/TestSandbox.h"
#include "common/WaitFor.h"
#include "convert/ConvertDlg.h"
#include "engine/player/Player.h"
#include "settings/Lang.h"
#include "tools/ClipTimeDlg.h"

namespace {
constexpr qint64 kSec = 1000000;

// 30 s whose frame n has the grey level 3n mod 256, a key frame every 2 s, and a tone.
QString greyClip() {
    return QString::fromStdString(fixtures::Make(
        "clip_grey_30s.mp4",
        "-f lavfi -i color=black:s=160x120:r=25:d=30,format=gray,geq=lum='mod(N*3\\,256)' "
        "-f lavfi -i sine=frequency=440:duration=30 -c:v libx264 -g 50 -keyint_min 50 -sc_threshold 0 "
        "-qp 0 -pix_fmt yuv420p -c:a aac -shortest"));
}

// Mean luma of the first decoded frame of `file`, or, with `at`, of the frame at that time.
double meanLuma(const QString& file, const char* at = nullptr) {
    std::string out;
    std::string cmd = "ffmpeg -nostdin -v info ";
    if (at) cmd += std::string("-ss ") + at + " ";
    cmd += "-i " + fixtures::ShellQuote(file.toStdString()) +
           " -frames:v 1 -vf signalstats,metadata=print:key=lavfi.signalstats.YAVG -f null - 2>&1";
    fixtures::Run(cmd, &out);
    const size_t p = out.find("YAVG=");
    return p == std::string::npos ? -1 : std::stod(out.substr(p + 5));
}

class ClipTimeDlgTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        LoadLang();
        entry.FileName = QString::fromStdString(fixtures::Clip("clip_dlg_30s.mp4", 30, 160, 120, 25));
        entry.FileDurTime = 30 * kSec;
        entry.EndTime = 30 * kSec;
    }
    void type(QLineEdit* field, const char* text) { field->setText(QString::fromLatin1(text)); }
    TestSandbox sandbox;
    ScriptedDialogs dialogs;
    ListFileInfo entry;
};
}  // namespace

TEST_F(ClipTimeDlgTest, TypedTimesFollowTheRulesAndOkWritesTheEntry) {
    TClipTimeDlg dlg;
    ASSERT_TRUE(dlg.SetData(&entry));
    EXPECT_EQ(dlg.windowTitle(), GetLangText("DlgClipTitle") + ":clip_dlg_30s.mp4");
    EXPECT_EQ(dlg.Range().totalTime, 30 * kSec);
    EXPECT_TRUE(WaitFor([&] { return dlg.Player()->CurrentPTS() > 0; }));
    EXPECT_LT(dlg.ClipBar->SelEnd(), dlg.ClipBar->SelStart());  // whole range: no selection drawn
    EXPECT_EQ(dlg.VideoTracer->maximum(), 479);
    EXPECT_EQ(dlg.VideoTracer->tickInterval(), 10);

    type(dlg.txtStartTime, "00:00:06");
    dlg.btnStartOkClick();
    type(dlg.txtEndTime, "00:00:12");
    dlg.BtnEndOkClick();
    EXPECT_EQ(dlg.lbLength->text(), "00:00:06");
    EXPECT_EQ(dlg.ClipBar->SelStart(), 95);
    EXPECT_EQ(dlg.ClipBar->SelEnd(), 190);

    type(dlg.txtEndTime, "00:00:31");
    dlg.BtnEndOkClick();
    type(dlg.txtEndTime, "00:00:06");
    dlg.BtnEndOkClick();
    type(dlg.txtStartTime, "00:00:13");
    dlg.btnStartOkClick();
    type(dlg.txtStartTime, "00:0_:1_");  // an unfinished field is not a time
    dlg.btnStartOkClick();
    EXPECT_EQ(dialogs.texts("ShowInfo").mid(0, 3),
              (QStringList{GetLangText("DlgEndGreatTotal"), GetLangText("DlgEndGreatStart"),
                           GetLangText("DlgStartGreatEnd")}));
    EXPECT_EQ(dialogs.count("ShowInfo"), 4);
    EXPECT_EQ(dlg.txtStartTime->text(), "00:00:06");  // refused values give way to the range again
    EXPECT_EQ(dlg.txtEndTime->text(), "00:00:12");

    // A one-digit hour is a time too, as typed.
    dlg.txtStartTime->clear();
    dlg.txtStartTime->setCursorPosition(0);
    for (const QChar c : QStringLiteral("0:00:05")) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QCoreApplication::sendEvent(dlg.txtStartTime, &press);
    }
    dlg.btnStartOkClick();
    EXPECT_EQ(dlg.Range().startTime, 5 * kSec);
    type(dlg.txtStartTime, "00:00:06");
    dlg.btnStartOkClick();

    dlg.BtnOkClick();
    EXPECT_EQ(dlg.result(), mrOk);
    EXPECT_EQ(entry.StartTime, 6 * kSec);
    EXPECT_EQ(entry.EndTime, 12 * kSec);
    EXPECT_EQ(dlg.Player()->State(), TPlayState::psStop);
}

TEST_F(ClipTimeDlgTest, StartAndEndFromThePlayingPositionAndReset) {
    TClipTimeDlg dlg;
    ASSERT_TRUE(dlg.SetData(&entry));
    ASSERT_TRUE(WaitFor([&] { return dlg.Player()->CurrentPTS() > 0; }));
    dlg.VideoTracer->setValue(240);  // the user drags: the player seeks there
    EXPECT_TRUE(WaitFor([&] { return dlg.Player()->CurrentPTS() >= 240 * 30 * kSec / 479; }));
    dlg.BtnStartClick();
    EXPECT_EQ(dlg.StartTime(), 240 * 30 * kSec / 479);
    dlg.VideoTracer->setValue(100);
    dlg.BtnEndClick();  // before the start: taken as it is
    EXPECT_EQ(dlg.EndTime(), 100 * 30 * kSec / 479);
    dlg.BtnResetClick();
    EXPECT_EQ(dlg.StartTime(), 0);
    EXPECT_EQ(dlg.EndTime(), 30 * kSec);
    EXPECT_EQ(dlg.ClipBar->SelEnd(), 478);  // drawn although whole

    dlg.BtnPlayClick();  // pause
    EXPECT_TRUE(WaitFor([&] { return dlg.Player()->Paused(); }));
    EXPECT_TRUE(dlg.BtnPlay->isVisibleTo(&dlg));
    dlg.BtnPlayClick();  // resume
    EXPECT_TRUE(WaitFor([&] { return !dlg.Player()->Paused(); }));
}

TEST_F(ClipTimeDlgTest, CancelAndClosingAskOnlyAboutAChangedRange) {
    {
        TClipTimeDlg dlg;
        ASSERT_TRUE(dlg.SetData(&entry));
        dlg.BtnCancelClick();
        EXPECT_EQ(dlg.result(), mrCancel);
        EXPECT_EQ(dialogs.count("AskQuestion"), 0);
    }
    for (int answer : {int(mrNo), int(mrYes)}) {
        SCOPED_TRACE(answer);
        for (bool closeButton : {false, true}) {
            entry.StartTime = 0;
            TClipTimeDlg dlg;
            ASSERT_TRUE(dlg.SetData(&entry));
            type(dlg.txtStartTime, "00:00:04");
            dlg.btnStartOkClick();
            dialogs.answers << answer;
            if (closeButton)
                dlg.reject();
            else
                dlg.BtnCancelClick();
            EXPECT_EQ(dlg.result(), answer == mrYes ? mrOk : mrCancel);
            EXPECT_EQ(entry.StartTime, answer == mrYes ? 4 * kSec : 0);
        }
    }
    EXPECT_EQ(dialogs.texts("AskQuestion"), QStringList(4, GetLangText("ClipAsk_Title")));
}

TEST_F(ClipTimeDlgTest, AFileThatCantBePlayedIsReportedAndTheDialogNotShown) {
    fixtures::WriteFile((sandbox.root() + "/broken.mp4").toStdString(), "not a video at all");
    entry.FileName = sandbox.root() + "/broken.mp4";
    TClipTimeDlg dlg;
    EXPECT_FALSE(dlg.SetData(&entry));
    EXPECT_EQ(dialogs.count("ShowInfo"), 1);
    EXPECT_EQ(dlg.result(), mrCancel);
}

// The main window's Clip button with no row selected clips the first row; Start then converts
// exactly that range, from the frame at the start time (not the key frame before it).
TEST_F(ClipTimeDlgTest, AClippedRowConvertsOnlyItsRange) {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    const QString grey = greyClip();
    TfrmMain w;
    w.AddVideFiles({grey, QString::fromStdString(fixtures::Clip("clip_other.mp4", 1, 160, 120, 25))});
    w.FileListView->clearSelection();
    dialogs.dialogHandlers << [this](QDialog* d) {
        auto* dlg = qobject_cast<TClipTimeDlg*>(d);
        type(dlg->txtEndTime, "00:00:13");
        dlg->BtnEndOkClick();
        type(dlg->txtStartTime, "00:00:07");
        dlg->btnStartOkClick();
        dlg->BtnOkClick();
        return dlg->result();
    };
    w.btnClipClick();
    ListFileInfo* first = w.Row(0)->Entry();
    EXPECT_EQ(first->StartTime, 7 * kSec);
    EXPECT_EQ(first->EndTime, 13 * kSec);
    EXPECT_EQ(w.Row(0)->text(TFileListItem::colDuration), "00:00:06");
    EXPECT_EQ(w.Row(0)->text(TFileListItem::colSize),
              EstimatedSizeText(first->formatInfo->EncParam.VideoBitrate,
                                first->formatInfo->EncParam.AudioBitrate, 6 * kSec));
    // Start 0.32 s later, at frame 183, between the key frames at 6 s and 8 s.
    first->StartTime = 7320000;
    first->EndTime = 13320000;

    const QString out = sandbox.root() + "/out";
    w.cmbOutput->setEditText(out);
    w.Row(1)->setCheckState(0, Qt::Unchecked);
    dialogs.dialogHandlers << [](QDialog* d) {
        auto* dlg = qobject_cast<TConvertDlg*>(d);
        dlg->cbOpenTarget->setChecked(false);
        return dlg->exec();
    };
    w.BtnStartClick();
    const std::string file = (out + "/clip_grey_30s.mp4").toStdString();
    ASSERT_TRUE(fixtures::FileExists(file));
    const double frame = 1.0 / 25;
    EXPECT_NEAR(std::stod(fixtures::Probe(file, "v:0", "stream=duration")), 6.0, frame);
    EXPECT_NEAR(std::stod(fixtures::Probe(file, "a:0", "stream=duration")), 6.0, frame);
    EXPECT_NEAR(fixtures::ProbeDuration(file), 6.0, frame);
    // The first picture is frame 183 (grey 3 * 183 mod 256 = 37), not key frame 150 (194).
    const double firstOut = meanLuma(QString::fromStdString(file));
    EXPECT_NEAR(firstOut, meanLuma(grey, "7.32"), 1.0);
    EXPECT_GT(std::abs(firstOut - meanLuma(grey, "6.0")), 10.0);
}
