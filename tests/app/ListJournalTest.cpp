#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>

#include "app/EntryCopy.h"
#include "app/FileListItem.h"
#include "app/ListJournal.h"
#include "app/MainFrm.h"
#include "app/Utils.h"
#include "app/VantoAskDlg.h"
#include "app/WidgetDialogs.h"
#include "common/MediaFixtures.h"
#include "common/ScriptedDialogs.h"
#include "common/TestSandbox.h"
#include "common/WaitFor.h"
#include "convert/ConvertDlg.h"
#include "convert/RenameDlg.h"
#include "convert/ResumableConversion.h"
#include "profiles/ParaInfo.h"
#include "settings/Lang.h"
#include "settings/Options.h"
#include "settings/SettingDlg.h"
#include "tools/ClipTimeDlg.h"

namespace {
QString copyOfClip(const QString& folder, const QString& name, double seconds = 2) {
    const QString source = QString::fromStdString(
        fixtures::Clip(QStringLiteral("journal_%1s.mp4").arg(seconds).toStdString(), seconds, 160, 120, 25));
    QDir().mkpath(folder);
    const QString target = folder + '/' + name;
    QFile::remove(target);
    EXPECT_TRUE(QFile::copy(source, target));
    return target;
}

// One line per row with everything a restore must bring back.
QString describe(const QString& caption, const QString& output, bool checked, const ListFileInfo& e) {
    const TFormatInfo* f = e.formatInfo.get();
    return QStringLiteral("%1|%2|%3|%4|%5-%6|%7|%8|%9|%10")
        .arg(caption, output, checked ? "on" : "off", e.FileName)
        .arg(e.StartTime)
        .arg(e.EndTime)
        .arg(e.CategoryTag)
        .arg(f ? f->ID : -1)
        .arg(f ? QStringLiteral("%1x%2@%3 q%4 fit%5 %6/%7")
                     .arg(f->EncParam.Width)
                     .arg(f->EncParam.Height)
                     .arg(f->EncParam.VideoBitrate)
                     .arg(f->EncParam.Quality)
                     .arg(f->EncParam.FitSize)
                     .arg(f->EncParam.VideoProfile, f->EncParam.PixelFormat)
               : QString())
        .arg(e.HasData ? QString::number(e.FileDurTime) : QStringLiteral("unprobed"));
}
QStringList describe(const TfrmMain& w) {
    QStringList rows{QStringLiteral("profile %1 merge %2").arg(w.PaneProfile->Tag).arg(w.CkbMerge->isChecked())};
    for (int i = 0; i < w.RowCount(); ++i)
        rows << describe(w.Row(i)->text(TFileListItem::colName), w.Row(i)->text(TFileListItem::colOutput),
                         w.Row(i)->checkState(0) == Qt::Checked, *w.Row(i)->Entry());
    return rows;
}
QStringList describeJournal(const QString& file) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) return {"no journal"};
    TJournalContent content;
    QString error;
    if (!TListJournal::DecodeList(f.readAll(), content, &error)) return {"undecodable: " + error};
    QStringList rows{QStringLiteral("profile %1 merge %2").arg(content.profileId).arg(content.merge)};
    for (const TJournalRow& r : content.rows)
        rows << describe(r.caption, r.output, r.checked, *r.entry);
    return rows;
}
QByteArray readAll(const QString& file) {
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("missing");
}
void writeFile(const QString& file, const QByteArray& bytes) {
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

class ListJournalTest : public ::testing::Test {
protected:
    void SetUp() override { folder = sandbox.root() + "/media"; }
    QString journal() const { return TListJournal::DefaultFile(); }
    TestSandbox sandbox;
    ScriptedDialogs dialogs;
    QString folder;
};
}  // namespace

