// The profile row: the picker built from the catalogue, choosing a profile for every row, the
// settings dialog applied to the list, and a merged run started from the window.
#include <gtest/gtest.h>

#include <QApplication>
#include <array>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QResizeEvent>
#include <QScrollArea>
#include <QTest>

#include "app/FileListItem.h"
#include "app/MainFrm.h"
#include "app/Utils.h"
#include "common/MediaFixtures.h"
#include "common/ScriptedDialogs.h"
#include "common/TestSandbox.h"
#include "convert/ConvertDlg.h"
#include "profiles/ParaInfo.h"
#include "profiles/ProfileMenu.h"
#include "profiles/ProfilePopuMenuBigItem.h"
#include "profiles/ProfilePopuMenuSmallItem.h"
#include "profiles/ProfilePopupMeneu.h"
#include "settings/Lang.h"
#include "settings/Options.h"
#include "settings/SettingDlg.h"
#include "tools/ClipTimeDlg.h"

namespace {
QString clip(const char* name, double seconds, int width) {
    return QString::fromStdString(fixtures::Clip(name, seconds, width, width * 3 / 4, 25));
}

TProfilePopuMenuSmallItem* categoryItem(TProfilePopupMeneu* menu, int id) {
    for (TProfilePopuMenuSmallItem* item : menu->SubItems)
        if (item->Tag == id) return item;
    return nullptr;
}

QStringList shownProfiles(TProfilePopupMeneu* menu) {
    QStringList names;
    if (menu->ShownCategory())
        for (TProfilePopuMenuBigItem* big : menu->ShownCategory()->SubItems)
            if (big->isVisibleTo(menu)) names << big->Caption();
    return names;
}

void key(QWidget* target, int k) {
    QKeyEvent press(QEvent::KeyPress, k, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &press);
}

class ProfileChoiceTest : public ::testing::Test {
protected:
    TestSandbox sandbox;
    ScriptedDialogs dialogs;
};
}  // namespace

