#pragma once
// How a picture stream is meant to be shown turned: phones film sideways and mark the turn in
// the stream's display matrix (or, in older files, a "rotate" tag). The conversion, the player
// and the still pictures turn such pictures upright. Plain functions, any thread.

#include <string>
#include <utility>
#include <vector>

#include "engine/library/FFmpegApi.h"

// How far the stream's pictures must be turned clockwise to stand as a player shows them (its
// display matrix, else its "rotate" tag): 0, 90, 180 or 270 degrees. Other angles count as 0. For
// a mirrored matrix (StreamMirrored), the turn that follows the mirroring.
int StreamRotation(const AVStream* st);

// Whether the stream's display matrix also mirrors the pictures: shown upright, they are first
// flipped left to right, then turned by StreamRotation.
bool StreamMirrored(const AVStream* st);

// The filters that make pictures stand as shown, in order, each as {name, arguments}: "hflip"
// first when mirrored, then the turn; none when there is nothing to do.
std::vector<std::pair<std::string, std::string>> UprightFilterSteps(int rotation, bool mirrored);

// The same as one filter chain ("hflip,transpose=dir=clock"; "" for none).
std::string UprightFilters(int rotation, bool mirrored = false);
