#include "app/PreviewerWindow.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QWindow>

TPreviewerWindow::TPreviewerWindow()
    : QWidget(nullptr, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

QString TPreviewerWindow::TimeCaption(int64_t pts) {
    if (pts < 0) pts = 0;
    int64_t ms = pts / 1000;
    return QString::asprintf("%.2d:%.2d:%.2d.%.3d", static_cast<int>(ms / 3600000),
                             static_cast<int>(ms / 60000 % 60), static_cast<int>(ms / 1000 % 60),
                             static_cast<int>(ms % 1000));
}

bool TPreviewerWindow::Paint(const TBitmap24& bitmap, int, int64_t pts) {
    if (closed_) return false;
    if (bitmap.Empty()) return true;
    // The bitmap's rows are B, G, R bytes: one copy into an image the painter draws as it is.
    image_ =
        QImage(bitmap.Data(), bitmap.Width(), bitmap.Height(), bitmap.Stride(), QImage::Format_BGR888).copy();
    if (!placed_ || size() != image_.size()) {
        setFixedSize(image_.size());
        if (!placed_) {
            QScreen* screen = QGuiApplication::primaryScreen();
            if (screen) move(screen->availableGeometry().center() - rect().center());
            placed_ = true;
        }
    }
    setWindowTitle(TimeCaption(pts));
    if (!isVisible()) show();
    update();
    return true;
}

void TPreviewerWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (image_.isNull())
        painter.fillRect(rect(), Qt::black);
    else
        painter.drawImage(0, 0, image_);
}

void TPreviewerWindow::closeEvent(QCloseEvent* event) {
    closed_ = true;
    QWidget::closeEvent(event);
}

void TPreviewerWindow::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && windowHandle()) windowHandle()->startSystemMove();
    QWidget::mousePressEvent(event);
}

void InstallPreviewerWindow() {
    InstallPreviewSinkFactory(
        []() -> std::unique_ptr<TPreviewSink> { return std::make_unique<TPreviewerWindow>(); });
}
