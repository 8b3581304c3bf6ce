// Soak run of the client: the main window, as the program builds it, shows
// the simulated camera's stream for a long time while scripts/soak impairs
// the link and restarts the camera. Every `--report` seconds it prints the
// resident memory, the frames shown and the reconnections; at the end it
// closes the window the way its close button does and lists the threads that
// are still alive.
//
//   orun_soak --base DIR [--minutes M] [--report S] [--stacks FILE]
//
// With --stacks, gdb writes the stacks of all threads still alive at the end
// to FILE, to tell which part of the program left them running.

#include "bench/e2e/ClientHarness.h"

#include "camera/Camera.h"
#include "hub/OrunAppFace.h"
#include "ui/OrunAppUI.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QSet>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>

namespace {

void printLine(const char* tag, double minutes, long rss, long frames, int reconnections,
               int threads) {
    std::printf("%s t=%.2fmin rss_kib=%ld frames_shown=%ld reconnections=%d threads=%d\n", tag,
                minutes, rss, frames, reconnections, threads);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString base = benchclient::argument(args, "--base", QString());
    const double minutes = benchclient::argument(args, "--minutes", "10").toDouble();
    const int reportSeconds = benchclient::argument(args, "--report", "30").toInt();
    const QString stacksPath = benchclient::argument(args, "--stacks", QString());
    if (base.isEmpty() || minutes <= 0 || reportSeconds <= 0) {
        std::fprintf(stderr, "usage: orun_soak --base DIR [--minutes M] [--report S]\n");
        return 2;
    }

    const QStringList threadsBefore = benchclient::threadNames();
    OrunAppUI* window = benchclient::startClient(base);
    const std::shared_ptr<Camera> camera = Camera::instance();

    // Pictures of the stream (the disconnected picture comes while the link
    // is down and is not counted).
    std::atomic<long> frames{0};
    QObject counter;
    QObject::connect(
        OrunAppFace::instance(), &OrunAppFace::signal_showVideoFrame, &counter,
        [&frames, camera](cv::Mat) {
            if (camera->connected)
                ++frames;
        },
        Qt::DirectConnection);

    int connections = 0;
    bool wasConnected = false;
    QTimer linkWatch;
    QObject::connect(&linkWatch, &QTimer::timeout, [&] {
        const bool now = camera->connected;
        if (now && !wasConnected)
            ++connections;
        wasConnected = now;
    });
    linkWatch.start(50);

    QElapsedTimer clock;
    clock.start();
    auto reconnections = [&connections] { return connections > 0 ? connections - 1 : 0; };
    long rssStart = 0;
    // The start figure is taken once the window shows video, so that it
    // holds the decoder and the ring rather than an idle window.
    QTimer::singleShot(10000, [&] {
        rssStart = benchclient::residentKiB();
        printLine("START", clock.elapsed() / 60000.0, rssStart, frames, reconnections(),
                  benchclient::threadNames().size());
    });
    QTimer report;
    QObject::connect(&report, &QTimer::timeout, [&] {
        printLine("PROGRESS", clock.elapsed() / 60000.0, benchclient::residentKiB(), frames,
                  reconnections(), benchclient::threadNames().size());
    });
    report.start(reportSeconds * 1000);
    QTimer::singleShot(static_cast<int>(minutes * 60000), &app, &QApplication::quit);
    app.exec();
    report.stop();
    linkWatch.stop();

    const long rssEnd = benchclient::residentKiB();
    const long shown = frames;
    const int threadsRunning = benchclient::threadNames().size();
    printLine("END", clock.elapsed() / 60000.0, rssEnd, shown, reconnections(), threadsRunning);

    benchclient::stopClient(window);
    // Give workers that were told to stop a moment to return.
    std::this_thread::sleep_for(std::chrono::seconds(3));
    QStringList left = benchclient::threadNames();
    for (const QString& name : threadsBefore)
        left.removeOne(name);
    std::printf("SUMMARY minutes=%.2f rss_start_kib=%ld rss_end_kib=%ld frames_shown=%ld "
                "reconnections=%d threads_before=%d threads_running=%d threads_left=%d\n",
                clock.elapsed() / 60000.0, rssStart, rssEnd, shown, reconnections(),
                static_cast<int>(threadsBefore.size()), threadsRunning,
                static_cast<int>(left.size()));
    for (const QString& name : left)
        std::printf("THREAD_LEFT %s\n", name.toUtf8().constData());
    std::fflush(stdout);

    if (!stacksPath.isEmpty()) {
        QProcess gdb;
        gdb.setStandardOutputFile(stacksPath);
        gdb.setStandardErrorFile(QProcess::nullDevice());
        gdb.start(QStringLiteral("gdb"),
                  {QStringLiteral("-p"), QString::number(QCoreApplication::applicationPid()),
                   QStringLiteral("-batch"), QStringLiteral("-ex"),
                   QStringLiteral("thread apply all bt 16")});
        gdb.waitForFinished(60000);
    }
    return 0;
}
