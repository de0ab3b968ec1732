#pragma once
// The process-wide codec lock: every engine component holds it while it opens or closes a codec
// context (the probe, the player's decoders, the conversion threads' decoders and encoders).
// Today's libraries no longer need it; it stays because it costs nothing and keeps codec set-up
// serialised across components. Recursive, so a component may close one codec while it opens
// another under the same hold.
//
//     { TCodecLock lock; ff::avcodec_open2(ctx, codec, &opts); }
//
// Log lines raised while a thread holds the lock wait until it lets go (see the log bridge),
// so a handler on the user-interface thread never waits for a thread that waits for the lock.

#include <mutex>

class TCodecLock {
public:
    TCodecLock();
    ~TCodecLock();
    TCodecLock(const TCodecLock&) = delete;
    TCodecLock& operator=(const TCodecLock&) = delete;

    static std::recursive_mutex& Mutex();
    // Whether the calling thread holds the lock.
    static bool HeldByThisThread();
};
