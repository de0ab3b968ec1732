// vanto-convert profiles and convert, run as the user runs them.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "common/MediaFixtures.h"

namespace {
std::string cli() {
    return std::string(VANTO_PROGRAM_DIR) + "/vanto-convert";
}

int run(const fixtures::TempDir& home, const std::string& args, std::string* out = nullptr) {
    return fixtures::Run(
        "HOME=" + fixtures::ShellQuote(home.path()) + " " + cli() + " " + args + " 2>/dev/null", out);
}
}  // namespace

TEST(CliConvert, ProfilesListsTheCatalogue) {
    fixtures::TempDir home;
    std::string out;
    ASSERT_EQ(run(home, "profiles", &out), 0);
    EXPECT_NE(out.find("1055\tGeneral Video\tMP4 Video (H.264/AAC)\t.mp4\n"), std::string::npos) << out;
    EXPECT_GT(std::count(out.begin(), out.end(), '\n'), 50);
}

TEST(CliConvert, ConvertsNamesNewOutputsAndOverwritesOnRequest) {
    fixtures::TempDir home;
    const std::string clip = fixtures::Clip("cli_1s.mp4", 1, 160, 120, 25);
    const std::string dir = home.file("out");
    const std::string args = "convert --profile 1058 --output-folder " + fixtures::ShellQuote(dir) +
                             " --jobs 2 " + fixtures::ShellQuote(clip);
    std::string out;
    ASSERT_EQ(run(home, args, &out), 0);
    EXPECT_EQ(out, "converted\t" + dir + "/cli_1s.avi\n");
    EXPECT_NEAR(fixtures::ProbeDuration(dir + "/cli_1s.avi"), 1.0, 0.2);
    ASSERT_EQ(run(home, args, &out), 0);  // the output exists now: a numbered name
    EXPECT_EQ(out, "converted\t" + dir + "/cli_1s_(new_1).avi\n");
    ASSERT_EQ(run(home, args + " --overwrite", &out), 0);
    EXPECT_EQ(out, "converted\t" + dir + "/cli_1s.avi\n");
}

TEST(CliConvert, MergesIntoOneFile) {
    fixtures::TempDir home;
    const std::string a = fixtures::Clip("cli_1s.mp4", 1, 160, 120, 25);
    const std::string b = fixtures::Clip("cli_2s.mp4", 2, 320, 240, 25);
    const std::string dir = home.file("out");
    std::string out;
    ASSERT_EQ(run(home,
                  "convert --profile 1055 --merge --output-folder " + fixtures::ShellQuote(dir) + " " +
                      fixtures::ShellQuote(a) + " " + fixtures::ShellQuote(b),
                  &out),
              0);
    EXPECT_EQ(out, "converted\t" + dir + "/MergerVideo.mp4\n");
    EXPECT_NEAR(fixtures::ProbeDuration(dir + "/MergerVideo.mp4"), 3.0, 0.3);

    // 50 KB holds each clip alone but not the three seconds of both: refused before anything runs.
    const std::string tooSmall = "convert --profile 1055 --merge --fit-size 50K --output-folder " +
                                 fixtures::ShellQuote(home.file("small")) + " " + fixtures::ShellQuote(a) + " " +
                                 fixtures::ShellQuote(b);
    EXPECT_EQ(run(home, "convert --profile 1055 --fit-size 50K --output-folder " +
                            fixtures::ShellQuote(home.file("alone")) + " " + fixtures::ShellQuote(a)),
              0);
    std::string err;
    EXPECT_EQ(fixtures::Run("HOME=" + fixtures::ShellQuote(home.path()) + " " + cli() + " " + tooSmall + " 2>&1", &err),
              2);
    EXPECT_NE(err.find("MergerVideo.mp4: 0.05 MB is too small for"), std::string::npos) << err;
    EXPECT_NE(err.find("the smallest size that works is"), std::string::npos) << err;
    EXPECT_FALSE(std::filesystem::exists(home.file("small")));  // not even the output folder
}

TEST(CliConvert, FailuresAndWrongCommandLines) {
    fixtures::TempDir home;
    const std::string clip = fixtures::Clip("cli_1s.mp4", 1, 160, 120, 25);
    fixtures::WriteFile(home.file("notes.txt"), "text");
    const std::string dir = fixtures::ShellQuote(home.file("out"));
    std::string out;
    // An unreadable file fails the run; the readable one is still converted.
    EXPECT_EQ(run(home,
                  "convert --profile 1058 --output-folder " + dir + " " + fixtures::ShellQuote(clip) + " " +
                      fixtures::ShellQuote(home.file("notes.txt")),
                  &out),
              1);
    EXPECT_NE(out.find("converted\t"), std::string::npos);
    EXPECT_EQ(run(home, "convert --profile 999999 " + fixtures::ShellQuote(clip)), 2);
    EXPECT_EQ(run(home, "convert --profile abc " + fixtures::ShellQuote(clip)), 2);
    EXPECT_EQ(run(home, "convert " + fixtures::ShellQuote(clip)), 2);
    EXPECT_EQ(run(home, "convert --profile 1058 --jobs 0 " + fixtures::ShellQuote(clip)), 2);
}

