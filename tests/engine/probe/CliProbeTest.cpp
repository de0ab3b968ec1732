// vanto-convert probe as a user runs it: output, exit status, error texts.
#include <gtest/gtest.h>

#include "engine/EngineFixtures.h"
#include "common/MediaFixtures.h"

namespace {

using namespace enginetest;

using Result = CliResult;

TEST(CliProbe, PrintsTheInformationOfEveryFile) {
    const std::string mp4 = InfoMp4();
    const std::string ts = InfoTs();
    const std::string png = StillPng();
    const Result r = RunCli("probe " + fixtures::ShellQuote(mp4) + " " + fixtures::ShellQuote(ts) + " " +
                            fixtures::ShellQuote(png));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out.find('\r'), std::string::npos) << "plain newlines on a terminal";
    const size_t a = r.out.find("File Name: " + mp4 + "\n");
    const size_t b = r.out.find("\n\nFile Name: " + ts + "\n");
    const size_t c = r.out.find("\n\nFile Name: " + png + "\n");
    ASSERT_NE(a, std::string::npos) << r.out;
    ASSERT_NE(b, std::string::npos) << r.out;
    ASSERT_NE(c, std::string::npos) << r.out;
    EXPECT_LT(a, b);
    EXPECT_LT(b, c);
    EXPECT_NE(r.out.find("\nProgram 1 Vanto Test@Channel One\n"), std::string::npos);
    EXPECT_NE(r.out.find("\nFormat Name: png_pipe\n"), std::string::npos);
}

TEST(CliProbe, FailsWhenAnyFileDoesNotOpenAndSaysWhy) {
    fixtures::TempDir dir;
    const std::string missing = dir.file("no such clip.mp4");
    const std::string text = dir.file("notes.txt");
    fixtures::WriteFile(text, "hello\n");
    const std::string good = InfoWav();
    const Result r = RunCli("probe " + fixtures::ShellQuote(missing) + " " + fixtures::ShellQuote(good) +
                            " " + fixtures::ShellQuote(text));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, missing + ": No such file or directory\n" + text +
                         ": Invalid data found when processing input\n");
    EXPECT_EQ(r.out.rfind("File Name: " + good + "\n", 0), 0u) << "the good file is still shown";
}

TEST(CliProbe, CommandLineMistakesAndHelp) {
    EXPECT_EQ(RunCli("").status, 2);
    EXPECT_EQ(RunCli("probe").status, 2);
    EXPECT_EQ(RunCli("frobnicate x").status, 2);
    EXPECT_EQ(RunCli("probe --bogus x").status, 2);
    EXPECT_EQ(RunCli("probe --loglevel loud " + fixtures::ShellQuote(InfoWav())).status, 2);

    const Result help = RunCli("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("probe"), std::string::npos);
    const Result probeHelp = RunCli("probe --help");
    EXPECT_EQ(probeHelp.status, 0);
    EXPECT_NE(probeHelp.out.find("usage: vanto-convert probe"), std::string::npos);
}

TEST(CliProbe, ForcedFormatAndLibraryMessages) {
    const std::string wav = InfoWav();
    const Result forced = RunCli("probe --format nosuchformat " + fixtures::ShellQuote(wav));
    EXPECT_EQ(forced.status, 1);
    EXPECT_EQ(forced.err, "Unknown input format: nosuchformat\n");

    // With library messages on, a bad file's reason from the demuxer shows up too.
    fixtures::TempDir dir;
    const std::string half = dir.file("half.mp4");
    const std::string whole = fixtures::ReadFile(InfoMp4());
    fixtures::WriteFile(half, whole.substr(0, whole.size() / 2));
    const Result r = RunCli("probe --loglevel error " + fixtures::ShellQuote(half));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("moov atom not found"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(half + ": Invalid data found when processing input"), std::string::npos) << r.err;
}

}  // namespace
