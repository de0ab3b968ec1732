#pragma once
// Reading helpers shared by the catalogue and parameter loaders: open an XML data file and read
// required attributes, child texts and decimal numbers, raising EProfileDataError with the file
// name, the line and what is wrong. Used on the user-interface thread.

#include <QDomDocument>
#include <QDomElement>
#include <QString>
#include <optional>

#include "profiles/ProfileDataError.h"

// A decimal integer: optional sign and digits, nothing else; nullopt when it isn't one or
// doesn't fit in 32 bits.
std::optional<int> ParseDecimal(const QString& text);

class XmlFileReader {
public:
    explicit XmlFileReader(QString path) : path_(std::move(path)) {}

    const QString& path() const { return path_; }
    // Reads and parses the whole file.
    QDomDocument open() const;
    EProfileDataError error(const QDomNode& node, const QString& what) const;
    QString requiredAttribute(const QDomElement& e, const QString& name) const;
    // Text of the first child element of that name, which must exist.
    QString requiredChildText(const QDomElement& e, const QString& name) const;
    // `text` as a decimal integer; `what` names the value in the message.
    int decimal(const QDomNode& node, const QString& what, const QString& text) const;

private:
    QString path_;
};