TEST_F(ProfileChoiceTest, ThePickerShowsTheCatalogueAndFollowsTheKeyboard) {
    TfrmMain w;
    TProfilePopupMeneu* menu = w.ProfilePopMenu();
    ASSERT_NE(menu, nullptr);
    // Every category and every profile of the shipped catalogue can be chosen.
    ASSERT_EQ(menu->SubItems.size(), CategoryList().size());
    size_t profiles = 0;
    for (TProfilePopuMenuSmallItem* item : menu->SubItems)
        profiles += item->SubItems.size();
    EXPECT_EQ(profiles, 81u);
    // Long category titles widen the left column instead of being cut off.
    EXPECT_EQ(menu->width(), 475 + menu->LeftWidth() - 155);
    for (TProfilePopuMenuSmallItem* item : menu->SubItems)
        EXPECT_LE(item->WidthForCaption(), item->width()) << item->Caption().toStdString();
    EXPECT_EQ(menu->height(), 380);  // 36 + 10 x 24 is below the minimum
    EXPECT_EQ(w.PaneProfile->Tag, 1055);
    EXPECT_EQ(w.lbProfile()->text(), FindMenuInfo(1055)->Name);
    EXPECT_FALSE(w.PaneProfile->ImageProfile->pixmap().isNull());

    // Opening marks the current profile's category and shows its profiles.
    w.show();
    w.btnProfileClick();
    ASSERT_TRUE(menu->isVisible());
    EXPECT_LT(menu->geometry().bottom(), w.PaneProfile->mapToGlobal(QPoint(0, 0)).y());
    ASSERT_EQ(menu->ShownCategory(), categoryItem(menu, FindMenuInfo(1055)->Categoryid));
    EXPECT_TRUE(shownProfiles(menu).contains(FindMenuInfo(1055)->Name));

    // Down and Up move through the categories, wrapping at both ends.
    TProfilePopuMenuSmallItem* first = menu->SubItems.front();
    TProfilePopuMenuSmallItem* last = menu->SubItems.back();
    first->Select();
    key(menu, Qt::Key_Up);
    EXPECT_EQ(menu->ShownCategory(), last);
    key(menu, Qt::Key_Down);
    EXPECT_EQ(menu->ShownCategory(), first);
    key(menu, Qt::Key_Down);
    TProfilePopuMenuSmallItem* second = menu->SubItems[1];
    EXPECT_EQ(menu->ShownCategory(), second);
    EXPECT_TRUE(second->Default());
    EXPECT_FALSE(first->Default());
    QStringList expected;
    for (const auto& e : CategoryList()[1]->Items)
        expected << e->Name;
    EXPECT_EQ(shownProfiles(menu), expected);

    // Right goes into the profiles, Down moves there, Enter chooses.
    key(menu, Qt::Key_Right);
    ASSERT_EQ(QApplication::focusWidget(), second->SubItems[0]);
    EXPECT_FALSE(menu->leftPanelFocused);
    key(second->SubItems[0], Qt::Key_Down);
    ASSERT_EQ(QApplication::focusWidget(), second->SubItems[1]);
    key(second->SubItems[1], Qt::Key_Up);
    key(second->SubItems[0], Qt::Key_Up);  // the first stays focused
    EXPECT_EQ(QApplication::focusWidget(), second->SubItems[0]);
    key(second->SubItems[0], Qt::Key_Down);
    key(second->SubItems[1], Qt::Key_Left);
    EXPECT_TRUE(menu->leftPanelFocused);
    key(menu, Qt::Key_Right);
    key(second->SubItems[0], Qt::Key_Down);
    key(second->SubItems[1], Qt::Key_Return);
    EXPECT_FALSE(menu->isVisible());
    EXPECT_EQ(w.PaneProfile->Tag, second->SubItems[1]->Tag);
    EXPECT_EQ(w.lbProfile()->text(), second->SubItems[1]->Caption());

    // A click on the profile row while the picker is open only closes it (the click does not
    // reach the row, which would open it again).
    w.btnProfileClick();
    ASSERT_TRUE(menu->isVisible());
    const QPoint onRow = w.PaneProfile->mapToGlobal(QPoint(20, 10));
    QMouseEvent press(QEvent::MouseButtonPress, menu->mapFromGlobal(onRow), onRow, Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(menu, &press);
    EXPECT_FALSE(menu->isVisible());
    EXPECT_TRUE(menu->testAttribute(Qt::WA_NoMouseReplay));

    // Escape closes; resizing the main window hides it too.
    w.btnProfileClick();
    ASSERT_TRUE(menu->isVisible());
    key(menu, Qt::Key_Escape);
    EXPECT_FALSE(menu->isVisible());
    w.btnProfileClick();
    QResizeEvent resized(w.size(), w.size());
    QCoreApplication::sendEvent(&w, &resized);
    EXPECT_FALSE(menu->isVisible());

    // The custom button opens the profile tree; after OK a new picker replaces this one.
    QPointer<TProfilePopupMeneu> old(menu);
    w.btnProfileClick();
    menu->btnCustom->click();
    EXPECT_EQ(dialogs.texts("Dialog"), QStringList{"TVantoProfileTree"});
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(old.isNull());
    menu = w.ProfilePopMenu();
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->SubItems.size(), CategoryList().size());

    // Closing the main window frees the picker.
    QPointer<TProfilePopupMeneu> guard(menu);
    w.close();
    EXPECT_TRUE(guard.isNull());
}