TEST(CliConvert, OneResultLinePerFileAndLogLinesOnStandardError) {
    fixtures::TempDir home;
    const std::string sound = fixtures::Clip("cli_sound.mp4", 1, 160, 120, 25, "", true, false);
    const std::string pictures = fixtures::Clip("cli_pictures.mp4", 1, 160, 120, 25, "", false, true);
    fixtures::WriteFile(home.file("notes.txt"), "text");
    const std::string dir = home.file("out");
    std::string out, both;
    const std::string command = "HOME=" + fixtures::ShellQuote(home.path()) + " " + cli() +
                                " convert --profile 1801 --jobs 1 --output-folder " +
                                fixtures::ShellQuote(dir) + " " + fixtures::ShellQuote(sound) + " " +
                                fixtures::ShellQuote(pictures) + " " +
                                fixtures::ShellQuote(home.file("notes.txt"));
    // Pictures alone give an MP3 file nothing to hold: that file fails while it is set up.
    EXPECT_EQ(fixtures::Run(command + " 2>/dev/null", &out), 1);
    EXPECT_EQ(out, "converted\t" + dir + "/cli_sound.mp3\nfailed\t" + dir +
                       "/cli_pictures.mp3\nunreadable\t" + home.file("notes.txt") + "\n");
    fixtures::Run(command + " --overwrite 2>&1 >/dev/null", &both);
    const size_t start = both.find("[2] start  " + dir + "/cli_pictures.mp3\n");
    EXPECT_NE(start, std::string::npos) << both;
    EXPECT_LT(start, both.find("[2] failed " + dir + "/cli_pictures.mp3\n")) << both;
    EXPECT_NE(both.find("convert failed"), std::string::npos) << "the log line goes to standard error";
}

namespace {
// The thread count libx264 wrote into its settings text in the stream, -1 when there is none.
int X264Threads(const std::string& file) {
    const std::string data = fixtures::ReadFile(file);
    const size_t at = data.find(" threads=");
    return at == std::string::npos ? -1 : std::atoi(data.c_str() + at + 9);
}
}  // namespace

TEST(CliConvert, EncoderGetsTheProcessorsTheRunLeavesIdle) {
    const int processors = std::max(1u, std::thread::hardware_concurrency());
    fixtures::TempDir home;
    const std::string a = fixtures::Clip("cli_1s.mp4", 1, 160, 120, 25);
    const std::string b = fixtures::Clip("cli_2s.mp4", 2, 320, 240, 25);
    const std::string dir = home.file("out");
    const std::string to = " --output-folder " + fixtures::ShellQuote(dir) + " ";
    // One file: its encoder chooses its own count, as on the ffmpeg command line.
    ASSERT_EQ(run(home, "convert --profile 1055 --jobs 2" + to + fixtures::ShellQuote(a)), 0);
    ASSERT_EQ(fixtures::Run("ffmpeg -nostdin -v error -y -i " + fixtures::ShellQuote(a) + " -c:v libx264 -an " +
                            fixtures::ShellQuote(home.file("ffmpeg.mp4"))),
              0);
    EXPECT_EQ(X264Threads(dir + "/cli_1s.mp4"), X264Threads(home.file("ffmpeg.mp4")));
    if (processors > 1) {
        EXPECT_GT(X264Threads(dir + "/cli_1s.mp4"), processors / 2);
    }
    // Two files two at a time: the processors are shared.
    ASSERT_EQ(run(home, "convert --profile 1055 --overwrite --jobs 2" + to + fixtures::ShellQuote(a) + " " +
                            fixtures::ShellQuote(b)),
              0);
    EXPECT_EQ(X264Threads(dir + "/cli_1s.mp4"), std::max(1, processors / 2));
    EXPECT_EQ(X264Threads(dir + "/cli_2s.mp4"), std::max(1, processors / 2));
    // --threads sets the count by hand, for a one-piece and for a resumable conversion.
    for (const char* how : {"--no-resumable", "--resumable"}) {
        ASSERT_EQ(run(home, std::string("convert --profile 1055 --overwrite --threads 5 ") + how + to +
                                fixtures::ShellQuote(b)),
                  0);
        EXPECT_EQ(X264Threads(dir + "/cli_2s.mp4"), 5) << how;
    }
    EXPECT_EQ(run(home, "convert --profile 1055 --threads 0" + to + fixtures::ShellQuote(b)), 2);
}

