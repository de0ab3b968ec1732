#pragma once
// One selectable output profile of the catalogue ("FormatInfo" element of "ProfileMenu.dll").
// Owned by its TCategory; the catalogue's MenuInfoMap only points at it.

#include <QString>

class TMenuInfo {
public:
    QString ID;  // decimal digits; its integer value is the profile ID everywhere else
    QString Format;
    QString FourCC;
    QString Icon;  // icon key, empty when the file names none
    bool Skip = false;
    int Categoryid = 0;
    QString Name;
    QString Description;

    int IntID() const { return ID.toInt(); }
};
