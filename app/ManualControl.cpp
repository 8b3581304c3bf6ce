#include "app/ManualControl.h"

#include "hub/OrunAppFace.h"

#include <algorithm>

namespace manual {

namespace {
// Operation codes of the runtime.
constexpr int kFocus = 0;
constexpr int kGimbalMotion = 2;
constexpr int kZoom = 3;
constexpr int kAiFunction = 13;
constexpr int kGimbalPeriodMs = 120;

float clampedFraction(double v) {
    if (!(v == v))
        return 0.0f;
    return static_cast<float>(std::clamp(v, -1.0, 1.0));
}

void requestAi(int mode, int value) {
    OrunAppFace* hub = OrunAppFace::instance();
    hub->iAiMode.store(mode);
    hub->iAiValue.store(value);
    hub->postOperation(kAiFunction);
}
} // namespace

GimbalSpeed driveSpeed(double pan, double tilt) {
    GimbalSpeed speed;
    speed.f[0] = 1000;
    const float p = clampedFraction(pan);
    const float t = clampedFraction(tilt);
    if (p == 0.0f && t == 0.0f) {
        speed.i[0] = speed.i[1] = speed.i[2] = 100;
        return speed;
    }
    // The record of the joystick's knob pushed that way (as the arrow keys
    // push it): knob right gives -30 in the pan float, knob up -25 in tilt.
    speed.f[1] = -t * kJoystickTiltSpeed;
    speed.f[2] = -p * kJoystickPanSpeed;
    // No negative zero in the record: the camera sees the same bytes the
    // joystick sends for an axis at rest.
    if (speed.f[1] == 0.0f)
        speed.f[1] = 0.0f;
    if (speed.f[2] == 0.0f)
        speed.f[2] = 0.0f;
    speed.i[0] = speed.i[1] = speed.i[2] = 200;
    return speed;
}

void steerGimbal(const GimbalSpeed& speed) {
    OrunAppFace* hub = OrunAppFace::instance();
    hub->gimbalSpeed.set(speed);
    if (hub->iOperating.load(std::memory_order_acquire) != 1) {
        hub->bGimbalMoving.store(true);
        hub->iGimbalPeriodMs.store(kGimbalPeriodMs);
        hub->postOperation(kGimbalMotion);
    }
}

void stopGimbal() {
    OrunAppFace::instance()->bGimbalMoving.store(false);
}

void resumeTracking() {
    requestAi(0, 1);
}

void setTracking(bool on) {
    requestAi(0, on ? 1 : 0);
}

void focusAt(const QPointF& point) {
    OrunAppFace* hub = OrunAppFace::instance();
    hub->ptFocus.set(point);
    hub->postOperation(kFocus);
}

void zoomTo(float factor) {
    OrunAppFace* hub = OrunAppFace::instance();
    hub->iZoomSpeed = 100;
    hub->fZoomRate = factor;
    hub->postOperation(kZoom);
}

} // namespace manual
