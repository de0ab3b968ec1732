// The engine's dispatcher on Qt's event loop, as the window program and vanto-convert install it
// (the Qt test main does too): send() from a worker runs on the application thread, and what the
// work wrote is the worker's to read when send() returns, also under ThreadSanitizer.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <atomic>
#include <cstdint>
#include <stdexcept>
#include <thread>

#include "engine/library/Dispatcher.h"

TEST(QtDispatcherSend, RunsOnTheApplicationThreadAndHandsBackResultsAndExceptions) {
    Dispatcher& dispatcher = GetDispatcher();
    ASSERT_TRUE(dispatcher.isMainThread());
    uint32_t value = 0;  // plain: only send()'s hand-over orders the two threads' accesses
    bool onMainThread = true;
    std::string caught;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        for (uint32_t i = 1; i <= 200; ++i) {
            dispatcher.send([&] {
                onMainThread = onMainThread && dispatcher.isMainThread();
                value = value * 2 + 1;
            });
            value -= i;  // the worker's turn, right after the application thread's
        }
        try {
            dispatcher.send([] { throw std::runtime_error("work failed"); });
        } catch (const std::runtime_error& e) {
            caught = e.what();
        }
        done = true;
    });
    QElapsedTimer timer;
    timer.start();
    while (!done && timer.elapsed() < 30000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    ASSERT_TRUE(done) << "send() did not come back";
    worker.join();
    uint32_t expected = 0;
    for (uint32_t i = 1; i <= 200; ++i)
        expected = expected * 2 + 1 - i;
    EXPECT_EQ(value, expected);
    EXPECT_TRUE(onMainThread);
    EXPECT_EQ(caught, "work failed");
}
