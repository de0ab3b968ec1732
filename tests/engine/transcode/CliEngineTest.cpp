// vanto-convert engine as a user runs it: "ready" for a valid set-up, the engine's exact
// refusal otherwise, usage errors; the conversion with its progress lines, failures, Ctrl-C and
// a full disk.
#include <gtest/gtest.h>

#include "engine/EngineFixtures.h"
#include "engine/EngineRun.h"
#include "common/MediaFixtures.h"

namespace {

using namespace enginetest;

const std::string kProgram = std::string(VANTO_PROGRAM_DIR) + "/vanto-convert";
using Result = CliResult;

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

TEST(CliEngineRun, ConvertsWithProgressLines) {
    fixtures::TempDir dir;
    const std::string out = dir.file("out.avi");
    const Result r = RunCli("engine --interval 100 --threads 2 -i " + Q(Avi25()) + " -iopt re=1 -o " +
                            Q(out) + " -oopt 'vcodec=mpeg4<CRLF>acodec=libmp3lame'");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "ready\n");
    int lines = 0;
    for (size_t pos = 0; (pos = r.err.find("frame=", pos)) != std::string::npos; ++pos)
        ++lines;
    EXPECT_GE(lines, 12) << r.err;  // about ten a second for 2 s
    EXPECT_NE(r.err.find("frame=   50 "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("%\n"), std::string::npos) << "the share of the expected duration";
    EXPECT_EQ(Frames(out), 50);
    EXPECT_EQ(fixtures::Probe(out, "a:0", "stream=codec_name"), "mp3");
}

TEST(CliEngineRun, AFailedConversionSaysWhy) {
    fixtures::TempDir dir;
    const Result r = RunCli("engine -i " + Q(Avi25()) + " -o " + Q(dir.file("x.mkv")) +
                            " -oopt 'vcodec=libx264<CRLF>pix_fmt=yuv444p<CRLF>profile=baseline'");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(
        r.err.find("Error while opening encoder for output stream #0.0 (video) - maybe incorrect parameters"),
        std::string::npos)
        << r.err;
}

TEST(CliEngineRun, InterruptStopsAndTheFilePlays) {
    fixtures::TempDir dir;
    const std::string out = dir.file("stopped.avi");
    const std::string command = kProgram + " engine --interval 100 -i " + Q(Avi25()) + " -iopt re=1 -o " +
                                Q(out) + " -oopt vcodec=mpeg4 >/dev/null 2>" + Q(dir.file("err")) +
                                " & pid=$!; sleep 1; kill -INT $pid; wait $pid; echo $?";
    std::string status;
    fixtures::Run("bash -c " + Q(command), &status);
    EXPECT_EQ(status, "1\n");
    EXPECT_NE(fixtures::ReadFile(dir.file("err")).find("vanto-convert engine: stopped"), std::string::npos);
    const int frames = Frames(out);
    EXPECT_GT(frames, 10);
    EXPECT_LT(frames, 45);
    EXPECT_NEAR(fixtures::ProbeDuration(out), 1.0, 0.5);
}

TEST(CliEngineRun, FullDiskFailsClearly) {
    // A file size limit of 64 KiB stands in for a full disk: writes beyond it fail.
    fixtures::TempDir dir;
    const std::string out = dir.file("full.avi");
    const std::string command = "trap '' XFSZ; ulimit -f 64; exec " + kProgram + " engine -i " + Q(Avi25()) +
                                " -o " + Q(out) + " -oopt 'vcodec=mpeg4<CRLF>qscale=1'";
    const Result r = RunCli("--help >/dev/null; bash -c " + Q(command));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("av_interleaved_write_frame() failed for stream "), std::string::npos) << r.err;
    EXPECT_LE(fixtures::FileSize(out), 65536);
}

}  // namespace
