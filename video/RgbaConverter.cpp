#include "video/RgbaConverter.h"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#include <algorithm>

namespace {

// Buffers kept for use again: the one shown, one on its way, one being filled.
constexpr size_t kBuffersKept = 3;
// libswscale writes whole blocks of pixels: each line has room to the next
// multiple of this many pixels, and one line more follows the last.
constexpr int kLineBlock = 32;

// Whether `m` is the only header of its pixels (other threads let go of
// theirs with atomic decrements: read it the same way).
bool heldHereAlone(const cv::Mat& m) {
    return m.u && CV_XADD(&m.u->refcount, 0) == 1;
}

} // namespace

RgbaConverter::~RgbaConverter() {
    sws_freeContext(m_sws);
}

cv::Mat RgbaConverter::freeBuffer(int width, int height) {
    const int lineWidth = (width + kLineBlock - 1) / kLineBlock * kLineBlock;
    for (cv::Mat& m : m_buffers) {
        // Held by this list alone: nobody reads it any more.
        if (heldHereAlone(m) && m.cols == lineWidth && m.rows == height + 1)
            return m;
    }
    cv::Mat fresh(height + 1, lineWidth, CV_8UC4, cv::Scalar(0, 0, 0, 255));
    m_buffers.erase(std::remove_if(m_buffers.begin(), m_buffers.end(),
                                   [](const cv::Mat& m) { return heldHereAlone(m); }),
                    m_buffers.end());
    if (m_buffers.size() < kBuffersKept)
        m_buffers.push_back(fresh);
    return fresh;
}

cv::Mat RgbaConverter::convert(const AVFrame& frame, int width) {
    const AVPixelFormat format = static_cast<AVPixelFormat>(frame.format);
    if ((format != AV_PIX_FMT_YUV420P && format != AV_PIX_FMT_YUVJ420P &&
         format != AV_PIX_FMT_NV12) ||
        width <= 0 || frame.height < 2 || frame.linesize[0] < width || !frame.data[0] ||
        !frame.data[1] || (format != AV_PIX_FMT_NV12 && !frame.data[2]))
        return cv::Mat();
    // Chroma lines that hold the width's samples, so that no line is read
    // past its end.
    const int chromaBytes = format == AV_PIX_FMT_NV12 ? (width + 1) / 2 * 2 : (width + 1) / 2;
    if (frame.linesize[1] < chromaBytes ||
        (format != AV_PIX_FMT_NV12 && frame.linesize[2] < chromaBytes))
        return cv::Mat();
    // The planar full-range format is deprecated in libswscale's eyes: the
    // same planes as planar with the range said apart.
    const bool full = frame.color_range == AVCOL_RANGE_JPEG || format == AV_PIX_FMT_YUVJ420P;
    const AVPixelFormat source = format == AV_PIX_FMT_YUVJ420P ? AV_PIX_FMT_YUV420P : format;
    m_sws = sws_getCachedContext(m_sws, width, frame.height, source, width, frame.height,
                                 AV_PIX_FMT_RGBA, SWS_POINT, nullptr, nullptr, nullptr);
    if (!m_sws)
        return cv::Mat();
    const int space = frame.colorspace == AVCOL_SPC_BT709        ? SWS_CS_ITU709
                      : frame.colorspace == AVCOL_SPC_BT2020_NCL ? SWS_CS_BT2020
                      : frame.colorspace == AVCOL_SPC_SMPTE240M  ? SWS_CS_SMPTE240M
                      : frame.colorspace == AVCOL_SPC_FCC        ? SWS_CS_FCC
                                                                 : SWS_CS_ITU601;
    const int* table = sws_getCoefficients(space);
    sws_setColorspaceDetails(m_sws, table, full ? 1 : 0, table, 1, 0, 1 << 16, 1 << 16);
    cv::Mat rgba = freeBuffer(width, frame.height);
    uint8_t* dst[4] = {rgba.data, nullptr, nullptr, nullptr};
    const int dstStride[4] = {static_cast<int>(rgba.step), 0, 0, 0};
    if (sws_scale(m_sws, frame.data, frame.linesize, 0, frame.height, dst, dstStride) !=
        frame.height)
        return cv::Mat();
    return rgba(cv::Rect(0, 0, width, frame.height));
}
