// The profile tree (which profiles the picker shows) and the preferences dialog.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QTreeWidget>

#include "app/MainFrm.h"
#include "app/Utils.h"
#include "common/ReadOnlyFolder.h"
#include "common/ScriptedDialogs.h"
#include "common/TestSandbox.h"
#include "profiles/ParaInfo.h"
#include "profiles/ProfileDlg.h"
#include "profiles/ProfileMenu.h"
#include "profiles/ProfilePopuMenuBigItem.h"
#include "profiles/ProfilePopuMenuSmallItem.h"
#include "profiles/ProfilePopupMeneu.h"
#include "profiles/VantoProfileTree.h"
#include "settings/Lang.h"
#include "settings/Options.h"

namespace {
bool on(const QTreeWidgetItem* node) {
    return node->checkState(0) == Qt::Checked;
}

// What the catalogue holds, in order: "id:title:skip:tag" and "  id:name:description:skip".
QStringList catalogueLines() {
    QStringList lines;
    for (const auto& c : CategoryList()) {
        lines << QStringLiteral("%1:%2:%3:%4").arg(c->ID).arg(c->Title).arg(c->Skip).arg(c->CategoryTag);
        for (const auto& e : c->Items)
            lines << QStringLiteral("  %1:%2:%3:%4").arg(e->ID, e->Name, e->Description).arg(e->Skip);
    }
    return lines;
}

void loadStores() {
    LoadLang();
    LoadProfileMenu();
    LoadParaInfo();
}
}  // namespace

TEST(ProfileTree, ChecksPassBetweenCategoriesAndProfiles) {
    TestSandbox sandbox;
    loadStores();
    TVantoProfileTree tree;
    EXPECT_EQ(tree.windowTitle(), GetLangText("DlgCustProfileTitle"));
    ASSERT_EQ(tree.profileTree->topLevelItemCount(), static_cast<int>(CategoryList().size()));
    QTreeWidgetItem* category = tree.CategoryNode(0);
    ASSERT_GE(category->childCount(), 2);
    EXPECT_TRUE(on(category));
    EXPECT_TRUE(category->isExpanded());

    for (int i = 0; i < category->childCount(); ++i) {
        EXPECT_TRUE(on(category)) << i;
        tree.ToggleNode(category->child(i));
    }
    EXPECT_FALSE(on(category));  // the last profile unchecked unchecks its category
    tree.ToggleNode(category->child(1));
    EXPECT_TRUE(on(category));
    EXPECT_FALSE(on(category->child(0)));

    tree.ToggleNode(category);  // unchecking a category unchecks all its profiles
    EXPECT_FALSE(on(category));
    for (int i = 0; i < category->childCount(); ++i)
        EXPECT_FALSE(on(category->child(i)));
    tree.ToggleNode(category);
    for (int i = 0; i < category->childCount(); ++i)
        EXPECT_TRUE(on(category->child(i)));

    // A click on the check box itself passes the change on too.
    category->child(0)->setCheckState(0, Qt::Unchecked);
    EXPECT_TRUE(on(category));
    tree.btnUnCheckAllClick();
    for (int i = 0; i < tree.profileTree->topLevelItemCount(); ++i)
        EXPECT_FALSE(on(tree.CategoryNode(i)) || on(tree.CategoryNode(i)->child(0)));
    tree.btnCheckAllClick();
    for (int i = 0; i < tree.profileTree->topLevelItemCount(); ++i)
        EXPECT_TRUE(on(tree.CategoryNode(i)) && on(tree.CategoryNode(i)->child(0)));
}

TEST(ProfileTree, TheWrittenCatalogueReadsBackAsTheTreeShowedIt) {
    TestSandbox sandbox;
    loadStores();
    // Texts with characters that mean something in XML.
    CategoryList()[0]->Title = "Video & <More> \"quoted\" 'single'";
    CategoryList()[0]->Items[0]->Name = "A & B <c>";
    CategoryList()[0]->Items[0]->Description = "line \"one\"\nline two & three";
    const int hdIndex = 1;
    ASSERT_EQ(CategoryList()[hdIndex]->CategoryTag, "_HD");
    {
        TVantoProfileTree tree;
        tree.ToggleNode(tree.CategoryNode(2));            // a whole category hidden
        tree.ToggleNode(tree.CategoryNode(0)->child(1));  // one profile hidden
        // The expected state after the reload, from the tree's own nodes.
        QStringList expected;
        for (const TProfileMenuNode& node : tree.Nodes()) {
            expected << QStringLiteral("%1:%2:%3:%4")
                            .arg(node.Category->ID)
                            .arg(node.Category->Title)
                            .arg(!node.Shown)
                            .arg(node.Category->CategoryTag);
            for (const auto& e : node.Entries)
                expected << QStringLiteral("  %1:%2:%3:%4")
                                .arg(e.Info->ID, e.Info->Name, e.Info->Description)
                                .arg(!e.Shown);
        }
        tree.btnOkClick();
        EXPECT_EQ(tree.result(), mrOk);
        EXPECT_EQ(catalogueLines(), expected);
    }
    EXPECT_EQ(CategoryList()[0]->Title, "Video & <More> \"quoted\" 'single'");
    EXPECT_EQ(CategoryList()[0]->Items[0]->Description, "line \"one\"\nline two & three");
    EXPECT_TRUE(CategoryList()[2]->Skip);
    for (const auto& e : CategoryList()[2]->Items)
        EXPECT_TRUE(e->Skip);
    EXPECT_TRUE(CategoryList()[0]->Items[1]->Skip);
    EXPECT_EQ(CategoryList()[hdIndex]->CategoryTag, "_HD");  // output names keep their suffix
    QFile file(GetProfileMenuFile());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    EXPECT_TRUE(bytes.startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Profiles>\r\n"));
    EXPECT_TRUE(bytes.endsWith("</Profiles>\r\n"));

    // The picker built afterwards leaves out what the tree hid.
    ScriptedDialogs dialogs;
    TfrmMain w;
    TProfilePopupMeneu* menu = w.ProfilePopMenu();
    EXPECT_EQ(menu->SubItems.size(), CategoryList().size() - 1);
    for (TProfilePopuMenuSmallItem* item : menu->SubItems)
        EXPECT_NE(item->Tag, CategoryList()[2]->ID);
    EXPECT_EQ(menu->SubItems[0]->SubItems.size(), CategoryList()[0]->Items.size() - 1);
}

TEST(ProfileTree, ACatalogueThatCantBeWrittenIsReportedAndThePickerStillWorks) {
    TestSandbox sandbox;
    ScriptedDialogs dialogs;
    TfrmMain w;
    const QString file = GetProfileMenuFile();
    const QByteArray before = [&] {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    ReadOnlyFolder guard(GetAppDataFolder().toStdString());
    if (!guard.ok()) GTEST_SKIP() << "this file system can't make a folder read-only";
    dialogs.dialogHandlers << [](QDialog* d) {
        auto* tree = qobject_cast<TVantoProfileTree*>(d);
        tree->ToggleNode(tree->CategoryNode(0));
        tree->btnOkClick();
        return tree->result();
    };
    w.CustomProfileMeneuClick();
    EXPECT_EQ(dialogs.texts("ShowInfo"), QStringList{GetLangText("SaveFailed")});
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), before);
    TProfilePopupMeneu* menu = w.ProfilePopMenu();
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->SubItems.size(), CategoryList().size());
    w.show();
    w.btnProfileClick();
    EXPECT_TRUE(menu->isVisible());
    menu->SubItems[1]->SubItems[0]->Select();
    EXPECT_EQ(w.PaneProfile->Tag, menu->SubItems[1]->SubItems[0]->Tag);
}