TEST_F(ProfileChoiceTest, AChosenProfileGivesEveryRowItsOwnCopy) {
    GetOptions().ResultList = QStringList{"1055", "2001", "1055"};
    TfrmMain w;
    w.AddVideFiles({clip("pick_a.mp4", 1, 160), clip("pick_b.mp4", 2, 320), clip("pick_c.mp4", 3, 160)});
    ASSERT_EQ(w.RowCount(), 3);
    // An HD profile: its category's tag goes with it.
    int hd = -1;
    for (const auto& c : CategoryList())
        if (!c->CategoryTag.isEmpty()) hd = c->Items.front()->IntID();
    ASSERT_GT(hd, 0);
    TProfilePopuMenuBigItem* item =
        w.ProfilePopMenu()->findChild<TProfilePopuMenuBigItem*>(QStringLiteral("profile_%1").arg(hd));
    ASSERT_NE(item, nullptr);
    item->Select();

    const std::unique_ptr<TFormatInfo> stored = GetFormatInfo(hd);
    for (int i = 0; i < 3; ++i) {
        const ListFileInfo* e = w.Row(i)->Entry();
        ASSERT_TRUE(e->formatInfo);
        EXPECT_EQ(e->formatInfo->ID, hd);
        EXPECT_EQ(e->CategoryTag, "_HD");
        EXPECT_EQ(w.Row(i)->text(TFileListItem::colFormat), stored->Format);
        EXPECT_EQ(w.Row(i)->text(TFileListItem::colSize),
                  EstimatedSizeText(stored->EncParam.VideoBitrate, stored->EncParam.AudioBitrate,
                                    e->EndTime - e->StartTime));
    }
    EXPECT_NE(w.Row(0)->text(TFileListItem::colSize), w.Row(1)->text(TFileListItem::colSize));
    w.Row(0)->Entry()->formatInfo->EncParam.Width = 1;
    EXPECT_NE(w.Row(1)->Entry()->formatInfo->EncParam.Width, 1);
    EXPECT_NE(GetFormatInfo(hd)->EncParam.Width, 1);

    const QStringList expected{QString::number(hd), "1055", "2001", "1055"};
    EXPECT_EQ(GetOptions().ResultList, expected);
    item->Select();  // again: still once
    EXPECT_EQ(GetOptions().ResultList, expected);
    TOptions reread;
    reread.LoadOptions(TOptions::OptionsFilePath());
    EXPECT_EQ(reread.ResultList.first(), QString::number(hd));
}

TEST_F(ProfileChoiceTest, HiddenProfilesAndCategoriesAreLeftOut) {
    LoadProfileMenu();
    TCategory* second = CategoryList()[1].get();
    for (auto& e : second->Items)
        e->Skip = true;
    TMenuInfo* hidden = CategoryList()[0]->Items[1].get();
    hidden->Skip = true;
    TfrmMain w;
    TProfilePopupMeneu* menu = w.ProfilePopMenu();
    EXPECT_EQ(categoryItem(menu, second->ID), nullptr);
    EXPECT_TRUE(second->Skip);
    EXPECT_EQ(menu->SubItems.size(), CategoryList().size() - 1);
    EXPECT_EQ(menu->findChild<TProfilePopuMenuBigItem*>("profile_" + hidden->ID), nullptr);
    EXPECT_EQ(categoryItem(menu, CategoryList()[0]->ID)->SubItems.size(),
              CategoryList()[0]->Items.size() - 1);
}

