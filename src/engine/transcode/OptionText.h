#pragma once
// The option-text syntax of the task component: "name=value" lines.
//
// The text is trimmed, its line breaks (CR LF, CR, LF) become LF and every "<CRLF>" becomes LF;
// it is then taken apart one line at a time from the front until nothing remains (so an empty
// line in the middle is an option with an empty name). Each line is split at its first "=":
// the name before it, the value after it (which may hold further "="); a line without "=" is a
// name with an empty value. Nothing is quoted, escaped or trimmed.

#include <string>
#include <utility>
#include <vector>

using TOptionLine = std::pair<std::string, std::string>;

std::vector<TOptionLine> ParseOptionText(const std::string& text);
// ASCII letters to lower case (other bytes, such as UTF-8 sequences, unchanged).
std::string LowerCaseAscii(const std::string& text);
// The phase of a (lower-case) option name: 0 new streams, 1 presets, 2 codecs, 3 frame size,
// 4 video filters, 5 everything else.
int OptionPhase(const std::string& name);
