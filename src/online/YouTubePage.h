#pragma once
// Reading a video page: the title from its "title" meta element, and from the player script's
// flash variables the video identifier, the length and the MP4 and FLV stream addresses.

#include <QHash>
#include <QString>
#include <stdexcept>

class ListFileInfo;

namespace YouTubePage {
// The largest page that is read (as UTF-8).
inline constexpr qsizetype kMaxPageBytes = 4 * 1024 * 1024;
// The most time the expressions may take on one page; a real page needs a few milliseconds.
inline constexpr int kAnalysisBudgetMs = 400;

// A page that can't be analysed: too large, built to make the expressions run too long, or
// giving a name that can't be used.
class EPageRefused : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Whether a video identifier may name a file: 1 to 64 letters A-Z or a-z, digits, "_" or "-".
bool IsSafeVideoId(const QString& id);
// `text` as it can be shown in a message: at most 80 characters, others than printable ones
// written as "\xNN" or "\uNNNN".
QString Printable(const QString& text);

// The flash variables text as a table: pieces split at "&", each "name=value" with exactly one
// "="; the first occurrence of a name is stored percent-decoded under its decoded lower-case
// name, a later one replaces the value without decoding.
QHash<QString, QString> VariableTable(const QString& flashVars);

// Fills the online fields of `entry` from the page text; fields the page lacks stay as they
// are. Raises EPageRefused for a page over kMaxPageBytes, one that makes an expression reach its
// limits or the expressions together run past kAnalysisBudgetMs, and a video identifier that IsSafeVideoId refuses (the identifier and the addresses
// made from it are then not set); std::runtime_error when an expression fails otherwise.
void Analyse(const QString& page, ListFileInfo& entry);
}  // namespace YouTubePage
