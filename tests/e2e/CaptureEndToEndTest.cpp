// Capture on the PC against the camsim program, driven through the window's
// capture buttons and checked by FFmpeg's own tools: a 20 s recording of a
// 1080p30 stream, recording across a camera restart, snapshots, the live
// output over SRT, UDP and RTMP, and what bad input does.
#include "CamsimProcess.h"
#include "E2eWindow.h"

#include "app/CaptureControl.h"
#include "app/Configuration.h"
#include "tests/support/LogLines.h"
#include "tests/support/MediaProbe.h"
#include "tests/support/ScratchDisks.h"
#include "tools/camsim/video/SyntheticVideoSource.h"
#include "ui/CaptureBar.h"
#include "ui/ErrorInfoDlg.h"

extern "C" {
#include <libavutil/log.h>
}

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QToolButton>
#include <QUdpSocket>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <mutex>

namespace {

// camsim's synthetic scene at 1920x1080, ten seconds at 30 pictures a
// second, as an H.264 file that camsim replays in a loop (cheaper than
// encoding while it sends). Written once per build folder.
QString stream1080p() {
    const QString dir = QDir::currentPath() + "/../test-data";
    const QString path = dir + "/synthetic-1920x1080-300.h264";
    if (QFileInfo(path).size() > 0)
        return path;
    QDir().mkpath(dir);
    av_log_set_level(AV_LOG_ERROR);
    camsim::SyntheticVideoSource source;
    camsim::VideoSettings settings;
    settings.width = 1920;
    settings.height = 1080;
    source.configure(settings);
    const QString partial = path + ".part";
    std::ofstream out(partial.toStdString(), std::ios::binary | std::ios::trunc);
    for (int i = 0; i < 300; ++i) {
        camsim::VideoFrame frame;
        if (!source.nextFrame(frame))
            return QString();
        out.write(frame.accessUnit.data(), static_cast<std::streamsize>(frame.accessUnit.size()));
    }
    out.close();
    if (!out || !QFile::rename(partial, path))
        return QString();
    return path;
}

quint16 freePort(bool tcp) {
    if (tcp) {
        QTcpServer server;
        server.listen(QHostAddress(QHostAddress::LocalHost), 0);
        return server.serverPort();
    }
    QUdpSocket socket;
    socket.bind(QHostAddress(QHostAddress::LocalHost), 0);
    return socket.localPort();
}

// ffprobe's options for a live input: the first `frames` pictures, found
// without waiting the usual five seconds of probing.
QStringList liveInput(int frames) {
    return {"-analyzeduration", "1000000", "-read_intervals", QString("%+#%1").arg(frames)};
}

bool requireFfmpeg() {
    return mediaprobe::haveTool("ffprobe") && mediaprobe::haveTool("ffmpeg");
}

// The window against camsim, with capture folders of its own.
class CaptureEndToEnd : public ::testing::Test {
public:
    void start(const QStringList& camsimArgs = {}, int language = 1) {
        ASSERT_TRUE(camsim.start(camsimArgs));
        app = std::make_unique<E2eWindow>(language);
        writeConfigValue("Capture/recordFolder", app->baseDir() + "/videos");
        writeConfigValue("Capture/snapshotFolder", app->baseDir() + "/pictures");
        ASSERT_TRUE(app->waitForFrames(5, 20000)) << "no pictures";
        bar = app->window().captureBar();
        ASSERT_NE(bar, nullptr);
        control = CaptureControl::instance();
        written = std::make_unique<QSignalSpy>(control, &CaptureControl::fileWritten);
    }
    void TearDown() override {
        app.reset();
        camsim.stop();
    }
    // Waits for the n-th file written since start().
    QString waitForFile(int n, int timeoutMs = 10000) {
        if (!QTest::qWaitFor([&] { return written->size() >= n; }, timeoutMs))
            return QString();
        return QDir::fromNativeSeparators((*written)[n - 1][0].toString());
    }
    QString bannerText() const {
        return bar->banner()->isVisible() ? bar->banner()->text() : QString();
    }
    void expectPlayable(const QString& path, int minFrames) {
        const mediaprobe::VideoProbe p = mediaprobe::probeVideo(path);
        ASSERT_TRUE(p.ok) << path.toStdString() << ": " << p.error.toStdString();
        EXPECT_EQ(p.codec, "h264");
        EXPECT_GE(p.frames, minFrames) << path.toStdString();
        EXPECT_EQ(mediaprobe::decodeErrors(path).toStdString(), "") << path.toStdString();
    }

