#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>

#include "app/Utils.h"
#include "common/ScriptedDialogs.h"
#include "common/TestSandbox.h"
#include "convert/ErrorFileDlg.h"
#include "convert/OutputNaming.h"
#include "convert/RenameDlg.h"
#include "settings/Lang.h"

namespace {
void touch(const QString& path, const QByteArray& content = "data") {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(content);
}

class OutputNamingTest : public ::testing::Test {
protected:
    void SetUp() override {
        LoadLang();
        out = sandbox.root() + "/out";
        QDir().mkpath(out);
    }
    TestSandbox sandbox;
    ScriptedDialogs dialogs;
    TOutputNaming naming;
    QString out;
};
}  // namespace

TEST_F(OutputNamingTest, ANameTakenInThisRunGetsTheNextNumberWithoutAQuestion) {
    const QString p = naming.CheckOutputFile(out, "clip", false, ".mp4");
    EXPECT_EQ(p, out + "/clip.mp4");
    EXPECT_FALSE(QFile::exists(p));  // nothing is written before the task has finished
    // A second and third task of the same run arriving at the same name never share the file.
    EXPECT_EQ(naming.CheckOutputFile(out, "clip", false, ".mp4"), out + "/clip_(new_1).mp4");
    EXPECT_EQ(naming.CheckOutputFile(out + "/", "clip", false, ".mp4"), out + "/clip_(new_2).mp4");
    EXPECT_EQ(dialogs.calls.size(), 0);
    // The question names the file when one exists on disk.
    touch(out + "/other.mp4");
    dialogs.answers = {mrNo};
    EXPECT_EQ(naming.CheckOutputFile(out, "other", false, ".mp4"), out + "/other_(new_1).mp4");
    ASSERT_EQ(dialogs.calls.size(), 1);
    EXPECT_EQ(dialogs.calls[0].text, FormatText(GetLangText("DlgReplaceDlTitle"), {"other.mp4"}));
    EXPECT_TRUE(dialogs.calls[0].multiAsk);
    EXPECT_EQ(dialogs.calls[0].title, "");
}

TEST_F(OutputNamingTest, EachAnswerDecidesTheNameAndWhetherToAskAgain) {
    touch(out + "/a.mp4");
    touch(out + "/b.mp4");
    touch(out + "/c.mp4");

    dialogs.answers = {mrYes};  // overwrite this one, ask again next time
    EXPECT_EQ(naming.CheckOutputFile(out, "a", false, ".mp4"), out + "/a.mp4");
    EXPECT_EQ(QFileInfo(out + "/a.mp4").size(), 4);  // kept whole until its task has finished
    EXPECT_TRUE(naming.WillReplace(out + "/a.mp4"));

    dialogs.answers = {mrNoToAll};  // new names from now on, no more questions
    EXPECT_EQ(naming.CheckOutputFile(out, "b", false, ".mp4"), out + "/b_(new_1).mp4");
    EXPECT_EQ(QFileInfo(out + "/b.mp4").size(), 4);  // the existing file is kept
    EXPECT_EQ(naming.CheckOutputFile(out, "c", false, ".mp4"), out + "/c_(new_1).mp4");
    EXPECT_EQ(dialogs.count("AskQuestion"), 2);
}

TEST_F(OutputNamingTest, YesToAllOverwritesSilentlyForTheRestOfTheRun) {
    touch(out + "/a.avi");
    touch(out + "/b.avi");
    dialogs.answers = {mrYesToAll};
    EXPECT_EQ(naming.CheckOutputFile(out, "a", false, ".avi"), out + "/a.avi");
    EXPECT_EQ(naming.CheckOutputFile(out, "b", false, ".avi"), out + "/b.avi");
    EXPECT_EQ(dialogs.count("AskQuestion"), 1);
    // The next run starts with a fresh answer and asks again.
    TOutputNaming nextRun;
    dialogs.answers = {mrYes};
    nextRun.CheckOutputFile(out, "a", false, ".avi");
    EXPECT_EQ(dialogs.count("AskQuestion"), 2);
}

TEST_F(OutputNamingTest, AClosedQuestionKeepsTheFileAndIsAskedAgain) {
    touch(out + "/a.mp3");
    touch(out + "/b.mp3");
    dialogs.answers = {mrCancel, mrCancel};
    EXPECT_EQ(naming.CheckOutputFile(out, "a", false, ".mp3"), out + "/a_(new_1).mp3");
    EXPECT_EQ(naming.CheckOutputFile(out, "b", false, ".mp3"), out + "/b_(new_1).mp3");
    EXPECT_FALSE(naming.WillReplace(out + "/a.mp3"));
    EXPECT_EQ(dialogs.count("AskQuestion"), 2);
}

TEST_F(OutputNamingTest, ASourceIsNeverAnOutputWhateverTheAnswer) {
    touch(out + "/src.mp4", "source");
    QDir().mkpath(out + "/sub");
    QFile::link(out + "/src.mp4", out + "/sub/link.mp4");
    naming.AddSource(out + "/sub/../src.mp4");
    naming.coverExitFileResult = mrYesToAll;
    EXPECT_EQ(naming.CheckOutputFile(out, "src", true, ".mp4"), out + "/src_(new_1).mp4");
    // A link to the source is the source too.
    EXPECT_EQ(naming.CheckOutputFile(out + "/sub", "link", true, ".mp4"), out + "/sub/link_(new_1).mp4");
    EXPECT_EQ(dialogs.calls.size(), 0);
}

