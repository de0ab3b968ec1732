#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include "app/FileListItem.h"
#include "app/MainFrm.h"
#include "app/Utils.h"
#include "common/MediaFixtures.h"
#include "common/ScriptedDialogs.h"
#include "common/TestSandbox.h"
#include "convert/ErrorFileDlg.h"
#include "convert/RenameDlg.h"
#include "profiles/ParaInfo.h"
#include "settings/Lang.h"
#include "tools/CalFileInfoDlg.h"
#include "tools/FileInfoDlg.h"

namespace {
// Answers the unreadable-files window with OK and collects the lines it showed.
void collectFailureList(ScriptedDialogs& dialogs, QStringList& failures) {
    dialogs.dialogHandlers << [&failures](QDialog* d) {
        auto* errors = qobject_cast<TErrorFileDlg*>(d);
        for (int i = 0; errors && i < errors->lstError->count(); ++i)
            failures << errors->lstError->item(i)->text();
        return 1;
    };
}
// A shell drop as Qt delivers it: the drag enters, then drops.
void dropOn(QWidget* target, const QList<QUrl>& urls, QPoint at) {
    QMimeData mime;
    mime.setUrls(urls);
    QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QDropEvent drop(QPointF(at), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
}

QString clip(const char* name, double seconds = 2) {
    return QString::fromStdString(fixtures::Clip(name, seconds, 160, 120, 25));
}

// A copy of a generated clip under another name, in `folder`.
QString copyAs(const QString& source, const QString& folder, const QString& name) {
    QDir().mkpath(folder);
    const QString target = folder + '/' + name;
    QFile::remove(target);
    EXPECT_TRUE(QFile::copy(source, target)) << target.toStdString();
    return target;
}

QStringList rowTexts(TfrmMain& w, int column) {
    QStringList texts;
    for (int i = 0; i < w.RowCount(); ++i)
        texts << w.Row(i)->text(column);
    return texts;
}

// The failure list's lines are "path — reason": the paths and the reasons.
QStringList pathsOf(const QStringList& lines) {
    QStringList paths;
    for (const QString& line : lines)
        paths << line.section(QStringLiteral(" \u2014 "), 0, 0);
    return paths;
}
QString reasonOf(const QStringList& lines, const QString& path) {
    for (const QString& line : lines)
        if (line.startsWith(path + QStringLiteral(" \u2014 "))) return line.mid(path.size() + 3);
    return QString();
}

class FileListTest : public ::testing::Test {
protected:
    void SetUp() override { folder = sandbox.root() + "/media"; }
    TestSandbox sandbox;
    ScriptedDialogs dialogs;
    QString folder;
};
}  // namespace

TEST_F(FileListTest, AddedFilesAreProbedNamedAndChecked) {
    TfrmMain w;
    const QString mp4 = clip("fl_a.mp4");
    const QString a = copyAs(mp4, folder, "clip.AVI");
    const QString b = copyAs(mp4, folder, "a.mp4.mp4");
    w.AddVideFiles({a, b});
    ASSERT_EQ(w.RowCount(), 2);
    EXPECT_EQ(rowTexts(w, TFileListItem::colName), (QStringList{"clip.AVI", "a.mp4.mp4"}));
    EXPECT_EQ(rowTexts(w, TFileListItem::colOutput), (QStringList{"clip", "a"}));
    const std::unique_ptr<TFormatInfo> profile = GetFormatInfo(1055);
    ASSERT_TRUE(profile);
    for (int i = 0; i < 2; ++i) {
        TFileListItem* row = w.Row(i);
        const ListFileInfo* e = row->Entry();
        EXPECT_EQ(row->checkState(0), Qt::Checked);
        EXPECT_EQ(row->text(TFileListItem::colDuration), "00:00:02");
        EXPECT_EQ(row->text(TFileListItem::colFormat), profile->Format);
        EXPECT_EQ(row->text(TFileListItem::colSize),
                  EstimatedSizeText(profile->EncParam.VideoBitrate, profile->EncParam.AudioBitrate,
                                    e->FileDurTime));
        EXPECT_TRUE(e->HasData);
        EXPECT_NEAR(e->FileDurTime, 2000000, 100000);
        EXPECT_EQ(e->StartTime, 0);
        EXPECT_EQ(e->EndTime, e->FileDurTime);
        EXPECT_EQ(e->VWidth, 160);
        EXPECT_EQ(e->VHeight, 120);
        EXPECT_GT(e->FileSize, 0);
        EXPECT_TRUE(e->FileInfo.contains("Duration: 00:00:02")) << e->FileInfo.toStdString();
        ASSERT_TRUE(e->formatInfo);
        EXPECT_EQ(e->formatInfo->ID, 1055);
    }
    EXPECT_NE(w.Row(0)->Entry()->formatInfo.get(), w.Row(1)->Entry()->formatInfo.get());
    EXPECT_FALSE(w.FileListView->isHidden());
    EXPECT_TRUE(w.btnImageAdd->isHidden());
    EXPECT_TRUE(w.btnClip->isEnabled());
    EXPECT_TRUE(w.CkbMerge->isEnabled());
    EXPECT_EQ(dialogs.count("Dialog"), 0);  // nothing failed
}

TEST_F(FileListTest, ASelectedRowStaysReadableWithAndWithoutFocus) {
    TfrmMain w;
    w.show();
    w.AddVideFiles({clip("fl_a.mp4")});
    ASSERT_EQ(w.RowCount(), 1);
    ASSERT_TRUE(w.Row(0)->isSelected());
    const QPalette pal = w.FileListView->palette();
    // Pixels of the row's name cell: mostly the highlight, and some (the text) in its text colour.
    auto rowPixels = [&](int& background, int& text) {
        const QRect cell = w.FileListView->visualItemRect(w.Row(0)).intersected(
            QRect(0, 0, w.FileListView->columnWidth(0), w.FileListView->viewport()->height()));
        const QImage img = w.FileListView->viewport()->grab(cell).toImage();
        background = text = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) {
                const QRgb c = img.pixel(x, y);
                if (c == pal.color(QPalette::Active, QPalette::Highlight).rgb()) ++background;
                if (c == pal.color(QPalette::Active, QPalette::HighlightedText).rgb()) ++text;
            }
        return img.width() * img.height();
    };
    int background = 0, text = 0;
    w.FileListView->setFocus();
    int all = rowPixels(background, text);
    EXPECT_GT(background, all / 2);
    EXPECT_GT(text, 10);
    w.cmbOutput->setFocus();
    all = rowPixels(background, text);
    EXPECT_GT(background, all / 2);
    EXPECT_GT(text, 10);
}

