#include "settings/Options.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>
#include <memory>
#include <thread>

#include "app/DialogSeam.h"
#include "app/SafeFiles.h"
#include "app/Utils.h"
#include "settings/Lang.h"

namespace {
std::unique_ptr<TOptions> g_options;
bool g_saveFailureShown = false;

QString replaceMyDocuments(const QString& value) {
    QString v = value;
    v.replace(QStringLiteral("%My Documents%"), GetSharedDocumentsFolder(), Qt::CaseInsensitive);
    return v;
}

bool parseBool(const QString& v, bool& out) {
    if (v.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0) {
        out = true;
        return true;
    }
    if (v.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0) {
        out = false;
        return true;
    }
    bool ok = false;
    const qlonglong n = v.toLongLong(&ok);
    if (!ok) return false;
    out = n != 0;
    return true;
}

bool parseInt(const QString& v, int& out) {
    bool ok = false;
    const int n = v.toInt(&ok, 10);
    if (ok) out = n;
    return ok;
}

// Seconds, or "off" (any letter case) for 0; a negative or other value is ignored.
void parseResumableFrom(const QString& v, int& out) {
    if (v.compare(QLatin1String("off"), Qt::CaseInsensitive) == 0) {
        out = 0;
        return;
    }
    int seconds = 0;
    if (parseInt(v, seconds) && seconds >= 0) out = seconds;
}

// A line is "key=value", and reading splits it at every "=" and trims blanks, so a value with
// "=", a line break or blanks at its ends would not come back. Such a value is written under the
// key with "%" appended and percent-encoded (UTF-8): readers of the plain format skip that key,
// and every line they do read means the same as before.
bool needsEscape(const QString& value) {
    if (value != TrimBlanks(value)) return true;
    for (const QChar c : value)
        if (c == QLatin1Char('=') || c.unicode() < 0x20 || c.unicode() == 0x7f) return true;
    return false;
}

// The key and value of an escaped line ("key%=encoded"); false for any other line.
bool escapedLine(const QString& line, QString* key, QString* value) {
    const qsizetype eq = line.indexOf(QLatin1Char('='));
    if (eq < 2 || line[eq - 1] != QLatin1Char('%')) return false;
    *key = TrimBlanks(line.left(eq - 1));
    *value = QString::fromUtf8(QByteArray::fromPercentEncoding(TrimBlanks(line.mid(eq + 1)).toLatin1()));
    return !key->isEmpty();
}

// The program folder's own copy of the options file, installed with the program. Read when the
// per-user file can't be made, never written.
QString templatePath() {
    return JoinPath(ProgramFolder(), QStringLiteral("vantooptions.ini"));
}

bool samePath(const QString& a, const QString& b) {
    const QString ca = QFileInfo(a).canonicalFilePath(), cb = QFileInfo(b).canonicalFilePath();
    if (!ca.isEmpty() && ca == cb) return true;
    return QDir::cleanPath(QFileInfo(a).absoluteFilePath()) == QDir::cleanPath(QFileInfo(b).absoluteFilePath());
}
}  // namespace

QString TOptions::ProgramVersion() {
    return QStringLiteral("%1.%2.%3.%4")
        .arg(VANTO_VERSION_MAJOR)
        .arg(VANTO_VERSION_MINOR)
        .arg(VANTO_VERSION_PATCH)
        .arg(VANTO_VERSION_TWEAK);
}

TOptions::TOptions() {
    const QString shared = GetSharedDocumentsFolder();
    DefaultOutput = JoinPath(shared, QStringLiteral("Vantosoft/OutPut"));
    LangValue = QStringLiteral("en");
    shapShotDir = DefaultOutput;
    SnapShotFormat = 0;
    AutoUpdate = true;
    UpdatePeriod = QStringLiteral("week");
    Recent = QStringLiteral("1055");
    ResultList = QStringList{QStringLiteral("1055")};
    OutPutFolder = DefaultOutput;
    const unsigned cpus = std::thread::hardware_concurrency();
    CPUCount = cpus > 0 ? static_cast<int>(cpus) : 1;
    Support = QStringLiteral("https://www.vantosoft.com/support/");
    HomePage = QStringLiteral("https://www.vantosoft.com/");
    Vesion = ProgramVersion();
    ProductPage = HomePage;
    ProductName = QStringLiteral("Vanto Video Converter");
    DownloadPage = QString();
    SupportEmail = QStringLiteral("support@vantosoft.com");
    SaleEmail = QStringLiteral("sales@vantosoft.com");
    HelpPage = QString();
    ProductID = QStringLiteral("Vanto_Video_Convertr_B510_Studio");
    RegPath = QStringLiteral("Software\\Vantosoft\\VideConvertFull");
    AppFolder = QStringLiteral("VantoVideoConverterV1");
    IsUseProxy = QStringLiteral("no");
    ResumableFromSeconds = 5 * 60;
}

QString TOptions::UserOptionsFilePath() {
    return GetAppDataFolder() + QStringLiteral("vantooptions.ini");
}

QString TOptions::OptionsFilePath() {
    const QString candidate = UserOptionsFilePath();
    if (!SafeFiles::EntryExists(candidate)) {
        const QString installed = templatePath();
        if (!QFile::copy(installed, candidate)) return installed;
        // The template may be read-only in the program folder; the user's copy must not be.
        QFile::setPermissions(candidate, QFileDevice::WriteOwner | QFileDevice::ReadOwner);
    }
    return candidate;
}

void TOptions::LoadOptions() {
    LoadOptions(OptionsFilePath());
}

