#include "engine/library/StreamIO.h"

#include <cinttypes>
#include <cstdio>

namespace {

constexpr int kBufferSize = 64 * 1024;

int ReadPacket(void* opaque, uint8_t* buf, int size) {
    const int n = static_cast<TEngineStream*>(opaque)->Read(buf, size);
    if (n == 0) return AVERROR_EOF;
    return n < 0 ? AVERROR(EIO) : n;
}

int WritePacket(void* opaque, uint8_t* buf, int size) {
    const int n = static_cast<TEngineStream*>(opaque)->Write(buf, size);
    return n < 0 ? AVERROR(EIO) : n;
}

int64_t SeekStream(void* opaque, int64_t offset, int whence) {
    auto* stream = static_cast<TEngineStream*>(opaque);
    if (whence & AVSEEK_SIZE) return stream->Size();
    const int64_t pos = stream->Seek(offset, whence & ~AVSEEK_FORCE);
    return pos < 0 ? AVERROR(EIO) : pos;
}

}  // namespace

std::string EngineStreamName(const TEngineStream* stream, const std::string& privateData) {
    char name[64];
    std::snprintf(name, sizeof name, "stream:%" PRIuPTR ":", reinterpret_cast<uintptr_t>(stream));
    return name + privateData;
}

TAvioContextPtr OpenStreamIO(TEngineStream* stream, bool write) {
    auto* buffer = static_cast<unsigned char*>(ff::av_malloc(kBufferSize));
    if (!buffer) return nullptr;
    AVIOContext* io =
        ff::avio_alloc_context(buffer, kBufferSize, write ? 1 : 0, stream, write ? nullptr : &ReadPacket,
                               write ? &WritePacket : nullptr, &SeekStream);
    if (!io) {
        ff::av_free(buffer);
        return nullptr;
    }
    return TAvioContextPtr(io);
}
