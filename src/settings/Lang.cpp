#include "settings/Lang.h"

#include <QDomDocument>
#include <QFile>
#include <QRegularExpression>

#include "app/DialogSeam.h"
#include "app/Utils.h"
#include "settings/Options.h"

namespace {
std::unique_ptr<TLang> g_lang;
bool g_loaded = false;
}  // namespace

TLang& Lang() {
    if (!g_lang) g_lang = std::make_unique<TLang>();
    return *g_lang;
}

void ResetLang() {
    g_lang.reset();
    g_loaded = false;
}

void LoadLangFile(TLang& table, const QString& fileName, const QString& language) {
    table.Language = language;
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw ELangError(QStringLiteral("Cannot open %1: %2").arg(fileName, file.errorString()));
    QDomDocument doc;
    QString err;
    int line = 0, column = 0;
    if (!doc.setContent(&file, &err, &line, &column))
        throw ELangError(QStringLiteral("%1 is not a valid language file (line %2, column %3: %4)")
                             .arg(fileName)
                             .arg(line)
                             .arg(column)
                             .arg(err));
    for (QDomNode top = doc.firstChild(); !top.isNull(); top = top.nextSibling()) {
        if (!top.isElement() || top.nodeName() != QLatin1String("Lang")) continue;
        for (QDomElement child = top.firstChildElement(); !child.isNull();
             child = child.nextSiblingElement()) {
            if (child.tagName() == QLatin1String("Default")) {
                const QDomElement font = child.firstChildElement(QStringLiteral("Font"));
                bool ok = false;
                const int size = font.attribute(QStringLiteral("Size")).toInt(&ok);
                if (font.isNull() || !ok)
                    throw ELangError(QStringLiteral("%1: the font size is not a number").arg(fileName));
                table.FontSize = size;
                table.CharSet = font.attribute(QStringLiteral("Charset"));
            } else if (child.tagName() == QLatin1String("Item")) {
                TLngItem item;
                item.Name = child.attribute(QStringLiteral("name"));
                item.EnValue = child.attribute(QStringLiteral("en"));
                if (language != QLatin1String("en")) {
                    const QString translated = child.attribute(language);
                    if (!translated.isEmpty()) item.EnValue = translated;
                }
                if (table.ItemMap.contains(item.Name))
                    throw ELangError(
                        QStringLiteral("%1: the key \"%2\" appears twice").arg(fileName, item.Name));
                table.ItemMap.insert(item.Name, item);
            }
        }
    }
}

void LoadLang() {
    if (g_loaded) return;
    g_loaded = true;
    TLang& table = Lang();
    const QString path = JoinPath(ProgramFolder(), QStringLiteral("Lang.dll"));
    if (!QFile::exists(path)) {
        MessageDialogs().MessageBox(QStringLiteral("Lang resource file does not exist."),
                                    QStringLiteral("Vanto Video Converter"));
        return;
    }
    // Only a plain language code names an attribute; anything else reads the English texts.
    QString language = GetOptions().LangValue.trimmed().toLower();
    static const QRegularExpression code(QStringLiteral("^[a-z]{2,3}$"));
    if (!code.match(language).hasMatch()) language = QStringLiteral("en");
    LoadLangFile(table, path, language);
}

QString GetLangText(const QString& key) {
    if (key.isEmpty()) return QString();
    const auto it = Lang().ItemMap.constFind(key);
    if (it == Lang().ItemMap.constEnd()) throw ELangError(QStringLiteral("Item not found: \"%1\"").arg(key));
    return it->EnValue;
}
