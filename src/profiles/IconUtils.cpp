#include "profiles/IconUtils.h"

#include <QDir>
#include <QImageReader>

#include "app/Utils.h"

namespace {
struct IconStore {
    bool loaded = false;
    QHash<QString, QImage> map;
};

IconStore& store() {
    static IconStore s;
    return s;
}

QString iconKey(const QString& fileName) {
    QString key = fileName.trimmed().toLower();
    key.remove(QStringLiteral(".png"));
    return key;
}
}  // namespace

QString IconFolder() {
    return JoinPath(ProgramFolder(), QStringLiteral("ICON"));
}

QString MenuArrowFile() {
    return JoinPath(IconFolder(), QStringLiteral("MenuArrow.bmp"));
}

void LoadIcons() {
    IconStore& s = store();
    if (s.loaded) return;
    s.loaded = true;
    const QDir folder(IconFolder());
    // The extension is matched in any letter case, as "*.png" matches on case-insensitive systems.
    const QStringList all = folder.entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    for (const QString& name : all) {
        if (!name.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive)) continue;
        QImageReader reader(folder.filePath(name), "png");
        reader.setDecideFormatFromContent(false);
        QImage image = reader.read();
        if (image.isNull())
            throw EProfileDataError(QStringLiteral("%1: not a readable PNG picture: %2")
                                        .arg(folder.filePath(name), reader.errorString()));
        const QString key = iconKey(name);
        if (!s.map.contains(key)) s.map.insert(key, image);
    }
}

QImage GetIcon(const QString& key) {
    return store().map.value(key.toLower());
}

const QHash<QString, QImage>& IconMap() {
    return store().map;
}

bool IconsLoaded() {
    return store().loaded;
}

void FreeIcons() {
    store().map.clear();
    store().loaded = false;
}
