#include "profiles/XmlReading.h"

#include <QFile>
#include <limits>

std::optional<int> ParseDecimal(const QString& text) {
    if (text.isEmpty()) return std::nullopt;
    const qsizetype first = (text[0] == '-' || text[0] == '+') ? 1 : 0;
    if (first == text.size()) return std::nullopt;
    for (qsizetype i = first; i < text.size(); ++i)
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
    bool ok = false;
    const qlonglong v = text.toLongLong(&ok, 10);
    if (!ok || v < std::numeric_limits<int>::min() || v > std::numeric_limits<int>::max())
        return std::nullopt;
    return static_cast<int>(v);
}

QDomDocument XmlFileReader::open() const {
    QFile file(path_);
    if (!file.open(QIODevice::ReadOnly))
        throw EProfileDataError(QStringLiteral("%1: cannot be opened: %2").arg(path_, file.errorString()));
    QDomDocument doc;
    QString message;
    int line = 0, column = 0;
    if (!doc.setContent(&file, &message, &line, &column))
        throw EProfileDataError(QStringLiteral("%1: line %2, column %3: not a well-formed XML document: %4")
                                    .arg(path_)
                                    .arg(line)
                                    .arg(column)
                                    .arg(message));
    return doc;
}

EProfileDataError XmlFileReader::error(const QDomNode& node, const QString& what) const {
    return EProfileDataError(QStringLiteral("%1: line %2: %3").arg(path_).arg(node.lineNumber()).arg(what));
}

QString XmlFileReader::requiredAttribute(const QDomElement& e, const QString& name) const {
    if (!e.hasAttribute(name))
        throw error(e,
                    QStringLiteral("the element \"%1\" lacks its \"%2\" attribute").arg(e.tagName(), name));
    return e.attribute(name);
}

QString XmlFileReader::requiredChildText(const QDomElement& e, const QString& name) const {
    const QDomElement child = e.firstChildElement(name);
    if (child.isNull())
        throw error(e, QStringLiteral("the element \"%1\" lacks its \"%2\" element").arg(e.tagName(), name));
    return child.text();
}

int XmlFileReader::decimal(const QDomNode& node, const QString& what, const QString& text) const {
    const auto v = ParseDecimal(text);
    if (!v) throw error(node, QStringLiteral("\"%1\" of \"%2\" is not a decimal integer").arg(text, what));
    return *v;
}
