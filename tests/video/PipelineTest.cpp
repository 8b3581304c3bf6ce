// The decoder controller end to end: a fake media client serves the simulated
// camera's H.264, pictures come out of the hub's signal_showVideoPlanes.
#include "hub/OrunAppFace.h"
#include "video/videoctl.h"

#include "tests/support/Eventually.h"
#include "tests/support/FakeMediaClient.h"
#include "tests/support/InjectedDecoders.h"
#include "tests/support/PlanePictures.h"
#include "tests/support/RecordingSinks.h"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/hwcontext.h>
}

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

class PipelineTest : public ::testing::Test {
protected:
    void SetUp() override {
        hub = OrunAppFace::instance();
        hub->sCameraAddress.set(QStringLiteral("127.0.0.1"));
        std::vector<camsim::VideoFrame> frames = encodedStream(60);
        ASSERT_EQ(frames.size(), 60u) << "no H.264 encoder";
        client = std::make_shared<FakeMediaClient>(std::move(frames));
        ctl = videoctl::instance();
        ctl->setMediaClient(client);
        ctl->setLinkUp(true);
        QObject::connect(hub, &OrunAppFace::signal_showVideoPlanes, &receiver,
                         [this](PlanePicture p) {
                             pictures.push_back({shownRgb(p), Clock::now()});
                         });
        ctl->slot_randerFinished(true);
    }
    void TearDown() override {
        ctl->stop();
        ctl->setDecoderFactory({});
        H264Decoder::forgetHardwareVerdicts();
        QObject::disconnect(hub, nullptr, &receiver, nullptr);
    }

    // Pumps events until `count` pictures arrived or the time is up.
    bool waitForPictures(size_t count, int ms) {
        const Clock::time_point end = Clock::now() + milliseconds(ms);
        while (pictures.size() < count && Clock::now() < end)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        return pictures.size() >= count;
    }
    void pump(int ms) {
        const Clock::time_point end = Clock::now() + milliseconds(ms);
        while (Clock::now() < end)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }

    struct Picture {
        cv::Mat mat;
        Clock::time_point at;
    };
    OrunAppFace* hub = nullptr;
    videoctl* ctl = nullptr;
    std::shared_ptr<FakeMediaClient> client;
    QObject receiver;
    std::vector<Picture> pictures;
};

int whitePixelsOnRow(const cv::Mat& m, int row) {
    int n = 0;
    for (int x = 0; x < m.cols; ++x)
        n += m.at<cv::Vec3b>(row, x) == cv::Vec3b(255, 255, 255) ? 1 : 0;
    return n;
}

void expectNear(const cv::Vec3b& got, const cv::Vec3b& want) {
    for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(got[c], want[c], 16) << "channel " << c;
}

TEST_F(PipelineTest, DefaultModeShowsPicturesWithBoxesAfterTheFirstSecond) {
    hub->iDecodeMode = 0; // hardware asked for; this machine falls back to software
    const Clock::time_point started = Clock::now();
    ASSERT_TRUE(ctl->start());
    EXPECT_TRUE(ctl->start()); // a second start keeps the running workers
    ASSERT_TRUE(waitForPictures(10, 8000));
    EXPECT_GE(pictures.front().at - started, milliseconds(900));
    ASSERT_EQ(client->addresses().size(), 1u);
    EXPECT_EQ(client->addresses()[0], "127.0.0.1");

    for (const Picture& p : pictures) {
        ASSERT_EQ(p.mat.type(), CV_8UC3);
        ASSERT_EQ(p.mat.rows, 720);
        ASSERT_GE(p.mat.cols, 1280);
    }
    const cv::Mat& last = pictures.back().mat;
    expectNear(last.at<cv::Vec3b>(150, 40), camsim::SyntheticScene::kTopLeft);
    expectNear(last.at<cv::Vec3b>(150, 1240), camsim::SyntheticScene::kTopRight);
    expectNear(last.at<cv::Vec3b>(690, 40), camsim::SyntheticScene::kBottomLeft);
    expectNear(last.at<cv::Vec3b>(690, 1240), camsim::SyntheticScene::kBottomRight);
    // The subject's box (top at 35 % of the height) is drawn in white.
    EXPECT_GT(whitePixelsOnRow(last, 252), 150);
    EXPECT_EQ(whitePixelsOnRow(last, 100), 0);

    const Clock::time_point stopping = Clock::now();
    ctl->stop();
    EXPECT_LT(Clock::now() - stopping, milliseconds(3000));
    EXPECT_EQ(client->m_stops.load(), 1);
}

