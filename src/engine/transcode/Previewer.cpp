#include "engine/transcode/Previewer.h"

#include <mutex>

#include "engine/library/Dispatcher.h"

namespace {
std::mutex g_factoryLock;
TPreviewSinkFactory g_factory;

TPreviewSinkFactory Factory() {
    std::lock_guard<std::mutex> lock(g_factoryLock);
    return g_factory;
}
}  // namespace

void InstallPreviewSinkFactory(TPreviewSinkFactory factory) {
    std::lock_guard<std::mutex> lock(g_factoryLock);
    g_factory = std::move(factory);
}

TPreviewer::~TPreviewer() {
    if (!sink_) return;
    // The window belongs to the main thread.
    std::shared_ptr<TPreviewSink> sink(std::move(sink_));
    if (GetDispatcher().isMainThread())
        sink.reset();
    else
        GetDispatcher().post([sink]() mutable { sink.reset(); });
}

bool TPreviewer::PaintFrame(const TBitmap24& bitmap, int frameNumber, int64_t pts) {
    if (closed_) return false;
    frameNumber_ = frameNumber;
    pts_ = pts;
    GetDispatcher().send([&] {
        if (!sink_) {
            const TPreviewSinkFactory factory = Factory();
            if (factory) sink_ = factory();
        }
        closed_ = !sink_ || !sink_->Paint(bitmap, frameNumber, pts);
    });
    return !closed_;
}
