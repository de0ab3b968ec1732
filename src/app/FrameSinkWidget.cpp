#include "app/FrameSinkWidget.h"

#include <algorithm>

#include <QFont>
#include <QMetaObject>
#include <QPainter>
#include <QMouseEvent>
#include <QResizeEvent>

namespace {

// Draws a subtitle over the picture (already at its display size): picture subtitles stretched
// with their canvas over the whole picture, text centred at the bottom, white with a dark edge.
void DrawSubtitle(QImage& image, const TSinkSubtitle& subtitle) {
    QPainter painter(&image);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    if (subtitle.CanvasWidth > 0 && subtitle.CanvasHeight > 0) {
        const double sx = static_cast<double>(image.width()) / subtitle.CanvasWidth;
        const double sy = static_cast<double>(image.height()) / subtitle.CanvasHeight;
        for (const AVSubtitleRect* rect : subtitle.Pictures) {
            // The decoder's indexes are wrapped, not copied; they are only read.
            QImage indexed(rect->data[0], rect->w, rect->h, rect->linesize[0], QImage::Format_Indexed8);
            // Every index has a colour: those beyond the palette are transparent.
            QList<QRgb> colours(256, qRgba(0, 0, 0, 0));
            const auto* palette = reinterpret_cast<const uint32_t*>(rect->data[1]);
            for (int i = 0; i < std::min(rect->nb_colors, 256); ++i)
                colours[i] = palette[i];
            indexed.setColorTable(colours);
            painter.drawImage(QRectF(rect->x * sx, rect->y * sy, rect->w * sx, rect->h * sy), indexed);
        }
    }
    if (subtitle.Text.empty()) return;
    QFont font = painter.font();
    font.setPixelSize(std::max(10, image.height() / 14));
    font.setBold(true);
    painter.setFont(font);
    const QString text = QString::fromStdString(subtitle.Text);
    const int margin = std::max(2, image.height() / 24);
    const QRect area(margin, margin, image.width() - 2 * margin, image.height() - 2 * margin);
    const int flags = Qt::AlignHCenter | Qt::AlignBottom | Qt::TextWordWrap;
    const int edge = std::max(1, font.pixelSize() / 12);
    painter.setPen(QColor(0, 0, 0));
    for (int dx = -edge; dx <= edge; dx += edge)
        for (int dy = -edge; dy <= edge; dy += edge)
            if (dx || dy) painter.drawText(area.translated(dx, dy), flags, text);
    painter.setPen(QColor(255, 255, 255));
    painter.drawText(area, flags, text);
}

}  // namespace

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
    if (info.Subtitle) DrawSubtitle(image, *info.Subtitle);
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

void TFrameSinkWidget::ShowSound(const TSinkSound& sound) {
    const QSize size(panelWidth_.load(), panelHeight_.load());
    if (size.isEmpty() || sound.Channels <= 0 || sound.Count <= 0) return;
    QImage image = DrawSound(sound, size);
    {
        std::lock_guard<std::mutex> guard(lock_);
        image_ = std::move(image);
        rect_ = QRect(QPoint(0, 0), size);
    }
    RequestUpdate();
}

QImage TFrameSinkWidget::DrawSound(const TSinkSound& sound, QSize size) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::black);
    const int channels = sound.Channels;
    const int count = sound.Count;
    if (channels <= 0 || count <= 0 || sound.Values.size() < static_cast<size_t>(channels) * count) return image;
    const int w = size.width();
    const int laneHeight = size.height() / channels;
    QPainter painter(&image);
    for (int c = 0; c < channels; ++c) {
        const float* v = sound.Values.data() + static_cast<size_t>(c) * count;
        const int top = c * laneHeight;
        if (sound.Kind == TSinkSound::Shape::Wave) {
            // Each column spans the lowest and the highest sample that falls into it.
            painter.setPen(QColor(255, 255, 255));
            const int middle = top + laneHeight / 2;
            const double half = (laneHeight - 2) / 2.0;
            for (int x = 0; x < w; ++x) {
                const int from = static_cast<int>(static_cast<int64_t>(x) * count / w);
                const int to = std::max(from + 1, static_cast<int>(static_cast<int64_t>(x + 1) * count / w));
                float lo = v[from], hi = v[from];
                for (int i = from + 1; i < to && i < count; ++i) {
                    lo = std::min(lo, v[i]);
                    hi = std::max(hi, v[i]);
                }
                painter.drawLine(x, middle - static_cast<int>(hi * half), x, middle - static_cast<int>(lo * half));
            }
        } else {
            // Bands from low (left) to high (right), louder is taller and warmer.
            for (int x = 0; x < w; ++x) {
                const float level = std::clamp(v[static_cast<int64_t>(x) * count / w], 0.0f, 1.0f);
                const int h = static_cast<int>(level * (laneHeight - 1));
                if (h <= 0) continue;
                painter.setPen(QColor::fromHsvF((1.0f - level) * 0.33f, 1.0f, 1.0f));
                painter.drawLine(x, top + laneHeight - 1, x, top + laneHeight - h);
            }
        }
        if (c > 0) {
            painter.setPen(QColor(60, 60, 60));
            painter.drawLine(0, top, w - 1, top);
        }
    }
    return image;
}

void TFrameSinkWidget::mouseReleaseEvent(QMouseEvent* event) {
    QWidget::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->pos())) emit clicked();
}

void TFrameSinkWidget::ShowStill(const QImage& picture) {
    still_ = picture;
    update();
}

void TFrameSinkWidget::SetEmptyColour(const QColor& colour) {
    empty_ = colour;
    update();
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
    if (image.isNull() && !still_.isNull()) {
        // The still keeps its shape in whatever size the panel has now.
        const double aspect = static_cast<double>(still_.width()) / still_.height();
        const TDisplayRect r = LetterboxRect(width(), height(), aspect);
        rect = QRect(r.X, r.Y, r.Width, r.Height);
        painter.fillRect(this->rect(), Qt::black);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(rect, still_);
        return;
    }
    if (image.isNull()) {
        painter.fillRect(this->rect(), empty_);
        return;
    }
    // Black bars around the picture, then the picture at its own size.
    QRegion bars = QRegion(this->rect()).subtracted(QRegion(rect));
    for (const QRect& bar : bars)
        painter.fillRect(bar, Qt::black);
    painter.drawImage(rect.topLeft(), image);
}
