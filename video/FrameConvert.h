#pragma once

#include "hub/PictureRect.h"

#include <opencv2/core.hpp>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

struct AVFrame;

// The camera's side information that travels with each access unit (the
// payload of its 00 00 00 01 0D messages), 791 bytes, all zero when none came.
constexpr int kSideInfoSize = 791;
using SideInfo = std::array<uint8_t, kSideInfoSize>;

// Fills `info` from a side-information message: at most 791 bytes are copied,
// the rest stays zero; an empty pointer gives all zeros.
void fillSideInfo(SideInfo& info, const std::string* message);

// One subject box of the side information, coordinates as fractions of the
// picture's width and height.
struct TargetBox {
    bool valid = false;
    float left = 0.0f;
    float top = 0.0f;
    float right = 0.0f;
    float bottom = 0.0f;
};

// Decode modes (the hub's iDecodeMode).
constexpr int kDecodeHardware = 0;
constexpr int kDecodeSoftware = 1;

// Turns a decoded picture into a three-channel R, G, B matrix. Hardware mode
// expects an NV12 frame and crops the line padding; software mode expects
// planar 4:2:0 and keeps the line-size width. A frame of another layout, an
// empty frame or another mode gives an empty matrix.
cv::Mat convertFrame(const AVFrame* frame, int decodeMode);

// The width of convertFrame()'s result for the frame by its own layout
// (NV12: hardware, planar 4:2:0: software), without converting; 0 when it
// would give an empty matrix.
int convertedWidth(const AVFrame* frame);

// Reads box record `index` (0 or 1) of the side information.
TargetBox targetBoxAt(const SideInfo& info, int index);

// The subject boxes of the side information, each as its one-pixel outline
// and eight corner bars, appended to `shapes` as white filled rectangles in
// the pixels of a `width` x `height` picture (the frame's line size and
// height). Returns the number of boxes.
int targetBoxShapes(const SideInfo& info, int width, int height, std::vector<PictureRect>& shapes);

// Fills the shapes of targetBoxShapes() into `rgb` (clipped to it).
void fillBoxShapes(cv::Mat& rgb, const std::vector<PictureRect>& shapes);

// Draws the subject boxes (targetBoxShapes) onto `rgb`. Returns the number of
// boxes drawn.
int drawTargetBoxes(cv::Mat& rgb, const SideInfo& info, int width, int height);
