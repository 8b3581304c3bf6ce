// The system's requests to end the program, in a child process each: the
// stop runs once on the event loop, whichever of the signals asks; a second
// request while that stop runs ends the process at once.
#include "program/StopSignals.h"

#include <QCoreApplication>
#include <QTimer>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>

namespace {

// Runs an event loop in which `signal` is raised; the stop ends the loop
// with status 7 (and asks nothing more), or raises the signal again first.
[[noreturn]] void childRaising(int signal, bool askAgainWhileStopping) {
    int argc = 1;
    char name[] = "stop-signals";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    int stops = 0;
    installStopSignals([&] {
        ++stops;
        if (askAgainWhileStopping)
            std::raise(signal); // a slow stop, asked again meanwhile
        QCoreApplication::exit(stops == 1 ? 7 : 8);
    });
    QTimer::singleShot(0, [signal] { std::raise(signal); });
    QTimer::singleShot(5000, [] { QCoreApplication::exit(9); }); // never heard
    std::exit(app.exec());
}

} // namespace

TEST(StopSignalsDeathTest, EachSignalRunsTheStopOnceOnTheEventLoop) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(childRaising(SIGTERM, false), ::testing::ExitedWithCode(7), "Stopping on SIGTERM");
    EXPECT_EXIT(childRaising(SIGINT, false), ::testing::ExitedWithCode(7), "Stopping on SIGINT");
    EXPECT_EXIT(childRaising(SIGHUP, false), ::testing::ExitedWithCode(7), "Stopping on SIGHUP");
}

TEST(StopSignalsDeathTest, ASecondRequestWhileStoppingEndsAtOnce) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(childRaising(SIGTERM, true), ::testing::ExitedWithCode(128 + SIGTERM), "");
    EXPECT_EXIT(childRaising(SIGINT, true), ::testing::ExitedWithCode(128 + SIGINT), "");
}
