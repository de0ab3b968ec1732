#include "engine/library/Dispatcher.h"

#include <atomic>
#include <chrono>
#include <exception>
#include <memory>
#include <utility>

namespace {
std::atomic<Dispatcher*> g_installed{nullptr};

QueueDispatcher& defaultDispatcher() {
    static QueueDispatcher instance;
    return instance;
}
}  // namespace

void InstallDispatcher(Dispatcher* dispatcher) {
    g_installed.store(dispatcher);
}

Dispatcher& GetDispatcher() {
    Dispatcher* d = g_installed.load();
    return d ? *d : defaultDispatcher();
}

QueueDispatcher::QueueDispatcher() : mainThread_(std::this_thread::get_id()) {}

void QueueDispatcher::post(std::function<void()> fn) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(std::move(fn));
    }
    cv_.notify_all();
}

void QueueDispatcher::send(std::function<void()> fn) {
    if (isMainThread()) {
        fn();
        return;
    }
    // The waiting thread gets fn's exception; the main thread's queue goes on.
    struct Call {
        std::mutex mutex;
        std::condition_variable cv;
        bool done = false;
        std::exception_ptr error;
    };
    auto call = std::make_shared<Call>();
    post([fn = std::move(fn), call]() {
        std::exception_ptr error;
        try {
            fn();
        } catch (...) {
            error = std::current_exception();
        }
        {
            std::lock_guard<std::mutex> lock(call->mutex);
            call->error = std::move(error);
            call->done = true;
        }
        call->cv.notify_all();
    });
    std::exception_ptr error;
    {
        std::unique_lock<std::mutex> lock(call->mutex);
        call->cv.wait(lock, [&] { return call->done; });
        // Taken out, so this thread frees the exception: its count lives in the uninstrumented
        // C++ runtime, and a free on the main thread would look unordered to ThreadSanitizer.
        error = std::move(call->error);
    }
    if (error) std::rethrow_exception(error);
}

bool QueueDispatcher::isMainThread() const {
    return std::this_thread::get_id() == mainThread_;
}

void QueueDispatcher::pump() {
    std::deque<std::function<void()>> work;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        work.swap(queue_);
    }
    for (auto& fn : work)
        fn();
}

bool QueueDispatcher::waitAndPump(int timeoutMs) {
    {
        std::unique_lock<std::mutex> lock(mutex_);
        cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return !queue_.empty(); });
        if (queue_.empty()) return false;
    }
    pump();
    return true;
}
