#include "video/VideoQueues.h"

extern "C" {
#include <libavutil/frame.h>
}

#include <gtest/gtest.h>

#include <string>

namespace {

StreamUnit unitNumbered(int n) {
    StreamUnit u;
    u.data = std::make_shared<std::string>("unit" + std::to_string(n));
    u.length = static_cast<int>(u.data->size());
    u.info[0] = static_cast<uint8_t>(n);
    return u;
}

TEST(StreamQueue, BacklogAboveTenIsFlushedToTheNewest) {
    StreamQueue queue;
    for (int i = 0; i < 11; ++i)
        ASSERT_TRUE(queue.tryAppend(unitNumbered(i)));
    EXPECT_EQ(queue.size(), 11);
    StreamUnit out;
    ASSERT_TRUE(queue.takeForDecode(out));
    EXPECT_EQ(*out.data, "unit10");
    EXPECT_EQ(out.info[0], 10);
    EXPECT_EQ(queue.size(), 0);
    EXPECT_FALSE(queue.takeForDecode(out));

    // Ten waiting units are taken in order, without a flush.
    for (int i = 0; i < 10; ++i)
        queue.tryAppend(unitNumbered(i));
    for (int i = 0; i < 10; ++i) {
        ASSERT_TRUE(queue.takeForDecode(out));
        EXPECT_EQ(*out.data, "unit" + std::to_string(i));
    }
    queue.tryAppend(unitNumbered(1));
    queue.clear();
    EXPECT_EQ(queue.size(), 0);
}

// A small picture whose first luma byte carries a marker.
AVFrame* picture(uint8_t marker) {
    AVFrame* f = av_frame_alloc();
    f->format = AV_PIX_FMT_YUV420P;
    f->width = 16;
    f->height = 16;
    av_frame_get_buffer(f, 0);
    f->data[0][0] = marker;
    return f;
}

// Stores and publishes one picture with the given marker.
void decodeInto(FrameRing& ring, uint8_t marker) {
    AVFrame* f = picture(marker);
    SideInfo info{};
    info[5] = marker;
    ring.store(f, info);
    ring.publish();
    av_frame_free(&f);
}

class FrameRingTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(ring.allocate());
        taken = av_frame_alloc();
    }
    void TearDown() override { av_frame_free(&taken); }

    uint8_t takeMarker() {
        EXPECT_TRUE(ring.take(readIndex, taken, info));
        return taken->buf[0] ? taken->data[0][0] : 0;
    }

    FrameRing ring;
    AVFrame* taken = nullptr;
    SideInfo info{};
    unsigned readIndex = 0;
};

TEST_F(FrameRingTest, PicturesAreTakenInOrderUpToSixWaiting) {
    EXPECT_FALSE(ring.take(readIndex, taken, info));
    for (uint8_t m = 1; m <= 6; ++m)
        decodeInto(ring, m);
    EXPECT_EQ(ring.fullCount(), 6);
    for (uint8_t m = 1; m <= 6; ++m) {
        EXPECT_EQ(takeMarker(), m);
        EXPECT_EQ(info[5], m);
    }
    EXPECT_EQ(ring.fullCount(), 0);
    EXPECT_EQ(readIndex, 6u);
}

TEST_F(FrameRingTest, MoreThanSixWaitingJumpsToTheNewest) {
    for (uint8_t m = 1; m <= 7; ++m)
        decodeInto(ring, m);
    EXPECT_EQ(takeMarker(), 7);
    EXPECT_EQ(ring.fullCount(), 0);
    EXPECT_EQ(readIndex, ring.writeIndex());
    // The next picture follows in order.
    decodeInto(ring, 8);
    EXPECT_EQ(takeMarker(), 8);

    // Eight full after lapping the ring: again only the newest.
    for (uint8_t m = 20; m < 28; ++m)
        decodeInto(ring, m);
    EXPECT_EQ(takeMarker(), 27);
}

