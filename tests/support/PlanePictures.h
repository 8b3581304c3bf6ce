#pragma once

// What the screen shows for a stream picture that reached the video widget as
// the decoder's planes: the same R, G, B picture the display stage makes for
// its other sinks, with the target boxes filled in.

#include "hub/PlanePicture.h"
#include "video/FrameConvert.h"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

#include <opencv2/core.hpp>

inline cv::Mat shownRgb(const PlanePicture& picture) {
    if (!picture.frame)
        return cv::Mat();
    cv::Mat rgb =
        convertFrame(picture.frame.get(),
                     picture.frame->format == AV_PIX_FMT_NV12 ? kDecodeHardware : kDecodeSoftware);
    if (!rgb.empty())
        fillBoxShapes(rgb, picture.boxes);
    return rgb;
}
