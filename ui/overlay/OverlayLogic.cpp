#include "ui/overlay/OverlayLogic.h"

#include <QCoreApplication>
#include <QLineF>
#include <QtGlobal>

namespace overlay {

int joystickSector(double angleDegrees) {
    if (!(angleDegrees >= 0.0 && angleDegrees < 360.0))
        return -1;
    if (angleDegrees >= 337.5 || angleDegrees < 22.5)
        return 0;
    return static_cast<int>((angleDegrees - 22.5) / 45.0) + 1;
}

int sectorForKnobOffset(const QPointF& offset) {
    if (offset.isNull())
        return -1;
    return joystickSector(QLineF(offset, QPointF(0, 0)).angle());
}

GimbalSpeed speedForSector(int sector) {
    // Second and third floats by sector; the knob is dragged away from the
    // direction the gimbal turns to.
    static const float kTable[8][2] = {
        {0, 30}, {25, 30}, {25, 0}, {25, -30}, {0, -30}, {-25, -30}, {-25, 0}, {-25, 30},
    };
    GimbalSpeed speed;
    speed.f[0] = 1000;
    if (sector >= 0 && sector < 8) {
        speed.f[1] = kTable[sector][0];
        speed.f[2] = kTable[sector][1];
        speed.i[0] = speed.i[1] = speed.i[2] = 200;
    } else {
        speed.f[1] = speed.f[2] = 0;
        speed.i[0] = speed.i[1] = speed.i[2] = 100;
    }
    return speed;
}

namespace {
float normaliseOne(double value, double extent) {
    if (extent <= 0)
        return 0.0f;
    float v = static_cast<float>(value);
    const float e = static_cast<float>(extent);
    if (v < 0)
        v = 2;
    if (v > e)
        v = e - 2;
    return v / e;
}
} // namespace

QPointF normalisePoint(const QPointF& point, const QSizeF& size) {
    return QPointF(normaliseOne(point.x(), size.width()), normaliseOne(point.y(), size.height()));
}

bool inEdgeBand(const QPointF& point, const QSizeF& size) {
    const double x = point.x();
    const double y = point.y();
    const double w = size.width();
    const double h = size.height();
    return (x > w - kEdgeBand && x <= w) || (y > h - kEdgeBand && y <= h) ||
           (x > 0 && x <= kEdgeBand);
}

QString photoModeIconFile(int photoMode, int photoParam) {
    if (photoMode == 0)
        return QStringLiteral("mode_single_p.png");
    if (photoMode == 2) {
        switch (photoParam) {
        case 1:
            return QStringLiteral("mode_multi_p_5.png");
        case 2:
            return QStringLiteral("mode_multi_p_7.png");
        default:
            return QStringLiteral("mode_multi_p_3.png");
        }
    }
    // Burst, and any unknown mode.
    switch (photoParam) {
    case 0:
        return QStringLiteral("mode_burst_p_1s.png");
    case 2:
        return QStringLiteral("mode_burst_p_5s.png");
    case 3:
        return QStringLiteral("mode_burst_p_10s.png");
    default:
        return QStringLiteral("mode_burst_p_3s.png");
    }
}

const char* photoModeLabel(int photoMode) {
    if (photoMode == 0)
        return QT_TRANSLATE_NOOP("VideoControlOverlay", "单拍");
    if (photoMode == 2)
        return QT_TRANSLATE_NOOP("VideoControlOverlay", "多拍");
    return QT_TRANSLATE_NOOP("VideoControlOverlay", "连拍");
}

ShutterPlan planShutter(int workMode, int subMode, bool running) {
    if (workMode == 1) {
        if (running)
            return {ShutterKind::VideoStop, 11, 8000, true};
        return {ShutterKind::VideoStart, 10, 5000, true};
    }
    if (subMode != 1 && subMode != 2)
        return {ShutterKind::SingleShot, 8, 3000, false};
    if (running)
        return {ShutterKind::CaptureStop, 9, 5000, true};
    if (subMode == 1)
        return {ShutterKind::BurstStart, 8, 5000, true};
    return {ShutterKind::MultiStart, 8, 5000, false};
}

} // namespace overlay
