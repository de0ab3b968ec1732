#include "engine/transcode/OptionText.h"

namespace {

// Characters up to the space count as blanks at the ends of a text.
bool IsBlank(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}

std::string Normalized(const std::string& text) {
    size_t first = 0;
    size_t last = text.size();
    while (first < last && IsBlank(text[first]))
        ++first;
    while (last > first && IsBlank(text[last - 1]))
        --last;
    std::string out;
    out.reserve(last - first);
    for (size_t i = first; i < last; ++i) {
        if (text[i] == '\r') {
            out += '\n';
            if (i + 1 < last && text[i + 1] == '\n') ++i;
        } else if (text.compare(i, 6, "<CRLF>") == 0) {
            out += '\n';
            i += 5;
        } else {
            out += text[i];
        }
    }
    return out;
}

}  // namespace

std::vector<TOptionLine> ParseOptionText(const std::string& text) {
    std::vector<TOptionLine> lines;
    const std::string rest = Normalized(text);
    size_t pos = 0;
    while (pos < rest.size()) {
        size_t end = rest.find('\n', pos);
        if (end == std::string::npos) end = rest.size();
        const std::string line = rest.substr(pos, end - pos);
        const size_t eq = line.find('=');
        if (eq == std::string::npos)
            lines.emplace_back(line, "");
        else
            lines.emplace_back(line.substr(0, eq), line.substr(eq + 1));
        pos = end + 1;
    }
    return lines;
}

std::string LowerCaseAscii(const std::string& text) {
    std::string out = text;
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

int OptionPhase(const std::string& name) {
    if (name == "newvideo" || name == "newaudio" || name == "newsubtitle") return 0;
    if (name == "apre" || name == "vpre" || name == "spre") return 1;
    if (name == "acodec" || name == "vcodec" || name == "scodec") return 2;
    if (name == "s") return 3;
    if (name == "vfilters") return 4;
    return 5;
}
