// The stream session against the simulated camera on loopback: start and
// stop sequences, the property request, frame assembly from messages, and
// the bounded frame queue.
#include "kcpclient/KcpStream.h"
#include "tests/kcpclient/MediaCameraStarter.h"
#include "tools/camsim/media/MediaCamera.h"

#include <gtest/gtest.h>

#include "tests/support/ThreadWakeups.h"

#include <chrono>
#include <future>
#include <random>
#include <thread>

using camsim::ListVideoSource;
using camsim::MediaCamera;
using camsim::MediaConfig;
using camsim::MediaFaults;
using camsim::VideoFrame;

namespace {

std::vector<VideoFrame> frames_of(const std::vector<std::string>& units) {
    std::vector<VideoFrame> frames;
    for (const auto& u : units)
        frames.push_back(VideoFrame{u, {}});
    return frames;
}

std::string pattern(size_t size, char seed) {
    std::string s(size, '\0');
    for (size_t i = 0; i < size; i++)
        s[i] = static_cast<char>(seed + i * 31 + (i >> 8));
    s[0] = s[1] = s[2] = 0; // start code 00 00 00 01 41
    s[3] = 1;
    s[4] = 0x41;
    return s;
}

// The camera's count once it has reached want (the client stops waiting at
// the first reply, while later copies may still be on their way), and a
// moment longer so that a count above want would show.
template <typename F> uint64_t settled(F count, uint64_t want) {
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (count() < want && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return count();
}

} // namespace

TEST(FrameQueue, KeepsTheNewestAndWaitsAsAsked) {
    FrameQueue<std::shared_ptr<std::string>> queue(100, "FrameQueue");
    for (int i = 0; i < 150; i++)
        queue.push(std::make_shared<std::string>(std::to_string(i)));
    EXPECT_EQ(queue.size(), 100);
    EXPECT_EQ(*queue.get(0, false), "50");
    EXPECT_EQ(*queue.get(0, true), "50");
    EXPECT_EQ(*queue.get(0, true), "51");
    EXPECT_EQ(queue.size(), 98);

    FrameQueue<std::shared_ptr<std::string>> empty(10, "FrameQueue");
    EXPECT_FALSE(empty.get(0, true));
    std::thread later([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        empty.push(std::make_shared<std::string>("late"));
    });
    auto got = empty.get(-1, true); // waits without limit
    later.join();
    ASSERT_TRUE(got);
    EXPECT_EQ(*got, "late");
}

TEST(KcpStream, StartedSessionJoinsMessagesIntoFramesAndStopsOnce) {
    MediaConfig config;
    config.sideInfo = false;
    config.framesPerSecond = 0;
    config.messageMax = 1000; // a 2500-byte frame goes as three messages
    auto camera = start_camera(config);
    std::vector<std::string> units = {pattern(2500, 1), pattern(40, 2), pattern(1000, 4)};
    camera->setVideoSource(std::make_shared<ListVideoSource>(frames_of(units)));
    {
        auto stream = std::make_shared<KcpStreamDetail>("127.0.0.1", camera->commandPort(), 100);
        ASSERT_TRUE(stream->is_started());
        EXPECT_EQ(stream->conversation(), camera->counters().lastConversation);
        EXPECT_EQ(stream->local_address(), "127.0.0.1");
        EXPECT_GE(stream->media_port(), 10000);
        for (const auto& unit : units) {
            auto frame = stream->pop_frame(3000);
            ASSERT_TRUE(frame);
            EXPECT_EQ(*frame, unit);
        }
        EXPECT_EQ(settled([&] { return camera->counters().startRequests; }, 3), 3u);
        // Session byte 0x21 > 0: the property request follows.
        EXPECT_EQ(settled([&] { return camera->counters().propertyRequests; }, 3), 3u);
        auto counters = camera->counters();
        EXPECT_EQ(counters.sessionsStarted, 1u);
        EXPECT_EQ(counters.lastPropertyFlags, 7);
        EXPECT_EQ(counters.stopRequests, 0u);
    }
    EXPECT_EQ(settled([&] { return camera->counters().stopRequests; }, 3), 3u);
    EXPECT_FALSE(camera->sessionActive());
}

TEST(KcpStream, ReceiveThreadSleepsWhileTheCameraIsSilentAndEndsAtOnce) {
    MediaConfig config;
    config.sideInfo = false;
    config.framesPerSecond = 0;
    auto camera = start_camera(config);
    std::vector<std::string> units = {pattern(3000, 3), pattern(60, 5)};
    camera->setVideoSource(std::make_shared<ListVideoSource>(frames_of(units)));
    auto stream = std::make_shared<KcpStreamDetail>("127.0.0.1", camera->commandPort(), 100);
    ASSERT_TRUE(stream->is_started());
    for (size_t i = 0; i < units.size(); i++)
        ASSERT_TRUE(stream->pop_frame(3000)) << "frame " << i;
    // Everything is acknowledged soon after; then nothing is due until the
    // camera sends again, and the thread sleeps (a wait bounded by the
    // engine's 10 ms flush would wake it about a hundred times).
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    int threads = 0;
    const uint64_t wakes =
        threadwakeups::wakeups_during("orun-media-rx", std::chrono::seconds(1), &threads);
    ASSERT_EQ(threads, 1);
    EXPECT_LT(wakes, 5u);

    // The destructor ends the thread's wait for the silent camera.
    std::promise<void> released;
    std::future<void> done = released.get_future();
    std::thread destroyer([&] {
        stream.reset();
        released.set_value();
    });
    EXPECT_EQ(done.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    destroyer.join();
    EXPECT_TRUE(threadwakeups::voluntary_switches("orun-media-rx").empty());
}

TEST(KcpStream, LargeMessagesAndBurstsOfSmallOnesDoNotStall) {
    MediaConfig config;
    config.sideInfo = false;
    config.framesPerSecond = 0;
    config.messageMax = 350000;
    auto camera = start_camera(config);
    // 300000 bytes in one message: more than a 256000-byte read buffer holds.
    std::vector<std::string> units = {pattern(300000, 7)};
    // Many tiny frames: several whole messages arrive in one datagram.
    for (int i = 0; i < 300; i++)
        units.push_back(pattern(12 + i % 5, static_cast<char>(i)));
    camera->setVideoSource(std::make_shared<ListVideoSource>(frames_of(units)));
    auto stream = std::make_shared<KcpStreamDetail>("127.0.0.1", camera->commandPort(), 1000);
    ASSERT_TRUE(stream->is_started());
    for (size_t i = 0; i < units.size(); i++) {
        auto frame = stream->pop_frame(3000);
        ASSERT_TRUE(frame) << "frame " << i;
        ASSERT_EQ(*frame, units[i]) << "frame " << i;
    }
}

TEST(KcpStream, SessionByteZeroSkipsThePropertyRequest) {
    MediaConfig config;
    config.sessionByte = 0;
    auto camera = start_camera(config);
    auto stream = std::make_shared<KcpStreamDetail>("127.0.0.1", camera->commandPort(), 100);
    EXPECT_TRUE(stream->is_started());
    EXPECT_EQ(camera->counters().propertyRequests, 0u);
}

TEST(KcpStream, FailedStartsSendExactlyOneStopSequence) {
    auto camera = start_camera();
    // A media address that cannot be connected.
    MediaFaults unreachable;
    unreachable.mediaAddressOverride = "255.255.255.255";
    camera->setFaults(unreachable);
    {
        auto stream = std::make_shared<KcpStreamDetail>("127.0.0.1", camera->commandPort(), 100);
        EXPECT_FALSE(stream->is_started());
        EXPECT_EQ(settled([&] { return camera->counters().stopRequests; }, 3), 3u);
        EXPECT_FALSE(stream->pop_frame(0));
    }
    EXPECT_EQ(settled([&] { return camera->counters().stopRequests; }, 3),
              3u); // none from the destructor

    // A failed property request.
    MediaFaults badProperty;
    badProperty.propertyReplySize = 2;
    camera->setFaults(badProperty);
    {
        auto stream = std::make_shared<KcpStreamDetail>("127.0.0.1", camera->commandPort(), 100);
        EXPECT_FALSE(stream->is_started());
    }
    EXPECT_EQ(settled([&] { return camera->counters().stopRequests; }, 6), 6u);

    // No answer at all: the start fails after its three rounds.
    MediaFaults silent;
    silent.noReply = true;
    camera->setFaults(silent);
    {
        auto stream = std::make_shared<KcpStreamDetail>("127.0.0.1", camera->commandPort(), 100);
        EXPECT_FALSE(stream->is_started());
    }
    EXPECT_EQ(settled([&] { return camera->counters().startRequests; }, 9), 9u);
    EXPECT_EQ(settled([&] { return camera->counters().stopRequests; }, 9), 9u);
}

TEST(KcpStream, NoCommandSocketMeansNoRequests) {
    auto camera = start_camera();
    for (const char* address : {"", "not an address", "::1"}) {
        auto stream = std::make_shared<KcpStreamDetail>(address, camera->commandPort(), 100);
        EXPECT_FALSE(stream->is_started()) << address;
    }
    EXPECT_EQ(camera->counters().startRequests, 0u);
}

TEST(KcpStream, MediaPortsAreDrawnFromTheDynamicRange) {
    uint16_t low = 65535, high = 0;
    for (int i = 0; i < 2000; i++) {
        uint16_t p = random_media_port();
        low = std::min(low, p);
        high = std::max(high, p);
    }
    EXPECT_GE(low, 10000);
    EXPECT_LT(low, 11000);
    EXPECT_GT(high, 64500);
}
