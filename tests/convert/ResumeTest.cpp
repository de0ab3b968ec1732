// Resumable conversions of vanto-convert: killed with SIGKILL at several points and resumed, the
// output decodes exactly as an uninterrupted run's; settings that changed start afresh; two
// processes never work on the same file. Short pieces (VANTO_RESUME_SEGMENT_SECONDS) keep it fast.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "common/MediaFixtures.h"

namespace {
namespace fs = std::filesystem;

std::string cli() {
    return std::string(VANTO_PROGRAM_DIR) + "/vanto-convert";
}

struct CliRun {
    int status = -1;
    std::string out, err;
};

CliRun convert(const fixtures::TempDir& home, const std::string& env, const std::string& args,
               const std::string& profile = "1055") {
    CliRun r;
    const std::string errFile = home.file("stderr.txt");
    r.status = fixtures::Run("HOME=" + fixtures::ShellQuote(home.path()) + " VANTO_RESUME_SEGMENT_SECONDS=3 " + env +
                                 " " + cli() + " convert --profile " + profile + " " + args + " 2>" +
                                 fixtures::ShellQuote(errFile),
                             &r.out);
    std::ifstream in(errFile);
    std::stringstream s;
    s << in.rdbuf();
    r.err = s.str();
    return r;
}

std::string shell(const std::string& command) {
    std::string out;
    fixtures::Run(command, &out);
    return out;
}
std::string framemd5(const std::string& file) {
    return shell("ffmpeg -v error -i " + fixtures::ShellQuote(file) + " -f framemd5 -");
}
std::string sha(const std::string& file) {
    return shell("sha256sum < " + fixtures::ShellQuote(file));
}
// Names in a folder, hidden ones included.
std::vector<std::string> entries(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class ResumeTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(home.file("media"));
        source = home.file("media/clip.mp4");
        fs::copy_file(fixtures::Clip("resume_12s.mp4", 12, 160, 120, 25), source);
        out = home.file("out");
        args = "--output-folder " + fixtures::ShellQuote(out) + " " + fixtures::ShellQuote(source);
    }
    fixtures::TempDir home;
    std::string source, out, args;
};
}  // namespace

TEST_F(ResumeTest, KilledAtThreePointsAndResumedDecodesAsAnUninterruptedRun) {
    const std::string sourceSum = sha(source);
    const std::string output = out + "/clip.mp4";
    // H.264 in pieces (B-frames across the seams): every picture, times rising, the length, and
    // the size of a one-piece conversion.
    CliRun whole = convert(home, "", "--resumable " + args);
    ASSERT_EQ(whole.status, 0) << whole.err;
    ASSERT_EQ(whole.out, "converted\t" + output + "\n");
    EXPECT_NE(whole.err.find("0 pieces reused, 5 encoded"), std::string::npos) << whole.err;
    EXPECT_EQ(shell("ffprobe -v error -count_frames -select_streams v -show_entries stream=nb_read_frames -of "
                    "csv=p=0 " + output),
              "300\n");
    std::istringstream pts(shell("ffprobe -v error -select_streams v -show_entries frame=pts -of csv=p=0 " + output));
    long previous = -1, count = 0;
    for (std::string line; std::getline(pts, line);) {
        if (line.empty() || !std::isdigit(static_cast<unsigned char>(line[0]))) continue;
        ++count;
        const long t = std::stol(line);
        EXPECT_GT(t, previous) << "frame " << count;
        previous = t;
    }
    EXPECT_EQ(count, 300);
    EXPECT_NEAR(fixtures::ProbeDuration(output), 12.0, 0.1);
    const auto resumableSize = fs::file_size(output);
    fs::remove(output);
    ASSERT_EQ(convert(home, "", "--no-resumable " + args).status, 0);
    const auto onePieceSize = fs::file_size(output);
    EXPECT_NEAR(double(resumableSize), double(onePieceSize), 0.03 * double(onePieceSize));
    fs::remove(output);

    // Killed and resumed, compared picture by picture with an uninterrupted run. The encoder is
    // one whose output depends on its input alone (MPEG-4 on a fixed thread count), so what is
    // compared is the resume and the joining: libx264's macroblock tree is not repeatable from
    // one process to the next (the ffmpeg command line's neither).
    auto mpeg4 = [&](const std::string& env, const std::string& more) {
        return convert(home, env, "--threads 2 " + more + args, "1056");
    };
    ASSERT_EQ(mpeg4("", "--resumable ").status, 0);
    const std::string reference = framemd5(output);
    ASSERT_FALSE(reference.empty());
    fs::remove(output);
    struct Point {
        const char* at;
        const char* reused;  // what the resume finds finished
    };
    for (const Point& p : {Point{"audio", "1 pieces reused, 4 encoded"}, Point{"seg:1", "3 pieces reused, 2 encoded"},
                           Point{"inside:seg0003.part.mkv", "4 pieces reused, 1 encoded"}}) {
        SCOPED_TRACE(p.at);
        EXPECT_EQ(mpeg4(std::string("VANTO_TEST_KILL_AT=") + p.at, "--resumable ").status, 128 + 9);
        EXPECT_TRUE(fs::exists(out + "/.clip.mp4.vanto-resume/journal.json"));
        EXPECT_FALSE(fs::exists(output));
        const CliRun resumed = mpeg4("", "--resumable --resume ");
        ASSERT_EQ(resumed.status, 0) << resumed.err;
        EXPECT_NE(resumed.err.find(p.reused), std::string::npos) << resumed.err;
        EXPECT_EQ(framemd5(output), reference);
        EXPECT_EQ(entries(out), std::vector<std::string>{"clip.mp4"});  // no working folder or file left
        EXPECT_EQ(sha(source), sourceSum);
        fs::remove(output);
    }
}

