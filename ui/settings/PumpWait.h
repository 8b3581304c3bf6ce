#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

// Keeps the event loop running until `done()` is true, `keepGoing()` turns
// false or more than `limitMs` milliseconds have passed. A 10 ms tick wakes the
// loop so that the limit is noticed without spinning the processor. Returns
// true when `done()` became true.
template <typename Done, typename KeepGoing>
bool pumpEventsUntil(Done&& done, KeepGoing&& keepGoing, int limitMs) {
    QTimer tick;
    tick.setInterval(10);
    tick.start();
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        if (done())
            return true;
        if (!keepGoing() || clock.elapsed() > limitMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
}

// Runs the event loop for `ms` milliseconds.
inline void pumpEventsFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}