    CamsimProcess camsim;
    std::unique_ptr<E2eWindow> app;
    CaptureBar* bar = nullptr;
    CaptureControl* control = nullptr;
    std::unique_ptr<QSignalSpy> written;
};

#define REQUIRE_FFMPEG()                                                                           \
    if (!requireFfmpeg())                                                                          \
    GTEST_SKIP() << "ffprobe/ffmpeg not installed (Debian package ffmpeg)"

} // namespace

TEST_F(CaptureEndToEnd, TwentySecondsOf1080p30AreEveryPictureCamsimSent) {
    REQUIRE_FFMPEG();
    const QString stream = stream1080p();
    ASSERT_FALSE(stream.isEmpty());
    start({"--video", stream, "--time-trailer"});
    EXPECT_EQ(app->lastFrameSize(), QSize(1920, 1080));

    QTest::mouseClick(bar->recordButton(), Qt::LeftButton);
    ASSERT_TRUE(control->isRecording());
    // The file begins with the next key frame; from then on every picture
    // camsim sends belongs in it. camsim's count is read until the file is
    // there: the first picture went out after the count before the last
    // (give or take what was on its way) and before the last.
    long long before = camsim.framesSent();
    long long first = before;
    QElapsedTimer wall;
    wall.start();
    while (control->recordingFile().isEmpty() && wall.elapsed() < 5000) {
        before = first;
        first = camsim.framesSent();
    }
    ASSERT_FALSE(control->recordingFile().isEmpty());
    wall.start();
    ASSERT_GE(before, 0);
    QTest::qWait(3000);
    EXPECT_TRUE(bar->recordButton()->text().startsWith("00:00:0"))
        << bar->recordButton()->text().toStdString();
    app->window().grab().save(artifact("capture_recording_en.png"));
    QTest::qWait(17000);
    // camsim stops sending; what it sent until then reaches the file.
    ASSERT_TRUE(camsim.command("pause-media"));
    const qint64 wallMs = wall.elapsed();
    QTest::qWait(700);
    const long long last = camsim.framesSent();
    QTest::mouseClick(bar->recordButton(), Qt::LeftButton);
    EXPECT_FALSE(control->isRecording());
    const QString file = waitForFile(1);
    ASSERT_FALSE(file.isEmpty());
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return bannerText().contains(QFileInfo(file).fileName()); }, 3000))
        << bannerText().toStdString();
    app->window().grab().save(artifact("capture_saved_en.png"));

    const mediaprobe::VideoProbe p = mediaprobe::probeVideo(file);
    ASSERT_TRUE(p.ok) << p.error.toStdString();
    EXPECT_EQ(p.codec, "h264");
    EXPECT_EQ(p.width, 1920);
    EXPECT_EQ(p.height, 1080);
    // The last picture in the file is the last camsim sent.
    const long long sent = last - first + 1;
    std::printf("recorded %d pictures of %lld to %lld sent, %.3f s for %lld ms of wall time\n",
                p.frames, sent, last - before + 1, p.duration, static_cast<long long>(wallMs));
    EXPECT_GE(p.frames, sent - 2) << "camsim sent " << sent << " to " << last - before + 1;
    EXPECT_LE(p.frames, last - before + 1 + 2)
        << "camsim sent " << sent << " to " << last - before + 1;
    EXPECT_NEAR(p.duration * 1000.0, static_cast<double>(wallMs), wallMs * 0.03)
        << "duration " << p.duration << " s, wall " << wallMs << " ms";
    EXPECT_EQ(mediaprobe::decodeErrors(file).toStdString(), "");
}

