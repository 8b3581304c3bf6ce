#include "video/FrameConvert.h"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

void fillSideInfo(SideInfo& info, const std::string* message) {
    info.fill(0);
    if (!message)
        return;
    const size_t n = std::min(message->size(), info.size());
    std::memcpy(info.data(), message->data(), n);
}

namespace {

// Copies `rows` rows of `rowBytes` bytes from a plane with the given stride
// into contiguous memory. Rows are copied one by one so that a chroma stride
// that is not exactly half the luma stride neither skews the picture nor reads
// past the plane.
void copyPlane(uint8_t* dst, size_t dstStride, const uint8_t* src, int srcStride, int rows,
               size_t rowBytes) {
    const size_t n = std::min(rowBytes, static_cast<size_t>(std::max(srcStride, 0)));
    for (int y = 0; y < rows; ++y)
        std::memcpy(dst + y * dstStride, src + static_cast<ptrdiff_t>(y) * srcStride, n);
}

cv::Mat convertNv12(const AVFrame* f) {
    const int w = f->linesize[0];
    const int h = f->height;
    cv::Mat yuv = cv::Mat::zeros(h * 3 / 2, w, CV_8UC1);
    copyPlane(yuv.data, w, f->data[0], f->linesize[0], h, w);
    copyPlane(yuv.data + static_cast<size_t>(w) * h, w, f->data[1], f->linesize[1], h / 2, w);
    cv::Mat rgb;
    cv::cvtColor(yuv, rgb, cv::COLOR_YUV2RGB_NV12);
    return rgb(cv::Rect(0, 0, std::min(f->width, w), h));
}

cv::Mat convertI420(const AVFrame* f) {
    const int w = f->linesize[0];
    const int h = f->height;
    cv::Mat yuv = cv::Mat::zeros(h * 3 / 2, w, CV_8UC1);
    const size_t n = static_cast<size_t>(w) * h;
    copyPlane(yuv.data, w, f->data[0], f->linesize[0], h, w);
    // Each chroma plane is (w/2) x (h/2) bytes packed into n/4.
    copyPlane(yuv.data + n, w / 2, f->data[1], f->linesize[1], h / 2, w / 2);
    copyPlane(yuv.data + n + n / 4, w / 2, f->data[2], f->linesize[2], h / 2, w / 2);
    cv::Mat rgb;
    cv::cvtColor(yuv, rgb, cv::COLOR_YUV2RGB_I420);
    return rgb;
}

} // namespace

namespace {

// Whether the frame has the layout of `decodeMode` (NV12 for hardware,
// planar 4:2:0 for software) and sizes that 4:2:0 conversion accepts.
bool convertible(const AVFrame* frame, int decodeMode) {
    // 4:2:0 pictures have even sizes; anything else would make cvtColor throw.
    if (!frame || !frame->data[0] || frame->width <= 0 || frame->height < 2 ||
        frame->height % 2 != 0 || frame->linesize[0] < frame->width || frame->linesize[0] % 2 != 0)
        return false;
    if (decodeMode == kDecodeHardware)
        return frame->format == AV_PIX_FMT_NV12 && frame->data[1];
    if (decodeMode == kDecodeSoftware)
        return (frame->format == AV_PIX_FMT_YUV420P || frame->format == AV_PIX_FMT_YUVJ420P) &&
               frame->data[1] && frame->data[2];
    return false;
}

} // namespace

cv::Mat convertFrame(const AVFrame* frame, int decodeMode) {
    if (!convertible(frame, decodeMode))
        return cv::Mat();
    return decodeMode == kDecodeHardware ? convertNv12(frame) : convertI420(frame);
}

int convertedWidth(const AVFrame* frame) {
    if (convertible(frame, kDecodeHardware))
        return frame->width; // the line padding is cropped
    if (convertible(frame, kDecodeSoftware))
        return frame->linesize[0];
    return 0;
}

