// The PipeWire camera as a sink on its own, in a PipeWire session of the
// test's own, read by GStreamer's pipewiresrc: a new picture size is offered
// again and read at that size, and pictures handed in while nobody reads
// are never copied.
#include "tests/support/PipeWireSession.h"
#include "video/webcam/PipeWireCamera.h"

#include <QTimer>
#include <QtTest/QTest>

#include <gtest/gtest.h>

namespace {

VideoPicture picture(int w, int h) {
    VideoPicture p;
    p.rgb = cv::Mat(h, w, CV_8UC3, cv::Scalar(30, 160, 220));
    p.clean = p.rgb;
    p.width = w;
    p.height = h;
    return p;
}

// A PipeWire session of the test's own for each test.
class WebcamStream : public ::testing::Test {
protected:
    void SetUp() override {
        const QString why = session.start();
        if (!why.isEmpty())
            GTEST_SKIP() << "no PipeWire daemon can run on this machine, the webcam is not "
                            "tested: "
                         << why.toStdString();
    }
    PipeWireSession session;
};

} // namespace

TEST_F(WebcamStream, ANewPictureSizeIsOfferedAgainAndReadAtThatSize) {
    WebcamSettings settings;
    settings.nodeName = "orunapp-sizes";
    auto camera = std::make_shared<PipeWireCamera>(settings, CaptureReport());
    ASSERT_TRUE(camera->start());
    // The display thread's part, at 30 pictures a second.
    VideoPicture current = picture(640, 360);
    QTimer clock;
    QObject::connect(&clock, &QTimer::timeout, [&] { camera->onPicture(current); });
    clock.start(33);
    const int node = PipeWireSession::waitForNode("orunapp-sizes");
    ASSERT_GE(node, 0);
    QTest::qWait(300);
    EXPECT_EQ(camera->stats().sent, 0u) << "nothing is copied while nobody reads";
    EXPECT_GT(camera->stats().pictures, 0u);

    const QString file = QDir::temp().filePath("orun-webcam-sizes.raw");
    PipeWireConsumer consumer;
    const qint64 large = 640 * 360 * 4;
    const qint64 small = 320 * 180 * 4;
    ASSERT_TRUE(consumer.start(node, "BGRx", 40, file));
    ASSERT_TRUE(QTest::qWaitFor([&] { return consumer.bytes() >= 10 * large; }, 10000))
        << consumer.output().toStdString();
    current = picture(320, 180);
    EXPECT_TRUE(consumer.waitForFinished(15000)) << consumer.output().toStdString();
    clock.stop();
    const qint64 bytes = consumer.bytes();
    QFile::remove(file);
    // Some pictures of each size, 40 in all.
    bool split = false;
    for (int a = 10; a < 40; ++a)
        split = split || bytes == a * large + (40 - a) * small;
    EXPECT_TRUE(split) << bytes << " bytes";
    EXPECT_GE(camera->stats().formats, 2u);
    camera->stop();
    EXPECT_TRUE(PipeWireSession::waitForNodeGone("orunapp-sizes"));
}

TEST_F(WebcamStream, TheStreamsOwnRateIsOfferedOnceItIsKnown) {
    WebcamSettings settings;
    settings.nodeName = "orunapp-rate";
    auto camera = std::make_shared<PipeWireCamera>(settings, CaptureReport());
    ASSERT_TRUE(camera->start());
    // A camera at 60 pictures a second, by the units' arrival times.
    VideoPicture current = picture(320, 180);
    uint64_t unit = 0;
    QTimer clock;
    QObject::connect(&clock, &QTimer::timeout, [&] {
        current.sequence = ++unit;
        current.arrivalUs = static_cast<int64_t>(unit) * 16667;
        camera->onPicture(current);
    });
    clock.start(16);
    const int node = PipeWireSession::waitForNode("orunapp-rate");
    ASSERT_GE(node, 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return camera->stats().rate == 60; }, 5000))
        << "offered at " << camera->stats().rate;
    // A reader that takes 60 a second only.
    PipeWireConsumer consumer;
    ASSERT_TRUE(consumer.start(node, "BGRx,framerate=60/1", 20));
    EXPECT_TRUE(consumer.waitForFinished(15000)) << consumer.output().toStdString();
    EXPECT_GE(camera->stats().sent, 20u);
    clock.stop();
    camera->stop();
}
