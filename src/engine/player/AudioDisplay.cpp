#include "engine/player/AudioDisplay.h"

#include <algorithm>
#include <cmath>
#include <complex>

namespace {
// Half a second at 48 kHz: the device's and the callback's own buffers fit several times over.
constexpr int kRingFrames = 32768;

// In-place radix-2 transform; data.size() is a power of two.
void Transform(std::vector<std::complex<float>>& data) {
    const size_t n = data.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j) std::swap(data[i], data[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        const float angle = -2.0f * static_cast<float>(M_PI) / static_cast<float>(len);
        const std::complex<float> step(std::cos(angle), std::sin(angle));
        for (size_t i = 0; i < n; i += len) {
            std::complex<float> w(1.0f, 0.0f);
            for (size_t k = 0; k < len / 2; ++k) {
                const std::complex<float> even = data[i + k];
                const std::complex<float> odd = data[i + k + len / 2] * w;
                data[i + k] = even + odd;
                data[i + k + len / 2] = even - odd;
                w *= step;
            }
        }
    }
}
}  // namespace

void TAudioDisplay::Reset(int channels, int sampleRate) {
    std::lock_guard<std::mutex> guard(lock_);
    channels_ = std::max(0, channels);
    sampleRate_ = std::max(0, sampleRate);
    ring_.assign(static_cast<size_t>(kRingFrames) * channels_, 0);
    written_ = 0;
    heard_ = -1;
}

void TAudioDisplay::Push(const int16_t* samples, int frames) {
    std::lock_guard<std::mutex> guard(lock_);
    if (channels_ <= 0 || frames <= 0) return;
    if (frames > kRingFrames) {  // only the newest part can ever be drawn
        samples += static_cast<size_t>(frames - kRingFrames) * channels_;
        written_ += frames - kRingFrames;
        frames = kRingFrames;
    }
    int at = static_cast<int>(written_ % kRingFrames);
    while (frames > 0) {
        const int chunk = std::min(frames, kRingFrames - at);
        std::copy_n(samples, static_cast<size_t>(chunk) * channels_, ring_.begin() + static_cast<ptrdiff_t>(at) * channels_);
        samples += static_cast<size_t>(chunk) * channels_;
        written_ += chunk;
        frames -= chunk;
        at = 0;
    }
}

void TAudioDisplay::Mark(int ahead, double time) {
    std::lock_guard<std::mutex> guard(lock_);
    heard_ = std::max<int64_t>(0, written_ - std::max(0, ahead));
    markTime_ = time;
}

bool TAudioDisplay::Take(TSinkSound::Shape kind, double now, TSinkSound& out) {
    std::vector<float> window;
    int channels;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (channels_ <= 0 || heard_ < 0 || sampleRate_ <= 0) return false;
        channels = channels_;
        // The device has played on since the last callback, but never past what it was given.
        int64_t end = heard_ + std::llround(std::max(0.0, now - markTime_) * sampleRate_);
        end = std::min(end, written_);
        const int64_t start = std::max<int64_t>(end - kWindow, written_ - kRingFrames + 1);
        window.assign(static_cast<size_t>(kWindow) * channels, 0.0f);
        // Channel-major, the window's end aligned with the heard sample (silence before the start).
        for (int64_t f = std::max<int64_t>(start, 0); f < end; ++f) {
            const int16_t* frame = ring_.data() + static_cast<size_t>(f % kRingFrames) * channels;
            const size_t i = static_cast<size_t>(kWindow - (end - f));
            for (int c = 0; c < channels; ++c)
                window[static_cast<size_t>(c) * kWindow + i] = frame[c] / 32768.0f;
        }
    }
    out.Kind = kind;
    out.Channels = channels;
    if (kind == TSinkSound::Shape::Wave) {
        out.Count = kWindow;
        out.Values = std::move(window);
        return true;
    }
    out.Count = kWindow / 2;
    out.Values.clear();
    out.Values.reserve(static_cast<size_t>(channels) * out.Count);
    for (int c = 0; c < channels; ++c) {
        const std::vector<float> one(window.begin() + static_cast<ptrdiff_t>(c) * kWindow,
                                     window.begin() + static_cast<ptrdiff_t>(c + 1) * kWindow);
        const std::vector<float> bands = Spectrum(one);
        out.Values.insert(out.Values.end(), bands.begin(), bands.end());
    }
    return true;
}

std::vector<float> TAudioDisplay::Spectrum(const std::vector<float>& samples) {
    const size_t n = samples.size();
    std::vector<std::complex<float>> data(n);
    // A Hann window keeps a pure tone in a few bands instead of smearing it over all of them.
    for (size_t i = 0; i < n; ++i)
        data[i] = samples[i] * 0.5f * (1.0f - std::cos(2.0f * static_cast<float>(M_PI) * i / (n - 1)));
    Transform(data);
    std::vector<float> bands(n / 2);
    // A full-scale sine reaches about n/4 after the window: that is 0 dB.
    const float full = static_cast<float>(n) / 4.0f;
    for (size_t k = 0; k < n / 2; ++k) {
        const float db = 20.0f * std::log10(std::max(std::abs(data[k]) / full, 1e-6f));
        bands[k] = std::clamp((db + 90.0f) / 90.0f, 0.0f, 1.0f);
    }
    return bands;
}
