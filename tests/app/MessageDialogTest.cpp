#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>

#include "app/Utils.h"
#include "app/VantoAskDlg.h"
#include "app/VantoDlg.h"
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
