#include "engine/CodecLock.h"

std::recursive_mutex& TCodecLock::Mutex() {
    static std::recursive_mutex mutex;
    return mutex;
}
