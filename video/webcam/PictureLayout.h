#pragma once

#include "video/VideoPicture.h"

#include <cstddef>
#include <cstdint>

struct AVFrame;
struct SwsContext;

// How one picture lies in a camera buffer: the pixel formats the virtual
// camera offers, with the planes where GStreamer's and PipeWire's consumers
// look for them when a buffer carries a single block (lines padded to four
// bytes, the chroma planes after the padded luma plane).
struct PictureLayout {
    enum class Format { I420, YUY2, BGRx };
    Format format = Format::I420;
    int width = 0;
    int height = 0;
    int planes = 0;
    int strides[3] = {0, 0, 0};
    size_t offsets[3] = {0, 0, 0};
    size_t size = 0;

    // The layout of a `width` x `height` picture; size 0 when either is not
    // positive.
    static PictureLayout of(Format format, int width, int height);
    static const char* name(Format format);
};

// Turns R, G, B pictures, or the decoder's frames, into a layout's pixels in
// one pass (libswscale, BT.601 with the video range, as the decoder's
// pictures came). One converter per thread: it keeps its scaler between
// pictures.
class PictureConverter {
public:
    PictureConverter() = default;
    ~PictureConverter();
    PictureConverter(const PictureConverter&) = delete;
    PictureConverter& operator=(const PictureConverter&) = delete;

    // Writes `rgb` (CV_8UC3, at least layout.width x layout.height) into
    // `out`, which holds `outSize` bytes. False, and nothing written, when
    // the picture or the buffer does not fit the layout.
    bool convert(const cv::Mat& rgb, const PictureLayout& layout, uint8_t* out, size_t outSize);

    // Writes the decoder's frame (YUV 4:2:0, planar or NV12, at the layout's
    // size) into `out`: I420 from planar video-range YUV is copied line by
    // line, everything else converted in one pass. False, and nothing
    // written, when the frame or the buffer does not fit.
    bool convert(const AVFrame& frame, const PictureLayout& layout, uint8_t* out, size_t outSize);

private:
    SwsContext* m_sws = nullptr;
};
