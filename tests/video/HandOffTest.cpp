// The hand-offs between the video threads: the unit queue (which skips whole
// groups of pictures, never single units), the picture ring, and the sink
// lists that may change while the video runs.
#include "video/FrameRing.h"
#include "video/SinkList.h"
#include "video/UnitQueue.h"

extern "C" {
#include <libavutil/frame.h>
}

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

// Unit n of a stream whose groups of pictures are `gop` units long.
VideoUnit unitNumbered(uint64_t n, uint64_t gop = 10) {
    VideoUnit u;
    u.data = std::make_shared<const std::string>("unit" + std::to_string(n));
    u.sequence = n;
    u.keyFrame = (n - 1) % gop == 0;
    return u;
}

std::vector<uint64_t> drain(UnitQueue& queue) {
    std::vector<uint64_t> out;
    VideoUnit u;
    while (queue.pop(u, 0ms))
        out.push_back(u.sequence);
    return out;
}

TEST(UnitQueue, AFullQueueSkipsToTheNextKeyFrameNeverSingleUnits) {
    UnitQueue queue(4);
    // Units 1..4 fill it; unit 5 overflows: 1..4 and then everything up to
    // the next key frame (11) go.
    for (uint64_t n = 1; n <= 4; ++n)
        EXPECT_TRUE(queue.push(unitNumbered(n)));
    EXPECT_EQ(queue.maxDepth(), 4u);
    for (uint64_t n = 5; n <= 10; ++n)
        EXPECT_FALSE(queue.push(unitNumbered(n)));
    EXPECT_EQ(queue.size(), 0u);
    EXPECT_EQ(queue.dropped(), 10u);
    EXPECT_EQ(queue.overflows(), 1u);
    for (uint64_t n = 11; n <= 13; ++n)
        EXPECT_TRUE(queue.push(unitNumbered(n)));
    EXPECT_EQ(drain(queue), (std::vector<uint64_t>{11, 12, 13}));

    // A key frame that meets a full queue starts the next group at once.
    UnitQueue small(2);
    small.push(unitNumbered(8));
    small.push(unitNumbered(9));
    EXPECT_TRUE(small.push(unitNumbered(11)));
    EXPECT_EQ(drain(small), (std::vector<uint64_t>{11}));
    EXPECT_EQ(small.dropped(), 2u);
}

TEST(UnitQueue, ResyncWaitsForAKeyFrameClearDoesNot) {
    UnitQueue queue(8);
    queue.push(unitNumbered(1));
    queue.push(unitNumbered(2));
    queue.resync();
    EXPECT_EQ(queue.size(), 0u);
    EXPECT_EQ(queue.dropped(), 2u);
    EXPECT_FALSE(queue.push(unitNumbered(3)));
    EXPECT_TRUE(queue.push(unitNumbered(11)));
    queue.clear();
    EXPECT_TRUE(queue.push(unitNumbered(12)));
    EXPECT_EQ(drain(queue), (std::vector<uint64_t>{12}));
    EXPECT_EQ(queue.dropped(), 3u);
}

TEST(UnitQueue, ConsumerSleepsUntilAUnitOrAnInterrupt) {
    UnitQueue queue(200);
    std::vector<uint64_t> got;
    std::atomic<bool> interrupted{false};
    std::thread consumer([&] {
        VideoUnit u;
        for (;;) {
            if (queue.pop(u)) {
                got.push_back(u.sequence);
                continue;
            }
            interrupted = true;
            return;
        }
    });
    for (uint64_t n = 1; n <= 100; ++n)
        queue.push(unitNumbered(n, 100));
    while (queue.size() != 0)
        std::this_thread::yield();
    queue.interrupt(true);
    consumer.join();
    EXPECT_TRUE(interrupted.load());
    ASSERT_EQ(got.size(), 100u);
    for (uint64_t n = 1; n <= 100; ++n)
        EXPECT_EQ(got[n - 1], n);
    // Interrupted, pop returns at once and the units stay.
    queue.push(unitNumbered(101, 100));
    VideoUnit u;
    EXPECT_FALSE(queue.pop(u));
    queue.interrupt(false);
    EXPECT_TRUE(queue.pop(u, 0ms));
    EXPECT_EQ(u.sequence, 101u);
    EXPECT_FALSE(queue.pop(u, 10ms));

    // A wake ends one wait, a waiting one or else the next, without a unit;
    // the waits after it sleep again.
    std::atomic<int> woken{0};
    std::thread sleeper([&] {
        VideoUnit v;
        while (!queue.pop(v))
            ++woken;
    });
    queue.wake();
    while (woken.load() == 0)
        std::this_thread::yield();
    queue.push(unitNumbered(102, 100));
    sleeper.join();
    EXPECT_EQ(woken.load(), 1);
    queue.wake();
    queue.push(unitNumbered(103, 100));
    EXPECT_FALSE(queue.pop(u, 0ms));
    EXPECT_TRUE(queue.pop(u, 0ms));
    EXPECT_EQ(u.sequence, 103u);
}

