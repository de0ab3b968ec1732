#pragma once
// The update check's parts that need no window: the addresses, the version comparison, the dates
// of the last check, the private folder a package is downloaded into, and the verification of a
// downloaded package against the checksum and the signature published beside it. The window's
// flow (UpdateProgram, AutoUpdateCheck) is in UpdateFrm.h; `vanto-convert update` uses these too.

#include <QDate>
#include <QList>
#include <QString>

class THttpClient;
class TWorkingFile;

namespace UpdateCheck {
// Version texts are dotted numbers, compared number by number after blanks and line breaks
// are trimmed; missing numbers count as 0. False when the text is not such a version.
bool ParseVersion(const QString& text, QList<int>* numbers);
// -1, 0 or 1 as `a` is older than, the same as or newer than `b`; throws std::runtime_error
// when either is not a version.
int CompareVersions(const QString& a, const QString& b);

QString VersionFileUrl();  // the update server + "/newversion/version.txt"
QString InstallerUrl();    // DownloadPage, else the update server + "/download1/" + ProductID + ".deb"
QString PackageFileName();  // ProductID + ".deb"

// Dates of the last check as text in the user's short date format with a four-digit year.
QString DateText(const QDate& date);
QDate ReadDate(const QString& text);  // invalid when unreadable

// The request headers of the update check's requests; it always connects directly.
void ConfigureClient(THttpClient& http);
// The version the update server offers, trimmed. Raises EHttpError, or std::runtime_error when
// the text is not a version.
QString FetchOfferedVersion(THttpClient& http);

// A new private folder (0700, a name of its own) under the user's cache folder, for one download
// of the package. Empty with `error` set when it can't be made.
QString MakePackageFolder(QString* error);
// Removes a package folder made by MakePackageFolder in this run, when it holds nothing.
void RemovePackageFolder(const QString& folder);

// Fetches the checksum (InstallerUrl() + ".sha256") and the signature (+ ".minisig") published
// beside the package and checks both against the digests of the bytes written to `package`:
// the signature must be by the release key (UpdateSignature::TrustedKey()). False with `why` set
// otherwise.
bool VerifyPackage(THttpClient& http, const TWorkingFile& package, QString* why);
}  // namespace UpdateCheck
