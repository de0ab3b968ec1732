#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include "ConvertTestSupport.h"
#include "app/Utils.h"
#include "common/MediaFixtures.h"
#include "common/ReadOnlyFolder.h"
#include "convert/ConvertDlg.h"
#include "settings/Lang.h"
#include "settings/Options.h"

namespace {
// MPEG-4/MP3 in AVI: quick to encode.
constexpr int kAviProfile = 1058;

std::vector<std::unique_ptr<ConvertRecord>> records(ConvertFixture& f, const QStringList& sources,
                                                    const QStringList& targets, int profile = kAviProfile) {
    std::vector<std::unique_ptr<ConvertRecord>> list;
    for (qsizetype i = 0; i < sources.size(); ++i)
        list.push_back(f.Record(sources[i], profile, targets[i]));
    return list;
}

QStringList mp4Files(const QString& folder) {
    return QDir(folder).entryList({"*.mp4"}, QDir::Files);
}
}  // namespace

TEST(ConvertQueue, PercentRoundingAndClamping) {
    struct Case {
        int64_t current, total;
        int percent;
    };
    for (const Case& c :
         {Case{104, 100, 100}, Case{150, 100, 150}, Case{250, 100, 0}, Case{109, 100, 100},
          Case{110, 100, 110}, Case{200, 100, 200}, Case{201, 100, 0}, Case{25, 1000, 2}, Case{35, 1000, 4},
          Case{5, 10, 50}, Case{1, -1, 0}, Case{1, 0, 0}, Case{0, 100, 0}}) {
        EXPECT_EQ(TConvertQueue::PercentFor(c.current, c.total), c.percent) << c.current << "/" << c.total;
    }
}

TEST(ConvertRun, SixFilesFinishWithEveryRowDone) {
    ConvertFixture f;
    GetOptions().CPUCount = 4;
    QStringList sources, targets;
    for (int i = 0; i < 6; ++i) {
        sources << ConvertFixture::Clip("run_1s.mp4", 1);
        targets << QStringLiteral("six_%1").arg(i);
    }
    TConvertDlg dlg;
    dlg.SetFFmpegTasks(&f.tasks);
    ASSERT_TRUE(dlg.SetTaskData(records(f, sources, targets), true, f.out, false));
    EXPECT_FALSE(dlg.Queue.finished);
    EXPECT_EQ(dlg.exec(), 1);
    ASSERT_EQ(dlg.ListViewConvertList->topLevelItemCount(), 6);
    for (int i = 0; i < 6; ++i) {
        QTreeWidgetItem* row = dlg.ListViewConvertList->topLevelItem(i);
        EXPECT_EQ(row->text(0), QStringLiteral("six_%1.avi").arg(i));
        EXPECT_EQ(row->text(2), "100");
        EXPECT_EQ(row->data(0, Qt::UserRole).toInt(), TConvertQueue::kIconFinished);
        EXPECT_NEAR(fixtures::ProbeDuration((f.out + "/" + row->text(0)).toStdString()), 1.0, 0.2);
    }
    EXPECT_FALSE(dlg.IsFailed());
    EXPECT_TRUE(dlg.IsOpenFolder());
    EXPECT_FALSE(dlg.IsTurnOff());
}

TEST(ConvertRun, PauseAlternatesAndCancelAsksFirst) {
    ConvertFixture f;
    GetOptions().CPUCount = 1;
    const QString longer = ConvertFixture::Clip("run_long.mp4", 8, 640, 480);
    TConvertDlg dlg;
    dlg.SetFFmpegTasks(&f.tasks);
    ASSERT_TRUE(
        dlg.SetTaskData(records(f, {longer, longer, longer}, {"l1", "l2", "l3"}), true, f.out, false));
    QStringList captions;
    f.dialogs.answers = {7, 6};
    QTimer::singleShot(100, &dlg, [&] {
        dlg.BtnPauseClick();
        captions << dlg.BtnPause->text();
        dlg.BtnPauseClick();
        captions << dlg.BtnPause->text();
        dlg.btnCancelClick();  // answered No: the run goes on
        EXPECT_FALSE(dlg.Queue.finished);
        QTimer::singleShot(100, &dlg, [&] { dlg.btnCancelClick(); });  // Yes
    });
    EXPECT_EQ(dlg.exec(), 2);
    EXPECT_EQ(captions, (QStringList{GetLangText("btnResume"), GetLangText("btnPause")}));
    EXPECT_EQ(f.dialogs.texts("AskQuestion"), QStringList(2, GetLangText("CancelAsk_Content")));
    EXPECT_FALSE(dlg.IsFailed());
    EXPECT_TRUE(dlg.Queue.finished);
    // A notice that arrives after the cancel changes nothing.
    int ended = 0;
    dlg.Queue.RunEnded = [&](int) { ++ended; };
    dlg.Queue.FFTasksTerminate(TTerminateInfo{-1, true, false, ""});
    EXPECT_EQ(dlg.Queue.Result, 2);
    EXPECT_EQ(ended, 0);
}

