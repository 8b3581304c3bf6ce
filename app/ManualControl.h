#pragma once

// The camera operations a person asks for, whoever passes the request on:
// the overlay's joystick, click and slider, the keys, and the controllers of
// other programs (VISCA). Each one fills the hub's request slot as the
// overlay always has; they may be called from any thread.

#include "hub/CameraStatus.h"

#include <QPointF>

namespace manual {

// The gimbal speeds the joystick sends at full deflection: tilt in the
// record's second float, pan in its third.
constexpr float kJoystickTiltSpeed = 25.0f;
constexpr float kJoystickPanSpeed = 30.0f;
// The camera's zoom range.
constexpr float kMinZoom = 1.0f;
constexpr float kMaxZoom = 3.5f;
// From the end of a manual motion (the joystick let go) to tracking resumed.
constexpr int kResumeAfterReleaseMs = 500;

// The speed record of a drive given as fractions of the joystick's speeds in
// [-1, 1], right and up positive (values outside are clamped); both 0 gives
// the neutral record.
GimbalSpeed driveSpeed(double pan, double tilt);

// A gimbal motion with this record: the record is always updated; the motion
// operation is requested unless an operation is pending (a running motion
// picks the new record up).
void steerGimbal(const GimbalSpeed& speed);
// Ends the motion loop.
void stopGimbal();
// Subject tracking on again after a manual motion, as the joystick's release does.
void resumeTracking();
// Tracking switched on or off.
void setTracking(bool on);
// Focus at a point of the picture (0..1 each, from the top left).
void focusAt(const QPointF& point);
// Zoom to a factor (1.0 to 3.5; others are not sent).
void zoomTo(float factor);

} // namespace manual
