#include "app/DialogLook.h"

#include <QApplication>
#include <QEvent>
#include <QPointer>
#include <QResizeEvent>
#include <vector>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include "settings/Lang.h"

namespace DialogLook {

void Apply(QWidget* dialog, int width, int height) {
    QPalette pal = dialog->palette();
    pal.setColor(QPalette::Window, kBackground);
    dialog->setPalette(pal);
    dialog->setAutoFillBackground(true);
    dialog->setFixedSize(width, height);
}

namespace {
// Moves and sizes the anchored controls by each change of the dialog's size.
class TAnchorFilter : public QObject {
public:
    TAnchorFilter(QWidget* dialog, std::initializer_list<std::pair<QWidget*, int>> anchors)
        : QObject(dialog), last_(dialog->size()) {
        for (const auto& [widget, flags] : anchors)
            anchors_.emplace_back(widget, flags);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Resize || watched != parent()) return false;
        const QSize size = static_cast<QResizeEvent*>(event)->size();
        const int dx = size.width() - last_.width(), dy = size.height() - last_.height();
        last_ = size;
        for (const auto& [widget, flags] : anchors_) {
            if (!widget) continue;
            QRect g = widget->geometry();
            if (flags & akRight) (flags & akLeft) ? g.setWidth(g.width() + dx) : g.translate(dx, 0);
            if (flags & akBottom) (flags & akTop) ? g.setHeight(g.height() + dy) : g.translate(0, dy);
            widget->setGeometry(g);
        }
        return false;
    }

private:
    QSize last_;
    std::vector<std::pair<QPointer<QWidget>, int>> anchors_;
};
}  // namespace

void Resizable(QWidget* dialog, std::initializer_list<std::pair<QWidget*, int>> anchors) {
    dialog->setMinimumSize(dialog->size());
    dialog->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    dialog->installEventFilter(new TAnchorFilter(dialog, anchors));
}

void CentreOverMainWindow(QWidget* dialog) {
    QWidget* over = dialog->parentWidget() ? dialog->parentWidget()->window() : QApplication::activeWindow();
    QRect area;
    if (over && over != dialog && over->isVisible())
        area = over->frameGeometry();
    else if (QScreen* screen = QGuiApplication::primaryScreen())
        area = screen->availableGeometry();
    if (area.isValid()) dialog->move(area.center() - QPoint(dialog->width() / 2, dialog->height() / 2));
}

QString TextOr(const QString& key, const QString& fallback) {
    try {
        return GetLangText(key);
    } catch (const ELangError&) {
        return fallback;
    }
}

}  // namespace DialogLook
