// The simulated camera's media side as a client sees it: a session ends
// when its client goes silent, and the reply faults behave as switched.
#include "tools/camsim/media/MediaCamera.h"
#include "kcpclient/KcpCmdOp.h"
#include "kcpclient/SockUdpBoost.h"
#include "tests/kcpclient/MediaCameraStarter.h"

#include <gtest/gtest.h>

#include "tests/support/Eventually.h"

#include <chrono>
#include <random>
#include <thread>

using camsim::MediaCamera;
using camsim::MediaConfig;
using camsim::MediaFaults;

TEST(MediaCamera, SessionEndsWhenTheClientGoesSilent) {
    MediaConfig config;
    config.silenceTimeoutMs = 300;
    auto camera = start_camera(config);
    camera->setVideoSource(std::make_shared<camsim::PatternVideoSource>(100, 1000, 1, 30));
    KcpCmdOp op(make_connected_socket("127.0.0.1", camera->commandPort(), 200));
    // A media endpoint nobody reads: the camera hears no acknowledgements.
    auto start = op.start_session(MediaEndpoint{"127.0.0.1", 9}, 3);
    ASSERT_GE(start.code, 0);
    EXPECT_EQ(start.address, "127.0.0.1");
    EXPECT_NE(start.port, 0);
    EXPECT_EQ(camera->counters().sessionsStarted, 1u); // three copies, one session
    EXPECT_TRUE(camera->sessionActive());
    EXPECT_TRUE(eventually([&] { return !camera->sessionActive(); }, 3000));
    EXPECT_GT(camera->counters().framesSent, 0u);
}

TEST(MediaCamera, ReplyFaults) {
    auto camera = start_camera();
    KcpCmdOp op(make_connected_socket("127.0.0.1", camera->commandPort(), 200));
    const MediaEndpoint self{"127.0.0.1", 9};

    MediaFaults f;
    f.replyToThirdCopyOnly = true;
    camera->setFaults(f);
    EXPECT_TRUE(op.stop_session(self, 3));

    for (int length : {9, 75}) {
        f = MediaFaults{};
        f.replyLength = length;
        camera->setFaults(f);
        EXPECT_FALSE(op.stop_session(self, 3)) << length;
    }
    f = MediaFaults{};
    f.badChecksum = true;
    camera->setFaults(f);
    EXPECT_FALSE(op.stop_session(self, 3));
    f = MediaFaults{};
    f.status = 4;
    camera->setFaults(f);
    EXPECT_FALSE(op.stop_session(self, 3));
    EXPECT_EQ(op.start_session(self, 3).code, -1);

    // Replies 700 ms late miss their transaction and the next one too.
    f = MediaFaults{};
    f.replyDelayMs = 700;
    camera->setFaults(f);
    EXPECT_FALSE(op.stop_session(self, 3));
    EXPECT_FALSE(op.stop_session(self, 3));
    camera->setFaults(MediaFaults{});
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    EXPECT_TRUE(op.stop_session(self, 3));
}
