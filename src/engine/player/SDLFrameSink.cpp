#include "engine/player/SDLFrameSink.h"

#include <chrono>
#include <cmath>
#include <cstring>
#include <memory>
#include <utility>

#include "engine/library/FFmpegLogger.h"
#include "engine/player/FrameScaler.h"

namespace {

// The window's size until the first picture tells the right one (audio-only files keep it).
constexpr int kDefaultWidth = 640;
constexpr int kDefaultHeight = 360;
// The longest ShowFrame waits for its picture to be drawn.
constexpr auto kDrawWait = std::chrono::milliseconds(100);

struct TWindowDeleter {
    void operator()(SDL_Window* w) const {
        if (w) ff::SDL_DestroyWindow(w);
    }
};
struct TRendererDeleter {
    void operator()(SDL_Renderer* r) const {
        if (r) ff::SDL_DestroyRenderer(r);
    }
};
struct TTextureDeleter {
    void operator()(SDL_Texture* t) const {
        if (t) ff::SDL_DestroyTexture(t);
    }
};

// SDL's video subsystem, initialised (and later shut down) on the window thread.
struct TVideoSubsystem {
    bool On = false;
    TVideoSubsystem() = default;
    TVideoSubsystem(const TVideoSubsystem&) = delete;
    TVideoSubsystem& operator=(const TVideoSubsystem&) = delete;
    ~TVideoSubsystem() {
        if (On) ff::SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }
};

// yuv420p in limited range with rows top-down goes into a YUV texture as it is.
bool DirectYUV(const AVFrame& f) {
    return f.format == AV_PIX_FMT_YUV420P && f.linesize[0] > 0 && f.linesize[1] > 0 && f.linesize[2] > 0;
}

}  // namespace

// Everything the window thread owns; destroyed on that thread in reverse order (the texture
// first, SDL's video subsystem last).
struct TSDLFrameSink::TWindow {
    TVideoSubsystem Video;
    std::unique_ptr<SDL_Window, TWindowDeleter> Window;
    std::unique_ptr<SDL_Renderer, TRendererDeleter> Renderer;
    std::unique_ptr<SDL_Texture, TTextureDeleter> Texture;
    uint32_t TextureFormat = 0;
    int TextureWidth = 0, TextureHeight = 0;
    bool Uploaded = false;  // the texture holds the picture on show
    bool Counted = false;   // the picture on show was counted in Presented
    TFramePtr Shown;        // a reference to the picture on show (empty: black window)
    TSinkFrameInfo Info;
    TFrameScaler Scaler;
    bool FixedSize = false;
    bool Visible = false;
};

TSDLFrameSink::~TSDLFrameSink() {
    if (!thread_.joinable()) return;
    quit_.store(true);
    Wake();
    thread_.join();
}

std::string TSDLFrameSink::Error() const {
    std::lock_guard<std::mutex> guard(startLock_);
    return error_;
}

bool TSDLFrameSink::Start(const std::string& title, int width, int height) {
    if (thread_.joinable()) return true;  // started before
    if (!FFLoader().Loaded(TLibrary::lbSDL)) {
        std::lock_guard<std::mutex> guard(startLock_);
        error_ = "libsdl not loaded.";
        return false;
    }
    libraryUse_.Acquire();
    thread_ = std::thread([this, title, width, height] { WindowLoop(title, width, height); });
    std::unique_lock<std::mutex> guard(startLock_);
    started_.wait(guard, [this] { return startResult_ != 0; });
    if (startResult_ > 0) return true;
    guard.unlock();
    thread_.join();
    libraryUse_.Release();
    return false;
}