TEST_F(PipelineTest, NothingShownUntilRenderedNorWhileDisconnected) {
    hub->iDecodeMode = 1;
    ctl->slot_randerFinished(false);
    ASSERT_TRUE(ctl->start());
    pump(2000);
    EXPECT_TRUE(pictures.empty());
    ctl->slot_randerFinished(true);
    ASSERT_TRUE(waitForPictures(3, 3000));

    ctl->setLinkUp(false);
    pump(300);
    pictures.clear();
    pump(700);
    EXPECT_TRUE(pictures.empty());

    // Back again: a key frame is awaited and the first second dropped.
    const Clock::time_point back = Clock::now();
    ctl->setLinkUp(true);
    ASSERT_TRUE(waitForPictures(1, 5000));
    EXPECT_GE(pictures.front().at - back, milliseconds(900));
}

TEST_F(PipelineTest, PauseAndReinitThenResume) {
    hub->iDecodeMode = 1;
    hub->showTarget = false;
    ASSERT_TRUE(ctl->start());
    ASSERT_TRUE(waitForPictures(3, 5000));
    EXPECT_EQ(whitePixelsOnRow(pictures.back().mat, 252), 0);

    ctl->pauseAndReinit();
    pump(200);
    pictures.clear();
    pump(800);
    EXPECT_TRUE(pictures.empty());

    ctl->resume();
    ASSERT_TRUE(waitForPictures(3, 6000));
    EXPECT_EQ(pictures.back().mat.rows, 720);

    // The hub's reset does both steps.
    ctl->slot_resetVideoKcpClient();
    pictures.clear();
    ASSERT_TRUE(waitForPictures(3, 6000));
    hub->showTarget = true;
}

