#include "bench/e2e/ClientHarness.h"

#include "app/Configuration.h"
#include "app/Shutdown.h"
#include "hub/OrunAppFace.h"
#include "program/Composition.h"
#include "ui/OrunAppUI.h"

#include <QDir>
#include <QFile>

#include <sys/resource.h>
#include <unistd.h>

namespace benchclient {

OrunAppUI* startClient(const QString& baseDir) {
    setApplicationBaseDir(baseDir);
    registerQueuedTypes();
    auto* window = new OrunAppUI();
    window->show();
    OrunAppFace::instance()->uiActive = true;
    startProgram();
    return window;
}

void stopClient(OrunAppUI* window) {
    ::shutdown();
    window->close();
    delete window;
}

double processCpuSeconds() {
    rusage usage{};
    if (getrusage(RUSAGE_SELF, &usage) != 0)
        return 0;
    auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

long residentKiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return 0;
}

QStringList threadNames() {
    QStringList names;
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString& tid : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks.filePath(tid + QStringLiteral("/comm")));
        if (comm.open(QIODevice::ReadOnly))
            names << QString::fromUtf8(comm.readAll().trimmed());
    }
    return names;
}

QStringList openFiles() {
    QStringList targets;
    const QDir fds(QStringLiteral("/proc/self/fd"));
    // The listing's own descriptor is closed again once the names are read.
    for (const QString& fd :
         fds.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        char target[4096];
        const QByteArray link = fds.filePath(fd).toLocal8Bit();
        const ssize_t n = readlink(link.constData(), target, sizeof target - 1);
        if (n >= 0)
            targets << QString::fromLocal8Bit(target, static_cast<int>(n));
    }
    return targets;
}

QList<ThreadCpu> threadCpu() {
    QList<ThreadCpu> out;
    const double tick = static_cast<double>(sysconf(_SC_CLK_TCK));
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString& tid : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile stat(tasks.filePath(tid + QStringLiteral("/stat")));
        if (!stat.open(QIODevice::ReadOnly))
            continue; // the thread has ended
        const QByteArray text = stat.readAll();
        const int open = text.indexOf('(');
        const int close = text.lastIndexOf(')');
        if (open < 0 || close < open)
            continue;
        // After the name: state is field 3, utime and stime are fields 14 and 15.
        const QList<QByteArray> fields = text.mid(close + 2).split(' ');
        if (fields.size() < 13)
            continue;
        ThreadCpu t;
        t.tid = tid.toInt();
        t.name = QString::fromUtf8(text.mid(open + 1, close - open - 1));
        t.seconds = (fields.at(11).toDouble() + fields.at(12).toDouble()) / tick;
        out << t;
    }
    return out;
}

QString argument(const QStringList& args, const QString& name, const QString& fallback) {
    const int at = args.indexOf(name);
    if (at < 0 || at + 1 >= args.size())
        return fallback;
    return args.at(at + 1);
}

} // namespace benchclient
