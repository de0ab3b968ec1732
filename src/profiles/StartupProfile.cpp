#include "profiles/StartupProfile.h"

#include "profiles/IconUtils.h"
#include "profiles/ProfileMenu.h"
#include "profiles/XmlReading.h"

TStartupProfile ChooseStartupProfile(const QStringList& resultList) {
    TStartupProfile result;
    TMenuInfo* entry = nullptr;
    if (!resultList.isEmpty()) {
        if (const auto id = ParseDecimal(resultList.first().trimmed())) entry = FindMenuInfo(*id);
    }
    if (!entry) {
        const TCategoryList& categories = CategoryList();
        if (categories.empty() || categories.front()->Items.empty()) return result;
        entry = categories.front()->Items.front().get();
    }
    result.Entry = entry;
    result.ID = entry->IntID();
    result.Category = FindCategory(entry->Categoryid);
    if (result.Category) result.Icon = GetIcon(result.Category->Icon);
    return result;
}