TEST(ConvertRun, ClosingAfterTheRunAsksNothing) {
    ConvertFixture f;
    TConvertDlg dlg;
    dlg.SetFFmpegTasks(&f.tasks);
    ASSERT_TRUE(
        dlg.SetTaskData(records(f, {ConvertFixture::Clip("run_1s.mp4", 1)}, {"once"}), true, f.out, false));
    EXPECT_EQ(dlg.exec(), 1);
    dlg.reject();
    EXPECT_EQ(f.dialogs.count("AskQuestion"), 0);
}

TEST(ConvertRun, NameConflictsFollowTheAnswers) {
    ConvertFixture f;
    const QString clip = ConvertFixture::Clip("run_1s.mp4", 1);
    for (const char* name : {"a.avi", "b.avi", "c.avi"})
        fixtures::WriteFile((f.out + "/" + name).toStdString(), "old");
    {
        TConvertDlg dlg;
        dlg.SetFFmpegTasks(&f.tasks);
        f.dialogs.answers = {7, 9};  // No for a; No to all for b, and c is not asked about
        ASSERT_TRUE(dlg.SetTaskData(records(f, {clip, clip, clip}, {"a", "b", "c"}), true, f.out, false));
        EXPECT_EQ(dlg.exec(), 1);
        EXPECT_EQ(f.dialogs.count("AskQuestion"), 2);
    }
    for (const char* name : {"a_(new_1).avi", "b_(new_1).avi", "c_(new_1).avi"})
        EXPECT_GT(fixtures::FileSize((f.out + "/" + name).toStdString()), 1000) << name;
    EXPECT_EQ(fixtures::ReadFile((f.out + "/a.avi").toStdString()), "old");
    {
        TConvertDlg dlg;  // the next run asks again; Yes to all overwrites everything
        dlg.SetFFmpegTasks(&f.tasks);
        f.dialogs.calls.clear();
        f.dialogs.answers = {10};
        ASSERT_TRUE(dlg.SetTaskData(records(f, {clip, clip, clip}, {"a", "b", "c"}), true, f.out, false));
        EXPECT_EQ(dlg.exec(), 1);
        EXPECT_EQ(f.dialogs.count("AskQuestion"), 1);
    }
    EXPECT_GT(fixtures::FileSize((f.out + "/c.avi").toStdString()), 1000);
}

TEST(ConvertRun, AMissingSourceFailsItsRowAndTheOthersConvert) {
    ConvertFixture f;
    const QString clip = ConvertFixture::Clip("run_1s.mp4", 1);
    const QString doomed = f.sandbox.root() + "/doomed.mp4";
    QFile::copy(clip, doomed);
    auto list = records(f, {clip, doomed, clip}, {"first", "doomed", "third"});
    QFile::remove(doomed);  // deleted after it was added to the list
    TConvertDlg dlg;
    dlg.SetFFmpegTasks(&f.tasks);
    ASSERT_TRUE(dlg.SetTaskData(std::move(list), true, f.out, false));
    EXPECT_EQ(dlg.exec(), 1);
    EXPECT_EQ(dlg.ListViewConvertList->topLevelItem(1)->data(0, Qt::UserRole).toInt(),
              TConvertQueue::kIconFailed);
    EXPECT_EQ(dlg.ListViewConvertList->topLevelItem(0)->data(0, Qt::UserRole).toInt(),
              TConvertQueue::kIconFinished);
    EXPECT_EQ(dlg.ListViewConvertList->topLevelItem(2)->data(0, Qt::UserRole).toInt(),
              TConvertQueue::kIconFinished);
    EXPECT_EQ(f.dialogs.calls.size(), 0);  // no window holds the run up
    EXPECT_TRUE(dlg.Queue.FinishText().contains("doomed.avi")) << dlg.Queue.FinishText().toStdString();
    EXPECT_TRUE(dlg.Queue.FinishText().startsWith(FormatText(GetLangText("ConvertPartly"), {"2", "3"})));
    EXPECT_EQ(QDir(f.out).entryList(QDir::Files | QDir::Hidden).size(), 2);  // nothing else left behind
}

