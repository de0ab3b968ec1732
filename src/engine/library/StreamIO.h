#pragma once
// Library I/O contexts that read from or write to a caller's TEngineStream (custom I/O of the
// stream forms of AddTask and SetOutputStream). The context does not own the stream.

#include <memory>

#include "engine/library/EngineStream.h"
#include "engine/library/FFmpegApi.h"

struct TAvioContextDeleter {
    void operator()(AVIOContext* io) const {
        if (!io) return;
        ff::av_freep(&io->buffer);
        ff::avio_context_free(&io);
    }
};
using TAvioContextPtr = std::unique_ptr<AVIOContext, TAvioContextDeleter>;

// Null when out of memory.
TAvioContextPtr OpenStreamIO(TEngineStream* stream, bool write);
