// A whole session driven by keys alone: add a file, choose the HD profile in the picker, change
// a value in the settings dialog, start, and cancel the run.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "app/FileListItem.h"
#include "app/MainFrm.h"
#include "common/MediaFixtures.h"
#include "common/ScriptedDialogs.h"
#include "common/TestSandbox.h"
#include "convert/ConvertDlg.h"
#include "profiles/ProfilePopuMenuBigItem.h"
#include "profiles/ProfilePopuMenuSmallItem.h"
#include "profiles/ProfilePopupMeneu.h"
#include "settings/SettingDlg.h"

namespace {
// Presses Tab in `window` until `target` has the keyboard; false when it never comes.
bool tabTo(QWidget* window, QWidget* target) {
    for (int i = 0; i < 40 && QApplication::focusWidget() != target; ++i)
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : window, Qt::Key_Tab);
    return QApplication::focusWidget() == target;
}
}  // namespace

TEST(KeyboardSession, AddChooseHdSetStartAndCancelWithKeysOnly) {
    TestSandbox sandbox;
    ScriptedDialogs dialogs;
    TfrmMain w;
    w.show();
    QApplication::setActiveWindow(&w);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));

    // Ctrl+O: the file chooser (scripted) gives one file.
    dialogs.fileLists << QStringList{QString::fromStdString(fixtures::Clip("keyboard.mp4", 8, 160, 120, 25))};
    QTest::keyClick(&w, Qt::Key_O, Qt::ControlModifier);
    ASSERT_EQ(w.RowCount(), 1);
    // The probe's window has closed: the main window is active again, as on a desktop.
    QApplication::setActiveWindow(&w);

    // The profile row, Enter, down to the HD category, into its profiles, Enter on the first.
    ASSERT_TRUE(tabTo(&w, w.PaneProfile));
    QTest::keyClick(w.PaneProfile, Qt::Key_Return);
    TProfilePopupMeneu* menu = w.ProfilePopMenu();
    ASSERT_TRUE(menu->isVisible());
    for (int i = 0; i < 20 && !menu->ShownCategory()->Caption().startsWith("HD"); ++i)
        QTest::keyClick(menu, Qt::Key_Down);
    ASSERT_TRUE(menu->ShownCategory()->Caption().startsWith("HD"));
    QTest::keyClick(menu, Qt::Key_Return);
    auto* profile = qobject_cast<TProfilePopuMenuBigItem*>(QApplication::focusWidget());
    ASSERT_NE(profile, nullptr);
    QTest::keyClick(profile, Qt::Key_Return);
    EXPECT_FALSE(menu->isVisible());
    EXPECT_EQ(w.PaneProfile->Tag, profile->Tag);
    EXPECT_TRUE(w.lbProfile()->text().startsWith("HD"));

    // Settings: the resolution box one step down, Enter for OK.
    QString chosen;
    dialogs.dialogHandlers << [&](QDialog* d) {
        auto* dlg = qobject_cast<TDlgSetting*>(d);
        EXPECT_NE(dlg, nullptr);
        if (!dlg) return 2;
        dlg->show();
        QApplication::setActiveWindow(dlg);
        EXPECT_TRUE(tabTo(dlg, dlg->cmbResolution));
        QTest::keyClick(dlg->cmbResolution, Qt::Key_Down);
        chosen = dlg->cmbResolution->currentText();
        QTest::keyClick(dlg->cmbResolution, Qt::Key_Return);
        return dlg->result();
    };
    ASSERT_TRUE(tabTo(&w, w.BtnSetting));
    QTest::keyClick(w.BtnSetting, Qt::Key_Space);
    ASSERT_EQ(dialogs.count("Dialog"), 1);
    QApplication::setActiveWindow(&w);
    const TEncParam& p = w.Row(0)->Entry()->formatInfo->EncParam;
    EXPECT_EQ(QStringLiteral("%1x%2").arg(p.Width).arg(p.Height), chosen);

    // Start, then Escape in the conversion window and Yes to its question.
    w.cmbOutput->setEditText(sandbox.root() + "/out");
    dialogs.answers << 6;
    bool cancelledRunning = false;
    dialogs.dialogHandlers << [&](QDialog* d) {
        auto* dlg = qobject_cast<TConvertDlg*>(d);
        EXPECT_NE(dlg, nullptr);
        if (!dlg) return 2;
        dlg->cbOpenTarget->setChecked(false);
        QTimer::singleShot(400, dlg, [&cancelledRunning, dlg] {
            cancelledRunning = !dlg->Queue.finished;
            QTest::keyClick(dlg, Qt::Key_Escape);
        });
        return dlg->exec();
    };
    ASSERT_TRUE(tabTo(&w, w.BtnStart));
    QTest::keyClick(w.BtnStart, Qt::Key_Space);
    EXPECT_EQ(dialogs.count("Dialog"), 2);
    EXPECT_TRUE(cancelledRunning);
    EXPECT_EQ(dialogs.count("AskQuestion"), 1);
}
