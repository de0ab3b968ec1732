#include "convert/CodecThreadRule.h"

#include <algorithm>
#include <thread>

TCodecThreadRule::TCodecThreadRule(int processors)
    : processors_(processors > 0 ? processors : std::max(1u, std::thread::hardware_concurrency())) {}

int TCodecThreadRule::ThreadsFor(int processors, int runWidth, int unfinished) {
    const int atOnce = std::max(1, std::min(runWidth, unfinished));
    if (atOnce == 1 && processors > 1) return 0;
    return std::max(1, processors / atOnce);
}
