#include "app/CommEntity.h"

#include "app/Utils.h"
#include "convert/QualityEstimate.h"

std::unique_ptr<ListFileInfo> ListFileInfo::CloneObj() const {
    auto c = std::make_unique<ListFileInfo>();
    c->FileName = FileName;
    c->FileSize = FileSize;
    c->FileDurTime = FileDurTime;
    c->BitRate = BitRate;
    c->Width = Width;
    c->Height = Height;
    c->FrameRate = FrameRate;
    c->FileFormat = FileFormat;
    c->OutPutFileName = OutPutFileName;
    c->ProfileName = ProfileName;
    c->SampleRate = SampleRate;
    c->Channel = Channel;
    c->AudioBitRate = AudioBitRate;
    c->FileInfo = FileInfo;
    c->NormType = NormType;
    c->formatInfo = formatInfo ? formatInfo->Clone() : nullptr;
    c->StartTime = StartTime;
    c->EndTime = EndTime;
    c->VWidth = VWidth;
    c->HasVideo = HasVideo;
    c->VHeight = VHeight;
    c->CategoryTag = CategoryTag;
    c->YoutubeVideId = YoutubeVideId;
    c->YoutubeThumbnailUrl = YoutubeThumbnailUrl;
    c->YoutubeLength = YoutubeLength;
    c->YoutubeVideoUrl = YoutubeVideoUrl;
    c->YoutubeUrl = YoutubeUrl;
    c->YoutubeTitle = YoutubeTitle;
    c->YoutubeFlvUrl = YoutubeFlvUrl;
    c->YoutubeMp4Url = YoutubeMp4Url;
    c->HadDownloaded = HadDownloaded;
    c->IsYutubeFile = IsYutubeFile;
    c->HasData = HasData;
    return c;
}

QString EntrySizeEstimate(const ListFileInfo& entry, qint64 videoBitrate, qint64 audioBitrate) {
    // Constant quality: known only once samples are encoded (QualityEstimate.h).
    if (NeedsQualityEstimate(entry)) return QStringLiteral("~");
    const qint64 video = entry.HasVideo ? videoBitrate : 0;
    // A source whose header gives no duration is measured by its size instead.
    const qint64 length = entry.FileDurTime > 0
                              ? entry.EndTime - entry.StartTime
                              : LengthFromFileSize(entry.FileSize, entry.BitRate,
                                                   std::max<qint64>(video, 0) + std::max<qint64>(audioBitrate, 0));
    // An output made to fit into a size is at most that size.
    const qint64 fit = entry.formatInfo ? entry.formatInfo->EncParam.FitSize : 0;
    if (fit > 0 && (std::max<qint64>(video, 0) + std::max<qint64>(audioBitrate, 0)) * length / 8000000 > fit)
        return QString::asprintf("%.2f", static_cast<double>(fit) / 1048576.0) + QStringLiteral("MB");
    return EstimatedSizeText(video, audioBitrate, length);
}
