#include "app/ButtonArt.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QtMath>

namespace ButtonArt {
namespace {
const QColor kInk(40, 70, 120);
const QColor kAccent(30, 150, 60);

QPixmap canvas(int size) {
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    return pm;
}

void drawGlyph(QPainter& p, Glyph glyph, qreal s) {
    p.setRenderHint(QPainter::Antialiasing);
    QPen pen(kInk, s / 12.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    switch (glyph) {
        case Glyph::Add:
            p.setBrush(kAccent);
            p.setPen(Qt::NoPen);
            p.drawEllipse(QRectF(s * 0.1, s * 0.1, s * 0.8, s * 0.8));
            p.setPen(QPen(Qt::white, s / 8.0, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(s * 0.5, s * 0.28), QPointF(s * 0.5, s * 0.72));
            p.drawLine(QPointF(s * 0.28, s * 0.5), QPointF(s * 0.72, s * 0.5));
            break;
        case Glyph::Clip: {
            p.setBrush(Qt::NoBrush);
            p.drawEllipse(QRectF(s * 0.12, s * 0.55, s * 0.3, s * 0.3));
            p.drawEllipse(QRectF(s * 0.58, s * 0.55, s * 0.3, s * 0.3));
            p.drawLine(QPointF(s * 0.35, s * 0.58), QPointF(s * 0.75, s * 0.12));
            p.drawLine(QPointF(s * 0.65, s * 0.58), QPointF(s * 0.25, s * 0.12));
            break;
        }
        case Glyph::Online:
            p.setBrush(Qt::NoBrush);
            p.drawEllipse(QRectF(s * 0.12, s * 0.12, s * 0.76, s * 0.76));
            p.drawEllipse(QRectF(s * 0.32, s * 0.12, s * 0.36, s * 0.76));
            p.drawLine(QPointF(s * 0.12, s * 0.5), QPointF(s * 0.88, s * 0.5));
            break;
        case Glyph::Play: {
            QPainterPath tri;
            tri.moveTo(s * 0.3, s * 0.2);
            tri.lineTo(s * 0.8, s * 0.5);
            tri.lineTo(s * 0.3, s * 0.8);
            tri.closeSubpath();
            p.setBrush(kInk);
            p.drawPath(tri);
            break;
        }
        case Glyph::Pause:
            p.setBrush(kInk);
            p.drawRect(QRectF(s * 0.28, s * 0.22, s * 0.14, s * 0.56));
            p.drawRect(QRectF(s * 0.58, s * 0.22, s * 0.14, s * 0.56));
            break;
        case Glyph::Stop:
            p.setBrush(kInk);
            p.drawRect(QRectF(s * 0.25, s * 0.25, s * 0.5, s * 0.5));
            break;
        case Glyph::Snapshot:
            p.setBrush(Qt::NoBrush);
            p.drawRoundedRect(QRectF(s * 0.1, s * 0.3, s * 0.8, s * 0.52), s * 0.08, s * 0.08);
            p.drawRect(QRectF(s * 0.35, s * 0.18, s * 0.3, s * 0.12));
            p.drawEllipse(QRectF(s * 0.36, s * 0.4, s * 0.28, s * 0.28));
            break;
        case Glyph::Folder: {
            QPainterPath f;
            f.moveTo(s * 0.1, s * 0.25);
            f.lineTo(s * 0.4, s * 0.25);
            f.lineTo(s * 0.48, s * 0.35);
            f.lineTo(s * 0.9, s * 0.35);
            f.lineTo(s * 0.9, s * 0.8);
            f.lineTo(s * 0.1, s * 0.8);
            f.closeSubpath();
            p.setBrush(QColor(240, 200, 90));
            p.drawPath(f);
            break;
        }
        case Glyph::Speaker:
        case Glyph::SpeakerMuted: {
            QPainterPath sp;
            sp.moveTo(s * 0.12, s * 0.38);
            sp.lineTo(s * 0.3, s * 0.38);
            sp.lineTo(s * 0.5, s * 0.2);
            sp.lineTo(s * 0.5, s * 0.8);
            sp.lineTo(s * 0.3, s * 0.62);
            sp.lineTo(s * 0.12, s * 0.62);
            sp.closeSubpath();
            p.setBrush(kInk);
            p.drawPath(sp);
            p.setBrush(Qt::NoBrush);
            if (glyph == Glyph::Speaker) {
                p.drawArc(QRectF(s * 0.45, s * 0.3, s * 0.25, s * 0.4), -60 * 16, 120 * 16);
                p.drawArc(QRectF(s * 0.45, s * 0.18, s * 0.4, s * 0.64), -60 * 16, 120 * 16);
            } else {
                p.setPen(QPen(QColor(200, 40, 40), s / 10.0, Qt::SolidLine, Qt::RoundCap));
                p.drawLine(QPointF(s * 0.6, s * 0.35), QPointF(s * 0.88, s * 0.65));
                p.drawLine(QPointF(s * 0.88, s * 0.35), QPointF(s * 0.6, s * 0.65));
            }
            break;
        }
        case Glyph::Start: {
            QPainterPath tri;
            tri.moveTo(s * 0.25, s * 0.15);
            tri.lineTo(s * 0.85, s * 0.5);
            tri.lineTo(s * 0.25, s * 0.85);
            tri.closeSubpath();
            p.setBrush(kAccent);
            p.setPen(Qt::NoPen);
            p.drawPath(tri);
            break;
        }
    }
}
}  // namespace

QIcon Icon(Glyph glyph, int size) {
    QPixmap pm = canvas(size);
    QPainter p(&pm);
    drawGlyph(p, glyph, size);
    p.end();
    return QIcon(pm);
}

QPixmap BigAdd(int size) {
    QPixmap pm = canvas(size);
    QPainter p(&pm);
    drawGlyph(p, Glyph::Add, size);
    return pm;
}

QPixmap Background(int width, int height, QRect listPanel, QRect previewPanel) {
    QPixmap pm(width, height);
    QPainter p(&pm);
    QLinearGradient g(0, 0, 0, height);
    g.setColorAt(0.0, QColor(232, 238, 246));
    g.setColorAt(1.0, QColor(206, 216, 230));
    p.fillRect(pm.rect(), g);
    // Header band behind the menu bar and the product title.
    QLinearGradient band(0, 0, 0, 25);
    band.setColorAt(0.0, QColor(60, 95, 150));
    band.setColorAt(1.0, QColor(40, 70, 120));
    p.fillRect(QRect(0, 0, width, 25), band);
    p.setPen(Qt::white);
    QFont f = p.font();
    f.setBold(true);
    p.setFont(f);
    p.drawText(QRect(10, 0, width - 20, 25), Qt::AlignVCenter | Qt::AlignLeft,
               QStringLiteral("Vanto Video Converter"));
    // Panels behind the list and the preview.
    p.setPen(QColor(170, 185, 205));
    p.setBrush(QColor(245, 248, 252));
    p.drawRoundedRect(listPanel, 6, 6);
    p.drawRoundedRect(previewPanel, 6, 6);
    return pm;
}

QIcon TrayFrame(int index) {
    const int s = 32;
    QPixmap pm = canvas(s);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(40, 70, 120));
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(QRectF(1, 1, s - 2, s - 2), 6, 6);
    if (index == 4) {
        p.setPen(QPen(QColor(90, 220, 110), 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPolyline(QPolygonF({QPointF(8, 17), QPointF(14, 23), QPointF(25, 10)}));
    } else {
        // Three frames: a film strip whose highlighted hole moves.
        for (int i = 0; i < 3; ++i) {
            p.setBrush(i == index % 3 || index == 3 ? QColor(250, 210, 80) : QColor(160, 180, 210));
            p.drawEllipse(QRectF(6 + i * 8, 13, 6, 6));
        }
    }
    return QIcon(pm);
}

QIcon StatusIcon(int index) {
    const int s = 16;
    QPixmap pm = canvas(s);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    if (index >= 0 && index <= 3) {
        // Busy: a ring with a moving quarter.
        p.setPen(QPen(QColor(190, 200, 215), 2.5));
        p.drawEllipse(QRectF(2.5, 2.5, 11, 11));
        p.setPen(QPen(QColor(40, 110, 200), 2.5, Qt::SolidLine, Qt::RoundCap));
        p.drawArc(QRectF(2.5, 2.5, 11, 11), (90 - index * 90) * 16, -90 * 16);
    } else if (index == 4) {
        p.setPen(QPen(QColor(30, 150, 60), 2.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPolyline(QPolygonF({QPointF(3, 8.5), QPointF(6.5, 12), QPointF(13, 4)}));
    } else {
        p.setPen(QPen(QColor(200, 40, 40), 2.5, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(4, 4), QPointF(12, 12));
        p.drawLine(QPointF(12, 4), QPointF(4, 12));
    }
    return QIcon(pm);
}

}  // namespace ButtonArt
