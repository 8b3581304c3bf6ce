#pragma once

#include "hub/PictureRect.h"

#include <QMetaType>

#include <opencv2/core.hpp>

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

struct AVFrame;

// A decoded picture on its way to the screen as the decoder's own planes
// (4:2:0, planar or NV12), with what is to be drawn over it. The screen
// converts the planes itself, so no R, G, B copy is made for it.
struct PlanePicture {
    PlanePicture() = default;
    PlanePicture(const PlanePicture& other) { *this = other; }
    PlanePicture& operator=(const PlanePicture& other) {
        other.m_published.load(std::memory_order_acquire);
        frame = other.frame;
        width = other.width;
        height = other.height;
        rgba = other.rgba;
        boxes = other.boxes;
        sequence = other.sequence;
        cameraTime = other.cameraTime;
        m_published.store(true, std::memory_order_release);
        return *this;
    }

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

private:
    // A picture goes from the display thread to the screen inside Qt's event
    // queue, whose lock the thread checker cannot see: each copy takes what
    // the copy it came from published, and publishes what it holds.
    mutable std::atomic<bool> m_published{false};
};

Q_DECLARE_METATYPE(PlanePicture)
