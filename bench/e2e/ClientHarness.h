#pragma once

// The client as app/main.cpp builds it (main window, operation runtime,
// camera supervisor), for the benchmark programs, plus the process figures
// they report: CPU time, resident memory and the threads alive.

#include <QString>
#include <QStringList>

#include <cstdint>

class OrunAppUI;

namespace benchclient {

// Builds and shows the main window and starts the runtime and the camera
// search, with config/ and language/ looked up under `baseDir`.
OrunAppUI* startClient(const QString& baseDir);
// The window's close path (as its close button), then the window is deleted.
void stopClient(OrunAppUI* window);

// User plus system CPU time of the whole process, in seconds.
double processCpuSeconds();
// Resident set size in KiB (VmRSS), 0 when unknown.
long residentKiB();
// Name of every thread of the process (one entry per thread).
QStringList threadNames();
// What the open file descriptors of the process refer to, one entry per
// descriptor ("/path", "socket:[1234]", "pipe:[99]"...), from /proc/self/fd.
QStringList openFiles();

// CPU time (user plus system, seconds) of one thread of the process.
struct ThreadCpu {
    int tid = 0;
    QString name;
    double seconds = 0;
};
QList<ThreadCpu> threadCpu();

// Parses "--name value" pairs; the value after `name` or `fallback`.
QString argument(const QStringList& args, const QString& name, const QString& fallback);

} // namespace benchclient
