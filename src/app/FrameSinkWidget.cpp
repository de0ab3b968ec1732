#include "app/FrameSinkWidget.h"

#include <QPainter>
#include <QResizeEvent>
#include <cmath>

#include "engine/FFmpegApi.h"

TFrameSinkWidget::TFrameSinkWidget(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    width_ = width();
    height_ = height();
}

void TFrameSinkWidget::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    width_ = event->size().width();
    height_ = event->size().height();
}

void TFrameSinkWidget::ShowFrame(const AVFrame& picture, const TSinkFrameInfo& info) {
    const int panelW = width_.load(), panelH = height_.load();
    if (panelW <= 0 || panelH <= 0 || picture.width <= 0 || picture.height <= 0) return;
    // The largest size of the picture's aspect ratio that fits the panel, even-sized.
    const double aspect = info.AspectRatio > 0 ? info.AspectRatio : double(picture.width) / picture.height;
    int w = panelW, h = static_cast<int>(std::lround(panelW / aspect));
    if (h > panelH) {
        h = panelH;
        w = static_cast<int>(std::lround(panelH * aspect));
    }
    w = qMax(2, w & ~1);
    h = qMax(2, h & ~1);
    QImage image(w, h, QImage::Format_RGB32);
    scaler_.reset(ff::sws_getCachedContext(scaler_.release(), picture.width, picture.height,
                                           static_cast<AVPixelFormat>(picture.format), w, h, AV_PIX_FMT_BGRA,
                                           SWS_BILINEAR, nullptr, nullptr, nullptr));
    if (!scaler_) return;
    uint8_t* dst[4] = {image.bits(), nullptr, nullptr, nullptr};
    int dstStride[4] = {static_cast<int>(image.bytesPerLine()), 0, 0, 0};
    ff::sws_scale(scaler_.get(), picture.data, picture.linesize, 0, picture.height, dst, dstStride);
    if (info.VerticalFlip) image = image.mirrored(false, true);
    {
        const std::lock_guard<std::mutex> guard(lock_);
        image_ = std::move(image);
    }
    ++framesShown_;
    requestPaint();
}

void TFrameSinkWidget::ClearFrame() {
    {
        const std::lock_guard<std::mutex> guard(lock_);
        image_ = QImage();
    }
    requestPaint();
}

void TFrameSinkWidget::requestPaint() {
    QMetaObject::invokeMethod(this, qOverload<>(&QWidget::update), Qt::QueuedConnection);
}

void TFrameSinkWidget::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
    const std::lock_guard<std::mutex> guard(lock_);
    if (image_.isNull()) return;
    p.drawImage((width() - image_.width()) / 2, (height() - image_.height()) / 2, image_);
}