TEST(CliConvert, ProgressOnAPipeAnnouncesEachFileOnceWithAtMostALineASecond) {
    fixtures::TempDir home;
    const std::string a = fixtures::Clip("cli_1s.mp4", 1, 160, 120, 25);
    const std::string b = fixtures::Clip("cli_2s.mp4", 2, 320, 240, 25);
    const auto started = std::chrono::steady_clock::now();
    std::string err;
    ASSERT_EQ(fixtures::Run("HOME=" + fixtures::ShellQuote(home.path()) + " " + cli() +
                                " convert --profile 1058 --jobs 1 --output-folder " +
                                fixtures::ShellQuote(home.file("out")) + " " + fixtures::ShellQuote(a) + " " +
                                fixtures::ShellQuote(b) + " 2>&1 >/dev/null",
                            &err),
              0);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    auto count = [&err](const std::string& text) {
        size_t n = 0;
        for (size_t at = err.find(text); at != std::string::npos; at = err.find(text, at + 1))
            ++n;
        return n;
    };
    EXPECT_EQ(count("[1] start  " + home.file("out") + "/cli_1s.avi\n"), 1u) << err;
    EXPECT_EQ(count("[2] start  " + home.file("out") + "/cli_2s.avi\n"), 1u) << err;
    EXPECT_EQ(count("[1] done   "), 1u) << err;
    EXPECT_EQ(count("[2] done   "), 1u) << err;
    EXPECT_EQ(count("\033["), 0u) << "no terminal control on a pipe";
    // Plain status lines: the first at once, then at most one a second per file.
    EXPECT_GE(count("[2] cli_2s.avi  "), 1u) << err;
    EXPECT_LE(count("[1] cli_1s.avi  ") + count("[2] cli_2s.avi  "), static_cast<size_t>(seconds) + 2) << err;
}

TEST(CliConvert, AnOutputShorterThanItsSourceIsReportedAndStillCounts) {
    fixtures::TempDir home;
    const std::string whole = fixtures::Make(
        "short_whole.mkv", "-f lavfi -i testsrc2=size=160x120:rate=25:duration=10 -c:v mpeg4 -q:v 5 -g 25");
    const std::string cut = home.file("cut.mkv");
    std::filesystem::copy_file(whole, cut);
    std::filesystem::resize_file(cut, std::filesystem::file_size(cut) * 6 / 10);
    const std::string dir = home.file("out");
    std::string out;
    EXPECT_EQ(fixtures::Run("HOME=" + fixtures::ShellQuote(home.path()) + " " + cli() +
                                " convert --profile 1058 --output-folder " + fixtures::ShellQuote(dir) + " " +
                                fixtures::ShellQuote(cut) + " 2>&1",
                            &out),
              0);
    EXPECT_NE(out.find("converted\t" + dir + "/cut.avi\n"), std::string::npos) << out;
    EXPECT_NE(out.find("vanto-convert convert: cut.avi: converted "), std::string::npos) << out;
    EXPECT_NE(out.find(" s of 10.0 s (the source ends early or is damaged)\n"), std::string::npos) << out;
}

TEST(CliConvert, MergesTakeSoundOnlyFiles) {
    fixtures::TempDir home;
    const std::string a = fixtures::Clip("cli_1s.mp4", 1, 160, 120, 25);
    const std::string b = fixtures::Clip("cli_2s.mp4", 2, 320, 240, 25);
    const std::string song =
        fixtures::Make("merge_song.mp3", "-f lavfi -i sine=frequency=440:duration=3 -c:a libmp3lame -b:a 128k");
    int runs = 0;
    auto merge = [&](const std::vector<std::string>& files) {
        const std::string dir = home.file("out" + std::to_string(++runs));
        std::string args = "convert --profile 1055 --merge --output-folder " + fixtures::ShellQuote(dir);
        for (const std::string& f : files)
            args += " " + fixtures::ShellQuote(f);
        std::string out;
        EXPECT_EQ(run(home, args, &out), 0) << out;
        return dir + "/MergerVideo.mp4";
    };
    // How far the sound runs past the picture at the end of a merged file.
    auto soundPastPicture = [](const std::string& file) {
        return std::stod(fixtures::Probe(file, "a:0", "stream=duration")) -
               std::stod(fixtures::Probe(file, "v:0", "stream=duration"));
    };
    // With pictures: the song shows a still black picture for its whole length, and the seams
    // stay in step: the song moves sound and picture apart by less than a frame.
    const std::string mixed = merge({a, song, b});
    EXPECT_NEAR(fixtures::ProbeDuration(mixed), 6.0, 0.3);
    EXPECT_NEAR(std::stod(fixtures::Probe(mixed, "v:0", "stream=duration")), 6.0, 0.1);
    EXPECT_NEAR(std::stod(fixtures::Probe(mixed, "v:0", "stream=nb_frames")), 150, 3);
    EXPECT_LT(std::abs(soundPastPicture(mixed) - soundPastPicture(merge({a, b}))), 0.04);
    // Only sound: the result stays without pictures.
    const std::string sound = merge({song, song});
    EXPECT_NEAR(fixtures::ProbeDuration(sound), 6.0, 0.3);
    EXPECT_EQ(fixtures::Probe(sound, "v", "stream=codec_type"), "");
    EXPECT_EQ(fixtures::Probe(sound, "a:0", "stream=codec_type"), "audio");
}