TEST(ConvertRun, EveryTaskFailingOnAFullDiskStillEndsWithOk) {
    ConvertFixture f;
    const QString full = f.sandbox.root() + "/full";
    QDir().mkpath(full);
    if (fixtures::Run("mount -t tmpfs -o size=48k tmpfs " + fixtures::ShellQuote(full.toStdString()) +
                      " 2>/dev/null") != 0)
        GTEST_SKIP() << "a small file system can't be mounted here";
    struct Unmount {
        std::string path;
        ~Unmount() { fixtures::Run("umount " + fixtures::ShellQuote(path) + " 2>/dev/null"); }
    } unmount{full.toStdString()};
    const QString clip = ConvertFixture::Clip("run_long.mp4", 8, 640, 480);
    TConvertDlg dlg;
    dlg.SetFFmpegTasks(&f.tasks);
    QStringList balloons;
    dlg.SetOnProgress([&](const QString&, const QString& text, bool success) {
        if (!success) balloons << text;
    });
    ASSERT_TRUE(dlg.SetTaskData(records(f, {clip, clip}, {"x", "y"}), true, full, false));
    EXPECT_EQ(dlg.exec(), 1);
    EXPECT_FALSE(dlg.IsFailed());
    EXPECT_EQ(balloons.size(), 2);
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(dlg.ListViewConvertList->topLevelItem(i)->data(0, Qt::UserRole).toInt(),
                  TConvertQueue::kIconFailed);
}

TEST(ConvertMerge, ThreeClipsBecomeOneOutputOfTheirTotalLength) {
    ConvertFixture f;
    GetOptions().CPUCount = 2;
    auto list = records(
        f,
        {ConvertFixture::Clip("merge_a.mp4", 2, 160, 120), ConvertFixture::Clip("merge_b.mp4", 3, 320, 240),
         ConvertFixture::Clip("merge_c.mp4", 4, 160, 120)},
        {"m1", "m2", "m3"}, 1055);
    list[2]->PFileInfo->StartTime = 1000000;  // the last one clipped to its last 3 seconds
    list[2]->FileDur = "00:00:03";
    TConvertDlg dlg;
    dlg.SetFFmpegTasks(&f.tasks);
    QStringList steps;
    ASSERT_TRUE(dlg.SetTaskData(std::move(list), true, f.out, true));
    steps << dlg.lblStepInfo->text();
    dlg.Queue.StepChanged = [&] {
        dlg.lblStepInfo->setText(dlg.Queue.StepText);
        steps << dlg.Queue.StepText;
    };
    EXPECT_EQ(dlg.exec(), 1);
    EXPECT_FALSE(dlg.IsFailed());
    EXPECT_EQ(steps, (QStringList{GetLangText("lbStep1"), GetLangText("lbStep2"), GetLangText("lbStep3")}));
    EXPECT_EQ(dlg.Queue.MergerTimer, "00:00:08");
    const QString result = f.out + "/MergerVideo.mp4";
    ASSERT_TRUE(QFile::exists(result)) << QDir(f.out).entryList().join(", ").toStdString();
    EXPECT_NEAR(fixtures::ProbeDuration(result.toStdString()), 8.0, 0.3);
    EXPECT_EQ(fixtures::Probe(result.toStdString(), "v:0", "stream=codec_name"), "h264");
    // The run has ended and its account is about to be shown: the intermediates are gone already.
    EXPECT_TRUE(mp4Files(f.out + "/MegerTemp").isEmpty())
        << mp4Files(f.out + "/MegerTemp").join(", ").toStdString();
    dlg.Queue.Close();
    EXPECT_TRUE(QDir(f.out + "/MegerTemp").exists());  // the folder stays
}

TEST(ConvertMerge, AnExistingResultGetsANumberedNameWithoutAQuestion) {
    ConvertFixture f;
    fixtures::WriteFile((f.out + "/MergerVideo.mp4").toStdString(), "keep");
    const QString clip = ConvertFixture::Clip("run_1s.mp4", 1);
    TConvertDlg dlg;
    dlg.SetFFmpegTasks(&f.tasks);
    // The two intermediate files share a name: the program's own files never ask.
    ASSERT_TRUE(dlg.SetTaskData(records(f, {clip, clip}, {"same", "same"}, 1055), true, f.out, true));
    EXPECT_EQ(dlg.exec(), 1);
    EXPECT_EQ(fixtures::ReadFile((f.out + "/MergerVideo.mp4").toStdString()), "keep");
    EXPECT_NEAR(fixtures::ProbeDuration((f.out + "/MergerVideo_(new_1).mp4").toStdString()), 2.0, 0.3);
    EXPECT_EQ(f.dialogs.count("AskQuestion"), 0);
    dlg.Queue.Close();
    EXPECT_TRUE(mp4Files(f.out + "/MegerTemp").isEmpty());
}

