// A recording whose writer dies (SIGKILL, as a crash or a pulled plug would
// end it) keeps all but at most its last second: the MP4 is fragmented and
// each fragment reaches the file as it is complete.
#include "tests/support/MediaProbe.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>

#include <gtest/gtest.h>

TEST(RecordingKilled, PlaysUpToAtMostOneSecondBeforeTheKill) {
    if (!mediaprobe::haveTool("ffprobe") || !mediaprobe::haveTool("ffmpeg"))
        GTEST_SKIP() << "ffprobe/ffmpeg not installed (Debian package ffmpeg)";
    QTemporaryDir dir;
    QProcess probe;
    probe.start(QCoreApplication::applicationDirPath() + "/capture_kill_probe", {dir.path()});
    ASSERT_TRUE(probe.waitForStarted(5000));
    // Five seconds and a bit of recording, then the kill.
    int fed = 0;
    QString file;
    QElapsedTimer clock;
    clock.start();
    QByteArray pending;
    while (fed < 160 && clock.elapsed() < 30000 && probe.state() == QProcess::Running) {
        probe.waitForReadyRead(200);
        pending += probe.readAllStandardOutput();
        int nl;
        while ((nl = pending.indexOf('\n')) >= 0) {
            const QString line = QString::fromUtf8(pending.left(nl));
            pending.remove(0, nl + 1);
            if (line.startsWith("fed "))
                fed = line.mid(4).toInt();
            else if (line.startsWith("file "))
                file = line.mid(5);
        }
    }
    ::kill(static_cast<pid_t>(probe.processId()), SIGKILL);
    probe.waitForFinished(5000);
    pending += probe.readAllStandardOutput();
    for (const QByteArray& line : pending.split('\n'))
        if (line.startsWith("fed "))
            fed = line.mid(4).toInt();
    ASSERT_GE(fed, 160);
    ASSERT_FALSE(file.isEmpty()) << "no file was begun";

    const mediaprobe::VideoProbe p = mediaprobe::probeVideo(file);
    ASSERT_TRUE(p.ok) << p.error.toStdString();
    EXPECT_EQ(p.codec, "h264");
    EXPECT_EQ(p.width, 640);
    // At most a second (30 pictures) lost, and the picture the recorder
    // holds back for its duration.
    EXPECT_GE(p.frames, fed - 31) << "fed " << fed;
    EXPECT_LE(p.frames, fed);
    // What is there decodes (a cut-off last fragment is left out by the reader).
    const mediaprobe::RunResult decoded = mediaprobe::run(
        "ffmpeg", {"-hide_banner", "-nostdin", "-v", "error", "-i", file, "-f", "null", "-"});
    EXPECT_EQ(decoded.exitCode, 0) << decoded.err.toStdString();
}
