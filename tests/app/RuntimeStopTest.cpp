#include "app/OrunAppRt.h"
#include "hub/OrunAppFace.h"
#include "tests/support/ThreadWakeups.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>

#include <chrono>
#include <thread>

namespace {

// Runs first when the whole program runs: the other test stops the runtime.
TEST(RuntimeStop, BusyFlagWithoutACodeIsReleased) {
    OrunAppFace* hub = OrunAppFace::instance();
    OrunAppRt::instance();
    hub->iOperation = -1;
    hub->iOperating = 1;
    hub->wakeOperationWaiters();
    for (int i = 0; i < 40 && hub->iOperating.load() != 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(hub->iOperating.load(), 0);
}

TEST(RuntimeStop, IdleLoopSleepsUntilAPost) {
    OrunAppFace* hub = OrunAppFace::instance();
    OrunAppRt::instance();
    // Nothing posted for a second: the loop stays asleep (a period would
    // wake it every few tens of milliseconds).
    int threads = 0;
    const uint64_t wakes =
        threadwakeups::wakeups_during("orun-runtime", std::chrono::seconds(1), &threads);
    ASSERT_EQ(threads, 1);
    EXPECT_LT(wakes, 5u);
    // A post is taken at once: code -1 is a busy flag without a code.
    hub->postOperation(-1);
    for (int i = 0; i < 300 && hub->iOperating.load() != 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(hub->iOperating.load(), 0);
}

TEST(RuntimeStop, StopEndsTheLoopPromptlyAndLaterRequestsStayPending) {
    std::shared_ptr<OrunAppRt> rt = OrunAppRt::instance();
    OrunAppFace* hub = OrunAppFace::instance();
    QElapsedTimer timer;
    timer.start();
    rt->stop();
    // The idle loop notices within one pause; the limit is 1 s.
    EXPECT_LT(timer.elapsed(), 1500);

    hub->postOperation(16);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_EQ(hub->iOperating.load(), 1);

    timer.start();
    rt->stop(); // a second stop has nothing left to wait for
    EXPECT_LT(timer.elapsed(), 1500);
}

} // namespace
