#pragma once
// Lets the user-interface thread's event loop run now and then during a long piece of work on
// that thread, so that the window keeps painting and timers keep firing. The user's input
// waits until the work is done, so nothing the user does can start in the middle of it.

#include <QElapsedTimer>

class TUiBreather {
public:
    explicit TUiBreather(int intervalMs = 20);
    // Runs the pending events when the interval has passed since the last time.
    void Breathe();

private:
    QElapsedTimer since_;
    int intervalMs_;
};
