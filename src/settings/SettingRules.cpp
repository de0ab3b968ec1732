#include "settings/SettingRules.h"

#include <cmath>
#include <limits>

#include "app/Utils.h"

namespace {
const QString kAuto = QStringLiteral("Auto");

// A whole decimal number with an optional sign and nothing else.
std::optional<qint64> parseWhole(const QString& text) {
    if (text.isEmpty()) return std::nullopt;
    qsizetype i = (text[0] == '-' || text[0] == '+') ? 1 : 0;
    if (i == text.size()) return std::nullopt;
    for (qsizetype k = i; k < text.size(); ++k)
        if (text[k] < '0' || text[k] > '9') return std::nullopt;
    bool ok = false;
    const qint64 v = text.toLongLong(&ok, 10);
    if (!ok) return std::nullopt;
    return v;
}

std::optional<int> toInt(qint64 v) {
    if (v < std::numeric_limits<int>::min() || v > std::numeric_limits<int>::max()) return std::nullopt;
    return static_cast<int>(v);
}

QString withoutUnit(const QString& text, const QString& unit) {
    QString t = text;
    t.remove(unit, Qt::CaseInsensitive);
    return t.trimmed();
}
}  // namespace

QString ResolutionEntryText(const QString& listItem) {
    QString t = listItem;
    t.replace('*', 'x');
    return t;
}

QString ResolutionText(int width, int height) {
    return QString::number(width) + 'x' + QString::number(height);
}

QString FrameRateText(int frameRate) {
    QString t = QString::number(frameRate / 1000.0, 'f', 2);
    t.remove(QStringLiteral(".00"));
    return t + QStringLiteral(" fps");
}

QString BitrateText(int bitrate) {
    return QString::number(bitrate / 1000) + QStringLiteral(" kbps");
}

QString SampleRateText(int sampleRate) {
    return QString::number(sampleRate) + QStringLiteral(" Hz");
}

int FindChoice(const QStringList& entries, const QString& text) {
    for (int i = 0; i < entries.size(); ++i)
        if (entries[i].compare(text, Qt::CaseInsensitive) == 0) return i;
    return -1;
}

int FindChannelChoice(const QStringList& entries, int channels) {
    if (channels <= 0 || channels > 9) return 0;
    const QChar digit = QChar('0' + channels);
    for (int i = 0; i < entries.size(); ++i)
        if (!entries[i].isEmpty() && entries[i][0] == digit) return i;
    return 0;
}

std::optional<TResolutionValue> ReadResolutionEntry(const QString& text) {
    QString t = text;
    const qsizetype blank = t.indexOf(' ');
    if (blank > 0) t = t.left(blank);
    const QStringList parts = SplitString(t, QStringLiteral("x"));
    if (parts.size() != 2) return TResolutionValue{};
    const auto w = parseWhole(parts[0]);
    const auto h = parseWhole(parts[1]);
    if (!w || !h || !toInt(*w) || !toInt(*h)) return std::nullopt;
    return TResolutionValue{static_cast<int>(*w), static_cast<int>(*h)};
}

std::optional<int> ReadFrameRateEntry(const QString& text) {
    if (text.isEmpty() || text == kAuto) return 0;
    const QString number = withoutUnit(text, QStringLiteral("fps"));
    if (number.isEmpty()) return std::nullopt;
    for (QChar c : number)
        if (!(c.isDigit() || c == '.' || c == '-' || c == '+')) return std::nullopt;
    bool ok = false;
    const double v = number.toDouble(&ok);
    if (!ok || !std::isfinite(v) || std::fabs(v) > std::numeric_limits<int>::max() / 1000.0)
        return std::nullopt;
    return static_cast<int>(std::lround(v * 1000.0));
}

std::optional<int> ReadBitrateEntry(const QString& text) {
    if (text.isEmpty() || text == kAuto) return -1;
    const auto v = parseWhole(withoutUnit(text, QStringLiteral("kbps")));
    if (!v) return std::nullopt;
    return toInt(*v * 1000);
}

std::optional<int> ReadSampleRateEntry(const QString& text) {
    if (text.isEmpty() || text == kAuto) return -1;
    const auto v = parseWhole(withoutUnit(text, QStringLiteral("Hz")));
    if (!v) return std::nullopt;
    return toInt(*v);
}

TChannelValue ReadChannelEntry(const QString& text) {
    if (text.isEmpty() || text == kAuto) return {false, -1};
    // Only the first character counts: "2 (Stereo)" is two channels.
    if (text[0] >= '0' && text[0] <= '9') return {false, text[0].unicode() - '0'};
    return {true, -1};
}

QString ReadEncoderEntry(const QString& text) {
    if (text.isEmpty() || text == kAuto) return QString();
    return text;
}
