#include "app/StillPicture.h"

#include <QMetaObject>
#include <QTransform>
#include <algorithm>

#include "app/SnapshotWriter.h"
#include "engine/probe/AVProbe.h"

namespace {
// Pictures are kept at their display size, so about 300 of standard definition.
constexpr qsizetype kCacheBytes = 256LL * 1024 * 1024;
constexpr int64_t kLatestStill = 2000000;  // microseconds
}  // namespace

TStillPicture::TStillPicture(QObject* parent) : QObject(parent), cache_(kCacheBytes) {
    worker_ = std::thread([this] { Run(); });
}

TStillPicture::~TStillPicture() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        quit_ = true;
    }
    wake_.notify_all();
    worker_.join();
}

std::optional<QImage> TStillPicture::Cached(quint64 serial) const {
    if (const QImage* image = cache_.object(serial)) return *image;
    return std::nullopt;
}

void TStillPicture::Request(quint64 serial, const QString& file) {
    if (cache_.contains(serial)) {
        emit Ready(serial, *cache_.object(serial));
        return;
    }
    {
        std::lock_guard<std::mutex> guard(lock_);
        pendingSerial_ = serial;
        pendingFile_ = file;
    }
    wake_.notify_all();
}

QImage TStillPicture::Decode(const QString& file) {
    TAVProbe probe;
    if (!probe.LoadFile(file.toStdString()) || probe.VideoStreamCount() == 0) return QImage();
    TFileStreamInfo info;
    const int64_t duration = probe.GetFileStreamInfo(info) && info.Duration > 0 ? info.Duration : 0;
    const int64_t target = std::min(duration / 10, kLatestStill);
    // A file that cannot seek still gives its first picture.
    if (target > 0 && !probe.Seek(TSeekFlags(), target)) probe.Seek(TSeekFlags(), 0);
    TBitmap24 bitmap;
    if (!probe.Decode() || !probe.CopyToBitmap(bitmap)) return QImage();
    TVideoStreamInfo video;
    const double aspect = probe.GetVideoStreamInfo(-1, video) ? video.AspectRatio : 0;
    bitmap = TSnapshotWriter::ToDisplaySize(bitmap, aspect);
    // The bitmap's rows are B, G, R bytes: QImage's BGR888.
    QImage picture = QImage(bitmap.Data(), bitmap.Width(), bitmap.Height(), bitmap.Stride(), QImage::Format_BGR888)
                         .convertToFormat(QImage::Format_RGB32);
    // A picture filmed sideways (or mirrored) stands as the player shows it.
    if (video.Mirrored) picture = picture.mirrored(true, false);
    if (video.Rotation != 0) picture = picture.transformed(QTransform().rotate(video.Rotation));
    return picture;
}

void TStillPicture::Run() {
    for (;;) {
        quint64 serial;
        QString file;
        {
            std::unique_lock<std::mutex> guard(lock_);
            wake_.wait(guard, [this] { return quit_ || pendingSerial_ != 0; });
            if (quit_) return;
            serial = std::exchange(pendingSerial_, 0);
            file = std::move(pendingFile_);
        }
        QImage picture = Decode(file);
        QMetaObject::invokeMethod(
            this,
            [this, serial, picture] {
                cache_.insert(serial, new QImage(picture), std::max<qsizetype>(1, picture.sizeInBytes()));
                emit Ready(serial, picture);
            },
            Qt::QueuedConnection);
    }
}