TEST_F(ProfileChoiceTest, SettingsApplyToEveryRowAndMergeRunsFromStart) {
    TfrmMain w;
    w.AddVideFiles(
        {clip("merge_w1.mp4", 1, 160), clip("merge_w2.mp4", 1.5, 320), clip("merge_w3.mp4", 1, 160)});
    ASSERT_EQ(w.RowCount(), 3);
    w.Row(2)->setCheckState(0, Qt::Checked);

    // Cancel changes nothing.
    dialogs.dialogHandlers << [](QDialog* d) {
        auto* dlg = qobject_cast<TDlgSetting*>(d);
        dlg->CkbMerge->setChecked(true);
        dlg->cmbResolution->setCurrentText("176x144");
        dlg->btnCancelClick();
        return dlg->result();
    };
    w.spSkinBtnSettingClick();
    EXPECT_FALSE(w.CkbMerge->isChecked());
    EXPECT_EQ(w.Row(0)->Entry()->formatInfo->EncParam.Width, GetFormatInfo(1055)->EncParam.Width);

    // OK: every row its own copy, the merge choice taken over.
    dialogs.dialogHandlers << [](QDialog* d) {
        auto* dlg = qobject_cast<TDlgSetting*>(d);
        EXPECT_EQ(dlg->windowTitle(), GetLangText("DlgSettingTitle"));
        dlg->CkbMerge->setChecked(true);
        const int size = dlg->cmbResolution->findText("320x240");
        EXPECT_GE(size, 0);
        dlg->cmbResolution->setCurrentIndex(size);
        dlg->cmbBitRate->setCurrentIndex(dlg->cmbBitRate->findText("512 kbps"));
        dlg->btnOkClick();
        return dlg->result();
    };
    w.spSkinBtnSettingClick();
    EXPECT_TRUE(w.CkbMerge->isChecked());
    for (int i = 0; i < 3; ++i) {
        const TEncParam& p = w.Row(i)->Entry()->formatInfo->EncParam;
        EXPECT_EQ(p.Width, 320);
        EXPECT_EQ(p.Height, 240);
        EXPECT_EQ(p.VideoBitrate, 512000);
        EXPECT_EQ(w.Row(i)->text(TFileListItem::colSize),
                  EstimatedSizeText(512000, p.AudioBitrate,
                                    w.Row(i)->Entry()->EndTime - w.Row(i)->Entry()->StartTime));
    }
    EXPECT_NE(w.Row(0)->Entry()->formatInfo.get(), w.Row(1)->Entry()->formatInfo.get());

    // Start runs the three merge steps and writes one file of the total length.
    const QString out = sandbox.root() + "/merged";
    w.cmbOutput->setEditText(out);
    QStringList steps;
    dialogs.dialogHandlers << [&steps](QDialog* d) {
        auto* dlg = qobject_cast<TConvertDlg*>(d);
        EXPECT_TRUE(dlg->Queue.IsMergeOne);
        dlg->cbOpenTarget->setChecked(false);
        auto previous = dlg->Queue.StepChanged;
        dlg->Queue.StepChanged = [&steps, dlg, previous] {
            steps << dlg->Queue.StepText;
            if (previous) previous();
        };
        steps << dlg->Queue.StepText;
        return dlg->exec();
    };
    w.BtnStartClick();
    EXPECT_EQ(dialogs.texts("ShowInfo"), QStringList{GetLangText("Convert_Finish")});
    steps.removeAll(QString());
    steps.removeDuplicates();
    EXPECT_EQ(steps, (QStringList{GetLangText("lbStep1"), GetLangText("lbStep2"), GetLangText("lbStep3")}));
    const QString merged = out + "/MergerVideo.mp4";
    ASSERT_TRUE(QFile::exists(merged));
    EXPECT_NEAR(fixtures::ProbeDuration(merged.toStdString()), 3.5, 0.3);
    EXPECT_EQ(fixtures::Probe(merged.toStdString(), "v:0", "stream=width"), "320");
    EXPECT_EQ(fixtures::Probe(merged.toStdString(), "v:0", "stream=height"), "240");
    EXPECT_FALSE(w.CkbMerge->isChecked());  // cleared after the run
}

