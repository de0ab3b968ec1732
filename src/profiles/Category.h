#pragma once
// One category of the profile catalogue ("category" element of "ProfileMenu.dll"). Owns its
// entries; lives in the catalogue store (ProfileMenu.h) until the catalogue is freed or reloaded.

#include <QMap>
#include <QString>
#include <memory>
#include <vector>

#include "profiles/MenuInfo.h"

class TCategory {
public:
    int ID = 0;
    QString Title;  // in the program's language
    QMap<QString, QString> Titles;  // by language code, "en" the "title" attribute
    QString TypeStr;  // free text of the optional "type" attribute, written back unchanged
    QString Icon;     // icon key; also the picture beside the current profile's name
    bool Skip = false;
    int Order = 0;        // position among all children of "Profiles"
    QString CategoryTag;  // put between an output file's base name and its extension
    std::vector<std::unique_ptr<TMenuInfo>> Items;  // in file order
};
