#include "ui/overlay/OverlayLogic.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace overlay;

TEST(OverlayLogic, JoystickSectorBoundaries) {
    EXPECT_EQ(joystickSector(0.0), 0);
    EXPECT_EQ(joystickSector(22.49), 0);
    EXPECT_EQ(joystickSector(22.5), 1);
    EXPECT_EQ(joystickSector(67.49), 1);
    EXPECT_EQ(joystickSector(67.5), 2);
    EXPECT_EQ(joystickSector(90.0), 2);
    EXPECT_EQ(joystickSector(180.0), 4);
    EXPECT_EQ(joystickSector(270.0), 6);
    EXPECT_EQ(joystickSector(292.5), 7);
    EXPECT_EQ(joystickSector(337.49), 7);
    EXPECT_EQ(joystickSector(337.5), 0);
    EXPECT_EQ(joystickSector(359.99), 0);
    EXPECT_EQ(joystickSector(360.0), -1);
    EXPECT_EQ(joystickSector(-1.0), -1);
    EXPECT_EQ(joystickSector(std::numeric_limits<double>::quiet_NaN()), -1);
}

TEST(OverlayLogic, SpeedRecordPerSector) {
    struct Row {
        int sector;
        float f1, f2;
        int i;
    };
    const Row rows[] = {{0, 0, 30, 200},  {1, 25, 30, 200},   {2, 25, 0, 200},  {3, 25, -30, 200},
                        {4, 0, -30, 200}, {5, -25, -30, 200}, {6, -25, 0, 200}, {7, -25, 30, 200},
                        {-1, 0, 0, 100},  {8, 0, 0, 100}};
    for (const Row& row : rows) {
        const GimbalSpeed s = speedForSector(row.sector);
        EXPECT_EQ(s.f[0], 1000) << row.sector;
        EXPECT_EQ(s.f[1], row.f1) << row.sector;
        EXPECT_EQ(s.f[2], row.f2) << row.sector;
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(s.i[k], row.i) << row.sector;
    }
}

TEST(OverlayLogic, NormalisationClampsOutsidePoints) {
    const QSizeF size(1000, 500);
    EXPECT_EQ(normalisePoint(QPointF(250, 125), size), QPointF(0.25, 0.25));
    const QPointF below = normalisePoint(QPointF(-4, -1), size);
    EXPECT_FLOAT_EQ(below.x(), 0.002f);
    EXPECT_FLOAT_EQ(below.y(), 0.004f);
    const QPointF beyond = normalisePoint(QPointF(1001, 600), size);
    EXPECT_FLOAT_EQ(beyond.x(), 0.998f);
    EXPECT_FLOAT_EQ(beyond.y(), 0.996f);
    EXPECT_EQ(normalisePoint(QPointF(1000, 500), size), QPointF(1, 1));
    EXPECT_EQ(normalisePoint(QPointF(3, 3), QSizeF(0, 0)), QPointF(0, 0));
}

TEST(OverlayLogic, EdgeBands) {
    const QSizeF size(100, 80);
    EXPECT_TRUE(inEdgeBand(QPointF(97, 40), size));  // right
    EXPECT_FALSE(inEdgeBand(QPointF(95, 40), size)); // W − 5 is inside
    EXPECT_TRUE(inEdgeBand(QPointF(50, 76), size));  // bottom
    EXPECT_FALSE(inEdgeBand(QPointF(50, 75), size));
    EXPECT_TRUE(inEdgeBand(QPointF(5, 40), size)); // left
    EXPECT_FALSE(inEdgeBand(QPointF(6, 40), size));
    EXPECT_FALSE(inEdgeBand(QPointF(0, 40), size)); // the left band starts after 0
    EXPECT_FALSE(inEdgeBand(QPointF(50, 2), size)); // no top band
}

TEST(OverlayLogic, ShutterRows) {
    struct Row {
        int mode, sub;
        bool running;
        ShutterKind kind;
        int op, wait;
        bool mask;
    };
    const Row rows[] = {
        {1, 0, true, ShutterKind::VideoStop, 11, 8000, true},
        {1, 2, false, ShutterKind::VideoStart, 10, 5000, true},
        {0, 0, false, ShutterKind::SingleShot, 8, 3000, false},
        {0, 0, true, ShutterKind::SingleShot, 8, 3000, false},
        {0, 1, true, ShutterKind::CaptureStop, 9, 5000, true},
        {0, 2, true, ShutterKind::CaptureStop, 9, 5000, true},
        {0, 1, false, ShutterKind::BurstStart, 8, 5000, true},
        {0, 2, false, ShutterKind::MultiStart, 8, 5000, false},
        {0, 7, false, ShutterKind::SingleShot, 8, 3000, false},
    };
    for (const Row& row : rows) {
        const ShutterPlan plan = planShutter(row.mode, row.sub, row.running);
        EXPECT_EQ(plan.kind, row.kind) << row.mode << row.sub << row.running;
        EXPECT_EQ(plan.operation, row.op) << row.mode << row.sub << row.running;
        EXPECT_EQ(plan.waitMs, row.wait) << row.mode << row.sub << row.running;
        EXPECT_EQ(plan.withMask, row.mask) << row.mode << row.sub << row.running;
    }
}

TEST(OverlayLogic, BurstIntervalsAndIcons) {
    EXPECT_EQ(burstIntervalSeconds(0), 1);
    EXPECT_EQ(burstIntervalSeconds(3), 10);
    EXPECT_EQ(burstIntervalSeconds(4), 0);
    EXPECT_EQ(photoModeIconFile(1, 3), QStringLiteral("mode_burst_p_10s.png"));
    EXPECT_EQ(photoModeIconFile(1, 9), QStringLiteral("mode_burst_p_3s.png"));
    EXPECT_EQ(photoModeIconFile(2, 2), QStringLiteral("mode_multi_p_7.png"));
    EXPECT_EQ(photoModeIconFile(2, 9), QStringLiteral("mode_multi_p_3.png"));
    EXPECT_EQ(photoModeIconFile(0, 3), QStringLiteral("mode_single_p.png"));
    EXPECT_EQ(photoModeIconFile(5, 0), QStringLiteral("mode_burst_p_1s.png"));
}

TEST(OverlayLogic, BurstCountWhenJoiningARunningBurst) {
    bool align = true;
    // 3 s interval, 2 shots, 4.0 s elapsed: 1 s since the last shot.
    EXPECT_EQ(burstCountStart(3, 2, 8, &align), 3);
    EXPECT_FALSE(align);
    // 4.5 s elapsed: half a second off, aligned to 2 s since the last shot.
    EXPECT_EQ(burstCountStart(3, 2, 9, &align), 2);
    EXPECT_TRUE(align);
    // Right after the first shot of a 10 s burst.
    EXPECT_EQ(burstCountStart(10, 1, 0, &align), 11);
    EXPECT_FALSE(align);
    // Counts from a faulty status record stay within range.
    EXPECT_EQ(burstCountStart(10, std::numeric_limits<int>::min(), 0, &align), 0);
    EXPECT_EQ(burstCountStart(10, std::numeric_limits<int>::max(), 0, &align), 11);
    EXPECT_EQ(burstCountStart(3, 1, std::numeric_limits<int>::max(), &align), 0);
}
