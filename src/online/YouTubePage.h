#pragma once
// Reading a video page: the title from its "title" meta element, and from the player script's
// flash variables the video identifier, the length and the MP4 and FLV stream addresses.

#include <QHash>
#include <QString>

class ListFileInfo;

namespace YouTubePage {
// The flash variables text as a table: pieces split at "&", each "name=value" with exactly one
// "="; the first occurrence of a name is stored percent-decoded under its decoded lower-case
// name, a later one replaces the value without decoding.
QHash<QString, QString> VariableTable(const QString& flashVars);

// Fills the online fields of `entry` from the page text; fields the page lacks stay as they
// are. Raises std::runtime_error when an expression fails.
void Analyse(const QString& page, ListFileInfo& entry);
}  // namespace YouTubePage
