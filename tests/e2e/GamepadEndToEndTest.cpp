// A game controller (one of SDL's virtual pads) steers the camsim camera
// through the running program: its stick sends what the on-screen joystick
// sends, its buttons what their keys send.

#include "CameraRequests.h"
#include "CamsimProcess.h"
#include "E2eWindow.h"

#include "../support/VirtualGamepad.h"
#include "app/GamepadControl.h"
#include "app/ManualControl.h"
#include "hub/OrunAppFace.h"
#include "video/videoctl.h"

#include <QCheckBox>
#include <QtTest/QTest>

#include <gtest/gtest.h>

namespace {

using camerarequests::bytes;
using camerarequests::floatAt;
using camerarequests::movingSpeeds;
using camerarequests::trackingResumedAfterSpeeds;

constexpr int kCamera = 1; // command sets as camsim logs them
constexpr int kSdk = 3;

// The program linked to camsim with game controllers on and a pad plugged in.
class GamepadEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(camsim.start());
        app = std::make_unique<E2eWindow>();
        ASSERT_TRUE(app->waitForFrames(3, 20000)) << "no pictures";
        QWidget* overlay = app->overlay();
        ASSERT_NE(overlay, nullptr);
        ASSERT_TRUE(QTest::qWaitFor([&] { return overlay->isVisible(); }, 3000));
        app->window().activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&app->window()));

        ControlSettings control;
        control.gamepad = true;
        GamepadControl::instance()->apply(control);
        ASSERT_TRUE(pad.plugged()) << pad.error();
        GamepadControl::instance()->lookForControllers();
        ASSERT_TRUE(QTest::qWaitFor(
            [] { return GamepadControl::instance()->controllers().size() == 1; }, 5000));
    }
    void TearDown() override {
        pad.unplug();
        GamepadControl::instance()->stop();
        app.reset();
    }

    // A button pressed and let go, as a thumb does (the pad is read every
    // 10 ms: a shorter press, or a shorter pause, could fall between reads).
    void press(SDL_GameControllerButton button) {
        pad.setButton(button, true);
        QTest::qWait(80);
        pad.setButton(button, false);
        QTest::qWait(80);
    }
    void key(Qt::Key k) { QTest::keyClick(&app->window(), k); }
    // The runtime takes one operation at a time: the next request waits
    // until the last one was answered.
    static void settle() {
        EXPECT_TRUE(
            QTest::qWaitFor([] { return OrunAppFace::instance()->iOperating.load() == 0; }, 3000))
            << "the runtime stayed busy";
        QTest::qWait(100);
    }

    CamsimProcess camsim;
    std::unique_ptr<E2eWindow> app;
    VirtualGamepad pad{"Test pad"};
};

TEST_F(GamepadEndToEnd, TheLeftStickSteersAsTheJoystickAndLettingGoOrUnpluggingResumesTracking) {
    // Inside the dead zone: nothing moves.
    camsim.mark();
    pad.setAxis(SDL_CONTROLLER_AXIS_LEFTX, 3000);
    pad.setAxis(SDL_CONTROLLER_AXIS_LEFTY, -2000);
    QTest::qWait(600);
    EXPECT_TRUE(movingSpeeds(camsim).empty());

    // All the way right: the joystick's top pan speed, no tilt.
    pad.setAxis(SDL_CONTROLLER_AXIS_LEFTX, 32767);
    pad.setAxis(SDL_CONTROLLER_AXIS_LEFTY, 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !movingSpeeds(camsim).empty(); }, 3000));
    QByteArray speed = movingSpeeds(camsim).back();
    ASSERT_EQ(speed.size(), 24);
    EXPECT_FLOAT_EQ(floatAt(speed, 4), 0.0f);
    EXPECT_FLOAT_EQ(floatAt(speed, 8), -manual::kJoystickPanSpeed);

    // Let go: the motion ends and tracking resumes, as after the joystick's release.
    pad.setAxis(SDL_CONTROLLER_AXIS_LEFTX, 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return trackingResumedAfterSpeeds(camsim); }, 3000))
        << "no release";

    // Up at the edge, then the pad pulled out mid-drive: the gimbal stops.
    QTest::qWait(300);
    camsim.mark();
    pad.setAxis(SDL_CONTROLLER_AXIS_LEFTY, -32768);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !movingSpeeds(camsim).empty(); }, 3000));
    speed = movingSpeeds(camsim).back();
    EXPECT_FLOAT_EQ(floatAt(speed, 4), -manual::kJoystickTiltSpeed);
    EXPECT_FLOAT_EQ(floatAt(speed, 8), 0.0f);
    pad.unplug();
    ASSERT_TRUE(QTest::qWaitFor([&] { return trackingResumedAfterSpeeds(camsim); }, 3000))
        << "the gimbal went on turning without its controller";
    EXPECT_FALSE(OrunAppFace::instance()->bGimbalMoving.load());
    EXPECT_TRUE(
        QTest::qWaitFor([] { return GamepadControl::instance()->controllers().isEmpty(); }, 3000));
}