// camsim at `fps`, with a trailer in milliseconds or none, recorded into an
// MKV and an MP4 of two seconds each: the files' times are the trailer's
// (its steps of 33, 33 and 34 ms at 30 a second), or the arrival times paced
// at the stream's rate, and FFmpeg reads them without a word.
static void expectCameraClockInFiles(CaptureEndToEnd& test, int fps, bool trailer) {
    SCOPED_TRACE(std::to_string(fps) + (trailer ? " a second, trailer" : " a second, none"));
    const double step = 1000.0 / fps;
    for (const char* format : {"mkv", "mp4"}) {
        SCOPED_TRACE(format);
        writeConfigValue("Capture/recordFormat", format);
        const int before = test.written->size();
        test.control->startRecording();
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return !test.control->recordingFile().isEmpty(); }, 5000));
        QTest::qWait(2000);
        test.control->stopRecording();
        const QString file = test.waitForFile(before + 1);
        ASSERT_FALSE(file.isEmpty());
        const std::vector<double> times = mediaprobe::packetTimesMs(file);
        ASSERT_GE(times.size(), static_cast<size_t>(fps));
        int off = 0;
        int single = 0;
        for (size_t i = 1; i < times.size(); ++i) {
            const double d = times[i] - times[i - 1];
            const double steps = std::round(d / step);
            bool fits = steps >= 1 && std::fabs(d - steps * step) <= 1.01;
            if (trailer) {
                // Whole milliseconds, floor or ceiling of the step, and three
                // steps make exactly three of the rate's.
                fits = std::fabs(times[i] - std::round(times[i])) < 0.01 &&
                       (std::lround(d) == static_cast<long>(step) ||
                        std::lround(d) == static_cast<long>(step) + 1);
                if (i >= 3)
                    fits = fits && std::lround(times[i] - times[i - 3]) == std::lround(3 * step);
            } else if (std::string(format) == "mp4") {
                fits = steps >= 1 && std::fabs(d - steps * step) < 0.02;
            }
            single += steps == 1 ? 1 : 0;
            if (!fits && off++ == 0)
                ADD_FAILURE() << "picture " << i << " at " << times[i] << " ms, after "
                              << times[i - 1];
        }
        EXPECT_EQ(off, 0);
        EXPECT_GE(single, static_cast<int>(times.size() * 9 / 10)) << "pictures a step apart";
        EXPECT_EQ(mediaprobe::decodeErrors(file).left(300).toStdString(), "");
    }
}

TEST_F(CaptureEndToEnd, RecordingsKeepTheCameraClockAt30) {
    REQUIRE_FFMPEG();
    start({"--fps", "30", "--time-trailer-ms"});
    expectCameraClockInFiles(*this, 30, true);
}

TEST_F(CaptureEndToEnd, RecordingsKeepTheCameraClockAt60) {
    REQUIRE_FFMPEG();
    start({"--fps", "60", "--time-trailer-ms"});
    expectCameraClockInFiles(*this, 60, true);
}

TEST_F(CaptureEndToEnd, RecordingsWithoutTrailerKeepTheRateAt30) {
    REQUIRE_FFMPEG();
    start({"--fps", "30"});
    expectCameraClockInFiles(*this, 30, false);
}

TEST_F(CaptureEndToEnd, RecordingsWithoutTrailerKeepTheRateAt60) {
    REQUIRE_FFMPEG();
    start({"--fps", "60"});
    expectCameraClockInFiles(*this, 60, false);
}

TEST_F(CaptureEndToEnd, RecordingGoesOnIntoANewFileAfterACamsimRestart) {
    REQUIRE_FFMPEG();
    start({}, 0);
    control->startRecording();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !control->recordingFile().isEmpty(); }, 5000));
    // From here every picture camsim sends belongs in the file (the first is
    // the key frame that began it).
    const long long firstBegan = camsim.framesSent();
    control->startLiveOutput(); // streaming at the same time, for the picture
    QTest::qWait(2500);
    app->window().grab().save(artifact("capture_recording_streaming_zh.png"));
    control->stopLiveOutput();
    // camsim stops sending, what it sent reaches the file, then the camera dies.
    ASSERT_TRUE(camsim.command("pause-media"));
    QTest::qWait(700);
    const long long firstEnded = camsim.framesSent();

    // The file is closed cleanly once the link is lost.
    camsim.kill();
    const QString firstFile = waitForFile(1, 25000);
    ASSERT_FALSE(firstFile.isEmpty()) << "the lost link did not close the file";
    QTest::qWait(300);
    app->window().grab().save(artifact("capture_saved_zh.png"));
    EXPECT_TRUE(control->isRecording());
    // A new camera: recording goes on into the next part.
    ASSERT_TRUE(camsim.start());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !control->recordingFile().isEmpty(); }, 30000))
        << "no new file after the camera came back";
    const long long secondBegan = camsim.framesSent();
    QTest::qWait(2500);
    ASSERT_TRUE(camsim.command("pause-media"));
    QTest::qWait(700);
    const long long secondEnded = camsim.framesSent();
    control->stopRecording();
    const QString secondFile = waitForFile(2);
    ASSERT_FALSE(secondFile.isEmpty());
    EXPECT_TRUE(secondFile.endsWith("_part2.mp4")) << secondFile.toStdString();
    ASSERT_GE(firstBegan, 0);
    ASSERT_GE(secondBegan, 0);
    // Each file holds what camsim sent while it was open: from the key frame
    // that began it (camsim's scene has one every 30 pictures from the start
    // of a session; the count was read within a second of it) to the last.
    auto fromKeyFrame = [](long long ended, long long began) {
        return ended - (began - 1) / 30 * 30;
    };
    const long long sent[2] = {fromKeyFrame(firstEnded, firstBegan),
                               fromKeyFrame(secondEnded, secondBegan)};
    const QString files[2] = {firstFile, secondFile};
    for (int i = 0; i < 2; ++i) {
        expectPlayable(files[i], 30);
        const mediaprobe::VideoProbe p = mediaprobe::probeVideo(files[i]);
        EXPECT_LE(p.frames, sent[i] + 1) << files[i].toStdString() << ": camsim sent " << sent[i];
        // As the camera comes back, the media link may start its session a
        // second time: camsim counts what it sent into the first one, and
        // the file may begin at the key frame after.
        EXPECT_GE(p.frames, sent[i] - (i == 0 ? 1 : 31))
            << files[i].toStdString() << ": camsim sent " << sent[i];
    }
}

