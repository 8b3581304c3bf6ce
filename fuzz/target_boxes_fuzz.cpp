// Fuzz entry point: the subject boxes of a side-information message drawn
// onto a converted picture.
//
// Input: four bytes of picture geometry, then the message.
//   byte 0  picture width: 2 + 2 * (byte % 160), 2..320 pixels
//   byte 1  picture height: 2 + 2 * (byte % 120), 2..240 pixels
//   byte 2  extra line-size padding (0..63) in software mode, where the
//           picture keeps the line-size width; in hardware mode the picture
//           is cropped to its width while the boxes scale by the line size
//   byte 3  bit 0: hardware mode

#include "video/FrameConvert.h"

#include <opencv2/core.hpp>

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4 || size > 4096)
        return 0;
    const int width = 2 + 2 * (data[0] % 160);
    const int height = 2 + 2 * (data[1] % 120);
    const int lineSize = width + 2 * (data[2] % 32);
    const bool hardware = data[3] & 1;
    const std::string message(reinterpret_cast<const char*>(data) + 4, size - 4);

    SideInfo info;
    fillSideInfo(info, &message);
    // Hardware conversion hands over a view of its first `width` columns.
    cv::Mat full(height, lineSize, CV_8UC3, cv::Scalar(0, 0, 0));
    cv::Mat rgb = hardware ? full(cv::Rect(0, 0, width, height)) : full;
    const cv::Mat before = rgb;
    const int drawn = drawTargetBoxes(rgb, info, lineSize, height);
    if (drawn < 0 || drawn > 2 || rgb.data != before.data || rgb.rows != height)
        __builtin_trap();
    return 0;
}
