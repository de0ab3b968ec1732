#include "app/UiBreather.h"

#include <QCoreApplication>

TUiBreather::TUiBreather(int intervalMs) : intervalMs_(intervalMs) {
    since_.start();
}

void TUiBreather::Breathe() {
    if (since_.elapsed() < intervalMs_) return;
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    since_.restart();
}
