#pragma once

#include <opencv2/core.hpp>

#include <vector>

struct AVFrame;
struct SwsContext;

// Converts decoded 4:2:0 pictures to R, G, B, A with libswscale, by each
// picture's own colour space and range, into a few buffers that are used
// again once nobody holds them any more. One thread uses a converter at a
// time.
class RgbaConverter {
public:
    RgbaConverter() = default;
    ~RgbaConverter();
    RgbaConverter(const RgbaConverter&) = delete;
    RgbaConverter& operator=(const RgbaConverter&) = delete;

    // The first `width` columns of the frame as a CV_8UC4 matrix: the top
    // left of a buffer whose lines are wider (its step); empty when the frame
    // is not 4:2:0 (planar or NV12) or narrower than `width`.
    cv::Mat convert(const AVFrame& frame, int width);

private:
    cv::Mat freeBuffer(int width, int height);

    SwsContext* m_sws = nullptr;
    std::vector<cv::Mat> m_buffers;
};