TEST_F(CaptureEndToEnd, SnapshotIsThePictureCamsimSentWithOrWithoutBoxes) {
    start();
    auto whiteBelowTheNumber = [](const QImage& image) {
        int n = 0;
        for (int y = image.height() / 8; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QRgb c = image.pixel(x, y);
                n += qRed(c) > 235 && qGreen(c) > 235 && qBlue(c) > 235 ? 1 : 0;
            }
        return n;
    };
    QTest::mouseClick(bar->snapshotButton(), Qt::LeftButton);
    const QString plain = waitForFile(1);
    ASSERT_FALSE(plain.isEmpty());
    EXPECT_TRUE(plain.endsWith(".png"));
    EXPECT_TRUE(plain.startsWith(app->baseDir() + "/pictures/orunapp_"));
    const QImage image(plain);
    ASSERT_EQ(image.size(), QSize(1280, 720));
    const int w = image.width();
    const int h = image.height();
    using S = camsim::SyntheticScene;
    const struct {
        QPoint at;
        cv::Vec3b colour;
    } quadrants[] = {{{w / 4, h / 4 + h / 16}, S::kTopLeft},
                     {{3 * w / 4, h / 4 + h / 16}, S::kTopRight},
                     {{w / 4, 3 * h / 4 + h / 16}, S::kBottomLeft},
                     {{3 * w / 4, 3 * h / 4 + h / 16}, S::kBottomRight}};
    for (const auto& q : quadrants)
        EXPECT_TRUE(near(image.pixel(q.at), q.colour[0], q.colour[1], q.colour[2], 20))
            << std::hex << image.pixel(q.at);
    EXPECT_EQ(whiteBelowTheNumber(image), 0) << "no boxes asked for";

    writeConfigValue("Capture/snapshotBoxes", true);
    writeConfigValue("Capture/snapshotFormat", "jpg");
    QTest::mouseClick(bar->snapshotButton(), Qt::LeftButton);
    const QString boxed = waitForFile(2);
    ASSERT_FALSE(boxed.isEmpty());
    EXPECT_TRUE(boxed.endsWith(".jpg"));
    const QImage withBoxes(boxed);
    EXPECT_EQ(withBoxes.size(), QSize(1280, 720));
    EXPECT_GT(whiteBelowTheNumber(withBoxes), 300) << "the subject's box";
}

TEST_F(CaptureEndToEnd, KeysRAndSRecordAndTakeASnapshotAsTheButtonsDo) {
    REQUIRE_FFMPEG();
    start();
    OrunAppUI& window = app->window();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QTest::keyClick(&window, Qt::Key_R);
    ASSERT_TRUE(control->isRecording());
    EXPECT_TRUE(bar->recordButton()->toolTip().endsWith("(R)"))
        << bar->recordButton()->toolTip().toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !control->recordingFile().isEmpty(); }, 5000));
    QTest::qWait(1500);
    QTest::keyClick(&window, Qt::Key_R);
    EXPECT_FALSE(control->isRecording());
    const QString recording = waitForFile(1);
    ASSERT_FALSE(recording.isEmpty());
    EXPECT_TRUE(recording.startsWith(app->baseDir() + "/videos/orunapp_"))
        << recording.toStdString();
    expectPlayable(recording, 30);

    QTest::keyClick(&window, Qt::Key_S);
    const QString snapshot = waitForFile(2);
    ASSERT_FALSE(snapshot.isEmpty());
    EXPECT_TRUE(snapshot.startsWith(app->baseDir() + "/pictures/orunapp_"))
        << snapshot.toStdString();
    EXPECT_TRUE(snapshot.endsWith(".png"));
    EXPECT_EQ(QImage(snapshot).size(), QSize(1280, 720));
}

