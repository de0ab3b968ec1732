// vanto-convert play [--seek SECONDS] [--duration SECONDS] [--display WxH] [--no-window]
//                    [--loop] [--stats] [--sound wave|spectrum] [--loglevel LEVEL] FILE
//
// Plays FILE through the same player as the window program: the pictures go to an SDL window
// where there is a display (X11 or Wayland), else (or with --no-window) to a sink that only
// counts them (with --display, converts each one as the window would for a panel of that size);
// the sound goes to SDL's audio output (SDL_AUDIODRIVER=dummy where there is no sound card).
// Plays to the end, until the window is closed, or for --duration seconds of wall-clock time.
// --seek jumps there once the first picture (or sound) has come. --stats prints the playback
// counters at the end.
#include "cli/PlayCommand.h"

#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "engine/library/FFmpegLoader.h"
#include "engine/library/FFmpegLogger.h"
#include "engine/player/FrameScaler.h"
#include "engine/player/Player.h"
#include "engine/player/SDLFrameSink.h"

namespace {

// Does the window's work for each picture (one conversion to 32-bit RGB at the letterboxed size
// in a panel of the given size) without a window.
class TDisplayCostSink : public TNullFrameSink {
public:
    TDisplayCostSink(int width, int height) : width_(width), height_(height) {}
    void ShowFrame(const AVFrame& picture, const TSinkFrameInfo& info) override {
        TDisplayRect r = LetterboxRect(width_, height_, info.AspectRatio);
        int stride = r.Width * 4;
        if (buffer_.size() < static_cast<size_t>(stride) * r.Height)
            buffer_.resize(static_cast<size_t>(stride) * r.Height);
        scaler_.Scale(picture, r.Width, r.Height, AV_PIX_FMT_BGRA, buffer_.data(), stride, info.VerticalFlip);
        TNullFrameSink::ShowFrame(picture, info);
    }

private:
    int width_, height_;
    TFrameScaler scaler_;
    std::vector<uint8_t> buffer_;
};

void PrintHelp(std::FILE* out) {
    std::fputs(
        "usage: vanto-convert play [--seek SECONDS] [--duration SECONDS] [--display WxH]\n"
        "                          [--no-window] [--loop] [--stats] [--sound wave|spectrum]\n"
        "                          [--loglevel LEVEL] FILE\n"
        "\n"
        "Plays FILE through the player. Where there is a display (DISPLAY or\n"
        "WAYLAND_DISPLAY set) the pictures are shown in a window, scaled with their\n"
        "aspect ratio kept; closing the window (or Escape or q in it) ends playing as the\n"
        "end of the file would. Without a display, or with --no-window, the pictures are\n"
        "decoded, timed and counted only. The sound goes to SDL's audio output (set\n"
        "SDL_AUDIODRIVER=dummy where there is no sound card). Exit status: 0 when the\n"
        "file played, 1 when it could not be opened or playing stopped on an error, 2 for\n"
        "a wrong command line.\n"
        "\n"
        "  --seek SECONDS      jump to this time once playing has begun\n"
        "  --duration SECONDS  stop after this long (wall clock); default: to the end\n"
        "  --display WxH       the window's size (default: the picture's); with\n"
        "                      --no-window, convert every picture as a window of this\n"
        "                      size would\n"
        "  --no-window         never open a window, even where there is a display\n"
        "  --loop              start again from the beginning at the end (with\n"
        "                      --duration: for that long)\n"
        "  --stats             print frames shown and dropped, the largest audio/video\n"
        "                      gap, the seek latency and the processor time at the end\n"
        "  --sound wave|spectrum  draw the sound display (the sound being heard as a wave\n"
        "                      or a spectrum) in place of the pictures; a file without\n"
        "                      pictures draws the wave unless told otherwise; the\n"
        "                      drawings are counted (--stats), a window does not show\n"
        "                      them\n"
        "  --loglevel LEVEL    show the media libraries' messages up to LEVEL\n",
        out);
}

// A display server to open a window on.
bool HasDisplay() {
    auto set = [](const char* name) {
        const char* value = std::getenv(name);
        return value && *value;
    };
    return set("DISPLAY") || set("WAYLAND_DISPLAY");
}

std::string BaseName(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool ParseSeconds(const std::string& text, double& value) {
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return end && *end == '\0' && !text.empty() && value >= 0;
}

double ProcessorSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

int Run(const std::vector<std::string>& args) {
    double seek = -1, duration = -1;
    bool stats = false, loop = false, noWindow = false;
    std::string logLevel = "quiet";
    std::string file;
    int displayWidth = 0, displayHeight = 0;
    std::string sound;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") {
            PrintHelp(stdout);
            return kExitOk;
        } else if (a == "--stats") {
            stats = true;
        } else if (a == "--no-window") {
            noWindow = true;
        } else if (a == "--loop") {
            loop = true;
        } else if (a == "--display") {
            if (i + 1 >= args.size() ||
                std::sscanf(args[i + 1].c_str(), "%dx%d", &displayWidth, &displayHeight) != 2 ||
                displayWidth <= 0 || displayHeight <= 0) {
                std::fprintf(stderr, "vanto-convert play: --display needs a size such as 1280x720\n");
                return kExitUsage;
            }
            ++i;
        } else if (a == "--sound") {
            if (i + 1 >= args.size() || (args[i + 1] != "wave" && args[i + 1] != "spectrum")) {
                std::fprintf(stderr, "vanto-convert play: --sound needs wave or spectrum\n");
                return kExitUsage;
            }
            sound = args[++i];
        } else if (a == "--seek" || a == "--duration" || a == "--loglevel") {
            if (i + 1 >= args.size()) {
                std::fprintf(stderr, "vanto-convert play: %s needs a value\n", a.c_str());
                return kExitUsage;
            }
            const std::string& v = args[++i];
            if (a == "--loglevel") {
                logLevel = v;
            } else if (!ParseSeconds(v, a == "--seek" ? seek : duration)) {
                std::fprintf(stderr, "vanto-convert play: %s: not a number of seconds: %s\n", a.c_str(),
                             v.c_str());
                return kExitUsage;
            }
        } else if (a.size() > 1 && a[0] == '-') {
            std::fprintf(stderr, "vanto-convert play: unknown option %s\n", a.c_str());
            return kExitUsage;
        } else if (!file.empty()) {
            std::fprintf(stderr, "vanto-convert play: only one file can be played\n");
            return kExitUsage;
        } else {
            file = a;
        }
    }
    if (file.empty()) {
        std::fprintf(stderr, "vanto-convert play: no file given (see vanto-convert play --help)\n");
        return kExitUsage;
    }
    TFFLogger& logger = GetFFLogger();
    try {
        logger.OptLogLevel(logLevel);
    } catch (const std::invalid_argument& e) {
        std::fprintf(stderr, "vanto-convert play: --loglevel: %s\n", e.what());
        return kExitUsage;
    }
    logger.SetTriggerEventInMainThread(false);
    logger.SetOnLog([](const void*, uint32_t, TLogLevel, const std::string& message) {
        std::fprintf(stderr, "%s\n", message.c_str());
    });

