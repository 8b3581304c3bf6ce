// The worker thread: its idle waits end at once on stop, it is always joined
// (also when it reports late), and it carries its name.
#include "hub/WorkerThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

#ifdef __linux__
#include <pthread.h>
#endif

using namespace std::chrono_literals;

TEST(WorkerThread, StopEndsAnIdleWaitAndJoins) {
    WorkerThread worker;
    std::atomic<int> passes{0};
    std::atomic<bool> returned{false};
    ASSERT_TRUE(worker.start("test-idle", [&] {
        while (worker.running()) {
            ++passes;
            worker.waitFor(std::chrono::hours(1));
        }
        returned = true;
    }));
    EXPECT_FALSE(worker.start("again", [] {})) << "a second thread of one worker";
    while (passes.load() == 0)
        std::this_thread::yield();
    EXPECT_TRUE(worker.running());
    // An hour-long idle wait does not hold the stop up.
    EXPECT_TRUE(worker.stop(5000));
    EXPECT_TRUE(returned.load());
    EXPECT_FALSE(worker.active());
    EXPECT_EQ(passes.load(), 1);
    // A stopped worker may be started again and stopped again.
    EXPECT_TRUE(worker.start("test-again", [] {}));
    EXPECT_TRUE(worker.stop(5000));
    EXPECT_TRUE(worker.stop(5000)) << "stopping twice is harmless";
}

TEST(WorkerThread, WaitUntilWakesOnNotifyAndOnStop) {
    WorkerThread worker;
    std::atomic<bool> ready{false};
    std::atomic<int> woken{0};
    std::atomic<bool> sawStop{false};
    worker.start("test-wait", [&] {
        while (worker.waitUntil([&] { return ready.load(); })) {
            ++woken;
            ready = false;
        }
        sawStop = true;
    });
    for (int i = 1; i <= 3; ++i) {
        ready = true;
        worker.notify();
        while (woken.load() < i)
            std::this_thread::yield();
    }
    EXPECT_TRUE(worker.stop(5000));
    EXPECT_TRUE(sawStop.load());
    EXPECT_EQ(woken.load(), 3);
}

TEST(WorkerThread, ALateWorkerIsStillJoinedAndStopWakesItsOwnWait) {
    // The body waits on a condition of its own; stop's wake function ends it.
    std::mutex mutex;
    std::condition_variable cv;
    bool release = false;
    std::atomic<bool> returned{false};
    WorkerThread worker;
    worker.start("test-late", [&] {
        std::unique_lock<std::mutex> lock(mutex);
        cv.wait(lock, [&] { return release; });
        // Reports after the stop's limit has run out.
        lock.unlock();
        std::this_thread::sleep_for(300ms);
        returned = true;
    });
    const bool inTime = worker.stop(50, [&] {
        std::lock_guard<std::mutex> lock(mutex);
        release = true;
        cv.notify_all();
    });
    EXPECT_FALSE(inTime);
    // Joined all the same: the body has returned when stop() does.
    EXPECT_TRUE(returned.load());
    EXPECT_FALSE(worker.active());
}

TEST(WorkerThread, StopFromTheWorkerItselfOnlyAsks) {
    WorkerThread worker;
    std::atomic<bool> asked{false};
    worker.start("test-self", [&] {
        asked = !worker.stop(1000);
        while (worker.running())
            worker.waitFor(10ms);
    });
    EXPECT_TRUE(worker.stop(5000));
    EXPECT_TRUE(asked.load());
}

#ifdef __linux__
TEST(WorkerThread, CarriesItsName) {
    WorkerThread worker;
    char name[32] = {};
    std::atomic<bool> read{false};
    worker.start("orun-test-name-that-is-long", [&] {
        pthread_getname_np(pthread_self(), name, sizeof(name));
        read = true;
    });
    worker.stop(5000);
    ASSERT_TRUE(read.load());
    EXPECT_STREQ(name, "orun-test-name-");
}
#endif
