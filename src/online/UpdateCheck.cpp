#include "online/UpdateCheck.h"

#include <QDir>
#include <QLocale>
#include <QRegularExpression>
#include <QStandardPaths>
#include <stdexcept>

#include "app/SafeFiles.h"
#include "app/Utils.h"
#include "online/HttpClient.h"
#include "online/OnlineSites.h"
#include "online/UpdateSignature.h"
#include "online/WorkingFile.h"
#include "settings/Options.h"

namespace UpdateCheck {

bool ParseVersion(const QString& text, QList<int>* numbers) {
    static const QRegularExpression re(QStringLiteral("^[0-9]{1,9}(\\.[0-9]{1,9})*$"));
    const QString t = TrimBlanks(text);
    if (!re.match(t).hasMatch()) return false;
    numbers->clear();
    for (const QString& part : t.split('.'))
        numbers->append(part.toInt());
    return true;
}

int CompareVersions(const QString& a, const QString& b) {
    QList<int> x, y;
    if (!ParseVersion(a, &x)) throw std::runtime_error("Not a version number: " + a.left(80).toStdString());
    if (!ParseVersion(b, &y)) throw std::runtime_error("Not a version number: " + b.left(80).toStdString());
    for (qsizetype i = 0; i < std::max(x.size(), y.size()); ++i) {
        const int u = i < x.size() ? x[i] : 0;
        const int v = i < y.size() ? y[i] : 0;
        if (u != v) return u < v ? -1 : 1;
    }
    return 0;
}

QString VersionFileUrl() {
    return OnlineSites::UpdateServer() + QStringLiteral("/newversion/version.txt");
}

QString InstallerUrl() {
    const TOptions& o = GetOptions();
    if (!o.DownloadPage.isEmpty()) return o.DownloadPage;
    return OnlineSites::UpdateServer() + QStringLiteral("/download1/%1.deb").arg(o.ProductID);
}

QString PackageFileName() {
    return GetOptions().ProductID + QStringLiteral(".deb");
}

namespace {
QString dateFormat() {
    QString f = QLocale().dateFormat(QLocale::ShortFormat);
    if (!f.contains(QLatin1String("yyyy"))) f.replace(QLatin1String("yy"), QLatin1String("yyyy"));
    return f;
}
}  // namespace

QString DateText(const QDate& date) {
    return QLocale().toString(date, dateFormat());
}

QDate ReadDate(const QString& text) {
    const QDate d = QLocale().toDate(TrimBlanks(text), dateFormat());
    return d.isValid() ? d : QDate::fromString(TrimBlanks(text), Qt::ISODate);
}

void ConfigureClient(THttpClient& http) {
    http.Accept = QStringLiteral("text/html, */*");
    http.UserAgent = QStringLiteral("Mozilla/3.0 (compatible; Indy Library)");
    http.SetProxy(THttpProxy());
}

QString FetchOfferedVersion(THttpClient& http) {
    const QString remote = TrimBlanks(http.GetText(VersionFileUrl()));
    QList<int> numbers;
    if (!ParseVersion(remote, &numbers))
        throw std::runtime_error("The update server offers no version number: " + remote.left(80).toStdString());
    return remote;
}

QString MakePackageFolder(QString* error) {
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (cache.isEmpty()) {
        if (error) *error = QStringLiteral("There is no cache folder for this user");
        return QString();
    }
    return SafeFiles::MakePrivateFolder(JoinPath(cache, GetAppFolderName()), QStringLiteral("update-"), error);
}

void RemovePackageFolder(const QString& folder) {
    if (!folder.isEmpty()) QDir().rmdir(folder);  // only an empty folder goes
}

bool VerifyPackage(THttpClient& http, const TWorkingFile& package, QString* why) {
    const QString url = InstallerUrl();
    try {
        // Both are small: the client's cap for bodies in memory applies.
        const QByteArray published = UpdateSignature::ChecksumOf(http.Get(url + QStringLiteral(".sha256")));
        if (published.isEmpty()) {
            if (why) *why = QStringLiteral("The published checksum is not a SHA-256 checksum");
            return false;
        }
        if (published != package.Sha256()) {
            if (why) *why = QStringLiteral("The SHA-256 checksum does not match");
            return false;
        }
        const QByteArray signature = http.Get(url + QStringLiteral(".minisig"));
        return UpdateSignature::Verify(UpdateSignature::TrustedKey(), package.Blake2b512(), signature, why);
    } catch (const std::exception& e) {
        if (why) *why = QString::fromUtf8(e.what());
        return false;
    }
}

}  // namespace UpdateCheck
