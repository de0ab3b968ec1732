#include "engine/player/PlayerTypes.h"

#include <chrono>

void TPlayEvent::Push(TPlayEventKind kind, int64_t value) {
    std::lock_guard<std::mutex> guard(Lock);
    if (Size > 0) {
        TPlayEventEntry& newest = Events[(Tailer + kCapacity - 1) % kCapacity];
        if (newest.Kind == kind) {
            newest.Value = value;
            Event.notify_one();
            return;
        }
    }
    if (Size == kCapacity) {  // drop the oldest
        Header = (Header + 1) % kCapacity;
        --Size;
    }
    Events[Tailer] = {kind, 0, value};
    Tailer = (Tailer + 1) % kCapacity;
    ++Size;
    Event.notify_one();
}

bool TPlayEvent::Pop(TPlayEventEntry& entry) {
    std::lock_guard<std::mutex> guard(Lock);
    if (Size == 0) return false;
    entry = Events[Header];
    Header = (Header + 1) % kCapacity;
    --Size;
    return true;
}

bool TPlayEvent::WaitPop(TPlayEventEntry& entry, int timeoutMs) {
    std::unique_lock<std::mutex> guard(Lock);
    if (!Event.wait_for(guard, std::chrono::milliseconds(timeoutMs), [&] { return Size > 0; })) return false;
    entry = Events[Header];
    Header = (Header + 1) % kCapacity;
    --Size;
    return true;
}

int TPlayEvent::Count() const {
    std::lock_guard<std::mutex> guard(Lock);
    return Size;
}

void TPlayEvent::Clear() {
    std::lock_guard<std::mutex> guard(Lock);
    Header = Tailer = Size = 0;
}
