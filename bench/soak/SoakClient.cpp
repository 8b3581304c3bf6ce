// Soak run of the client: the main window, as the program builds it, shows
// the simulated camera's stream for a long time while scripts/soak impairs
// the link and restarts the camera, optionally recording on the PC and
// sending the live output. Every `--report` seconds it prints the resident
// memory, the threads, the open file descriptors, the frames shown, the
// reconnections and what the capture did; at the end it closes the window
// the way its close button does and lists the threads that are still alive.
//
//   orun_soak --base DIR [--minutes M] [--report S] [--settle M] [--record]
//             [--live] [--live-progress FILE] [--stacks FILE]
//
// --record and --live switch the recording on the PC and the live output on
// once the window is up, as the title bar's buttons do; where they go is the
// [Capture] part of DIR/config/config.ini. --live-progress names the
// `ffmpeg -progress` file of a player of the live output, whose picture count
// is reported beside the output's own. --settle is the minute from which the
// growth of memory, threads and descriptors is measured (the run's middle
// when the run is not longer). With --stacks, gdb writes the stacks of all
// threads still alive at the end to FILE, to tell which part of the program
// left them running.

#include "bench/e2e/ClientHarness.h"

#include "app/CaptureControl.h"
#include "camera/Camera.h"
#include "hub/OrunAppFace.h"
#include "kcpclient/KcpWrapper.h"
#include "ui/OrunAppUI.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>

