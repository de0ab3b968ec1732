#include "app/CommEntity.h"

#include "app/Utils.h"

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
    return EstimatedSizeText(entry.HasVideo ? videoBitrate : 0, audioBitrate, entry.EndTime - entry.StartTime);
}
