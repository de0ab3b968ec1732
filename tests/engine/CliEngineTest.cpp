// vanto-convert engine as a user runs it: "ready" for a valid set-up, the engine's exact
// refusal otherwise, usage errors.
#include <gtest/gtest.h>

#include "EngineFixtures.h"
#include "common/MediaFixtures.h"

namespace {

using namespace enginetest;

const std::string kProgram = std::string(VANTO_PROGRAM_DIR) + "/vanto-convert";

struct Result {
    int status;
    std::string out;
    std::string err;
};

Result RunCli(const std::string& args) {
    fixtures::TempDir dir;
    Result r;
    r.status = fixtures::Run(kProgram + " " + args + " 2>" + fixtures::ShellQuote(dir.file("err")), &r.out);
    r.err = fixtures::ReadFile(dir.file("err"));
    return r;
}

std::string Q(const std::string& s) {
    return fixtures::ShellQuote(s);
}

TEST(CliEngineSetup, ReadyOrTheEnginesReason) {
    fixtures::TempDir dir;
    const std::string mp4 = InfoMp4();
    Result r = RunCli("engine -i " + Q(mp4) + " -o " + Q(dir.file("a.mkv")) +
                      " -oopt 'vcodec=libx264<CRLF>vpre=default<CRLF>ab=128000'");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "ready\n");

    r = RunCli("engine -i " + Q(mp4) + " -iopt TimeStart=500000 -i " + Q(Avi25()) + " -o " +
               Q(dir.file("b.avi")) + " -oopt Join");
    EXPECT_EQ(r.status, 0) << r.err;

    r = RunCli("engine -i " + Q(mp4) + " -o " + Q(dir.file("c.mkv")) + " -oopt vcodec=nosuch");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "Unknown encoder 'nosuch'\n");

    r = RunCli("engine -i " + Q(mp4) + " -o " + Q(dir.file("d.mkv")) + " -oopt threads=2");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "TODO: option - threads\n");

    r = RunCli("engine -i " + Q(dir.file("missing.mp4")) + " -o " + Q(dir.file("e.mkv")));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, dir.file("missing.mp4") + ": No such file or directory\n");

    r = RunCli("engine -i " + Q(mp4) + " -i " + Q(InfoTs()) + " -iopt programid=5 -o " +
               Q(dir.file("f.mkv")));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Specified program id not found\n");
}

TEST(CliEngineSetup, UsageErrors) {
    EXPECT_EQ(RunCli("engine").status, 2);
    EXPECT_EQ(RunCli("engine -i a.mp4").status, 2);
    EXPECT_EQ(RunCli("engine -iopt vn=1 -i a.mp4 -o b.mp4").status, 2);
    EXPECT_EQ(RunCli("engine -i a.mp4 -o b.mp4 -o c.mp4").status, 2);
    EXPECT_EQ(RunCli("engine -i a.mp4 -o b.mp4 --threads 0").status, 2);
    EXPECT_EQ(RunCli("engine -i a.mp4 -o b.mp4 --bogus").status, 2);
    const Result help = RunCli("engine --help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("-oopt TEXT"), std::string::npos);
}

}  // namespace
