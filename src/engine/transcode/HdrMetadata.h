#pragma once
// The HDR description a picture stream carries beyond its colour fields: the mastering
// display (AV_PKT_DATA_MASTERING_DISPLAY_METADATA) and the content light levels
// (AV_PKT_DATA_CONTENT_LIGHT_LEVEL). Containers such as Matroska and MP4 keep them as stream
// side data; an HEVC stream may carry them only in its pictures' SEI messages. Any thread that
// owns the streams given.

#include <string>

#include "engine/library/FFmpegApi.h"

// Whether an encoder's options ask for an HDR transfer (PQ or HLG), by name or number.
bool AsksHdrTransfer(const AVDictionary* options);

// Copies one kind of stream side data from `from` to `to`; false when `from` has none.
bool CopyStreamSideData(AVStream* to, const AVStream* from, AVPacketSideDataType type);

// When `st` (stream `streamIndex` of the file `libName`, as the libraries name it) has no HDR
// side data, decodes its first picture from a second opening of the file and adds what that
// picture carries to `st`. True when `st` has a mastering display or light levels afterwards.
bool FindHdrSideData(const std::string& libName, int streamIndex, AVStream* st);

// x265's parameters for the HDR side data of `st` ("master-display=G(x,y)B(x,y)R(x,y)WP(x,y)
// L(max,min):max-cll=cll,fall"); "" when it has none. x265 writes these into the bitstream only
// from its own parameters.
std::string X265HdrParams(const AVStream* st);

// SVT-AV1's parameters for the same ("mastering-display=G(x,y)B(x,y)R(x,y)WP(x,y)L(max,min):
// content-light=cll,fall", chromaticities and candelas as decimals); "" when it has none. SVT-AV1
// writes them into the bitstream as metadata units.
std::string SvtAv1HdrParams(const AVStream* st);