bool TSDLFrameSink::OpenWindow(TWindow& w, const std::string& title, int width, int height) {
    auto fail = [this](const std::string& what) {
        std::lock_guard<std::mutex> guard(startLock_);
        error_ = what + ff::SDL_GetError();
        return false;
    };
    if (ff::SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return fail("Could not initialize SDL video: ");
    w.Video.On = true;
    // SDL falls back to drivers that draw into memory only when the display cannot be opened:
    // no window to show.
    const char* driver = ff::SDL_GetCurrentVideoDriver ? ff::SDL_GetCurrentVideoDriver() : nullptr;
    if (driver && (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0)) {
        std::lock_guard<std::mutex> guard(startLock_);
        error_ = std::string("SDL video driver ") + driver + " shows nothing";
        return false;
    }
    uint32_t event = ff::SDL_RegisterEvents(1);
    if (event == static_cast<uint32_t>(-1)) return fail("SDL_RegisterEvents() failed: ");
    wakeEvent_.store(event);
    w.FixedSize = width > 0 && height > 0;
    w.Window.reset(ff::SDL_CreateWindow(
        title.c_str(), SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, w.FixedSize ? width : kDefaultWidth,
        w.FixedSize ? height : kDefaultHeight, SDL_WINDOW_HIDDEN | SDL_WINDOW_RESIZABLE));
    if (!w.Window) return fail("SDL_CreateWindow() failed: ");
    ff::SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "linear");
    w.Renderer.reset(ff::SDL_CreateRenderer(w.Window.get(), -1, 0));
    if (!w.Renderer) w.Renderer.reset(ff::SDL_CreateRenderer(w.Window.get(), -1, SDL_RENDERER_SOFTWARE));
    if (!w.Renderer) return fail("SDL_CreateRenderer() failed: ");
    SDL_RendererInfo info{};
    if (ff::SDL_GetRendererInfo && ff::SDL_GetRendererInfo(w.Renderer.get(), &info) == 0 && info.name)
        GetFFLogger().Log(this, TLogLevel::llVerbose,
                          std::string("using video driver: ") +
                              (ff::SDL_GetCurrentVideoDriver ? ff::SDL_GetCurrentVideoDriver() : "?") +
                              ", renderer: " + info.name + "\n");
    return true;
}

void TSDLFrameSink::WindowLoop(std::string title, int width, int height) {
    TWindow w;
    bool opened = OpenWindow(w, title, width, height);
    {
        std::lock_guard<std::mutex> guard(startLock_);
        startResult_ = opened ? 1 : -1;
    }
    started_.notify_all();
    if (!opened) {
        wakeEvent_.store(0);
        return;
    }

    SDL_Event event;
    while (!quit_.load()) {
        // Wait for the first event, then take whatever else is queued before drawing once.
        if (!ff::SDL_WaitEventTimeout(&event, 100)) continue;
        bool redraw = false;
        uint64_t taken = 0;
        do {
            if (event.type == wakeEvent_.load()) {
                std::lock_guard<std::mutex> guard(pendingLock_);
                wakePosted_ = false;
                if (hasPending_) {
                    std::swap(w.Shown, pending_);
                    taken = pendingSerial_;
                    w.Info = pendingInfo_;
                    w.Uploaded = false;
                    w.Counted = false;
                    hasPending_ = false;
                    redraw = true;
                    if (pending_) ff::av_frame_unref(pending_.get());
                }
                if (clearPending_) {
                    w.Shown.reset();
                    clearPending_ = false;
                    redraw = true;
                }
            } else if (event.type == SDL_QUIT) {
                closed_.store(true);
            } else if (event.type == SDL_WINDOWEVENT) {
                if (event.window.event == SDL_WINDOWEVENT_CLOSE) closed_.store(true);
                if (event.window.event == SDL_WINDOWEVENT_EXPOSED ||
                    event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED)
                    redraw = true;
            } else if (event.type == SDL_KEYDOWN) {
                SDL_Keycode key = event.key.keysym.sym;
                if (key == SDLK_ESCAPE || key == SDLK_q) closed_.store(true);
            }
        } while (!quit_.load() && ff::SDL_WaitEventTimeout(&event, 0));
        if (redraw && !quit_.load()) Render(w);
        if (taken) {
            std::lock_guard<std::mutex> guard(pendingLock_);
            drawnSerial_ = taken;
        }
        drawn_.notify_all();
    }
    drawn_.notify_all();
}

void TSDLFrameSink::Render(TWindow& w) {
    bool picture = w.Shown && w.Shown->data[0] && w.Shown->width > 0 && w.Shown->height > 0;
    if (!w.Visible) {
        // The first picture sizes the window to the picture's display size.
        if (picture && !w.FixedSize) {
            int height = w.Shown->height;
            int width = static_cast<int>(std::lround(height * w.Info.AspectRatio));
            ff::SDL_SetWindowSize(w.Window.get(), width > 0 ? width : w.Shown->width, height);
        }
        ff::SDL_ShowWindow(w.Window.get());
        w.Visible = true;
    }
    int outWidth = 0, outHeight = 0;
    ff::SDL_GetRendererOutputSize(w.Renderer.get(), &outWidth, &outHeight);
    ff::SDL_SetRenderDrawColor(w.Renderer.get(), 0, 0, 0, 255);
    ff::SDL_RenderClear(w.Renderer.get());
    SDL_Rect place{};
    bool drawn = false;
    if (picture && UploadPicture(w, outWidth, outHeight, place)) {
        auto flip = w.Info.VerticalFlip ? SDL_FLIP_VERTICAL : SDL_FLIP_NONE;
        drawn =
            ff::SDL_RenderCopyEx(w.Renderer.get(), w.Texture.get(), nullptr, &place, 0.0, nullptr, flip) == 0;
    }
    ff::SDL_RenderPresent(w.Renderer.get());
    if (drawn && !w.Counted) {
        w.Counted = true;
        presented_.fetch_add(1);
    }
}

