#include "profiles/ProfileMenu.h"

#include <QDomDocument>
#include <QFile>
#include <QSaveFile>
#include <algorithm>

#include "app/DialogSeam.h"
#include "app/Utils.h"
#include "profiles/XmlReading.h"
#include "settings/Lang.h"
#include "settings/Options.h"

namespace {
struct CatalogueStore {
    bool loaded = false;
    TCategoryList categories;
    std::map<int, TCategory*> categoryMap;
    std::map<int, TMenuInfo*> menuInfoMap;
};

CatalogueStore& store() {
    static CatalogueStore s;
    return s;
}

const QString kFileName = QStringLiteral("ProfileMenu.dll");

// The element's text as "en" and each attribute as the text of the language it names.
QMap<QString, QString> textsOf(const XmlFileReader& xml, const QDomElement& e, const QString& name) {
    QMap<QString, QString> texts{{QStringLiteral("en"), xml.requiredChildText(e, name)}};
    const QDomNamedNodeMap attributes = e.firstChildElement(name).attributes();
    for (int i = 0; i < attributes.size(); ++i) {
        const QDomAttr a = attributes.item(i).toAttr();
        texts.insert(a.name(), a.value());
    }
    return texts;
}

QString inLanguage(const QMap<QString, QString>& texts) {
    return texts.value(Lang().Language, texts.value(QStringLiteral("en")));
}

void readEntry(const XmlFileReader& xml, const QDomElement& e, TCategory& category) {
    auto info = std::make_unique<TMenuInfo>();
    info->ID = xml.requiredAttribute(e, QStringLiteral("ID"));
    const int id = xml.decimal(e, QStringLiteral("ID"), info->ID);
    info->Format = xml.requiredAttribute(e, QStringLiteral("Format"));
    info->FourCC = xml.requiredAttribute(e, QStringLiteral("FourCC"));
    info->Icon = e.attribute(QStringLiteral("Icon"));
    info->Skip = e.attribute(QStringLiteral("skip")) == QLatin1String("true");
    info->Names = textsOf(xml, e, QStringLiteral("Name"));
    info->Descriptions = textsOf(xml, e, QStringLiteral("Description"));
    info->Name = inLanguage(info->Names);
    info->Description = inLanguage(info->Descriptions);
    info->Categoryid = category.ID;
    // Checked before anything is added, so that the entry is either in both its category and the
    // dictionary or in neither.
    if (store().menuInfoMap.count(id))
        throw xml.error(e, QStringLiteral("the profile ID %1 appears more than once").arg(id));
    store().menuInfoMap.emplace(id, info.get());
    category.Items.push_back(std::move(info));
}

void readCategory(const XmlFileReader& xml, const QDomElement& e, int order) {
    auto category = std::make_unique<TCategory>();
    category->ID = xml.decimal(e, QStringLiteral("id"), xml.requiredAttribute(e, QStringLiteral("id")));
    category->Titles.insert(QStringLiteral("en"), xml.requiredAttribute(e, QStringLiteral("title")));
    const QDomNamedNodeMap attributes = e.attributes();
    for (int i = 0; i < attributes.size(); ++i) {
        const QDomAttr a = attributes.item(i).toAttr();
        if (a.name().startsWith(QLatin1String("title_")))
            category->Titles.insert(a.name().mid(6), a.value());
    }
    category->Title = inLanguage(category->Titles);
    category->TypeStr = e.attribute(QStringLiteral("type"));
    category->Icon = xml.requiredAttribute(e, QStringLiteral("icon"));
    category->Skip = xml.requiredAttribute(e, QStringLiteral("skip")) == QLatin1String("true");
    category->CategoryTag = e.attribute(QStringLiteral("tag"));
    category->Order = order;
    if (store().categoryMap.count(category->ID))
        throw xml.error(e, QStringLiteral("the category ID %1 appears more than once").arg(category->ID));
    TCategory& added = *category;
    store().categoryMap.emplace(added.ID, &added);
    store().categories.push_back(std::move(category));
    for (QDomElement child = e.firstChildElement(); !child.isNull(); child = child.nextSiblingElement())
        if (child.tagName() == QLatin1String("FormatInfo")) readEntry(xml, child, added);
}

void dropEmptyCategories() {
    CatalogueStore& s = store();
    auto empty = [](const std::unique_ptr<TCategory>& c) { return c->Items.empty(); };
    for (const auto& c : s.categories)
        if (c->Items.empty()) s.categoryMap.erase(c->ID);
    s.categories.erase(std::remove_if(s.categories.begin(), s.categories.end(), empty), s.categories.end());
}

void readCatalogue(const QString& path) {
    const XmlFileReader xml(path);
    const QDomDocument doc = xml.open();
    try {
        for (QDomNode top = doc.firstChild(); !top.isNull(); top = top.nextSibling()) {
            if (!top.isElement() || top.nodeName() != QLatin1String("Profiles")) continue;
            // Every child counts for a category's position, whatever its kind.
            const QDomNodeList children = top.childNodes();
            for (int i = 0; i < children.size(); ++i) {
                const QDomNode child = children.at(i);
                if (child.isElement() && child.nodeName() == QLatin1String("category"))
                    readCategory(xml, child.toElement(), i);
            }
        }
    } catch (...) {
        dropEmptyCategories();
        throw;
    }
    dropEmptyCategories();
}
}  // namespace

