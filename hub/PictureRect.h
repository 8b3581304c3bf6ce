#pragma once

// A filled rectangle in picture pixels: columns x .. x + width - 1, rows
// y .. y + height - 1.
struct PictureRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool operator==(const PictureRect& o) const {
        return x == o.x && y == o.y && width == o.width && height == o.height;
    }
};