// Every kind of change reaches the journal, and an unclean end followed by Yes gives the list
// back exactly.
TEST_F(ListJournalTest, EveryKindOfChangeIsJournaledAndRestoredExactly) {
    QStringList lastState;
    QByteArray lastJournal;
    {
        TfrmMain w;
        ASSERT_TRUE(w.ListJournal && w.ListJournal->Acquired());
        // Each step changes the list through the window's own handler; the change must be pending
        // (Flush writes only then) and the journal must then describe the window.
        auto step = [&](const char* what, const std::function<void()>& change) {
            change();
            const int before = w.ListJournal->Writes();
            w.ListJournal->Flush();
            EXPECT_EQ(w.ListJournal->Writes(), before + 1) << what << ": not journaled";
            EXPECT_EQ(describeJournal(journal()), describe(w)) << what;
        };
        step("add", [&] {
            w.AddVideFiles({copyOfClip(folder, "a.mp4"), copyOfClip(folder, "b.mp4"), copyOfClip(folder, "c.mp4"),
                            copyOfClip(folder, "d.mp4")});
        });
        ASSERT_EQ(w.RowCount(), 4);
        // Writing again copies only the entries that changed since the last write.
        long clones = TEntryCopy::Clones();
        step("nothing", [&] { w.ListChanged(); });
        EXPECT_EQ(TEntryCopy::Clones(), clones);
        step("remove", [&] {
            w.FileListView->setCurrentItem(w.Row(3));
            w.spSkinBtnRemoveClick();
        });
        step("rename", [&] {
            w.FileListView->setCurrentItem(w.Row(1));
            dialogs.dialogHandlers << [](QDialog* d) {
                static_cast<TRenameDlg*>(d)->txtNewName->setText("renamed");
                return 1;
            };
            w.SubmenuItemRenameClick();
        });
        clones = TEntryCopy::Clones();
        step("clip", [&] {
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
        });
        step("reorder", [&] { w.spSkinBtnMoveUpClick(); });
        step("check", [&] { w.Row(2)->setCheckState(0, Qt::Unchecked); });
        EXPECT_EQ(TEntryCopy::Clones(), clones + 1) << "only the clipped row's entry changed";
        step("uncheck all", [&] {
            w.ckbCkAll->setChecked(false);
            w.ckbCkAllClick();
        });
        step("settings", [&] {
            dialogs.dialogHandlers << [](QDialog* d) {
                auto* dlg = qobject_cast<TDlgSetting*>(d);
                dlg->CkbMerge->setChecked(true);
                dlg->cmbResolution->setCurrentIndex(dlg->cmbResolution->findText("320x240"));
                dlg->cmbRateMode->setCurrentIndex(2);  // fit into
                dlg->spnFitSize->setValue(7);
                dlg->btnOkClick();
                return dlg->result();
            };
            w.spSkinBtnSettingClick();
        });
        step("one row's profile", [&] { w.SetTFormatMenuItem(1056); });
        ASSERT_EQ(w.Row(0)->text(TFileListItem::colOutput), "renamed");
        ASSERT_EQ(w.Row(0)->Entry()->StartTime, 1000000);
        ASSERT_EQ(w.Row(0)->Entry()->formatInfo->ID, 1056);
        ASSERT_EQ(w.Row(1)->Entry()->formatInfo->EncParam.FitSize, 7 << 20);
        lastState = describe(w);
        lastJournal = readAll(journal());
    }
    // A clean exit empties the journal; a crash would have left the last write.
    EXPECT_EQ(readAll(journal()), QByteArray());
    writeFile(journal(), lastJournal);

    dialogs.answers << 6;
    TfrmMain w;
    w.RestoreLastSession();
    EXPECT_EQ(dialogs.texts("AskQuestion"), QStringList{"Restore the 3 files of the last session?"});
    EXPECT_EQ(describe(w), lastState);
    EXPECT_FALSE(w.FileListView->isHidden());
    EXPECT_TRUE(w.btnClip->isEnabled());
    w.RestoreLastSession();  // asked once only
    EXPECT_EQ(dialogs.count("AskQuestion"), 1);
}

