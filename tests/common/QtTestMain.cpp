// Test main for tests that need Qt: a QApplication on the offscreen platform unless the
// environment chose another one.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "app/QtDispatcher.h"

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    // Engine events reach the test's thread through Qt's event loop, as in the program.
    QtDispatcher dispatcher;
    InstallDispatcher(&dispatcher);
    ::testing::InitGoogleTest(&argc, argv);
    const int rc = RUN_ALL_TESTS();
    InstallDispatcher(nullptr);
    return rc;
}
