#pragma once

// Qt set-up for the fuzz entry points that reach the event hub: an
// application object when the process has none (the fuzzing driver), and a
// message handler that drops the parsers' debug lines so that fuzzing is not
// slowed down by them.

#include <QCoreApplication>

namespace fuzz {

inline void prepareQt() {
    static bool done = false;
    if (done)
        return;
    done = true;
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    if (!QCoreApplication::instance()) {
        static int argc = 1;
        static char name[] = "fuzz";
        static char* argv[] = {name, nullptr};
        static QCoreApplication* app = new QCoreApplication(argc, argv);
        (void)app;
    }
}

} // namespace fuzz
