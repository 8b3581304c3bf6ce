#include "program/StopSignals.h"

#include <QCoreApplication>
#include <QDebug>
#include <QSocketNotifier>

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>

namespace {

// The handler only writes the signal's number into a socket that the event
// loop watches: nothing else is safe in a signal handler.
int g_wake[2] = {-1, -1};
std::atomic<int> g_requests{0};

void onStopSignal(int signal) {
    if (g_requests.fetch_add(1) > 0)
        ::_exit(128 + signal); // asked again while stopping: at once
    const char number = static_cast<char>(signal);
    [[maybe_unused]] const ssize_t written = ::write(g_wake[1], &number, 1);
}

const char* signalName(int signal) {
    switch (signal) {
    case SIGTERM:
        return "SIGTERM";
    case SIGINT:
        return "SIGINT";
    case SIGHUP:
        return "SIGHUP";
    default:
        return "a signal";
    }
}

} // namespace

void installStopSignals(std::function<void()> stop) {
    if (g_wake[0] >= 0 || !QCoreApplication::instance())
        return;
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_wake) != 0) {
        qWarning() << "Stop signals not watched: no socket pair";
        return;
    }
    ::fcntl(g_wake[1], F_SETFL, ::fcntl(g_wake[1], F_GETFL) | O_NONBLOCK);
    auto* notifier = new QSocketNotifier(g_wake[0], QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, qApp,
                     [notifier, stop = std::move(stop)] {
                         char number = 0;
                         if (::read(g_wake[0], &number, 1) != 1)
                             return;
                         notifier->setEnabled(false);
                         qInfo().noquote() << "Stopping on" << signalName(number);
                         stop();
                     });
    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(signal, &action, nullptr);
}
