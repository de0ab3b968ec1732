#pragma once
// Media made by the tests themselves with Debian's ffmpeg, cached in the build's test-media
// folder so that every test process can share it, and ffprobe as an independent oracle.
// Plain C++ (no Qt), usable by engine tests.

#include <string>
#include <vector>

namespace fixtures {

// The shared folder for generated media (created on first use).
std::string MediaDir();

// Creates a fresh, empty folder below the system temporary folder; removed by ~TempDir.
class TempDir {
public:
    explicit TempDir(const std::string& prefix = "vanto-test");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Runs a shell command; returns its exit status and, when asked, its standard output.
int Run(const std::string& command, std::string* output = nullptr);
std::string ShellQuote(const std::string& s);

// Generates MediaDir()/name with "ffmpeg -y <ffmpegArgs> <file>" unless it exists already.
// Safe when several test processes ask for the same file at once. Returns the full path;
// fails the calling test (and returns "") when ffmpeg fails.
std::string Make(const std::string& name, const std::string& ffmpegArgs);

// A few standard clips: test pattern with a tone.
// seconds long, size WxH, rate fps; container and codecs from the file name's extension
// unless codec arguments are given.
std::string Clip(const std::string& name, double seconds, int width = 320, int height = 240, int fps = 25,
                 const std::string& codecArgs = "", bool audio = true, bool video = true);

// A copy of the MP4 file `plain` as MediaDir()/name whose picture track's matrix is
// [a b; c d] (each -1, 0 or 1) instead of the identity: how phones mark a picture to be shown
// turned or mirrored (ffmpeg 5.1 writes no such matrix itself). {0, 1, -1, 0}: a quarter turn
// clockwise. Fails the calling test (and returns "") when `plain` has no identity matrix.
std::string WithTrackMatrix(const std::string& plain, const std::string& name, int a, int b, int c, int d);

// ffprobe as oracle: one entry of one stream (or of the format when streamSpec is empty),
// for example Probe(file, "v:0", "stream=codec_name"). Empty when there is none.
std::string Probe(const std::string& file, const std::string& streamSpec, const std::string& entry);
double ProbeDuration(const std::string& file);  // container duration in seconds, -1 unknown
// The time of the last decoded frame, by decoding the whole file with ffmpeg (for containers
// whose header gives no duration or only an estimate). -1 when it can't be read.
double DecodedDuration(const std::string& file);
int ProbeFrameCount(const std::string& file, const std::string& streamSpec = "v:0");  // decodes

bool FileExists(const std::string& path);
long long FileSize(const std::string& path);
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& content);

}  // namespace fixtures
