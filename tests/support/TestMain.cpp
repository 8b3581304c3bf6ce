// Test entry point: a Qt application object for the whole run (a QApplication
// for widget and OpenGL tests, a QCoreApplication otherwise), the metatypes the
// program registers at start-up, then the GoogleTest run.
#include "hub/OrunAppFace.h"

#include <gtest/gtest.h>

#ifdef ORUN_TEST_GUI
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    TestApplication app(argc, argv);
    registerQueuedTypes();
    return RUN_ALL_TESTS();
}
