// The window's run converts long sources in pieces that survive a kill, before its other files;
// Cancel removes the working folder before it returns; a working folder another process holds
// is named in its row. A low threshold from the options and short pieces keep the clips short.
#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include "ConvertTestSupport.h"
#include "app/Utils.h"
#include "common/MediaFixtures.h"
#include "convert/ConvertDlg.h"
#include "convert/ResumableConversion.h"
#include "settings/Lang.h"
#include "settings/Options.h"

namespace {
constexpr int kMp4Profile = 1055;  // H.264/AAC in MP4

struct ShortPieces {
    ShortPieces() { qputenv("VANTO_RESUME_SEGMENT_SECONDS", "3"); }
    ~ShortPieces() { qunsetenv("VANTO_RESUME_SEGMENT_SECONDS"); }
};

QStringList everything(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}
}  // namespace

TEST(ConvertResume, LongSourcesGoFirstInPiecesAndALockedWorkingFolderIsNamedInItsRow) {
    ConvertFixture f;
    ShortPieces pieces;
    GetOptions().ResumableFromSeconds = 10;
    const QString longer = ConvertFixture::Clip("resume_12s.mp4", 12);
    const QString shorter = ConvertFixture::Clip("run_1s.mp4", 1);
    // Another process converts into locked.mp4.
    const QString held = TResumableConversion::WorkFolderFor(f.out + "/locked.mp4");
    QDir().mkpath(held);
    QLockFile other(held + "/lock");
    ASSERT_TRUE(other.tryLock(0));

    TConvertDlg dlg;
    dlg.SetFFmpegTasks(&f.tasks);
    std::vector<std::unique_ptr<ConvertRecord>> list;
    list.push_back(f.Record(shorter, kMp4Profile, "short"));
    list.push_back(f.Record(longer, kMp4Profile, "long"));
    list.push_back(f.Record(longer, kMp4Profile, "locked"));
    // While the long file converts its row moves on and the short one has not started; once its
    // pace is known, the run's time left counts what follows it too.
    QStringList longPercents;
    bool runLeftShown = false;
    const auto show = dlg.Queue.RowChanged;
    dlg.Queue.RowChanged = [&](int row) {
        show(row);
        if (row == 1 && dlg.Queue.Rows[1].State == TConvertQueue::RowState::Waiting) {
            longPercents << dlg.Queue.Rows[1].Percent;
            EXPECT_EQ(dlg.Queue.Rows[0].Percent, "0");
            const int64_t fileLeft = dlg.Queue.Rows[1].RemainingMs, runLeft = dlg.Queue.RunRemainingMs();
            if (fileLeft > 0) {
                EXPECT_GT(runLeft, fileLeft);
                runLeftShown = true;
            }
        }
    };
    ASSERT_TRUE(dlg.SetTaskData(std::move(list), true, f.out, false));
    EXPECT_EQ(dlg.exec(), 1);

    const auto& rows = dlg.Queue.Rows;
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_FALSE(rows[0].Resumable);
    EXPECT_TRUE(rows[1].Resumable);
    EXPECT_EQ(rows[1].State, TConvertQueue::RowState::Finished);
    EXPECT_EQ(rows[1].PiecesReused, 0);
    EXPECT_EQ(rows[0].State, TConvertQueue::RowState::Finished);
    EXPECT_TRUE(runLeftShown);
    EXPECT_TRUE(std::any_of(longPercents.begin(), longPercents.end(), [](const QString& p) {
        return p.toInt() > 0 && p.toInt() < 100;
    })) << longPercents.join(' ').toStdString();
    EXPECT_EQ(rows[2].State, TConvertQueue::RowState::Failed);
    EXPECT_EQ(dlg.ListViewConvertList->topLevelItem(2)->text(2),
              FormatText(GetLangText("ConvertResumeLocked"), {f.out + "/locked.mp4"}));
    EXPECT_NEAR(fixtures::ProbeDuration((f.out + "/long.mp4").toStdString()), 12.0, 0.1);
    EXPECT_NEAR(fixtures::ProbeDuration((f.out + "/short.mp4").toStdString()), 1.0, 0.2);
    // The other process's folder is left to it; nothing else stays behind.
    EXPECT_EQ(everything(f.out), (QStringList{QFileInfo(held).fileName(), "long.mp4", "short.mp4"}));
    EXPECT_EQ(everything(held), QStringList{"lock"});
}

TEST(ConvertResume, CancelRemovesTheWorkingFolderBeforeItReturns) {
    ConvertFixture f;
    ShortPieces pieces;
    GetOptions().ResumableFromSeconds = 10;
    const QString longer = ConvertFixture::Clip("resume_12s.mp4", 12);
    const QString work = TResumableConversion::WorkFolderFor(f.out + "/cut.mp4");
    TConvertDlg dlg;
    dlg.SetFFmpegTasks(&f.tasks);
    std::vector<std::unique_ptr<ConvertRecord>> list;
    list.push_back(f.Record(longer, kMp4Profile, "cut"));
    ASSERT_TRUE(dlg.SetTaskData(std::move(list), true, f.out, false));
    bool cancelled = false, paused = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!QFileInfo::exists(work + "/seg0000.mkv")) return;
        poll.stop();
        // Paused first: the pieces stop coming, and Cancel still ends it at once.
        dlg.BtnPauseClick();
        paused = dlg.BtnPause->text() == GetLangText("btnResume");
        f.dialogs.answers = {mrYes};
        dlg.btnCancelClick();
        EXPECT_FALSE(QFileInfo::exists(work));
        cancelled = true;
    });
    poll.start(10);
    EXPECT_EQ(dlg.exec(), 2);
    ASSERT_TRUE(cancelled);
    EXPECT_TRUE(paused);
    EXPECT_EQ(dlg.Queue.Rows[0].State, TConvertQueue::RowState::Cancelled);
    EXPECT_TRUE(everything(f.out).isEmpty()) << everything(f.out).join(' ').toStdString();
}
