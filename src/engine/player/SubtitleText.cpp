#include "engine/player/SubtitleText.h"

#include "engine/library/FFmpegApi.h"

namespace {

std::string Trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \r\n\t");
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(" \r\n\t") - first + 1);
}

}  // namespace

std::string AssEventPlainText(const std::string& event) {
    // The text is the last field: after 8 commas in a decoder's event, after 9 in a Dialogue line.
    const bool dialogue = event.rfind("Dialogue:", 0) == 0;
    size_t at = 0;
    for (int commas = dialogue ? 9 : 8; commas > 0; --commas) {
        at = event.find(',', at);
        if (at == std::string::npos) return "";
        ++at;
    }
    std::string text;
    text.reserve(event.size() - at);
    for (size_t i = at; i < event.size(); ++i) {
        const char c = event[i];
        if (c == '{') {
            const size_t close = event.find('}', i);
            if (close == std::string::npos) break;  // an unclosed block hides the rest
            i = close;
        } else if (c == '\\' && i + 1 < event.size() && (event[i + 1] == 'N' || event[i + 1] == 'n')) {
            text += '\n';
            ++i;
        } else if (c == '\\' && i + 1 < event.size() && event[i + 1] == 'h') {
            text += ' ';
            ++i;
        } else if (c != '\r') {
            text += c;
        }
    }
    return Trimmed(text);
}

std::string SubtitlePlainText(const AVSubtitleRect& rect) {
    if (rect.type == SUBTITLE_ASS && rect.ass) return AssEventPlainText(rect.ass);
    if (rect.type == SUBTITLE_TEXT && rect.text) return Trimmed(rect.text);  // plain text, no markup
    return "";
}