TEST_F(OutputNamingTest, WorkingFilesMoveIntoPlaceAndOnlyCreatedFilesAreDeleted) {
    touch(out + "/keep.mp4", "old");
    touch(out + "/agreed.mp4", "old");
    dialogs.answers = {mrYes};
    const QString agreed = naming.CheckOutputFile(out, "agreed", false, ".mp4");
    const QString fresh = naming.CheckOutputFile(out, "fresh", false, ".mp4");
    const QString w1 = naming.CreateWorkingFile(agreed);
    const QString w2 = naming.CreateWorkingFile(fresh);
    ASSERT_FALSE(w1.isEmpty());
    EXPECT_TRUE(QFileInfo(w1).fileName().startsWith('.'));
    EXPECT_TRUE(w1.endsWith(".mp4"));
    EXPECT_NE(w1, w2);
    touch(w1, "new");
    EXPECT_EQ(naming.Commit(w1, agreed), agreed);  // replaced only now
    QFile a(agreed);
    ASSERT_TRUE(a.open(QIODevice::ReadOnly));
    EXPECT_EQ(a.readAll(), "new");
    // A file that appeared under the free name meanwhile is kept; the output takes a number.
    touch(fresh, "someone else's");
    EXPECT_EQ(naming.Commit(w2, fresh), out + "/fresh_(new_1).mp4");
    EXPECT_EQ(QFileInfo(fresh).size(), 14);
    // Only what the run created is ever deleted.
    EXPECT_FALSE(naming.RemoveCreated(out + "/keep.mp4"));
    EXPECT_TRUE(QFile::exists(out + "/keep.mp4"));
    const QString w3 = naming.CreateWorkingFile(naming.CheckOutputFile(out, "gone", false, ".mp4"));
    naming.RemoveAllCreated();
    EXPECT_FALSE(QFile::exists(w3));
    EXPECT_EQ(QDir(out).entryList(QDir::Files | QDir::Hidden).size(), 4);
}

TEST_F(OutputNamingTest, TakenNumbersAreSkipped) {
    touch(out + "/x_psp.mp4");
    touch(out + "/x_(new_1)_psp.mp4");
    touch(out + "/x_(new_2)_psp.mp4");
    dialogs.answers = {mrNo};
    EXPECT_EQ(naming.CheckOutputFile(out, "x", false, "_psp.mp4"), out + "/x_(new_3)_psp.mp4");
}

TEST_F(OutputNamingTest, NeverAskingUsesOnlyTheRemembered) {
    touch(out + "/MergerVideo_Temp.mp4");
    EXPECT_EQ(naming.CheckOutputFile(out, "MergerVideo_Temp", true, ".mp4"), out + "/MergerVideo_Temp.mp4");
    naming.coverExitFileResult = mrNoToAll;
    EXPECT_EQ(naming.CheckOutputFile(out, "MergerVideo_Temp", true, ".mp4"),
              out + "/MergerVideo_Temp_(new_1).mp4");
    EXPECT_EQ(dialogs.calls.size(), 0);
}

TEST_F(OutputNamingTest, TrailingSeparatorsAreReduced) {
    EXPECT_EQ(naming.CheckOutputFile(out + "/", "n", false, ".ts"), out + "/n.ts");
    EXPECT_EQ(naming.CheckOutputFile(out + "//", "m", false, ".ts"), out + "/m.ts");
}

TEST_F(OutputNamingTest, AnUnwritableFolderStillYieldsThePath) {
    const QString p = naming.CheckOutputFile(out + "/missing", "n", false, ".mp4");
    EXPECT_EQ(p, out + "/missing/n.mp4");
    QString error;
    EXPECT_TRUE(naming.CreateWorkingFile(p, &error).isEmpty());
    EXPECT_TRUE(error.contains(p)) << error.toStdString();
}

TEST(OutputDialogs, ErrorFileDialogListsThePathsWithTheCount) {
    TestSandbox sandbox;
    LoadLang();
    TErrorFileDlg dlg;
    EXPECT_EQ(dlg.windowTitle(), GetLangText("DlgErrorFile"));
    dlg.SetErroFiles({"/a/x.txt", "/a/sub"});
    ASSERT_EQ(dlg.lstError->count(), 2);
    EXPECT_EQ(dlg.lstError->item(0)->text(), "/a/x.txt");
    EXPECT_EQ(dlg.lbInfo->text(), FormatText(GetLangText("ErrorFileLable"), {"2"}));
    EXPECT_TRUE(dlg.lbInfo->text().contains('2'));
}

TEST(OutputDialogs, RenameDialogReturnsTheEditedName) {
    TestSandbox sandbox;
    TRenameDlg dlg;
    EXPECT_EQ(dlg.windowTitle(), "Rename output filename");
    dlg.SetOrgName("clip");
    EXPECT_EQ(dlg.GetNewName(), "clip");
    dlg.txtNewName->setText("holiday");
    dlg.btnOk->click();
    EXPECT_EQ(dlg.result(), mrOk);
    EXPECT_EQ(dlg.GetNewName(), "holiday");
}
