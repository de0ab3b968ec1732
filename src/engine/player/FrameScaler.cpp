#include "engine/player/FrameScaler.h"

#include <cmath>

bool TFrameScaler::Scale(const AVFrame& picture, int width, int height, AVPixelFormat dstFormat, uint8_t* dst,
                         int dstStride, bool flip) {
    if (width <= 0 || height <= 0 || picture.width <= 0 || picture.height <= 0) return false;
    auto srcFormat = static_cast<AVPixelFormat>(picture.format);
    SwsContext* ctx =
        ff::sws_getCachedContext(context_.release(), picture.width, picture.height, srcFormat, width, height,
                                 dstFormat, SWS_BICUBIC, nullptr, nullptr, nullptr);
    context_.reset(ctx);
    if (!ctx) return false;
    const uint8_t* src[4] = {picture.data[0], picture.data[1], picture.data[2], picture.data[3]};
    int srcStride[4] = {picture.linesize[0], picture.linesize[1], picture.linesize[2], picture.linesize[3]};
    if (flip) {
        // Read the picture from its last row upwards.
        const AVPixFmtDescriptor* desc = ff::av_pix_fmt_desc_get(srcFormat);
        for (int plane = 0; plane < 4 && src[plane]; ++plane) {
            bool chroma = desc && (plane == 1 || plane == 2) && !(desc->flags & AV_PIX_FMT_FLAG_RGB);
            int rows = chroma ? -((-picture.height) >> desc->log2_chroma_h) : picture.height;
            src[plane] += static_cast<ptrdiff_t>(rows - 1) * srcStride[plane];
            srcStride[plane] = -srcStride[plane];
        }
    }
    uint8_t* dstPlanes[4] = {dst, nullptr, nullptr, nullptr};
    int dstStrides[4] = {dstStride, 0, 0, 0};
    return ff::sws_scale(ctx, src, srcStride, 0, picture.height, dstPlanes, dstStrides) == height;
}

TDisplayRect LetterboxRect(int panelWidth, int panelHeight, double aspectRatio) {
    TDisplayRect r;
    if (panelWidth <= 0 || panelHeight <= 0) return r;
    if (!(aspectRatio > 0)) aspectRatio = static_cast<double>(panelWidth) / panelHeight;
    int height = panelHeight;
    int width = static_cast<int>(std::lround(height * aspectRatio)) & ~1;
    if (width > panelWidth) {
        width = panelWidth;
        height = static_cast<int>(std::lround(width / aspectRatio)) & ~1;
    }
    r.Width = width < 2 ? (panelWidth >= 2 ? 2 : panelWidth) : width;
    r.Height = height < 2 ? (panelHeight >= 2 ? 2 : panelHeight) : height;
    r.X = (panelWidth - r.Width) / 2;
    r.Y = (panelHeight - r.Height) / 2;
    return r;
}
