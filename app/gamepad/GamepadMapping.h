#pragma once

// What a game controller's sticks and triggers ask of the camera, from their
// raw positions: the gimbal drive of the left stick and the zoom of the right
// stick (up and down) or of the triggers. No SDL and no Qt here.

#include <cstdint>

enum class GamepadZoomControl {
    RightStick, // up zooms in, down out
    Triggers,   // the right trigger zooms in, the left one out
};

struct GamepadSettings {
    // The part of a stick's travel (and of a trigger's) around rest that
    // does nothing, 0 to 0.5.
    double deadZone = 0.15;
    // Pushing the left stick up tilts the camera down.
    bool invertVertical = false;
    GamepadZoomControl zoom = GamepadZoomControl::RightStick;
};

// The positions as SDL reports them: sticks -32768..32767 with y down,
// triggers 0..32767.
struct GamepadAxes {
    int16_t leftX = 0;
    int16_t leftY = 0;
    int16_t rightX = 0;
    int16_t rightY = 0;
    int16_t leftTrigger = 0;
    int16_t rightTrigger = 0;

    bool operator==(const GamepadAxes& o) const {
        return leftX == o.leftX && leftY == o.leftY && rightX == o.rightX && rightY == o.rightY &&
               leftTrigger == o.leftTrigger && rightTrigger == o.rightTrigger;
    }
    bool operator!=(const GamepadAxes& o) const { return !(*this == o); }
};

// Fractions of the joystick's top speeds (right and up positive) and of the
// top zoom rate (in positive), each -1..1; all 0 at rest.
struct GamepadDrive {
    double pan = 0;
    double tilt = 0;
    double zoom = 0;

    bool steers() const { return pan != 0 || tilt != 0; }
};

// The response of a stick past its dead zone: `travel` 0..1 of the rest of
// the way to the edge gives this fraction of the top speed. Squared, so that
// small deflections give fine motion and the edge still gives full speed.
double gamepadResponse(double travel);

// The drive of these positions. The left stick's dead zone is round (a
// diagonal push is as far from rest as a straight one); a push to the edge
// in one direction gives that direction's top speed.
GamepadDrive gamepadDrive(const GamepadAxes& axes, const GamepadSettings& settings);

// The buttons that give commands, by their place on an Xbox-style pad.
enum class GamepadButton { A, B, X, Y, Start, Back };