namespace {

constexpr int kBoxPresentOffset = 0;
constexpr int kBoxCountOffset = 31;
constexpr int kFirstBoxOffset = 36;
constexpr int kBoxRecordSize = 18;
// Coordinates beyond this many pixels come from a broken message; they would
// overflow OpenCV's integer points.
constexpr float kMaxCoordinate = 1.0e6f;

float floatAt(const SideInfo& info, int offset) {
    // Little-endian IEEE 754 single precision.
    uint32_t bits = static_cast<uint32_t>(info[offset]) |
                    static_cast<uint32_t>(info[offset + 1]) << 8 |
                    static_cast<uint32_t>(info[offset + 2]) << 16 |
                    static_cast<uint32_t>(info[offset + 3]) << 24;
    float value;
    std::memcpy(&value, &bits, sizeof(value));
    return value;
}

bool usable(float v) {
    return std::isfinite(v) && std::fabs(v) <= kMaxCoordinate;
}

// A bar between the corners (xa, ya) and (xb, yb), both included.
PictureRect bar(int xa, int xb, int ya, int yb) {
    return PictureRect{std::min(xa, xb), std::min(ya, yb), std::abs(xb - xa) + 1,
                       std::abs(yb - ya) + 1};
}

// The one-pixel outline of `rect` (columns x .. x + width - 1, rows
// y .. y + height - 1) as four filled rectangles; nothing for an empty rect.
void addOutline(std::vector<PictureRect>& shapes, int x, int y, int width, int height) {
    if (width <= 0 || height <= 0)
        return;
    shapes.push_back({x, y, width, 1});
    shapes.push_back({x, y + height - 1, width, 1});
    shapes.push_back({x, y, 1, height});
    shapes.push_back({x + width - 1, y, 1, height});
}

} // namespace

TargetBox targetBoxAt(const SideInfo& info, int index) {
    const int base = kFirstBoxOffset + index * kBoxRecordSize;
    TargetBox box;
    box.valid = info[base] == 1;
    box.left = floatAt(info, base + 1);
    box.top = floatAt(info, base + 5);
    box.right = floatAt(info, base + 9);
    box.bottom = floatAt(info, base + 13);
    return box;
}

int targetBoxShapes(const SideInfo& info, int width, int height, std::vector<PictureRect>& shapes) {
    if (info[kBoxPresentOffset] != 1)
        return 0;
    const int count = info[kBoxCountOffset];
    if (count != 1 && count != 2)
        return 0;
    const float w = static_cast<float>(width);
    const float h = static_cast<float>(height);
    int boxes = 0;
    for (int i = 0; i < count; ++i) {
        const TargetBox box = targetBoxAt(info, i);
        if (!box.valid)
            continue;
        float x0 = box.left * w;
        float y0 = box.top * h;
        float x1 = box.right * w;
        float y1 = box.bottom * h;
        if (!usable(x0) || !usable(y0) || !usable(x1) || !usable(y1))
            continue;
        if (std::fabs(x0) <= 0.000001f)
            x0 = 5;
        if (std::fabs(y0) <= 0.000001f)
            y0 = 5;
        if (std::fabs(x1) >= w - 3)
            x1 = w - 5;
        if (std::fabs(y1) >= h - 3)
            y1 = h - 5;
        addOutline(shapes, static_cast<int>(std::lround(x0)), static_cast<int>(std::lround(y0)),
                   static_cast<int>(std::lround(x1 - x0)), static_cast<int>(std::lround(y1 - y0)));

        // The corner bars: 4 pixels thick, 32 long, around each corner.
        const int ix0 = static_cast<int>(x0);
        const int iy0 = static_cast<int>(y0);
        const int ix1 = static_cast<int>(x1);
        const int iy1 = static_cast<int>(y1);
        shapes.push_back(bar(ix0 - 2, ix0 + 2, iy0 - 2, iy0 + 30));
        shapes.push_back(bar(ix0 - 2, ix0 + 30, iy0 - 2, iy0 + 2));
        shapes.push_back(bar(ix1 - 2, ix1 + 2, iy0 - 2, iy0 + 30));
        shapes.push_back(bar(ix1 - 30, ix1 + 2, iy0 - 2, iy0 + 2));
        shapes.push_back(bar(ix1 - 2, ix1 + 2, iy1 - 30, iy1 + 2));
        shapes.push_back(bar(ix1 - 30, ix1 + 2, iy1 - 2, iy1 + 2));
        shapes.push_back(bar(ix0 - 2, ix0 + 2, iy1 - 30, iy1 + 2));
        shapes.push_back(bar(ix0 - 2, ix0 + 30, iy1 - 2, iy1 + 2));
        ++boxes;
    }
    return boxes;
}

void fillBoxShapes(cv::Mat& rgb, const std::vector<PictureRect>& shapes) {
    for (const PictureRect& r : shapes)
        cv::rectangle(rgb, cv::Rect(r.x, r.y, r.width, r.height), cv::Scalar(255, 255, 255, 0),
                      cv::FILLED, cv::LINE_8, 0);
}

int drawTargetBoxes(cv::Mat& rgb, const SideInfo& info, int width, int height) {
    std::vector<PictureRect> shapes;
    const int boxes = targetBoxShapes(info, width, height, shapes);
    fillBoxShapes(rgb, shapes);
    return boxes;
}