TEST_F(PipelineTest, UnitAndPictureSinksGetEverythingInOrderAndMayLeaveWhileItRuns) {
    hub->iDecodeMode = 1;
    auto unitsA = std::make_shared<RecordingUnitSink>();
    auto unitsB = std::make_shared<RecordingUnitSink>();
    auto picturesA = std::make_shared<RecordingPictureSink>();
    auto picturesB = std::make_shared<RecordingPictureSink>(true, true);
    ctl->addUnitSink(unitsA);
    ctl->addUnitSink(unitsB);
    ctl->addPictureSink(picturesA);
    ctl->addPictureSink(picturesB);
    ASSERT_TRUE(ctl->start());
    ASSERT_TRUE(
        eventually([&] { return unitsA->count() >= 40 && picturesA->count() >= 20; }, 15000));
    // One joins in the middle of a group of pictures: it starts at the next key frame.
    auto late = std::make_shared<RecordingUnitSink>();
    ASSERT_TRUE(eventually([&] { return (client->nextUnit() - 1) % 30 > 5; }, 3000));
    ctl->addUnitSink(late);
    // Both leave while the video runs; the others lose nothing.
    ctl->removeUnitSink(unitsB);
    ctl->removePictureSink(picturesB);
    const size_t unitsBHad = unitsB->count();
    const size_t picturesBHad = picturesB->count();
    const size_t unitsAHad = unitsA->count();
    ASSERT_TRUE(eventually([&] { return unitsA->count() >= unitsAHad + 30; }, 15000));
    ctl->stop();
    ctl->removeUnitSink(unitsA);
    ctl->removeUnitSink(late);
    ctl->removePictureSink(picturesA);
    const auto lateUnits = late->units();
    ASSERT_FALSE(lateUnits.empty());
    EXPECT_TRUE(lateUnits.front().keyFrame) << "unit " << lateUnits.front().cameraTime;
    for (size_t i = 1; i < lateUnits.size(); ++i)
        EXPECT_EQ(lateUnits[i].sequence, lateUnits[i - 1].sequence + 1);

    EXPECT_EQ(unitsB->count(), unitsBHad);
    EXPECT_EQ(picturesB->count(), picturesBHad);
    const auto a = unitsA->units();
    const auto b = unitsB->units();
    ASSERT_FALSE(a.empty());
    EXPECT_TRUE(a.front().keyFrame) << "a stream starts at a key frame";
    for (size_t i = 1; i < a.size(); ++i) {
        // Every unit the camera sent after the start, none twice, none lost.
        EXPECT_EQ(a[i].sequence, a[i - 1].sequence + 1);
        EXPECT_EQ(a[i].cameraTime, a[i - 1].cameraTime + 1);
        EXPECT_EQ(a[i].keyFrame, (a[i].cameraTime - 1) % 30 == 0);
    }
    ASSERT_LE(b.size(), a.size());
    for (size_t i = 0; i < b.size(); ++i)
        EXPECT_EQ(b[i].sequence, a[i].sequence);

    // Pictures come in the units' order. They may begin before the unit
    // sinks' first key frame (the settle's group was decoded ahead), and
    // none comes from a unit the sinks did not get yet.
    const auto pa = picturesA->pictures();
    const auto pb = picturesB->pictures();
    ASSERT_FALSE(pa.empty());
    for (size_t i = 1; i < pa.size(); ++i)
        EXPECT_GT(pa[i].sequence, pa[i - 1].sequence);
    EXPECT_LE(pa.back().sequence, a.back().sequence);
    ASSERT_LE(pb.size(), pa.size());
    for (size_t i = 0; i < pb.size(); ++i) {
        EXPECT_EQ(pb[i].sequence, pa[i].sequence);
        EXPECT_EQ(pb[i].width, 1280);
        EXPECT_EQ(pb[i].height, 720);
    }
    // Boxes are shown; the sink that asked for it also got the clean picture.
    EXPECT_TRUE(pb.back().boxesDrawn);
    EXPECT_TRUE(pb.back().hasClean);
    EXPECT_FALSE(pa.back().hasClean);
    const VideoPicture last = picturesB->last();
    EXPECT_GT(whitePixelsOnRow(last.rgb, 252), 150);
    EXPECT_EQ(whitePixelsOnRow(last.clean, 252), 0);
    // And the decoder's own frame, without boxes (the widget takes it too).
    EXPECT_TRUE(pb.back().hasDecoded);
    ASSERT_NE(last.decoded, nullptr);
    EXPECT_EQ(last.decoded->width, 1280);
    EXPECT_EQ(last.decoded->height, 720);
    EXPECT_EQ(last.decoded->format, AV_PIX_FMT_YUV420P) << "software decoding";
    EXPECT_EQ(ctl->stats().decodeErrors, 0u);
}

TEST_F(PipelineTest, NoRgbPictureIsMadeUntilASinkAsksForOneAndItsBoxesMatchThePlanes) {
    hub->iDecodeMode = 1;
    auto planes = std::make_shared<RecordingPictureSink>(false, true, /*wantsRgb=*/false);
    ctl->addPictureSink(planes);
    ASSERT_TRUE(ctl->start());
    ASSERT_TRUE(eventually([&] { return planes->count() >= 10; }, 15000));
    const size_t planesAlone = planes->count();
    auto rgb = std::make_shared<RecordingPictureSink>();
    ctl->addPictureSink(rgb);
    ASSERT_TRUE(eventually([&] { return rgb->count() >= 5; }, 15000));
    ctl->removePictureSink(rgb);
    ctl->removePictureSink(planes);
    ctl->stop();

    const auto seen = planes->pictures();
    for (size_t i = 0; i < planesAlone; ++i) {
        EXPECT_FALSE(seen[i].hasRgb) << i;
        EXPECT_TRUE(seen[i].hasDecoded) << i;
        EXPECT_GT(seen[i].boxShapes, 0u) << "the boxes to draw over the planes";
    }
    const auto withRgb = rgb->pictures();
    for (const auto& p : withRgb) {
        EXPECT_TRUE(p.hasRgb);
        EXPECT_TRUE(p.boxesDrawn);
        EXPECT_EQ(p.width, 1280);
    }
    // The planes with their boxes filled in are the R, G, B picture itself.
    const VideoPicture last = rgb->last();
    ASSERT_NE(last.decoded, nullptr);
    cv::Mat fromPlanes = convertFrame(last.decoded.get(), kDecodeSoftware);
    fillBoxShapes(fromPlanes, last.boxes);
    ASSERT_EQ(fromPlanes.size(), last.rgb.size());
    EXPECT_EQ(cv::norm(fromPlanes, last.rgb, cv::NORM_INF), 0.0);
    EXPECT_GT(whitePixelsOnRow(last.rgb, 252), 150);
}

