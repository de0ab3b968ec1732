#include "settings/ReasonText.h"

#include <QRegularExpression>
#include <vector>

#include "app/Utils.h"
#include "settings/Lang.h"

namespace {
struct Pattern {
    const char* key;
    const char* english;  // the reason as the engine writes it; "%s" stands for a name or number
};

// The reasons a user meets: the library's error texts, opening and writing files, the codecs.
const Pattern kPatterns[] = {
    {"ReasonNoFile", "No such file or directory"},
    {"ReasonIo", "I/O error"},
    {"ReasonMemory", "Not enough memory"},
    {"ReasonOutOfMemory", "Out of memory"},
    {"ReasonInvalidData", "Invalid data found when processing input"},
    {"ReasonEnd", "End of file"},
    {"ReasonNotSupported", "Operation not supported"},
    {"ReasonUnknownFormat", "Unknown format"},
    {"ReasonProtocol", "Unsupported network protocol"},
    {"ReasonIsFolder", "Is a directory"},
    {"ReasonDenied", "Permission denied"},
    {"ReasonErrorNumber", "Error number %s occurred"},
    {"ReasonNoCodecParameters", "could not find codec parameters"},
    {"ReasonAudioEncoding", "Audio encoding failed"},
    {"ReasonVideoEncoding", "Video encoding failed"},
    {"ReasonSubtitleEncoding", "Subtitle encoding failed"},
    {"ReasonFilters", "Error opening filters!"},
    {"ReasonFiltersBecause", "Error opening filters: %s"},
    {"ReasonOpenBecause", "Could not open '%s': %s"},
    {"ReasonOpen", "Could not open '%s'"},
    {"ReasonCreateBecause", "Could not create '%s': %s"},
    {"ReasonCreate", "Could not create '%s'"},
    {"ReasonWriteBecause", "Could not write %s: %s"},
    {"ReasonConvertedMissing", "The converted file '%s' is missing"},
    {"ReasonMoveConverted", "Could not move the converted file to '%s'"},
    {"ReasonUnknownEncoder", "Unknown encoder '%s'"},
    {"ReasonNoEncoder", "Encoder (codec id %s) not found for output stream %s"},
    {"ReasonNoDecoder", "Decoder (codec id %s) not found for input stream %s"},
    {"ReasonOpenDecoder", "Error while opening decoder for input stream %s"},
    {"ReasonUnsupportedCodec", "Unsupported codec for output stream %s"},
    {"ReasonWriteHeader", "Could not write header for output file #%s (incorrect codec parameters ?)"},
    {"ReasonNoStream", "Output file #%s does not contain any stream"},
    {"ReasonResample", "Can not resample %s channels @ %s Hz to %s channels @ %s Hz"},
    {"ReasonAnalysis", "The analysis pass failed: %s"},
    // What an output could not keep of its source (shown with a converted row).
    {"NoteSubtitleTracks", "%s more subtitle tracks not kept"},
    {"NotePictureSubtitles", "picture subtitles not kept: %s cannot hold them"},
    {"NoteSubtitles", "subtitles not kept: %s cannot hold them"},
    {"NoteChapters", "chapters not kept: %s cannot hold them"},
    {"NoteSoundTracks", "%s more sound tracks not kept: only MKV keeps them all"},
};

QString textOr(const QString& key, const QString& english) {
    try {
        return GetLangText(key);
    } catch (const ELangError&) {
        return english;
    }
}

struct Compiled {
    QString key;
    QString english;
    QRegularExpression match;
};

// One set per thread: the probing workers translate their reasons too.
const std::vector<Compiled>& patterns() {
    thread_local const std::vector<Compiled> compiled = [] {
        std::vector<Compiled> out;
        for (const Pattern& p : kPatterns) {
            const QStringList pieces = QString::fromLatin1(p.english).split(QStringLiteral("%s"));
            QStringList escaped;
            for (const QString& piece : pieces)
                escaped << QRegularExpression::escape(piece);
            out.push_back({QLatin1String(p.key), QLatin1String(p.english),
                           QRegularExpression('^' + escaped.join(QStringLiteral("(.+)")) + '$',
                                              QRegularExpression::DotMatchesEverythingOption)});
        }
        return out;
    }();
    return compiled;
}

// The reason in the table's words when it has a pattern; an empty text when it has none.
QString known(const QString& reason) {
    for (const Compiled& p : patterns()) {
        const QRegularExpressionMatch m = p.match.match(reason);
        if (!m.hasMatch()) continue;
        QStringList values = m.capturedTexts().mid(1);
        // The last value of "...: %s" is often a reason of its own.
        if (!values.isEmpty()) {
            const QString inner = known(values.last());
            if (!inner.isEmpty()) values.last() = inner;
        }
        return FormatText(textOr(p.key, p.english), values);
    }
    return QString();
}
}  // namespace

QString ReasonText(const QString& reason) {
    if (reason.isEmpty()) return reason;
    QString shown = known(reason);
    if (!shown.isEmpty()) return shown;
    // "<file>: <reason>": the file keeps its name.
    for (qsizetype at = reason.indexOf(QLatin1String(": ")); at > 0;
         at = reason.indexOf(QLatin1String(": "), at + 2)) {
        shown = known(reason.mid(at + 2));
        if (!shown.isEmpty()) return reason.left(at + 2) + shown;
    }
    return FormatText(textOr(QStringLiteral("ReasonOther"), QStringLiteral("%s")), {reason});
}
