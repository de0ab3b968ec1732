#pragma once
// A corpus of sources as they come from cameras, phones and old tools (odd picture sizes,
// variable frame rates, damaged time stamps, files without a duration, 4:4:4 and 4:2:2 pictures,
// sound that starts before the pictures), made with ffmpeg, and the checks of a conversion of
// each with ffprobe.

#include <string>
#include <vector>

namespace corpus {

struct Kind {
    const char* name;
    std::string (*source)();
    int profile;
    const char* extension;
    // The clean file the source was made from when the source's own times can't be trusted.
    std::string (*reference)();
    bool samePictureCount;
    int width, height;  // expected output size; 0: the source's
    int repeats = 1;    // the reference's pictures this many times over
    bool sound = true;
};

const std::vector<Kind>& Kinds();

// Pictures and sound of `output` start and end together as in the source, with the source's
// pictures, in 4:2:0 and at the expected size. Adds test failures.
void ExpectLikeTheSource(const Kind& kind, const std::string& output);

}  // namespace corpus