bool TSDLFrameSink::UploadPicture(TWindow& w, int outWidth, int outHeight, SDL_Rect& place) {
    const AVFrame& f = *w.Shown;
    TDisplayRect r = LetterboxRect(outWidth, outHeight, w.Info.AspectRatio);
    if (r.Width <= 0 || r.Height <= 0) return false;
    place = SDL_Rect{r.X, r.Y, r.Width, r.Height};
    // A YUV texture of the picture's size is scaled by the renderer; any other format is
    // converted by swscale straight to the size it is shown at.
    bool yuv = DirectYUV(f);
    uint32_t format = yuv ? SDL_PIXELFORMAT_IYUV : SDL_PIXELFORMAT_ARGB8888;
    int width = yuv ? f.width : r.Width;
    int height = yuv ? f.height : r.Height;
    if (!w.Texture || w.TextureFormat != format || w.TextureWidth != width || w.TextureHeight != height) {
        w.Texture.reset(
            ff::SDL_CreateTexture(w.Renderer.get(), format, SDL_TEXTUREACCESS_STREAMING, width, height));
        if (!w.Texture) {
            GetFFLogger().Log(this, TLogLevel::llError,
                              std::string("SDL_CreateTexture() failed: ") + ff::SDL_GetError());
            return false;
        }
        w.TextureFormat = format;
        w.TextureWidth = width;
        w.TextureHeight = height;
        w.Uploaded = false;
    }
    if (w.Uploaded) return true;
    if (yuv) {
        if (ff::SDL_UpdateYUVTexture(w.Texture.get(), nullptr, f.data[0], f.linesize[0], f.data[1],
                                     f.linesize[1], f.data[2], f.linesize[2]) != 0)
            return false;
    } else {
        void* pixels = nullptr;
        int pitch = 0;
        if (ff::SDL_LockTexture(w.Texture.get(), nullptr, &pixels, &pitch) != 0) return false;
        bool scaled =
            w.Scaler.Scale(f, width, height, AV_PIX_FMT_RGB32, static_cast<uint8_t*>(pixels), pitch);
        ff::SDL_UnlockTexture(w.Texture.get());
        if (!scaled) return false;
    }
    w.Uploaded = true;
    return true;
}

void TSDLFrameSink::Wake() {
    uint32_t type = wakeEvent_.load();
    if (!type) return;
    SDL_Event event{};
    event.type = type;
    ff::SDL_PushEvent(&event);
}

void TSDLFrameSink::ShowFrame(const AVFrame& picture, const TSinkFrameInfo& info) {
    if (!wakeEvent_.load() || quit_.load()) return;
    bool post = false;
    uint64_t serial = 0;
    {
        std::lock_guard<std::mutex> guard(pendingLock_);
        if (!pending_) pending_.reset(ff::av_frame_alloc());
        if (!pending_) return;
        ff::av_frame_unref(pending_.get());
        if (ff::av_frame_ref(pending_.get(), &picture) < 0) return;
        pendingInfo_ = info;
        pendingInfo_.Subtitle = nullptr;  // valid only during this call; the window draws none
        serial = ++pendingSerial_;
        hasPending_ = true;
        clearPending_ = false;
        post = !wakePosted_;
        wakePosted_ = true;
    }
    if (post) Wake();
    std::unique_lock<std::mutex> guard(pendingLock_);
    drawn_.wait_for(guard, kDrawWait,
                    [&] { return drawnSerial_ >= serial || quit_.load() || closed_.load(); });
}

void TSDLFrameSink::ClearFrame() {
    if (!wakeEvent_.load() || quit_.load()) return;
    bool post = false;
    {
        std::lock_guard<std::mutex> guard(pendingLock_);
        if (pending_) ff::av_frame_unref(pending_.get());
        hasPending_ = false;
        clearPending_ = true;
        post = !wakePosted_;
        wakePosted_ = true;
    }
    if (post) Wake();
}
