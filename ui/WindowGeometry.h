#pragma once

#include <QRect>
#include <Qt>

// Arithmetic of the main window: edge regions for resizing, the resize rules,
// and the fit of the picture into the video area for each picture layout.
namespace WindowGeometry {

// Smallest size the edges may shrink from (the widget's minimum size applies too).
constexpr int kMinWidth = 1140;
constexpr int kMinHeight = 640;
// Width of the resizing band along each edge.
constexpr int kBand = 5;

// Region code of a point in window coordinates: row (10 top, 20 middle,
// 30 bottom) plus column (1 left, 2 middle, 3 right); 22 is the inside.
int regionCode(int x, int y, int width, int height);

// Cursor shown over a region; unknown codes give the arrow.
Qt::CursorShape cursorForRegion(int code);

// Window rectangle after dragging the edge or corner of `region` by (dx, dy).
// Growing is always allowed; shrinking only while the rectangle is at least
// kMinWidth x kMinHeight (measured right - left, bottom - top).
QRect resizedRect(const QRect& rect, int region, int dx, int dy);

// Number of picture layouts (0 16:9, 1 9:16, 2 4:3, 3 3:4, 4 1:1).
constexpr int kLayoutCount = 5;

// Picture rectangle inside the video area of a 1366 x 768 window, or an empty
// rectangle for an unknown layout.
QRect fixedPictureRect(int layout);

struct PictureFit {
    QRect picture; // video widget and overlay
    QRect mask;    // loading mask: one pixel larger on every side
};

// Fit of the layout's picture into a video area of width x height, computed in
// single precision with truncation. Returns false for an unknown layout.
bool fitPicture(int layout, float width, float height, PictureFit* fit);

} // namespace WindowGeometry
