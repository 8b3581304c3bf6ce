#include "ui/WindowGeometry.h"

#include <gtest/gtest.h>

using namespace WindowGeometry;

namespace {
QRect corners(int l, int t, int r, int b) {
    return QRect(QPoint(l, t), QPoint(r, b));
}
} // namespace

TEST(WindowGeometry, RegionCodesChangeAtTheBandEdges) {
    const int w = 1366;
    const int h = 768;
    EXPECT_EQ(regionCode(4, 300, w, h), 21);
    EXPECT_EQ(regionCode(5, 300, w, h), 22);
    EXPECT_EQ(regionCode(w - 4, 300, w, h), 23);
    EXPECT_EQ(regionCode(w - 5, 300, w, h), 22);
    EXPECT_EQ(regionCode(600, 4, w, h), 12);
    EXPECT_EQ(regionCode(600, 5, w, h), 22);
    EXPECT_EQ(regionCode(600, h - 4, w, h), 32);
    EXPECT_EQ(regionCode(600, h - 5, w, h), 22);
    EXPECT_EQ(regionCode(0, 0, w, h), 11);
    EXPECT_EQ(regionCode(w - 1, 0, w, h), 13);
    EXPECT_EQ(regionCode(0, h - 1, w, h), 31);
    EXPECT_EQ(regionCode(w - 1, h - 1, w, h), 33);
    // Points beyond the window (a drag that left it) still get an edge code.
    EXPECT_EQ(regionCode(-20, h + 20, w, h), 31);
}

TEST(WindowGeometry, CursorsFollowTheRegion) {
    EXPECT_EQ(cursorForRegion(11), Qt::SizeFDiagCursor);
    EXPECT_EQ(cursorForRegion(33), Qt::SizeFDiagCursor);
    EXPECT_EQ(cursorForRegion(13), Qt::SizeBDiagCursor);
    EXPECT_EQ(cursorForRegion(31), Qt::SizeBDiagCursor);
    EXPECT_EQ(cursorForRegion(12), Qt::SizeVerCursor);
    EXPECT_EQ(cursorForRegion(32), Qt::SizeVerCursor);
    EXPECT_EQ(cursorForRegion(21), Qt::SizeHorCursor);
    EXPECT_EQ(cursorForRegion(23), Qt::SizeHorCursor);
    EXPECT_EQ(cursorForRegion(22), Qt::ArrowCursor);
    EXPECT_EQ(cursorForRegion(0), Qt::ArrowCursor);
    EXPECT_EQ(cursorForRegion(34), Qt::ArrowCursor);
}

TEST(WindowGeometry, ShrinkingStopsBelowTheMinimumButGrowingNever) {
    // right - left = 1139: not wide enough to shrink further.
    const QRect narrow = corners(100, 100, 1239, 900);
    EXPECT_EQ(resizedRect(narrow, 23, -10, 0), narrow);
    EXPECT_EQ(resizedRect(narrow, 21, 10, 0), narrow);
    EXPECT_EQ(resizedRect(narrow, 23, 25, 0), corners(100, 100, 1264, 900));
    EXPECT_EQ(resizedRect(narrow, 21, -25, 0), corners(75, 100, 1239, 900));
    // right - left = 1140 is wide enough.
    const QRect wide = corners(100, 100, 1240, 900);
    EXPECT_EQ(resizedRect(wide, 23, -10, 0), corners(100, 100, 1230, 900));

    // bottom - top = 639: not tall enough.
    const QRect low = corners(0, 0, 1400, 639);
    EXPECT_EQ(resizedRect(low, 32, 0, -5), low);
    EXPECT_EQ(resizedRect(low, 12, 0, 5), low);
    EXPECT_EQ(resizedRect(low, 32, 0, 7), corners(0, 0, 1400, 646));
    EXPECT_EQ(resizedRect(low, 12, 0, -7), corners(0, -7, 1400, 639));
}

