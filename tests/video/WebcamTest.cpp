// The virtual camera's pictures as its consumers read them: each offered
// format, at even and odd sizes, where a single-block consumer (GStreamer's
// pipewiresrc, a browser) looks for the planes, checked against OpenCV's own
// conversions.
#include "video/webcam/PictureLayout.h"
#include "video/webcam/StreamRate.h"

extern "C" {
#include <libavutil/frame.h>
}

#include <opencv2/imgproc.hpp>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

// Four flat quadrants of distinct colours, with a padded line (as decoded
// pictures have) when `pad` is set.
cv::Mat quadrants(int w, int h, bool pad) {
    cv::Mat wide(h, w + (pad ? 32 : 0), CV_8UC3, cv::Scalar(0, 0, 0));
    cv::Mat rgb = wide(cv::Rect(0, 0, w, h));
    rgb(cv::Rect(0, 0, w / 2, h / 2)).setTo(cv::Scalar(200, 40, 40));
    rgb(cv::Rect(w / 2, 0, w - w / 2, h / 2)).setTo(cv::Scalar(40, 200, 40));
    rgb(cv::Rect(0, h / 2, w / 2, h - h / 2)).setTo(cv::Scalar(40, 40, 200));
    rgb(cv::Rect(w / 2, h / 2, w - w / 2, h - h / 2)).setTo(cv::Scalar(220, 220, 60));
    return rgb;
}

// The largest channel difference between two R, G, B pictures inside the
// quadrants (their borders left out: chroma is shared by two pixels there).
int farthest(const cv::Mat& a, const cv::Mat& b) {
    int worst = 0;
    const int w = a.cols;
    const int h = a.rows;
    for (int y : {h / 4, 3 * h / 4})
        for (int x : {w / 4, 3 * w / 4})
            for (int c = 0; c < 3; ++c)
                worst =
                    std::max(worst, std::abs(a.at<cv::Vec3b>(y, x)[c] - b.at<cv::Vec3b>(y, x)[c]));
    return worst;
}

} // namespace

TEST(WebcamPictures, EachFormatHoldsThePictureWhereItsConsumersReadIt) {
    const cv::Mat rgb = quadrants(640, 360, true);
    PictureConverter converter;

    const PictureLayout i420 = PictureLayout::of(PictureLayout::Format::I420, 640, 360);
    ASSERT_EQ(i420.size, 640u * 360 * 3 / 2);
    std::vector<uint8_t> out(i420.size);
    ASSERT_TRUE(converter.convert(rgb, i420, out.data(), out.size()));
    cv::Mat back;
    cv::cvtColor(cv::Mat(540, 640, CV_8UC1, out.data()), back, cv::COLOR_YUV2RGB_I420);
    EXPECT_LE(farthest(rgb, back), 6);

    const PictureLayout yuy2 = PictureLayout::of(PictureLayout::Format::YUY2, 640, 360);
    ASSERT_EQ(yuy2.size, 640u * 360 * 2);
    out.assign(yuy2.size, 0);
    ASSERT_TRUE(converter.convert(rgb, yuy2, out.data(), out.size()));
    cv::cvtColor(cv::Mat(360, 640, CV_8UC2, out.data()), back, cv::COLOR_YUV2RGB_YUY2);
    EXPECT_LE(farthest(rgb, back), 6);

    const PictureLayout bgrx = PictureLayout::of(PictureLayout::Format::BGRx, 640, 360);
    ASSERT_EQ(bgrx.size, 640u * 360 * 4);
    out.assign(bgrx.size, 0);
    ASSERT_TRUE(converter.convert(rgb, bgrx, out.data(), out.size()));
    cv::cvtColor(cv::Mat(360, 640, CV_8UC4, out.data()), back, cv::COLOR_BGRA2RGB);
    EXPECT_EQ(farthest(rgb, back), 0);
}

