#pragma once
// Records and enumerations of the transcoding task component: the option records the
// application fills for each input and output of a task, the output metadata, and the records
// the component's events carry. Plain values: copy them freely between threads.
//
// Times are microseconds. kNoTimestamp in TimeStart/TimeLength means "not set"; the event
// records use -1 for an unknown total duration.

#include <cstdint>
#include <string>

#include "engine/library/Bitmap24.h"
#include "engine/library/EngineTypes.h"

enum class TOptionTargetType { ttIgnore, ttVCD, ttSVCD, ttDVD };
enum class TOptionNormType { ntAuto, ntPAL, ntNTSC };
// The norm assumed when it cannot be guessed: only ntPAL or ntNTSC.
using TOptionNormDefault = TOptionNormType;

// A colour as one number, red in bits 0-7, green 8-15, blue 16-23 (0x00BBGGRR).
using TColor = uint32_t;

// Output metadata.
struct TStreamInfo {
    // Recording date as a day count since 1899-12-30 in local time (fraction = time of day);
    // -1.0 = not set, 0 = the current time.
    double TimeStamp = -1.0;
    int32_t Year = -1;                                            // written as "year" when > 0
    int32_t Track = -1;                                           // written as "track" when > 0
    std::string Title, Author, Copyright, Comment, Album, Genre;  // written when not empty
};

struct TInputOptions {
    std::string FileName;              // filled from the call's file name when empty
    std::string FileFormat;            // forced input format (option f)
    int64_t TimeStart = kNoTimestamp;  // start position (option ss)
    int32_t ProgramID = -1;            // program to select (option programid)
    std::string ExtOptions;            // option text
    int32_t Tag = 0;                   // free for the caller
    void* Data = nullptr;              // free for the caller
};

struct TOutputOptions {
    std::string FileName;  // filled from the call's file name when empty
    std::string FileExt;   // not used by the component
    std::string FileFormat;
    int32_t PacketSize = -1;
    int32_t MuxRate = -1;
    float MuxDelay = -1.0f;    // seconds
    float MuxPreload = -1.0f;  // seconds
    std::string AudioCodec;
    std::string AudioPreset;
    bool DisableAudio = false;
    int32_t AudioVolume = -1;  // 256 = unchanged
    int32_t AudioChannels = -1;
    int32_t AudioSampleRate = -1;
    int32_t AudioBitrate = -1;  // bit/s
    int32_t AudioBitRateTolerance = -1;
    std::string AudioLanguage;
    int32_t AudioSyncMethod = 0;
    std::string AudioTag;
    std::string VideoCodec;
    std::string VideoPreset;
    bool DisableVideo = false;
    std::string FrameRate;
    std::string FrameSize;
    std::string FrameAspectRatio;
    int32_t CropTop = -1, CropBottom = -1, CropLeft = -1, CropRight = -1;
    int32_t PadTop = -1, PadBottom = -1, PadLeft = -1, PadRight = -1;
    TColor PadColor = 0;  // black
    int32_t GroupPictureSize = -1;
    int32_t VideoBitrate = -1;  // bit/s
    int32_t VideoMaxRate = -1, VideoMinRate = -1;
    int32_t VideoBitRateTolerance = -1;
    int32_t VideoBufSize = -1;
    int32_t VideoSyncMethod = -1;
    std::string VideoTag;
    std::string VideoFilters;
    std::string VideoLanguage;
    std::string SubtitleCodec;
    std::string SubtitlePreset;
    bool DisableSubtitle = false;
    std::string SubtitleLanguage;
    bool InputSync = false;
    bool CopyTimestamp = false;
    int64_t TimeStart = kNoTimestamp;   // start offset (option ss)
    int64_t TimeLength = kNoTimestamp;  // duration (option t)
    TStreamInfo Info;
    TOptionTargetType TargetType = TOptionTargetType::ttIgnore;
    TOptionNormType NormType = TOptionNormType::ntAuto;
    TOptionNormDefault NormDefault = TOptionNormType::ntPAL;
    bool CustomHook = false;  // raise OnCustomHook for this output
    bool Join = false;        // join all inputs into this one output
    // Fit into a size: the finished output may not be larger than SizeLimit bytes (0: no
    // limit). The task checks the file, encodes it again at a video rate lowered by the measured
    // excess when it is over (twice at most), and fails rather than deliver a larger file.
    // TwoPass runs an analysis pass first (encoders with two-pass statistics only).
    int64_t SizeLimit = 0;
    bool TwoPass = false;
    std::string ExtOptions;
    int32_t Tag = 0;
    void* Data = nullptr;
};

struct TProgressInfo {
    int32_t TaskIndex = -1;
    int32_t FileIndex = 0;
    int32_t FrameNumber = 0;
    int32_t FPS = 0;
    float Quality = 0.0f;
    float BitRate = 0.0f;         // kbit/s
    int64_t CurrentSize = 0;      // bytes written
    int64_t CurrentDuration = 0;  // microseconds of output written
    int64_t TotalDuration = -1;   // expected output duration, -1 unknown
    int64_t InputBytesRead = 0;   // position in the input being read
    int64_t InputSize = -1;       // its size in bytes, -1 unknown (a stream)
};

struct TTerminateInfo {
    int32_t TaskIndex = -1;  // -1: the final notification of a run
    bool Finished = false;   // the task ran to its end
    bool Exception = false;  // the task failed
    std::string ExceptionMsg;
};

struct TPreviewInfo {
    int32_t TaskIndex = -1;
    const TBitmap24* Bitmap = nullptr;  // valid during the event only
    int32_t FrameNumber = 0;
    int64_t PTS = 0;
};

struct THookInfo {
    int32_t TaskIndex = -1;
    TBitmap24* Bitmap = nullptr;  // the frame; the handler may draw into it (valid during the event)
    int32_t FrameNumber = 0;
    int64_t PTS = 0;
    bool Update = true;     // in/out: write the bitmap back into the frame
    bool StopHook = false;  // out: no more hook calls for this task
};

// Kinds of preview a task produces after encoding a picture.
enum class TPostHook : uint8_t { phPreview, phBitmap, phHBITMAP };

class TPostHooks {
public:
    constexpr TPostHooks() = default;
    constexpr bool Contains(TPostHook hook) const { return (bits_ & Bit(hook)) != 0; }
    constexpr bool Empty() const { return bits_ == 0; }
    constexpr void Include(TPostHook hook) { bits_ = static_cast<uint8_t>(bits_ | Bit(hook)); }
    constexpr void Exclude(TPostHook hook) { bits_ = static_cast<uint8_t>(bits_ & ~Bit(hook)); }
    constexpr bool operator==(const TPostHooks&) const = default;

private:
    static constexpr uint8_t Bit(TPostHook hook) {
        return static_cast<uint8_t>(1u << static_cast<int>(hook));
    }
    uint8_t bits_ = 0;
};
