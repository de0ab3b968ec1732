#pragma once
// Waiting in widget tests: runs the Qt event loop until a condition holds or time runs out, so
// that queued events (player events, repaints, timers) are delivered meanwhile.

#include <QApplication>
#include <QElapsedTimer>
#include <functional>

inline bool WaitFor(const std::function<bool()>& done, int ms = 5000) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

// Runs the event loop for `ms` milliseconds.
inline void PumpEvents(int ms) {
    WaitFor([] { return false; }, ms);
}