TEST(WebcamPictures, AnOddSizeKeepsItsLinesOnFourByteBoundaries) {
    // 642 x 362 would need no padding; 641 x 361 pads every plane's lines.
    const cv::Mat rgb = quadrants(641, 361, false);
    const PictureLayout i420 = PictureLayout::of(PictureLayout::Format::I420, 641, 361);
    EXPECT_EQ(i420.strides[0], 644);
    EXPECT_EQ(i420.strides[1], 324);
    EXPECT_EQ(i420.offsets[1], 644u * 362);
    EXPECT_EQ(i420.offsets[2], 644u * 362 + 324u * 181);
    EXPECT_EQ(i420.size, 644u * 362 + 2u * 324 * 181);
    std::vector<uint8_t> out(i420.size, 0);
    PictureConverter converter;
    ASSERT_TRUE(converter.convert(rgb, i420, out.data(), out.size()));
    // The luma of the last line's last pixel and the chroma of the last
    // chroma line: the bottom right quadrant's colour (BT.601, video range).
    const cv::Vec3b colour(220, 220, 60);
    const double y = 16 + (65.481 * colour[0] + 128.553 * colour[1] + 24.966 * colour[2]) / 255;
    const double u = 128 + (-37.797 * colour[0] - 74.203 * colour[1] + 112.0 * colour[2]) / 255;
    EXPECT_NEAR(out[360u * 644 + 640], y, 3);
    EXPECT_NEAR(out[i420.offsets[1] + 180u * 324 + 320], u, 3);

    const PictureLayout yuy2 = PictureLayout::of(PictureLayout::Format::YUY2, 641, 361);
    EXPECT_EQ(yuy2.strides[0], 1284);
    EXPECT_EQ(yuy2.size, 1284u * 361);
}

TEST(WebcamPictures, APictureThatDoesNotFitItsBufferIsNotWritten) {
    PictureConverter converter;
    const PictureLayout layout = PictureLayout::of(PictureLayout::Format::I420, 640, 360);
    std::vector<uint8_t> out(layout.size - 1, 7);
    EXPECT_FALSE(converter.convert(quadrants(640, 360, false), layout, out.data(), out.size()));
    out.resize(layout.size, 7);
    EXPECT_FALSE(converter.convert(quadrants(320, 180, false), layout, out.data(), out.size()));
    EXPECT_FALSE(converter.convert(cv::Mat(), layout, out.data(), out.size()));
    EXPECT_EQ(out[0], 7);
    EXPECT_EQ(PictureLayout::of(PictureLayout::Format::BGRx, 0, 360).size, 0u);
    EXPECT_EQ(PictureLayout::of(PictureLayout::Format::BGRx, -4, 360).size, 0u);
}

