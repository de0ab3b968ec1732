#pragma once
// Converts decoded pictures into the engine's 24-bit bitmaps and back (and keeps the scaler
// contexts and buffer between calls, so converting a run of same-sized pictures costs no set-up).
// One per probe, player, task hook or task preview; owned by it and used by one thread at a
// time.

#include <cstdint>

#include "engine/library/Bitmap24.h"
#include "engine/library/FFmpegHandles.h"

class TRGBConvertContext {
public:
    // The picture (any pixel format the scaler accepts) into bitmap, resized to the picture's
    // size. False when no scaler context can be had for the picture; bitmap is then untouched.
    bool ToBitmap(const AVFrame& picture, TBitmap24& bitmap);
    // The bitmap (same size as the picture) written back into the picture, in the picture's own
    // pixel format; the picture must be writable. False when no scaler context can be had.
    bool FromBitmap(const TBitmap24& bitmap, AVFrame& picture);
    // Frees the scaler contexts and the buffer.
    void Clear();

    static constexpr AVPixelFormat RGBPixFmt = AV_PIX_FMT_BGR24;

private:
    TSwsContextPtr toRGB_;
    TSwsContextPtr fromRGB_;
    TAvBufferPtr rgbBuf_;  // the scaler's output, aligned for its SIMD code
    int rgbBufSize_ = 0;
};
