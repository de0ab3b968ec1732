#pragma once
// The error raised when a shipped or user-edited data file of the profile subsystem (catalogue,
// parameter table, icon pictures) can't be read. The message names the file, the line where it
// is known, and what is wrong. Whatever was loaded before the error stays loaded; the caller
// (start-up, the profile tree dialog) reports the message and goes on.

#include <QString>
#include <stdexcept>

class EProfileDataError : public std::runtime_error {
public:
    explicit EProfileDataError(const QString& msg) : std::runtime_error(msg.toStdString()) {}
    QString message() const { return QString::fromStdString(what()); }
};