    TFFPlayer player;
    if (!player.LoadAVLib(EngineProgramFolder() + "/lib")) {
        std::fprintf(stderr, "%s\n", player.LastErrMsg().c_str());
        return kExitFailed;
    }
    player.SetTriggerEventInMainThread(false);
    if (loop) player.SetRepeatType(TRepeatType::rtLoop);
    if (!sound.empty()) {
        player.SetShowAudio(sound == "wave" ? TShowAudio::saWave : TShowAudio::saRDFT);
        player.SetShowAudioOverVideo(true);
    }
    std::atomic<bool> ended{false};
    player.SetOnState([&](TCustomPlayer*, TPlayState state) {
        if ((state == TPlayState::psEnd && !loop) || state == TPlayState::psStop) ended.store(true);
    });
    double cpuStart = ProcessorSeconds();
    // The window where there is a display to open one on, else a sink without a window.
    std::unique_ptr<TSDLFrameSink> window;
    if (!noWindow && HasDisplay()) {
        window = std::make_unique<TSDLFrameSink>();
        if (!window->Start(BaseName(file), displayWidth, displayHeight)) {
            std::fprintf(stderr, "vanto-convert play: no window (%s); playing without one\n",
                         window->Error().c_str());
            window.reset();
        }
    }
    std::unique_ptr<TNullFrameSink> counter;
    if (!window)
        counter = displayWidth > 0 ? std::make_unique<TDisplayCostSink>(displayWidth, displayHeight)
                                   : std::make_unique<TNullFrameSink>();
    TFrameSink* sink = window ? static_cast<TFrameSink*>(window.get()) : counter.get();
    auto windowClosed = [&] { return window && window->Closed(); };
    if (!player.Open(file, sink, false)) {
        std::fprintf(stderr, "%s\n", player.LastErrMsg().c_str());
        return kExitFailed;
    }
    using Clock = std::chrono::steady_clock;
    auto started = Clock::now();
    auto elapsed = [&] { return std::chrono::duration<double>(Clock::now() - started).count(); };
    if (seek >= 0) {
        // Jump once the first picture is on screen (or, without video, once playing has begun).
        while (!ended.load() && !windowClosed() && elapsed() < 10 && player.VideoStreamIndex() >= 0 &&
               player.Stats().FramesShown == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        player.Seek(TSeekFlags(), static_cast<int64_t>(seek * 1e6));
        started = Clock::now();
    }
    while (!ended.load() && !windowClosed() && (duration < 0 || elapsed() < duration))
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    bool stoppedOnError = player.State() == TPlayState::psStop && !player.LastErrMsg().empty();
    TPlayerStats s = player.Stats();
    player.Stop(true);
    if (stats) {
        s = player.Stats();
        std::printf("frames shown: %lld\n", static_cast<long long>(s.FramesShown));
        std::printf("frames dropped: %lld\n", static_cast<long long>(s.FramesDropped));
        if (window)
            std::printf("frames drawn in the window: %lld\n", static_cast<long long>(window->Presented()));
        if (counter && counter->Sounds() > 0)
            std::printf("sound drawings: %lld\n", static_cast<long long>(counter->Sounds()));
        if (s.FramesDropped > 0) {
            // Where: "-" marks a picture that was late already when it was decoded.
            std::printf("dropped at:");
            for (int64_t i = 0; i < std::min<int64_t>(s.FramesDropped, TPlayerStats::kDropTimes); ++i)
                std::printf(" %s%.3f", s.DropEarly[i] ? "-" : "", s.DropTimes[i] / 1e6);
            std::printf("\n");
        }
        if (s.AVGapSamples > 0) {
            std::printf("max a/v gap: %.1f ms\n", static_cast<double>(s.MaxAVGap) / 1000.0);
            std::printf("pictures over %lld ms from the sound: %lld of %lld\n",
                        static_cast<long long>(TPlayerStats::kAVGapBound / 1000),
                        static_cast<long long>(s.AVGapsOverBound), static_cast<long long>(s.AVGapSamples));
        } else {
            std::printf("max a/v gap: -\n");
        }
        if (s.SeekCount > 0)
            std::printf("seek latency: %.1f ms (picture at %.3f s)\n",
                        static_cast<double>(s.LastSeekLatency) / 1000.0,
                        static_cast<double>(s.LastSeekFramePTS) / 1e6);
        else
            std::printf("seek latency: -\n");
        std::printf("processor time: %.2f s\n", ProcessorSeconds() - cpuStart);
        std::fflush(stdout);
    }
    if (stoppedOnError) {
        std::fprintf(stderr, "%s\n", player.LastErrMsg().c_str());
        return kExitFailed;
    }
    return kExitOk;
}

}  // namespace

TCliCommand PlayCommand() {
    return {"play", "play a media file (in a window where there is a display; the player's benchmark)",
            &PrintHelp, &Run};
}
