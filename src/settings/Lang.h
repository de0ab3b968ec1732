#pragma once
// The process-wide language table: every user-visible text is looked up by key. Read once at
// start-up from "Lang.dll" (an XML document) in the program folder. Each "Item" carries its text
// in one attribute per language ("en", "zh"); the table takes the attribute of the language the
// options name (LangValue) and the English text for a key that has none in that language.

#include <QHash>
#include <QString>
#include <memory>
#include <stdexcept>

class TLngItem {
public:
    QString Name;
    QString EnValue;  // the text shown: the chosen language's, else the English one
};

// Raised when a key is not in the table, or when the file can't be read completely.
class ELangError : public std::runtime_error {
public:
    explicit ELangError(const QString& msg) : std::runtime_error(msg.toStdString()) {}
};

class TLang {
public:
    int FontSize = 0;
    QString CharSet;
    QString Language = QStringLiteral("en");  // the attribute the texts were taken from
    QHash<QString, TLngItem> ItemMap;  // keys compare exactly
};

// Creates the table (once) and fills it from the program folder's "Lang.dll". A missing file is
// reported with a plain message box and leaves the table empty. A malformed file, a repeated key
// or a non-numeric font size raises ELangError; the entries read before it stay.
void LoadLang();
// Fills `table` from `fileName` with the texts of `language`; the part of LoadLang after the file
// check.
void LoadLangFile(TLang& table, const QString& fileName, const QString& language = QStringLiteral("en"));
// The table; empty until LoadLang.
TLang& Lang();
// The text of a key. The empty key gives an empty text; a key the table lacks raises ELangError
// ("Item not found").
QString GetLangText(const QString& key);
// Drops the table (tests).
void ResetLang();