// A long list is copied a slice at a time; a row changed while the copy is under way is not lost
// to the rows copied before it.
TEST_F(ListJournalTest, AChangeInTheMiddleOfASlicedCopyStartsItAgain) {
    QStringList names;
    for (int i = 0; i < 2000; ++i)
        names << QStringLiteral("/m/%1.mp4").arg(i);
    int asked = 0;
    TJournalSource source;
    source.list = [] { return TJournalContent{}; };
    source.rowCount = [&] { return int(names.size()); };
    source.row = [&](int index, std::vector<TJournalRow>& rows) {
        ++asked;
        QElapsedTimer slow;  // a slow row, so that one slice cannot take the whole list
        slow.start();
        while (slow.nsecsElapsed() < 100'000) {
        }
        auto entry = std::make_shared<ListFileInfo>();
        entry->FileName = names[index];
        rows.push_back(TJournalRow{names[index], QString(), true, std::move(entry)});
    };
    const QString file = sandbox.root() + "/sliced.json";
    TListJournal journal(file, std::move(source));
    ASSERT_TRUE(journal.Acquire());
    journal.Changed();
    ASSERT_TRUE(WaitFor([&] { return asked > 0; }));
    ASSERT_LT(asked, 2000) << "the first slice copied the whole list";
    // Already copied. Characters the journal's text must escape come back as they were.
    names[0] = QString::fromUtf8("/m/re\"na\\med\t\x01 \xe5\x90\x8d.mp4");
    journal.Changed();
    ASSERT_TRUE(WaitFor([&] { return journal.Writes() > 0; }, 20000));
    const QStringList written = describeJournal(file);
    ASSERT_EQ(written.size(), 2001);
    EXPECT_TRUE(written[1].startsWith(names[0] + "|")) << written[1].toStdString();
    EXPECT_EQ(journal.Writes(), 1);
}

TEST_F(ListJournalTest, BurstsAreCoalescedAndAnsweringNoStartsEmpty) {
    QByteArray crashed;
    {
        TfrmMain w;
        w.AddVideFiles({copyOfClip(folder, "a.mp4"), copyOfClip(folder, "b.mp4")});
        PumpEvents(TListJournal::kIntervalMs + 100);
        const int before = w.ListJournal->Writes();
        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i < 400; ++i) {  // a second of quick toggles
            w.Row(i % 2)->setCheckState(0, i % 3 ? Qt::Checked : Qt::Unchecked);
            PumpEvents(2);
        }
        w.Row(0)->setCheckState(0, Qt::Unchecked);
        const qint64 elapsed = clock.elapsed();
        EXPECT_TRUE(WaitFor([&] { return describeJournal(journal()) == describe(w); }, 2000));
        const int writes = w.ListJournal->Writes() - before;
        EXPECT_GE(writes, 1);
        EXPECT_LE(writes, elapsed / TListJournal::kIntervalMs + 2) << "in " << elapsed << " ms";
        crashed = readAll(journal());
    }
    writeFile(journal(), crashed);
    dialogs.answers << 7;
    {
        TfrmMain w;
        w.RestoreLastSession();
        EXPECT_EQ(dialogs.count("AskQuestion"), 1);
        EXPECT_EQ(w.RowCount(), 0);
        EXPECT_EQ(readAll(journal()), QByteArray());  // declined: not offered again
    }
    TfrmMain again;
    again.RestoreLastSession();
    EXPECT_EQ(dialogs.count("AskQuestion"), 1);
}

