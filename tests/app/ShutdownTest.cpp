#include "app/Shutdown.h"
#include "app/OrunAppRt.h"
#include "camera/Camera.h"
#include "hub/OrunAppFace.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>

#include <chrono>
#include <thread>

namespace {

TEST(Shutdown, StopsEveryWorkerWithinItsLimitsWithoutACamera) {
    OrunAppFace* hub = OrunAppFace::instance();
    OrunAppRt::instance();
    Camera::instance(); // idle supervisor: nothing is sent anywhere
    ASSERT_TRUE(hub->uiActive.load());

    QElapsedTimer timer;
    timer.start();
    shutdown();
    // The limits add up to 5 s; idle workers answer at once.
    EXPECT_LT(timer.elapsed(), 5500);
    EXPECT_FALSE(hub->uiActive.load());

    // The runtime is gone: a request stays pending.
    hub->postOperation(14);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_EQ(hub->iOperating.load(), 1);
}

} // namespace
