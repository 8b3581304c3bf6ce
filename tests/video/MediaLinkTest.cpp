// The whole road of the video on loopback: the simulated camera encodes its
// scene and sends it over the media link, the real media client receives it,
// the decoder controller decodes it and publishes pictures.
#include "app/OrunAppFace.h"
#include "kcpclient/KcpWrapper.h"
#include "tools/camsim/media/MediaCamera.h"
#include "tools/camsim/video/SyntheticVideoSource.h"
#include "video/videoctl.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <chrono>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

TEST(MediaLink, SimulatedCameraPicturesReachTheHub) {
    camsim::MediaCamera camera;
    auto source = std::make_shared<camsim::SyntheticVideoSource>();
    camera.setVideoSource(source);
    ASSERT_TRUE(camera.start());

    OrunAppFace* hub = OrunAppFace::instance();
    hub->sCameraAddress.set(QStringLiteral("127.0.0.1"));
    hub->iDecodeMode = 0;
    std::atomic<bool> connected{true};
    videoctl* ctl = videoctl::instance();
    ctl->setConnectedFlag(&connected);
    ctl->slot_randerFinished(true);

    std::vector<cv::Mat> pictures;
    QObject receiver;
    QObject::connect(hub, &OrunAppFace::signal_showVideoFrame, &receiver,
                     [&](cv::Mat m) { pictures.push_back(m); });
    ASSERT_TRUE(ctl->start());
    const Clock::time_point end = Clock::now() + std::chrono::seconds(15);
    while (pictures.size() < 20 && Clock::now() < end)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    ctl->stop();
    camera.stop();

    ASSERT_GE(pictures.size(), 20u);
    const cv::Mat& last = pictures.back();
    EXPECT_EQ(last.rows, 720);
    EXPECT_GE(last.cols, 1280);
    const cv::Vec3b bottomRight = last.at<cv::Vec3b>(690, 1240);
    for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(bottomRight[c], camsim::SyntheticScene::kBottomRight[c], 16);
    // The camera's side information arrived with the units: the box is drawn.
    int white = 0;
    for (int x = 0; x < last.cols; ++x)
        white += last.at<cv::Vec3b>(252, x) == cv::Vec3b(255, 255, 255) ? 1 : 0;
    EXPECT_GT(white, 150);
    EXPECT_GE(camera.counters().sessionsStarted, 1u);
}

} // namespace