TEST_F(PipelineTest, ASoftwareScreenGetsEachPictureConvertedAsWell) {
    hub->iDecodeMode = 1;
    hub->softwareScreen = true;
    std::vector<PlanePicture> planes;
    QObject::connect(hub, &OrunAppFace::signal_showVideoPlanes, &receiver,
                     [&](PlanePicture p) { planes.push_back(p); });
    ASSERT_TRUE(ctl->start());
    ASSERT_TRUE(waitForPictures(10, 15000));
    ctl->stop();
    hub->softwareScreen = false;
    ASSERT_GE(planes.size(), 10u);
    for (const PlanePicture& p : planes) {
        ASSERT_EQ(p.rgba.type(), CV_8UC4);
        ASSERT_EQ(p.rgba.cols, p.width);
        ASSERT_EQ(p.rgba.rows, p.height);
    }
    // libswscale's conversion, against the one the R, G, B sinks get.
    const PlanePicture& last = planes.back();
    cv::Mat rgb = convertFrame(last.frame.get(), kDecodeSoftware);
    cv::Mat rgba;
    cv::cvtColor(rgb, rgba, cv::COLOR_RGB2RGBA);
    cv::Mat diff;
    cv::absdiff(rgba, last.rgba, diff);
    const cv::Scalar mean = cv::mean(diff);
    for (int ch = 0; ch < 3; ++ch)
        EXPECT_LT(mean[ch], 2.0) << ch;
}

// Key frames every two seconds: the first picture is not the key frame the
// settle held back, nor one after the next key frame, but the newest one when
// the second is over; the unit sinks still start at a key frame.
TEST_F(PipelineTest, TheFirstPictureAfterTheSettleIsTheNewestEvenBetweenKeyFrames) {
    hub->iDecodeMode = 1;
    client = std::make_shared<FakeMediaClient>(encodedStream(60, 2));
    ctl->setMediaClient(client);
    auto pictures = std::make_shared<RecordingPictureSink>();
    auto units = std::make_shared<RecordingUnitSink>();
    ctl->addPictureSink(pictures);
    ctl->addUnitSink(units);
    ASSERT_TRUE(ctl->start());
    ASSERT_TRUE(eventually([&] { return pictures->count() >= 3; }, 8000));
    ASSERT_TRUE(eventually([&] { return units->count() >= 1; }, 8000));
    ctl->stop();
    ctl->removePictureSink(pictures);
    ctl->removeUnitSink(units);

    // Units 1 and 61 are the key frames; the second is over about unit 31.
    const auto seen = pictures->pictures();
    ASSERT_GE(seen.size(), 3u);
    const int64_t firstShown = seen.front().cameraTime;
    EXPECT_GE(firstShown, 20) << "a picture from the settle was shown";
    EXPECT_LT(firstShown, 61) << "the first picture waited for the next key frame";
    EXPECT_TRUE(units->units().front().keyFrame);
    EXPECT_EQ(units->units().front().cameraTime, 61);
    EXPECT_EQ(ctl->stats().decodeErrors, 0u);

    // Started again, joined where the next key frame comes only after the
    // settle (unit 55): its picture is the first, and shown, whatever the
    // run before held back.
    std::vector<camsim::VideoFrame> joined = encodedStream(60, 2);
    ASSERT_EQ(joined.size(), 60u);
    std::rotate(joined.begin(), joined.begin() + 6, joined.end());
    client = std::make_shared<FakeMediaClient>(std::move(joined));
    ctl->setMediaClient(client);
    auto again = std::make_shared<RecordingPictureSink>();
    ctl->addPictureSink(again);
    ASSERT_TRUE(ctl->start());
    ASSERT_TRUE(eventually([&] { return again->count() >= 1; }, 8000));
    ctl->stop();
    ctl->removePictureSink(again);
    EXPECT_EQ(again->pictures().front().cameraTime, 55);
}

