#pragma once
// The sound display's memory: the player's audio callback hands it every buffer of samples it
// decodes for the device (16-bit, interleaved, before volume and mute); the display thread takes
// from it the window of samples being heard now, as a wave or as a spectrum.
//
// Which samples are heard now: the callback says, each time it has filled the device, how many
// samples the device and the callback still hold ahead of the ear (Mark); the display moves on
// from there with the wall clock.
//
// Threads: Push and Mark run on the audio callback, Take on the display thread; one short lock
// guards the ring (a copy of a few thousand samples), so the callback never waits long.

#include <cstdint>
#include <mutex>
#include <vector>

#include "engine/player/FrameSink.h"

class TAudioDisplay {
public:
    // Samples per channel in one drawing: a wave of about 23 ms at 44.1 kHz, and the size of the
    // spectrum's transform (a power of two).
    static constexpr int kWindow = 1024;

    // Starts over for a device of `channels` channels at `sampleRate` samples per second.
    void Reset(int channels, int sampleRate);
    // Interleaved samples decoded for the device (frames = samples per channel).
    void Push(const int16_t* samples, int frames);
    // After a callback at `time` (seconds, PlayerNow): `ahead` frames were given to the device or
    // decoded but not yet heard.
    void Mark(int ahead, double time);
    // The window heard at `now` (seconds) drawn as `kind`; false before any sound.
    bool Take(TSinkSound::Shape kind, double now, TSinkSound& out);

    // The loudness of each band of a window of samples, 0 to 1 on a 90 dB scale: `samples` holds
    // a power-of-two count, the result half as many bands. Any thread.
    static std::vector<float> Spectrum(const std::vector<float>& samples);

private:
    std::mutex lock_;
    std::vector<int16_t> ring_;  // kRingFrames frames, interleaved
    int channels_ = 0;
    int sampleRate_ = 0;
    int64_t written_ = 0;  // frames pushed since Reset
    int64_t heard_ = -1;   // frame heard at markTime_, -1 before the first Mark
    double markTime_ = 0;
};
