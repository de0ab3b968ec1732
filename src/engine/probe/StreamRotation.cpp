#include "engine/probe/StreamRotation.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {
const int32_t* DisplayMatrix(const AVStream* st) {
    size_t size = 0;
    const uint8_t* matrix = st ? ff::av_stream_get_side_data(st, AV_PKT_DATA_DISPLAYMATRIX, &size) : nullptr;
    return matrix && size >= 9 * sizeof(int32_t) ? reinterpret_cast<const int32_t*>(matrix) : nullptr;
}

// A matrix whose 2x2 part has a negative determinant mirrors the picture.
bool Mirrors(const int32_t* m) {
    return double(m[0]) * double(m[4]) - double(m[1]) * double(m[3]) < 0;
}
}  // namespace

bool StreamMirrored(const AVStream* st) {
    const int32_t* m = DisplayMatrix(st);
    return m && Mirrors(m);
}

int StreamRotation(const AVStream* st) {
    if (!st) return 0;
    double clockwise = 0.0;
    if (const int32_t* m = DisplayMatrix(st)) {
        // A mirroring matrix is a turn after a left-right flip: (x, y) -> M(-x, y), so the turn
        // alone is M with the factors of x negated.
        int32_t turn[9];
        std::copy(m, m + 9, turn);
        if (Mirrors(m)) {
            turn[0] = -turn[0];
            turn[1] = -turn[1];
        }
        // The matrix names the turn counter-clockwise.
        clockwise = -ff::av_display_rotation_get(turn);
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

std::vector<std::pair<std::string, std::string>> UprightFilterSteps(int rotation, bool mirrored) {
    std::vector<std::pair<std::string, std::string>> steps;
    if (mirrored) steps.emplace_back("hflip", "");
    switch (rotation) {
        case 90:
            steps.emplace_back("transpose", "dir=clock");
            break;
        case 180:
            steps.emplace_back("hflip", "");
            steps.emplace_back("vflip", "");
            break;
        case 270:
            steps.emplace_back("transpose", "dir=cclock");
            break;
        default:
            break;
    }
    return steps;
}

std::string UprightFilters(int rotation, bool mirrored) {
    std::string chain;
    for (const auto& [name, args] : UprightFilterSteps(rotation, mirrored)) {
        if (!chain.empty()) chain += ',';
        chain += args.empty() ? name : name + '=' + args;
    }
    return chain;
}
