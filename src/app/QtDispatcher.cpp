#include "app/QtDispatcher.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <QThread>

#include <condition_variable>
#include <exception>

namespace {

// Lives on the application thread; a queued call of runQueued wakes it.
class Waker : public QObject {
    Q_OBJECT
public:
    explicit Waker(std::function<void()> run) : run_(std::move(run)) {}
    Q_INVOKABLE void runQueued() { run_(); }

private:
    std::function<void()> run_;
};

}  // namespace

QtDispatcher::QtDispatcher() : waker_(std::make_unique<Waker>([this] { runQueued(); })) {}

QtDispatcher::~QtDispatcher() {
    std::deque<std::function<void()>> dropped;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        dropped.swap(queue_);
    }
}

void QtDispatcher::post(std::function<void()> fn) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(std::move(fn));
    }
    QMetaObject::invokeMethod(waker_.get(), "runQueued", Qt::QueuedConnection);
}

void QtDispatcher::runQueued() {
    for (;;) {
        std::function<void()> fn;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (queue_.empty()) return;
            fn = std::move(queue_.front());
            queue_.pop_front();
        }
        fn();
    }
}

void QtDispatcher::send(std::function<void()> fn) {
    if (isMainThread()) {
        fn();
        return;
    }
    struct Call {
        std::mutex mutex;
        std::condition_variable cv;
        bool done = false;
        std::exception_ptr error;
        void finish(std::exception_ptr e) {
            {
                std::lock_guard<std::mutex> lock(mutex);
                if (done) return;
                done = true;
                error = std::move(e);
            }
            cv.notify_all();
        }
    };
    auto call = std::make_shared<Call>();
    // Ends the wait also when the work is dropped unrun.
    std::shared_ptr<void> dropped(nullptr, [call](void*) { call->finish(nullptr); });
    // An exception must not cross Qt's event loop: it is carried back to the waiting thread.
    post([&fn, call, dropped] {
        std::exception_ptr error;
        try {
            fn();
        } catch (...) {
            error = std::current_exception();
        }
        call->finish(std::move(error));
    });
    dropped.reset();
    std::exception_ptr error;
    {
        std::unique_lock<std::mutex> lock(call->mutex);
        call->cv.wait(lock, [&] { return call->done; });
        // Taken out, so the exception is freed by this thread (the application thread may free
        // the call).
        error = std::move(call->error);
    }
    if (error) std::rethrow_exception(error);
}

bool QtDispatcher::isMainThread() const {
    const QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

void QtDispatcher::pump() {
    if (!isMainThread()) return;
    QCoreApplication::sendPostedEvents();
    runQueued();
}

#include "QtDispatcher.moc"
