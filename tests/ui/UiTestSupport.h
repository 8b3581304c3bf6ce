#pragma once

#include "app/Configuration.h"
#include "hub/OrunAppFace.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QList>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <functional>
#include <map>

// Keeps the configuration of a test away from the shared build folder.
class ScratchConfig {
public:
    ScratchConfig() { setApplicationBaseDir(dir.path()); }
    ~ScratchConfig() { setApplicationBaseDir(QString()); }
    QTemporaryDir dir;
};

// Pumps events until cond() holds or limitMs passes; returns cond().
inline bool pumpUntil(const std::function<bool()>& cond, int limitMs) {
    QElapsedTimer t;
    t.start();
    while (!cond() && t.elapsed() < limitMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return cond();
}

// Stands in for the operation runtime on the graphical thread: takes every
// posted request, notes its code and answers with the result chosen for it
// (0 unless told otherwise). Requests it is told to ignore get no answer.
class FakeRuntime {
public:
    FakeRuntime() {
        timer.setInterval(5);
        QObject::connect(&timer, &QTimer::timeout, [this] { poll(); });
        timer.start();
    }
    void poll() {
        OrunAppFace* hub = OrunAppFace::instance();
        if (hub->iOperating.load() != 1)
            return;
        const int code = hub->iOperation.load();
        codes.append(code);
        hub->iOperating = 0;
        if (ignored.count(code) != 0)
            return;
        const auto it = results.find(code);
        emit hub->signal_doOperationFinished(hub->iWho.load(),
                                             it == results.end() ? 0 : it->second);
    }
    QTimer timer;
    QList<int> codes;
    std::map<int, int> results;
    std::map<int, bool> ignored;
};
