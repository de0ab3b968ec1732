#pragma once
// The text of a catalogue file ("ProfileMenu.dll") written from the profile tree: every category
// and profile with its shown/hidden choice, in the tree's order. Names and descriptions with
// characters that mean something in XML are escaped, so the file reads back exactly.

#include <QString>
#include <vector>

class TCategory;
class TMenuInfo;

struct TProfileMenuNode {
    const TCategory* Category = nullptr;  // owned by the catalogue
    bool Shown = true;
    struct Entry {
        const TMenuInfo* Info = nullptr;  // owned by the catalogue
        bool Shown = true;
    };
    std::vector<Entry> Entries;
};

// The whole document, lines ended by CR LF. A category's "tag" attribute is written whenever the
// category has one, so output names keep their suffix after the file is rewritten.
QString ProfileMenuText(const std::vector<TProfileMenuNode>& tree);
// Text escaped for an XML attribute value or element content.
QString XmlEscaped(const QString& text);
