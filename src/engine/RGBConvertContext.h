#pragma once
// Converts decoded pictures into the engine's 24-bit bitmaps (and keeps the scaler context and
// buffer between calls, so converting a run of same-sized pictures costs no set-up). One per
// probe, player or task preview; owned by it and used by one thread at a time.

#include <cstdint>

#include "engine/Bitmap24.h"
#include "engine/FFmpegHandles.h"

class TRGBConvertContext {
public:
    // The picture (any pixel format the scaler accepts) into bitmap, resized to the picture's
    // size. False when no scaler context can be had for the picture; bitmap is then untouched.
    bool ToBitmap(const AVFrame& picture, TBitmap24& bitmap);
    // Frees the scaler context and the buffer.
    void Clear();

    static constexpr AVPixelFormat RGBPixFmt = AV_PIX_FMT_BGR24;

private:
    TSwsContextPtr toRGB_;
    TAvBufferPtr rgbBuf_;  // the scaler's output, aligned for its SIMD code
    int rgbBufSize_ = 0;
};
