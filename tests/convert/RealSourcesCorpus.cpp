#include "RealSourcesCorpus.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <sstream>

#include "common/MediaFixtures.h"

namespace corpus {
namespace {

struct Span {
    double start = 0, end = 0;
    int packets = 0;
};

// First time and last time plus duration of a stream's packets, as ffprobe reads them.
Span StreamSpan(const std::string& file, const std::string& stream) {
    std::string out;
    fixtures::Run("ffprobe -v error -select_streams " + stream +
                      " -show_entries packet=pts_time,duration_time -of csv=p=0 " +
                      fixtures::ShellQuote(file),
                  &out);
    Span s;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        double pts = 0, duration = 0;
        if (std::sscanf(line.c_str(), "%lf,%lf", &pts, &duration) < 1) continue;
        if (s.packets == 0 || pts < s.start) s.start = pts;
        s.end = std::max(s.end, pts + duration);
        ++s.packets;
    }
    return s;
}


std::string Base() {
    return fixtures::Make("rs_base.mkv",
                          "-f lavfi -i testsrc=size=320x240:rate=25:duration=4 -f lavfi -i sine=duration=4 "
                          "-c:v mjpeg -c:a aac");
}

std::string Odd() {
    return fixtures::Make("rs_odd.mov",
                          "-f lavfi -i testsrc=size=641x465:rate=25:duration=2 -f lavfi -i sine=duration=2 "
                          "-c:v mjpeg -pix_fmt yuvj420p -c:a pcm_s16le");
}

std::string Tiny() {
    return fixtures::Make("rs_tiny.mkv",
                          "-f lavfi -i testsrc=size=84x33:rate=25:duration=2 -f lavfi -i sine=duration=2 "
                          "-c:v ffv1 -pix_fmt yuv420p -c:a pcm_s16le");
}

// 25 pictures 0.06 s apart, then 25 pictures 0.14 s apart.
std::string Variable() {
    return fixtures::Make("rs_vfr.mov",
                          "-f lavfi -i testsrc=size=320x240:rate=25:duration=2 -f lavfi -i sine=duration=5 "
                          "-vf \"setpts='if(lt(N,25),N*0.06,1.5+(N-25)*0.14)/TB'\" -vsync passthrough "
                          "-c:v mjpeg -c:a aac -t 5");
}

// One picture stamped 1,996,492 s in a 4 s file.
std::string Wild() {
    const std::string base = Base();
    return fixtures::Make("rs_wild.mkv",
                          "-i " + fixtures::ShellQuote(base) +
                              " -c copy -bsf:v \"setts=pts=if(eq(N\\,40)\\,1996492/TB\\,PTS)\"");
}

// Every third picture repeats the time of the one before.
std::string Repeated() {
    const std::string base = Base();
    return fixtures::Make("rs_repeated.mkv",
                          "-i " + fixtures::ShellQuote(base) +
                              " -c copy -bsf:v \"setts=ts=if(eq(mod(N\\,3)\\,1)\\,PREV_OUTPTS\\,TS)\"");
}

std::string Part() {
    return fixtures::Make("rs_part.ts",
                          "-f lavfi -i testsrc=size=320x240:rate=25:duration=2 -f lavfi -i sine=duration=2 "
                          "-c:v mpeg2video -c:a mp2");
}

// Two transport-stream recordings run together: the times jump back at the join.
std::string Backwards() {
    const std::string part = Part();
    const std::string joined = fixtures::MediaDir() + "/rs_backwards.ts";
    if (!fixtures::FileExists(joined))
        fixtures::WriteFile(joined, fixtures::ReadFile(part) + fixtures::ReadFile(part));
    return joined;
}

// A Windows Media file cut off halfway: no duration anywhere.
std::string Truncated() {
    const std::string full = fixtures::Make("rs_full.asf",
                                            "-f lavfi -i testsrc=size=320x240:rate=25:duration=4 -f lavfi -i "
                                            "sine=duration=4 -c:v wmv2 -c:a wmav2");
    const std::string cut = fixtures::MediaDir() + "/rs_truncated.asf";
    if (!fixtures::FileExists(cut)) {
        const std::string data = fixtures::ReadFile(full);
        fixtures::WriteFile(cut, data.substr(0, data.size() / 2));
    }
    return cut;
}

// Plain MPEG-2 video: no container, no duration anywhere.
std::string Elementary() {
    return fixtures::Make("rs_plain.m2v",
                          "-f lavfi -i testsrc=size=320x240:rate=25:duration=3 -c:v mpeg2video -f mpeg2video");
}

// The same pictures in a container that gives them their times.
std::string ElementaryReference() {
    return fixtures::Make("rs_plain.mkv", "-f lavfi -i testsrc=size=320x240:rate=25:duration=3 -c:v mpeg2video");
}

std::string Full444() {
    return fixtures::Make("rs_444.mp4",
                          "-f lavfi -i testsrc=size=320x240:rate=25:duration=2 -f lavfi -i sine=duration=2 "
                          "-c:v libx264 -pix_fmt yuv444p -c:a aac");
}

std::string Full422() {
    return fixtures::Make("rs_422.mkv",
                          "-f lavfi -i testsrc=size=320x240:rate=25:duration=2 -f lavfi -i sine=duration=2 "
                          "-c:v mjpeg -pix_fmt yuvj422p -c:a pcm_s16le");
}

// Sound from 0 s, pictures from 1 s.
std::string SoundFirst() {
    return fixtures::Make("rs_soundfirst.mkv",
                          "-f lavfi -i sine=duration=4 -itsoffset 1 -f lavfi -i "
                          "testsrc=size=320x240:rate=25:duration=3 -map 1:v -map 0:a -c:v libx264 -c:a aac");
}

const Kind kKinds[] = {
    {"odd size, MP4", Odd, 1055, ".mp4", nullptr, true, 640, 464},
    {"tiny odd size, MP4", Tiny, 1055, ".mp4", nullptr, true, 84, 32},
    {"variable rate, MP4", Variable, 1055, ".mp4", nullptr, true, 0, 0},
    {"variable rate, WebM", Variable, 1066, ".webm", nullptr, true, 0, 0},
    {"variable rate, AVI (constant rate)", Variable, 1058, ".avi", nullptr, false, 0, 0},
    {"wild time stamp, MP4", Wild, 1055, ".mp4", Base, true, 0, 0},
    {"repeated time stamps, MP4", Repeated, 1055, ".mp4", Base, true, 0, 0},
    {"backwards time stamps, MP4", Backwards, 1055, ".mp4", Part, false, 0, 0, 2},
    {"truncated, no duration, MP4", Truncated, 1055, ".mp4", nullptr, true, 0, 0},
    {"MPEG video without a duration, MP4", Elementary, 1055, ".mp4", ElementaryReference, true, 0, 0, 1, false},
    {"4:4:4 H.264, MP4", Full444, 1055, ".mp4", nullptr, true, 0, 0},
    {"4:2:2 motion JPEG, MP4", Full422, 1055, ".mp4", nullptr, true, 0, 0},
    {"sound before pictures, MP4", SoundFirst, 1055, ".mp4", nullptr, true, 0, 0},
};

}  // namespace

