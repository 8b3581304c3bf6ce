// What the sticks and triggers ask of the camera: the dead zone, the top
// speeds at the edge, the curve between, the vertical direction and what zooms.
#include "app/gamepad/GamepadMapping.h"

#include <gtest/gtest.h>

namespace {

constexpr int16_t kEdge = 32767;
constexpr int16_t kTop = -32768; // a stick pushed all the way up

GamepadAxes left(int x, int y) {
    GamepadAxes a;
    a.leftX = static_cast<int16_t>(x);
    a.leftY = static_cast<int16_t>(y);
    return a;
}

} // namespace

TEST(GamepadMapping, TheDeadZoneGivesNothingAndTheEdgeGivesTopSpeedWithAFineRangeBetween) {
    const GamepadSettings s; // 15 % dead zone
    // Resting noise and small pushes, straight or diagonal, do nothing.
    for (const GamepadAxes& a : {left(0, 0), left(4000, 0), left(0, -4900), left(3400, 3400)}) {
        const GamepadDrive d = gamepadDrive(a, s);
        EXPECT_FALSE(d.steers()) << a.leftX << "," << a.leftY;
        EXPECT_EQ(d.zoom, 0);
    }
    // The edge in each direction: that direction's top speed, nothing across.
    EXPECT_DOUBLE_EQ(gamepadDrive(left(kEdge, 0), s).pan, 1.0);
    EXPECT_DOUBLE_EQ(gamepadDrive(left(kEdge, 0), s).tilt, 0.0);
    EXPECT_DOUBLE_EQ(gamepadDrive(left(-32768, 0), s).pan, -1.0);
    EXPECT_DOUBLE_EQ(gamepadDrive(left(0, kTop), s).tilt, 1.0);
    EXPECT_DOUBLE_EQ(gamepadDrive(left(0, kEdge), s).tilt, -1.0);
    // A diagonal to the rim goes as fast as a straight push, shared out.
    const GamepadDrive diagonal = gamepadDrive(left(kEdge, kTop), s);
    EXPECT_NEAR(diagonal.pan, 0.7071, 1e-3);
    EXPECT_NEAR(diagonal.tilt, 0.7071, 1e-3);
    // Between: from nothing just past the dead zone to the top, always
    // faster further out, and slow for the first half of the travel.
    double last = 0;
    for (int x = 5000; x <= kEdge; x += 1000) {
        const double pan = gamepadDrive(left(x, 0), s).pan;
        EXPECT_GT(pan, last) << x;
        last = pan;
    }
    EXPECT_LT(gamepadDrive(left(kEdge / 2, 0), s).pan, 0.25);
    EXPECT_LT(gamepadDrive(left(5000, 0), s).pan, 0.001);
}

TEST(GamepadMapping, TheDirectionAndTheZoomFollowTheSettings) {
    GamepadSettings s;
    s.invertVertical = true;
    EXPECT_DOUBLE_EQ(gamepadDrive(left(0, kTop), s).tilt, -1.0) << "up tilts down when inverted";
    EXPECT_DOUBLE_EQ(gamepadDrive(left(kEdge, 0), s).pan, 1.0) << "pan stays as it is";

    // The right stick: up zooms in, down out, its own dead zone; the
    // triggers do nothing then.
    s = GamepadSettings();
    GamepadAxes a;
    a.rightY = kTop;
    EXPECT_DOUBLE_EQ(gamepadDrive(a, s).zoom, 1.0);
    a.rightY = kEdge;
    EXPECT_DOUBLE_EQ(gamepadDrive(a, s).zoom, -1.0);
    a.rightY = -3000;
    EXPECT_EQ(gamepadDrive(a, s).zoom, 0.0);
    a = GamepadAxes();
    a.rightTrigger = kEdge;
    EXPECT_EQ(gamepadDrive(a, s).zoom, 0.0);

    // The triggers: right in, left out, both pressed cancel; the right
    // stick does nothing then, and neither does the left one zoom.
    s.zoom = GamepadZoomControl::Triggers;
    EXPECT_DOUBLE_EQ(gamepadDrive(a, s).zoom, 1.0);
    a.leftTrigger = kEdge;
    EXPECT_DOUBLE_EQ(gamepadDrive(a, s).zoom, 0.0);
    a.rightTrigger = 0;
    EXPECT_DOUBLE_EQ(gamepadDrive(a, s).zoom, -1.0);
    a = GamepadAxes();
    a.rightY = kTop;
    a.rightTrigger = 2000; // a trigger's resting slack
    EXPECT_EQ(gamepadDrive(a, s).zoom, 0.0);
    EXPECT_FALSE(gamepadDrive(a, s).steers());

    // A dead zone out of range is held to its limits: none, or half the travel.
    s = GamepadSettings();
    s.deadZone = -1;
    EXPECT_GT(gamepadDrive(left(500, 0), s).pan, 0.0);
    s.deadZone = 5;
    EXPECT_FALSE(gamepadDrive(left(kEdge / 2 - 100, 0), s).steers());
    EXPECT_DOUBLE_EQ(gamepadDrive(left(kEdge, 0), s).pan, 1.0);
}
