// Capture on the PC against the camsim program, driven through the window's
// capture buttons and checked by FFmpeg's own tools: a 20 s recording of a
// 1080p30 stream, recording across a camera restart, snapshots, the live
// output over SRT, UDP and RTMP, and what bad input does.
#include "CamsimProcess.h"
#include "E2eWindow.h"

#include "app/CaptureControl.h"
#include "app/Configuration.h"
#include "tests/support/MediaProbe.h"
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
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QToolButton>
#include <QUdpSocket>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <mutex>

namespace {

QString artifact(const QString& name) {
    QString dir = qEnvironmentVariable("ORUN_TEST_ARTIFACTS");
    if (dir.isEmpty())
        dir = QDir::tempPath();
    QDir().mkpath(dir);
    return dir + "/" + name;
}

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

// Debug-log lines of the program while a test runs.
class LogLines {
public:
    LogLines() {
        instance() = this;
        m_previous = qInstallMessageHandler(&LogLines::handle);
    }
    ~LogLines() {
        qInstallMessageHandler(m_previous);
        instance() = nullptr;
    }
    bool contains(const QString& part) const {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (const QString& l : m_lines)
            if (l.contains(part))
                return true;
        return false;
    }

private:
    static LogLines*& instance() {
        static LogLines* current = nullptr;
        return current;
    }
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& text) {
        if (LogLines* self = instance()) {
            {
                std::lock_guard<std::mutex> lock(self->m_mutex);
                self->m_lines << text;
            }
            if (self->m_previous)
                self->m_previous(type, context, text);
        }
    }
    mutable std::mutex m_mutex;
    QStringList m_lines;
    QtMessageHandler m_previous = nullptr;
};

// The window against camsim, with capture folders of its own.
class CaptureEndToEnd : public ::testing::Test {
protected:
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
    // camsim sends belongs in it.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !control->recordingFile().isEmpty(); }, 5000));
    const long long first = camsim.framesSent();
    QElapsedTimer wall;
    wall.start();
    ASSERT_GE(first, 0);
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
    // The first picture in the file is the one that began it (camsim's count
    // was read just after); the last is the last camsim sent.
    const long long sent = last - first + 1;
    std::printf("recorded %d pictures of %lld sent, %.3f s for %lld ms of wall time\n", p.frames,
                sent, p.duration, static_cast<long long>(wallMs));
    EXPECT_NEAR(p.frames, sent, 2) << "camsim sent " << sent;
    EXPECT_NEAR(p.duration * 1000.0, static_cast<double>(wallMs), wallMs * 0.03)
        << "duration " << p.duration << " s, wall " << wallMs << " ms";
    EXPECT_EQ(mediaprobe::decodeErrors(file).toStdString(), "");
}

TEST_F(CaptureEndToEnd, RecordingGoesOnIntoANewFileAfterACamsimRestart) {
    REQUIRE_FFMPEG();
    start({}, 0);
    control->startRecording();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !control->recordingFile().isEmpty(); }, 5000));
    control->startLiveOutput(); // streaming at the same time, for the picture
    QTest::qWait(2500);
    app->window().grab().save(artifact("capture_recording_streaming_zh.png"));
    control->stopLiveOutput();

    // The camera dies: the file is closed cleanly once the link is lost.
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
    QTest::qWait(2500);
    control->stopRecording();
    const QString secondFile = waitForFile(2);
    ASSERT_FALSE(secondFile.isEmpty());
    EXPECT_TRUE(secondFile.endsWith("_part2.mp4")) << secondFile.toStdString();
    expectPlayable(firstFile, 30);
    expectPlayable(secondFile, 30);
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
