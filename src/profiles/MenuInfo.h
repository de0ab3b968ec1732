#pragma once
// One selectable output profile of the catalogue ("FormatInfo" element of "ProfileMenu.dll").
// Owned by its TCategory; the catalogue's MenuInfoMap only points at it.

#include <QMap>
#include <QString>

class TMenuInfo {
public:
    QString ID;  // decimal digits; its integer value is the profile ID everywhere else
    QString Format;
    QString FourCC;
    QString Icon;  // icon key, empty when the file names none
    bool Skip = false;
    int Categoryid = 0;
    // Name and Description in the program's language; the texts of every language the file
    // holds, by language code ("en" is the element's own text), are kept for writing it back.
    QString Name;
    QString Description;
    QMap<QString, QString> Names;
    QMap<QString, QString> Descriptions;

    int IntID() const { return ID.toInt(); }
};
