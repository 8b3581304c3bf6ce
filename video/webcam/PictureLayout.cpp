#include "video/webcam/PictureLayout.h"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#include <cstring>

namespace {

int roundUp(int value, int to) {
    return (value + to - 1) / to * to;
}

AVPixelFormat pixelFormat(PictureLayout::Format format) {
    switch (format) {
    case PictureLayout::Format::I420:
        return AV_PIX_FMT_YUV420P;
    case PictureLayout::Format::YUY2:
        return AV_PIX_FMT_YUYV422;
    case PictureLayout::Format::BGRx:
        return AV_PIX_FMT_BGR0;
    }
    return AV_PIX_FMT_NONE;
}

} // namespace

PictureLayout PictureLayout::of(Format format, int width, int height) {
    PictureLayout layout;
    layout.format = format;
    if (width <= 0 || height <= 0 || width > 16384 || height > 16384)
        return layout;
    layout.width = width;
    layout.height = height;
    switch (format) {
    case Format::I420: {
        const int chromaHeight = roundUp(height, 2) / 2;
        layout.planes = 3;
        layout.strides[0] = roundUp(width, 4);
        layout.strides[1] = layout.strides[2] = roundUp(roundUp(width, 2) / 2, 4);
        layout.offsets[1] = static_cast<size_t>(layout.strides[0]) * roundUp(height, 2);
        layout.offsets[2] =
            layout.offsets[1] + static_cast<size_t>(layout.strides[1]) * chromaHeight;
        layout.size = layout.offsets[2] + static_cast<size_t>(layout.strides[2]) * chromaHeight;
        break;
    }
    case Format::YUY2:
        layout.planes = 1;
        layout.strides[0] = roundUp(width * 2, 4);
        layout.size = static_cast<size_t>(layout.strides[0]) * height;
        break;
    case Format::BGRx:
        layout.planes = 1;
        layout.strides[0] = width * 4;
        layout.size = static_cast<size_t>(layout.strides[0]) * height;
        break;
    }
    return layout;
}

const char* PictureLayout::name(Format format) {
    switch (format) {
    case Format::I420:
        return "I420";
    case Format::YUY2:
        return "YUY2";
    case Format::BGRx:
        return "BGRx";
    }
    return "?";
}

PictureConverter::~PictureConverter() {
    sws_freeContext(m_sws);
}

bool PictureConverter::convert(const cv::Mat& rgb, const PictureLayout& layout, uint8_t* out,
                               size_t outSize) {
    if (layout.size == 0 || outSize < layout.size || !out || rgb.type() != CV_8UC3 ||
        rgb.cols < layout.width || rgb.rows < layout.height)
        return false;
    // At an odd width the halved chroma input would read one pixel past
    // each line (past the picture on its last line): chroma is then taken at
    // full width and scaled.
    const int flags = SWS_POINT | (layout.width % 2 != 0 ? SWS_FULL_CHR_H_INP : 0);
    m_sws = sws_getCachedContext(m_sws, layout.width, layout.height, AV_PIX_FMT_RGB24, layout.width,
                                 layout.height, pixelFormat(layout.format), flags, nullptr, nullptr,
                                 nullptr);
    if (!m_sws)
        return false;
    const uint8_t* src[4] = {rgb.data, nullptr, nullptr, nullptr};
    const int srcStride[4] = {static_cast<int>(rgb.step[0]), 0, 0, 0};
    uint8_t* dst[4] = {nullptr, nullptr, nullptr, nullptr};
    int dstStride[4] = {0, 0, 0, 0};
    for (int p = 0; p < layout.planes; ++p) {
        dst[p] = out + layout.offsets[p];
        dstStride[p] = layout.strides[p];
    }
    return sws_scale(m_sws, src, srcStride, 0, layout.height, dst, dstStride) == layout.height;
}

bool PictureConverter::convert(const AVFrame& frame, const PictureLayout& layout, uint8_t* out,
                               size_t outSize) {
    const auto format = static_cast<AVPixelFormat>(frame.format);
    if (layout.size == 0 || outSize < layout.size || !out || frame.width != layout.width ||
        frame.height != layout.height || !frame.data[0] ||
        (format != AV_PIX_FMT_YUV420P && format != AV_PIX_FMT_YUVJ420P &&
         format != AV_PIX_FMT_NV12))
        return false;
    if (format == AV_PIX_FMT_YUV420P && layout.format == PictureLayout::Format::I420) {
        // The consumer's format is the decoder's: the planes are copied.
        for (int p = 0; p < 3; ++p) {
            const int w = p == 0 ? layout.width : (layout.width + 1) / 2;
            const int h = p == 0 ? layout.height : (layout.height + 1) / 2;
            if (!frame.data[p] || frame.linesize[p] < w)
                return false;
            for (int y = 0; y < h; ++y)
                std::memcpy(out + layout.offsets[p] + static_cast<size_t>(y) * layout.strides[p],
                            frame.data[p] + static_cast<ptrdiff_t>(y) * frame.linesize[p],
                            static_cast<size_t>(w));
        }
        return true;
    }
    m_sws = sws_getCachedContext(m_sws, layout.width, layout.height, format, layout.width,
                                 layout.height, pixelFormat(layout.format), SWS_POINT, nullptr,
                                 nullptr, nullptr);
    if (!m_sws)
        return false;
    uint8_t* dst[4] = {nullptr, nullptr, nullptr, nullptr};
    int dstStride[4] = {0, 0, 0, 0};
    for (int p = 0; p < layout.planes; ++p) {
        dst[p] = out + layout.offsets[p];
        dstStride[p] = layout.strides[p];
    }
    return sws_scale(m_sws, frame.data, frame.linesize, 0, layout.height, dst, dstStride) ==
           layout.height;
}
