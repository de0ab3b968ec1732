#include "profiles/ProfileMenuText.h"

#include "profiles/Category.h"
#include "profiles/MenuInfo.h"
#include "settings/Lang.h"

QString XmlEscaped(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        switch (c.unicode()) {
            case '&':
                out += QLatin1String("&amp;");
                break;
            case '<':
                out += QLatin1String("&lt;");
                break;
            case '>':
                out += QLatin1String("&gt;");
                break;
            case '"':
                out += QLatin1String("&quot;");
                break;
            case '\'':
                out += QLatin1String("&apos;");
                break;
            // Line breaks and tabs inside an attribute would read back as blanks.
            case '\n':
                out += QLatin1String("&#10;");
                break;
            case '\r':
                out += QLatin1String("&#13;");
                break;
            case '\t':
                out += QLatin1String("&#9;");
                break;
            default:
                out += c;
        }
    }
    return out;
}

namespace {
// The texts to write: those read, with the shown one (perhaps edited) in the program's language;
// the English one is the element's own.
QMap<QString, QString> withShown(QMap<QString, QString> texts, const QString& shown) {
    texts.insert(Lang().Language, shown);
    if (!texts.contains(QStringLiteral("en"))) texts.insert(QStringLiteral("en"), shown);
    return texts;
}

QString element(const char* tag, const QMap<QString, QString>& texts) {
    QString open = QLatin1Char('<') + QLatin1String(tag);
    for (auto it = texts.cbegin(); it != texts.cend(); ++it)
        if (it.key() != QLatin1String("en")) open += QStringLiteral(" %1=\"%2\"").arg(it.key(), XmlEscaped(it.value()));
    return open + QLatin1Char('>') + XmlEscaped(texts.value(QStringLiteral("en"))) + QStringLiteral("</") +
           QLatin1String(tag) + QLatin1Char('>');
}
}  // namespace

QString ProfileMenuText(const std::vector<TProfileMenuNode>& tree) {
    const QString crlf = QStringLiteral("\r\n");
    auto skip = [](bool shown) { return shown ? QStringLiteral("false") : QStringLiteral("true"); };
    QString text = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>") + crlf;
    text += QStringLiteral("<Profiles>") + crlf;
    int flatIndex = 0;  // position in the tree's flat node list, profile nodes counted too
    for (const TProfileMenuNode& node : tree) {
        const TCategory& c = *node.Category;
        text += QStringLiteral(
                    "<category id=\"%1\" title=\"%2\" type=\"%3\" icon=\"%4\" skip=\"%5\" order=\"%6\"")
                    .arg(QString::number(c.ID), XmlEscaped(withShown(c.Titles, c.Title).value("en")),
                         XmlEscaped(c.TypeStr), XmlEscaped(c.Icon), skip(node.Shown), QString::number(flatIndex));
        const QMap<QString, QString> titles = withShown(c.Titles, c.Title);
        for (auto it = titles.cbegin(); it != titles.cend(); ++it)
            if (it.key() != QLatin1String("en"))
                text += QStringLiteral(" title_%1=\"%2\"").arg(it.key(), XmlEscaped(it.value()));
        if (!c.CategoryTag.isEmpty()) text += QStringLiteral(" tag=\"%1\"").arg(XmlEscaped(c.CategoryTag));
        text += QStringLiteral(" >") + crlf;
        ++flatIndex;
        int position = 0;
        for (const TProfileMenuNode::Entry& e : node.Entries) {
            const TMenuInfo& m = *e.Info;
            text +=
                QStringLiteral(
                    "<FormatInfo ID=\"%1\" Format=\"%2\" FourCC=\"%3\" Icon=\"%4\" skip=\"%5\" order=\"%6\">")
                    .arg(XmlEscaped(m.ID), XmlEscaped(m.Format), XmlEscaped(m.FourCC), XmlEscaped(m.Icon),
                         skip(e.Shown), QString::number(position)) +
                crlf;
            text += element("Name", withShown(m.Names, m.Name)) + crlf;
            text += element("Description", withShown(m.Descriptions, m.Description)) + crlf;
            text += QStringLiteral("</FormatInfo>") + crlf;
            ++position;
            ++flatIndex;
        }
        text += QStringLiteral("</category>") + crlf;
    }
    text += QStringLiteral("</Profiles>");
    return text;
}
