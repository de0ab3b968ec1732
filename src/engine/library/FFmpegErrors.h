#pragma once
// Library error codes to the engine's error texts (used by the probe when a file does not open
// and by the conversion loop).

#include <string>

// "No such file or directory", "Invalid data found when processing input", ... and
// "Error number %d occurred" for a code without a text of its own.
std::string FFmpegErrorText(int code);
