// What the statistics over the video make of two readings of the counters.
#include "app/Statistics.h"

#include <gtest/gtest.h>

namespace {

StatsSample reading(int64_t atUs) {
    StatsSample s;
    s.atUs = atUs;
    s.cameraLinked = true;
    return s;
}

} // namespace

TEST(Statistics, RatesOverTheIntervalAndTotalsOfTheLaterReading) {
    StatsSample a = reading(10'000'000);
    a.pipeline.unitsReceived = 100;
    a.pipeline.bytesReceived = 1'000'000;
    a.pipeline.picturesDecoded = 95;
    a.pipeline.picturesShown = 90;
    a.pipeline.unitsDecoded = 100;
    a.pipeline.decodeMicros = 300'000;
    a.link.segments = 1000;
    a.link.missingSegments = 40;
    a.link.lateSegments = 38;
    a.link.duplicateSegments = 2;

    StatsSample b = a;
    b.atUs = a.atUs + 2'000'000; // two seconds later
    b.pipeline.unitsReceived += 60;
    b.pipeline.bytesReceived += 500'000;
    b.pipeline.picturesDecoded += 58;
    b.pipeline.picturesShown += 50;
    b.pipeline.unitsDecoded += 60;
    b.pipeline.decodeMicros += 240'000;
    b.pipeline.width = 1280;
    b.pipeline.height = 720;
    b.pipeline.decoder = "vaapi";
    b.pipeline.unusedHardware = "cuda (no device)";
    b.pipeline.unitsQueueFull = 3;
    b.pipeline.picturesBusy = 4;
    b.pipeline.picturesDropped = 1;
    b.pipeline.decodeErrors = 2;
    b.pipeline.lastPictureUs = b.atUs - 250'000;
    b.link.framesDropped = 5;
    // 100 segments due: 90 in order, 10 skipped (of which 8 came late).
    b.link.segments += 100;
    b.link.missingSegments += 10;
    b.link.lateSegments += 8;
    b.link.duplicateSegments += 2;
    b.probeRoundTripUs = 1500;

    const StatsReport r = describeStatistics(a, b);
    EXPECT_EQ(r.width, 1280);
    EXPECT_EQ(r.height, 720);
    EXPECT_DOUBLE_EQ(r.receivedFps, 30.0);
    EXPECT_DOUBLE_EQ(r.decodedFps, 29.0);
    EXPECT_DOUBLE_EQ(r.shownFps, 25.0);
    EXPECT_DOUBLE_EQ(r.bitRateKbps, 2000.0);
    EXPECT_DOUBLE_EQ(r.decodeMsPerPicture, 4.0);
    EXPECT_STREQ(r.decoder, "vaapi");
    EXPECT_EQ(r.unusedHardware, "cuda (no device)");
    EXPECT_EQ(r.lostSegments, 50u);
    EXPECT_EQ(r.resentSegments, 50u); // late and duplicate
    EXPECT_EQ(r.duplicateSegments, 4u);
    EXPECT_NEAR(r.lossPercent, 10.0, 1e-9);
    EXPECT_DOUBLE_EQ(r.roundTripMs, 1.5);
    EXPECT_EQ(r.droppedQueueFull, 8u);
    EXPECT_EQ(r.droppedRenderBusy, 5u);
    EXPECT_EQ(r.droppedDecodeError, 2u);
    EXPECT_DOUBLE_EQ(r.secondsSinceLastPicture, 0.25);
    EXPECT_EQ(r.linkState, MediaLinkState::Streaming);
}

TEST(Statistics, NothingYetAndTheStatesOfTheMediaLink) {
    // A single reading and no pictures: no rates, nothing decoded, no round trip.
    StatsSample s = reading(5'000'000);
    StatsReport r = describeStatistics(s, s);
    EXPECT_EQ(r.receivedFps, 0.0);
    EXPECT_EQ(r.decodeMsPerPicture, -1.0);
    EXPECT_EQ(r.roundTripMs, -1.0);
    EXPECT_EQ(r.secondsSinceLastPicture, -1.0);
    EXPECT_EQ(r.lossPercent, 0.0);
    EXPECT_EQ(r.width, 0);

    // Sessions tried before any media came: connecting.
    s.link.attemptsWithoutMedia = 2;
    r = describeStatistics(s, s);
    EXPECT_EQ(r.linkState, MediaLinkState::Connecting);
    EXPECT_EQ(r.attempts, 2u);
    // Media had come, then stopped: reconnecting.
    s.link.segments = 500;
    s.link.attemptsWithoutMedia = 3;
    r = describeStatistics(s, s);
    EXPECT_EQ(r.linkState, MediaLinkState::Reconnecting);
    EXPECT_EQ(r.attempts, 3u);
    // Without the camera nothing is expected, whatever the media link did.
    s.cameraLinked = false;
    EXPECT_EQ(describeStatistics(s, s).linkState, MediaLinkState::NoCamera);

    // Counters that went back (a new pipeline) give no negative rates.
    StatsSample before = reading(1'000'000);
    before.pipeline.unitsReceived = 500;
    before.link.segments = 900;
    before.link.missingSegments = 90;
    StatsSample after = reading(2'000'000);
    after.pipeline.unitsReceived = 10;
    after.link.segments = 20;
    r = describeStatistics(before, after);
    EXPECT_EQ(r.receivedFps, 0.0);
    EXPECT_EQ(r.lossPercent, 0.0);
}

TEST(Statistics, TheViscaControllerAndHowLongAgoItSent) {
    StatsSample a = reading(10'000'000);
    StatsSample b = reading(11'000'000);
    EXPECT_TRUE(describeStatistics(a, b).viscaController.empty());
    b.viscaController = "127.0.0.1:50000";
    b.viscaLastRequestUs = 10'500'000;
    const StatsReport r = describeStatistics(a, b);
    EXPECT_EQ(r.viscaController, "127.0.0.1:50000");
    EXPECT_DOUBLE_EQ(r.viscaSecondsAgo, 0.5);
}
