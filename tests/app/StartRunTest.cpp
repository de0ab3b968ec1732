#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QTimer>
#include <QTreeWidget>

#include "app/FileListItem.h"
#include "app/MainFrm.h"
#include "app/Utils.h"
#include "common/MediaFixtures.h"
#include "common/ScriptedDialogs.h"
#include "common/TestSandbox.h"
#include "convert/ConvertDlg.h"
#include "profiles/ParaInfo.h"
#include "settings/Lang.h"
#include "settings/Options.h"

namespace {
QString clip() {
    return QString::fromStdString(fixtures::Clip("start_1s.mp4", 1, 160, 120, 25));
}

class StartRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        out = sandbox.root() + "/out";
        w = std::make_unique<TfrmMain>();
    }
    // Runs the conversion window for real; `prepare` may change its choices first.
    void runWindows(std::function<void(TConvertDlg*)> prepare = nullptr) {
        dialogs.dialogHandlers << [prepare](QDialog* d) {
            auto* dlg = qobject_cast<TConvertDlg*>(d);
            if (prepare) prepare(dlg);
            return dlg->exec();
        };
    }
    TestSandbox sandbox;
    ScriptedDialogs dialogs;
    std::unique_ptr<TfrmMain> w;
    QString out;
};
}  // namespace

TEST_F(StartRunTest, AnEmptyOutputFolderIsRefused) {
    w->AddVideFiles({clip()});
    w->cmbOutput->setEditText("");
    w->BtnStartClick();
    EXPECT_EQ(dialogs.texts("ShowInfo"), QStringList{GetLangText("DlgNoOutpuFolderTitle")});
    EXPECT_EQ(dialogs.count("Dialog"), 0);
}

TEST_F(StartRunTest, AFolderThatCantBeCreatedIsRefused) {
    w->AddVideFiles({clip()});
    fixtures::WriteFile((sandbox.root() + "/plainfile").toStdString(), "x");
    w->cmbOutput->setEditText(sandbox.root() + "/plainfile/sub");
    w->BtnStartClick();
    EXPECT_EQ(dialogs.texts("ShowInfo"), QStringList{GetLangText("DlgFailedCreateOutputFolder")});
}

TEST_F(StartRunTest, NothingCheckedIsRefused) {
    w->AddVideFiles({clip(), clip()});
    w->cmbOutput->setEditText(out);
    for (int i = 0; i < w->RowCount(); ++i)
        w->Row(i)->setCheckState(0, Qt::Unchecked);
    w->BtnStartClick();
    EXPECT_EQ(dialogs.texts("ShowInfo"), QStringList{GetLangText("DlgNoConvertTitle")});
    EXPECT_TRUE(QDir(out).exists());  // the folder was made before the rows were looked at
}

TEST_F(StartRunTest, AFinishedRunShowsTheFinishMessageOrOpensTheFolder) {
    w->AddVideFiles({clip(), clip()});
    w->Row(1)->setText(TFileListItem::colOutput, "second");
    w->cmbOutput->setEditText(out);
    runWindows([](TConvertDlg* dlg) { dlg->cbOpenTarget->setChecked(false); });
    w->BtnStartClick();
    EXPECT_EQ(dialogs.texts("ShowInfo"), QStringList{GetLangText("Convert_Finish")});
    EXPECT_TRUE(QFile::exists(out + "/start_1s.mp4"));
    EXPECT_TRUE(QFile::exists(out + "/second.mp4"));
    EXPECT_FALSE(w->CkbApplyAll->isChecked());  // cleared after a run that ended with OK
    EXPECT_EQ(w->ConvertDlg, nullptr);

    dialogs.calls.clear();
    dialogs.answers = {mrYesToAll};
    runWindows();  // open-folder is checked by default
    w->BtnStartClick();
    EXPECT_EQ(sandbox.platform.opened, QStringList{out});
    EXPECT_EQ(dialogs.count("ShowInfo"), 0);

    // Where no folder can be opened the account still comes, with the reason as one more line.
    sandbox.platform.opens = false;
    dialogs.answers = {mrYesToAll};
    runWindows();
    w->BtnStartClick();
    EXPECT_EQ(dialogs.texts("ShowInfo"),
              QStringList{GetLangText("Convert_Finish") + "\n" + FormatText(GetLangText("OpenDocumentFailed"), {out})});
}

