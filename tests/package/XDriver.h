#pragma once

// Drives the windows of another program on the test's X server through
// xdotool, as a user would: finds its visible windows, reads where they are,
// moves the pointer, clicks, turns the wheel and presses keys.

#include <QList>
#include <QPoint>
#include <QRect>
#include <QString>

#include <functional>

struct XWindow {
    QString id; // empty: none
    QRect rect; // on the screen
    bool valid() const { return !id.isEmpty(); }
};

namespace xdriver {

// Visible top-level windows of the process (by its _NET_WM_PID).
QList<XWindow> windowsOf(qint64 pid);
// Waits, running the event loop, for a visible window of the process that
// `match` accepts; an invalid window on time-out.
XWindow waitForWindow(qint64 pid, const std::function<bool(const XWindow&)>& match, int timeoutMs);
// Waits for the window to be gone (closed or hidden).
bool waitUntilGone(qint64 pid, const XWindow& window, int timeoutMs);
// Moves the pointer to `at` (window coordinates) and presses and releases
// `button` there: 1 left, 4 wheel up, 5 wheel down.
bool click(const XWindow& window, QPoint at, int button = 1);
// Gives the window the keyboard focus and types the key (xdotool key names,
// e.g. "Return").
bool key(const XWindow& window, const QString& name);
// What the last failing xdotool call said.
QString lastError();

} // namespace xdriver
