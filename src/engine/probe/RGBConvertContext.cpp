#include "engine/probe/RGBConvertContext.h"

#include <cstring>

namespace {
constexpr int kAlign = 32;
}

bool TRGBConvertContext::ToBitmap(const AVFrame& picture, TBitmap24& bitmap) {
    const int w = picture.width;
    const int h = picture.height;
    const auto format = static_cast<AVPixelFormat>(picture.format);
    if (w <= 0 || h <= 0 || format == AV_PIX_FMT_NONE) return false;

    if (format == RGBPixFmt) {
        bitmap.SetSize(w, h);
        for (int y = 0; y < h; ++y)
            std::memcpy(bitmap.ScanLine(y), picture.data[0] + static_cast<ptrdiff_t>(y) * picture.linesize[0],
                        static_cast<size_t>(w) * 3);
        return true;
    }

    SwsContext* ctx = ff::sws_getCachedContext(toRGB_.release(), w, h, format, w, h, RGBPixFmt, SWS_BICUBIC,
                                               nullptr, nullptr, nullptr);
    toRGB_.reset(ctx);
    if (!ctx) return false;

    uint8_t* dstData[4] = {};
    int dstLinesize[4] = {};
    const int size = ff::av_image_get_buffer_size(RGBPixFmt, w, h, kAlign);
    if (size < 0) return false;
    if (size > rgbBufSize_) {
        rgbBuf_.reset(static_cast<uint8_t*>(ff::av_malloc(static_cast<size_t>(size))));
        rgbBufSize_ = rgbBuf_ ? size : 0;
        if (!rgbBuf_) return false;
    }
    if (ff::av_image_fill_arrays(dstData, dstLinesize, rgbBuf_.get(), RGBPixFmt, w, h, kAlign) < 0)
        return false;
    if (ff::sws_scale(ctx, picture.data, picture.linesize, 0, h, dstData, dstLinesize) != h) return false;

    bitmap.SetSize(w, h);
    for (int y = 0; y < h; ++y)
        std::memcpy(bitmap.ScanLine(y), dstData[0] + static_cast<ptrdiff_t>(y) * dstLinesize[0],
                    static_cast<size_t>(w) * 3);
    return true;
}

bool TRGBConvertContext::FromBitmap(const TBitmap24& bitmap, AVFrame& picture) {
    const int w = picture.width;
    const int h = picture.height;
    const auto format = static_cast<AVPixelFormat>(picture.format);
    if (w <= 0 || h <= 0 || format == AV_PIX_FMT_NONE || bitmap.Width() != w || bitmap.Height() != h)
        return false;
    if (format == RGBPixFmt) {
        for (int y = 0; y < h; ++y)
            std::memcpy(picture.data[0] + static_cast<ptrdiff_t>(y) * picture.linesize[0], bitmap.ScanLine(y),
                        static_cast<size_t>(w) * 3);
        return true;
    }
    SwsContext* ctx = ff::sws_getCachedContext(fromRGB_.release(), w, h, RGBPixFmt, w, h, format, SWS_BICUBIC,
                                               nullptr, nullptr, nullptr);
    fromRGB_.reset(ctx);
    if (!ctx) return false;
    const uint8_t* srcData[4] = {bitmap.Data(), nullptr, nullptr, nullptr};
    const int srcLinesize[4] = {bitmap.Stride(), 0, 0, 0};
    return ff::sws_scale(ctx, srcData, srcLinesize, 0, h, picture.data, picture.linesize) == h;
}

void TRGBConvertContext::Clear() {
    toRGB_.reset();
    fromRGB_.reset();
    rgbBuf_.reset();
    rgbBufSize_ = 0;
}
