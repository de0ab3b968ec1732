// The user's files come first: real runs on generated clips, with checksums of every source and
// of every file that was in the output folder before, compared afterwards.
#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTimer>
#include <QTreeWidget>
#include <map>

#include "ConvertTestSupport.h"
#include "app/Utils.h"
#include "common/MediaFixtures.h"
#include "convert/ConvertDlg.h"
#include "settings/Lang.h"
#include "settings/Options.h"

namespace {
constexpr int kMp4Profile = 1055;
constexpr int kAviProfile = 1058;

QByteArray checksum(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    QCryptographicHash h(QCryptographicHash::Sha256);
    h.addData(&f);
    return h.result().toHex();
}

// Every file of a folder (hidden ones too) with its checksum.
std::map<QString, QByteArray> snapshot(const QString& folder) {
    std::map<QString, QByteArray> files;
    for (const QString& name : QDir(folder).entryList(QDir::Files | QDir::Hidden))
        files[name] = checksum(folder + "/" + name);
    return files;
}

// The files of `after` that were not in `before`, and a check that every earlier file is unchanged.
QStringList added(const std::map<QString, QByteArray>& before, const std::map<QString, QByteArray>& after) {
    QStringList fresh;
    for (const auto& [name, sum] : before) {
        const auto it = after.find(name);
        EXPECT_TRUE(it != after.end() && it->second == sum) << name.toStdString() << " was changed or removed";
    }
    for (const auto& [name, sum] : after)
        if (!before.count(name)) fresh << name;
    return fresh;
}

QString copyInto(const QString& clip, const QString& path) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile::remove(path);
    EXPECT_TRUE(QFile::copy(clip, path));
    return path;
}

int runDialog(ConvertFixture& f, std::vector<std::unique_ptr<ConvertRecord>> list, bool merge,
              int initialAnswer = 0, const std::function<void(TConvertDlg&)>& during = {}) {
    TConvertDlg dlg;
    dlg.SetFFmpegTasks(&f.tasks);
    dlg.Queue.InitialAnswer = initialAnswer;
    if (!dlg.SetTaskData(std::move(list), true, f.out, merge)) return -1;
    if (during) QTimer::singleShot(0, &dlg, [&] { during(dlg); });
    const int result = dlg.exec();
    dlg.Queue.Close();
    return result;
}
}  // namespace

TEST(DataSafety, ConvertingIntoTheSourcesFolderNeverTouchesTheSource) {
    ConvertFixture f;
    const QString source = copyInto(ConvertFixture::Clip("safe_1s.mp4", 1), f.out + "/c.mp4");
    // Whatever the remembered answer (none, Yes to all) or a closed question: the source is no
    // candidate for replacing, so nothing is asked and the output takes a number.
    for (int answer : {0, int(mrYesToAll), int(mrCancel)}) {
        const auto before = snapshot(f.out);
        f.dialogs.answers = {answer == mrCancel ? mrCancel : mrYes};
        std::vector<std::unique_ptr<ConvertRecord>> list;
        list.push_back(f.Record(source, kMp4Profile, "c"));
        ASSERT_EQ(runDialog(f, std::move(list), false, answer == mrCancel ? 0 : answer), 1);
        const QStringList fresh = added(before, snapshot(f.out));
        ASSERT_EQ(fresh.size(), 1) << fresh.join(", ").toStdString();
        EXPECT_TRUE(fresh[0].startsWith("c_(new_")) << fresh[0].toStdString();
        EXPECT_NEAR(fixtures::ProbeDuration((f.out + "/" + fresh[0]).toStdString()), 1.0, 0.2);
    }
    EXPECT_EQ(f.dialogs.count("AskQuestion"), 0);
}

TEST(DataSafety, MergeIntoTheSourcesFolderKeepsEverySource) {
    ConvertFixture f;
    // Sources named like the merge's own files: the joined result and an intermediate file.
    const QString a = copyInto(ConvertFixture::Clip("safe_1s.mp4", 1), f.out + "/MergerVideo.mp4");
    const QString b = copyInto(ConvertFixture::Clip("safe_2s.mp4", 2), f.out + "/MegerTemp/b.mp4");
    const auto before = snapshot(f.out);
    const auto beforeTemp = snapshot(f.out + "/MegerTemp");
    std::vector<std::unique_ptr<ConvertRecord>> list;
    list.push_back(f.Record(a, kMp4Profile, "MergerVideo"));
    list.push_back(f.Record(b, kMp4Profile, "b"));
    ASSERT_EQ(runDialog(f, std::move(list), true, mrYesToAll), 1);
    EXPECT_EQ(added(before, snapshot(f.out)), QStringList{"MergerVideo_(new_1).mp4"});
    EXPECT_TRUE(added(beforeTemp, snapshot(f.out + "/MegerTemp")).isEmpty());
    EXPECT_NEAR(fixtures::ProbeDuration((f.out + "/MergerVideo_(new_1).mp4").toStdString()), 3.0, 0.3);
}