TCategoryList& CategoryList() {
    return store().categories;
}
std::map<int, TCategory*>& CategoryMap() {
    return store().categoryMap;
}
std::map<int, TMenuInfo*>& MenuInfoMap() {
    return store().menuInfoMap;
}
bool ProfileMenuLoaded() {
    return store().loaded;
}

QString GetProfileMenuFile() {
    const QString candidate = GetAppDataFolder() + kFileName;
    if (QFile::exists(candidate)) return candidate;
    if (!QFile::copy(JoinPath(ProgramFolder(), kFileName), candidate))
        return JoinPath(ProgramFolder(), kFileName);
    // The template may be installed read-only; the user's copy is rewritten later.
    QFile::setPermissions(candidate, QFile::permissions(candidate) | QFileDevice::WriteOwner);
    return candidate;
}

void LoadProfileMenu() {
    if (store().loaded) return;
    store().loaded = true;
    const QString path = GetProfileMenuFile();
    if (!QFile::exists(path)) {
        MessageDialogs().MessageBox(QStringLiteral("format resource file does not exist."),
                                    QStringLiteral("Vanto Video Converter"));
        return;
    }
    readCatalogue(path);
}

void ReloadProfileMenu() {
    FreeProfileMenu();
    LoadProfileMenu();
}

TMenuInfo* FindMenuInfo(int id) {
    const auto it = store().menuInfoMap.find(id);
    return it == store().menuInfoMap.end() ? nullptr : it->second;
}

TCategory* FindCategory(int categoryId) {
    const auto it = store().categoryMap.find(categoryId);
    return it == store().categoryMap.end() ? nullptr : it->second;
}

void SaveProfileMenu(const QString& xmlText) {
    const QString path = GetProfileMenuFile();
    // Written to a temporary file and renamed over the old one, so a failed write never leaves
    // a half-written catalogue behind.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw EInOutError(QStringLiteral("Cannot write %1: %2").arg(path, file.errorString()));
    const QByteArray bytes = xmlText.toUtf8() + "\r\n";
    if (file.write(bytes) != bytes.size() || !file.commit())
        throw EInOutError(QStringLiteral("Cannot write %1: %2").arg(path, file.errorString()));
}

void FreeProfileMenu() {
    CatalogueStore& s = store();
    s.menuInfoMap.clear();
    s.categoryMap.clear();
    s.categories.clear();
    s.loaded = false;
}
