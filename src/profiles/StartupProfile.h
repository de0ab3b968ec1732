#pragma once
// Which profile the main window shows as current when it starts: the catalogue entry of the first
// recent profile ID, else the first entry of the first category, else none (empty catalogue).
// Reads the catalogue and icon stores; user-interface thread.

#include <QImage>
#include <QStringList>

class TMenuInfo;
class TCategory;

struct TStartupProfile {
    TMenuInfo* Entry = nullptr;     // none when the catalogue is empty; owned by the catalogue
    TCategory* Category = nullptr;  // the entry's category; owned by the catalogue
    QImage Icon;                    // the category's picture (null when there is none)
    int ID = -1;                    // the entry's profile ID; -1 with no entry
};

// `resultList` is the options store's recent-profile list, most recent first. An entry 0 that is
// not a decimal number counts as unknown.
TStartupProfile ChooseStartupProfile(const QStringList& resultList);
