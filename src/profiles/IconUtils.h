#pragma once
// The icon dictionary: every PNG picture of the program folder's "ICON" folder, keyed by its file
// name in lower case without ".png". Catalogue records name their pictures by that key. The same
// folder holds the picker's arrow picture "MenuArrow.bmp".
//
// Process-wide, used on the user-interface thread; the pictures stay loaded until FreeIcons().

#include <QHash>
#include <QImage>
#include <QString>

#include "profiles/ProfileDataError.h"

// Program folder + "/ICON".
QString IconFolder();
// The picker's arrow picture: IconFolder() + "/MenuArrow.bmp".
QString MenuArrowFile();

// Loads every "*.png" (extension in any letter case) once; later calls do nothing. A file that is
// not a readable PNG raises EProfileDataError; the pictures loaded before it stay. When two
// files give the same key the first in name order is kept.
void LoadIcons();
// The picture of a key in any letter case; a null image when there is none.
QImage GetIcon(const QString& key);
const QHash<QString, QImage>& IconMap();
bool IconsLoaded();
void FreeIcons();