// A journal that can't be used is set aside with its bytes intact, reported once, and never
// restored from.
TEST_F(ListJournalTest, TornAndForeignJournalsAreSetAsideAndReportedOnce) {
    QByteArray whole;
    {
        TfrmMain w;
        w.AddVideFiles({copyOfClip(folder, "a.mp4")});
        w.ListJournal->Flush();
        whole = readAll(journal());
    }
    ASSERT_GT(whole.size(), 100);
    const QByteArray cases[] = {whole.left(whole.size() / 2), whole.left(whole.size() - 1),
                                QByteArray("\x00\x01garbage", 9), QByteArray("{\"journal\":\"other\"}")};
    for (const QByteArray& bad : cases) {
        writeFile(journal(), bad);
        dialogs.calls.clear();
        {
            TfrmMain w;
            w.RestoreLastSession();
            EXPECT_EQ(w.RowCount(), 0);
            EXPECT_EQ(dialogs.count("AskQuestion"), 0);
            ASSERT_EQ(dialogs.count("ShowInfo"), 1);
            EXPECT_TRUE(dialogs.texts("ShowInfo")[0].contains("could not be read"));
        }
        const QStringList aside =
            QDir(QFileInfo(journal()).path()).entryList({"listjournal.json.unreadable-*"}, QDir::Files);
        ASSERT_FALSE(aside.isEmpty());
        bool kept = false;
        for (const QString& name : aside)
            kept = kept || readAll(QFileInfo(journal()).path() + '/' + name) == bad;
        EXPECT_TRUE(kept) << "the unreadable journal's bytes were not kept";
        dialogs.calls.clear();
        TfrmMain next;
        next.RestoreLastSession();
        EXPECT_EQ(dialogs.count("ShowInfo"), 0);  // reported once
        for (const QString& name : aside)
            QFile::remove(QFileInfo(journal()).path() + '/' + name);
    }
}

TEST_F(ListJournalTest, GoneAndChangedFilesAtRestore) {
    const QString a = copyOfClip(folder, "a.mp4"), b = copyOfClip(folder, "b.mp4"), c = copyOfClip(folder, "c.mp4");
    QByteArray crashed;
    {
        TfrmMain w;
        w.AddVideFiles({a, b, c});
        w.ListJournal->Flush();
        crashed = readAll(journal());
    }
    writeFile(journal(), crashed);
    ASSERT_TRUE(QFile::remove(b));
    // c is replaced by a longer file: it is read again rather than trusted.
    QFile::remove(c);
    copyOfClip(folder, "c.mp4", 3);
    dialogs.answers << 6;
    TfrmMain w;
    w.RestoreLastSession();
    ASSERT_EQ(w.RowCount(), 2);
    EXPECT_EQ(w.Row(0)->Entry()->FileName, a);
    EXPECT_EQ(w.Row(1)->Entry()->FileName, c);
    EXPECT_NEAR(w.Row(1)->Entry()->FileDurTime, 3000000, 100000);
    EXPECT_EQ(w.Row(1)->text(TFileListItem::colDuration), "00:00:03");
    ASSERT_EQ(dialogs.count("ShowInfo"), 1);
    EXPECT_TRUE(dialogs.texts("ShowInfo")[0].contains(b));
    EXPECT_FALSE(dialogs.texts("ShowInfo")[0].contains(a));
}

