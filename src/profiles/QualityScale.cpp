#include "profiles/QualityScale.h"

#include <QRegularExpression>
#include <algorithm>

#include "profiles/FormatInfo.h"

namespace {
// Points chosen so that "Balanced" is the encoder's own default quality and "Best" is close to
// visually lossless.
const TQualityScale kScales[] = {
    {"libx264", "crf", 0, 51, {32, 28, 23, 20, 17}, false},
    {"libx265", "crf", 0, 51, {34, 31, 28, 24, 20}, false},
    {"libvpx-vp9", "crf", 0, 63, {45, 38, 31, 27, 22}, true},
    {"libsvtav1", "crf", 1, 63, {48, 42, 35, 30, 24}, true},
    {"libaom-av1", "crf", 0, 63, {48, 40, 32, 27, 22}, true},
    {"mpeg4", "qscale", 1, 31, {12, 8, 5, 3, 2}, false},
    {"mpeg2video", "qscale", 1, 31, {12, 8, 5, 3, 2}, false},
    {"mpeg1video", "qscale", 1, 31, {12, 8, 5, 3, 2}, false},
};

QString usualEncoder(const QString& format) {
    static const QHash<QString, QString> table{
        {".mp4", "libx264"}, {".mkv", "libx264"},  {".mov", "libx264"},      {".m4v", "libx264"},
        {".avi", "mpeg4"},   {".webm", "libvpx-vp9"}, {".mpg", "mpeg1video"}, {".ts", "mpeg2video"},
        {".vob", "mpeg2video"}};
    return table.value(format.toLower());
}
}  // namespace

const TQualityScale* QualityScaleFor(const QString& encoder) {
    const QByteArray name = encoder.trimmed().toLower().toLatin1();
    for (const TQualityScale& s : kScales)
        if (name == s.Encoder) return &s;
    return nullptr;
}

QString EffectiveVideoEncoder(const TFormatInfo& info) {
    const QString chosen = info.EncParam.VideoEncoder.trimmed();
    if (!chosen.isEmpty() && chosen.compare(QLatin1String("auto"), Qt::CaseInsensitive) != 0)
        return chosen.toLower();
    for (const QString& e : info.VideoEnclist.split(','))
        if (!e.trimmed().isEmpty() && e.trimmed().compare(QLatin1String("auto"), Qt::CaseInsensitive) != 0)
            return e.trimmed().toLower();
    return usualEncoder(info.Format);
}

const QStringList& QualityNames() {
    static const QStringList names{QStringLiteral("Smallest"), QStringLiteral("Small"), QStringLiteral("Balanced"),
                                   QStringLiteral("High"), QStringLiteral("Best")};
    return names;
}

std::string QualityOptionText(const QString& encoder, int value) {
    const TQualityScale* s = QualityScaleFor(encoder);
    if (!s) return {};
    const int v = std::clamp(value, s->Best, s->Smallest);
    std::string text = std::string(s->Option) + '=' + std::to_string(v);
    if (s->NeedsZeroBitrate) text += "\nb=0";
    return text;
}

std::optional<qint64> ParseSizeText(const QString& text) {
    static const QRegularExpression size(QStringLiteral("^\\s*(\\d+(?:\\.\\d+)?)\\s*([kmg]?)(?:i?b)?\\s*$"),
                                         QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = size.match(text);
    if (!m.hasMatch()) return std::nullopt;
    const QString unit = m.captured(2).toLower();
    if (unit.isEmpty() && m.captured(1).contains('.')) return std::nullopt;  // a fraction of a byte
    const double factor = unit == QLatin1String("k")   ? 1024.0
                          : unit == QLatin1String("m") ? 1048576.0
                          : unit == QLatin1String("g") ? 1073741824.0
                                                       : 1.0;
    const double bytes = m.captured(1).toDouble() * factor;
    if (bytes < 1 || bytes > 9.0e15) return std::nullopt;
    return static_cast<qint64>(bytes);
}

QString SizeMbText(qint64 bytes) {
    if (bytes % 1048576 == 0) return QStringLiteral("%1 MB").arg(bytes / 1048576);
    return QStringLiteral("%1 MB").arg(bytes / 1048576.0, 0, 'f', 2);
}
