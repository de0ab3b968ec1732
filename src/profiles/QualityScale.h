#pragma once
// Constant quality and fit-into-a-size: each video encoder's own quality scale, the named points
// the settings dialog shows on it, the option text that asks the encoder for it, and the size
// texts of a size limit. Pure functions; any thread may call them.
//
// Every scale here runs the same way: a higher number is a lower quality and a smaller file
// (CRF of x264, x265, VP9, SVT-AV1 and libaom; qscale of the MPEG-1/2/4 family).

#include <QString>
#include <QStringList>
#include <array>
#include <optional>
#include <string>

class TFormatInfo;

struct TQualityScale {
    const char* Encoder;  // lower-case encoder name
    const char* Option;   // "crf" or "qscale"
    int Best;             // the encoder's best (lowest) number offered
    int Smallest;         // the highest number offered
    std::array<int, 5> Points;  // "Smallest", "Small", "Balanced", "High", "Best"
    bool NeedsZeroBitrate;      // the encoder mixes a bit rate into CRF unless it is 0
};

// The scale of an encoder (any letter case); null when the encoder has no constant quality mode.
const TQualityScale* QualityScaleFor(const QString& encoder);
// The encoder a profile's parameters will use: the chosen one, else the first one the profile
// offers, else the output type's usual encoder ("" for sound-only types).
QString EffectiveVideoEncoder(const TFormatInfo& info);
// The five names from "Smallest" to "Best".
const QStringList& QualityNames();
// Option lines (name=value, one per line) that put the encoder into constant quality `value`,
// clamped to the scale; "" when the encoder has no scale.
std::string QualityOptionText(const QString& encoder, int value);

// A size as the size column counts it: plain bytes, or a number with K, M or G (1024-based; an
// optional trailing "B" or "iB"). nullopt for anything else, zero or negative sizes.
std::optional<qint64> ParseSizeText(const QString& text);
// Bytes as whole megabytes or with two decimals: "25 MB", "8.50 MB".
QString SizeMbText(qint64 bytes);
