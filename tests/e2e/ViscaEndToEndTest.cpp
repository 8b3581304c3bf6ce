// A PTZ controller (written here from the VISCA-over-IP description) steers
// the camsim camera through the running program: the program answers as a
// VISCA camera and its requests reach the camera as the ones the joystick,
// the zoom slider and a click into the picture send.

#include "CameraRequests.h"
#include "CamsimProcess.h"
#include "E2eWindow.h"

#include "../support/ViscaClient.h"
#include "app/RunOptions.h"
#include "app/ViscaControl.h"
#include "hub/OrunAppFace.h"
#include "video/videoctl.h"

#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <cstring>

namespace {

constexpr int kCamera = 1; // command sets as camsim logs them
constexpr int kSdk = 3;
constexpr uint16_t kViscaPort = 52381;

const QByteArray kAck = viscaBytes({0x90, 0x41, 0xFF});
const QByteArray kCompletion = viscaBytes({0x90, 0x51, 0xFF});

using camerarequests::floatAt;

// The program with its VISCA server on for the run, linked to camsim.
class ViscaEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(camsim.start());
        RunOverrides run;
        run.viscaAddress = QStringLiteral("127.0.0.1");
        run.viscaPort = kViscaPort;
        setRunOverrides(run);
        app = std::make_unique<E2eWindow>();
        ASSERT_TRUE(QTest::qWaitFor([] { return videoctl::instance()->linkUp(); }, 20000))
            << "camera not linked";
    }
    void TearDown() override {
        app.reset();
        setRunOverrides(RunOverrides());
    }

    // Replies to one request, read without running the event loop: camsim's
    // log waits in its pipe meanwhile.
    std::vector<ViscaReply> replies(int n) {
        std::vector<ViscaReply> out;
        while (static_cast<int>(out.size()) < n) {
            auto r = client.receive(5000);
            if (!r)
                break;
            out.push_back(*r);
        }
        return out;
    }
    // A command, its ACK and then its completion, both with its sequence number.
    void command(const QByteArray& message, const char* what) {
        const uint32_t seq = client.command(message);
        const auto r = replies(2);
        ASSERT_EQ(r.size(), 2u) << what;
        EXPECT_EQ(r[0].message, kAck) << what;
        EXPECT_EQ(r[1].message, kCompletion) << what;
        EXPECT_EQ(r[0].sequence, seq) << what;
        EXPECT_EQ(r[1].sequence, seq) << what;
    }
    // True once an AI setting came after the last gimbal speed: the release.
    bool releasedAfterSpeeds() const {
        bool speedSeen = false, released = false;
        for (const LoggedRequest& r : camsim.requests()) {
            if (r.set != kSdk)
                continue;
            if (r.id == 0x025) {
                speedSeen = true;
                released = false;
            } else if (r.id == 0x051 && speedSeen) {
                released = true;
            }
        }
        return released;
    }

    CamsimProcess camsim;
    std::unique_ptr<E2eWindow> app;
    ViscaTestClient client{kViscaPort};
};

