#pragma once
// Scales a decoded picture into a caller's pixel buffer of any size and packed RGB format in one
// swscale pass (the window's picture at display size, the command-line player's display cost).
// Keeps its scaler context between calls, so a run of same-sized pictures costs no set-up.
//
// Ownership: owns its scaler context. Threads: one thread at a time.

#include <cstdint>

#include "engine/library/FFmpegHandles.h"

class TFrameScaler {
public:
    // Scales picture into dst (width x height pixels of dstFormat, dstStride bytes a row), upside
    // down with flip. False when no scaler context can be had for the picture.
    bool Scale(const AVFrame& picture, int width, int height, AVPixelFormat dstFormat, uint8_t* dst,
               int dstStride, bool flip = false);
    void Clear() { context_.reset(); }

private:
    TSwsContextPtr context_;
};

// The largest rectangle of the given display aspect ratio (width / height) inside a panel of
// panelWidth x panelHeight, centred: the letterboxed picture's place. Sizes are even and at least
// 2 pixels when the panel has room.
struct TDisplayRect {
    int X = 0, Y = 0, Width = 0, Height = 0;
};
TDisplayRect LetterboxRect(int panelWidth, int panelHeight, double aspectRatio);