TEST(DataSafety, AReplacedOutputStaysWholeUntilItsTaskSucceeds) {
    ConvertFixture f;
    const QString clip = ConvertFixture::Clip("safe_1s.mp4", 1);
    fixtures::WriteFile((f.out + "/broken.avi").toStdString(), "old broken");
    fixtures::WriteFile((f.out + "/good.avi").toStdString(), "old good");
    const auto before = snapshot(f.out);
    std::vector<std::unique_ptr<ConvertRecord>> list;
    list.push_back(f.Record(clip, kAviProfile, "broken"));
    list.back()->PFileInfo->formatInfo->EncParam.VideoEncoder = "no_such_encoder";  // can't be set up
    list.push_back(f.Record(clip, kAviProfile, "good"));
    f.dialogs.answers = {mrYesToAll};
    ASSERT_EQ(runDialog(f, std::move(list), false), 1);
    EXPECT_EQ(f.dialogs.count("AskQuestion"), 1);
    EXPECT_EQ(f.dialogs.count("MessageBox"), 0);  // the failed set-up did not hold the run up
    EXPECT_EQ(fixtures::ReadFile((f.out + "/broken.avi").toStdString()), "old broken");
    EXPECT_NEAR(fixtures::ProbeDuration((f.out + "/good.avi").toStdString()), 1.0, 0.2);  // replaced
    EXPECT_EQ(QDir(f.out).entryList(QDir::Files | QDir::Hidden).size(), before.size());
}

TEST(DataSafety, TheSameClipTwiceGivesTwoOutputsWithoutAQuestion) {
    ConvertFixture f;
    const QString clip = ConvertFixture::Clip("safe_1s.mp4", 1);
    std::vector<std::unique_ptr<ConvertRecord>> list;
    list.push_back(f.Record(clip, kAviProfile, "c1"));
    list.push_back(f.Record(clip, kAviProfile, "c1"));
    GetOptions().CPUCount = 2;
    ASSERT_EQ(runDialog(f, std::move(list), false), 1);
    EXPECT_EQ(f.dialogs.count("AskQuestion"), 0);
    EXPECT_EQ(QDir(f.out).entryList(QDir::Files | QDir::Hidden), (QStringList{"c1.avi", "c1_(new_1).avi"}));
    for (const char* name : {"c1.avi", "c1_(new_1).avi"})
        EXPECT_NEAR(fixtures::ProbeDuration((f.out + "/" + name).toStdString()), 1.0, 0.2) << name;
}

