#pragma once

// Checks of written media by FFmpeg's own tools (ffprobe, ffmpeg), never by
// our reader: what a user's player would see.

#include <QEventLoop>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <vector>

namespace mediaprobe {

// Whether a program is on the PATH; tests that need it skip without it.
inline bool haveTool(const QString& name) {
    return !QStandardPaths::findExecutable(name).isEmpty();
}

struct RunResult {
    bool started = false;
    int exitCode = -1;
    QString out;
    QString err;
};

// Runs a program to its end (killed after `timeoutMs`). The event loop runs
// meanwhile, so a window in the same process goes on working.
inline RunResult run(const QString& program, const QStringList& args, int timeoutMs = 60000) {
    RunResult r;
    QProcess p;
    QEventLoop loop;
    QObject::connect(&p, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), &loop,
                     &QEventLoop::quit);
    QObject::connect(&p, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    p.start(program, args);
    r.started = p.waitForStarted(5000);
    if (!r.started)
        return r;
    if (p.state() != QProcess::NotRunning)
        loop.exec();
    if (p.state() != QProcess::NotRunning) {
        p.kill();
        p.waitForFinished(3000);
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

// The first video stream of a file or URL as ffprobe reports it; `frames` is
// the count of frames read (-count_frames). With `readLimit` only that many
// packets are read (a live input that never ends).
struct VideoProbe {
    bool ok = false;
    QString codec;
    int width = 0;
    int height = 0;
    int frames = -1;
    double duration = -1; // of the container, seconds
    QString error;
};

inline QString field(const QString& text, const QString& key) {
    for (const QString& line : text.split('\n')) {
        if (line.startsWith(key + "="))
            return line.mid(key.size() + 1).trimmed();
    }
    return QString();
}

inline VideoProbe probeVideo(const QString& input, const QStringList& inputOptions = {},
                             int timeoutMs = 60000) {
    QStringList args{"-v", "error"};
    args << inputOptions;
    args << "-select_streams"
         << "v:0"
         << "-count_frames"
         << "-show_entries"
         << "stream=codec_name,width,height,nb_read_frames:format=duration"
         << "-of"
         << "default=noprint_wrappers=1" << input;
    const RunResult r = run("ffprobe", args, timeoutMs);
    VideoProbe p;
    p.error = r.err;
    if (!r.started || r.exitCode != 0)
        return p;
    p.codec = field(r.out, "codec_name");
    p.width = field(r.out, "width").toInt();
    p.height = field(r.out, "height").toInt();
    bool ok = false;
    const int frames = field(r.out, "nb_read_frames").toInt(&ok);
    p.frames = ok ? frames : -1;
    const double duration = field(r.out, "duration").toDouble(&ok);
    p.duration = ok ? duration : -1;
    p.ok = !p.codec.isEmpty();
    return p;
}

// The presentation times of the first video stream's packets, in file order,
// in milliseconds (empty when ffprobe could not read the file).
inline std::vector<double> packetTimesMs(const QString& path) {
    const RunResult r = run("ffprobe", {"-v", "error", "-select_streams", "v:0", "-show_entries",
                                        "packet=pts_time", "-of", "csv=p=0", path});
    std::vector<double> times;
    if (!r.started || r.exitCode != 0)
        return times;
    for (const QString& line : r.out.split('\n', Qt::SkipEmptyParts)) {
        bool ok = false;
        const double seconds = line.trimmed().toDouble(&ok);
        if (ok)
            times.push_back(seconds * 1000.0);
    }
    return times;
}

// What `ffmpeg -v error -i FILE -f null -` prints: empty for a file that
// decodes cleanly.
inline QString decodeErrors(const QString& path) {
    const RunResult r =
        run("ffmpeg", {"-hide_banner", "-nostdin", "-v", "error", "-i", path, "-f", "null", "-"});
    if (!r.started)
        return "ffmpeg did not start";
    QString text = r.err.trimmed();
    if (r.exitCode != 0 && text.isEmpty())
        text = QString("ffmpeg exited with %1").arg(r.exitCode);
    return text;
}

} // namespace mediaprobe
