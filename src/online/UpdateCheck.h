#pragma once
// The update check's addresses, version comparison and dates, and the whole flow that the main
// window runs 2 s after start-up and from Help > Check for Updates.

#include <QDate>
#include <QList>
#include <QString>

class AppLogger;
class QWidget;

namespace UpdateCheck {
// Version texts are dotted numbers, compared number by number after blanks and line breaks
// are trimmed; missing numbers count as 0. False when the text is not such a version.
bool ParseVersion(const QString& text, QList<int>* numbers);
// -1, 0 or 1 as `a` is older than, the same as or newer than `b`; throws std::runtime_error
// when either is not a version.
int CompareVersions(const QString& a, const QString& b);

QString VersionFileUrl();  // the update server + "/newversion/version.txt"
QString InstallerUrl();    // DownloadPage, else the update server + "/download1/" + ProductID + ".deb"
QString InstallerFile();   // the temporary folder + ProductID + "_setup.deb"

// Dates of the last check as text in the user's short date format with a four-digit year.
QString DateText(const QDate& date);
QDate ReadDate(const QString& text);  // invalid when unreadable

// True when the hex SHA-256 at the start of `checksumText` is the checksum of `file`.
bool ChecksumMatches(const QString& file, const QByteArray& checksumText);
}  // namespace UpdateCheck

// The whole flow: version check, question, installer download window, checksum, and opening
// the package through the platform layer. ShowDlg: started from the menu, so every outcome is
// told to the user. Failures are logged and never raised.
void UpdateProgram(bool ShowDlg, QWidget* parent, const AppLogger& log);
// The automatic check: runs UpdateProgram(false) when the last check is unknown or more than
// six days old.
void AutoUpdateCheck(QWidget* parent, const AppLogger& log);