TEST(ConvertMerge, AFailedStepEndsTheRunAndDeletesTheTemporaryFiles) {
    ConvertFixture f;
    const QString clip = ConvertFixture::Clip("run_1s.mp4", 1);
    auto list = records(f, {clip, clip}, {"p", "q"}, 1055);
    // The final step can't open this encoder.
    list[0]->PFileInfo->formatInfo->EncParam.VideoEncoder = "no_such_encoder";
    TConvertDlg dlg;
    dlg.SetFFmpegTasks(&f.tasks);
    ASSERT_TRUE(dlg.SetTaskData(std::move(list), true, f.out, true));
    EXPECT_EQ(dlg.exec(), 2);
    EXPECT_TRUE(dlg.IsFailed());
    EXPECT_TRUE(mp4Files(f.out + "/MegerTemp").isEmpty());
    dlg.Queue.Close();
    EXPECT_FALSE(QFile::exists(f.out + "/MergerVideo.mp4"));
}

TEST(ConvertRun, AReadOnlyOutputFolderFailsTheRowsWithoutHanging) {
    ConvertFixture f;
    const QString ro = f.sandbox.root() + "/readonly";
    QDir().mkpath(ro);
    ReadOnlyFolder guard(ro.toStdString());
    if (!guard.ok()) GTEST_SKIP() << "this file system can't make a folder read-only";
    const QString clip = ConvertFixture::Clip("run_1s.mp4", 1);
    TConvertDlg dlg;
    dlg.SetFFmpegTasks(&f.tasks);
    // No task can open its output: nothing is queued, and the window is not shown.
    EXPECT_FALSE(dlg.SetTaskData(records(f, {clip, clip}, {"r1", "r2"}), true, ro, false));
    EXPECT_EQ(f.dialogs.calls.size(), 0);
    EXPECT_EQ(dlg.Queue.FailureLines().size(), 2);
    EXPECT_TRUE(dlg.Queue.FailureLines().first().contains("r1.avi"));
    EXPECT_EQ(dlg.ListViewConvertList->topLevelItemCount(), 2);
    EXPECT_EQ(dlg.ListViewConvertList->topLevelItem(0)->data(0, Qt::UserRole).toInt(),
              TConvertQueue::kIconFailed);
}

TEST(ConvertRun, ASourceThatEndsEarlyIsReportedButCountsAsConverted) {
    ConvertFixture f;
    // More than 5 % and more than 1 s short.
    EXPECT_TRUE(TConvertQueue::ShortOutputNote(9000000, 10000000).isEmpty());    // 10 % but 1 s
    EXPECT_TRUE(TConvertQueue::ShortOutputNote(58000000, 60000000).isEmpty());   // 2 s but 3.3 %
    EXPECT_TRUE(TConvertQueue::ShortOutputNote(6400000, -1).isEmpty());          // unknown length
    EXPECT_EQ(TConvertQueue::ShortOutputNote(6400000, 10000000),
              FormatText(GetLangText("ConvertShort"), {"6.4", "10.0"}));

    const std::string whole = fixtures::Make(
        "short_whole.mkv", "-f lavfi -i testsrc2=size=160x120:rate=25:duration=10 -c:v mpeg4 -q:v 5 -g 25");
    QFile::copy(QString::fromStdString(whole), f.out + "/../truncated.mkv");
    const QString truncated = QFileInfo(f.out + "/../truncated.mkv").absoluteFilePath();
    QFile(truncated).resize(QFileInfo(truncated).size() * 6 / 10);
    auto list = records(f, {truncated}, {"truncated"});
    ASSERT_GT(list[0]->PFileInfo->EndTime, 9500000);  // listed with the length its header gives
    TConvertDlg dlg;
    dlg.SetFFmpegTasks(&f.tasks);
    ASSERT_TRUE(dlg.SetTaskData(std::move(list), true, f.out, false));
    EXPECT_EQ(dlg.exec(), 1);
    const TConvertQueue::Row& row = dlg.Queue.Rows[0];
    EXPECT_EQ(row.State, TConvertQueue::RowState::Finished);
    EXPECT_TRUE(row.Note.startsWith("converted ")) << row.Note.toStdString();
    EXPECT_TRUE(row.Note.endsWith(" s of 10.0 s (the source ends early or is damaged)")) << row.Note.toStdString();
    EXPECT_EQ(dlg.ListViewConvertList->topLevelItem(0)->text(2), row.Note);
    EXPECT_TRUE(dlg.Queue.FinishText().startsWith(GetLangText("Convert_Finish") + "\ntruncated.avi: converted "))
        << dlg.Queue.FinishText().toStdString();
    dlg.Queue.Close();
}