// A conversion cut short: the journal keeps which rows were still being converted and where,
// and after the restore the next Start continues the long file from its finished pieces. The
// run is cut as the program ending on a signal cuts it: its pieces stay, as after a kill.
TEST_F(ListJournalTest, AConversionCutShortContinuesFromItsPiecesAfterRestore) {
    qputenv("VANTO_RESUME_SEGMENT_SECONDS", "3");
    GetOptions().ResumableFromSeconds = 10;  // through the options file: each window reads it anew
    GetOptions().SaveOptions();
    const QString first = copyOfClip(folder, "first.mp4", 12), second = copyOfClip(folder, "second.mp4", 12);
    const QString out = sandbox.root() + "/out",
                  work = TResumableConversion::WorkFolderFor(out + "/second.mp4");
    QByteArray crashed;
    {
        TfrmMain w;
        w.AddVideFiles({first, second});
        w.cmbOutput->setEditText(out);
        dialogs.dialogHandlers << [&](QDialog* d) {
            auto* dlg = qobject_cast<TConvertDlg*>(d);
            QTimer poll;
            QObject::connect(&poll, &QTimer::timeout, [&] {
                if (!readAll(work + "/journal.json").contains("seg0000.mkv")) return;
                poll.stop();
                w.ListJournal->Flush();
                crashed = readAll(journal());
                dlg->Queue.KeepResumablePieces = true;
                dlg->btnCancelClickWithoutAsking();
            });
            poll.start(10);
            return dlg->exec();
        };
        w.BtnStartClick();
    }
    ASSERT_FALSE(crashed.isEmpty());
    ASSERT_TRUE(QFile::exists(out + "/first.mp4"));  // finished before the cut
    EXPECT_FALSE(QFile::exists(out + "/second.mp4"));
    writeFile(journal(), crashed);

    dialogs.calls.clear();
    dialogs.answers = {mrYes};
    TfrmMain w;
    w.cmbOutput->setEditText(sandbox.root() + "/elsewhere");
    w.RestoreLastSession();
    ASSERT_EQ(w.RowCount(), 2);
    EXPECT_EQ(w.Row(0)->checkState(0), Qt::Unchecked);  // converted already
    EXPECT_EQ(w.Row(1)->checkState(0), Qt::Checked);
    EXPECT_EQ(w.OutputFolder(), out);
    EXPECT_EQ(dialogs.texts("ShowInfo"),
              QStringList{FormatText(GetLangText("JournalRunInterrupted"), {"1", out})});
    int reused = -1;
    dialogs.dialogHandlers << [&](QDialog* d) {
        auto* dlg = qobject_cast<TConvertDlg*>(d);
        dlg->cbOpenTarget->setChecked(false);
        const int result = dlg->exec();
        reused = dlg->Queue.Rows.at(0).PiecesReused;
        return result;
    };
    w.BtnStartClick();
    qunsetenv("VANTO_RESUME_SEGMENT_SECONDS");
    EXPECT_GE(reused, 2)
        << dialogs.texts().join('|').toStdString();  // the sound and the first pictures' piece
    EXPECT_NEAR(fixtures::ProbeDuration((out + "/second.mp4").toStdString()), 12.0, 0.1);
    EXPECT_FALSE(QFileInfo::exists(work));
}

// A second window while the first still runs keeps no journal and asks nothing; the first's
// journal stays its own.
TEST_F(ListJournalTest, ASecondInstanceLeavesTheJournalAlone) {
    TfrmMain first;
    first.AddVideFiles({copyOfClip(folder, "a.mp4")});
    first.ListJournal->Flush();
    const QByteArray before = readAll(journal());
    {
        TfrmMain second;
        EXPECT_FALSE(second.ListJournal->Acquired());
        second.RestoreLastSession();
        second.AddVideFiles({copyOfClip(folder, "b.mp4")});
        PumpEvents(TListJournal::kIntervalMs + 100);
    }
    EXPECT_EQ(readAll(journal()), before);
    EXPECT_EQ(dialogs.count("AskQuestion"), 0);
}

// The real question window under the offscreen platform, in Chinese.
TEST_F(ListJournalTest, TheRestoreQuestionWindowInChinese) {
    QByteArray crashed;
    {
        TfrmMain w;
        w.AddVideFiles({copyOfClip(folder, "a.mp4"), copyOfClip(folder, "b.mp4")});
        w.ListJournal->Flush();
        crashed = readAll(journal());
    }
    writeFile(journal(), crashed);
    TestSandbox::ResetStores();
    GetOptions().LangValue = "zh";
    WidgetDialogs real;
    InstallMessageDialogs(&real);
    TfrmMain w;
    w.show();
    QString shown;
    QTimer::singleShot(50, [&] {
        auto* ask = qobject_cast<TVantoAskDlg*>(QApplication::activeModalWidget());
        if (!ask) return;
        shown = ask->lbInformation->text();
        ask->suiBtnOk->click();
    });
    w.RestoreLastSession();
    InstallMessageDialogs(&dialogs);
    EXPECT_EQ(shown, QString::fromUtf8("要恢复上次会话中的 2 个文件吗？"));
    EXPECT_EQ(w.RowCount(), 2);
}
