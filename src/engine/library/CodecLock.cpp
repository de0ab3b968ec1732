#include "engine/library/CodecLock.h"

#include "engine/library/FFmpegLogger.h"

namespace {
thread_local int tl_depth = 0;
}

TCodecLock::TCodecLock() {
    Mutex().lock();
    ++tl_depth;
}

TCodecLock::~TCodecLock() {
    --tl_depth;
    Mutex().unlock();
    if (tl_depth != 0) return;
    // A destructor (perhaps during unwinding) lets no handler's exception out.
    try {
        DeliverHeldLogLines();
    } catch (...) {
    }
}

std::recursive_mutex& TCodecLock::Mutex() {
    static std::recursive_mutex mutex;
    return mutex;
}

bool TCodecLock::HeldByThisThread() {
    return tl_depth > 0;
}
