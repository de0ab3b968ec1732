#pragma once
// The one place that knows the user-interface thread. Engine components hand events to the
// application through the installed Dispatcher; the application installs a Qt implementation,
// the command-line tool and tests install a QueueDispatcher.

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

class Dispatcher {
public:
    virtual ~Dispatcher() = default;
    // Queue fn for the user-interface thread and return at once.
    virtual void post(std::function<void()> fn) = 0;
    // Run fn on the user-interface thread and wait for it. Called on that thread, runs fn directly.
    // An exception fn throws is raised again in the waiting thread.
    virtual void send(std::function<void()> fn) = 0;
    virtual bool isMainThread() const = 0;
    // Run pending work; the user-interface thread calls this while it waits for a worker.
    virtual void pump() = 0;
};

// Installs the process-wide dispatcher (not owned). Passing nullptr restores the default, a
// QueueDispatcher whose main thread is the first thread that asked for it.
void InstallDispatcher(Dispatcher* dispatcher);
Dispatcher& GetDispatcher();

// A plain queue: work posted from other threads runs when the main thread calls pump() or
// waitAndPump(). send() from another thread blocks until the main thread pumps.
class QueueDispatcher : public Dispatcher {
public:
    QueueDispatcher();  // the constructing thread becomes the main thread
    void post(std::function<void()> fn) override;
    void send(std::function<void()> fn) override;
    bool isMainThread() const override;
    void pump() override;
    // Waits up to timeoutMs for work to arrive, then runs what is queued. Returns whether
    // anything ran.
    bool waitAndPump(int timeoutMs);
    void setMainThread(std::thread::id id) { mainThread_ = id; }

private:
    std::thread::id mainThread_;
    std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<std::function<void()>> queue_;
};
