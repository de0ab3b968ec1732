#pragma once
// The process-wide codec lock: every engine component holds it while it opens or closes a codec
// context (the probe, the player's decoders, the conversion threads' decoders and encoders).
// Today's libraries no longer need it; it stays because it costs nothing and keeps codec set-up
// serialised across components. Recursive, so a component may close one codec while it opens
// another under the same hold.
//
//     { TCodecLock lock; ff::avcodec_open2(ctx, codec, &opts); }

#include <mutex>

class TCodecLock {
public:
    TCodecLock() : guard_(Mutex()) {}
    TCodecLock(const TCodecLock&) = delete;
    TCodecLock& operator=(const TCodecLock&) = delete;

    static std::recursive_mutex& Mutex();

private:
    std::lock_guard<std::recursive_mutex> guard_;
};