void TOptions::LoadOptions(const QString& iniFile) {
    QFile file(iniFile);
    if (file.open(QIODevice::ReadOnly)) {
        QTextStream in(&file);
        while (!in.atEnd()) {
            const QString line = TrimBlanks(in.readLine());
            QString key, value;
            if (!escapedLine(line, &key, &value)) {
                const QStringList parts = SplitString(line, QStringLiteral("="));
                if (parts.size() != 2) continue;
                key = parts[0];
                value = parts[1];
            }
            if (key == QLatin1String("product_id"))
                ProductID = value;
            else if (key == QLatin1String("reg_path"))
                RegPath = value;
            else if (key == QLatin1String("app_folder"))
                AppFolder = value;
            else if (key == QLatin1String("language"))
                LangValue = value;
            else if (key == QLatin1String("snapshot_dir"))
                shapShotDir = AbsoluteFolder(replaceMyDocuments(value));
            else if (key == QLatin1String("snapshot_format"))
                parseInt(value, SnapShotFormat);
            else if (key == QLatin1String("auto_update"))
                parseBool(value, AutoUpdate);
            else if (key == QLatin1String("auto_period"))
                UpdatePeriod = value;
            else if (key == QLatin1String("output_folder"))
                OutPutFolder = AbsoluteFolder(replaceMyDocuments(value));
            else if (key == QLatin1String("cpu_count"))
                parseInt(value, CPUCount);
            else if (key == QLatin1String("use_proxy"))
                IsUseProxy = value;
            else if (key == QLatin1String("proxy_addr"))
                ProxyAddress = value;
            else if (key == QLatin1String("proxy_port"))
                ProxyPort = value;
            else if (key == QLatin1String("proxy_user"))
                ProxyUserName = value;
            else if (key == QLatin1String("proxy_pwd"))
                ProxyPwd = value;
            else if (key == QLatin1String("lastupdate"))
                LastUpdate = value;
            else if (key == QLatin1String("recent"))
                Recent = value;
            else if (key == QLatin1String("resumable_from"))
                parseResumableFrom(value, ResumableFromSeconds);
            else if (key == QLatin1String("video_site"))
                VideoSite = value;
            else if (key == QLatin1String("update_server"))
                UpdateServer = value;
            else if (key == QLatin1String("main_window"))
                MainWindowPlace = value;
        }
    }
    ResultList = SplitString(Recent, QStringLiteral(","));
}

void TOptions::SaveOptions() {
    // Always the per-user file: the program folder's template is shared by every user and
    // belongs to the installation.
    const QString path = UserOptionsFilePath();
    if (samePath(path, templatePath()))
        throw EInOutError(QStringLiteral("Cannot write %1: there is no per-user data folder").arg(path));
    SaveOptions(path);
}

void TOptions::SaveOptions(const QString& fileName) {
    Recent.clear();
    for (qsizetype i = 0; i < ResultList.size() && i < 9; ++i)
        Recent += ResultList[i] + ',';

    QString text;
    auto put = [&text](const char* key, const QString& value) {
        if (needsEscape(value))
            text += QLatin1String(key) + QStringLiteral("%=") + QString::fromLatin1(value.toUtf8().toPercentEncoding()) +
                    QStringLiteral("\r\n");
        else
            text += QLatin1String(key) + '=' + value + QStringLiteral("\r\n");
    };
    put("product_id", ProductID);
    put("reg_path", RegPath);
    put("app_folder", AppFolder);
    put("language", LangValue);
    put("snapshot_dir", shapShotDir);
    put("snapshot_format", QString::number(SnapShotFormat));
    put("auto_update", AutoUpdate ? QStringLiteral("-1") : QStringLiteral("0"));
    put("auto_period", UpdatePeriod);
    put("output_folder", OutPutFolder);
    put("cpu_count", QString::number(CPUCount));
    put("use_proxy", IsUseProxy);
    put("proxy_addr", ProxyAddress);
    put("proxy_port", ProxyPort);
    put("proxy_user", ProxyUserName);
    put("proxy_pwd", ProxyPwd);
    put("lastupdate", LastUpdate);
    put("recent", Recent);
    put("resumable_from", QString::number(ResumableFromSeconds));
    if (!VideoSite.isEmpty()) put("video_site", VideoSite);
    if (!UpdateServer.isEmpty()) put("update_server", UpdateServer);
    if (!MainWindowPlace.isEmpty()) put("main_window", MainWindowPlace);
    // Written to a temporary file beside it and renamed over the old one: a full disk or a
    // read-only folder leaves the previous file whole. The file holds the proxy password, so the
    // temporary file is its owner's alone from the moment it exists.
    QString error;
    if (!SafeFiles::WriteAtomically(fileName, text.toUtf8(), &error)) throw EInOutError(error);
}

bool SaveOptionsReported() {
    try {
        GetOptions().SaveOptions();
        g_saveFailureShown = false;
        return true;
    } catch (const EInOutError& e) {
        if (!g_saveFailureShown) {
            g_saveFailureShown = true;
            MessageDialogs().MessageBox(
                FormatText(GetLangText(QStringLiteral("OptionsSaveFailed")), {QString::fromUtf8(e.what())}),
                GetOptions().ProductName);
        }
        return false;
    }
}

QString TOptions::YouTubeDowloadPath() const {
    const QString path = JoinPath(OutPutFolder, QStringLiteral("Youtube")) + '/';
    QDir().mkpath(path);
    return path;
}

TOptions& GetOptions() {
    if (!g_options) {
        g_options = std::make_unique<TOptions>();
        g_options->LoadOptions();
    }
    return *g_options;
}

void ResetOptions() {
    g_options.reset();
    g_saveFailureShown = false;
}
