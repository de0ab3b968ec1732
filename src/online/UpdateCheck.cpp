#include "online/UpdateCheck.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>
#include <stdexcept>

#include "app/AppLogger.h"
#include "app/DialogLook.h"
#include "app/DialogSeam.h"
#include "app/Platform.h"
#include "app/Utils.h"
#include "online/HttpClient.h"
#include "online/OnlineSites.h"
#include "online/UpdateFrm.h"
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

QString InstallerFile() {
    return ReduceSeparators(GetTempFolder() + GetOptions().ProductID + QStringLiteral("_setup.deb"));
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

bool ChecksumMatches(const QString& file, const QByteArray& checksumText) {
    const QByteArray expected = checksumText.trimmed().split(' ').value(0).split('\t').value(0).toLower();
    if (expected.size() != 64) return false;
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) return false;
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&f)) return false;
    return hash.result().toHex() == expected;
}

}  // namespace UpdateCheck

namespace {
// Opens the downloaded package only when the checksum published beside it matches; otherwise
// shows its folder and says so.
void openVerifiedPackage(const QString& file, const AppLogger& log) {
    const QString checksumUrl = UpdateCheck::InstallerUrl() + QStringLiteral(".sha256");
    QString why;
    try {
        THttpClient http;
        ConfigureUpdateClient(http);
        if (UpdateCheck::ChecksumMatches(file, http.Get(checksumUrl))) {
            OpenDocumentReported(file);
            TOptions& o = GetOptions();
            o.LastUpdate.clear();
            SaveOptionsReported();
            return;
        }
        why = QStringLiteral("the SHA-256 checksum does not match");
    } catch (const std::exception& e) {
        why = QString::fromUtf8(e.what());
    }
    log.Error(QStringLiteral("Update not verified: ") + why + ',' + checksumUrl);
    const QString folder = QFileInfo(file).absolutePath();
    ShowInfo(
        FormatText(DialogLook::TextOr(QStringLiteral("UpdateNotVerified"), QStringLiteral("%s")), {folder}));
    OpenDocumentReported(folder);
}
}  // namespace

void UpdateProgram(bool ShowDlg, QWidget* parent, const AppLogger& log) {
    try {
        TfrmUpdate dlg(parent);
        dlg.DownloadLog = log;
        if (!dlg.CheckRemotVersion(ShowDlg)) return;
        dlg.Start();
        const int result = MessageDialogs().ExecDialog(&dlg);
        if (dlg.downloadThread) dlg.downloadThread->wait();
        if (dlg.DownloadFailed())
            ShowInfo(DialogLook::TextOr(QStringLiteral("lbUpdateFailed"), QStringLiteral("lbUpdateFailed")));
        if (result != mrOk) return;
        const QString file = UpdateCheck::InstallerFile();
        if (QFile::exists(file)) openVerifiedPackage(file, log);
    } catch (const std::exception& e) {
        log.Error(QStringLiteral("UpdateProgram: ") + QString::fromUtf8(e.what()));
    }
}

void AutoUpdateCheck(QWidget* parent, const AppLogger& log) {
    try {
        const TOptions& o = GetOptions();
        QString last = ReadMachineRegString(o.RegPath, QStringLiteral("LastUpdate"));
        if (last.isEmpty()) last = o.LastUpdate;
        if (!last.isEmpty()) {
            QDate date = UpdateCheck::ReadDate(last);
            if (!date.isValid()) date = QDate::currentDate();
            if (date.daysTo(QDate::currentDate()) <= 6) return;
        }
        UpdateProgram(false, parent, log);
    } catch (const std::exception& e) {
        log.Error(QStringLiteral("AutoUpdateCheck: ") + QString::fromUtf8(e.what()));
    }
}
