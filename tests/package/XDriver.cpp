#include "XDriver.h"

#include <QProcess>
#include <QStringList>
#include <QtTest/QTest>

namespace {

QString g_lastError;

// Runs xdotool; its standard output, or a null text when it failed.
QString xdotool(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral("xdotool"), args);
    if (!p.waitForStarted(5000)) {
        g_lastError = QStringLiteral("xdotool does not start (Debian package xdotool)");
        return QString();
    }
    if (!p.waitForFinished(10000)) {
        p.kill();
        p.waitForFinished(1000);
        g_lastError = "xdotool " + args.join(' ') + ": no answer";
        return QString();
    }
    const QString out = QString::fromLocal8Bit(p.readAllStandardOutput());
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        g_lastError = "xdotool " + args.join(' ') + ": " +
                      QString::fromLocal8Bit(p.readAllStandardError()).trimmed();
        return QString();
    }
    return out.isNull() ? QStringLiteral("") : out;
}

// Position and size of a window on the screen; an empty rectangle on failure.
QRect geometryOf(const QString& id) {
    const QString out = xdotool({"getwindowgeometry", "--shell", id});
    int x = 0, y = 0, w = 0, h = 0;
    for (const QString& line : out.split('\n')) {
        const int eq = line.indexOf('=');
        const QString name = line.left(eq);
        const int value = line.mid(eq + 1).toInt();
        if (name == "X")
            x = value;
        else if (name == "Y")
            y = value;
        else if (name == "WIDTH")
            w = value;
        else if (name == "HEIGHT")
            h = value;
    }
    return QRect(x, y, w, h);
}

} // namespace

namespace xdriver {

QList<XWindow> windowsOf(qint64 pid) {
    QList<XWindow> windows;
    // Exits with 1 when nothing matches: an empty list, not an error.
    QProcess p;
    p.start(QStringLiteral("xdotool"), {"search", "--onlyvisible", "--pid", QString::number(pid)});
    if (!p.waitForFinished(10000))
        return windows;
    for (const QString& id : QString::fromLocal8Bit(p.readAllStandardOutput()).split('\n')) {
        if (id.trimmed().isEmpty())
            continue;
        const QRect rect = geometryOf(id.trimmed());
        if (!rect.isEmpty())
            windows.append({id.trimmed(), rect});
    }
    return windows;
}

XWindow waitForWindow(qint64 pid, const std::function<bool(const XWindow&)>& match, int timeoutMs) {
    XWindow found;
    (void)QTest::qWaitFor(
        [&] {
            for (const XWindow& w : windowsOf(pid)) {
                if (match(w)) {
                    found = w;
                    return true;
                }
            }
            return false;
        },
        timeoutMs);
    return found;
}

bool waitUntilGone(qint64 pid, const XWindow& window, int timeoutMs) {
    return QTest::qWaitFor(
        [&] {
            for (const XWindow& w : windowsOf(pid))
                if (w.id == window.id)
                    return false;
            return true;
        },
        timeoutMs);
}

bool click(const XWindow& window, QPoint at, int button) {
    // The X server takes the move and the button in the order sent. (No
    // --sync: xdotool then waits forever when the pointer is already there.)
    return !xdotool({"mousemove", "--window", window.id, QString::number(at.x()),
                     QString::number(at.y()), "click", QString::number(button)})
                .isNull();
}

bool key(const XWindow& window, const QString& name) {
    return !xdotool({"windowfocus", "--sync", window.id, "key", name}).isNull();
}

QString lastError() {
    return g_lastError;
}

} // namespace xdriver
