// The program as a camera for other programs, end to end: camsim's pictures
// through the program's video path into its PipeWire node, read by
// GStreamer's pipewiresrc in a PipeWire session of the test's own.
#include "CamsimProcess.h"
#include "E2eWindow.h"

#include "tests/support/PipeWireSession.h"
#include "tools/camsim/video/SyntheticVideoSource.h"
#include "video/videoctl.h"
#include "video/webcam/VirtualCamera.h"

#include <QDir>
#include <QFile>
#include <QtTest/QTest>

#include <opencv2/imgproc.hpp>

#include <gtest/gtest.h>

#include <mutex>
#include <vector>

namespace {

QString artifact(const QString& name) {
    QString dir = qEnvironmentVariable("ORUN_TEST_ARTIFACTS");
    if (dir.isEmpty())
        dir = QDir::tempPath();
    QDir().mkpath(dir);
    return dir + "/" + name;
}

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
    void SetUp() override {
        const QString why = session.start();
        if (!why.isEmpty())
            GTEST_SKIP() << "no PipeWire session on this machine, the camera is not tested: "
                         << why.toStdString();
    }
    void TearDown() override {
        stopWebcam();
        app.reset();
        camsim.stop();
        session.stop();
    }
    void start() {
        ASSERT_TRUE(camsim.start());
        app = std::make_unique<E2eWindow>(1);
        ASSERT_TRUE(app->waitForFrames(5, 20000)) << "no pictures";
    }
    void startWebcam() {
        camera = makeVirtualCamera(WebcamSettings{}, [this](const CaptureEvent& e) {
            std::lock_guard<std::mutex> lock(eventsMutex);
            events.push_back(e);
        });
        ASSERT_NE(camera, nullptr);
        ASSERT_TRUE(camera->start());
        videoctl::instance()->addPictureSink(camera);
    }
    void stopWebcam() {
        if (!camera)
            return;
        videoctl::instance()->removePictureSink(camera);
        camera->stop();
        camera.reset();
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
    std::vector<CaptureEvent> eventsSoFar() {
        std::lock_guard<std::mutex> lock(eventsMutex);
        return events;
    }
    bool sawEvent(CaptureEvent::Kind kind) {
        for (const CaptureEvent& e : eventsSoFar())
            if (e.kind == kind)
                return true;
        return false;
    }

    PipeWireSession session;
    CamsimProcess camsim;
    std::unique_ptr<E2eWindow> app;
    std::shared_ptr<VirtualCamera> camera;
    std::mutex eventsMutex;
    std::vector<CaptureEvent> events;
};

} // namespace

TEST_F(WebcamEndToEnd, AGStreamerConsumerReadsCamsimsPicturesInI420AndBGRx) {
    start();
    startWebcam();
    int node = PipeWireSession::waitForNode("orunapp");
    ASSERT_GE(node, 0) << "no node called orunapp";
    const QJsonObject props = PipeWireSession::nodeProps("orunapp");
    EXPECT_EQ(props["media.class"].toString(), "Video/Source");
    EXPECT_EQ(props["media.role"].toString(), "Camera");
    EXPECT_EQ(props["node.description"].toString(), "orunapp camera");
    EXPECT_EQ(camera->stats().sent, 0u) << "nothing is copied before a consumer reads";

    readSixty(node, "I420");
    readSixty(node, "BGRx");
    EXPECT_TRUE(app->waitForFrames(10, 3000)) << "the window's video goes on";

    stopWebcam();
    EXPECT_TRUE(PipeWireSession::waitForNodeGone("orunapp")) << "the node stays after the stop";
}
