#pragma once
// The media probe's base: opens one media file, caches its container and stream counts, fills
// the stream information records and writes the information text.
//
// Ownership: the probe owns the format context it opened (LoadFile) and closes it in CloseFile
// or when destroyed; a context handed in through SetFileHandle stays its opener's.
// Threads: a probe is used by one thread at a time, which may be a worker thread. Failures come
// back as false/-1/empty with the text in LastErrMsg and in the engine log; the only exception
// that leaves the probe is ELibraryNotLoaded from LoadFile.

#include <cstdint>
#include <string>

#include "engine/library/EngineTypes.h"
#include "engine/library/FFmpegApi.h"
#include "engine/library/FFmpegLoader.h"
#include "engine/library/FFmpegLogger.h"

class TCustomAVProbe {
public:
    TCustomAVProbe();
    virtual ~TCustomAVProbe();
    TCustomAVProbe(const TCustomAVProbe&) = delete;
    TCustomAVProbe& operator=(const TCustomAVProbe&) = delete;

    // Sets the loader's LibraryPath to path and loads the probe's libraries.
    bool LoadAVLib(const std::string& path);
    // Refused (false, LastErrMsg) while a task, probe or player of the process is open.
    bool UnloadAVLib();
    bool AVLibLoaded() const;

    // Opens the file; formatName empty means detect the format. Closes any open file first.
    bool LoadFile(const std::string& fileName, const std::string& formatName = "");
    virtual void CloseFile();

    // The open format context (not transferred). Setting wraps a context opened elsewhere,
    // which the probe reads but never closes or seeks.
    AVFormatContext* FileHandle() const { return fileHandle_; }
    void SetFileHandle(AVFormatContext* handle);
    bool OwnsHandle() const { return ownHandle_; }

    std::string FileName() const;
    int64_t FileSize() const { return fileSize_; }
    const std::string& ForceFormat() const { return forceFormat_; }
    std::string FormatName() const;
    std::string FormatLongName() const;
    int StreamCount() const { return streamCount_; }
    int ProgramCount() const { return programCount_; }
    int AudioStreamCount() const { return audioStreamCount_; }
    int VideoStreamCount() const { return videoStreamCount_; }
    int SubtitleStreamCount() const { return subtitleStreamCount_; }
    int FirstAudioStreamIndex() const { return firstAudioStreamIndex_; }
    int FirstVideoStreamIndex() const { return firstVideoStreamIndex_; }
    int FirstSubtitleStreamIndex() const { return firstSubtitleStreamIndex_; }

    // Fill the record (every number -1, strings empty first); false when there is no such stream.
    // A negative index means the first stream of that kind.
    bool GetFileStreamInfo(TFileStreamInfo& info);
    bool GetAudioStreamInfo(int streamIndex, TAudioStreamInfo& info);
    bool GetVideoStreamInfo(int streamIndex, TVideoStreamInfo& info);
    bool GetSubtitleStreamInfo(int streamIndex, TSubtitleStreamInfo& info);
    TFileStreamInfo FileStreamInfo();
    TAudioStreamInfo FirstAudioStreamInfo();
    TVideoStreamInfo FirstVideoStreamInfo();
    TSubtitleStreamInfo FirstSubtitleStreamInfo();

    bool IsAudioStream(int streamIndex);
    bool IsVideoStream(int streamIndex);
    bool IsSubtitleStream(int streamIndex);

    // The decoder's short and long name of a stream's codec, "h264(H.264 / AVC / MPEG-4 AVC /
    // MPEG-4 part 10)", or a fallback when no decoder exists.
    std::string CodecName(int streamIndex) const;

    // The multi-line information text, lines separated by CR LF; "" without a file.
    std::string FileInfoText();

    const std::string& LastErrMsg() const { return lastErrMsg_; }

protected:
    // Recomputes the cached counts and size after the handle changed.
    virtual void RefreshValues();
    // Logs to the engine logger with this probe as sender; errors, warnings and notices also
    // become LastErrMsg (debug traces do not).
    void LogMsg(TLogLevel level, const std::string& message);
    template <typename... Args>
    void LogFmt(TLogLevel level, const char* format, Args... args);
    bool RequireFile();  // warns "file not loaded." when there is none
    AVStream* Stream(int index) const;

    AVFormatContext* fileHandle_ = nullptr;
    bool ownHandle_ = false;
    TLibraryUse libraryUse_;  // held while the probe owns an open file
    std::string lastErrMsg_;
    std::string forceFormat_;
    int64_t fileSize_ = -1;
    int streamCount_ = -1;
    int programCount_ = -1;
    int audioStreamCount_ = -1;
    int videoStreamCount_ = -1;
    int subtitleStreamCount_ = -1;
    int firstAudioStreamIndex_ = -1;
    int firstVideoStreamIndex_ = -1;
    int firstSubtitleStreamIndex_ = -1;

private:
    // Shared part of the stream info getters: resolves the index or logs why it cannot.
    AVStream* StreamOfKind(int streamIndex, AVMediaType type, int firstIndex, const char* kind);
    bool IsStreamOfKind(int streamIndex, AVMediaType type);
    void CloseHandle();

    // Information text parts (CustomAVProbeInfoText.cpp).
    std::string StreamLine(unsigned index) const;
    static void AppendMetadata(std::string& text, const AVDictionary* metadata, const std::string& indent);
};

// Text helpers of the information text, shared with the file information dialogs.
namespace probetext {
std::string FormatFileSize(int64_t bytes);                // "1024 Byte", "1.00 KB", "2.50 MB", "1.00 GB"
std::string FormatDuration(int64_t microseconds);         // "01:02:03.456"
std::string FormatSeconds(int64_t microseconds);          // "1.400000", "-0.021333"
std::string FormatRate(double value, const char* label);  // ", 29.97 tbr", ", 25 fps", ", 90k tbn"
std::string MetadataDisplayName(const std::string& key);  // ID3v2 frame ids to their names
}  // namespace probetext

template <typename... Args>
void TCustomAVProbe::LogFmt(TLogLevel level, const char* format, Args... args) {
    // Debug traces cost nothing unless someone listens.
    if (level > TLogLevel::llInfo && (!GetFFLogger().HasOnLog() || !GetFFLogger().Passes(level))) return;
    LogMsg(level, FormatText(format, args...));
}