TEST_F(CaptureEndToEnd, LiveOutputOverSrtAndUdpGivesDecodablePictures) {
    REQUIRE_FFMPEG();
    start();
    // SRT: a listener that ffprobe (or OBS) connects to.
    const QString srtAddress = QString("127.0.0.1:%1").arg(freePort(false));
    writeConfigValue("Capture/liveKind", "srt");
    writeConfigValue("Capture/liveSrt", srtAddress);
    control->startRecording();
    QTest::mouseClick(bar->liveButton(), Qt::LeftButton);
    ASSERT_TRUE(control->isLiveOutputOn());
    EXPECT_TRUE(bar->liveButton()->toolTip().contains("srt://" + srtAddress))
        << bar->liveButton()->toolTip().toStdString();
    QTest::qWait(1500);
    app->window().grab().save(artifact("capture_recording_streaming_en.png"));
    mediaprobe::VideoProbe p = mediaprobe::probeVideo("srt://" + srtAddress, liveInput(60), 30000);
    ASSERT_TRUE(p.ok) << p.error.toStdString();
    EXPECT_EQ(p.codec, "h264");
    EXPECT_EQ(p.width, 1280);
    EXPECT_EQ(p.frames, 60);
    // The player went away; a second one is served as well.
    p = mediaprobe::probeVideo("srt://" + srtAddress, liveInput(30), 30000);
    EXPECT_EQ(p.frames, 30) << p.error.toStdString();
    QTest::mouseClick(bar->liveButton(), Qt::LeftButton);
    EXPECT_FALSE(control->isLiveOutputOn());

    // MPEG-TS over UDP to an address; the player listens there first.
    const QString udpAddress = QString("127.0.0.1:%1").arg(freePort(false));
    writeConfigValue("Capture/liveKind", "udp");
    writeConfigValue("Capture/liveUdp", udpAddress);
    QTimer::singleShot(500, control, &CaptureControl::startLiveOutput);
    p = mediaprobe::probeVideo("udp://" + udpAddress, liveInput(60), 30000);
    ASSERT_TRUE(p.ok) << p.error.toStdString();
    EXPECT_EQ(p.codec, "h264");
    EXPECT_EQ(p.frames, 60);
    control->stopLiveOutput();
    control->stopRecording();
    // The recording went on undisturbed meanwhile.
    const QString file = waitForFile(1);
    ASSERT_FALSE(file.isEmpty());
    expectPlayable(file, 60);
}

