// Watchdogs and the link monitor: expiry, quiet time, reconnection when the
// camera stops sending, teardown when the consumer stops asking, and the
// programming faults.
#include "kcpclient/KcpMonitor.h"
#include "kcpclient/KcpCmdOp.h"
#include "tests/kcpclient/MediaCameraStarter.h"
#include "tools/camsim/media/MediaCamera.h"

#include <gtest/gtest.h>

#include "tests/support/Eventually.h"
#include "tests/support/ThreadWakeups.h"

#include <atomic>
#include <chrono>
#include <random>
#include <thread>

using camsim::MediaCamera;
using camsim::MediaConfig;
using camsim::MediaFaults;
using Clock = std::chrono::steady_clock;

namespace {

int64_t ms_since(Clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

// A consumer that keeps polling the monitor like the decoder's fetch thread.
class Consumer {
public:
    explicit Consumer(KcpMonitor& monitor)
        : thread_([this, &monitor] {
              while (running_) {
                  if (monitor.fetch(100))
                      frames_++;
              }
          }) {}
    ~Consumer() { stop(); }
    void stop() {
        running_ = false;
        if (thread_.joinable())
            thread_.join();
    }
    int frames() const { return frames_; }

private:
    std::atomic<bool> running_{true};
    std::atomic<int> frames_{0};
    std::thread thread_;
};

} // namespace

TEST(WatchDog, BarksOnceWhenStarvedAndRespectsTheQuietTime) {
    std::atomic<int> barks{0};
    {
        WatchDog dog(
            50, [&] { barks++; }, false, "test");
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        EXPECT_EQ(barks, 0); // not armed
        dog.set_armed(true);
        EXPECT_TRUE(eventually([&] { return barks > 0; }, 1000));
        // Fed all the time: no more barks.
        dog.set_armed(false);
        std::this_thread::sleep_for(std::chrono::milliseconds(120));
        int before = barks;
        dog.feed();
        dog.set_armed(true);
        for (int i = 0; i < 10; i++) {
            dog.feed();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        dog.set_armed(false);
        EXPECT_EQ(barks, before);
    }

    std::atomic<int> calls{0};
    WatchDog quiet(
        100000, [&] { calls++; }, false, "quiet");
    quiet.bark(200);
    EXPECT_TRUE(eventually([&] { return calls == 1; }, 1000));
    quiet.join_bark(); // the bark has ended, not only its callback begun
    quiet.bark(200);   // the last bark ended less than 200 ms ago
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(calls, 1);
    quiet.bark(0);
    EXPECT_TRUE(eventually([&] { return calls == 2; }, 1000));

    // A bark never overlaps a running one.
    std::atomic<int> inside{0}, overlaps{0}, slowCalls{0};
    WatchDog slow(
        100000,
        [&] {
            if (inside++ > 0)
                overlaps++;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            inside--;
            slowCalls++;
        },
        false, "slow");
    for (int i = 0; i < 20; i++) {
        slow.bark(0);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    slow.join_bark();
    EXPECT_EQ(overlaps, 0);
    EXPECT_LE(slowCalls, 3);
}

TEST(WatchDog, SleepsWhileDisarmedAndWakesWhenArmed) {
    std::atomic<int> barks{0};
    WatchDog dog(
        50, [&] { barks++; }, false, "idle");
    // Disarmed for a second: twenty time-outs, and the watch thread sleeps
    // through them.
    int threads = 0;
    const uint64_t wakes =
        threadwakeups::wakeups_during("orun-watchdog", std::chrono::seconds(1), &threads);
    ASSERT_EQ(threads, 1);
    EXPECT_LT(wakes, 5u);
    EXPECT_EQ(barks, 0);
    // Arming ends the unbounded sleep: the starved dog barks.
    dog.set_armed(true);
    EXPECT_TRUE(eventually([&] { return barks > 0; }, 3000));
}

TEST(WatchDog, EveryBarkThreadIsJoined) {
    // A callback that barks again is refused (one bark at a time); a dog
    // that barks often ends with all its bark threads joined.
    std::atomic<int> calls{0};
    std::atomic<WatchDog*> self{nullptr};
    {
        WatchDog dog(
            20,
            [&] {
                calls++;
                if (WatchDog* d = self.load())
                    d->bark(0);
            },
            true, "again");
        self = &dog;
        EXPECT_TRUE(eventually([&] { return calls >= 3; }, 3000));
        dog.stop();
        dog.join_bark();
        self = nullptr;
    }
    EXPECT_TRUE(threadwakeups::voluntary_switches("orun-wd-bark").empty());
    EXPECT_TRUE(threadwakeups::voluntary_switches("orun-watchdog").empty());
}

TEST(WatchDogDeathTest, ZeroTimeOutIsFatal) {
    EXPECT_EXIT(WatchDog(
                    0, [] {}, true, "zero"),
                ::testing::ExitedWithCode(3),
                "\\[FATAL\\].*\\[kcpclient/WatchDog:[0-9]+\\] \\[WatchDog\\] 0");
}

TEST(KcpMonitorDeathTest, FetchTimeOutsOutsideTheRangeAreFatal) {
    EXPECT_EXIT(
        {
            KcpMonitor monitor(1, 10);
            monitor.fetch(1500);
        },
        ::testing::ExitedWithCode(3), "\\[fetch\\]");
    EXPECT_EXIT(
        {
            KcpMonitor monitor(1, 10);
            monitor.fetch(-501);
        },
        ::testing::ExitedWithCode(3), "\\[fetch\\]");
    KcpMonitor monitor(1, 10);
    EXPECT_FALSE(monitor.fetch(1499)); // served: no address, nothing to fetch
    EXPECT_FALSE(monitor.fetch(-500));
}

TEST(KcpMonitor, ReconnectsSoonAfterTheCameraStopsSending) {
    auto camera = start_camera();
    camera->setVideoSource(std::make_shared<camsim::PatternVideoSource>(500, 5000, 3, 50));
    KcpMonitor monitor(camera->commandPort(), 100);
    Consumer consumer(monitor);
    monitor.set_address("127.0.0.1");
    ASSERT_TRUE(eventually([&] { return consumer.frames() > 10; }, 5000));
    EXPECT_EQ(camera->counters().sessionsStarted, 1u);
    MediaLinkStats stats = monitor.link_stats();
    EXPECT_EQ(stats.sessionsStarted, 1u);
    EXPECT_EQ(stats.sessionAttempts, 1u);
    EXPECT_EQ(stats.attemptsWithoutMedia, 0u);
    EXPECT_GE(stats.frames, static_cast<uint64_t>(consumer.frames()));
    EXPECT_GE(stats.segments, stats.frames);
    EXPECT_GT(stats.datagrams, 0u);

    // The camera keeps the session but sends nothing more.
    MediaFaults pause;
    pause.pauseMedia = true;
    camera->setFaults(pause);
    auto paused = Clock::now();
    ASSERT_TRUE(eventually([&] { return camera->counters().startRequests > 3; }, 5000));
    int64_t after = ms_since(paused);
    // Expiry is noticed one to two time-outs (500 ms) after the last datagram.
    EXPECT_GE(after, 400);
    EXPECT_LE(after, 2500);
    // Each new session without media counts as one more attempt.
    ASSERT_TRUE(eventually([&] { return monitor.link_stats().attemptsWithoutMedia >= 3; }, 3000));
    stats = monitor.link_stats();
    EXPECT_GE(stats.sessionAttempts, 4u);
    // The camera opens every session it is asked for (one may be under way).
    EXPECT_LE(stats.sessionsStarted, stats.sessionAttempts);
    EXPECT_GE(stats.sessionsStarted + 1, stats.sessionAttempts);

    // Media again: the new session delivers, and the count of attempts ends.
    camera->setFaults(MediaFaults{});
    int before = consumer.frames();
    EXPECT_TRUE(eventually([&] { return consumer.frames() > before + 10; }, 5000));
    EXPECT_EQ(monitor.link_stats().attemptsWithoutMedia, 0u);
}

TEST(KcpMonitor, CountsWhatTheReceiverLostAndGotAgainOnALossyLink) {
    auto camera = start_camera();
    camera->setVideoSource(std::make_shared<camsim::PatternVideoSource>(2000, 20000, 6, 50));
    MediaFaults loss;
    loss.loss = 0.10;
    camera->setFaults(loss);
    KcpMonitor monitor(camera->commandPort(), 100);
    Consumer consumer(monitor);
    monitor.set_address("127.0.0.1");
    ASSERT_TRUE(eventually([&] { return consumer.frames() > 60; }, 8000));
    const MediaLinkStats stats = monitor.link_stats();
    EXPECT_GT(stats.missingSegments, 0u);
    EXPECT_GT(stats.lateSegments, 0u);
    EXPECT_LE(stats.lateSegments, stats.missingSegments);
    // About a tenth of the first transmissions went missing.
    const double share =
        double(stats.missingSegments) / double(stats.segments - stats.duplicateSegments);
    EXPECT_GT(share, 0.03);
    EXPECT_LT(share, 0.25);
    EXPECT_EQ(stats.attemptsWithoutMedia, 0u);
}

TEST(KcpMonitor, DropsTheSessionWhenTheConsumerStopsAsking) {
    auto camera = start_camera();
    camera->setVideoSource(std::make_shared<camsim::PatternVideoSource>(500, 5000, 4, 50));
    KcpMonitor monitor(camera->commandPort(), 100);
    auto consumer = std::make_unique<Consumer>(monitor);
    monitor.set_address("127.0.0.1");
    ASSERT_TRUE(eventually([&] { return consumer->frames() > 10; }, 5000));
    consumer.reset();
    auto stopped = Clock::now();
    ASSERT_TRUE(eventually([&] { return camera->counters().stopRequests >= 3; }, 6000));
    int64_t after = ms_since(stopped);
    EXPECT_GE(after, 1800);
    EXPECT_LE(after, 4500);
    EXPECT_FALSE(monitor.has_stream());
    EXPECT_FALSE(monitor.reconnect_watchdog()->is_armed());
    // No reconnection while nobody asks...
    uint64_t starts = camera->counters().startRequests;
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_EQ(camera->counters().startRequests, starts);
    // ... until the next pull.
    monitor.fetch(0);
    EXPECT_TRUE(eventually([&] { return monitor.has_stream(); }, 3000));
}

TEST(KcpMonitor, SameAddressTwiceDoesNotReconnect) {
    auto camera = start_camera();
    camera->setVideoSource(std::make_shared<camsim::PatternVideoSource>(500, 5000, 5, 50));
    KcpMonitor monitor(camera->commandPort(), 100);
    Consumer consumer(monitor);
    monitor.set_address("127.0.0.1");
    ASSERT_TRUE(eventually([&] { return consumer.frames() > 10; }, 5000));
    monitor.set_address("127.0.0.1");
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    EXPECT_EQ(camera->counters().sessionsStarted, 1u);
    EXPECT_EQ(camera->counters().stopRequests, 0u);

    // kick replaces the session at once.
    monitor.kick();
    EXPECT_TRUE(eventually([&] { return camera->counters().sessionsStarted == 2; }, 3000));
    // stop drops it and tells the camera.
    consumer.stop();
    monitor.stop();
    EXPECT_FALSE(monitor.has_stream());
    EXPECT_TRUE(eventually([&] { return camera->counters().stopRequests >= 3; }, 2000));
}

// Closing ends the session and nothing opens one again, whatever the monitor
// was doing at the time: replacing sessions of a camera that sends nothing, or
// waiting on the camera's slow answer to a start.
TEST(KcpMonitor, CloseEndsTheSessionForGoodWhateverIsUnderWay) {
    struct Case {
        const char* what;
        MediaFaults faults;
    };
    MediaFaults paused;
    paused.pauseMedia = true;
    MediaFaults slow;
    slow.pauseMedia = true;
    slow.replyDelayMs = 150;
    for (const Case& c : {Case{"camera sends nothing", paused}, Case{"slow answers", slow}}) {
        SCOPED_TRACE(c.what);
        auto camera = start_camera();
        camera->setVideoSource(std::make_shared<camsim::PatternVideoSource>(500, 5000, 3, 50));
        camera->setFaults(c.faults);
        KcpMonitor monitor(camera->commandPort(), 100);
        Consumer consumer(monitor);
        monitor.set_address("127.0.0.1");
        // Sessions are being replaced all the time.
        ASSERT_TRUE(eventually([&] { return camera->counters().startRequests >= 3; }, 8000));

        monitor.close();
        EXPECT_TRUE(monitor.is_closed());
        EXPECT_FALSE(monitor.has_stream());
        const camsim::MediaCounters closed = camera->counters();
        EXPECT_EQ(closed.lastRequest, kcpcmd::StopSession);

        // The consumer keeps asking, and the program pokes the link: nothing
        // starts a session.
        for (int i = 0; i < 4; i++) {
            monitor.kick();
            monitor.touch();
            std::this_thread::sleep_for(std::chrono::milliseconds(400));
        }
        EXPECT_EQ(camera->counters().startRequests, closed.startRequests);
        EXPECT_FALSE(monitor.has_stream());
        consumer.stop();
    }
}

// A consumer waiting for a frame of a session being replaced lets go of it at
// once, so the old session is told to stop before the next one starts.
TEST(KcpMonitor, AReplacedSessionIsStoppedBeforeTheNextStarts) {
    auto camera = start_camera();
    camera->setVideoSource(std::make_shared<camsim::PatternVideoSource>(500, 5000, 3, 50));
    KcpMonitor monitor(camera->commandPort(), 100);
    Consumer consumer(monitor);
    monitor.set_address("127.0.0.1");
    ASSERT_TRUE(eventually([&] { return consumer.frames() > 5; }, 5000));
    MediaFaults paused;
    paused.pauseMedia = true;
    camera->setFaults(paused);
    // The consumer now waits 100 ms at a time on a silent session; each
    // replacement stops the old session first.
    ASSERT_TRUE(eventually([&] { return camera->counters().startRequests >= 5; }, 8000));
    EXPECT_EQ(camera->counters().startsWhileOpen, 0u);
    consumer.stop();
    monitor.close();
}
