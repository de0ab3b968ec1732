// The sound display: which samples it draws (the ones being heard), its spectrum, and the player
// drawing it for sound-only files, in place of pictures on request, and not faster than asked.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <cmath>
#include <cstdlib>
#include <thread>
#include <vector>

#include "common/MediaFixtures.h"
#include "engine/player/AudioDisplay.h"
#include "engine/library/Dispatcher.h"
#include "engine/EngineFixtures.h"
#include "engine/library/FFmpegLoader.h"
#include "engine/player/Player.h"

using namespace std::chrono_literals;

TEST(AudioDisplay, DrawsTheSamplesBeingHeardAndTheirSpectrum) {
    TAudioDisplay display;
    display.Reset(2, 44100);
    TSinkSound sound;
    EXPECT_FALSE(display.Take(TSinkSound::Shape::Wave, 0, sound));  // nothing heard yet

    // Left channel: the frame's own number (scaled), right channel: its negative.
    std::vector<int16_t> samples;
    for (int f = 0; f < 10000; ++f) {
        samples.push_back(static_cast<int16_t>(f % 30000));
        samples.push_back(static_cast<int16_t>(-(f % 30000)));
    }
    display.Push(samples.data(), 10000);
    display.Mark(2000, 10.0);  // 2000 frames not yet heard at t = 10 s
    struct Case {
        double now;
        int lastHeard;
    } cases[] = {{10.0, 7999}, {10.01, 7999 + 441}, {9.0, 7999}, {20.0, 9999}};
    for (const Case& c : cases) {
        ASSERT_TRUE(display.Take(TSinkSound::Shape::Wave, c.now, sound));
        ASSERT_EQ(sound.Channels, 2);
        ASSERT_EQ(sound.Count, TAudioDisplay::kWindow);
        EXPECT_NEAR(sound.Values[TAudioDisplay::kWindow - 1] * 32768, c.lastHeard, 0.5) << c.now;
        EXPECT_NEAR(sound.Values[2 * TAudioDisplay::kWindow - 1] * 32768, -c.lastHeard, 0.5) << c.now;
        EXPECT_NEAR(sound.Values[0] * 32768, c.lastHeard - TAudioDisplay::kWindow + 1, 0.5) << c.now;
    }

    // A 1 kHz tone at half scale peaks in its own band (1000 / 44100 * 1024 = 23.2) and leaves
    // the bands far from it near the floor; silence is all floor.
    std::vector<float> tone(TAudioDisplay::kWindow);
    for (size_t i = 0; i < tone.size(); ++i)
        tone[i] = 0.5f * std::sin(2 * M_PI * 1000 * i / 44100.0);
    const std::vector<float> bands = TAudioDisplay::Spectrum(tone);
    ASSERT_EQ(bands.size(), TAudioDisplay::kWindow / 2);
    const auto peak = std::max_element(bands.begin(), bands.end()) - bands.begin();
    EXPECT_GE(peak, 22);
    EXPECT_LE(peak, 24);
    EXPECT_NEAR(bands[peak], (90 - 20 * std::log10(2.0)) / 90, 0.05);  // about -6 dB
    EXPECT_LT(bands[200], 0.2f);
    for (float b : TAudioDisplay::Spectrum(std::vector<float>(TAudioDisplay::kWindow, 0.0f)))
        EXPECT_EQ(b, 0.0f);
}

namespace {
// Counts the pictures and the sound drawings and remembers the last drawing's kind.
class SoundSink : public TNullFrameSink {
public:
    void ShowSound(const TSinkSound& sound) override {
        TNullFrameSink::ShowSound(sound);
        spectrum_ = sound.Kind == TSinkSound::Shape::Spectrum;
        loud_ = false;
        for (float v : sound.Values)
            loud_ = loud_ || std::fabs(v) > 0.05f;
    }
    std::atomic<bool> spectrum_{false};
    std::atomic<bool> loud_{false};
};

bool WaitFor(const std::function<bool()>& cond, std::chrono::milliseconds timeout = 5000ms) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!cond()) {
        if (std::chrono::steady_clock::now() > end) return false;
        GetDispatcher().pump();
        std::this_thread::sleep_for(5ms);
    }
    return true;
}
}  // namespace

TEST(PlayerSound, DrawnForSoundOnlyFilesAndOnRequestInPlaceOfPictures) {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    GetDispatcher();
    FFLoader().SetLibraryPath("");
    TFFPlayer player;
    ASSERT_TRUE(player.LoadAVLib("")) << player.LastErrMsg();
    player.SetTriggerEventInMainThread(false);
    player.set_rdftspeed(50);  // at most 20 drawings a second

    // A sound-only file draws its wave (the tone is loud), no faster than asked.
    SoundSink sink;
    ASSERT_TRUE(player.Open(enginetest::AudioOnlyMp2(), &sink, false)) << player.LastErrMsg();
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(WaitFor([&] { return sink.Sounds() >= 10; }));
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LE(sink.Sounds(), seconds * 20 + 2);
    EXPECT_TRUE(sink.loud_.load());
    EXPECT_FALSE(sink.spectrum_.load());
    player.ToggleAudioDisplay();  // wave -> spectrum
    const int64_t before = sink.Sounds();
    ASSERT_TRUE(WaitFor([&] { return sink.Sounds() > before + 2 && sink.spectrum_.load(); }));
    player.Stop(true);

    // Switched off: nothing is drawn.
    SoundSink quiet;
    player.SetShowAudio(TShowAudio::saNone);
    ASSERT_TRUE(player.Open(enginetest::AudioOnlyMp2(), &quiet, false));
    ASSERT_TRUE(WaitFor([&] { return player.CurrentPTS() > 500000; }));
    EXPECT_EQ(quiet.Sounds(), 0);
    player.Stop(true);

    // A file with pictures shows them, until the sound is asked for in their place.
    SoundSink video;
    player.SetShowAudio(TShowAudio::saWave);
    ASSERT_TRUE(player.Open(fixtures::Clip("sound-over.mp4", 3, 160, 120, 25, ""), &video, false));
    ASSERT_TRUE(WaitFor([&] { return video.Frames() >= 5; }));
    EXPECT_EQ(video.Sounds(), 0);
    player.SetShowAudioOverVideo(true);
    ASSERT_TRUE(WaitFor([&] { return video.Sounds() >= 5; }));
    const int64_t pictures = video.Frames();
    std::this_thread::sleep_for(300ms);
    EXPECT_LE(video.Frames(), pictures + 1);  // at most one already on its way
    player.Stop(true);
}
