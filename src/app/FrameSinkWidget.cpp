#include "app/FrameSinkWidget.h"

#include <QMetaObject>
#include <QPainter>
#include <QResizeEvent>

TFrameSinkWidget::TFrameSinkWidget(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::black);
    setPalette(pal);
    setAutoFillBackground(false);
    panelWidth_.store(width());
    panelHeight_.store(height());
}

void TFrameSinkWidget::resizeEvent(QResizeEvent* event) {
    panelWidth_.store(event->size().width());
    panelHeight_.store(event->size().height());
    QWidget::resizeEvent(event);
}

void TFrameSinkWidget::ShowFrame(const AVFrame& picture, const TSinkFrameInfo& info) {
    TDisplayRect r = LetterboxRect(panelWidth_.load(), panelHeight_.load(), info.AspectRatio);
    if (r.Width <= 0 || r.Height <= 0) return;
    // The image is made on this thread and handed over whole; the painter never sees a half one.
    QImage image(r.Width, r.Height, QImage::Format_RGB32);
    if (!scaler_.Scale(picture, r.Width, r.Height, AV_PIX_FMT_BGRA, image.bits(),
                       static_cast<int>(image.bytesPerLine()), info.VerticalFlip))
        return;
    ++converted_;
    {
        std::lock_guard<std::mutex> guard(lock_);
        image_ = std::move(image);
        rect_ = QRect(r.X, r.Y, r.Width, r.Height);
    }
    RequestUpdate();
}

void TFrameSinkWidget::ClearFrame() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        image_ = QImage();
        rect_ = QRect();
    }
    RequestUpdate();
}

void TFrameSinkWidget::RequestUpdate() {
    // One queued repaint at a time: pictures that come faster than the window paints replace
    // each other instead of piling up in the event queue.
    if (updateQueued_.exchange(true)) return;
    QMetaObject::invokeMethod(
        this,
        [this] {
            updateQueued_.store(false);
            update();
        },
        Qt::QueuedConnection);
}

QImage TFrameSinkWidget::Picture() const {
    std::lock_guard<std::mutex> guard(lock_);
    return image_;
}

QRect TFrameSinkWidget::PictureRect() const {
    std::lock_guard<std::mutex> guard(lock_);
    return rect_;
}

void TFrameSinkWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QImage image;
    QRect rect;
    {
        std::lock_guard<std::mutex> guard(lock_);
        image = image_;  // shares the pixels, no copy
        rect = rect_;
    }
    if (image.isNull()) {
        painter.fillRect(this->rect(), Qt::black);
        return;
    }
    // Black bars around the picture, then the picture at its own size.
    QRegion bars = QRegion(this->rect()).subtracted(QRegion(rect));
    for (const QRect& bar : bars)
        painter.fillRect(bar, Qt::black);
    painter.drawImage(rect.topLeft(), image);
}
