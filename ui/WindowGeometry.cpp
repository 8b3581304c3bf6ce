#include "ui/WindowGeometry.h"

namespace WindowGeometry {

int regionCode(int x, int y, int width, int height) {
    int column = 2;
    if (x < kBand)
        column = 1;
    else if (x >= width - (kBand - 1))
        column = 3;
    int row = 20;
    if (y < kBand)
        row = 10;
    else if (y >= height - (kBand - 1))
        row = 30;
    return row + column;
}

Qt::CursorShape cursorForRegion(int code) {
    switch (code) {
    case 11:
    case 33:
        return Qt::SizeFDiagCursor;
    case 13:
    case 31:
        return Qt::SizeBDiagCursor;
    case 12:
    case 32:
        return Qt::SizeVerCursor;
    case 21:
    case 23:
        return Qt::SizeHorCursor;
    default:
        return Qt::ArrowCursor;
    }
}

QRect resizedRect(const QRect& rect, int region, int dx, int dy) {
    int left = rect.left();
    int top = rect.top();
    int right = rect.right();
    int bottom = rect.bottom();
    const bool wide = right - left >= kMinWidth;
    const bool tall = bottom - top >= kMinHeight;
    const bool roomy = wide && tall;
    switch (region) {
    case 11:
        if ((dx <= 0 && dy <= 0) || roomy) {
            left += dx;
            top += dy;
        }
        break;
    case 12:
        if (dy <= 0 || tall)
            top += dy;
        break;
    case 13:
        if ((dx >= 0 && dy <= 0) || roomy) {
            right += dx;
            top += dy;
        }
        break;
    case 21:
        if (dx <= 0 || wide)
            left += dx;
        break;
    case 23:
        if (dx >= 0 || wide)
            right += dx;
        break;
    case 31:
        if ((dx <= 0 && dy >= 0) || roomy) {
            left += dx;
            bottom += dy;
        }
        break;
    case 32:
        if (dy >= 0 || tall)
            bottom += dy;
        break;
    case 33:
        if ((dx >= 0 && dy >= 0) || roomy) {
            right += dx;
            bottom += dy;
        }
        break;
    default:
        break;
    }
    return QRect(QPoint(left, top), QPoint(right, bottom));
}

QRect fixedPictureRect(int layout) {
    switch (layout) {
    case 0:
        return QRect(34, 0, 1297, 730);
    case 1:
        return QRect(478, 0, 410, 730);
    case 2:
        return QRect(197, 0, 972, 730);
    case 3:
        return QRect(409, 0, 548, 730);
    case 4:
        return QRect(318, 0, 730, 730);
    default:
        return QRect();
    }
}

bool fitPicture(int layout, float width, float height, PictureFit* fit) {
    // Aspect ratio of each layout's picture, and the allowance added to the
    // width before deciding whether the height or the width bounds the picture.
    static const float kRatio[kLayoutCount] = {1.7767123f, 0.56164384f, 1.3315068f, 0.7506849f,
                                               1.0f};
    static const float kAllowance[kLayoutCount] = {68.0f, 956.0f, 394.0f, 818.0f, 636.0f};
    static const float kThreshold = 1.8684932f;
    if (layout < 0 || layout >= kLayoutCount || fit == nullptr)
        return false;
    const float ratio = kRatio[layout];
    float w;
    float h;
    if ((width + kAllowance[layout]) / height >= kThreshold) {
        const float byHeight = height * ratio;
        w = byHeight < width ? byHeight : width;
        h = height;
    } else {
        const float byWidth = width / ratio;
        w = width;
        h = byWidth < height ? byWidth : height;
    }
    const float x = (width - w) / 2.0f;
    const float y = (height - h) / 2.0f;
    fit->picture =
        QRect(static_cast<int>(x), static_cast<int>(y), static_cast<int>(w), static_cast<int>(h));
    fit->mask = QRect(static_cast<int>(x - 1.0f), static_cast<int>(y - 1.0f),
                      static_cast<int>(w + 2.0f), static_cast<int>(h + 2.0f));
    return true;
}

} // namespace WindowGeometry