TEST_F(CaptureEndToEnd, LiveOutputPushedToAnRtmpServer) {
    REQUIRE_FFMPEG();
    const QString module = "/usr/lib/nginx/modules/ngx_rtmp_module.so";
    if (!mediaprobe::haveTool("nginx") && !QFileInfo::exists("/usr/sbin/nginx"))
        GTEST_SKIP() << "nginx not installed (Debian packages nginx, libnginx-mod-rtmp)";
    if (!QFileInfo::exists(module))
        GTEST_SKIP() << "nginx's RTMP module not installed (Debian package libnginx-mod-rtmp)";
    // A local RTMP server of the test's own, in the foreground.
    QTemporaryDir serverDir;
    const quint16 port = freePort(true);
    QFile conf(serverDir.path() + "/nginx.conf");
    ASSERT_TRUE(conf.open(QIODevice::WriteOnly));
    conf.write(QString("daemon off;\nmaster_process off;\nworker_processes 1;\n"
                       "pid %1/nginx.pid;\nerror_log %1/error.log info;\n"
                       "load_module %2;\nevents { worker_connections 64; }\n"
                       "rtmp { server { listen 127.0.0.1:%3; application live { live on; "
                       "record off; } } }\n")
                   .arg(serverDir.path(), module)
                   .arg(port)
                   .toUtf8());
    conf.close();
    QProcess nginx;
    nginx.setProcessChannelMode(QProcess::ForwardedChannels);
    const QString program =
        mediaprobe::haveTool("nginx") ? QString("nginx") : QString("/usr/sbin/nginx");
    nginx.start(program, {"-p", serverDir.path(), "-c", conf.fileName(), "-e",
                          serverDir.path() + "/error.log"});
    ASSERT_TRUE(nginx.waitForStarted(5000));
    const bool listening = QTest::qWaitFor(
        [&] {
            QTcpSocket probe;
            probe.connectToHost(QHostAddress(QHostAddress::LocalHost), port);
            return probe.waitForConnected(200);
        },
        10000);
    ASSERT_TRUE(listening) << "nginx did not listen";

    start();
    const QString url = QString("rtmp://127.0.0.1:%1/live/orunapp").arg(port);
    writeConfigValue("Capture/liveKind", "rtmp");
    writeConfigValue("Capture/liveRtmp", url);
    QTest::mouseClick(bar->liveButton(), Qt::LeftButton);
    // The stream key ("orunapp") is hidden.
    EXPECT_TRUE(bar->liveButton()->toolTip().contains(
        QString("rtmp://127.0.0.1:%1/live/\u2022\u2022\u2022\u2022").arg(port)))
        << bar->liveButton()->toolTip().toStdString();
    EXPECT_FALSE(bar->liveButton()->toolTip().contains("orunapp"));
    QTest::qWait(1500);
    const mediaprobe::VideoProbe p = mediaprobe::probeVideo(url, liveInput(60), 30000);
    EXPECT_TRUE(p.ok) << p.error.toStdString();
    EXPECT_EQ(p.codec, "h264");
    EXPECT_EQ(p.width, 1280);
    EXPECT_EQ(p.frames, 60);
    control->stopLiveOutput();
    EXPECT_EQ(bannerText().toStdString(), "") << "no problem to tell";

    nginx.terminate();
    if (!nginx.waitForFinished(5000)) {
        nginx.kill();
        nginx.waitForFinished(3000);
    }
}

TEST_F(CaptureEndToEnd, BadFolderAndBadUrlAreToldAndThePictureGoesOn) {
    LogLines log;
    start();
    // A file where the recording folder should be.
    QFile blocker(app->baseDir() + "/not-a-folder");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    writeConfigValue("Capture/recordFolder", blocker.fileName());
    QTest::mouseClick(bar->recordButton(), Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !control->isRecording(); }, 5000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return bannerText().contains("not-a-folder"); }, 3000))
        << bannerText().toStdString();
    EXPECT_TRUE(bannerText().contains("Recording could not be written"))
        << bannerText().toStdString();
    app->window().grab().save(artifact("capture_bad_folder_en.png"));
    EXPECT_TRUE(app->waitForFrames(10, 5000)) << "the picture stopped";

    // An output URL that does not open.
    writeConfigValue("Capture/liveKind", "rtmp");
    writeConfigValue("Capture/liveRtmp", "rtmp://127.0.0.1:1/live/nobody");
    QTest::mouseClick(bar->liveButton(), Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitFor([&] { return log.contains("did not open"); }, 8000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return bannerText().contains("rtmp://127.0.0.1:1"); }, 3000))
        << bannerText().toStdString();
    EXPECT_FALSE(bannerText().contains("nobody")) << "the stream key stays hidden";
    EXPECT_FALSE(log.contains("nobody")) << "the stream key stays out of the log";
    EXPECT_TRUE(app->waitForFrames(10, 5000)) << "the picture stopped";
    QTest::mouseClick(bar->liveButton(), Qt::LeftButton);
    EXPECT_FALSE(control->isLiveOutputOn());
}

