#include "app/QtDispatcher.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

#include <exception>

void QtDispatcher::post(std::function<void()> fn) {
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(fn), Qt::QueuedConnection);
}

void QtDispatcher::send(std::function<void()> fn) {
    if (isMainThread()) {
        fn();
        return;
    }
    // An exception must not cross Qt's event loop: it is carried back to the waiting thread.
    std::exception_ptr error;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [&fn, &error] {
            try {
                fn();
            } catch (...) {
                error = std::current_exception();
            }
        },
        Qt::BlockingQueuedConnection);
    if (error) std::rethrow_exception(error);
}

bool QtDispatcher::isMainThread() const {
    const QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

void QtDispatcher::pump() {
    if (isMainThread()) QCoreApplication::sendPostedEvents();
}
