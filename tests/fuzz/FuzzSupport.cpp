#include "FuzzSupport.h"

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "engine/library/FFmpegApi.h"
#include "engine/library/FFmpegLoader.h"
#include "engine/library/FFmpegLogger.h"

namespace fuzz {

void EnterScratchFolder() {
    static bool entered = false;
    if (entered) return;
    entered = true;
    std::string pattern = (std::filesystem::temp_directory_path() / "vanto-fuzz-XXXXXX").string();
    if (!::mkdtemp(pattern.data()) || ::chdir(pattern.c_str()) != 0) {
        std::perror("scratch folder");
        std::abort();
    }
}

void InitEngine() {
    static bool done = false;
    if (done) return;
    done = true;
    EnterScratchFolder();
    FFLoader().SetLibraryPath("");
    if (!FFLoader().Load(kTaskLibraries)) {
        std::fprintf(stderr, "media libraries: %s\n", FFLoader().LastErrMsg().c_str());
        std::abort();
    }
    GetFFLogger().SetLogLevel(TLogLevel::llQuiet);
}

std::string WriteScratchFile(const std::string& name, const uint8_t* data, size_t size) {
    FILE* f = std::fopen(name.c_str(), "wb");
    if (!f) std::abort();
    if (size && std::fwrite(data, 1, size, f) != size) std::abort();
    std::fclose(f);
    return name;
}

int MemoryStream::Read(uint8_t* buffer, int size) {
    if (size <= 0 || pos_ >= bytes_.size()) return 0;
    const size_t n = std::min(bytes_.size() - pos_, static_cast<size_t>(size));
    std::memcpy(buffer, bytes_.data() + pos_, n);
    pos_ += n;
    return static_cast<int>(n);
}

int MemoryStream::Write(const uint8_t* buffer, int size) {
    if (size <= 0) return 0;
    if (pos_ + static_cast<size_t>(size) > bytes_.size()) bytes_.resize(pos_ + static_cast<size_t>(size));
    std::memcpy(bytes_.data() + pos_, buffer, static_cast<size_t>(size));
    pos_ += static_cast<size_t>(size);
    return size;
}

int64_t MemoryStream::Seek(int64_t offset, int whence) {
    int64_t base = 0;
    if (whence == SEEK_CUR)
        base = static_cast<int64_t>(pos_);
    else if (whence == SEEK_END)
        base = static_cast<int64_t>(bytes_.size());
    else if (whence != SEEK_SET)
        return -1;
    if (offset > INT64_MAX - base && offset > 0) return -1;
    const int64_t target = base + offset;
    if (target < 0 || target > (int64_t{1} << 32)) return -1;
    pos_ = static_cast<size_t>(target);
    return target;
}

std::vector<uint8_t> SmallWav() {
    const uint32_t samples = 800, rate = 8000;
    std::vector<uint8_t> w;
    auto u32 = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i)
            w.push_back(static_cast<uint8_t>(v >> (8 * i)));
    };
    auto u16 = [&](uint16_t v) {
        w.push_back(static_cast<uint8_t>(v));
        w.push_back(static_cast<uint8_t>(v >> 8));
    };
    auto tag = [&](const char* t) { w.insert(w.end(), t, t + 4); };
    tag("RIFF");
    u32(36 + samples * 2);
    tag("WAVE");
    tag("fmt ");
    u32(16);
    u16(1);
    u16(1);
    u32(rate);
    u32(rate * 2);
    u16(2);
    u16(16);
    tag("data");
    u32(samples * 2);
    for (uint32_t i = 0; i < samples; ++i)
        u16(static_cast<uint16_t>(i * 64));
    return w;
}

}  // namespace fuzz
