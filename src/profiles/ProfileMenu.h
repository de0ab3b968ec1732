#pragma once
// The profile catalogue: the categories and profiles the user picks an output type from, read
// from the per-user copy of "ProfileMenu.dll" (an XML document) and kept for the whole run.
//
// The store is process-wide and used on the user-interface thread only. CategoryList() owns the
// categories, each category owns its entries; CategoryMap() and MenuInfoMap() point into them.
// Pointers stay valid until ReloadProfileMenu() or FreeProfileMenu().
//
// After a complete load: every entry of MenuInfoMap() sits in the Items of exactly one category
// of CategoryList() and its Categoryid is that category's ID; no listed category is empty;
// category IDs are unique and entry IDs are unique across the file.

#include <QString>
#include <map>
#include <memory>
#include <vector>

#include "profiles/Category.h"
#include "profiles/MenuInfo.h"
#include "profiles/ProfileDataError.h"

using TCategoryList = std::vector<std::unique_ptr<TCategory>>;

// The containers; empty before the first load.
TCategoryList& CategoryList();
std::map<int, TCategory*>& CategoryMap();
std::map<int, TMenuInfo*>& MenuInfoMap();
// True once LoadProfileMenu has run (whatever it found).
bool ProfileMenuLoaded();

// The per-user catalogue file: GetAppDataFolder() + "ProfileMenu.dll". When it does not exist yet,
// the installed template from the program folder is copied there first; when that copy fails the
// program folder's own file is used.
QString GetProfileMenuFile();

// Loads the catalogue once; later calls do nothing until ReloadProfileMenu. A missing file shows
// the plain message box "format resource file does not exist." and leaves the catalogue empty.
// A malformed document, a missing required attribute or element, a non-numeric "id"/"ID" or a
// repeated ID raises EProfileDataError; what was read before stays (empty categories dropped).
void LoadProfileMenu();
// Drops the whole catalogue and loads it anew from the file.
void ReloadProfileMenu();
// The entry with this profile ID, or nullptr.
TMenuInfo* FindMenuInfo(int id);
// The category of an entry, or nullptr.
TCategory* FindCategory(int categoryId);
// Replaces the catalogue file with `xmlText` in UTF-8 followed by CR LF. Raises EInOutError
// (settings/Options.h) when the file can't be written; the old file then stays as it was.
void SaveProfileMenu(const QString& xmlText);
// Frees the catalogue (main window close, tests).
void FreeProfileMenu();