TEST_F(ResumeTest, ChangedSettingsStartAfreshAndWithoutResumeNothingOldIsUsed) {
    ASSERT_EQ(convert(home, "VANTO_TEST_KILL_AT=seg:1", "--resumable " + args).status, 128 + 9);
    // Other pieces' length: other settings.
    CliRun changed = convert(home, "VANTO_RESUME_SEGMENT_SECONDS=4", "--resumable --resume " + args);
    ASSERT_EQ(changed.status, 0) << changed.err;
    EXPECT_NE(changed.err.find("0 pieces reused, 4 encoded"), std::string::npos) << changed.err;
    EXPECT_EQ(entries(out), std::vector<std::string>{"clip.mp4"});
    EXPECT_NEAR(fixtures::ProbeDuration(out + "/clip.mp4"), 12.0, 0.1);
    fs::remove(out + "/clip.mp4");

    ASSERT_EQ(convert(home, "VANTO_TEST_KILL_AT=seg:1", "--resumable " + args).status, 128 + 9);
    CliRun fresh = convert(home, "", "--resumable " + args);  // no --resume
    ASSERT_EQ(fresh.status, 0) << fresh.err;
    EXPECT_NE(fresh.err.find("0 pieces reused, 5 encoded"), std::string::npos) << fresh.err;
    EXPECT_EQ(entries(out), std::vector<std::string>{"clip.mp4"});
}

TEST_F(ResumeTest, ASecondProcessIsKeptOutOfARunningConversion) {
    fs::remove(source);
    fs::copy_file(fixtures::Clip("resume_16s.mp4", 16, 320, 240, 25), source);
    const std::string lock = out + "/.clip.mp4.vanto-resume/lock";
    const std::string first = home.file("first.txt");
    fixtures::Run("(HOME=" + fixtures::ShellQuote(home.path()) + " VANTO_RESUME_SEGMENT_SECONDS=3 " + cli() +
                  " convert --profile 1055 --resumable " + args + " >" + fixtures::ShellQuote(first) +
                  " 2>/dev/null; echo $? >>" + fixtures::ShellQuote(first) + ") >/dev/null 2>&1 &");
    for (int i = 0; i < 500 && !fs::exists(lock); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_TRUE(fs::exists(lock));
    const CliRun second = convert(home, "", "--resumable --resume " + args);
    EXPECT_EQ(second.status, 1);
    EXPECT_NE(second.err.find("another process is converting into " + out + "/clip.mp4"), std::string::npos)
        << second.err;
    EXPECT_EQ(second.out, "failed\t" + out + "/clip.mp4\n");
    // The first one finishes undisturbed.
    std::string firstOut;
    for (int i = 0; i < 3000; ++i) {
        std::ifstream in(first);
        std::stringstream s;
        s << in.rdbuf();
        firstOut = s.str();
        if (firstOut.find("\n0\n") != std::string::npos || firstOut.find("\n1\n") != std::string::npos) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_EQ(firstOut, "converted\t" + out + "/clip.mp4\n0\n");
    EXPECT_EQ(entries(out), std::vector<std::string>{"clip.mp4"});
}
