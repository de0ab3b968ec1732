#pragma once
// The engine's dispatcher on Qt's event loop: work from engine threads runs on the thread of the
// QCoreApplication. Installed by the window program and the command-line converter.

#include "engine/Dispatcher.h"

class QtDispatcher : public Dispatcher {
public:
    void post(std::function<void()> fn) override;
    // Blocks the calling thread until the application thread has run fn; on that thread, runs it
    // directly.
    void send(std::function<void()> fn) override;
    bool isMainThread() const override;
    // Runs posted work; the application thread calls it while it waits for an engine thread.
    void pump() override;
};