const std::vector<Kind>& Kinds() {
    static const std::vector<Kind> kinds(std::begin(kKinds), std::end(kKinds));
    return kinds;
}

void ExpectLikeTheSource(const Kind& kind, const std::string& output) {
    const std::string source = kind.source();
    const std::string reference = kind.reference ? kind.reference() : source;
    const Span sv = StreamSpan(reference, "v:0"), sa = StreamSpan(reference, "a:0");
    const Span ov = StreamSpan(output, "v:0"), oa = StreamSpan(output, "a:0");
    ASSERT_GT(ov.packets, 0);
    if (kind.sound) {
        ASSERT_GT(oa.packets, 0);
        // Pictures and sound end (and start) together as they do in the source.
        EXPECT_NEAR(ov.end - oa.end, sv.end - sa.end, 0.1)
            << "source " << sv.end << "/" << sa.end << ", output " << ov.end << "/" << oa.end;
        EXPECT_NEAR(ov.start - oa.start, sv.start - sa.start, 0.1);
    }
    EXPECT_NEAR(ov.end - ov.start, kind.repeats * (sv.end - sv.start), 0.1);
    if (kind.samePictureCount) {
        EXPECT_EQ(fixtures::ProbeFrameCount(output), kind.repeats * fixtures::ProbeFrameCount(reference));
    }
    EXPECT_EQ(fixtures::Probe(output, "v:0", "stream=pix_fmt"), "yuv420p");

    if (kind.width > 0) {
        EXPECT_EQ(fixtures::Probe(output, "v:0", "stream=width"), std::to_string(kind.width));
        EXPECT_EQ(fixtures::Probe(output, "v:0", "stream=height"), std::to_string(kind.height));
        // The shape stays: the display aspect ratio is the source's within half a percent.
        int n = 0, d = 1, sn = 0, sd = 1;
        std::sscanf(fixtures::Probe(output, "v:0", "stream=display_aspect_ratio").c_str(), "%d:%d", &n,
                    &d);
        std::sscanf(fixtures::Probe(source, "v:0", "stream=width").c_str(), "%d", &sn);
        std::sscanf(fixtures::Probe(source, "v:0", "stream=height").c_str(), "%d", &sd);
        EXPECT_NEAR(static_cast<double>(n) / d, static_cast<double>(sn) / sd, 0.005 * sn / sd);
    }
}

}  // namespace corpus