TEST(WindowGeometry, CornersShrinkOnlyWhenBothSidesAreLargeEnough) {
    const QRect small = corners(0, 0, 1000, 600);
    // Outwards in both directions always works.
    EXPECT_EQ(resizedRect(small, 11, -3, -4), corners(-3, -4, 1000, 600));
    EXPECT_EQ(resizedRect(small, 13, 3, -4), corners(0, -4, 1003, 600));
    EXPECT_EQ(resizedRect(small, 31, -3, 4), corners(-3, 0, 1000, 604));
    EXPECT_EQ(resizedRect(small, 33, 3, 4), corners(0, 0, 1003, 604));
    // A diagonal that shrinks one side is refused on a small window...
    EXPECT_EQ(resizedRect(small, 33, 3, -4), small);
    EXPECT_EQ(resizedRect(small, 11, 3, -4), small);
    // ...and applied in full on a large one.
    const QRect large = corners(0, 0, 1500, 900);
    EXPECT_EQ(resizedRect(large, 33, 3, -4), corners(0, 0, 1503, 896));
    EXPECT_EQ(resizedRect(large, 13, -3, 4), corners(0, 4, 1497, 900));
    // The inside and unknown regions change nothing.
    EXPECT_EQ(resizedRect(large, 22, 30, 30), large);
    EXPECT_EQ(resizedRect(large, 99, 30, 30), large);
}

TEST(WindowGeometry, FixedRectanglesOfTheDefaultWindow) {
    EXPECT_EQ(fixedPictureRect(0), QRect(34, 0, 1297, 730));
    EXPECT_EQ(fixedPictureRect(1), QRect(478, 0, 410, 730));
    EXPECT_EQ(fixedPictureRect(2), QRect(197, 0, 972, 730));
    EXPECT_EQ(fixedPictureRect(3), QRect(409, 0, 548, 730));
    EXPECT_EQ(fixedPictureRect(4), QRect(318, 0, 730, 730));
    EXPECT_TRUE(fixedPictureRect(5).isNull());
    EXPECT_TRUE(fixedPictureRect(-1).isNull());
}

TEST(WindowGeometry, FitOfA1600By900VideoArea) {
    PictureFit fit;
    ASSERT_TRUE(fitPicture(0, 1600, 900, &fit));
    EXPECT_EQ(fit.picture, QRect(0, 0, 1600, 900));
    EXPECT_EQ(fit.mask, QRect(-1, -1, 1602, 902));
    ASSERT_TRUE(fitPicture(1, 1600, 900, &fit));
    EXPECT_EQ(fit.picture, QRect(547, 0, 505, 900));
    EXPECT_EQ(fit.mask, QRect(546, -1, 507, 902));
    ASSERT_TRUE(fitPicture(4, 1600, 900, &fit));
    EXPECT_EQ(fit.picture, QRect(350, 0, 900, 900));
    ASSERT_TRUE(fitPicture(2, 1600, 900, &fit));
    EXPECT_EQ(fit.picture, QRect(200, 0, 1198, 900));
    ASSERT_TRUE(fitPicture(3, 1600, 900, &fit));
    EXPECT_EQ(fit.picture, QRect(462, 0, 675, 900));
    EXPECT_FALSE(fitPicture(5, 1600, 900, &fit));
    EXPECT_FALSE(fitPicture(0, 1600, 900, nullptr));
}

TEST(WindowGeometry, FitIsBoundByWidthInTallAreas) {
    PictureFit fit;
    // A tall, narrow area: the 16:9 picture spans the width, centred vertically.
    ASSERT_TRUE(fitPicture(0, 1138, 1000, &fit));
    EXPECT_EQ(fit.picture.x(), 0);
    EXPECT_EQ(fit.picture.width(), 1138);
    EXPECT_EQ(fit.picture.height(), 640); // 1138 / 1.7767123 = 640.5
    EXPECT_EQ(fit.picture.y(), 179);      // (1000 - 640.5) / 2 = 179.7
    // The default video area: the 16:9 picture fills the height exactly.
    ASSERT_TRUE(fitPicture(0, 1364, 730, &fit));
    EXPECT_EQ(fit.picture, QRect(33, 0, 1297, 730));
}
