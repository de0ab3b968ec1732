#pragma once
// The concrete encoder settings of one profile or one media entry. A plain value: copying it
// gives an independent object.

#include <QString>
#include <cstdint>

class TEncParam {
public:
    int Width = 0;         // pixels; <= 0: keep the source size
    int Height = 0;        // pixels; <= 0: keep the source size
    int VideoBitrate = 0;  // bits per second; <= 0: encoder default
    int FrameRate = 0;     // thousandths of a frame per second; <= 0: keep the source rate
    int SampleRate = 0;    // Hz; <= 0: encoder default
    int AudioBitrate = 0;  // bits per second; <= 0: encoder default
    int Channels = 1;      // the settings dialog stores -1 for its automatic choice
    int Interpolation = 0;
    int ResizeStyle = 0;
    int Zoom = 1;
    QString VideoEncoder;  // empty or "Auto" (any case): the output type's default
    QString AudioEncoder;
    // Device and web profiles write 4:2:0 pictures, which every player decodes; a profile that
    // says <KeepPixelFormat>1</KeepPixelFormat> keeps the source's chroma format where its
    // encoder takes it.
    bool KeepPixelFormat = false;
    // The encoder profile and level a device decodes (<VideoProfile>main</VideoProfile>,
    // <VideoLevel>3.1</VideoLevel>); empty: the encoder's own choice. Used with the encoder the
    // profile was written for only.
    QString VideoProfile;
    QString VideoLevel;
    // A pixel format the profile asks for by name ("yuv420p10le" for 10-bit); empty: the rule
    // above. <PixelFormat> in the parameter file.
    QString PixelFormat;
    // Constant quality on the video encoder's own scale (see QualityScale.h); < 0: the bit rate
    // decides. <Quality> in the parameter file.
    int Quality = -1;
    // The whole output must fit into this many bytes; <= 0: no limit. <FitSize> in the parameter
    // file, written like "25M". Takes the place of the video bit rate and of Quality.
    int64_t FitSize = 0;
    bool IsSplite = false;
    int SpliteSize = -1;
    int SpliteTime = -1;

    bool operator==(const TEncParam&) const = default;
};
