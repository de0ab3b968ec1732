#include "app/DialogLook.h"

#include <QApplication>
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
