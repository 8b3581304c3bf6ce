#include "app/gamepad/GamepadMapping.h"

#include <algorithm>
#include <cmath>

namespace {

double unit(int16_t raw) {
    return std::clamp(raw / 32767.0, -1.0, 1.0);
}

double deadZoneOf(const GamepadSettings& settings) {
    const double d = settings.deadZone;
    return d == d ? std::clamp(d, 0.0, 0.5) : 0.0;
}

// One axis (or trigger) past the dead zone, with the response curve.
double pastDeadZone(double value, double deadZone) {
    const double m = std::abs(value);
    if (m <= deadZone)
        return 0;
    const double out = gamepadResponse((m - deadZone) / (1 - deadZone));
    return value < 0 ? -out : out;
}

} // namespace

double gamepadResponse(double travel) {
    const double t = std::clamp(travel, 0.0, 1.0);
    return t * t;
}

GamepadDrive gamepadDrive(const GamepadAxes& axes, const GamepadSettings& settings) {
    const double deadZone = deadZoneOf(settings);
    GamepadDrive drive;

    const double x = unit(axes.leftX);
    const double up = settings.invertVertical ? unit(axes.leftY) : -unit(axes.leftY);
    // Square pads report more than 1 on a diagonal: the rim is the top.
    const double magnitude = std::hypot(x, up);
    const double reach = std::min(1.0, magnitude);
    if (reach > deadZone) {
        const double speed = gamepadResponse((reach - deadZone) / (1 - deadZone));
        drive.pan = std::clamp(x / magnitude * speed, -1.0, 1.0);
        drive.tilt = std::clamp(up / magnitude * speed, -1.0, 1.0);
    }

    if (settings.zoom == GamepadZoomControl::RightStick) {
        drive.zoom = pastDeadZone(-unit(axes.rightY), deadZone);
    } else {
        const double in = pastDeadZone(std::max(0.0, unit(axes.rightTrigger)), deadZone);
        const double out = pastDeadZone(std::max(0.0, unit(axes.leftTrigger)), deadZone);
        drive.zoom = in - out;
    }
    return drive;
}
