#pragma once

#include <array>

struct AVFrame;

// How a 4:2:0 picture's Y, Cb, Cr samples (each 0..1, as a texture returns
// them) turn into R, G, B: rgb = matrix * (yuv - offset), by the picture's
// own colour space and range.
struct PlaneColour {
    // Row-major 3 x 3.
    std::array<float, 9> matrix{};
    std::array<float, 3> offset{};
};

// The conversion for a frame's colorspace and color_range. An unknown or
// unspecified colour space is taken as BT.601 (what the decoder's pictures
// were always converted with, and libswscale's default); full range when the
// frame says so or its format is the full-range planar one.
PlaneColour planeColourOf(const AVFrame& frame);
// The same from the values themselves (AVColorSpace, AVColorRange).
PlaneColour planeColour(int colorspace, bool fullRange);
