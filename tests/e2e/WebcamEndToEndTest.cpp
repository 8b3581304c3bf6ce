// The program as a camera for other programs, end to end: camsim's pictures
// through the program's video path into its PipeWire node, read by
// GStreamer's pipewiresrc in a PipeWire session of the test's own.
#include "CamsimProcess.h"
#include "E2eWindow.h"

#include "app/CaptureControl.h"
#include "app/Configuration.h"
#include "tests/support/LogLines.h"
#include "tests/support/PipeWireSession.h"
#include "tools/camsim/video/SyntheticVideoSource.h"
#include "ui/CaptureBar.h"
#include "ui/ErrorInfoDlg.h"
#include "video/webcam/VirtualCamera.h"

#include <QDir>
#include <QFile>
#include <QToolButton>
#include <QtTest/QTest>

#include <opencv2/imgproc.hpp>

#include <gtest/gtest.h>

#include <mutex>
#include <vector>

namespace {

// camsim's four quadrants in an R, G, B picture, as the snapshot test looks
// at them; empty when they match, else what was found where.
std::string quadrantsDiffer(const cv::Mat& rgb, int tolerance) {
    using S = camsim::SyntheticScene;
    const int w = rgb.cols;
    const int h = rgb.rows;
    const struct {
        cv::Point at;
        cv::Vec3b colour;
    } quadrants[] = {{{w / 4, h / 4 + h / 16}, S::kTopLeft},
                     {{3 * w / 4, h / 4 + h / 16}, S::kTopRight},
                     {{w / 4, 3 * h / 4 + h / 16}, S::kBottomLeft},
                     {{3 * w / 4, 3 * h / 4 + h / 16}, S::kBottomRight}};
    std::string problems;
    for (const auto& q : quadrants) {
        const cv::Vec3b c = rgb.at<cv::Vec3b>(q.at);
        for (int i = 0; i < 3; ++i)
            if (std::abs(c[i] - q.colour[i]) > tolerance) {
                problems += "at " + std::to_string(q.at.x) + "," + std::to_string(q.at.y) + ": " +
                            std::to_string(c[0]) + " " + std::to_string(c[1]) + " " +
                            std::to_string(c[2]) + "; ";
                break;
            }
    }
    return problems;
}

// One picture of a consumer's file as R, G, B.
cv::Mat frameAsRgb(const QByteArray& bytes, int index, const QString& format, int w, int h) {
    const size_t size =
        format == "I420" ? static_cast<size_t>(w) * h * 3 / 2 : static_cast<size_t>(w) * h * 4;
    if (static_cast<size_t>(bytes.size()) < (index + 1) * size)
        return cv::Mat();
    uchar* data = reinterpret_cast<uchar*>(const_cast<char*>(bytes.data())) + index * size;
    cv::Mat rgb;
    if (format == "I420")
        cv::cvtColor(cv::Mat(h * 3 / 2, w, CV_8UC1, data), rgb, cv::COLOR_YUV2RGB_I420);
    else
        cv::cvtColor(cv::Mat(h, w, CV_8UC4, data), rgb, cv::COLOR_BGRA2RGB);
    return rgb;
}

class WebcamEndToEnd : public ::testing::Test {
public:
    void TearDown() override {
        app.reset();
        camsim.stop();
        session.reset();
    }
    // The test's PipeWire session; empty when it runs, else why not.
    QString startSession() {
        session = std::make_unique<PipeWireSession>();
        return session->start();
    }
    void start(int language = 1) {
        ASSERT_TRUE(camsim.start());
        app = std::make_unique<E2eWindow>(language);
        writeConfigValue("Capture/recordFolder", app->baseDir() + "/videos");
        ASSERT_TRUE(app->waitForFrames(5, 20000)) << "no pictures";
        bar = app->window().captureBar();
        ASSERT_NE(bar, nullptr);
        control = CaptureControl::instance();
        // The system's camera, kept in sight of the test.
        control->setWebcamFactory([this](const WebcamSettings& settings, CaptureReport report) {
            camera = makeVirtualCamera(settings, std::move(report));
            return camera;
        });
    }
    QString bannerText() const {
        return bar->banner()->isVisible() ? bar->banner()->text() : QString();
    }
    // Reads 60 pictures in `format`; checks their size and colours, and that
    // they are the pictures camsim sent meanwhile.
    void readSixty(int node, const QString& format) {
        const QString file = artifact("webcam_" + format + ".raw");
        PipeWireConsumer consumer;
        ASSERT_TRUE(consumer.start(node, format, 60, file));
        const qint64 frameSize = format == "I420" ? 1280 * 720 * 3 / 2 : 1280 * 720 * 4;
        ASSERT_TRUE(QTest::qWaitFor([&] { return consumer.bytes() >= frameSize; }, 10000))
            << "no picture reached the consumer: " << consumer.output().toStdString();
        const long long first = camsim.framesSent();
        ASSERT_TRUE(consumer.waitForFinished(15000)) << consumer.output().toStdString();
        const long long last = camsim.framesSent();
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        f.close();
        QFile::remove(file);
        ASSERT_EQ(bytes.size(), 60 * frameSize)
            << "60 pictures of 1280x720 " << format.toStdString();
        for (int i : {0, 30, 59}) {
            const cv::Mat rgb = frameAsRgb(bytes, i, format, 1280, 720);
            ASSERT_FALSE(rgb.empty());
            EXPECT_EQ(quadrantsDiffer(rgb, 20), "") << format.toStdString() << " picture " << i;
        }
        // After the first, 59 pictures came while camsim sent last - first.
        const long long sent = last - first;
        EXPECT_GE(59 * 10, sent * 9) << format.toStdString() << ": camsim sent " << sent;
    }

