#include "engine/transcode/SourceTracks.h"

#include <cmath>
#include <cstdlib>

TSourceTracks SourceTracksOf(const AVFormatContext* ic) {
    TSourceTracks t;
    if (!ic) return t;
    for (unsigned i = 0; i < ic->nb_streams; ++i) {
        const AVCodecParameters* par = ic->streams[i]->codecpar;
        if (par->codec_type == AVMEDIA_TYPE_VIDEO && t.Video < 0 &&
            !(ic->streams[i]->disposition & AV_DISPOSITION_ATTACHED_PIC)) {
            t.Video = static_cast<int>(i);
            t.HdrPQ = par->color_trc == AVCOL_TRC_SMPTE2084;
            t.HdrHLG = par->color_trc == AVCOL_TRC_ARIB_STD_B67;
        }
        if (par->codec_type == AVMEDIA_TYPE_AUDIO) {
            ++t.Audio;
            t.AudioIndexes.push_back(static_cast<int>(i));
        }
        if (par->codec_type != AVMEDIA_TYPE_SUBTITLE) continue;
        if (t.Subtitle < 0) t.Subtitle = static_cast<int>(i);
        const AVCodecDescriptor* d = ff::avcodec_descriptor_get(par->codec_id);
        const bool picture = d && (d->props & AV_CODEC_PROP_BITMAP_SUB);
        if (t.TextSubtitles + t.PictureSubtitles == 0) t.FirstSubtitleIsPicture = picture;
        ++(picture ? t.PictureSubtitles : t.TextSubtitles);
        t.SubtitleIndexes.push_back(static_cast<int>(i));
        t.SubtitleIsPicture.push_back(picture);
    }
    t.Chapters = static_cast<int>(ic->nb_chapters);
    return t;
}