namespace {

// The process's figures at one moment.
struct Sample {
    double minutes = 0;
    long rss = 0;
    int threads = 0;
    int fds = 0;
};

Sample sampleAt(const QElapsedTimer& clock) {
    Sample s;
    s.minutes = clock.elapsed() / 60000.0;
    s.rss = benchclient::residentKiB();
    s.threads = benchclient::threadNames().size();
    s.fds = benchclient::openFiles().size();
    return s;
}

// The pictures a player of the live output took in so far: the last
// "frame=" of its `ffmpeg -progress` file, -1 when there is none yet.
long playerFrames(const QString& progressPath) {
    if (progressPath.isEmpty())
        return -1;
    QFile file(progressPath);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    // Only the end matters; the file grows by a block twice a second.
    const qint64 tail = 4096;
    if (file.size() > tail)
        file.seek(file.size() - tail);
    const QByteArray text = file.readAll();
    const int at = text.lastIndexOf("\nframe=");
    if (at < 0)
        return -1;
    const int end = text.indexOf('\n', at + 1);
    return text.mid(at + 7, end < 0 ? -1 : end - at - 7).trimmed().toLong();
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString base = benchclient::argument(args, "--base", QString());
    const double minutes = benchclient::argument(args, "--minutes", "10").toDouble();
    const int reportSeconds = benchclient::argument(args, "--report", "30").toInt();
    double settle = benchclient::argument(args, "--settle", "10").toDouble();
    const QString stacksPath = benchclient::argument(args, "--stacks", QString());
    const bool record = args.contains(QStringLiteral("--record"));
    const bool live = args.contains(QStringLiteral("--live"));
    const QString liveProgress = benchclient::argument(args, "--live-progress", QString());
    if (base.isEmpty() || minutes <= 0 || reportSeconds <= 0 || settle < 0) {
        std::fprintf(stderr, "usage: orun_soak --base DIR [--minutes M] [--report S] [--settle M] "
                             "[--record] [--live] [--live-progress FILE] [--stacks FILE]\n");
        return 2;
    }
    if (settle >= minutes)
        settle = minutes / 2;

    const QStringList threadsBefore = benchclient::threadNames();
    const QStringList fdsBefore = benchclient::openFiles();
    OrunAppUI* window = benchclient::startClient(base);
    const std::shared_ptr<Camera> camera = Camera::instance();
    CaptureControl* capture = CaptureControl::instance();

    // Pictures of the stream (the disconnected picture is R, G, B and comes
    // another way).
    std::atomic<long> frames{0};
    QObject counter;
    QObject::connect(
        OrunAppFace::instance(), &OrunAppFace::signal_showVideoPlanes, &counter,
        [&frames](PlanePicture) { ++frames; }, Qt::DirectConnection);

    // Complete recordings (one per camera session: a lost link ends the
    // file), and what the banner would have said.
    int recordings = 0;
    int warnings = 0;
    QObject::connect(capture, &CaptureControl::fileWritten, &counter,
                     [&recordings](const QString&) { ++recordings; });
    QObject::connect(capture, &CaptureControl::notice, &counter,
                     [&warnings](int level, const QString& text) {
                         if (level == CaptureControl::kNoticeWarning)
                             ++warnings;
                         std::fprintf(stderr, "NOTICE %s\n", text.toUtf8().constData());
                     });
    // As the title bar's buttons: the writers wait for the camera's stream.
    if (record)
        capture->startRecording();
    if (live)
        capture->startLiveOutput();

    QElapsedTimer clock;
    clock.start();
    int connections = 0;
    bool wasConnected = false;
    // When the live output last wrote, by the clock.
    uint64_t liveUnitsSeen = 0;
    qint64 liveWroteAt = -1;
    QTimer linkWatch;
    QObject::connect(&linkWatch, &QTimer::timeout, [&] {
        const bool now = camera->connected;
        if (now && !wasConnected)
            ++connections;
        wasConnected = now;
        const uint64_t units = capture->liveOutputStats().unitsWritten;
        if (units != liveUnitsSeen) {
            liveUnitsSeen = units;
            liveWroteAt = clock.elapsed();
        }
    });
    linkWatch.start(50);
    auto reconnections = [&connections] { return connections > 0 ? connections - 1 : 0; };

    // The capture's part of a report line. The live output is "sending"
    // while it wrote in the last two seconds, "idle" while it is on without
    // writing (the camera away, or no consumer), else "off".
    auto captureFigures = [&] {
        const WriterStats rec = capture->recordingStats();
        const WriterStats out = capture->liveOutputStats();
        const char* recState = !capture->isRecording()         ? "off"
                               : capture->isRecordingWaiting() ? "waiting"
                                                               : "writing";
        const bool wrote = liveWroteAt >= 0 && clock.elapsed() - liveWroteAt < 2000;
        const char* liveState = !capture->isLiveOutputOn() ? "off" : wrote ? "sending" : "idle";
        return QString::asprintf(
            "recordings=%d recording=%s recorded_s=%.1f rec_dropped=%llu live=%s "
            "live_units=%llu live_outputs=%llu live_dropped=%llu live_received=%ld "
            "warnings=%d",
            recordings, recState, capture->recordedMs() / 1000.0,
            static_cast<unsigned long long>(rec.unitsDropped), liveState,
            static_cast<unsigned long long>(out.unitsWritten),
            static_cast<unsigned long long>(out.outputs),
            static_cast<unsigned long long>(out.unitsDropped), playerFrames(liveProgress),
            warnings);
    };
    // The control link may ride out a short camera outage (no reconnection
    // then); the media session is opened anew after every restart.
    auto mediaSessions = [] {
        return static_cast<unsigned long long>(
            KcpWrapper::instance()->link_stats().sessionsStarted);
    };
    auto printLine = [&](const char* tag, const Sample& s) {
        std::printf("%s t=%.2fmin rss_kib=%ld threads=%d fds=%d frames_shown=%ld "
                    "reconnections=%d media_sessions=%llu %s\n",
                    tag, s.minutes, s.rss, s.threads, s.fds, frames.load(), reconnections(),
                    mediaSessions(), captureFigures().toUtf8().constData());
        std::fflush(stdout);
    };

    Sample start;
    // The start figure is taken once the window shows video, so that it
    // holds the decoder and the ring rather than an idle window.
    QTimer::singleShot(10000, [&] {
        start = sampleAt(clock);
        printLine("START", start);
    });
    // The figures growth is measured from: memory that the caches, the
    // decoder's pools and the allocator's arenas took up while warming has
    // settled by then.
    Sample settled;
    QTimer::singleShot(static_cast<int>(settle * 60000), [&] {
        settled = sampleAt(clock);
        std::printf("SETTLED t=%.2fmin rss_kib=%ld threads=%d fds=%d\n", settled.minutes,
                    settled.rss, settled.threads, settled.fds);
        std::fflush(stdout);
    });
    QTimer report;
    QObject::connect(&report, &QTimer::timeout, [&] { printLine("PROGRESS", sampleAt(clock)); });
    report.start(reportSeconds * 1000);
    QTimer::singleShot(static_cast<int>(minutes * 60000), &app, &QApplication::quit);
    app.exec();
    report.stop();
    linkWatch.stop();

    const Sample end = sampleAt(clock);
    const long shown = frames;
    printLine("END", end);
    const WriterStats liveEnd = capture->liveOutputStats();

    benchclient::stopClient(window);
    // Give workers that were told to stop a moment to return, and take in
    // what the writers reported while finishing (the last recording).
    std::this_thread::sleep_for(std::chrono::seconds(3));
    QCoreApplication::processEvents();
    QStringList left = benchclient::threadNames();
    for (const QString& name : threadsBefore)
        left.removeOne(name);
    const QStringList fdsAfter = benchclient::openFiles();
    QStringList fdsLeft = fdsAfter;
    for (const QString& target : fdsBefore)
        fdsLeft.removeOne(target);
    std::printf("SUMMARY minutes=%.2f rss_start_kib=%ld rss_end_kib=%ld frames_shown=%ld "
                "reconnections=%d threads_before=%d threads_running=%d threads_left=%d\n",
                clock.elapsed() / 60000.0, start.rss, end.rss, shown, reconnections(),
                static_cast<int>(threadsBefore.size()), end.threads, static_cast<int>(left.size()));
    const double growth =
        settled.rss > 0 ? 100.0 * (end.rss - settled.rss) / static_cast<double>(settled.rss) : 0;
    std::printf("GROWTH from_minute=%.2f rss_kib=%ld->%ld rss_growth_pct=%.2f threads=%d->%d "
                "fds=%d->%d\n",
                settled.minutes, settled.rss, end.rss, growth, settled.threads, end.threads,
                settled.fds, end.fds);
    std::printf("CAPTURE recordings_written=%d live_units=%llu live_outputs=%llu "
                "live_dropped=%llu live_received=%ld warnings=%d fds_before=%d "
                "fds_after_close=%d\n",
                recordings, static_cast<unsigned long long>(liveEnd.unitsWritten),
                static_cast<unsigned long long>(liveEnd.outputs),
                static_cast<unsigned long long>(liveEnd.unitsDropped), playerFrames(liveProgress),
                warnings, static_cast<int>(fdsBefore.size()), static_cast<int>(fdsAfter.size()));
    for (const QString& name : left)
        std::printf("THREAD_LEFT %s\n", name.toUtf8().constData());
    for (const QString& target : fdsLeft)
        std::printf("FD_LEFT %s\n", target.toUtf8().constData());
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
