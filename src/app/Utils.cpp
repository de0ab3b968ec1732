#include "app/Utils.h"

#include <algorithm>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QTextStream>

#include "app/DialogSeam.h"

namespace {
QString g_programFolderOverride;
}  // namespace

QString ProgramFolder() {
    if (!g_programFolderOverride.isEmpty()) return g_programFolderOverride;
    if (QCoreApplication::instance()) return QCoreApplication::applicationDirPath();
    return QFileInfo(QFile::symLinkTarget(QStringLiteral("/proc/self/exe"))).absolutePath();
}

void SetProgramFolderOverride(const QString& folder) {
    QString f = folder;
    while (f.size() > 1 && f.endsWith('/'))
        f.chop(1);
    g_programFolderOverride = f;
}

QString ReduceSeparators(const QString& path) {
    QString p = path;
    qsizetype i;
    while ((i = p.indexOf(QLatin1String("//"))) >= 0)
        p.remove(i, 1);
    return p;
}

QString JoinPath(const QString& a, const QString& b) {
    if (a.isEmpty()) return ReduceSeparators(b);
    return ReduceSeparators(a + '/' + b);
}

QString AbsoluteFolder(const QString& folder) {
    if (folder.isEmpty()) return folder;
    return QDir::cleanPath(QDir::home().absoluteFilePath(folder));
}

bool IsValidOutputBaseName(const QString& name) {
    const QString trimmed = name.trimmed();
    if (trimmed.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..")) return false;
    return !name.contains('/') && !name.contains(QChar(0));
}

QString GetAppFolderName() {
    QFile f(JoinPath(ProgramFolder(), QStringLiteral("tempconfig.ini")));
    if (f.exists() && f.open(QIODevice::ReadOnly | QIODevice::Text)) {
        QTextStream in(&f);
        return TrimBlanks(in.readLine());
    }
    return QStringLiteral("Vantosoft");
}

QString GetAppDataFolder() {
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (base.isEmpty()) return ProgramFolder() + '/';
    const QString folder = JoinPath(base, GetAppFolderName()) + '/';
    // On this platform the per-user data folder itself may not exist yet on a new account,
    // so missing parents are created too.
    QDir().mkpath(folder);
    return folder;
}

QString GetSharedDocumentsFolder() {
    QString docs = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (docs.isEmpty()) return ProgramFolder() + '/';
    while (docs.size() > 1 && docs.endsWith('/'))
        docs.chop(1);
    return docs;
}

QString GetTempFolder() {
    const QString t = QDir::tempPath();
    if (t.isEmpty()) return QString();
    return t.endsWith('/') ? t : t + '/';
}

bool CanCreateFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    f.close();
    return true;
}

QString ReadMachineRegString(const QString& key, const QString& valueName) {
    QSettings settings(QSettings::IniFormat, QSettings::SystemScope, QStringLiteral("Vantosoft"),
                       QStringLiteral("VantoVideoConverter"));
    if (settings.status() != QSettings::NoError) return QString();
    QString group = key;
    group.replace('\\', '/');
    const QVariant v = settings.value(group + '/' + valueName);
    return v.isValid() ? v.toString() : QString();
}

bool BrowseForFolder(const QString& title, QWidget* owner, QString& path) {
    return MessageDialogs().BrowseForFolder(title, owner, path);
}

QString TrimBlanks(const QString& s) {
    qsizetype b = 0, e = s.size();
    while (b < e && s[b].unicode() <= 0x20)
        ++b;
    while (e > b && s[e - 1].unicode() <= 0x20)
        --e;
    return s.mid(b, e - b);
}

QStringList SplitString(const QString& text, const QString& separator) {
    QStringList result;
    if (separator.isEmpty()) {
        const QString t = TrimBlanks(text);
        if (!t.isEmpty()) result << t;
        return result;
    }
    QString rest = text + separator;
    qsizetype pos = 0;
    while (pos < rest.size()) {
        qsizetype i = rest.indexOf(separator, pos);
        if (i < 0) i = rest.size();
        const QString piece = TrimBlanks(rest.mid(pos, i - pos));
        if (!piece.isEmpty()) result << piece;
        pos = i + separator.size();
    }
    return result;
}

