#include "video/FrameConvert.h"
#include "video/RgbaConverter.h"

extern "C" {
#include <libavutil/frame.h>
}

#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include <cmath>
#include <cstring>
#include <limits>

namespace {

struct FrameDeleter {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;

// A frame with the given line sizes; luma 60 on the left half and 200 on the
// right; chroma neutral in the top half and strongly red in the bottom half.
FramePtr makeFrame(AVPixelFormat format, int width, int height, int luma, int chroma) {
    FramePtr f(av_frame_alloc());
    f->format = format;
    f->width = width;
    f->height = height;
    f->linesize[0] = luma;
    f->linesize[1] = chroma;
    if (format == AV_PIX_FMT_YUV420P)
        f->linesize[2] = chroma;
    EXPECT_GE(av_frame_get_buffer(f.get(), 0), 0);
    for (int y = 0; y < height; ++y) {
        std::memset(f->data[0] + y * f->linesize[0], 60, width / 2);
        std::memset(f->data[0] + y * f->linesize[0] + width / 2, 200, width - width / 2);
    }
    for (int y = 0; y < height / 2; ++y) {
        const bool red = y >= height / 4;
        uint8_t* u = f->data[1] + y * f->linesize[1];
        if (format == AV_PIX_FMT_NV12) {
            for (int x = 0; x < width / 2; ++x) {
                u[2 * x] = red ? 90 : 128;
                u[2 * x + 1] = red ? 240 : 128;
            }
        } else {
            std::memset(u, red ? 90 : 128, width / 2);
            std::memset(f->data[2] + y * f->linesize[2], red ? 240 : 128, width / 2);
        }
    }
    return f;
}

void expectPicture(const cv::Mat& rgb, int width, int height) {
    ASSERT_EQ(rgb.type(), CV_8UC3);
    const cv::Vec3b topLeft = rgb.at<cv::Vec3b>(height / 8, width / 8);
    const cv::Vec3b topRight = rgb.at<cv::Vec3b>(height / 8, width * 7 / 8);
    const cv::Vec3b bottomLeft = rgb.at<cv::Vec3b>(height * 7 / 8, width / 8);
    // Grey where the chroma is neutral, darker on the left.
    EXPECT_NEAR(topLeft[0], topLeft[2], 3);
    EXPECT_LT(topLeft[1], topRight[1]);
    // Red where the chroma says red (R first).
    EXPECT_GT(bottomLeft[0], bottomLeft[2] + 100);
    EXPECT_GT(bottomLeft[0], bottomLeft[1] + 100);
}

TEST(FrameConvert, Nv12CropsLinePaddingAndKeepsColours) {
    FramePtr f = makeFrame(AV_PIX_FMT_NV12, 1920, 1080, 1984, 1984);
    cv::Mat rgb = convertFrame(f.get(), kDecodeHardware);
    EXPECT_EQ(rgb.cols, 1920);
    EXPECT_EQ(rgb.rows, 1080);
    expectPicture(rgb, 1920, 1080);
}

TEST(FrameConvert, I420KeepsLineSizeWidthAndCopiesChromaByRows) {
    FramePtr f = makeFrame(AV_PIX_FMT_YUV420P, 1920, 1080, 1984, 992);
    cv::Mat rgb = convertFrame(f.get(), kDecodeSoftware);
    EXPECT_EQ(rgb.cols, 1984);
    EXPECT_EQ(rgb.rows, 1080);
    expectPicture(rgb, 1920, 1080);

    // A chroma stride wider than half the luma stride must not skew the rows.
    f = makeFrame(AV_PIX_FMT_YUV420P, 1280, 720, 1280, 704);
    rgb = convertFrame(f.get(), kDecodeSoftware);
    EXPECT_EQ(rgb.cols, 1280);
    expectPicture(rgb, 1280, 720);
    const cv::Vec3b aboveSwitch = rgb.at<cv::Vec3b>(720 / 2 - 4, 100);
    const cv::Vec3b belowSwitch = rgb.at<cv::Vec3b>(720 / 2 + 4, 100);
    EXPECT_NEAR(aboveSwitch[0], aboveSwitch[2], 3);
    EXPECT_GT(belowSwitch[0], belowSwitch[2] + 100);
}

TEST(FrameConvert, MismatchedOrEmptyFramesGiveNoPicture) {
    FramePtr nv12 = makeFrame(AV_PIX_FMT_NV12, 640, 360, 640, 640);
    FramePtr i420 = makeFrame(AV_PIX_FMT_YUV420P, 640, 360, 640, 320);
    EXPECT_TRUE(convertFrame(nv12.get(), kDecodeSoftware).empty());
    EXPECT_TRUE(convertFrame(i420.get(), kDecodeHardware).empty());
    EXPECT_TRUE(convertFrame(i420.get(), 2).empty());
    EXPECT_TRUE(convertFrame(nullptr, kDecodeSoftware).empty());
    FramePtr odd = makeFrame(AV_PIX_FMT_YUV420P, 640, 361, 640, 320);
    EXPECT_TRUE(convertFrame(odd.get(), kDecodeSoftware).empty());
    FramePtr blank(av_frame_alloc());
    EXPECT_TRUE(convertFrame(blank.get(), kDecodeSoftware).empty());
}

TEST(RgbaConverter, GivesThePictureOfEitherLayoutAndNeverWritesIntoAHeldBuffer) {
    RgbaConverter converter;
    // Widths off libswscale's pixel blocks, lines longer than the picture.
    for (const AVPixelFormat format : {AV_PIX_FMT_YUV420P, AV_PIX_FMT_NV12}) {
        SCOPED_TRACE(format);
        FramePtr frame = makeFrame(format, 630, 360, 704, format == AV_PIX_FMT_NV12 ? 704 : 352);
        const cv::Mat rgba = converter.convert(*frame, 630);
        ASSERT_EQ(rgba.type(), CV_8UC4);
        ASSERT_EQ(rgba.size(), cv::Size(630, 360));
        EXPECT_GE(rgba.step, 630u * 4);
        cv::Mat rgb;
        cv::cvtColor(rgba, rgb, cv::COLOR_RGBA2RGB);
        expectPicture(rgb, 630, 360);
        // The same picture as the R, G, B sinks get (conversions differ by
        // their rounding only).
        cv::Mat reference = convertFrame(frame.get(), format == AV_PIX_FMT_NV12 ? kDecodeHardware
                                                                                : kDecodeSoftware);
        reference = reference(cv::Rect(0, 0, 630, 360));
        cv::Mat diff;
        cv::absdiff(rgb, reference, diff);
        double worst = 0;
        cv::minMaxLoc(diff.reshape(1), nullptr, &worst);
        EXPECT_LE(worst, 3.0);
    }

    // Pictures still held keep their pixels; one let go is used again.
    FramePtr grey = makeFrame(AV_PIX_FMT_YUV420P, 640, 360, 640, 320);
    std::vector<cv::Mat> held;
    for (int i = 0; i < 5; ++i)
        held.push_back(converter.convert(*grey, 640));
    for (size_t i = 0; i < held.size(); ++i)
        for (size_t j = i + 1; j < held.size(); ++j)
            EXPECT_NE(held[i].data, held[j].data) << i << " " << j;
    const uchar* released = held[1].data;
    held.erase(held.begin() + 1);
    const cv::Mat again = converter.convert(*grey, 640);
    EXPECT_EQ(again.data, released);

    // Nothing for a frame it cannot read.
    FramePtr narrow = makeFrame(AV_PIX_FMT_YUV420P, 640, 360, 640, 320);
    EXPECT_TRUE(converter.convert(*narrow, 700).empty());
    narrow->linesize[1] = 100;
    EXPECT_TRUE(converter.convert(*narrow, 640).empty());
    FramePtr other = makeFrame(AV_PIX_FMT_YUV420P, 640, 360, 640, 320);
    other->format = AV_PIX_FMT_RGB24;
    EXPECT_TRUE(converter.convert(*other, 640).empty());
}

void putFloat(SideInfo& info, int offset, float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, sizeof(bits));
    for (int b = 0; b < 4; ++b)
        info[offset + b] = static_cast<uint8_t>(bits >> (8 * b));
}

void putBox(SideInfo& info, int index, float l, float t, float r, float b, bool valid = true) {
    const int base = 36 + 18 * index;
    info[base] = valid ? 1 : 0;
    putFloat(info, base + 1, l);
    putFloat(info, base + 5, t);
    putFloat(info, base + 9, r);
    putFloat(info, base + 13, b);
}

SideInfo boxesInfo(int count) {
    SideInfo info{};
    info[0] = 1;
    info[31] = static_cast<uint8_t>(count);
    return info;
}

bool white(const cv::Mat& m, int x, int y) {
    return m.at<cv::Vec3b>(y, x) == cv::Vec3b(255, 255, 255);
}

TEST(TargetBoxes, ZeroCornerAndRightEdgeAreClampedInside) {
    const int w = 1280, h = 720;
    cv::Mat rgb = cv::Mat::zeros(h, w, CV_8UC3);
    SideInfo info = boxesInfo(1);
    putBox(info, 0, 0.0f, 0.0f, 1.0f, 1.0f);
    ASSERT_EQ(drawTargetBoxes(rgb, info, w, h), 1);
    // Top-left corner at (5, 5): the top edge runs on row 5.
    EXPECT_TRUE(white(rgb, 100, 5));
    EXPECT_FALSE(white(rgb, 100, 4));
    EXPECT_FALSE(white(rgb, 100, 6));
    EXPECT_TRUE(white(rgb, 5, 100));
    EXPECT_FALSE(white(rgb, 4, 100));
    // Right end clipped to W-5: the rectangle of width W-10 ends on column
    // W-6, the corner bars around x = W-5 reach W-3.
    EXPECT_TRUE(white(rgb, w - 6, h / 2));
    EXPECT_FALSE(white(rgb, w - 5, h / 2));
    EXPECT_TRUE(white(rgb, w - 3, 10));
    EXPECT_FALSE(white(rgb, w - 2, 10));
    // Bottom edge clipped to H-5 likewise; corner bar 32 pixels long.
    EXPECT_TRUE(white(rgb, 100, h - 6));
    EXPECT_TRUE(white(rgb, 3, h - 5 - 30));
    EXPECT_FALSE(white(rgb, 3, h - 5 - 31));
    // Nothing in the middle.
    EXPECT_FALSE(white(rgb, w / 2, h / 2));
}

TEST(TargetBoxes, BoxAtFractionsWithCornerBars) {
    const int w = 1920, h = 1080;
    cv::Mat rgb = cv::Mat::zeros(h, w, CV_8UC3);
    SideInfo info = boxesInfo(2);
    putBox(info, 0, 0.25f, 0.25f, 0.5f, 0.5f);
    putBox(info, 1, 0.1f, 0.1f, 0.2f, 0.2f, /*valid=*/false);
    ASSERT_EQ(drawTargetBoxes(rgb, info, w, h), 1);
    EXPECT_TRUE(white(rgb, 600, 270)); // top edge
    EXPECT_TRUE(white(rgb, 480, 400)); // left edge
    EXPECT_TRUE(white(rgb, 478, 300)); // left bar, 2 px outside
    EXPECT_FALSE(white(rgb, 477, 300));
    EXPECT_TRUE(white(rgb, 479, 540 - 30)); // lower-left bar
    EXPECT_FALSE(white(rgb, 479, 540 - 31));
    EXPECT_FALSE(white(rgb, 250, 108)); // the invalid record is not drawn
}

TEST(TargetBoxes, NothingForOtherCountsMissingFlagOrBrokenCoordinates) {
    const int w = 640, h = 360;
    for (int count : {0, 3}) {
        cv::Mat rgb = cv::Mat::zeros(h, w, CV_8UC3);
        SideInfo info = boxesInfo(count);
        putBox(info, 0, 0.2f, 0.2f, 0.8f, 0.8f);
        putBox(info, 1, 0.2f, 0.2f, 0.8f, 0.8f);
        EXPECT_EQ(drawTargetBoxes(rgb, info, w, h), 0) << count;
        EXPECT_EQ(cv::countNonZero(rgb.reshape(1)), 0) << count;
    }
    cv::Mat rgb = cv::Mat::zeros(h, w, CV_8UC3);
    SideInfo info = boxesInfo(1);
    putBox(info, 0, 0.2f, 0.2f, 0.8f, 0.8f);
    info[0] = 0;
    EXPECT_EQ(drawTargetBoxes(rgb, info, w, h), 0);

    // Non-finite or huge coordinates are skipped; a sound second box still shows.
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    for (float bad : {nan, inf, -inf, 3.0e38f, -1.0e9f}) {
        rgb = cv::Mat::zeros(h, w, CV_8UC3);
        info = boxesInfo(2);
        putBox(info, 0, 0.1f, bad, 0.3f, 0.3f);
        putBox(info, 1, 0.5f, 0.5f, 0.7f, 0.7f);
        EXPECT_EQ(drawTargetBoxes(rgb, info, w, h), 1) << bad;
        EXPECT_TRUE(white(rgb, 400, 180));
    }
}

TEST(TargetBoxes, SideInfoIsCopiedUpTo791Bytes) {
    SideInfo info;
    info.fill(7);
    fillSideInfo(info, nullptr);
    EXPECT_EQ(std::count(info.begin(), info.end(), 0), kSideInfoSize);

    std::string longer(900, '\x01');
    fillSideInfo(info, &longer);
    EXPECT_EQ(std::count(info.begin(), info.end(), 1), kSideInfoSize);

    std::string shorter(40, '\x02');
    fillSideInfo(info, &shorter);
    EXPECT_EQ(info[39], 2);
    EXPECT_EQ(info[40], 0);
    EXPECT_EQ(info[790], 0);
}

} // namespace
