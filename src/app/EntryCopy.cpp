#include "app/EntryCopy.h"

#include "app/CommEntity.h"
#include "profiles/FormatInfo.h"

// A field added to these records must be compared below, or a change of it would not reach
// the journal. The sizes are those of the 64-bit Linux build; other platforms skip the check.
#if defined(__linux__) && defined(__x86_64__)
static_assert(sizeof(TFormatInfo) == 536, "compare every field of TFormatInfo");
static_assert(sizeof(ListFileInfo) == 432, "compare every field of ListFileInfo");
#endif

std::atomic<long> TEntryCopy::clones_{0};

std::shared_ptr<const ListFileInfo> TEntryCopy::Of(const ListFileInfo& entry) {
    if (!copy_ || !Same(*copy_, entry)) {
        copy_ = entry.CloneObj();
        clones_.fetch_add(1, std::memory_order_relaxed);
    }
    return copy_;
}

// Order is the record's place in the profile table, which a copy does not keep.
bool TEntryCopy::SameParams(const TFormatInfo* a, const TFormatInfo* b) {
    if (!a || !b) return a == b;
    return a->ID == b->ID && a->Format == b->Format && a->FourCC == b->FourCC && a->Icon == b->Icon &&
           a->Categoryid == b->Categoryid && a->Name == b->Name && a->Description == b->Description &&
           a->Resolution == b->Resolution && a->FrameRate == b->FrameRate && a->VideoBitrate == b->VideoBitrate &&
           a->AudioBitrate == b->AudioBitrate && a->SampleRate == b->SampleRate && a->Channel == b->Channel &&
           a->VideoEnclist == b->VideoEnclist && a->AudioEncList == b->AudioEncList && a->EncParam == b->EncParam;
}

bool TEntryCopy::Same(const ListFileInfo& a, const ListFileInfo& b) {
    return a.FileName == b.FileName && a.FileSize == b.FileSize && a.FileDurTime == b.FileDurTime &&
           a.BitRate == b.BitRate && a.Width == b.Width && a.Height == b.Height && a.FrameRate == b.FrameRate &&
           a.FileFormat == b.FileFormat && a.OutPutFileName == b.OutPutFileName && a.ProfileName == b.ProfileName &&
           a.SampleRate == b.SampleRate && a.Channel == b.Channel && a.AudioBitRate == b.AudioBitRate &&
           a.FileInfo == b.FileInfo && a.NormType == b.NormType && a.StartTime == b.StartTime &&
           a.EndTime == b.EndTime && a.VWidth == b.VWidth && a.VHeight == b.VHeight &&
           a.CategoryTag == b.CategoryTag && a.YoutubeVideId == b.YoutubeVideId &&
           a.YoutubeThumbnailUrl == b.YoutubeThumbnailUrl && a.YoutubeLength == b.YoutubeLength &&
           a.YoutubeVideoUrl == b.YoutubeVideoUrl && a.YoutubeUrl == b.YoutubeUrl &&
           a.YoutubeTitle == b.YoutubeTitle && a.YoutubeFlvUrl == b.YoutubeFlvUrl &&
           a.YoutubeMp4Url == b.YoutubeMp4Url && a.HadDownloaded == b.HadDownloaded &&
           a.IsYutubeFile == b.IsYutubeFile && a.HasData == b.HasData && a.HasVideo == b.HasVideo &&
           SameParams(a.formatInfo.get(), b.formatInfo.get());
}