    std::unique_ptr<PipeWireSession> session;
    CamsimProcess camsim;
    std::unique_ptr<E2eWindow> app;
    CaptureBar* bar = nullptr;
    CaptureControl* control = nullptr;
    std::shared_ptr<VirtualCamera> camera;
};

#define START_SESSION()                                                                            \
    do {                                                                                           \
        const QString why = startSession();                                                        \
        if (!why.isEmpty())                                                                        \
            GTEST_SKIP() << "no PipeWire daemon can run on this machine, the webcam is not "       \
                            "tested: "                                                             \
                         << why.toStdString();                                                     \
    } while (0)

} // namespace

TEST_F(WebcamEndToEnd, AGStreamerConsumerReadsCamsimsPicturesInI420AndBGRx) {
    START_SESSION();
    start();
    QTest::mouseClick(bar->webcamButton(), Qt::LeftButton);
    ASSERT_TRUE(control->isWebcamOn());
    const int node = PipeWireSession::waitForNode("orunapp");
    ASSERT_GE(node, 0) << "no node called orunapp";
    const QJsonObject props = PipeWireSession::nodeProps("orunapp");
    EXPECT_EQ(props["media.class"].toString(), "Video/Source");
    EXPECT_EQ(props["media.role"].toString(), "Camera");
    EXPECT_EQ(props["node.description"].toString(), "orunapp camera");
    ASSERT_NE(camera, nullptr);
    EXPECT_EQ(camera->stats().sent, 0u) << "nothing is copied before a consumer reads";
    EXPECT_EQ(bar->webcamButton()->text(), "Webcam");

    readSixty(node, "I420");
    readSixty(node, "BGRx");
    EXPECT_TRUE(app->waitForFrames(10, 3000)) << "the window's video goes on";

    QTest::mouseClick(bar->webcamButton(), Qt::LeftButton);
    EXPECT_FALSE(control->isWebcamOn());
    EXPECT_TRUE(PipeWireSession::waitForNodeGone("orunapp")) << "the node stays after the stop";
}

TEST_F(WebcamEndToEnd, KeyWSwitchesTheWebcamAsTheButtonDoes) {
    START_SESSION();
    start(0);
    OrunAppUI& window = app->window();
    EXPECT_EQ(bar->webcamButton()->text(), QString::fromUtf8("摄像头"));
    EXPECT_TRUE(bar->webcamButton()->toolTip().contains("(W)"))
        << bar->webcamButton()->toolTip().toStdString();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QTest::keyClick(&window, Qt::Key_W);
    ASSERT_TRUE(control->isWebcamOn());
    ASSERT_GE(PipeWireSession::waitForNode("orunapp"), 0);
    window.grab().save(artifact("webcam_on_zh.png"));
    QTest::keyClick(&window, Qt::Key_W);
    EXPECT_FALSE(control->isWebcamOn());
    EXPECT_TRUE(PipeWireSession::waitForNodeGone("orunapp"));
}

TEST_F(WebcamEndToEnd, TheSettingStartsTheWebcamWithTheProgram) {
    START_SESSION();
    ASSERT_TRUE(camsim.start());
    app = std::make_unique<E2eWindow>(1, [] { writeConfigValue("Capture/webcamAtStart", true); });
    EXPECT_TRUE(CaptureControl::instance()->isWebcamOn());
    EXPECT_GE(PipeWireSession::waitForNode("orunapp"), 0);
    ASSERT_TRUE(app->waitForFrames(5, 20000));
    bar = app->window().captureBar();
    EXPECT_EQ(bar->webcamButton()->text(), "Webcam");
    EXPECT_TRUE(bar->webcamButton()->toolTip().startsWith("Offered as a webcam, waiting"))
        << bar->webcamButton()->toolTip().toStdString();
    app->window().grab().save(artifact("webcam_on_en.png"));
}