TEST_F(PipelineTest, NewMediaSessionWaitsForTheNextKeyFrame) {
    hub->iDecodeMode = 1;
    auto units = std::make_shared<RecordingUnitSink>();
    ctl->addUnitSink(units);
    ASSERT_TRUE(ctl->start());
    ASSERT_TRUE(eventually([&] { return units->count() >= 5; }, 15000));
    // Mid-way through a group of pictures, the media link starts over.
    ASSERT_TRUE(eventually([&] { return (client->nextUnit() - 1) % 30 > 5; }, 3000));
    client->startNewSession();
    const size_t before = units->count();
    ASSERT_TRUE(eventually([&] { return units->count() >= before + 20; }, 15000));
    ctl->stop();
    ctl->removeUnitSink(units);

    const auto seen = units->units();
    const auto breaks = units->breaks();
    ASSERT_EQ(breaks.size(), 2u) << "the new session, then the stop";
    EXPECT_EQ(breaks[0].reason, StreamBreak::NewSession);
    EXPECT_EQ(breaks[1].reason, StreamBreak::Stopped);
    const size_t first = breaks[0].before;
    ASSERT_LT(first, seen.size());
    // Nothing from the rest of the interrupted group reached a sink.
    EXPECT_TRUE(seen[first].keyFrame);
    EXPECT_EQ((seen[first].cameraTime - 1) % 30, 0);
    EXPECT_GT(seen[first].cameraTime, seen[first - 1].cameraTime + 1);
    EXPECT_EQ(ctl->stats().decodeErrors, 0u);
}

// A decoder that opens and then breaks down on the live stream is replaced at
// the next key frame, without a new media session, and pictures go on.
TEST_F(PipelineTest, ADecoderThatFailsOnTheStreamIsReplacedAtTheNextKeyFrame) {
    hub->iDecodeMode = 1;
    auto units = std::make_shared<RecordingUnitSink>();
    auto shown = std::make_shared<RecordingPictureSink>();
    ctl->addUnitSink(units);
    ctl->addPictureSink(shown);
    // It breaks down once pictures are shown: the first second's group (from
    // unit 1 to about 31) is decoded ahead of the settle's end.
    ctl->setDecoderFactory([] { return std::make_unique<BreakingDecoder>(45); });
    ASSERT_TRUE(ctl->start());
    ASSERT_TRUE(eventually([&] { return ctl->stats().decoderSwitches == 1; }, 10000));
    const size_t before = shown->count();
    ASSERT_TRUE(eventually([&] { return shown->count() >= before + 15; }, 10000));
    ctl->stop();
    ctl->removeUnitSink(units);
    ctl->removePictureSink(shown);

    const PipelineStats stats = ctl->stats();
    EXPECT_EQ(stats.decoderSwitches, 1u);
    EXPECT_STREQ(stats.decoder, "software");
    EXPECT_GE(stats.decodeErrors, static_cast<uint64_t>(DecoderHealth::kErrorsWithoutPicture));
    EXPECT_TRUE(units->breaks().empty() || units->breaks().front().reason == StreamBreak::Stopped)
        << "no new session, no pause";
    // The first picture after the longest gap (the broken decoder's; a
    // display that falls behind skips only a few) comes from a key frame.
    const auto pictures = shown->pictures();
    const auto seen = units->units();
    ASSERT_GE(pictures.size(), 9u);
    size_t gapEnd = 0;
    uint64_t longest = 0;
    for (size_t i = 1; i < pictures.size(); ++i) {
        const uint64_t gap = pictures[i].sequence - pictures[i - 1].sequence;
        if (gap > longest) {
            longest = gap;
            gapEnd = i;
        }
    }
    EXPECT_GT(longest, static_cast<uint64_t>(DecoderHealth::kErrorsWithoutPicture));
    bool keyFrame = false;
    for (const auto& u : seen)
        if (u.sequence == pictures[gapEnd].sequence)
            keyFrame = u.keyFrame;
    EXPECT_TRUE(keyFrame) << "picture " << pictures[gapEnd].sequence;
}

