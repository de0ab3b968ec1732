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

int StreamRotation(const AVStream* st) {
    if (!st) return 0;
    double clockwise = 0.0;
    size_t size = 0;
    const uint8_t* matrix = ff::av_stream_get_side_data(st, AV_PKT_DATA_DISPLAYMATRIX, &size);
    if (matrix && size >= 9 * sizeof(int32_t)) {
        // The matrix names the turn counter-clockwise.
        clockwise = -ff::av_display_rotation_get(reinterpret_cast<const int32_t*>(matrix));
    } else if (const AVDictionaryEntry* tag = ff::av_dict_get(st->metadata, "rotate", nullptr, 0)) {
        clockwise = std::strtod(tag->value, nullptr);
    }
    if (!std::isfinite(clockwise)) return 0;
    clockwise = std::fmod(clockwise, 360.0);
    if (clockwise < 0) clockwise += 360.0;
    for (int angle : {0, 90, 180, 270, 360})
        if (std::fabs(clockwise - angle) < 1.0) return angle % 360;
    return 0;
}