TEST(WebcamPictures, TheDecodersPlanesAreCopiedForI420AndConvertedOnceForTheOthers) {
    const cv::Mat rgb = quadrants(640, 360, false);
    cv::Mat i420;
    cv::cvtColor(rgb, i420, cv::COLOR_RGB2YUV_I420);
    // The decoder's frame: planar, with lines wider than the picture.
    const int w = 640;
    const int h = 360;
    std::vector<uint8_t> y(static_cast<size_t>(w + 64) * h, 0);
    std::vector<uint8_t> u(static_cast<size_t>(w / 2 + 32) * h / 2, 0);
    std::vector<uint8_t> v(u.size(), 0);
    std::vector<uint8_t> uv(static_cast<size_t>(w + 64) * h / 2, 0);
    for (int r = 0; r < h; ++r)
        std::memcpy(&y[static_cast<size_t>(r) * (w + 64)], i420.ptr(r), w);
    const uint8_t* cb = i420.ptr(h);
    const uint8_t* cr = cb + w * h / 4;
    for (int r = 0; r < h / 2; ++r)
        for (int c = 0; c < w / 2; ++c) {
            u[static_cast<size_t>(r) * (w / 2 + 32) + c] = cb[r * w / 2 + c];
            v[static_cast<size_t>(r) * (w / 2 + 32) + c] = cr[r * w / 2 + c];
            uv[static_cast<size_t>(r) * (w + 64) + 2 * c] = cb[r * w / 2 + c];
            uv[static_cast<size_t>(r) * (w + 64) + 2 * c + 1] = cr[r * w / 2 + c];
        }
    AVFrame planar{};
    planar.format = AV_PIX_FMT_YUV420P;
    planar.width = w;
    planar.height = h;
    planar.data[0] = y.data();
    planar.data[1] = u.data();
    planar.data[2] = v.data();
    planar.linesize[0] = w + 64;
    planar.linesize[1] = planar.linesize[2] = w / 2 + 32;
    AVFrame nv12 = planar;
    nv12.format = AV_PIX_FMT_NV12;
    nv12.data[1] = uv.data();
    nv12.data[2] = nullptr;
    nv12.linesize[1] = w + 64;
    nv12.linesize[2] = 0;

    PictureConverter converter;
    const PictureLayout layout = PictureLayout::of(PictureLayout::Format::I420, w, h);
    std::vector<uint8_t> out(layout.size, 0);
    for (const AVFrame* frame : {&planar, &nv12}) {
        std::fill(out.begin(), out.end(), 0);
        ASSERT_TRUE(converter.convert(*frame, layout, out.data(), out.size()));
        EXPECT_EQ(std::memcmp(out.data(), i420.data, layout.size), 0)
            << (frame == &planar ? "planar" : "NV12") << ": the very planes";
    }
    const PictureLayout bgrx = PictureLayout::of(PictureLayout::Format::BGRx, w, h);
    out.assign(bgrx.size, 0);
    ASSERT_TRUE(converter.convert(planar, bgrx, out.data(), out.size()));
    cv::Mat back;
    cv::cvtColor(cv::Mat(h, w, CV_8UC4, out.data()), back, cv::COLOR_BGRA2RGB);
    EXPECT_LE(farthest(rgb, back), 6);

    // Another size, or a format the decoder does not give, is not written.
    AVFrame other = planar;
    other.width = 320;
    EXPECT_FALSE(converter.convert(other, layout, out.data(), out.size()));
    other = planar;
    other.format = AV_PIX_FMT_YUV444P;
    EXPECT_FALSE(converter.convert(other, layout, out.data(), out.size()));
}

TEST(WebcamRate, TheRateIsTheUsualOneTheArrivalsAreCloseToWhateverTheDisplayLeftOut) {
    StreamRate rate;
    // 30 a second with a millisecond of jitter: not before 30 steps.
    for (uint64_t unit = 1; unit <= 30; ++unit)
        rate.add(unit, static_cast<int64_t>(unit) * 33333 + (unit % 3) * 1000);
    EXPECT_EQ(rate.perSecond(), 0);
    rate.add(31, 31 * 33333);
    EXPECT_EQ(rate.perSecond(), 30);
    // Pictures the display left out (every other one), and a stall with its
    // burst, change nothing.
    int64_t at = 31 * 33333;
    for (uint64_t unit = 33; unit <= 91; unit += 2) {
        at += 2 * 33333;
        rate.add(unit, at);
    }
    EXPECT_EQ(rate.perSecond(), 30);
    at += 500000;
    rate.add(93, at);
    for (uint64_t unit = 94; unit <= 97; ++unit)
        rate.add(unit, at += 1000);
    EXPECT_EQ(rate.perSecond(), 30);

    // A new stream at 60 a second: counted anew.
    for (uint64_t unit = 1; unit <= 31; ++unit)
        rate.add(unit, 50000000 + static_cast<int64_t>(unit) * 16667);
    EXPECT_EQ(rate.perSecond(), 60);
    // An unusual rate is rounded to whole pictures.
    StreamRate odd;
    for (uint64_t unit = 1; unit <= 31; ++unit)
        odd.add(unit, static_cast<int64_t>(unit) * 1000000 / 37);
    EXPECT_EQ(odd.perSecond(), 37);
}
