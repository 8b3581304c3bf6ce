#include "program/StopSignals.h"

#include <QDebug>
#include <QGuiApplication>
#include <QMetaObject>
#include <QSessionManager>

#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <mutex>

namespace {

std::function<void()> g_stop;
std::atomic<int> g_requests{0};
std::mutex g_doneMutex;
std::condition_variable g_doneChanged;
bool g_done = false;

// Runs the stop once, on the graphical thread.
void stopOnce(const char* why) {
    qInfo().noquote() << "Stopping on" << why;
    if (g_stop)
        g_stop();
    {
        std::lock_guard<std::mutex> lock(g_doneMutex);
        g_done = true;
    }
    g_doneChanged.notify_all();
}

// On the console's own thread. For the console closed, the log-off and the
// shut-down the process ends when this returns: it waits for the stop (the
// system allows a few seconds).
BOOL WINAPI onConsoleEvent(DWORD type) {
    const char* why = nullptr;
    switch (type) {
    case CTRL_C_EVENT:
        why = "Ctrl+C";
        break;
    case CTRL_BREAK_EVENT:
        why = "Ctrl+Break";
        break;
    case CTRL_CLOSE_EVENT:
        why = "the console closed";
        break;
    case CTRL_LOGOFF_EVENT:
        why = "the end of the session";
        break;
    case CTRL_SHUTDOWN_EVENT:
        why = "the system shutting down";
        break;
    default:
        return FALSE;
    }
    if (g_requests.fetch_add(1) > 0)
        ::ExitProcess(1); // asked again while stopping: at once
    QMetaObject::invokeMethod(
        qApp, [why] { stopOnce(why); }, Qt::QueuedConnection);
    if (type == CTRL_CLOSE_EVENT || type == CTRL_LOGOFF_EVENT || type == CTRL_SHUTDOWN_EVENT) {
        std::unique_lock<std::mutex> lock(g_doneMutex);
        g_doneChanged.wait_for(lock, std::chrono::seconds(4), [] { return g_done; });
    }
    return TRUE;
}

} // namespace

void installStopSignals(std::function<void()> stop) {
    if (g_stop || !qApp)
        return;
    g_stop = std::move(stop);
    ::SetConsoleCtrlHandler(onConsoleEvent, TRUE);
    // A program without a console hears of the session's end from Qt.
    QObject::connect(qGuiApp, &QGuiApplication::commitDataRequest, qGuiApp, [](QSessionManager&) {
        if (g_requests.fetch_add(1) == 0)
            stopOnce("the end of the session");
    });
}
