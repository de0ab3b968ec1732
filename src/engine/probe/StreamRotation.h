#pragma once
// How a picture stream is meant to be shown turned: phones film sideways and mark the turn in
// the stream's display matrix (or, in older files, a "rotate" tag). The conversion, the player
// and the still pictures turn such pictures upright. Plain functions, any thread.

#include <string>

#include "engine/library/FFmpegApi.h"

// How far the stream's pictures must be turned clockwise to stand as a player shows them (its
// display matrix, else its "rotate" tag): 0, 90, 180 or 270 degrees. Other angles count as 0. For
// a mirrored matrix (StreamMirrored), the turn that follows the mirroring.
int StreamRotation(const AVStream* st);

// Whether the stream's display matrix also mirrors the pictures: shown upright, they are first
// flipped left to right, then turned by StreamRotation.
bool StreamMirrored(const AVStream* st);

// The filter chain that makes pictures stand as shown: "hflip" first when mirrored, then the turn
// ("" when there is nothing to do).
std::string UprightFilters(int rotation, bool mirrored = false);