TEST_F(FileListTest, OneFileOnAnEmptyListIsSelectedWithAShortPreviewTitle) {
    TfrmMain w;
    const QString f = copyAs(clip("fl_a.mp4"), folder, "a rather long file name.mp4");
    w.AddVideFiles({f});
    ASSERT_EQ(w.RowCount(), 1);
    EXPECT_EQ(w.SelectedRow(), w.Row(0));
    EXPECT_EQ(w.LbVideoFileTitle->text(), "Preview:a rather long f...");
    EXPECT_EQ(w.currentFile, f);
    EXPECT_FALSE(w.CkbMerge->isEnabled());
}

TEST_F(FileListTest, AFolderWithASubfolderAndATextFileReportsBothOnce) {
    TfrmMain w;
    copyAs(clip("fl_a.mp4"), folder, "good.mp4");
    QDir().mkpath(folder + "/sub");
    fixtures::WriteFile((folder + "/notes.txt").toStdString(), "not media\n");
    dialogs.folders << folder;
    QStringList shownFailures;
    dialogs.dialogHandlers << [&](QDialog* d) {
        auto* errors = qobject_cast<TErrorFileDlg*>(d);
        EXPECT_NE(errors, nullptr);
        if (errors) {
            for (int i = 0; i < errors->lstError->count(); ++i)
                shownFailures << errors->lstError->item(i)->text();
            EXPECT_EQ(errors->lbInfo->text(), FormatText(GetLangText("ErrorFileLable"), {"2"}));
        }
        return 1;
    };
    w.MenuAddFolderClick();
    EXPECT_EQ(rowTexts(w, TFileListItem::colName), QStringList{"good.mp4"});
    shownFailures.sort();
    EXPECT_EQ(pathsOf(shownFailures), (QStringList{folder + "/notes.txt", folder + "/sub"}));
    EXPECT_EQ(reasonOf(shownFailures, folder + "/notes.txt"), "Invalid data found when processing input");
    EXPECT_FALSE(reasonOf(shownFailures, folder + "/sub").isEmpty());
    EXPECT_EQ(dialogs.count("Dialog"), 1);
}

