#pragma once
// Records, enumerations and exception types shared by the engine's components and read by the
// application. Plain values: copy them freely between threads.

#include <cstdint>
#include <stdexcept>
#include <string>

// The engine's "no time stamp" inside the engine (the libraries' AV_NOPTS_VALUE). Records handed
// to the application use -1 instead.
inline constexpr int64_t kNoTimestamp = INT64_MIN;

// A programming error detected by the engine (an empty library set, a second logger, a call that
// needs a library that was never loaded). Source names the unit that detected it.
class EEngineAssertion : public std::logic_error {
public:
    EEngineAssertion(const std::string& message, const std::string& source)
        : std::logic_error(message + " (" + source + ")"), message_(message), source_(source) {}
    const std::string& Message() const { return message_; }
    const std::string& Source() const { return source_; }

private:
    std::string message_;
    std::string source_;
};

// A component was used before the media libraries it needs were loaded ("LibAVCodec not
// loaded." and the like). The only exception that leaves an engine component.
class ELibraryNotLoaded : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Container facts of a probed file. Times in microseconds, -1 when unknown.
struct TFileStreamInfo {
    int64_t StartTime = -1;
    int64_t Duration = -1;
    int32_t BitRate = -1;    // bit/s; 0 when the container does not know it
    int64_t TimeStamp = -1;  // creation time, seconds since 1970-01-01 UTC; -1 unknown
    int32_t Year = -1;
    int32_t Track = -1;
    std::string Title, Author, Copyright, Comment, Album, Genre;
};

// StartTime/Duration are in the stream's own time base, the *Scaled values in microseconds;
// every number is -1 when not known.
struct TAudioStreamInfo {
    std::string Language;
    std::string CodecName;
    int64_t StartTime = -1;
    int64_t StartTimeScaled = -1;
    int64_t Duration = -1;
    int64_t DurationScaled = -1;
    int32_t BitRate = -1;
    int32_t Channels = -1;
    int32_t SampleRate = -1;
    int32_t SampleFormat = -1;  // AVSampleFormat
};

struct TRational {
    int32_t Num = -1;
    int32_t Den = -1;
};

struct TVideoStreamInfo {
    std::string Language;
    std::string CodecName;
    int64_t StartTime = -1;
    int64_t StartTimeScaled = -1;
    int64_t Duration = -1;
    int64_t DurationScaled = -1;
    int32_t BitRate = -1;
    int32_t Height = -1;
    int32_t Width = -1;
    // Display aspect ratio Width * SAR / Height; 0 when the sample aspect ratio is unknown (0/1).
    float AspectRatio = -1.0f;
    int32_t PixFmt = -1;  // AVPixelFormat
    TRational FrameRate;  // the stream's real base frame rate
    // Degrees the pictures are turned clockwise to be shown upright (0, 90, 180, 270); Width,
    // Height and AspectRatio are those of the stored, unturned pictures.
    int32_t Rotation = 0;
    bool Mirrored = false;  // flipped left to right before the turn
};

struct TSubtitleStreamInfo {
    std::string Language;
    std::string CodecName;
};

// Picture types in the libraries' order (AV_PICTURE_TYPE_NONE .. AV_PICTURE_TYPE_BI).
enum class TPictureType { ptUnknown, ptI, ptP, ptB, ptS, ptSI, ptSP, ptBI };

// Seek flags, bit for bit the libraries' AVSEEK_FLAG_* values.
enum class TSeekFlag : int { sfBackward = 1, sfByte = 2, sfAny = 4, sfFrame = 8 };

class TSeekFlags {
public:
    constexpr TSeekFlags() = default;
    constexpr TSeekFlags(TSeekFlag flag) : bits_(static_cast<int>(flag)) {}
    constexpr TSeekFlags operator|(TSeekFlags other) const { return FromBits(bits_ | other.bits_); }
    constexpr bool Contains(TSeekFlag flag) const { return (bits_ & static_cast<int>(flag)) != 0; }
    constexpr int Bits() const { return bits_; }
    static constexpr TSeekFlags FromBits(int bits) {
        TSeekFlags f;
        f.bits_ = bits;
        return f;
    }

private:
    int bits_ = 0;
};
constexpr TSeekFlags operator|(TSeekFlag a, TSeekFlag b) {
    return TSeekFlags(a) | TSeekFlags(b);
}

// Facts of the picture a probe or player holds. PTS is microseconds from the stream's start
// (kNoTimestamp when unknown); OriginalDTS/OriginalPTS are the stream's own time stamps.
struct TFrameInfo {
    int32_t PixFmt = -1;  // AVPixelFormat
    int32_t Width = 0;
    int32_t Height = 0;
    bool IsKeyFrame = false;
    TPictureType PictureType = TPictureType::ptUnknown;
    int64_t PTS = kNoTimestamp;
    int64_t OriginalDTS = kNoTimestamp;
    int64_t OriginalPTS = kNoTimestamp;
    int32_t StreamIndex = -1;
    int64_t Position = -1;  // byte position of the input before the picture's packets were read
    bool Ready = false;     // a picture is held
};