TEST_F(StartRunTest, AFailedFileIsNamedInTheFinishMessage) {
    const QString doomed = sandbox.root() + "/doomed.mp4";
    QFile::copy(clip(), doomed);
    w->AddVideFiles({clip(), doomed, clip()});
    QFile::remove(doomed);  // gone after it was listed
    w->cmbOutput->setEditText(out);
    QString rowText, rowTip;
    dialogs.dialogHandlers << [&](QDialog* d) {
        auto* dlg = qobject_cast<TConvertDlg*>(d);
        dlg->cbOpenTarget->setChecked(false);
        const int result = dlg->exec();
        rowText = dlg->ListViewConvertList->topLevelItem(1)->text(2);
        rowTip = dlg->ListViewConvertList->topLevelItem(1)->toolTip(2);
        return result;
    };
    w->BtnStartClick();
    // The missing file's row says why, in its text and its tooltip.
    EXPECT_FALSE(rowText.isEmpty());
    EXPECT_NE(rowText, "0");
    EXPECT_EQ(rowTip, rowText);
    const QStringList shown = dialogs.texts("ShowInfo");
    ASSERT_EQ(shown.size(), 1);
    EXPECT_TRUE(shown[0].contains(rowText)) << rowText.toStdString();
    EXPECT_TRUE(shown[0].startsWith(FormatText(GetLangText("ConvertPartly"), {"2", "3"}))) << shown[0].toStdString();
    EXPECT_TRUE(shown[0].contains("doomed.mp4")) << shown[0].toStdString();
    EXPECT_EQ(dialogs.count("MessageBox"), 0);
}

TEST_F(StartRunTest, TurningOffGoesThroughThePlatformLayer) {
    w->AddVideFiles({clip()});
    w->cmbOutput->setEditText(out);
    runWindows([](TConvertDlg* dlg) { dlg->cbShutdown->setChecked(true); });
    w->BtnStartClick();
    EXPECT_EQ(sandbox.platform.powerOffs, 1);
    EXPECT_TRUE(sandbox.platform.opened.isEmpty());
}

TEST_F(StartRunTest, MergeWithOneRowConvertsNormally) {
    w->AddVideFiles({clip()});
    w->cmbOutput->setEditText(out);
    w->CkbMerge->setEnabled(true);
    w->CkbMerge->setChecked(true);
    runWindows([](TConvertDlg* dlg) {
        EXPECT_FALSE(dlg->Queue.IsMergeOne);
        dlg->cbOpenTarget->setChecked(false);
    });
    w->BtnStartClick();
    EXPECT_FALSE(w->CkbMerge->isChecked());
    EXPECT_TRUE(QFile::exists(out + "/start_1s.mp4"));
    EXPECT_FALSE(QDir(out + "/MegerTemp").exists());
}

TEST_F(StartRunTest, AMergeTooLongForItsSizeLimitIsRefusedBeforeStarting) {
    w->AddVideFiles({clip(), QString::fromStdString(fixtures::Clip("start_1s_b.mp4", 1, 160, 120, 25))});
    w->cmbOutput->setEditText(out);
    w->CkbMerge->setEnabled(true);
    w->CkbMerge->setChecked(true);
    // Each clip alone fits into 40 KB; both together don't.
    for (int row : {0, 1})
        w->Row(row)->Entry()->formatInfo->EncParam.FitSize = 40 * 1024;
    w->BtnStartClick();
    const QStringList shown = dialogs.texts("ShowInfo");
    ASSERT_EQ(shown.size(), 1);
    EXPECT_TRUE(shown[0].startsWith("MergerVideo")) << shown[0].toStdString();
    EXPECT_TRUE(shown[0].contains("the smallest size that works is")) << shown[0].toStdString();
    EXPECT_EQ(dialogs.count("Dialog"), 0);
}

