#pragma once

#include "app/BurstCountdown.h"
#include "app/ManualControl.h"

#include "hub/CameraStatus.h"

#include <QPointF>
#include <QSizeF>
#include <QString>

// The arithmetic of the video control overlay, kept apart from the widgets so
// that it can be checked on its own.
namespace overlay {

// Delay that tells a single click from the first half of a double click.
constexpr int kClickDelayMs = 500;
// From a half second of the camera's burst clock to the next whole one, as the
// countdown widget ticks.
constexpr int kBurstAlignMs = 470;
// Pause between releasing the joystick and resuming subject tracking.
constexpr int kReleaseResumeMs = manual::kResumeAfterReleaseMs;
// Width of the left, right and bottom bands where presses are not video clicks.
constexpr int kEdgeBand = 5;

// Joystick sector of a direction angle in degrees (0 right, counter-clockwise,
// as QLineF::angle gives it): 0 for [337.5, 360) and [0, 22.5), then 1 .. 7
// for each following 45° band; −1 for anything else (not a number, out of range).
int joystickSector(double angleDegrees);

// Sector of a knob pushed `offset` pixels away from its rest (y down, as on
// screen), as the joystick takes it: the direction of the line from the knob
// back to its rest; −1 for a knob at rest.
int sectorForKnobOffset(const QPointF& offset);

// Gimbal speed record sent while the joystick points into a sector
// (−1: the neutral record).
GimbalSpeed speedForSector(int sector);

// A point in widget pixels as fractions of the widget size: a coordinate below
// 0 becomes 2 pixels, one beyond the size becomes size − 2, then it is divided
// by the size. A zero size gives 0.
QPointF normalisePoint(const QPointF& point, const QSizeF& size);

// True for a point in the right band (W − 5 < x ≤ W), the bottom band
// (H − 5 < y ≤ H) or the left band (0 < x ≤ 5).
bool inEdgeBand(const QPointF& point, const QSizeF& size);

// Icon file (under :/icon/Takephoto/) of the photo-mode button.
QString photoModeIconFile(int photoMode, int photoParam);
// Untranslated label of the photo-mode button ("单拍", "连拍", "多拍").
const char* photoModeLabel(int photoMode);

// What the shutter button does in a camera state.
enum class ShutterKind {
    VideoStop,   // stop the running recording
    VideoStart,  // start a recording
    SingleShot,  // take one photo
    CaptureStop, // stop the running burst or multi-shot capture
    BurstStart,  // start a burst
    MultiStart,  // take a multi-shot series
};

struct ShutterPlan {
    ShutterKind kind;
    int operation; // runtime operation code
    int waitMs;    // how long the result is awaited
    bool withMask; // loading mask shown while waiting
};

// The shutter row for a work mode (1 video, anything else photo), photo
// sub-mode (0 single, 1 burst, 2 multi-shot) and whether a capture runs.
ShutterPlan planShutter(int workMode, int subMode, bool running);

// Top edge of the k-th stacked fault banner.
inline int bannerTop(int k, int bannerHeight) {
    return (bannerHeight + 18) * k + 18;
}

} // namespace overlay
