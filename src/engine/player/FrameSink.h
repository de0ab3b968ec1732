#pragma once
// Where the player's pictures go. The engine has no windows: the application hands the player a
// frame sink (a widget that paints the picture scaled into its panel, a null sink that counts,
// ...). The player calls it on its display thread for every picture it puts on screen.
//
// Ownership: the caller owns the sink and keeps it alive until the player was stopped (Stop with
// wait, or the player destroyed). Threads: ShowFrame and ClearFrame run on the player's display
// thread, never on the caller's thread; the sink synchronises with its own user interface.

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

// The subtitle shown over a picture. Picture subtitles are the decoder's SUBTITLE_BITMAP rects
// (8-bit palette indexes in data[0], nb_colors 32-bit ARGB entries in data[1]) placed on a
// canvas of CanvasWidth x CanvasHeight, which is stretched over the picture. Text subtitles are
// given as plain text, lines separated by '\n', to be drawn at the bottom of the picture.
struct TSinkSubtitle {
    int CanvasWidth = 0;
    int CanvasHeight = 0;
    std::vector<const AVSubtitleRect*> Pictures;
    std::string Text;
};

struct TSinkFrameInfo {
    // Display aspect ratio (width / height) the picture should be shown with; never 0.
    double AspectRatio = 1.0;
    int64_t PTS = -1;  // microseconds from the file start, -1 unknown
    bool VerticalFlip = false;
    // The subtitle over this picture, null when none (valid only during the call).
    const TSinkSubtitle* Subtitle = nullptr;
};

// The sound as the sound display draws it, from the samples being heard now. Values holds
// Channels runs of Count numbers each: with Wave the samples (-1 to 1, oldest first), with
// Spectrum the loudness of Count frequency bands from 0 Hz up to half the sample rate (0 to 1,
// on a decibel scale).
struct TSinkSound {
    enum class Shape { Wave, Spectrum };
    Shape Kind = Shape::Wave;
    int Channels = 0;
    int Count = 0;
    std::vector<float> Values;
    int64_t PTS = -1;  // microseconds from the file start, -1 unknown
};

class TFrameSink {
public:
    virtual ~TFrameSink() = default;
    // A picture to show now. picture is valid only during the call (convert or reference it).
    virtual void ShowFrame(const AVFrame& picture, const TSinkFrameInfo& info) = 0;
    // Nothing to show any more (file closed, audio only): show the empty panel.
    virtual void ClearFrame() = 0;
    // The sound display's next drawing (in place of pictures); sound is valid only during the
    // call. Sinks that show no sound ignore it.
    virtual void ShowSound(const TSinkSound& sound) { (void)sound; }
};

// A sink that shows nothing and only counts (command-line player, tests).
class TNullFrameSink : public TFrameSink {
public:
    void ShowFrame(const AVFrame&, const TSinkFrameInfo& info) override {
        ++frames_;
        if (info.Subtitle) ++subtitled_;
        lastPTS_ = info.PTS;
    }
    void ClearFrame() override {}
    void ShowSound(const TSinkSound&) override { ++sounds_; }
    int64_t Frames() const { return frames_.load(); }
    int64_t LastPTS() const { return lastPTS_.load(); }
    // Pictures shown with a subtitle over them.
    int64_t SubtitledFrames() const { return subtitled_.load(); }
    // Drawings of the sound display.
    int64_t Sounds() const { return sounds_.load(); }

private:
    std::atomic<int64_t> frames_{0};
    std::atomic<int64_t> subtitled_{0};
    std::atomic<int64_t> sounds_{0};
    std::atomic<int64_t> lastPTS_{-1};
};