// The hub's reset reaches the controller on the graphical thread: the decoder
// is rebuilt on the decode thread, and the window goes on answering while a
// slow set-up (a hardware device that takes its time) runs.
TEST_F(PipelineTest, TheEventLoopTurnsWhileASlowDecoderSetUpRuns) {
    hub->iDecodeMode = 1;
    auto gate = std::make_shared<SetupGate>();
    ctl->setDecoderFactory([gate] { return std::make_unique<SlowSetupDecoder>(gate); });
    ASSERT_TRUE(ctl->start());
    ASSERT_TRUE(waitForPictures(3, 8000));
    const int setUps = gate->passed();

    gate->close();
    int ticksDuringSetUp = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (gate->waiting() > 0)
            ++ticksDuringSetUp;
    });
    timer.start(20);
    ctl->slot_resetVideoKcpClient();
    const Clock::time_point end = Clock::now() + milliseconds(8000);
    while (ticksDuringSetUp < 10 && Clock::now() < end)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_GE(ticksDuringSetUp, 10) << "the set-up held the event loop";
    // So do the resolution change's pause and the decoder setting's rebuild.
    ctl->pauseAndReinit();
    ctl->resume();
    ctl->rebuildDecoder(true);
    EXPECT_EQ(gate->waiting(), 1);

    gate->open();
    pictures.clear();
    ASSERT_TRUE(waitForPictures(3, 8000));
    EXPECT_GE(gate->passed(), setUps + 1);
    EXPECT_EQ(gate->passedOn(std::this_thread::get_id()), 0) << "set up on the graphical thread";
    EXPECT_EQ(ctl->stats().decodeErrors, 0u) << "the new decoder starts at a key frame";
}

// A decoder that gives its pictures three units late is no failing decoder:
// no errors counted, no replacement, every picture shown in order.
TEST_F(PipelineTest, ADecoderThatHoldsBackThreePicturesIsNotReplaced) {
    hub->iDecodeMode = 1;
    auto shown = std::make_shared<RecordingPictureSink>();
    ctl->addPictureSink(shown);
    ctl->setDecoderFactory([] { return std::make_unique<HoldingBackDecoder>(3); });
    ASSERT_TRUE(ctl->start());
    ASSERT_TRUE(eventually([&] { return ctl->stats().picturesDecoded >= 40; }, 15000));
    ctl->stop();
    ctl->removePictureSink(shown);
    const PipelineStats stats = ctl->stats();
    EXPECT_EQ(stats.decodeErrors, 0u);
    EXPECT_EQ(stats.decoderSwitches, 0u);
    EXPECT_EQ(stats.picturesDecoded + 3, stats.unitsDecoded);
    const auto seen = shown->pictures();
    ASSERT_FALSE(seen.empty());
    for (size_t i = 1; i < seen.size(); ++i)
        EXPECT_GT(seen[i].sequence, seen[i - 1].sequence);
}

// Hardware that failed is named, with why, in the statistics; a rebuild for
// a resolution change skips it, one after the link started over tries again.
TEST_F(PipelineTest, FailedHardwareIsNamedAndTriedAgainWhenTheLinkStartsOver) {
    if (platformHwDeviceTypes().empty())
        GTEST_SKIP() << "this FFmpeg has none of the platform's device types";
    hub->iDecodeMode = 0;
    MissingDevices missing;
    ctl->setDecoderFactory(
        [missing] { return std::make_unique<WrappedDecoder>(missing.devices()); });
    ASSERT_TRUE(ctl->start());
    ASSERT_TRUE(waitForPictures(3, 8000));
    const int tried = missing.attempts->load();
    ASSERT_GE(tried, 1);
    PipelineStats stats = ctl->stats();
    EXPECT_STREQ(stats.decoder, "software");
    for (int type : platformHwDeviceTypes())
        EXPECT_NE(
            stats.unusedHardware.find(av_hwdevice_get_type_name(static_cast<AVHWDeviceType>(type))),
            std::string::npos)
            << stats.unusedHardware;

    ctl->pauseAndReinit();
    ctl->resume();
    pictures.clear();
    ASSERT_TRUE(waitForPictures(3, 8000));
    EXPECT_EQ(missing.attempts->load(), tried) << "skipped";
    EXPECT_EQ(ctl->stats().unusedHardware, stats.unusedHardware);

    ctl->slot_resetVideoKcpClient();
    EXPECT_TRUE(eventually([&] { return missing.attempts->load() == 2 * tried; }, 8000));
}

} // namespace
