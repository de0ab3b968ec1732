#include "engine/probe/StreamRotation.h"

#include <cmath>
#include <cstdlib>

int StreamRotation(const AVStream* st) {
    if (!st) return 0;
    double clockwise = 0.0;
    size_t size = 0;
    const uint8_t* matrix = ff::av_stream_get_side_data(st, AV_PKT_DATA_DISPLAYMATRIX, &size);
    if (matrix && size >= 9 * sizeof(int32_t)) {
        // The matrix names the turn counter-clockwise.
        clockwise = -ff::av_display_rotation_get(reinterpret_cast<const int32_t*>(matrix));
    } else if (const AVDictionaryEntry* tag = ff::av_dict_get(st->metadata, "rotate", nullptr, 0)) {
        clockwise = std::strtod(tag->value, nullptr);
    }
    if (!std::isfinite(clockwise)) return 0;
    clockwise = std::fmod(clockwise, 360.0);
    if (clockwise < 0) clockwise += 360.0;
    for (int angle : {0, 90, 180, 270, 360})
        if (std::fabs(clockwise - angle) < 1.0) return angle % 360;
    return 0;
}

std::string UprightFilters(int rotation) {
    switch (rotation) {
        case 90:
            return "transpose=dir=clock";
        case 180:
            return "hflip,vflip";
        case 270:
            return "transpose=dir=cclock";
        default:
            return {};
    }
}