// What take() hands out, as text: "7" for unit 7, "B" for a break.
std::string takeAll(UnitQueue& queue) {
    std::string out;
    VideoUnit u;
    StreamBreak reason = StreamBreak::Stopped;
    for (;;) {
        const UnitQueue::Taken taken = queue.take(u, reason, 0ms);
        if (taken == UnitQueue::Taken::Nothing)
            return out;
        out += taken == UnitQueue::Taken::Break ? std::string("B") : std::to_string(u.sequence);
        out += " ";
    }
}

TEST(UnitQueue, BreaksKeepTheirPlaceSurviveOverflowsAndPopSkipsThem) {
    UnitQueue queue(3);
    queue.push(unitNumbered(1));
    queue.push(unitNumbered(2));
    queue.pushBreak(StreamBreak::LinkLost);
    queue.pushBreak(StreamBreak::LinkLost); // the same break again: one
    queue.pushBreak(StreamBreak::Stopped);
    queue.push(unitNumbered(11));
    EXPECT_EQ(queue.size(), 3u) << "breaks count against nothing";
    EXPECT_EQ(takeAll(queue), "1 2 B B 11 ");

    // An overflow lets the units go, the breaks stay where they were.
    queue.push(unitNumbered(1));
    queue.pushBreak(StreamBreak::NewSession);
    queue.push(unitNumbered(11));
    queue.push(unitNumbered(12));
    EXPECT_FALSE(queue.push(unitNumbered(13)));
    EXPECT_EQ(queue.overflows(), 1u);
    EXPECT_EQ(queue.dropped(), 4u);
    EXPECT_TRUE(queue.push(unitNumbered(21)));
    StreamBreak reason = StreamBreak::Stopped;
    VideoUnit u;
    ASSERT_EQ(queue.take(u, reason, 0ms), UnitQueue::Taken::Break);
    EXPECT_EQ(reason, StreamBreak::NewSession);
    EXPECT_EQ(takeAll(queue), "21 ");

    // pop() hands out units only; a consumer waiting in take() wakes for a break.
    queue.pushBreak(StreamBreak::Paused);
    queue.push(unitNumbered(31));
    ASSERT_TRUE(queue.pop(u, 0ms));
    EXPECT_EQ(u.sequence, 31u);
    EXPECT_FALSE(queue.pop(u, 0ms));
    std::atomic<int> taken{-1};
    std::thread consumer([&] {
        StreamBreak r = StreamBreak::Stopped;
        VideoUnit v;
        taken = static_cast<int>(queue.take(v, r));
    });
    queue.pushBreak(StreamBreak::Stopped);
    consumer.join();
    EXPECT_EQ(taken.load(), static_cast<int>(UnitQueue::Taken::Break));
}

