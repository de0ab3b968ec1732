#pragma once
// One media file of the main list: source path, probed facts, clip range, output name,
// category tag, a private copy of the output profile's parameters, and the fields of an online
// entry. A list row owns its entry; a conversion record owns a deep copy (CloneObj).

#include <QString>
#include <memory>

#include "profiles/FormatInfo.h"

class ListFileInfo {
public:
    ListFileInfo() = default;  // strings empty, numbers 0, no parameters, flags false
    ListFileInfo(const ListFileInfo&) = delete;
    ListFileInfo& operator=(const ListFileInfo&) = delete;

    // A full copy; formatInfo is deep-copied. The caller owns it.
    std::unique_ptr<ListFileInfo> CloneObj() const;

    QString FileName;
    qint64 FileSize = 0;
    qint64 FileDurTime = 0;  // microseconds
    int BitRate = 0;
    int Width = 0;
    int Height = 0;
    int FrameRate = 0;
    QString FileFormat;
    QString OutPutFileName;
    QString ProfileName;
    int SampleRate = 0;
    int Channel = 0;
    int AudioBitRate = 0;
    QString FileInfo;
    int NormType = 0;
    std::unique_ptr<TFormatInfo> formatInfo;
    qint64 StartTime = 0;  // clip start, microseconds
    qint64 EndTime = 0;    // clip end, microseconds
    int VWidth = 0;
    int VHeight = 0;
    QString CategoryTag;
    QString YoutubeVideId;
    QString YoutubeThumbnailUrl;
    QString YoutubeLength;
    QString YoutubeVideoUrl;
    QString YoutubeUrl;
    QString YoutubeTitle;
    QString YoutubeFlvUrl;
    QString YoutubeMp4Url;
    bool HadDownloaded = false;
    bool IsYutubeFile = false;
    bool HasData = false;
    bool HasVideo = false;  // the probe found a picture stream
};

// The estimated output size of `entry` with the given bit rates (bits per second) over its clip
// range, as the list shows it. A source without pictures gives an output without pictures, so
// only the sound's rate counts for it; a source without a known duration is measured by its file
// size (LengthFromFileSize). Every place that shows an estimate uses this.
QString EntrySizeEstimate(const ListFileInfo& entry, qint64 videoBitrate, qint64 audioBitrate);