// A recording folder on a read-only file system is refused at the click; a
// disk that fills up while recording ends the recording with its reason.
// Either way the banner says so, the picture goes on, and what the full disk
// took plays.
TEST_F(CaptureEndToEnd, AReadOnlyFolderAndAFullDiskAreToldAndThePictureGoesOn) {
    REQUIRE_SCRATCH_DISKS();
    REQUIRE_FFMPEG();
    start();
    const QString readOnly = scratchdisks::readOnlyFolder() + "/videos";
    writeConfigValue("Capture/recordFolder", readOnly);
    QTest::mouseClick(bar->recordButton(), Qt::LeftButton);
    EXPECT_FALSE(control->isRecording());
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return bannerText().contains("read-only file system"); }, 3000))
        << bannerText().toStdString();
    EXPECT_TRUE(bannerText().contains(readOnly)) << bannerText().toStdString();
    EXPECT_TRUE(app->waitForFrames(10, 5000)) << "the picture stopped";

    const QString small = scratchdisks::smallDiskFolder() + "/videos";
    ASSERT_TRUE(QDir().mkpath(small));
    ASSERT_TRUE(scratchdisks::fillUpTo(small, 400 * 1024));
    writeConfigValue("Capture/recordFolder", small);
    QTest::mouseClick(bar->recordButton(), Qt::LeftButton);
    EXPECT_TRUE(control->isRecording());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !control->isRecording(); }, 30000))
        << "the disk never filled up";
    EXPECT_TRUE(QTest::qWaitFor([&] { return bannerText().contains("the disk is full"); }, 3000))
        << bannerText().toStdString();
    app->window().grab().save(artifact("capture_full_disk_en.png"));
    EXPECT_TRUE(app->waitForFrames(10, 5000)) << "the picture stopped";
    const QStringList files = QDir(small).entryList({"*.mp4", "*.mkv"}, QDir::Files);
    ASSERT_EQ(files.size(), 1) << files.join(",").toStdString();
    expectPlayable(small + "/" + files[0], 1);
}

// The program itself, started with --record FILE and --live srt://...: from
// the start it records into that file (Matroska, for its name) and serves
// the live output to a player, and writes no configuration anywhere.
TEST(CommandLineCaptureEndToEnd, RecordIntoAFileAndLiveOverSrtFromTheStart) {
    REQUIRE_FFMPEG();
    CamsimProcess camsim;
    ASSERT_TRUE(camsim.start());
    QTemporaryDir dir;
    const QString program = dir.path() + "/orunapp";
    ASSERT_TRUE(QFile::copy(QDir::currentPath() + "/orunapp", program));
    const QString file = dir.path() + "/takes/clip.mkv";
    const QString srt = QString("srt://127.0.0.1:%1").arg(freePort(false));
    QProcess client;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", dir.path() + "/home-config");
    client.setProcessEnvironment(env);
    client.setProcessChannelMode(QProcess::ForwardedChannels);
    client.start(program,
                 {"--camera", "127.0.0.1", "--software-decoding", "--record", file, "--live", srt});
    ASSERT_TRUE(client.waitForStarted(5000));

    const mediaprobe::VideoProbe live = mediaprobe::probeVideo(srt, liveInput(30), 30000);
    EXPECT_TRUE(live.ok) << live.error.toStdString();
    EXPECT_EQ(live.codec, "h264");
    EXPECT_EQ(live.frames, 30);
    EXPECT_TRUE(QTest::qWaitFor([&] { return QFileInfo(file).size() > 0; }, 10000))
        << "nothing recorded into " << file.toStdString();
    QTest::qWait(2000);
    EXPECT_EQ(client.state(), QProcess::Running);
    client.terminate();
    if (!client.waitForFinished(5000)) {
        client.kill();
        client.waitForFinished(3000);
    }

    // Ended without warning, the file still plays up to its last second.
    const mediaprobe::VideoProbe recorded = mediaprobe::probeVideo(file);
    ASSERT_TRUE(recorded.ok) << recorded.error.toStdString();
    EXPECT_EQ(recorded.codec, "h264");
    EXPECT_GE(recorded.frames, 30);
    const mediaprobe::RunResult format =
        mediaprobe::run("ffprobe", {"-v", "error", "-show_entries", "format=format_name", "-of",
                                    "default=noprint_wrappers=1:nokey=1", file});
    EXPECT_TRUE(format.out.startsWith("matroska")) << format.out.toStdString();
    EXPECT_EQ(QDir(dir.path() + "/takes").entryList(QDir::Files), QStringList{"clip.mkv"});
    EXPECT_FALSE(QFileInfo::exists(dir.path() + "/config"));
    EXPECT_FALSE(QFileInfo::exists(dir.path() + "/home-config"));
}

