#pragma once
// The engine's picture type: 24 bits per pixel, bytes in B, G, R order, rows top-down, each row
// Stride bytes long (Width * 3 rounded up to a multiple of 4). Owns its pixels; a plain value
// that may be copied or moved between threads.

#include <cstddef>
#include <cstdint>
#include <vector>

class TBitmap24 {
public:
    TBitmap24() = default;
    TBitmap24(int width, int height) { SetSize(width, height); }

    int Width() const { return width_; }
    int Height() const { return height_; }
    int Stride() const { return stride_; }
    bool Empty() const { return width_ == 0 || height_ == 0; }

    // Resizes to width x height (negative values count as 0); the pixels become black.
    void SetSize(int width, int height) {
        width_ = width > 0 ? width : 0;
        height_ = height > 0 ? height : 0;
        stride_ = (width_ * 3 + 3) & ~3;
        pixels_.assign(static_cast<size_t>(stride_) * static_cast<size_t>(height_), 0);
    }
    void FillBlack() { pixels_.assign(pixels_.size(), 0); }

    uint8_t* ScanLine(int y) {
        return pixels_.data() + static_cast<size_t>(y) * static_cast<size_t>(stride_);
    }
    const uint8_t* ScanLine(int y) const {
        return pixels_.data() + static_cast<size_t>(y) * static_cast<size_t>(stride_);
    }
    uint8_t* Data() { return pixels_.data(); }
    const uint8_t* Data() const { return pixels_.data(); }
    const std::vector<uint8_t>& Pixels() const { return pixels_; }

private:
    int width_ = 0;
    int height_ = 0;
    int stride_ = 0;
    std::vector<uint8_t> pixels_;
};
