#pragma once
// The engine's dispatcher on Qt's event loop: work from engine threads runs on the thread of the
// QCoreApplication. Installed by the window program and the command-line converter.
//
// The work waits in a queue of the dispatcher's own, under a standard mutex; Qt's queued call
// only wakes the application thread. Qt's own mutexes and semaphores are invisible to
// ThreadSanitizer, so handing work and its results over through them would look unordered.

#include <deque>
#include <functional>
#include <memory>
#include <mutex>

#include "engine/library/Dispatcher.h"

class QObject;

class QtDispatcher : public Dispatcher {
public:
    // Create on the application thread.
    QtDispatcher();
    // Work still queued is dropped; threads waiting in send() for it go on.
    ~QtDispatcher() override;
    void post(std::function<void()> fn) override;
    // Blocks the calling thread until the application thread has run fn (or the work was
    // dropped); on that thread, runs it directly. fn's exception is raised again in the caller.
    void send(std::function<void()> fn) override;
    bool isMainThread() const override;
    // Runs posted work; the application thread calls it while it waits for an engine thread.
    void pump() override;

private:
    void runQueued();

    std::mutex mutex_;
    std::deque<std::function<void()>> queue_;
    std::unique_ptr<QObject> waker_;
};