TEST(DataSafety, CancelLeavesOnlyFinishedOutputs) {
    ConvertFixture f;
    GetOptions().CPUCount = 2;
    const QString shortClip = ConvertFixture::Clip("safe_1s.mp4", 1);
    const QString longClip = ConvertFixture::Clip("safe_long.mp4", 8, 640, 480);
    fixtures::WriteFile((f.out + "/l3.avi").toStdString(), "agreed to replace, never replaced");
    const auto before = snapshot(f.out);
    std::vector<std::unique_ptr<ConvertRecord>> list;
    for (const char* name : {"s1", "s2"}) list.push_back(f.Record(shortClip, kAviProfile, name));
    for (const char* name : {"l1", "l2", "l3", "l4"}) list.push_back(f.Record(longClip, kAviProfile, name));
    f.dialogs.answers = {mrYes, mrYes};  // replace l3; then the cancel question
    // The folder as Cancel leaves it, before the window or the queue is closed (closing repeats
    // the clean-up and would hide a Cancel that removes nothing).
    std::map<QString, QByteArray> afterCancel;
    int runningAtCancel = 0;
    std::function<void(TConvertDlg&)> cancelAfterTwo = [&](TConvertDlg& dlg) {
        int finished = 0, running = 0;
        for (const auto& r : dlg.Queue.Rows) {
            finished += r.State == TConvertQueue::RowState::Finished;
            running += r.State == TConvertQueue::RowState::Waiting && !r.WorkFile.isEmpty() && QFile::exists(r.WorkFile);
        }
        if (finished >= 2 && running > 0) {
            runningAtCancel = running;
            dlg.btnCancelClick();
            afterCancel = snapshot(f.out);
        } else
            QTimer::singleShot(50, &dlg, [&] { cancelAfterTwo(dlg); });
    };
    TConvertDlg dlg;
    dlg.SetFFmpegTasks(&f.tasks);
    ASSERT_TRUE(dlg.SetTaskData(std::move(list), true, f.out, false));
    QTimer::singleShot(50, &dlg, [&] { cancelAfterTwo(dlg); });
    ASSERT_EQ(dlg.exec(), 2);
    int cancelled = 0;
    for (const auto& r : dlg.Queue.Rows) cancelled += r.State == TConvertQueue::RowState::Cancelled;
    EXPECT_GE(cancelled, 3);
    EXPECT_EQ(dlg.ListViewConvertList->topLevelItem(5)->text(2), GetLangText("ConvertCancelled"));
    EXPECT_GE(runningAtCancel, 1);
    const std::map<QString, QByteArray> afterExec = snapshot(f.out);
    dlg.Queue.Close();
    EXPECT_EQ(afterCancel, afterExec);
    EXPECT_EQ(afterCancel, snapshot(f.out)) << "closing removed what Cancel left";
    const QStringList fresh = added(before, afterCancel);
    EXPECT_GE(fresh.size(), 2);
    for (const QString& name : fresh) {
        EXPECT_FALSE(name.startsWith('.')) << name.toStdString();
        const double expected = name.startsWith('s') ? 1.0 : 8.0;
        EXPECT_NEAR(fixtures::ProbeDuration((f.out + "/" + name).toStdString()), expected, 0.3) << name.toStdString();
    }
}

TEST(DataSafety, CommandLineOverwriteAndInterruptKeepSourcesAndLeaveOnlyFinishedFiles) {
    fixtures::TempDir home;
    const std::string dir = home.file("media");
    QDir().mkpath(QString::fromStdString(dir));
    const std::string clip = dir + "/clip.mp4";
    QFile::copy(QString::fromStdString(fixtures::Clip("safe_1s.mp4", 1, 160, 120, 25)), QString::fromStdString(clip));
    const std::string cli = std::string(VANTO_PROGRAM_DIR) + "/vanto-convert";
    const std::string env = "HOME=" + fixtures::ShellQuote(home.path()) + " ";
    auto before = snapshot(QString::fromStdString(dir));
    std::string out;
    ASSERT_EQ(fixtures::Run(env + cli + " convert --profile 1055 --overwrite --output-folder " +
                                fixtures::ShellQuote(dir) + " " + fixtures::ShellQuote(clip) + " 2>/dev/null",
                            &out),
              0);
    EXPECT_EQ(out, "converted\t" + dir + "/clip_(new_1).mp4\n");
    EXPECT_EQ(added(before, snapshot(QString::fromStdString(dir))), QStringList{"clip_(new_1).mp4"});

    // Ctrl-C in the middle of a run of six long files, as soon as the first one is finished.
    const std::string longClip = fixtures::Clip("safe_long.mp4", 8, 640, 480, 25);
    const std::string outDir = home.file("out");
    std::string files;
    for (int i = 0; i < 6; ++i) files += " " + fixtures::ShellQuote(longClip);
    const std::string firstDone = "ls " + fixtures::ShellQuote(outDir) + "/*.avi >/dev/null 2>&1";
    ASSERT_EQ(fixtures::Run("(" + env + cli + " convert --profile 1058 --jobs 1 --output-folder " +
                                fixtures::ShellQuote(outDir) + files + " >" +
                                fixtures::ShellQuote(home.file("cli.out")) + " 2>/dev/null & pid=$!; i=0; until " +
                                firstDone + " || [ $i -ge 1200 ]; do sleep 0.05; i=$((i+1)); done; " +
                                "kill -INT $pid; wait $pid; exit 0)"),
              0);
    const std::string report = fixtures::ReadFile(home.file("cli.out"));
    EXPECT_NE(report.find("cancelled\t"), std::string::npos) << report;
    for (const QString& name : QDir(QString::fromStdString(outDir)).entryList(QDir::Files | QDir::Hidden)) {
        EXPECT_FALSE(name.startsWith('.')) << name.toStdString();
        EXPECT_NEAR(fixtures::ProbeDuration(outDir + "/" + name.toStdString()), 8.0, 0.3) << name.toStdString();
        EXPECT_NE(report.find("converted\t" + outDir + "/" + name.toStdString()), std::string::npos) << report;
    }
}
