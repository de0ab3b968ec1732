#pragma once
// Codec names older profiles and option texts use that today's libraries no longer have, mapped
// to the encoder that does the same job now. A name the loaded libraries still know, and a name
// not in the table, are returned unchanged.

#include <string>

// "libfaac" -> "aac", ...
std::string CurrentEncoderName(const std::string& name);
