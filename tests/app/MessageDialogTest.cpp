#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>

#include "app/Utils.h"
#include "app/VantoAskDlg.h"
#include "app/VantoDlg.h"
#include "convert/ConvertDlg.h"
#include "convert/ErrorFileDlg.h"
#include "tools/FileInfoDlg.h"
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTreeWidget>
#include "common/TestSandbox.h"
#include "settings/Lang.h"

TEST(VantoAskDlg, EachButtonEndsWithItsOwnResult) {
    TestSandbox sandbox;
    LoadLang();
    struct Case {
        bool multi;
        const char* button;
        int result;
    };
    for (const Case& c : {Case{false, "suiBtnOk", 6}, Case{false, "btnNoA", 7}, Case{true, "btnYes", 6},
                          Case{true, "btnYesAll", 10}, Case{true, "btnNo", 7}, Case{true, "btnNoAll", 9}}) {
        TVantoAskDlg dlg;
        dlg.SetMultiAsk(c.multi);
        auto* b = dlg.findChild<QPushButton*>(c.button);
        ASSERT_NE(b, nullptr) << c.button;
        EXPECT_FALSE(b->isHidden()) << c.button;
        b->click();
        EXPECT_EQ(dlg.result(), c.result) << c.button;
    }
    TVantoAskDlg closed;
    closed.reject();  // the frame's close button
    EXPECT_EQ(closed.result(), 2);
}

TEST(VantoAskDlg, AnswerModesAndTitle) {
    TestSandbox sandbox;
    LoadLang();
    TVantoAskDlg dlg;
    EXPECT_EQ(dlg.windowTitle(), GetLangText("DlgQuestion"));
    EXPECT_FALSE(dlg.suiBtnOk->isHidden());
    EXPECT_TRUE(dlg.btnYesAll->isHidden());
    dlg.SetMultiAsk(true);
    EXPECT_TRUE(dlg.suiBtnOk->isHidden());
    EXPECT_TRUE(dlg.btnNoA->isHidden());
    EXPECT_FALSE(dlg.btnNoAll->isHidden());
    dlg.SetTitle("");
    EXPECT_EQ(dlg.windowTitle(), GetLangText("DlgQuestion"));
    dlg.SetTitle("Replace");
    EXPECT_EQ(dlg.windowTitle(), "Replace");
}

TEST(VantoDlg, LongMessagesWidenTheWindowAndCentreTheButton) {
    TestSandbox sandbox;
    LoadLang();
    TVantoDlg dlg;
    EXPECT_EQ(dlg.windowTitle(), GetLangText("DlgTitle"));
    EXPECT_EQ(dlg.width(), 307);
    dlg.SetInfomation(QString(120, 'W'));
    EXPECT_EQ(dlg.lbInformation->text(), QString(120, 'W'));
    EXPECT_GE(dlg.width(), dlg.lbInformation->width() + 64);
    EXPECT_EQ(dlg.suiBtnOk->x(), (dlg.width() - dlg.suiBtnOk->width()) / 2);
    dlg.suiBtnOk->click();
    EXPECT_EQ(dlg.result(), 1);
}

TEST(VantoDlg, OpensEvenWithoutALanguageTable) {
    TestSandbox sandbox;
    ResetLang();  // empty table: the dialog still has a title
    TVantoDlg dlg;
    EXPECT_FALSE(dlg.windowTitle().isEmpty());
    TVantoAskDlg ask;
    EXPECT_FALSE(ask.windowTitle().isEmpty());
}

TEST(ResizableDialogs, ListsGrowButtonsFollowTheirCornerAndLongTextsShowWhole) {
    TestSandbox sandbox;
    LoadLang();
    TConvertDlg convert;
    TErrorFileDlg errors;
    TFileInfoDlg info;
    struct Case {
        QDialog* dialog;
        QWidget* grows;
        QWidget* button;
        QPoint buttonMoves;  // per 300 x 200 more
    } cases[] = {{&convert, convert.ListViewConvertList, convert.btnCancel, {300, 200}},
                 {&errors, errors.lstError, errors.btnOk, {0, 200}},
                 {&info, info.txtFileInfo, info.OKBtn, {0, 200}}};
    for (const Case& c : cases) {
        const QSize designed = c.dialog->size();
        EXPECT_EQ(c.dialog->minimumSize(), designed);
        const QRect list = c.grows->geometry(), button = c.button->geometry();
        c.dialog->show();
        c.dialog->resize(designed + QSize(300, 200));
        EXPECT_EQ(c.grows->size(), list.size() + QSize(300, 200)) << c.dialog->metaObject()->className();
        EXPECT_EQ(c.button->pos(), button.topLeft() + c.buttonMoves) << c.dialog->metaObject()->className();
        c.dialog->resize(designed);
        EXPECT_EQ(c.grows->geometry(), list);
        c.dialog->hide();
    }

    // A long reason wraps inside the list instead of running past its edge.
    const QString reason = QStringLiteral("Invalid data found when processing input ").repeated(4);
    errors.SetErroFiles({QStringLiteral("/home/user/Videos/a file with a long name.mp4")}, {reason});
    errors.show();
    const QRect line = errors.lstError->visualItemRect(errors.lstError->item(0));
    EXPECT_LE(line.right(), errors.lstError->viewport()->width());
    EXPECT_GT(line.height(), 2 * errors.lstError->fontMetrics().height());
    // The information window opens as wide as its longest line allows.
    const QString stream = QStringLiteral("Stream #0:0: Video: h264 (High), yuv420p(progressive), 1920x1080, 30 fps");
    info.SetFileInfo(QStringLiteral("General\n") + stream);
    EXPECT_GT(info.width(), info.fontMetrics().horizontalAdvance(stream));
}
