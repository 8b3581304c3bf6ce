#pragma once

#include "hub/PictureRect.h"

#include <QMetaType>

#include <opencv2/core.hpp>

#include <cstdint>
#include <memory>
#include <vector>

struct AVFrame;

// A decoded picture on its way to the screen as the decoder's own planes
// (4:2:0, planar or NV12), with what is to be drawn over it. The screen
// converts the planes itself, so no R, G, B copy is made for it.
struct PlanePicture {
    // The decoder's frame, held by reference: its planes stay valid while it
    // is held and must not be changed.
    std::shared_ptr<const AVFrame> frame;
    // The picture as shown: the first `width` columns and `height` rows of
    // the planes (the same size an R, G, B conversion of the frame has).
    int width = 0;
    int height = 0;
    // The picture converted to R, G, B, A (CV_8UC4, `width` x `height`, the
    // top left of a matrix whose lines may be longer), made only for a screen
    // whose OpenGL draws on the CPU; empty otherwise. The matrix is shared and
    // must not be changed.
    cv::Mat rgba;
    // The subject boxes with their corner bars, as white filled rectangles
    // (empty when boxes are not shown or there are none).
    std::vector<PictureRect> boxes;
    // Of the unit the picture was decoded from.
    uint64_t sequence = 0;
    int64_t cameraTime = 0;
};

Q_DECLARE_METATYPE(PlanePicture)