TEST_F(FileListTest, TheSameFileTwiceGivesTwoProbedRows) {
    TfrmMain w;
    const QString f = clip("fl_a.mp4");
    w.AddVideFiles({f, f});
    ASSERT_EQ(w.RowCount(), 2);
    EXPECT_TRUE(w.Row(0)->Entry()->HasData);
    EXPECT_TRUE(w.Row(1)->Entry()->HasData);
    EXPECT_NE(w.Row(0)->Entry(), w.Row(1)->Entry());
}

TEST_F(FileListTest, NewRowsTakeTheFirstRowsProfile) {
    TfrmMain w;
    w.AddVideFiles({clip("fl_a.mp4")});
    // Give the first row another profile, as the picker would.
    int other = -1;
    for (const auto& [id, info] : FormatInfoMap())
        if (id != 1055 && info->EncParam.VideoBitrate > 0) {
            other = id;
            break;
        }
    ASSERT_GT(other, 0);
    w.Row(0)->Entry()->formatInfo = GetFormatInfo(other);
    w.Row(0)->setText(TFileListItem::colFormat, w.Row(0)->Entry()->formatInfo->Format);
    w.AddVideFiles({clip("fl_b.mkv")});
    ASSERT_EQ(w.RowCount(), 2);
    EXPECT_EQ(w.Row(1)->Entry()->formatInfo->ID, other);
    EXPECT_EQ(w.Row(1)->text(TFileListItem::colFormat), GetFormatInfo(other)->Format);
}

TEST_F(FileListTest, SizeEstimateOfAOneMinuteFile) {
    TfrmMain w;
    const QString video = QString::fromStdString(fixtures::Clip("fl_minute.mp4", 60, 64, 48, 5));
    const QString audio = QString::fromStdString(
        fixtures::Make("fl_minute.wav", "-f lavfi -i sine=frequency=300:sample_rate=8000:duration=60 -ac 1"));
    w.AddVideFileRows({video, audio});
    w.Row(0)->Entry()->formatInfo->EncParam.VideoBitrate = 1000000;
    w.Row(0)->Entry()->formatInfo->EncParam.AudioBitrate = 128000;
    w.GetVideoFileInfo();
    ASSERT_EQ(w.RowCount(), 2);
    EXPECT_EQ(rowTexts(w, TFileListItem::colDuration), (QStringList{"00:01:00", "00:01:00"}));
    // The audio-only source counts only the audio bit rate.
    EXPECT_EQ(rowTexts(w, TFileListItem::colSize), (QStringList{"8.07MB", "0.92MB"}));
}