TEST(UnitQueue, TakeNamesTheUnitsLetGoBeforeEachUnitOrBreak) {
    // Units carry times: camera 1000 * n, arrival 10 * n.
    auto timed = [](uint64_t n) {
        VideoUnit u = unitNumbered(n);
        u.cameraTime = static_cast<int64_t>(1000 * n);
        u.arrivalUs = static_cast<int64_t>(10 * n);
        return u;
    };
    UnitQueue queue(3);
    VideoUnit u;
    StreamBreak reason = StreamBreak::Stopped;
    UnitGap lost;
    queue.push(timed(1));
    ASSERT_EQ(queue.take(u, reason, 0ms, &lost), UnitQueue::Taken::Unit);
    EXPECT_TRUE(lost.empty());
    // 2..4 fill the queue, 5 overflows: 2..10 go, 11 comes after them.
    for (uint64_t n = 2; n <= 11; ++n)
        queue.push(timed(n));
    ASSERT_EQ(queue.take(u, reason, 0ms, &lost), UnitQueue::Taken::Unit);
    EXPECT_EQ(u.sequence, 11u);
    EXPECT_EQ(lost.units, 9u);
    EXPECT_EQ(lost.firstCameraTime, 2000);
    EXPECT_EQ(lost.firstArrivalUs, 20);
    EXPECT_EQ(lost.lastCameraTime, 10000);
    EXPECT_EQ(lost.lastArrivalUs, 100);
    ASSERT_EQ(queue.take(u, reason, 0ms, &lost), UnitQueue::Taken::Nothing);

    // Units let go around a break: those before it are lost before it, those
    // after it (and those waiting for the key frame) before the next entry.
    queue.push(timed(12));
    queue.pushBreak(StreamBreak::LinkLost);
    queue.push(timed(21));
    queue.push(timed(22));
    EXPECT_FALSE(queue.push(timed(23))); // overflow: 12, 21, 22 and 23 go
    queue.pushBreak(StreamBreak::NewSession);
    EXPECT_FALSE(queue.push(timed(25))); // waits for a key frame
    queue.pushBreak(StreamBreak::Stopped);
    ASSERT_EQ(queue.take(u, reason, 0ms, &lost), UnitQueue::Taken::Break);
    EXPECT_EQ(reason, StreamBreak::LinkLost);
    EXPECT_EQ(lost.units, 1u);
    EXPECT_EQ(lost.firstCameraTime, 12000);
    EXPECT_EQ(lost.lastCameraTime, 12000);
    ASSERT_EQ(queue.take(u, reason, 0ms, &lost), UnitQueue::Taken::Break);
    EXPECT_EQ(reason, StreamBreak::NewSession);
    EXPECT_EQ(lost.units, 3u);
    EXPECT_EQ(lost.firstCameraTime, 21000);
    EXPECT_EQ(lost.lastCameraTime, 23000);
    ASSERT_EQ(queue.take(u, reason, 0ms, &lost), UnitQueue::Taken::Break);
    EXPECT_EQ(reason, StreamBreak::Stopped);
    EXPECT_EQ(lost.units, 1u);
    EXPECT_EQ(lost.firstArrivalUs, 250);
    EXPECT_EQ(queue.dropped(), 14u) << "every unit let go is named once";

    // What clear() empties is not lost (nobody wanted it).
    queue.push(timed(31));
    queue.push(timed(32));
    queue.push(timed(33));
    EXPECT_FALSE(queue.push(timed(34)));
    queue.clear();
    queue.push(timed(41));
    ASSERT_EQ(queue.take(u, reason, 0ms, &lost), UnitQueue::Taken::Unit);
    EXPECT_TRUE(lost.empty());
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

class FrameRingTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(ring.allocate());
        taken = av_frame_alloc();
    }
    void TearDown() override { av_frame_free(&taken); }

    void publish(uint8_t marker) {
        AVFrame* f = picture(marker);
        PictureMeta meta;
        meta.sequence = marker;
        ring.publish(f, meta);
        av_frame_free(&f);
    }
    uint8_t takeMarker() {
        EXPECT_TRUE(ring.take(taken, meta));
        return taken->buf[0] ? taken->data[0][0] : 0;
    }

    FrameRing ring;
    AVFrame* taken = nullptr;
    PictureMeta meta;
};

TEST_F(FrameRingTest, PicturesAreTakenInOrderUpToSixWaiting) {
    for (uint8_t m = 1; m <= 6; ++m)
        publish(m);
    EXPECT_EQ(ring.waiting(), 6);
    for (uint8_t m = 1; m <= 6; ++m) {
        EXPECT_EQ(takeMarker(), m);
        EXPECT_EQ(meta.sequence, m);
    }
    EXPECT_EQ(ring.waiting(), 0);
    EXPECT_EQ(ring.dropped(), 0u);
}

