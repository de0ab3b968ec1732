#pragma once
// What an opened source holds beyond one picture and one sound track: how many sound tracks,
// text and picture subtitle tracks and chapters. The option builder uses it to keep what the
// output's container can hold and to name what it cannot. Any thread that owns the context.

#include "engine/library/FFmpegApi.h"

#include <vector>

struct TSourceTracks {
    int Video = -1;                       // index of the first picture stream (not a cover), -1: none
    std::vector<int> AudioIndexes;        // every sound stream, in file order
    int Subtitle = -1;                    // index of the first subtitle stream, -1: none
    std::vector<int> SubtitleIndexes;     // every subtitle stream, in file order
    std::vector<bool> SubtitleIsPicture;  // the same order: a picture (bitmap) subtitle
    int Audio = 0;
    int TextSubtitles = 0;
    int PictureSubtitles = 0;
    bool FirstSubtitleIsPicture = false;  // the track the output would take
    int Chapters = 0;
    // The picture is HDR: PQ (SMPTE 2084, HDR10) or HLG (ARIB STD-B67) transfer.
    bool HdrPQ = false;
    bool HdrHLG = false;
};

TSourceTracks SourceTracksOf(const AVFormatContext* ic);