TEST_F(StartRunTest, TheRunWorksOnCopiesOfTheRows) {
    w->AddVideFiles({clip()});
    w->cmbOutput->setEditText(out);
    runWindows([this](TConvertDlg* dlg) {
        // Editing the list during the run does not reach the run.
        w->Row(0)->Entry()->FileName = "/nowhere.mp4";
        w->spSkinBtnClearClick();
        dlg->cbOpenTarget->setChecked(false);
        return;
    });
    w->BtnStartClick();
    EXPECT_TRUE(QFile::exists(out + "/start_1s.mp4"));
}

TEST_F(StartRunTest, OutputFolderRow) {
    dialogs.folders << sandbox.root() + "/chosen";
    w->spSkinBtnBrowerClick();
    EXPECT_EQ(w->cmbOutput->currentText(), sandbox.root() + "/chosen");
    EXPECT_EQ(w->cmbOutput->itemText(0), sandbox.root() + "/chosen");
    ResetOptions();
    EXPECT_EQ(GetOptions().OutPutFolder, sandbox.root() + "/chosen");  // saved
    w->cmbOutputSelect(w->cmbOutput->findText("Clear"));
    ASSERT_EQ(w->cmbOutput->count(), 2);
    EXPECT_EQ(w->cmbOutput->itemText(0), GetOptions().DefaultOutput);
    EXPECT_EQ(w->cmbOutput->itemText(1), "Clear");
    EXPECT_EQ(w->cmbOutput->currentText(), GetOptions().DefaultOutput);
    w->spSkinBtnFindTargetClick();
    EXPECT_EQ(sandbox.platform.opened, QStringList{GetOptions().DefaultOutput});
    EXPECT_TRUE(QDir(GetOptions().DefaultOutput).exists());
    EXPECT_EQ(dialogs.count("ShowInfo"), 0);
    // Without a file manager Open Folder says so and names the folder.
    sandbox.platform.opens = false;
    w->spSkinBtnFindTargetClick();
    EXPECT_EQ(dialogs.texts("ShowInfo"),
              QStringList{FormatText(GetLangText("OpenDocumentFailed"), {GetOptions().DefaultOutput})});
}

TEST_F(StartRunTest, ARelativeOutputFolderIsTakenFromHomeWhateverFolderWasAdded) {
    const QString before = QDir::currentPath();
    const QString media = sandbox.root() + "/media";
    QDir().mkpath(media);
    ASSERT_TRUE(QFile::copy(clip(), media + "/added.mp4"));
    w->cmbOutput->setEditText("Films/out");
    dialogs.folders << media;
    w->MenuAddFolderClick();
    ASSERT_EQ(w->RowCount(), 1);
    EXPECT_EQ(QDir::currentPath(), before);
    runWindows([](TConvertDlg* dlg) { dlg->cbOpenTarget->setChecked(false); });
    w->BtnStartClick();
    EXPECT_EQ(w->cmbOutput->currentText(), sandbox.homeDir() + "/Films/out");
    EXPECT_TRUE(QFile::exists(sandbox.homeDir() + "/Films/out/added.mp4"));
    EXPECT_FALSE(QFile::exists(media + "/Films/out/added.mp4"));
}