TEST_F(FrameRingTest, MoreThanSixWaitingJumpsToTheNewest) {
    for (uint8_t m = 1; m <= 7; ++m)
        publish(m);
    EXPECT_EQ(takeMarker(), 7);
    EXPECT_EQ(ring.waiting(), 0);
    EXPECT_EQ(ring.dropped(), 6u);
    publish(8);
    EXPECT_EQ(takeMarker(), 8);

    // More than eight published: the oldest give way, the newest is taken.
    for (uint8_t m = 20; m < 30; ++m)
        publish(m);
    EXPECT_EQ(ring.waiting(), 8);
    EXPECT_EQ(takeMarker(), 29);
    EXPECT_EQ(ring.dropped(), 6u + 9u);
}

TEST_F(FrameRingTest, TakenPictureSurvivesTheDecoderLappingTheRing) {
    publish(42);
    ASSERT_EQ(takeMarker(), 42);
    for (uint8_t m = 50; m < 58; ++m)
        publish(m);
    EXPECT_EQ(taken->data[0][0], 42);
    // Rebuilt slots start empty.
    ring.release();
    EXPECT_FALSE(ring.allocated());
    EXPECT_TRUE(ring.allocate());
    EXPECT_EQ(ring.waiting(), 0);
}

TEST_F(FrameRingTest, DisplaySleepsUntilAPictureOrAnInterrupt) {
    std::atomic<int> takes{0};
    std::atomic<bool> ended{false};
    std::thread display([&] {
        AVFrame* out = av_frame_alloc();
        PictureMeta m;
        while (ring.take(out, m))
            ++takes;
        av_frame_free(&out);
        ended = true;
    });
    for (uint8_t m = 1; m <= 3; ++m) {
        publish(m);
        while (takes.load() < m)
            std::this_thread::yield();
    }
    EXPECT_FALSE(ended.load());
    ring.interrupt(true);
    display.join();
    EXPECT_EQ(takes.load(), 3);
}

struct CountingSink {
    std::atomic<int> calls{0};
};

TEST(SinkList, RemovedSinkIsNeverCalledAfterRemoveReturns) {
    SinkList<CountingSink> list;
    auto a = std::make_shared<CountingSink>();
    auto b = std::make_shared<CountingSink>();
    list.add(a);
    list.add(a); // listed once
    list.add(b);
    list.add(nullptr);
    EXPECT_EQ(list.size(), 2u);

    std::atomic<bool> running{true};
    std::atomic<int> dispatches{0};
    std::thread stage([&] {
        while (running) {
            list.dispatch([](const SinkList<CountingSink>::Sinks& sinks) {
                for (const auto& s : sinks)
                    ++s->calls;
            });
            ++dispatches;
        }
    });
    while (dispatches.load() < 100)
        std::this_thread::yield();
    list.remove(a);
    const int afterRemove = a->calls.load();
    const int seen = dispatches.load();
    while (dispatches.load() < seen + 100)
        std::this_thread::yield();
    running = false;
    stage.join();
    EXPECT_EQ(a->calls.load(), afterRemove);
    EXPECT_GT(b->calls.load(), afterRemove);
    EXPECT_EQ(list.size(), 1u);

    // A sink may take itself out from inside its own call.
    list.dispatch([&](const SinkList<CountingSink>::Sinks& sinks) {
        for (const auto& s : sinks)
            list.remove(s);
    });
    EXPECT_EQ(list.size(), 0u);
}

// A sink added held sees nothing before the first dispatch that starts it.
TEST(SinkList, AHeldSinkJoinsAtTheNextStartingDispatch) {
    SinkList<CountingSink> list;
    auto running = std::make_shared<CountingSink>();
    auto held = std::make_shared<CountingSink>();
    auto gone = std::make_shared<CountingSink>();
    list.add(running);
    list.add(held, true);
    list.add(held, true);
    list.add(gone, true);
    EXPECT_EQ(list.size(), 3u);
    list.remove(gone);
    auto count = [](const SinkList<CountingSink>::Sinks& sinks) {
        for (const auto& s : sinks)
            ++s->calls;
    };
    list.dispatch(count, false);
    list.dispatch(count, false);
    EXPECT_EQ(running->calls.load(), 2);
    EXPECT_EQ(held->calls.load(), 0);
    list.dispatch(count, true);
    list.dispatch(count, false);
    EXPECT_EQ(running->calls.load(), 4);
    EXPECT_EQ(held->calls.load(), 2);
    EXPECT_EQ(gone->calls.load(), 0);
    EXPECT_EQ(list.size(), 2u);
}

} // namespace