// The program itself killed (SIGKILL, as a crash or a pulled plug would end
// it) while it records: the file plays up to at most a second before the kill.
TEST(CommandLineCaptureEndToEnd, KilledWhileRecordingTheFilePlaysToWithinASecondOfTheKill) {
    REQUIRE_FFMPEG();
    CamsimProcess camsim;
    ASSERT_TRUE(camsim.start({"--time-trailer-ms"}));
    QTemporaryDir dir;
    const QString file = dir.path() + "/clip.mp4";
    QProcess client;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", dir.path() + "/home-config");
    client.setProcessEnvironment(env);
    client.setProcessChannelMode(QProcess::ForwardedChannels);
    client.start(QDir::currentPath() + "/orunapp",
                 {"--camera", "127.0.0.1", "--software-decoding", "--record", file});
    ASSERT_TRUE(client.waitForStarted(5000));
    // The file is made at the first key frame it holds.
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFileInfo(file).size() > 0; }, 20000))
        << "nothing recorded into " << file.toStdString();
    QElapsedTimer recording;
    recording.start();
    QTest::qWait(4000);
    ::kill(static_cast<pid_t>(client.processId()), SIGKILL);
    const qint64 recordedMs = recording.elapsed();
    client.waitForFinished(5000);

    const std::vector<double> times = mediaprobe::packetTimesMs(file);
    ASSERT_FALSE(times.empty()) << "the file does not play";
    // A second at most is lost with the fragment being written; the file's
    // first picture came a moment before its size was seen.
    EXPECT_GE(times.back(), static_cast<double>(recordedMs) - 1000.0 - 200.0)
        << "recorded " << recordedMs << " ms";
    const mediaprobe::RunResult decoded = mediaprobe::run(
        "ffmpeg", {"-hide_banner", "-nostdin", "-v", "error", "-i", file, "-f", "null", "-"});
    EXPECT_EQ(decoded.exitCode, 0) << decoded.err.toStdString();
}

// The program asked to end by the system while it records (a logout or
// `kill` sends SIGTERM, Ctrl+C in a terminal SIGINT): it closes as by its
// close button, the file finished with every picture the recorder took, and
// exits with status 0.
TEST(CommandLineCaptureEndToEnd, SigtermOrSigintWhileRecordingFinishesTheFileAndExitsCleanly) {
    REQUIRE_FFMPEG();
    CamsimProcess camsim;
    ASSERT_TRUE(camsim.start({"--time-trailer-ms"}));
    QTemporaryDir dir;
    struct Case {
        const char* name;
        int signal;
    };
    for (const Case& c : {Case{"clip.mkv", SIGTERM}, Case{"clip.mp4", SIGINT}}) {
        SCOPED_TRACE(c.name);
        const QString file = dir.path() + "/" + c.name;
        QProcess client;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", dir.path() + "/home-config");
        client.setProcessEnvironment(env);
        client.setProcessChannelMode(QProcess::MergedChannels);
        client.start(QDir::currentPath() + "/orunapp",
                     {"--camera", "127.0.0.1", "--software-decoding", "--record", file});
        ASSERT_TRUE(client.waitForStarted(5000));
        ASSERT_TRUE(QTest::qWaitFor([&] { return QFileInfo(file).size() > 0; }, 20000))
            << "nothing recorded into " << file.toStdString();
        QTest::qWait(2500);
        QElapsedTimer stopping;
        stopping.start();
        ::kill(static_cast<pid_t>(client.processId()), c.signal);
        ASSERT_TRUE(client.waitForFinished(15000)) << "still running after the signal";
        std::printf("%s: ended %lld ms after the signal\n", c.name,
                    static_cast<long long>(stopping.elapsed()));
        EXPECT_EQ(client.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(client.exitCode(), 0);

        // The log names what the file holds, and the file holds it all.
        const QString output = QString::fromUtf8(client.readAll());
        EXPECT_TRUE(
            output.contains(c.signal == SIGTERM ? "Stopping on SIGTERM" : "Stopping on SIGINT"));
        const QRegularExpressionMatch complete =
            QRegularExpression(QStringLiteral("Recording complete: \\S+ (\\d+) pictures"))
                .match(output);
        ASSERT_TRUE(complete.hasMatch()) << output.toStdString();
        const int taken = complete.captured(1).toInt();
        const std::vector<double> times = mediaprobe::packetTimesMs(file);
        EXPECT_GE(static_cast<int>(times.size()), taken - 1) << "the recorder took " << taken;
        EXPECT_LE(static_cast<int>(times.size()), taken);
        EXPECT_GT(taken, 30);
        const mediaprobe::RunResult decoded = mediaprobe::run(
            "ffmpeg", {"-hide_banner", "-nostdin", "-v", "error", "-i", file, "-f", "null", "-"});
        EXPECT_EQ(decoded.exitCode, 0);
        EXPECT_EQ(decoded.err.toStdString(), "");
    }
}
