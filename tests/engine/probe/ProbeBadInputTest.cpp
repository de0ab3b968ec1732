// Files the probe must refuse cleanly: each gives false and a clear LastErrMsg, leaves the probe
// without a file, and leaves it usable for the next file.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "engine/EngineFixtures.h"
#include "common/MediaFixtures.h"
#include "engine/probe/AVProbe.h"

namespace {

using namespace enginetest;

class ProbeBadInputTest : public ::testing::Test {
protected:
    void SetUp() override { LoadProbeLibraries(); }

    // The probe refuses file with exactly this text, is left without a file, and then still
    // opens a good one.
    void ExpectRefused(const std::string& file, const std::string& reason, const std::string& format = "") {
        SCOPED_TRACE(file);
        TAVProbe probe;
        ASSERT_TRUE(probe.LoadFile(InfoWav()));  // a previous file is closed by the failing load
        EXPECT_FALSE(probe.LoadFile(file, format));
        EXPECT_EQ(probe.LastErrMsg(), reason);
        EXPECT_EQ(probe.FileHandle(), nullptr);
        EXPECT_EQ(probe.StreamCount(), -1);
        EXPECT_EQ(probe.FileInfoText(), "");
        EXPECT_FALSE(probe.Decode());
        EXPECT_TRUE(probe.LoadFile(InfoWav())) << "usable after a failure: " << probe.LastErrMsg();
    }

    fixtures::TempDir dir_;
};

TEST_F(ProbeBadInputTest, EmptyFile) {
    const std::string file = dir_.file("empty.mp4");
    fixtures::WriteFile(file, "");
    ExpectRefused(file, file + ": Invalid data found when processing input");
}

TEST_F(ProbeBadInputTest, TruncatedFile) {
    // The index of an MP4 sits at its end: half the file has none.
    const std::string whole = fixtures::ReadFile(InfoMp4());
    const std::string file = dir_.file("half.mp4");
    fixtures::WriteFile(file, whole.substr(0, whole.size() / 2));
    ExpectRefused(file, file + ": Invalid data found when processing input");
}

TEST_F(ProbeBadInputTest, TextFiles) {
    const std::string text = "These are notes about a holiday video.\nNothing else.\n";
    fixtures::WriteFile(dir_.file("notes.txt"), text);
    fixtures::WriteFile(dir_.file("movie.avi"), text);
    ExpectRefused(dir_.file("notes.txt"),
                  dir_.file("notes.txt") + ": Invalid data found when processing input");
    ExpectRefused(dir_.file("movie.avi"),
                  dir_.file("movie.avi") + ": Invalid data found when processing input");
}

TEST_F(ProbeBadInputTest, Folder) {
    const std::string folder = dir_.file("clips.mp4");
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    ExpectRefused(folder, folder + ": Is a directory");
}

TEST_F(ProbeBadInputTest, FileThatDisappearsBetweenAddAndProbe) {
    const std::string file = dir_.file("gone.mp4");
    fixtures::WriteFile(file, fixtures::ReadFile(InfoMp4()));
    ASSERT_TRUE(fixtures::FileExists(file));  // "added"
    ASSERT_EQ(std::remove(file.c_str()), 0);
    ExpectRefused(file, file + ": No such file or directory");
}

TEST_F(ProbeBadInputTest, UnreadableFile) {
    if (::geteuid() == 0) GTEST_SKIP() << "root reads every file";
    const std::string file = dir_.file("locked.mp4");
    fixtures::WriteFile(file, fixtures::ReadFile(InfoWav()));
    ASSERT_EQ(::chmod(file.c_str(), 0), 0);
    ExpectRefused(file, file + ": Permission denied");
}

TEST_F(ProbeBadInputTest, NonAsciiNameWithSpaces) {
    const std::string file = dir_.file("Grüße aus Köln – vidéo 東京 clip.mp4");
    fixtures::WriteFile(file, fixtures::ReadFile(InfoMp4()));
    TAVProbe probe;
    ASSERT_TRUE(probe.LoadFile(file)) << probe.LastErrMsg();
    EXPECT_EQ(probe.FileName(), file);
    EXPECT_EQ(probe.StreamCount(), 2);
    EXPECT_EQ(probe.FileSize(), fixtures::FileSize(file));
    EXPECT_NE(probe.FileInfoText().find("File Name: " + file + "\r\n"), std::string::npos);
    ASSERT_TRUE(probe.Decode()) << probe.LastErrMsg();
    // The other spelling of such a name reaches the same file.
    ASSERT_TRUE(probe.LoadFile("unicode:utf8:" + file)) << probe.LastErrMsg();
    EXPECT_EQ(probe.FileName(), file);

    const std::string missing = dir_.file("Ünbekannt 映画.mp4");
    ExpectRefused(missing, missing + ": No such file or directory");
}

TEST_F(ProbeBadInputTest, FormatsThatDoNotFit) {
    ExpectRefused(InfoWav(), "Unknown input format: nosuchformat", "nosuchformat");
    const std::string text = dir_.file("notes.txt");
    fixtures::WriteFile(text, "plain text\n");
    ExpectRefused(text, text + ": Invalid data found when processing input", "mov");

    TAVProbe probe;
    ASSERT_TRUE(probe.LoadFile(InfoWav(), "wav")) << probe.LastErrMsg();
    EXPECT_EQ(probe.ForceFormat(), "wav");
}

}  // namespace
