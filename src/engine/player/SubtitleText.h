#pragma once
// The plain text of a decoded text subtitle: the dialogue text of an ASS event without its
// override blocks ("{\i1}"), with ASS line breaks as real ones.

#include <string>

struct AVSubtitleRect;

std::string SubtitlePlainText(const AVSubtitleRect& rect);
// The same for the text of one ASS event line ("ReadOrder,Layer,Style,...,Text" as the
// decoders give it, or a "Dialogue: Layer,Start,End,...,Text" line).
std::string AssEventPlainText(const std::string& event);