TEST_F(GamepadEndToEnd, ButtonsSendWhatTheirKeysSendAndTheRightStickZooms) {
    OrunAppFace* hub = OrunAppFace::instance();
    OrunAppUI& window = app->window();

    // X locks and frees the gimbal, as L does.
    camsim.mark();
    key(Qt::Key_L);
    ASSERT_TRUE(camsim.waitForCount(kSdk, 0x051, 1, 3000));
    settle();
    press(SDL_CONTROLLER_BUTTON_X);
    ASSERT_TRUE(camsim.waitForCount(kSdk, 0x051, 2, 3000));
    settle();
    press(SDL_CONTROLLER_BUTTON_X);
    ASSERT_TRUE(camsim.waitForCount(kSdk, 0x051, 3, 3000));
    settle();
    key(Qt::Key_L);
    ASSERT_TRUE(camsim.waitForCount(kSdk, 0x051, 4, 3000));
    settle();
    const auto locks = camsim.since(kSdk, 0x051);
    EXPECT_EQ(locks[0].payload, bytes({7, 1})) << "L locks";
    EXPECT_EQ(locks[1].payload, bytes({7, 0})) << "X frees";
    EXPECT_EQ(locks[2].payload, bytes({7, 1})) << "X locks";
    EXPECT_EQ(locks[3].payload, bytes({7, 0})) << "L frees";

    // A is the shutter of the current mode, as Space: a photo.
    ASSERT_EQ(hub->iWorkMode.load(), 0);
    QTest::qWait(300);
    camsim.mark();
    key(Qt::Key_Space);
    const QByteArray byKey = camsim.waitFor(kCamera, 0x600, 5000).payload;
    QTest::qWait(1200);
    camsim.mark();
    press(SDL_CONTROLLER_BUTTON_A);
    EXPECT_EQ(camsim.waitFor(kCamera, 0x600, 5000).payload, byKey);
    EXPECT_EQ(byKey, bytes({0}));

    // B switches between photo and video, as M.
    QTest::qWait(1200);
    camsim.mark();
    press(SDL_CONTROLLER_BUTTON_B);
    EXPECT_GE(camsim.waitFor(kCamera, 0x200, 8000).set, 0) << "no work-mode change";
    EXPECT_TRUE(QTest::qWaitFor([&] { return hub->iWorkMode.load() == 1; }, 8000));
    QTest::qWait(500);
    key(Qt::Key_M);
    EXPECT_TRUE(QTest::qWaitFor([&] { return hub->iWorkMode.load() == 0; }, 8000));

    // Y, Start, Back: the target boxes, full screen and the statistics, as T, F and I.
    press(SDL_CONTROLLER_BUTTON_Y);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !hub->showTarget.load(); }, 3000));
    key(Qt::Key_T);
    EXPECT_TRUE(hub->showTarget.load());
    press(SDL_CONTROLLER_BUTTON_START);
    EXPECT_TRUE(QTest::qWaitFor([&] { return window.isFullScreenView(); }, 3000));
    key(Qt::Key_F);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !window.isFullScreenView(); }, 3000));
    auto* stats = window.findChild<QCheckBox*>(QStringLiteral("cbShowStats"));
    ASSERT_NE(stats, nullptr);
    const bool statsShown = stats->isChecked();
    press(SDL_CONTROLLER_BUTTON_BACK);
    EXPECT_TRUE(QTest::qWaitFor([&] { return stats->isChecked() != statsShown; }, 3000));
    press(SDL_CONTROLLER_BUTTON_BACK);
    EXPECT_TRUE(QTest::qWaitFor([&] { return stats->isChecked() == statsShown; }, 3000));

    // The right stick up zooms in step by step; let go, the steps end.
    QTest::qWait(300);
    camsim.mark();
    pad.setAxis(SDL_CONTROLLER_AXIS_RIGHTY, -32768);
    ASSERT_TRUE(camsim.waitForCount(kSdk, 0x047, 3, 5000)) << "no zoom steps";
    pad.setAxis(SDL_CONTROLLER_AXIS_RIGHTY, 0);
    QTest::qWait(300);
    const auto steps = camsim.since(kSdk, 0x047);
    ASSERT_GE(steps.size(), 3u);
    for (size_t i = 1; i < steps.size(); ++i)
        EXPECT_GT(floatAt(steps[i].payload, 1), floatAt(steps[i - 1].payload, 1)) << i;
    EXPECT_NEAR(floatAt(steps[0].payload, 1),
                1.0 + GamepadControl::kTopZoomRate * GamepadControl::kZoomStepMs / 1000.0, 0.05);
    QTest::qWait(400);
    EXPECT_EQ(camsim.since(kSdk, 0x047).size(), steps.size()) << "zoom went on after the stick";

    // Behind another window the controller does nothing (the default), and
    // a drive in progress ends.
    camsim.mark();
    pad.setAxis(SDL_CONTROLLER_AXIS_LEFTX, -32768);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !movingSpeeds(camsim).empty(); }, 3000));
    GamepadControl::instance()->followApplicationState(Qt::ApplicationInactive);
    ASSERT_TRUE(QTest::qWaitFor([&] { return trackingResumedAfterSpeeds(camsim); }, 3000));
    QTest::qWait(300);
    camsim.mark();
    press(SDL_CONTROLLER_BUTTON_X);
    pad.setAxis(SDL_CONTROLLER_AXIS_LEFTX, 32767);
    QTest::qWait(600);
    EXPECT_TRUE(camsim.since(kSdk, 0x051).empty());
    EXPECT_TRUE(movingSpeeds(camsim).empty());
    GamepadControl::instance()->followApplicationState(Qt::ApplicationActive);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !movingSpeeds(camsim).empty(); }, 3000))
        << "back in front the stick counts where it is";
    pad.setAxis(SDL_CONTROLLER_AXIS_LEFTX, 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return trackingResumedAfterSpeeds(camsim); }, 3000));
}

} // namespace