// The probe, the picker, the settings dialog and the clip dialog all show one estimate, and a
// source without pictures counts only its sound.
TEST_F(ProfileChoiceTest, EveryPathShowsTheSameSizeEstimate) {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    TfrmMain w;
    const QString sound = QString::fromStdString(
        fixtures::Make("estimate_sound.mp3", "-f lavfi -i sine=frequency=440:duration=3 -c:a libmp3lame -b:a 128k"));
    w.AddVideFiles({clip("estimate_video.mp4", 2, 160), sound});
    ASSERT_EQ(w.RowCount(), 2);
    auto sizes = [&w] { return QStringList{w.Row(0)->text(TFileListItem::colSize), w.Row(1)->text(TFileListItem::colSize)}; };
    // A copy: choosing a profile gives the entry new parameters and frees the old ones.
    const TEncParam p = w.Row(0)->Entry()->formatInfo->EncParam;
    ASSERT_GT(p.VideoBitrate, 0);
    const ListFileInfo* video = w.Row(0)->Entry();
    const ListFileInfo* audio = w.Row(1)->Entry();
    EXPECT_TRUE(video->HasVideo);
    EXPECT_FALSE(audio->HasVideo);
    const QStringList probed{EstimatedSizeText(p.VideoBitrate, p.AudioBitrate, video->EndTime - video->StartTime),
                             EstimatedSizeText(0, p.AudioBitrate, audio->EndTime - audio->StartTime)};
    EXPECT_EQ(sizes(), probed);

    // Another profile and back, then the settings dialog confirmed unchanged.
    for (int id : {CategoryList()[1]->Items.front()->IntID(), 1055}) {
        TProfilePopuMenuBigItem* item =
            w.ProfilePopMenu()->findChild<TProfilePopuMenuBigItem*>(QStringLiteral("profile_%1").arg(id));
        ASSERT_NE(item, nullptr) << id;
        item->Select();
    }
    EXPECT_EQ(sizes(), probed);
    dialogs.dialogHandlers << [](QDialog* d) {
        auto* dlg = qobject_cast<TDlgSetting*>(d);
        dlg->btnOkClick();
        return dlg->result();
    };
    w.spSkinBtnSettingClick();
    EXPECT_EQ(sizes(), probed);

    // The sound row clipped to one second.
    w.FileListView->clearSelection();
    w.Row(1)->setSelected(true);
    dialogs.dialogHandlers << [](QDialog* d) {
        auto* dlg = qobject_cast<TClipTimeDlg*>(d);
        dlg->txtEndTime->setText("00:00:02");
        dlg->BtnEndOkClick();
        dlg->txtStartTime->setText("00:00:01");
        dlg->btnStartOkClick();
        dlg->BtnOkClick();
        return dlg->result();
    };
    w.btnClipClick();
    EXPECT_EQ(dialogs.texts("ShowInfo"), QStringList{});
    EXPECT_EQ(audio->EndTime - audio->StartTime, 1000000);
    EXPECT_EQ(w.Row(1)->text(TFileListItem::colSize), EstimatedSizeText(0, p.AudioBitrate, 1000000));
}