TEST_F(FileListTest, EscOnTheProbeDialogLeavesOutTheRowsNotProbedYet) {
    TfrmMain w;
    const QString f = clip("fl_a.mp4");
    const QString missing = folder + "/missing.mp4";
    const QString text = folder + "/notes.mp4";
    QDir().mkpath(folder);
    fixtures::WriteFile(text.toStdString(), "not media\n");
    QStringList paths{missing, f, text};
    while (paths.size() < 200)
        paths << f;
    // Esc as soon as a few rows are done, while the worker still runs.
    QTimer esc;
    bool pressed = false;
    QObject::connect(&esc, &QTimer::timeout, [&] {
        auto* dlg = qobject_cast<TCalFileInfoDlg*>(QApplication::activeModalWidget());
        if (pressed || !dlg || dlg->ProgressBar->value() < 5) return;
        QKeyEvent key(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(dlg, &key);
        pressed = true;
    });
    esc.start(1);
    QStringList failures;
    collectFailureList(dialogs, failures);
    w.AddVideFiles(paths);
    ASSERT_TRUE(pressed);
    EXPECT_GT(w.RowCount(), 0);
    EXPECT_LT(w.RowCount(), 198);
    for (int i = 0; i < w.RowCount(); ++i) {
        EXPECT_TRUE(w.Row(i)->Entry()->HasData) << i;
        EXPECT_FALSE(w.Row(i)->text(TFileListItem::colDuration).isEmpty()) << i;
        EXPECT_FALSE(w.Row(i)->text(TFileListItem::colSize).isEmpty()) << i;
    }
    EXPECT_EQ(failures, (QStringList{missing + " \u2014 No such file or directory",
                                     text + " \u2014 Invalid data found when processing input"}));
}

TEST_F(FileListTest, RenameRefusesDuplicatesAndKeepsTheEntry) {
    TfrmMain w;
    const QString f = clip("fl_a.mp4");
    w.AddVideFiles({copyAs(f, folder, "one.mp4"), copyAs(f, folder, "two.mp4")});
    w.FileListView->setCurrentItem(w.Row(1));
    auto answer = [](const QString& name, int result) {
        return [name, result](QDialog* d) {
            static_cast<TRenameDlg*>(d)->txtNewName->setText(name);
            return result;
        };
    };
    dialogs.dialogHandlers << answer("one", 1) << answer("two", 1) << answer("three", 2);
    w.SubmenuItemRenameClick();  // another row's name
    w.SubmenuItemRenameClick();  // its own name
    w.SubmenuItemRenameClick();  // cancelled
    EXPECT_EQ(rowTexts(w, TFileListItem::colOutput), (QStringList{"one", "two"}));
    EXPECT_EQ(dialogs.texts("ShowInfo"), QStringList(2, GetLangText("DlgRenameDupTitle")));
    // Names that would leave the output folder, or name no file, are refused with their own text.
    const QStringList invalid{"",      "   ", ".",        "..",
                              "../up", "a/b", "/tmp/abs", QString("nul") + QChar(0) + "x"};
    for (const QString& name : invalid)
        dialogs.dialogHandlers << answer(name, 1);
    for (int i = 0; i < invalid.size(); ++i)
        w.SubmenuItemRenameClick();
    EXPECT_EQ(rowTexts(w, TFileListItem::colOutput), (QStringList{"one", "two"}));
    EXPECT_EQ(dialogs.texts("ShowInfo").mid(2), QStringList(invalid.size(), GetLangText("DlgRenameInvalid")));
    dialogs.dialogHandlers << answer("three", 1);
    w.SubmenuItemRenameClick();
    EXPECT_EQ(rowTexts(w, TFileListItem::colOutput), (QStringList{"one", "three"}));
    EXPECT_EQ(w.Row(1)->Entry()->OutPutFileName, "");  // the run reads the column
}

TEST_F(FileListTest, MovingRowsKeepsTheirDataAndStopsAtTheEnds) {
    TfrmMain w;
    const QString f = clip("fl_a.mp4");
    w.AddVideFiles({copyAs(f, folder, "1.mp4"), copyAs(f, folder, "2.mp4"), copyAs(f, folder, "3.mp4")});
    ListFileInfo* first = w.Row(0)->Entry();
    first->StartTime = 500000;
    first->EndTime = 1500000;
    w.FileListView->setCurrentItem(w.Row(0));
    w.spSkinBtnMoveUpClick();  // first up: nothing
    EXPECT_EQ(rowTexts(w, 0), (QStringList{"1.mp4", "2.mp4", "3.mp4"}));
    w.spSkinBtnMoveDownClick();
    EXPECT_EQ(rowTexts(w, 0), (QStringList{"2.mp4", "1.mp4", "3.mp4"}));
    EXPECT_EQ(w.SelectedRow(), w.Row(1));
    EXPECT_EQ(w.Row(1)->Entry(), first);
    EXPECT_EQ(first->StartTime, 500000);
    EXPECT_TRUE(first->HasData);
    EXPECT_EQ(w.Row(1)->checkState(0), Qt::Checked);
    w.FileListView->setCurrentItem(w.Row(2));
    w.spSkinBtnMoveDownClick();  // last down: nothing
    EXPECT_EQ(rowTexts(w, 0), (QStringList{"2.mp4", "1.mp4", "3.mp4"}));
    // Adding more files probes only the new row.
    const QString info = first->FileInfo;
    first->FileInfo = "kept";
    w.AddVideFiles({copyAs(f, folder, "4.mp4")});
    EXPECT_EQ(first->FileInfo, "kept");
    EXPECT_FALSE(info.isEmpty());
}

TEST_F(FileListTest, SortByOrdersTheListItselfByEachColumn) {
    TfrmMain w;
    const QString f = clip("fl_a.mp4");
    w.AddVideFiles({copyAs(f, folder, "clip 10.mp4"), copyAs(f, folder, "Clip 9.mp4"),
                    copyAs(f, folder, "clip 100.mp4"), copyAs(f, folder, "b.mp4")});
    ASSERT_EQ(w.RowCount(), 4);
    // Durations (clipped) and sizes that differ from the names' order; one size not known yet.
    const qint64 ends[] = {1500000, 500000, 2000000, 1000000};
    const char* sizes[] = {"1.50MB", "~", "10.20MB", "9.90MB"};
    for (int i = 0; i < 4; ++i) {
        w.Row(i)->Entry()->EndTime = ends[i];
        w.Row(i)->setText(TFileListItem::colSize, sizes[i]);
    }
    w.Row(2)->setCheckState(0, Qt::Unchecked);
    w.FileListView->setCurrentItem(w.Row(0));
    TFileListItem* selected = w.SelectedRow();
    // The list menu's Sort by, as the user chooses it.
    w.PopupMenuFileListPopup();
    auto header = [&](int column) {
        QAction* a = w.PopupMenuFileList->findChild<QAction*>(QStringLiteral("Popup_SortBy_%1").arg(column));
        ASSERT_TRUE(a && a->isEnabled());
        a->trigger();
    };
    header(TFileListItem::colName);
    EXPECT_EQ(rowTexts(w, 0), (QStringList{"b.mp4", "Clip 9.mp4", "clip 10.mp4", "clip 100.mp4"}));
    header(TFileListItem::colName);  // again: the other way
    EXPECT_EQ(rowTexts(w, 0), (QStringList{"clip 100.mp4", "clip 10.mp4", "Clip 9.mp4", "b.mp4"}));
    EXPECT_EQ(w.SelectedRow(), selected);
    EXPECT_EQ(w.Row(0)->checkState(0), Qt::Unchecked);  // the check mark travels with its row
    header(TFileListItem::colDuration);
    EXPECT_EQ(rowTexts(w, 0), (QStringList{"Clip 9.mp4", "b.mp4", "clip 10.mp4", "clip 100.mp4"}));
    header(TFileListItem::colSize);
    EXPECT_EQ(rowTexts(w, TFileListItem::colSize), (QStringList{"1.50MB", "9.90MB", "10.20MB", "~"}));
    // Equal values keep their order, and the output column sorts like the names.
    for (int i = 0; i < 4; ++i)
        w.Row(i)->setText(TFileListItem::colFormat, "MP4");
    const QStringList before = rowTexts(w, 0);
    header(TFileListItem::colFormat);
    EXPECT_EQ(rowTexts(w, 0), before);
    // The sorted order is the list's: moving a row by hand drops the sort mark.
    EXPECT_TRUE(w.FileListView->header()->isSortIndicatorShown());
    w.FileListView->setCurrentItem(w.Row(1));
    w.spSkinBtnMoveUpClick();
    EXPECT_FALSE(w.FileListView->header()->isSortIndicatorShown());
}

TEST_F(FileListTest, ContextMenuAndRemoveClearCheckAll) {
    TfrmMain w;
    const QString f = clip("fl_a.mp4");
    w.AddVideFiles({copyAs(f, folder, "1.mp4"), copyAs(f, folder, "2.mp4")});
    auto states = [&] {
        w.PopupMenuFileListPopup();
        QList<bool> s;
        for (QAction* a : w.PopupMenuFileList->actions())
            s << a->isEnabled();
        return s;
    };
    w.FileListView->clearSelection();
    QList<bool> s = states();  // 0 add, 2 remove, 3 clear, 4 rename, 6 up, 7 down, 9 information
    EXPECT_TRUE(s[0] && s[3]);
    EXPECT_FALSE(s[2] || s[4] || s[6] || s[7] || s[9]);
    w.FileListView->setCurrentItem(w.Row(0));
    s = states();
    EXPECT_TRUE(s[2] && s[4] && s[7] && s[9]);
    EXPECT_FALSE(s[6]);

    // The header box shows every, some or none of the rows checked; a click on a partly checked
    // box checks them all, the next one none.
    const auto header = [&] {
        QCoreApplication::processEvents();
        return w.ckbCkAll->checkState();
    };
    EXPECT_EQ(header(), Qt::Checked);
    w.Row(1)->setCheckState(0, Qt::Unchecked);
    EXPECT_EQ(header(), Qt::PartiallyChecked);
    w.ckbCkAll->click();
    EXPECT_EQ(w.Row(1)->checkState(0), Qt::Checked);
    EXPECT_EQ(header(), Qt::Checked);
    w.ckbCkAll->click();
    EXPECT_EQ(w.Row(0)->checkState(0), Qt::Unchecked);
    EXPECT_EQ(w.Row(1)->checkState(0), Qt::Unchecked);
    EXPECT_EQ(header(), Qt::Unchecked);

    dialogs.dialogHandlers << [&](QDialog* d) {
        auto* info = qobject_cast<TFileInfoDlg*>(d);
        EXPECT_NE(info, nullptr);
        if (info) {
            EXPECT_EQ(info->txtFileInfo->toPlainText(), QString(w.Row(0)->Entry()->FileInfo).remove('\r'));
        }
        return 1;
    };
    w.SubMenuItemFileInfoClick();
    EXPECT_EQ(dialogs.count("Dialog"), 1);

    w.spSkinBtnRemoveClick();
    EXPECT_EQ(w.RowCount(), 1);
    EXPECT_FALSE(w.CkbMerge->isEnabled());
    w.spSkinBtnClearClick();
    EXPECT_EQ(w.RowCount(), 0);
    EXPECT_TRUE(w.FileListView->isHidden());
    EXPECT_FALSE(w.btnClip->isEnabled());
    s = states();
    EXPECT_FALSE(s[3]);
}

TEST_F(FileListTest, DroppedFilesAndFoldersAreAddedWithoutFiltering) {
    TfrmMain w;
    w.show();
    const QString f = copyAs(clip("fl_a.mp4"), folder, "dropped.mp4");
    // The list is hidden while empty: the first drop lands on the window.
    QDir().mkpath(folder + "/a folder");
    dropOn(&w, {QUrl::fromLocalFile(f), QUrl::fromLocalFile(folder + "/a folder")}, QPoint(600, 100));
    EXPECT_EQ(rowTexts(w, 0), QStringList{"dropped.mp4"});
    ASSERT_EQ(dialogs.count("Dialog"), 1);  // the folder was reported
    // Now the list shows and takes drops itself.
    ASSERT_TRUE(w.FileListView->isVisible());
    dropOn(w.FileListView->viewport(), {QUrl::fromLocalFile(f)}, QPoint(20, 20));
    EXPECT_EQ(w.RowCount(), 2);
}

TEST_F(FileListTest, BadInputLeavesAConsistentList) {
    TfrmMain w;
    const QString f = clip("fl_a.mp4");
    const QString odd = copyAs(f, folder, QString::fromUtf8("«Café» 'quoted' \"name\" and spaces.mp4"));
    const QString gone = copyAs(f, folder, "gone.mp4");
    const QString empty = folder + "/empty.mp4";
    fixtures::WriteFile(empty.toStdString(), "");
    const QString truncated = folder + "/truncated.mp4";
    fixtures::WriteFile(truncated.toStdString(), fixtures::ReadFile(f.toStdString()).substr(0, 3000));
    w.AddVideFileRows({odd, gone, empty, truncated, gone});
    QFile::remove(gone);  // removed between adding and probing
    QStringList failures;
    collectFailureList(dialogs, failures);
    w.GetVideoFileInfo();
    EXPECT_EQ(rowTexts(w, 0), QStringList{QString::fromUtf8("«Café» 'quoted' \"name\" and spaces.mp4")});
    EXPECT_EQ(pathsOf(failures), (QStringList{gone, empty, truncated}));  // each once, in list order
    EXPECT_EQ(reasonOf(failures, gone), "No such file or directory");
    EXPECT_EQ(reasonOf(failures, empty), "Invalid data found when processing input");
    EXPECT_FALSE(reasonOf(failures, truncated).isEmpty());
    for (int i = 0; i < w.RowCount(); ++i)
        EXPECT_TRUE(w.Row(i)->Entry()->HasData);
}

TEST_F(FileListTest, AFolderWithThousandsOfEntries) {
    TfrmMain w;
    const QString big = sandbox.root() + "/big";
    QDir().mkpath(big);
    for (int i = 0; i < 3000; ++i)
        fixtures::WriteFile((big + QStringLiteral("/f%1.txt").arg(i)).toStdString(), "x");
    copyAs(clip("fl_a.mp4"), big, "zz_real.mp4");
    dialogs.folders << big;
    int failedCount = -1;
    dialogs.dialogHandlers << [&](QDialog* d) {
        failedCount = static_cast<TErrorFileDlg*>(d)->lstError->count();
        return 1;
    };
    w.MenuAddFolderClick();
    EXPECT_EQ(failedCount, 3000);
    EXPECT_EQ(rowTexts(w, 0), QStringList{"zz_real.mp4"});
}

TEST_F(FileListTest, ProbeDialogEndsAtOnceWhenEverythingIsProbed) {
    TfrmMain w;
    w.AddVideFiles({clip("fl_a.mp4")});
    const QString before = w.Row(0)->text(TFileListItem::colSize);
    w.Row(0)->setText(TFileListItem::colSize, "unchanged");
    TCalFileInfoDlg dlg(&w);
    dlg.SetProbe(w.Probe());
    dlg.SetUIAndFFTasks(w.FileListView);
    // Let the worker finish before the modal loop starts: the dialog must not wait forever.
    for (int i = 0; i < 200 && dlg.ProgressBar->value() < 1; ++i)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    QApplication::processEvents();
    EXPECT_EQ(dlg.exec(), 1);
    EXPECT_TRUE(dlg.ErroFileList.isEmpty());
    EXPECT_EQ(w.Row(0)->text(TFileListItem::colSize), "unchanged");
    EXPECT_FALSE(before.isEmpty());
}

TEST_F(FileListTest, UnreadableFilesAreReportedOnce) {
    TfrmMain w;
    const QString locked = copyAs(clip("fl_a.mp4"), folder, "locked.mp4");
    QFile::setPermissions(locked, QFileDevice::Permissions());
    QFile probe(locked);
    if (probe.open(QIODevice::ReadOnly)) GTEST_SKIP() << "permissions don't bind here (running as root)";
    QStringList failures;
    collectFailureList(dialogs, failures);
    w.AddVideFiles({locked, locked});
    EXPECT_EQ(w.RowCount(), 0);
    EXPECT_EQ(pathsOf(failures), QStringList{locked});
}

TEST_F(FileListTest, StartupFilesAndFoldersAreListedAndDeleteRemovesOnTheList) {
    TfrmMain w;
    w.show();
    const QString mp4 = clip("fl_a.mp4");
    const QString a = copyAs(mp4, folder, "one.mp4");
    const QString b = copyAs(mp4, folder, "two.mp4");
    copyAs(mp4, folder + "/more", "three.mp4");
    copyAs(mp4, folder + "/more", "four.mp4");
    // As `vanto one.mp4 two.mp4 more` from the media folder: relative names, a folder.
    QDir::setCurrent(folder);
    w.AddStartupPaths({"one.mp4", b, "more"});
    EXPECT_EQ(rowTexts(w, TFileListItem::colName),
              (QStringList{"one.mp4", "two.mp4", "four.mp4", "three.mp4"}));
    EXPECT_EQ(w.Row(0)->Entry()->FileName, a);
    EXPECT_EQ(dialogs.count("Dialog"), 0);

    // The menus show the desktop's keys; Delete removes the selected row only on the list.
    QAction* remove = w.EditMenu->findChild<QAction*>("EditMenu_01");
    ASSERT_NE(remove, nullptr);
    EXPECT_EQ(remove->shortcut(), QKeySequence(QKeySequence::Delete));
    EXPECT_EQ(w.FileMenu->findChild<QAction*>("FileMenu_00")->shortcut(), QKeySequence(QKeySequence::Open));
    EXPECT_EQ(w.FileMenu->findChild<QAction*>("FileMenu_05")->shortcut(), QKeySequence(QKeySequence::Quit));
    w.FileListView->setCurrentItem(w.Row(1));
    QApplication::setActiveWindow(&w);
    w.cmbOutput->setFocus();
    QTest::keyClick(w.cmbOutput, Qt::Key_Delete);
    EXPECT_EQ(w.RowCount(), 4);
    w.FileListView->setFocus();
    QTest::keyClick(w.FileListView, Qt::Key_Delete);
    EXPECT_EQ(rowTexts(w, TFileListItem::colName), (QStringList{"one.mp4", "four.mp4", "three.mp4"}));
}
