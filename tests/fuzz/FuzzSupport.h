#pragma once
// Shared set-up of the fuzz targets: the media libraries loaded once and quiet, a scratch folder
// as the working folder (whatever an input makes the code write lands there), and memory
// streams for the engine's stream forms.

#include <cstdint>
#include <string>
#include <vector>

#include "engine/library/EngineStream.h"

namespace fuzz {

// Loads the task libraries from the system, silences their log and enters a fresh scratch
// folder. Aborts when the libraries cannot be loaded (nothing could be fuzzed).
void InitEngine();
// Enters a fresh scratch folder under the system's temporary folder (once per process).
void EnterScratchFolder();
// Writes bytes into a file of the scratch folder; returns its path.
std::string WriteScratchFile(const std::string& name, const uint8_t* data, size_t size);

// A readable (and writable, growing) byte stream in memory.
class MemoryStream : public TEngineStream {
public:
    MemoryStream() = default;
    MemoryStream(const uint8_t* data, size_t size) : bytes_(data, data + size) {}
    int Read(uint8_t* buffer, int size) override;
    int Write(const uint8_t* buffer, int size) override;
    int64_t Seek(int64_t offset, int whence) override;
    int64_t Size() override { return static_cast<int64_t>(bytes_.size()); }

private:
    std::vector<uint8_t> bytes_;
    size_t pos_ = 0;
};

// A short PCM WAV (8 kHz mono 16-bit, 0.1 s of a rising ramp), built in memory.
std::vector<uint8_t> SmallWav();

}  // namespace fuzz
