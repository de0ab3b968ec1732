#include "online/YouTubePage.h"

#include "app/CommEntity.h"
#include "app/Utils.h"
#include "online/OnlineSites.h"
#include "online/PcreRegex.h"

namespace {
// The expressions exactly as the page layout needs them.
const char* const kTitle = R"((\<\s*meta\s*name\s*=\s*\"title\"\s*content\s*=\s*")(.*?)(\"\s*\>))";
const char* const kTitleHead = R"((\<\s*meta\s*name\s*=\s*\"title\"\s*content\s*=\s*"))";
const char* const kTitleTail = R"((\"\s*\>))";
const char* const kScript = R"((var\s*swfHTML\s*=)(.*?)(\>\s*\"\s*;))";
const char* const kScriptHead = R"((var\s*swfHTML\s*=))";
const char* const kScriptTail = R"((\"\s*;))";
const char* const kBrowserSwitch = R"((\(isIE\)\s*\?\s*\"))";
const char* const kFlashVars = R"((\<param\s*name\s*\=\s*"flashvars"\s*value\s*=\s*")(.*?)(\s*"\s*>))";
const char* const kFlashVarsHead = R"((\<param\s*name\s*\=\s*"flashvars"\s*value\s*=\s*"))";
const char* const kFlashVarsTail = R"((\s*"\s*>))";

// Every match of the head, then of the tail, removed from `text`.
QByteArray strip(QByteArray text, std::initializer_list<const char*> patterns) {
    for (const char* p : patterns)
        text = TPcreRegex(p).RemoveAll(text);
    return text;
}

void analyse(const QByteArray& text, ListFileInfo& entry);

// `entry` without every occurrence of `prefix`, compared without regard to letter case.
QString withoutPrefixes(QString entry, const QString& prefix) {
    entry.remove(prefix, Qt::CaseInsensitive);
    return entry;
}
}  // namespace

namespace YouTubePage {

bool IsSafeVideoId(const QString& id) {
    if (id.isEmpty() || id.size() > 64) return false;
    for (const QChar c : id) {
        const char16_t u = c.unicode();
        const bool ok = (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '_' ||
                        u == '-';
        if (!ok) return false;
    }
    return true;
}

QString Printable(const QString& text) {
    QString out;
    for (const QChar c : text.left(80)) {
        if (c.isPrint() && c != QLatin1Char('\\'))
            out += c;
        else if (c.unicode() < 0x100)
            out += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
    }
    if (text.size() > 80) out += QStringLiteral("... (%1 characters)").arg(text.size());
    return out;
}

QHash<QString, QString> VariableTable(const QString& flashVars) {
    QHash<QString, QString> table;
    for (const QString& piece : SplitString(flashVars, QStringLiteral("&"))) {
        const QStringList parts = piece.split('=');
        if (parts.size() != 2) continue;
        const QString name = parts[0].toLower();
        if (table.contains(name))
            table[name] = parts[1];
        else
            table.insert(UrlDecode(name), UrlDecode(parts[1]));
    }
    return table;
}

void Analyse(const QString& page, ListFileInfo& entry) {
    const QByteArray text = page.toUtf8();
    if (text.size() > kMaxPageBytes)
        throw EPageRefused(QStringLiteral("The page is larger than %1 MiB").arg(kMaxPageBytes >> 20).toStdString());
    try {
        const TRegexDeadline deadline(kAnalysisBudgetMs);
        analyse(text, entry);
    } catch (const ERegexLimit&) {
        throw EPageRefused("The page is built so that reading it would take too long");
    }
}

}  // namespace YouTubePage

namespace {
void analyse(const QByteArray& text, ListFileInfo& entry) {
    QByteArray found;
    if (TPcreRegex(kTitle).Match(text, &found))
        entry.YoutubeTitle = QString::fromUtf8(strip(found, {kTitleHead, kTitleTail}));

    if (!TPcreRegex(kScript).Match(text, &found)) return;
    QByteArray player = strip(found, {kScriptHead, kScriptTail, kBrowserSwitch});
    player.replace('\\', QByteArray());

    if (!TPcreRegex(kFlashVars).Match(player, &found)) return;
    const QString flashVars = QString::fromUtf8(strip(found, {kFlashVarsHead, kFlashVarsTail}));
    const QHash<QString, QString> vars = YouTubePage::VariableTable(flashVars);

    if (vars.contains(QStringLiteral("video_id"))) {
        const QString id = vars.value(QStringLiteral("video_id"));
        // The identifier names the downloaded file and the converted one.
        if (!YouTubePage::IsSafeVideoId(id))
            throw YouTubePage::EPageRefused(
                QStringLiteral("The page gives a video identifier that can't be used: \"%1\"")
                    .arg(YouTubePage::Printable(id))
                    .toStdString());
        entry.YoutubeVideId = id;
        entry.YoutubeThumbnailUrl = OnlineSites::ImageServer() + QStringLiteral("/vi/%1/default.jpg").arg(id);
        entry.YoutubeVideoUrl = OnlineSites::VideoSite() + QStringLiteral("/v/%1").arg(id);
    }
    if (vars.contains(QStringLiteral("length_seconds")))
        entry.YoutubeLength = vars.value(QStringLiteral("length_seconds"));

    const QString map = vars.contains(QStringLiteral("fmt_url_map"))
                            ? vars.value(QStringLiteral("fmt_url_map"))
                            : vars.value(QStringLiteral("fmt_stream_map"));
    for (const QString& stream : SplitString(map, QStringLiteral(","))) {
        if (stream.startsWith(QLatin1String("34|"), Qt::CaseInsensitive))
            entry.YoutubeMp4Url = withoutPrefixes(stream, QStringLiteral("34|"));
        else if (stream.startsWith(QLatin1String("5|"), Qt::CaseInsensitive))
            entry.YoutubeFlvUrl = withoutPrefixes(stream, QStringLiteral("5|"));
    }
}
}  // namespace
