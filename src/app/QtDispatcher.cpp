#include "app/QtDispatcher.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

void QtDispatcher::post(std::function<void()> fn) {
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(fn), Qt::QueuedConnection);
}

void QtDispatcher::send(std::function<void()> fn) {
    if (isMainThread()) {
        fn();
        return;
    }
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(fn), Qt::BlockingQueuedConnection);
}

bool QtDispatcher::isMainThread() const {
    const QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

void QtDispatcher::pump() {
    if (isMainThread()) QCoreApplication::sendPostedEvents();
}