// No daemon: the click is told in the banner and the log, the window's video
// goes on, and once a daemon runs the next click offers the camera.
TEST_F(WebcamEndToEnd, NoDaemonIsToldAndTheVideoGoesOn) {
    LogLines log;
    session = std::make_unique<PipeWireSession>(); // a runtime folder, no daemon in it
    start();
    QTest::mouseClick(bar->webcamButton(), Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !control->isWebcamOn(); }, 5000));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return bannerText().contains("no PipeWire service is running"); }, 3000))
        << bannerText().toStdString();
    EXPECT_TRUE(log.contains("Webcam not offered: no PipeWire daemon"));
    app->window().grab().save(artifact("webcam_no_daemon_en.png"));
    EXPECT_TRUE(app->waitForFrames(10, 5000)) << "the picture stopped";

    const QString why = session->start();
    if (!why.isEmpty())
        GTEST_SKIP() << "no PipeWire daemon can run on this machine: " << why.toStdString();
    QTest::mouseClick(bar->webcamButton(), Qt::LeftButton);
    EXPECT_TRUE(control->isWebcamOn());
    EXPECT_GE(PipeWireSession::waitForNode("orunapp"), 0) << "started again once a daemon runs";
}

// The daemon dies while a consumer reads: banner and log, the video and the
// recording go on, and the webcam starts again on a new daemon.
TEST_F(WebcamEndToEnd, ADaemonKilledWhileStreamingIsToldAndTheWebcamStartsAgain) {
    LogLines log;
    START_SESSION();
    start();
    QTest::mouseClick(bar->recordButton(), Qt::LeftButton);
    ASSERT_TRUE(control->isRecording());
    QTest::mouseClick(bar->webcamButton(), Qt::LeftButton);
    const int node = PipeWireSession::waitForNode("orunapp");
    ASSERT_GE(node, 0);
    PipeWireConsumer consumer;
    ASSERT_TRUE(consumer.start(node, "I420", 100000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return control->isWebcamRead(); }, 10000));

    session->killDaemon();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !control->isWebcamOn(); }, 5000));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return bannerText().contains("the PipeWire service went away"); }, 3000))
        << bannerText().toStdString();
    EXPECT_TRUE(log.contains("Webcam stopped: the PipeWire daemon went away"));
    EXPECT_TRUE(app->waitForFrames(10, 5000)) << "the picture stopped";
    EXPECT_TRUE(control->isRecording()) << "the recording goes on";
    consumer.stop();

    START_SESSION();
    QTest::mouseClick(bar->webcamButton(), Qt::LeftButton);
    EXPECT_TRUE(control->isWebcamOn());
    const int again = PipeWireSession::waitForNode("orunapp");
    ASSERT_GE(again, 0) << "started again on the new daemon";
    PipeWireConsumer reader;
    const QString file = artifact("webcam_again.raw");
    ASSERT_TRUE(reader.start(again, "I420", 5, file));
    EXPECT_TRUE(reader.waitForFinished(15000)) << reader.output().toStdString();
    EXPECT_EQ(reader.bytes(), 5 * 1280 * 720 * 3 / 2);
    QFile::remove(file);
    QTest::mouseClick(bar->recordButton(), Qt::LeftButton);
}

// A consumer that stops reading (stopped with SIGSTOP) holds its buffers:
// the camera drops pictures rather than wait, and the window shows what
// camsim sends.
TEST_F(WebcamEndToEnd, AConsumerThatStopsReadingDoesNotSlowTheVideo) {
    START_SESSION();
    start();
    QTest::mouseClick(bar->webcamButton(), Qt::LeftButton);
    const int node = PipeWireSession::waitForNode("orunapp");
    ASSERT_GE(node, 0);
    PipeWireConsumer consumer;
    ASSERT_TRUE(consumer.start(node, "I420", 100000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return camera->stats().sent > 5; }, 10000));
    ASSERT_TRUE(consumer.pause());
    const uint64_t droppedBefore = camera->stats().dropped;
    const int shownBefore = app->frameCount();
    const long long sentBefore = camsim.framesSent();
    QTest::qWait(3000);
    const int shown = app->frameCount() - shownBefore;
    const long long sent = camsim.framesSent() - sentBefore;
    EXPECT_GT(camera->stats().dropped, droppedBefore) << "the consumer held its buffers";
    EXPECT_GE(shown * 10, sent * 9) << "shown " << shown << " of " << sent;
    consumer.stop();
}