TEST_F(StartRunTest, ApplyAllCopiesTheFirstRowsProfileWhenConfirmed) {
    w->AddVideFiles({clip(), clip(), clip()});
    w->Row(0)->Entry()->formatInfo = GetFormatInfo(1058);
    w->Row(0)->setText(TFileListItem::colFormat, ".avi");
    w->CkbApplyAll->setChecked(false);
    w->CkbApplyAllClick();  // unchecked: nothing asked
    EXPECT_EQ(dialogs.count("YesNoBox"), 0);
    w->CkbApplyAll->setChecked(true);
    dialogs.answers = {mrNo};
    w->CkbApplyAllClick();
    EXPECT_EQ(w->Row(1)->text(TFileListItem::colFormat), ".mp4");
    dialogs.answers = {mrYes};
    w->CkbApplyAllClick();
    ASSERT_EQ(dialogs.count("YesNoBox"), 2);
    EXPECT_EQ(dialogs.calls.last().title, GetLangText("AppleToAll_Title"));
    for (int i = 1; i < 3; ++i) {
        EXPECT_EQ(w->Row(i)->text(TFileListItem::colFormat), ".avi");
        EXPECT_EQ(w->Row(i)->Entry()->formatInfo->ID, 1058);
        EXPECT_NE(w->Row(i)->Entry()->formatInfo.get(), w->Row(0)->Entry()->formatInfo.get());
    }
}

TEST_F(StartRunTest, ClosingTheProgramDuringABackgroundRunCancelsItCleanly) {
    const QString longer = QString::fromStdString(fixtures::Clip("start_long.mp4", 8, 640, 480, 25));
    w->AddVideFiles({longer, longer});
    w->Row(1)->setText(TFileListItem::colOutput, "second");
    w->cmbOutput->setEditText(out);
    int result = -1;
    dialogs.dialogHandlers << [&](QDialog* d) {
        auto* dlg = qobject_cast<TConvertDlg*>(d);
        QTimer::singleShot(300, w.get(), [&] {
            w->MinimizeToTray();
            w->close();  // as "&Exit" in the tray menu does
        });
        result = dlg->exec();
        return result;
    };
    w->BtnStartClick();
    EXPECT_EQ(result, 2);
    EXPECT_EQ(w->ConvertDlg, nullptr);
    EXPECT_EQ(dialogs.count("ShowInfo"), 0);
    EXPECT_TRUE(sandbox.platform.opened.isEmpty());
}

TEST_F(StartRunTest, BackgroundRunningAlwaysLetsTheWindowsComeBack) {
    const QString longer = QString::fromStdString(fixtures::Clip("start_long.mp4", 8, 640, 480, 25));
    w->show();
    w->AddVideFiles({longer});
    w->cmbOutput->setEditText(out);
    for (const bool tray : {true, false}) {
        SCOPED_TRACE(tray ? "with a tray" : "without a tray");
        w->TrayAvailable = [tray] { return tray; };
        bool hiddenWhileRunning = false, minimisedWhileRunning = false, backWhileRunning = false;
        QString trayTip;
        int result = -1;
        dialogs.dialogHandlers << [&](QDialog* d) {
            auto* dlg = qobject_cast<TConvertDlg*>(d);
            dlg->cbOpenTarget->setChecked(false);
            QTimer::singleShot(200, w.get(), [&, dlg] {
                dlg->btnRunBackGroundClick();
                hiddenWhileRunning = !w->isVisible() && !dlg->isVisible() && w->TrayIcon->isVisible();
                QTimer::singleShot(300, w.get(), [&] { trayTip = w->TrayIcon->toolTip(); });
                minimisedWhileRunning = w->isMinimized() && dlg->isMinimized() && dlg->isVisible();
            });
            QTimer::singleShot(600, w.get(), [&, dlg] {
                if (tray)
                    w->TrayIconDblClick();
                else
                    w->showNormal();
                backWhileRunning = !dlg->Queue.finished && w->isVisible() && !w->isMinimized() &&
                                   dlg->isVisible() && !dlg->isMinimized();
            });
            result = dlg->exec();
            return result;
        };
        w->BtnStartClick();
        EXPECT_EQ(result, mrOk);  // hiding the window did not end the run
        EXPECT_TRUE(tray ? hiddenWhileRunning : minimisedWhileRunning);
        EXPECT_TRUE(backWhileRunning);
        // The tray's tooltip followed the run.
        EXPECT_TRUE(trayTip.contains(FormatText(GetLangText("ConvertPartly"), {"0", "1"}))) << trayTip.toStdString();
        EXPECT_TRUE(QFile::exists(out + "/start_long.mp4"));
        QFile::remove(out + "/start_long.mp4");
    }
}