QString FormatTimeMs(qint64 t) {
    const qint64 hours = t / 1000000 / 60 / 60;
    const qint64 minutes = (t / 1000000 / 60) % 60;
    const qint64 seconds = (t / 1000000) % 60;
    const qint64 ms = (t % 1000000) * 1000 / 1000000;
    return QString::asprintf("%.2lld:%.2lld:%.2lld.%.3lld", static_cast<long long>(hours),
                             static_cast<long long>(minutes), static_cast<long long>(seconds),
                             static_cast<long long>(ms));
}

QString FormatTime(qint64 t) {
    if (t < 0) return QStringLiteral("--:--:--");  // not known
    const qint64 hours = t / 1000000 / 60 / 60;
    const qint64 minutes = (t / 1000000 / 60) % 60;
    const qint64 seconds = (t / 1000000) % 60;
    return QString::asprintf("%.2lld:%.2lld:%.2lld", static_cast<long long>(hours),
                             static_cast<long long>(minutes), static_cast<long long>(seconds));
}

qint64 ParseTime(const QString& text) {
    const QStringList parts = SplitString(text, QStringLiteral(":"));
    if (parts.size() != 3) throw EConvertError(QStringLiteral("'%1' is not a valid time").arg(text));
    qint64 v[3];
    for (int i = 0; i < 3; ++i) {
        bool ok = false;
        v[i] = parts[i].toLongLong(&ok, 10);
        if (!ok) throw EConvertError(QStringLiteral("'%1' is not a valid integer value").arg(parts[i]));
    }
    return v[0] * 3600 * 1000000 + v[1] * 60 * 1000000 + v[2] * 1000000;
}

bool IsDigits(const QString& text) {
    const QString t = TrimBlanks(text);
    for (QChar c : t)
        if (c < '0' || c > '9') return false;
    return true;
}

qint64 HexToInt64(const QString& text) {
    QString t = text.left(255).toUpper();
    if (t.endsWith('H')) t.chop(1);
    quint64 value = 0;
    for (QChar c : t) {
        int digit;
        if (c >= '0' && c <= '9')
            digit = c.unicode() - '0';
        else if (c >= 'A' && c <= 'F')
            digit = c.unicode() - 'A' + 10;
        else
            return 0;
        value = value * 16 + static_cast<quint64>(digit);
    }
    return static_cast<qint64>(value);
}

QString UrlDecode(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == '%' && i + 2 < text.size()) {
            out += QChar(static_cast<char16_t>(HexToInt64(text.mid(i + 1, 2))));
            i += 2;
        } else if (c == '+') {
            out += ' ';
        } else {
            // Includes a "%" without two characters after it, which is kept as it is.
            out += c;
        }
    }
    return out;
}

qint64 LengthFromFileSize(qint64 fileSize, qint64 sourceBitRate, qint64 outputBitRate) {
    const qint64 rate = sourceBitRate > 0 ? sourceBitRate : outputBitRate;
    if (fileSize <= 0 || rate <= 0) return 0;
    return static_cast<qint64>(static_cast<double>(fileSize) * 8.0 * 1000000.0 / static_cast<double>(rate));
}

QString EstimatedSizeText(qint64 videoBitrate, qint64 audioBitrate, qint64 durationUs) {
    // A rate of -1 ("Auto" in the settings dialog) is not known in advance and adds nothing.
    videoBitrate = std::max<qint64>(videoBitrate, 0);
    audioBitrate = std::max<qint64>(audioBitrate, 0);
    const qint64 bits = (videoBitrate + audioBitrate) * durationUs / 1000000;
    const double mb = static_cast<double>(bits) / 8.0 / 1024.0 / 1024.0;
    return QString::asprintf("%.2f", mb) + QStringLiteral("MB");
}

QString FormatText(const QString& format, const QStringList& args) {
    QString out;
    out.reserve(format.size() + 32);
    qsizetype next = 0;
    for (qsizetype i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size()) {
            if (format[i + 1] == 's') {
                if (next < args.size()) out += args[next];
                ++next;
                ++i;
                continue;
            }
            if (format[i + 1] == '%') {
                out += '%';
                ++i;
                continue;
            }
        }
        out += format[i];
    }
    return out;
}

void ShowInfo(const QString& text) {
    try {
        MessageDialogs().ShowInfo(text);
    } catch (...) {
    }
}

int AskQuestion(const QString& text, const QString& title, bool multiAsk) {
    try {
        return MessageDialogs().AskQuestion(text, title, multiAsk);
    } catch (...) {
        return mrNo;
    }
}

int Ask(const QString& text) {
    return AskQuestion(text, QString(), false);
}
