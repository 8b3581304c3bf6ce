// End-to-end latency of the live picture: the client (main window, as the
// program builds it) shows the simulated camera's stream; each frame's camera
// send time (time trailer) is followed to the moment the widget paints it.
//
//   orun_e2e_bench --base DIR [--label L] [--warmup S] [--seconds S] [--fps F] [--csv FILE]
//                  [--capture record|live|both|webcam]
//
// After `warmup` seconds it measures for `seconds` seconds and prints one
// result line: frames sent (by the nominal rate over the window), fetched,
// shown and painted, the send-to-paint median and 99th percentile (with the
// fetch and show steps), the hand-off from the media client to the decoder,
// the process CPU time per second of video, and a second line with the time
// from start to the first painted picture and the pipeline's own counters
// over the whole run. --capture switches recording on the PC and/or the live
// output on at the start, as the configuration in DIR says (their threads
// show in THREADCPU); --capture webcam offers the picture as a PipeWire camera
// in a PipeWire session of the benchmark's own and reads it with GStreamer's
// pipewiresrc in I420, as a meeting program would.

#include "app/CaptureControl.h"
#include "bench/e2e/ClientHarness.h"
#include "tests/support/PipeWireSession.h"
#include "video/LatencyTrace.h"

#include "ui/OrunAppUI.h"
#include "video/videoctl.h"

#include <QApplication>
#include <QFile>
#include <QTextStream>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <utility>
#include <vector>