TEST_F(FrameRingTest, TakenPictureSurvivesTheDecoderLappingTheRing) {
    decodeInto(ring, 42);
    ASSERT_EQ(takeMarker(), 42);
    // Eight more pictures: the slot that held 42 is written again.
    for (uint8_t m = 50; m < 58; ++m)
        decodeInto(ring, m);
    EXPECT_EQ(taken->data[0][0], 42);

    // A re-initialised writer starts at slot 0 with an empty ring.
    ring.resetWriter();
    EXPECT_EQ(ring.fullCount(), 0);
    EXPECT_EQ(ring.writeSlot(), 0);
    ring.release();
    EXPECT_FALSE(ring.allocated());
    EXPECT_TRUE(ring.allocate());
}

using Clock = FetchGate::Clock;
using std::chrono::milliseconds;

const std::string kKeyFrame = std::string("\0\0\0\x01\x67\x42", 6) +
                              std::string("\0\0\0\x01\x68\xce", 6) +
                              std::string("\0\0\0\x01\x65\x88", 6);
const std::string kPSlice = std::string("\0\0\0\x01\x41\x9a", 6);
const std::string kSideInfoUnit = std::string("\0\0\0\x01\x0d\x01", 6);

TEST(FetchGate, NothingBeforeTheKeyFrameNorInTheFirstSecond) {
    const Clock::time_point t0 = Clock::now();
    FetchGate gate(t0);
    EXPECT_EQ(gate.admit(kPSlice, t0 + milliseconds(1500)), FetchGate::Verdict::NotKeyFrame);
    EXPECT_EQ(gate.admit(kSideInfoUnit, t0 + milliseconds(1500)), FetchGate::Verdict::NotKeyFrame);
    EXPECT_FALSE(gate.keyFrameSeen());
    // A key frame inside the first second is dropped but counts as seen.
    EXPECT_EQ(gate.admit(kKeyFrame, t0 + milliseconds(999)), FetchGate::Verdict::Settling);
    EXPECT_TRUE(gate.keyFrameSeen());
    EXPECT_EQ(gate.admit(kPSlice, t0 + milliseconds(1000)), FetchGate::Verdict::Queue);
    EXPECT_EQ(gate.admit(kKeyFrame, t0 + milliseconds(1100)), FetchGate::Verdict::Queue);
    EXPECT_EQ(gate.admit(kSideInfoUnit, t0 + milliseconds(1200)), FetchGate::Verdict::SideInfoUnit);
    // Units too short to have a header byte are not side information.
    EXPECT_EQ(gate.admit(std::string("\0\0\0\x01", 4), t0 + milliseconds(1200)),
              FetchGate::Verdict::Queue);
}

TEST(FetchGate, LostLinkWaitsForAKeyFrameAgainPauseOnlyRestartsTheSettle) {
    const Clock::time_point t0 = Clock::now();
    FetchGate gate(t0);
    ASSERT_EQ(gate.admit(kKeyFrame, t0 + milliseconds(2000)), FetchGate::Verdict::Queue);

    const Clock::time_point lost = t0 + milliseconds(3000);
    gate.disconnected(lost);
    EXPECT_EQ(gate.admit(kPSlice, lost + milliseconds(1500)), FetchGate::Verdict::NotKeyFrame);
    EXPECT_EQ(gate.admit(kKeyFrame, lost + milliseconds(500)), FetchGate::Verdict::Settling);
    EXPECT_EQ(gate.admit(kPSlice, lost + milliseconds(1000)), FetchGate::Verdict::Queue);

    const Clock::time_point paused = lost + milliseconds(5000);
    gate.paused(paused);
    EXPECT_EQ(gate.admit(kPSlice, paused + milliseconds(10)), FetchGate::Verdict::Settling);
    EXPECT_EQ(gate.admit(kPSlice, paused + milliseconds(1000)), FetchGate::Verdict::Queue);
}

} // namespace
