// The whole road of the video on loopback: the simulated camera encodes its
// scene and sends it over the media link, the real media client receives it,
// the decoder controller decodes it and publishes pictures.
#include "hub/OrunAppFace.h"
#include "kcpclient/KcpWrapper.h"
#include "tools/camsim/media/MediaCamera.h"
#include "tools/camsim/video/SyntheticVideoSource.h"
#include "video/videoctl.h"

#include "tests/support/Eventually.h"
#include "tests/support/PlanePictures.h"
#include "tests/support/RecordingSinks.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <chrono>
#include <map>
#include <mutex>
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
    videoctl* ctl = videoctl::instance();
    ctl->setLinkUp(true);
    ctl->slot_randerFinished(true);

    std::vector<cv::Mat> pictures;
    QObject receiver;
    QObject::connect(hub, &OrunAppFace::signal_showVideoPlanes, &receiver,
                     [&](PlanePicture p) { pictures.push_back(shownRgb(p)); });
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

// Small pictures of the synthetic scene, encoded once: a 60 fps stream with a
// key frame every second.
std::vector<camsim::VideoFrame> smallStream(int count, int fps) {
    camsim::H264Encoder encoder;
    EXPECT_TRUE(encoder.open(320, 180, fps));
    camsim::VideoSettings settings;
    settings.width = 320;
    settings.height = 180;
    std::vector<camsim::VideoFrame> frames;
    for (int i = 0; i < count; ++i) {
        camsim::SubjectBox box;
        camsim::VideoFrame f;
        f.accessUnit = encoder.encode(camsim::SyntheticScene::render(i, settings, &box));
        f.sideInfo = camsim::makeSideInfo(box);
        if (!f.accessUnit.empty())
            frames.push_back(std::move(f));
    }
    return frames;
}

TEST(MediaLink, EveryUnitOfA60FpsStreamReachesTheUnitSinksInOrder) {
    const int kFrames = 300; // five seconds
    camsim::MediaConfig config;
    config.timeTrailer = true;
    camsim::MediaCamera camera(config);
    camera.setVideoSource(std::make_shared<camsim::ListVideoSource>(smallStream(kFrames, 60), 60));
    // The camera's index of each frame, by the time in its trailer.
    std::mutex mutex;
    std::map<int64_t, uint64_t> indexOf;
    camera.setFrameSentObserver([&](uint64_t index, int64_t trailer) {
        std::lock_guard<std::mutex> lock(mutex);
        indexOf[trailer] = index;
    });
    ASSERT_TRUE(camera.start());

    OrunAppFace* hub = OrunAppFace::instance();
    hub->sCameraAddress.set(QStringLiteral("127.0.0.1"));
    hub->iDecodeMode = 1;
    videoctl* ctl = videoctl::instance();
    ctl->setLinkUp(true);
    auto sink = std::make_shared<RecordingUnitSink>();
    ctl->addUnitSink(sink);
    ASSERT_TRUE(ctl->start());
    // Counts, not times: the camera sends all its frames, then they arrive.
    ASSERT_TRUE(eventually([&] { return camera.counters().framesSent >= kFrames; }, 60000));
    const uint64_t sent = camera.counters().framesSent;
    std::vector<RecordingUnitSink::Seen> seen;
    eventually(
        [&] {
            seen = sink->units();
            if (seen.empty())
                return false;
            std::lock_guard<std::mutex> lock(mutex);
            auto last = indexOf.find(seen.back().cameraTime);
            return last != indexOf.end() && last->second + 1 == sent;
        },
        10000);
    ctl->stop();
    camera.stop();
    ctl->removeUnitSink(sink);

    ASSERT_FALSE(seen.empty());
    std::lock_guard<std::mutex> lock(mutex);
    std::vector<uint64_t> indices;
    for (const auto& unit : seen) {
        auto it = indexOf.find(unit.cameraTime);
        ASSERT_NE(it, indexOf.end()) << "a unit the camera never sent";
        indices.push_back(it->second);
    }
    // From the first key frame after the settling second to the camera's
    // last frame: every unit, once, in order.
    EXPECT_TRUE(seen.front().keyFrame);
    for (size_t i = 1; i < indices.size(); ++i)
        ASSERT_EQ(indices[i], indices[i - 1] + 1) << "after unit " << indices[i - 1];
    EXPECT_EQ(indices.back() + 1, sent);
    EXPECT_GE(indices.size(), static_cast<size_t>(kFrames / 2));
}

} // namespace