TEST(Preferences, EveryFieldRoundTripsThroughTheOptionsFile) {
    TestSandbox sandbox;
    ScriptedDialogs dialogs;
    LoadLang();
    TOptions& o = GetOptions();
    o.LangValue = "en";
    o.UpdatePeriod = "month";
    o.CPUCount = 3;
    o.SnapShotFormat = 1;
    o.AutoUpdate = false;
    o.shapShotDir = "/tmp/snaps";
    {
        TPagesDlg dlg;
        EXPECT_EQ(dlg.windowTitle(), GetLangText("DlgOptionTitle"));
        EXPECT_EQ(dlg.MRUCmbLang->currentIndex(), 0);
        EXPECT_EQ(dlg.MRUCmbCheckPeriod->currentText(), "Month");
        EXPECT_EQ(dlg.cmbCPUNumber->currentText(), "3");
        EXPECT_EQ(dlg.MRUCmbFormat->currentIndex(), 1);
        EXPECT_FALSE(dlg.CkboxAuto->isChecked());
        EXPECT_EQ(dlg.EditOutpuDir->text(), "/tmp/snaps");
        EXPECT_EQ(dlg.cmbResumable->currentData().toInt(), 300);  // the default, 5 minutes
        dialogs.folders << sandbox.root() + "/chosen";
        dlg.btnBrowerClick();
        EXPECT_EQ(dlg.EditOutpuDir->text(), sandbox.root() + "/chosen");
        dlg.MRUCmbLang->setCurrentIndex(1);
        dlg.MRUCmbCheckPeriod->setCurrentIndex(0);
        dlg.cmbCPUNumber->setCurrentIndex(8);
        dlg.MRUCmbFormat->setCurrentIndex(0);
        dlg.CkboxAuto->setChecked(true);
        dlg.cmbResumable->setCurrentIndex(0);  // off
        dlg.OKBtnClick();
        EXPECT_EQ(dlg.result(), mrOk);
    }
    TOptions reread;
    reread.LoadOptions(TOptions::OptionsFilePath());
    EXPECT_EQ(reread.LangValue, "zh");
    EXPECT_EQ(reread.UpdatePeriod, "Week");
    EXPECT_EQ(reread.CPUCount, 9);
    EXPECT_EQ(reread.SnapShotFormat, 0);
    EXPECT_TRUE(reread.AutoUpdate);
    EXPECT_EQ(reread.shapShotDir, sandbox.root() + "/chosen");
    EXPECT_EQ(reread.ResumableFromSeconds, 0);

    // Cancel changes nothing; an unknown period shows "Week"; a count above 9 is kept.
    o.UpdatePeriod = "fortnight";
    o.CPUCount = 16;
    o.ResumableFromSeconds = 45;  // not a choice: shown and kept as it is
    {
        TPagesDlg dlg;
        EXPECT_EQ(dlg.MRUCmbCheckPeriod->currentText(), "Week");
        EXPECT_EQ(dlg.cmbCPUNumber->currentIndex(), -1);
        EXPECT_EQ(dlg.MRUCmbLang->currentIndex(), 1);
        dlg.MRUCmbLang->setCurrentIndex(0);
        dlg.reject();
        EXPECT_EQ(dlg.result(), mrCancel);
        EXPECT_EQ(o.LangValue, "zh");
        dlg.OKBtnClick();
        EXPECT_EQ(o.CPUCount, 16);
        EXPECT_EQ(o.ResumableFromSeconds, 45);
        EXPECT_TRUE(dlg.cmbResumable->currentText().contains("45"));
        EXPECT_EQ(o.LangValue, "en");
    }
}
