#include "common/MediaFixtures.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace fs = std::filesystem;

namespace fixtures {

std::string MediaDir() {
    static const std::string dir = [] {
        std::string d = VANTO_TEST_MEDIA_DIR;
        fs::create_directories(d);
        return d;
    }();
    return dir;
}

TempDir::TempDir(const std::string& prefix) {
    std::string templ = (fs::temp_directory_path() / (prefix + "-XXXXXX")).string();
    std::vector<char> buf(templ.begin(), templ.end());
    buf.push_back('\0');
    char* p = mkdtemp(buf.data());
    if (!p) throw std::runtime_error("mkdtemp failed");
    path_ = p;
}

TempDir::~TempDir() {
    std::error_code ec;
    // Make everything writable again first: tests make folders read-only on purpose.
    for (auto it = fs::recursive_directory_iterator(path_, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
}

std::string ShellQuote(const std::string& s) {
    std::string out = "'";
    for (char c : s) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

int Run(const std::string& command, std::string* output) {
    FILE* f = popen(command.c_str(), "r");
    if (!f) return -1;
    std::string out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        out.append(buf, n);
    int status = pclose(f);
    if (output) *output = out;
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    return -1;
}

std::string Make(const std::string& name, const std::string& ffmpegArgs) {
    const std::string target = MediaDir() + "/" + name;
    if (FileExists(target)) return target;
    std::random_device rd;
    const std::string tmp =
        MediaDir() + "/tmp-" + std::to_string(getpid()) + "-" + std::to_string(rd()) + "-" + name;
    const std::string cmd =
        "ffmpeg -nostdin -hide_banner -loglevel error -y " + ffmpegArgs + " " + ShellQuote(tmp) + " 2>&1";
    std::string out;
    const int rc = Run(cmd, &out);
    if (rc != 0) {
        std::remove(tmp.c_str());
        ADD_FAILURE() << "fixture " << name << " failed: " << cmd << "\n" << out;
        return "";
    }
    std::error_code ec;
    fs::rename(tmp, target, ec);  // atomic: a concurrent maker's result is as good as ours
    if (ec) std::remove(tmp.c_str());
    return target;
}

std::string Clip(const std::string& name, double seconds, int width, int height, int fps,
                 const std::string& codecArgs, bool audio, bool video) {
    std::ostringstream args;
    if (video)
        args << "-f lavfi -i testsrc2=size=" << width << "x" << height << ":rate=" << fps
             << ":duration=" << seconds << " ";
    if (audio) args << "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=" << seconds << " ";
    if (audio && video) args << "-map 0:v -map 1:a ";
    if (!codecArgs.empty()) args << codecArgs << " ";
    args << "-t " << seconds;
    return Make(name, args.str());
}

std::string WithTrackMatrix(const std::string& plain, const std::string& name, int a, int b, int c, int d) {
    const std::string target = MediaDir() + "/" + name;
    if (FileExists(target)) return target;
    std::string bytes = ReadFile(plain);
    auto fixed = [](int value) {  // 16.16 fixed point, big-endian
        const uint32_t v = static_cast<uint32_t>(value * 65536);
        return std::string{char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
    };
    const std::string zero(4, '\0'), w("\x40\0\0\0", 4);
    const std::string identity = fixed(1) + zero + zero + zero + fixed(1) + zero + zero + zero + w;
    const size_t at = bytes.find(identity, bytes.find("tkhd"));
    if (at == std::string::npos) {
        ADD_FAILURE() << plain << " has no track matrix to replace";
        return "";
    }
    bytes.replace(at, identity.size(), fixed(a) + fixed(b) + zero + fixed(c) + fixed(d) + zero + zero + zero + w);
    std::random_device rd;
    const std::string tmp = MediaDir() + "/tmp-" + std::to_string(getpid()) + "-" + std::to_string(rd()) + "-" + name;
    WriteFile(tmp, bytes);
    std::error_code ec;
    fs::rename(tmp, target, ec);
    if (ec) std::remove(tmp.c_str());
    return target;
}

std::string Probe(const std::string& file, const std::string& streamSpec, const std::string& entry) {
    std::string cmd = "ffprobe -v error ";
    if (!streamSpec.empty()) cmd += "-select_streams " + streamSpec + " ";
    cmd += "-show_entries " + entry + " -of default=nw=1:nk=1 " + ShellQuote(file) + " 2>/dev/null";
    std::string out;
    Run(cmd, &out);
    // First line only.
    auto nl = out.find('\n');
    if (nl != std::string::npos) out.resize(nl);
    return out;
}

double ProbeDuration(const std::string& file) {
    const std::string s = Probe(file, "", "format=duration");
    if (s.empty() || s == "N/A") return -1;
    return std::stod(s);
}

double DecodedDuration(const std::string& file) {
    std::string out;
    Run("ffmpeg -nostdin -hide_banner -i " + ShellQuote(file) + " -f null - 2>&1", &out);
    const auto p = out.rfind("time=");
    if (p == std::string::npos) return -1;
    int h = 0, m = 0;
    double s = 0;
    if (std::sscanf(out.c_str() + p + 5, "%d:%d:%lf", &h, &m, &s) != 3) return -1;
    return h * 3600 + m * 60 + s;
}

int ProbeFrameCount(const std::string& file, const std::string& streamSpec) {
    const std::string s = Probe(file, streamSpec, "stream=nb_read_frames -count_frames");
    if (s.empty() || s == "N/A") return -1;
    return std::stoi(s);
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

long long FileSize(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return -1;
    return st.st_size;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void WriteFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

}  // namespace fixtures