TEST_F(ViscaEndToEnd, AControllerSteersZoomsAndFocusesTheCamera) {
    // The connect sequence of PTZ tools: reset the numbering, then power,
    // version and lens-block inquiries.
    client.reset();
    auto r = replies(1);
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].payloadType, 0x0201);
    EXPECT_EQ(r[0].message, viscaBytes({0x01}));
    client.inquiry(viscaBytes({0x81, 0x09, 0x04, 0x00, 0xFF}));
    r = replies(1);
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].payloadType, 0x0111);
    EXPECT_EQ(r[0].message, viscaBytes({0x90, 0x50, 0x02, 0xFF}));
    client.inquiry(viscaBytes({0x81, 0x09, 0x00, 0x02, 0xFF}));
    r = replies(1);
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].message.size(), 10);
    EXPECT_EQ(r[0].message.left(2), viscaBytes({0x90, 0x50}));
    client.inquiry(viscaBytes({0x81, 0x09, 0x7E, 0x7E, 0x00, 0xFF}));
    r = replies(1);
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].message.size(), 16);

    // Pan right at half speed: the joystick's "right" record at half its speed.
    camsim.mark();
    command(viscaBytes({0x81, 0x01, 0x06, 0x01, 0x0C, 0x01, 0x02, 0x03, 0xFF}), "drive");
    const LoggedRequest speed = camsim.waitFor(kSdk, 0x025, 5000);
    ASSERT_EQ(speed.payload.size(), 24);
    EXPECT_FLOAT_EQ(floatAt(speed.payload, 0), 1000.0f);
    EXPECT_FLOAT_EQ(floatAt(speed.payload, 4), 0.0f);
    EXPECT_FLOAT_EQ(floatAt(speed.payload, 8), -15.0f);
    // Stop: the motion ends and tracking resumes, as after the joystick's release.
    command(viscaBytes({0x81, 0x01, 0x06, 0x01, 0x0C, 0x01, 0x03, 0x03, 0xFF}), "stop");
    EXPECT_TRUE(QTest::qWaitFor([&] { return releasedAfterSpeeds(); }, 5000)) << "no release";

    // Zoom tele at full speed, then stop: rising factors in between.
    camsim.mark();
    command(viscaBytes({0x81, 0x01, 0x04, 0x07, 0x27, 0xFF}), "tele");
    EXPECT_TRUE(camsim.waitForCount(kSdk, 0x047, 2, 5000)) << "no zoom steps";
    command(viscaBytes({0x81, 0x01, 0x04, 0x07, 0x00, 0xFF}), "zoom stop");
    const auto steps = camsim.since(kSdk, 0x047);
    ASSERT_GE(steps.size(), 2u);
    EXPECT_GT(floatAt(steps[1].payload, 1), floatAt(steps[0].payload, 1));
    QTest::qWait(500);

    // Zoom direct: position 2000h is halfway, 2.25x.
    camsim.mark();
    command(viscaBytes({0x81, 0x01, 0x04, 0x47, 0x02, 0x00, 0x00, 0x00, 0xFF}), "zoom direct");
    const LoggedRequest zoom = camsim.waitFor(kSdk, 0x047, 5000);
    ASSERT_EQ(zoom.payload.size(), 5);
    EXPECT_FLOAT_EQ(floatAt(zoom.payload, 1), 2.25f);

    // One-push focus: the centre of the picture.
    camsim.mark();
    command(viscaBytes({0x81, 0x01, 0x04, 0x18, 0x01, 0xFF}), "one-push focus");
    const LoggedRequest focus = camsim.waitFor(kCamera, 0x278, 5000);
    ASSERT_EQ(focus.payload.size(), 8);
    EXPECT_FLOAT_EQ(floatAt(focus.payload, 0), 0.5f);
    EXPECT_FLOAT_EQ(floatAt(focus.payload, 4), 0.5f);

    // The controller is known to the statistics.
    EXPECT_EQ(viscaControllerSeen().who, QStringLiteral("127.0.0.1:%1").arg(client.localPort()));
}

TEST_F(ViscaEndToEnd, ADriveOfASilentControllerStopsAndBadInputIsAnswered) {
    camsim.mark();
    command(viscaBytes({0x81, 0x01, 0x06, 0x01, 0x01, 0x17, 0x03, 0x01, 0xFF}), "drive up");
    const LoggedRequest speed = camsim.waitFor(kSdk, 0x025, 5000);
    EXPECT_FLOAT_EQ(floatAt(speed.payload, 4), -25.0f);
    // No stop comes: the drive ends on its own.
    EXPECT_TRUE(QTest::qWaitFor([&] { return releasedAfterSpeeds(); }, 10000))
        << "the drive went on without commands";

    // Bad input gets a syntax error and moves nothing.
    camsim.mark();
    client.command(viscaBytes({0x81, 0x01, 0x06, 0x01, 0x0C}));
    auto r = replies(1);
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].message, viscaBytes({0x90, 0x60, 0x02, 0xFF}));
    client.sendRaw(viscaBytes({0x01, 0x00}));
    r = replies(1);
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].message, viscaBytes({0x90, 0x60, 0x02, 0xFF}));
    QTest::qWait(300);
    EXPECT_TRUE(camsim.since(kSdk, 0x025).empty());
}

} // namespace