// The profile row is reached with Tab and opens from the keyboard; every opening of the picker
// answers the arrows, not only the first.
TEST_F(ProfileChoiceTest, TheProfileRowAndThePickerWorkByKeyboardOnEveryOpening) {
    TfrmMain w;
    w.show();
    QApplication::setActiveWindow(&w);
    TProfilePopupMeneu* menu = w.ProfilePopMenu();
    ASSERT_NE(menu, nullptr);
    // Tab from the first button visits the window as it reads (controls that are off are skipped).
    w.AddVideFiles({clip("keys.mp4", 1, 160)});
    QApplication::setActiveWindow(&w);
    w.BtnAdd->setFocus();
    ASSERT_EQ(QApplication::focusWidget(), w.BtnAdd);
    QStringList visited{QApplication::focusWidget()->objectName()};
    for (int i = 0; i < 20 && visited.size() < 30; ++i) {
        key(QApplication::focusWidget(), Qt::Key_Tab);
        ASSERT_NE(QApplication::focusWidget(), nullptr) << visited.join(' ').toStdString();
        const QString name = QApplication::focusWidget()->objectName();
        if (name == visited.front()) break;
        visited << name;
    }
    const QStringList expected{"BtnAdd", "btnClip", "FileListView", "PaneProfile", "BtnSetting", "BtnStart",
                               "BtnBrower", "BtnFindTarget"};
    qsizetype at = -1;
    for (const QString& name : expected) {
        const qsizetype next = visited.indexOf(name);
        EXPECT_GT(next, at) << name.toStdString() << " in " << visited.join(' ').toStdString();
        at = std::max(at, next);
    }

    const int before = w.PaneProfile->Tag;
    for (int opening = 0; opening < 3; ++opening) {
        w.PaneProfile->setFocus();
        const int opener = std::array<int, 3>{Qt::Key_F4, Qt::Key_Space, Qt::Key_Return}[opening];
        key(w.PaneProfile, opener);
        ASSERT_TRUE(menu->isVisible()) << opening;
        TProfilePopuMenuSmallItem* shown = menu->ShownCategory();
        key(menu, Qt::Key_Down);
        EXPECT_NE(menu->ShownCategory(), shown) << "opening " << opening;
        key(menu, Qt::Key_Return);  // into the category's profiles
        QWidget* focused = QApplication::focusWidget();
        ASSERT_TRUE(qobject_cast<TProfilePopuMenuBigItem*>(focused)) << opening;
        key(focused, Qt::Key_Return);
        EXPECT_FALSE(menu->isVisible());
        EXPECT_EQ(w.PaneProfile->Tag, static_cast<TProfilePopuMenuBigItem*>(focused)->Tag);
    }
    EXPECT_NE(w.PaneProfile->Tag, before);
    QKeyEvent altDown(QEvent::KeyPress, Qt::Key_Down, Qt::AltModifier);
    QCoreApplication::sendEvent(w.PaneProfile, &altDown);
    EXPECT_TRUE(menu->isVisible());
    key(menu, Qt::Key_Escape);
    EXPECT_FALSE(menu->isVisible());
}

// At the picker's default size, in English and Chinese, no profile's name or description is cut
// (a name too wide is elided with the whole in the tooltip), and a category's highlight goes with
// the pointer, also once it has shown its profiles.
TEST_F(ProfileChoiceTest, NoProfileTextIsCutAndTheCategoryHighlightLeavesWithThePointer) {
    for (const char* language : {"zh", "en"}) {  // English last: the toolkit's texts go back to it
        TestSandbox::ResetStores();
        GetOptions().LangValue = language;
        TfrmMain w;
        w.show();
        w.btnProfileClick();
        TProfilePopupMeneu* menu = w.ProfilePopMenu();
        ASSERT_TRUE(menu && menu->isVisible());
        for (TProfilePopuMenuSmallItem* category : menu->SubItems) {
            category->Select();
            for (TProfilePopuMenuBigItem* item : category->SubItems) {
                const QLabel* desc = item->ItemDesc;
                const std::string what = item->Caption().toStdString();
                EXPECT_EQ(desc->text(), FindMenuInfo(item->Tag)->Description) << what;
                EXPECT_LE(desc->heightForWidth(desc->width()), desc->height()) << what;
                EXPECT_LE(desc->geometry().bottom(), item->height()) << what;
                EXPECT_LE(item->ItemName->geometry().right(), item->width()) << what;
                EXPECT_TRUE(item->ItemName->text() == item->Caption() || item->toolTip().startsWith(item->Caption()));
            }
        }
        TProfilePopuMenuSmallItem* category = menu->SubItems[1];
        QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
        QCoreApplication::sendEvent(category, &enter);
        QTest::qWait(200);  // the hover timer shows its profiles
        EXPECT_EQ(menu->ShownCategory(), category);
        EXPECT_EQ(category->palette().color(QPalette::Window), PickerColours::kSelected);
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(category, &leave);
        EXPECT_EQ(category->palette().color(QPalette::Window), PickerColours::kNormal);
    }
}