namespace {

struct Quantiles {
    double median = NAN;
    double p99 = NAN;
    size_t count = 0;
};

// Nearest-rank quantiles of latencies in microseconds, reported in ms.
Quantiles quantiles(std::vector<int64_t> values) {
    Quantiles q;
    q.count = values.size();
    if (values.empty())
        return q;
    std::sort(values.begin(), values.end());
    auto rank = [&values](double p) {
        const size_t n = values.size();
        size_t i = static_cast<size_t>(std::ceil(p * static_cast<double>(n)));
        i = std::min(n, std::max<size_t>(i, 1)) - 1;
        return static_cast<double>(values[i]) / 1000.0;
    };
    q.median = rank(0.5);
    q.p99 = rank(0.99);
    return q;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString base = benchclient::argument(args, "--base", QString());
    const QString label = benchclient::argument(args, "--label", "stream");
    const double warmup = benchclient::argument(args, "--warmup", "6").toDouble();
    const double seconds = benchclient::argument(args, "--seconds", "20").toDouble();
    const double fps = benchclient::argument(args, "--fps", "30").toDouble();
    const QString csvPath = benchclient::argument(args, "--csv", QString());
    const QString capture = benchclient::argument(args, "--capture", QString());
    if (base.isEmpty() || seconds <= 0 || fps <= 0 ||
        !(capture.isEmpty() || capture == "record" || capture == "live" || capture == "both" ||
          capture == "webcam")) {
        std::fprintf(stderr, "usage: orun_e2e_bench --base DIR [--label L] [--warmup S] "
                             "[--seconds S] [--fps F] [--csv FILE] "
                             "[--capture record|live|both|webcam]\n");
        return 2;
    }
    std::unique_ptr<PipeWireSession> pipewire;
    if (capture == "webcam") {
        pipewire = std::make_unique<PipeWireSession>();
        const QString why = pipewire->start();
        if (!why.isEmpty()) {
            std::fprintf(stderr, "orun_e2e_bench: no PipeWire session: %s\n", qPrintable(why));
            return 2;
        }
    }

    latencytrace::setEnabled(true);
    const int64_t startedUs = latencytrace::nowMicros();
    OrunAppUI* window = benchclient::startClient(base);
    if (capture == "record" || capture == "both")
        CaptureControl::instance()->startRecording();
    if (capture == "live" || capture == "both")
        CaptureControl::instance()->startLiveOutput();
    PipeWireConsumer reader;
    if (capture == "webcam") {
        CaptureControl::instance()->startWebcam();
        const int node = PipeWireSession::waitForNode("orunapp");
        if (node < 0 || !reader.start(node, "I420", 1000000)) {
            std::fprintf(stderr, "orun_e2e_bench: the webcam is not read\n");
            return 1;
        }
    }

    int64_t windowStart = 0;
    double cpuStart = 0;
    QList<benchclient::ThreadCpu> threadsStart;
    QTimer::singleShot(static_cast<int>(warmup * 1000), [&] {
        windowStart = latencytrace::nowMicros();
        cpuStart = benchclient::processCpuSeconds();
        threadsStart = benchclient::threadCpu();
    });
    int64_t windowEnd = 0;
    double cpuEnd = 0;
    QList<benchclient::ThreadCpu> threadsEnd;
    QTimer::singleShot(static_cast<int>((warmup + seconds) * 1000), [&] {
        windowEnd = latencytrace::nowMicros();
        cpuEnd = benchclient::processCpuSeconds();
        threadsEnd = benchclient::threadCpu();
        app.quit();
    });
    app.exec();
    latencytrace::setEnabled(false);
    const std::vector<latencytrace::FrameMarks> marks = latencytrace::takeMarks();
    const PipelineStats stats = videoctl::instance()->stats();
    benchclient::stopClient(window);

    // Frames the camera sent inside the window, painted or not.
    std::vector<int64_t> toFetch, toShown, toPaint, handOff;
    size_t fetched = 0, shown = 0, painted = 0;
    int64_t firstPaintUs = 0;
    for (const latencytrace::FrameMarks& m : marks) {
        if (m.paintUs > 0 && (firstPaintUs == 0 || m.paintUs < firstPaintUs))
            firstPaintUs = m.paintUs;
    }
    QFile csv(csvPath);
    QTextStream csvOut(&csv);
    if (!csvPath.isEmpty() && csv.open(QIODevice::WriteOnly | QIODevice::Truncate))
        csvOut << "send_us,whole_us,fetch_us,decode_us,shown_us,received_us,paint_us\n";
    for (const latencytrace::FrameMarks& m : marks) {
        if (m.sendUs < windowStart || m.sendUs >= windowEnd)
            continue;
        if (csv.isOpen())
            csvOut << m.sendUs << ',' << m.wholeUs << ',' << m.fetchUs << ',' << m.decodeUs << ','
                   << m.shownUs << ',' << m.receivedUs << ',' << m.paintUs << '\n';
        if (m.fetchUs > 0) {
            ++fetched;
            toFetch.push_back(m.fetchUs - m.sendUs);
        }
        if (m.wholeUs > 0 && m.decodeUs > 0)
            handOff.push_back(m.decodeUs - m.wholeUs);
        if (m.shownUs > 0) {
            ++shown;
            toShown.push_back(m.shownUs - m.sendUs);
        }
        if (m.paintUs > 0) {
            ++painted;
            toPaint.push_back(m.paintUs - m.sendUs);
        }
    }
    const double span = static_cast<double>(windowEnd - windowStart) / 1e6;
    const long sent = std::lround(span * fps);
    const Quantiles f = quantiles(toFetch), s = quantiles(toShown), p = quantiles(toPaint);
    const Quantiles h = quantiles(handOff);
    const double cpu = span > 0 ? (cpuEnd - cpuStart) / span : 0;

    std::printf("%-10s %6s %7s %6s %7s | %9s %9s | %9s %9s | %9s %9s | %8s\n", "stream", "sent",
                "fetched", "shown", "painted", "fetch p50", "p99", "show p50", "p99", "paint p50",
                "p99", "CPU s/s");
    std::printf("%-10s %6ld %7zu %6zu %7zu | %9.1f %9.1f | %9.1f %9.1f | %9.1f %9.1f | %8.3f\n",
                label.toUtf8().constData(), sent, fetched, shown, painted, f.median, f.p99,
                s.median, s.p99, p.median, p.p99, cpu);
    std::printf("RESULT label=%s seconds=%.1f sent=%ld fetched=%zu shown=%zu painted=%zu "
                "fetch_p50_ms=%.2f fetch_p99_ms=%.2f show_p50_ms=%.2f show_p99_ms=%.2f "
                "paint_p50_ms=%.2f paint_p99_ms=%.2f handoff_p50_ms=%.3f handoff_p99_ms=%.3f "
                "cpu_s_per_s=%.3f\n",
                label.toUtf8().constData(), span, sent, fetched, shown, painted, f.median, f.p99,
                s.median, s.p99, p.median, p.p99, h.median, h.p99, cpu);
    std::printf("PIPELINE label=%s first_picture_s=%.2f received=%llu gated=%llu admitted=%llu "
                "decoded=%llu queue_full=%llu decode_errors=%llu pictures=%llu "
                "display_behind=%llu render_busy=%llu queue_max=%zu\n",
                label.toUtf8().constData(),
                firstPaintUs > 0 ? static_cast<double>(firstPaintUs - startedUs) / 1e6 : -1.0,
                static_cast<unsigned long long>(stats.unitsReceived),
                static_cast<unsigned long long>(stats.unitsGated),
                static_cast<unsigned long long>(stats.unitsAdmitted),
                static_cast<unsigned long long>(stats.unitsDecoded),
                static_cast<unsigned long long>(stats.unitsQueueFull),
                static_cast<unsigned long long>(stats.decodeErrors),
                static_cast<unsigned long long>(stats.picturesDecoded),
                static_cast<unsigned long long>(stats.picturesDropped),
                static_cast<unsigned long long>(stats.picturesBusy), stats.decodeQueueMax);
    // Where the CPU time went: per thread name, per second of video.
    std::map<QString, double> byName;
    for (const benchclient::ThreadCpu& end : threadsEnd) {
        double before = 0;
        for (const benchclient::ThreadCpu& start : threadsStart) {
            if (start.tid == end.tid)
                before = start.seconds;
        }
        byName[end.name] += end.seconds - before;
    }
    std::vector<std::pair<double, QString>> ranked;
    for (const auto& entry : byName)
        ranked.emplace_back(entry.second, entry.first);
    std::sort(ranked.rbegin(), ranked.rend());
    for (const auto& entry : ranked) {
        // The capture's writers are listed however little they use.
        const bool capture =
            entry.second.startsWith("orun-record") || entry.second.startsWith("orun-live");
        if (span > 0 && (entry.first / span >= 0.005 || capture))
            std::printf("THREADCPU label=%s thread=%s cpu_s_per_s=%.3f\n",
                        label.toUtf8().constData(), entry.second.toUtf8().constData(),
                        entry.first / span);
    }
    std::fflush(stdout);
    // An idle run (the camera paused) paints nothing in its window.
    return painted > 0 || firstPaintUs > 0 ? 0 : 1;
}
