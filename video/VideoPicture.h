#pragma once

#include "video/FrameConvert.h"

#include <opencv2/core.hpp>

#include <cstdint>
#include <memory>
#include <vector>

struct AVFrame;

// One decoded picture as the display stage hands it out.
struct VideoPicture {
    // The picture as the screen shows it: three 8-bit channels, R, G, B,
    // with the target boxes drawn when `boxesDrawn`. Made only while a sink
    // wantsRgbPicture(), else empty.
    cv::Mat rgb;
    // The same picture without boxes. Shares `rgb`'s pixels when no boxes
    // were drawn; when boxes were drawn it is filled only while a sink
    // wantsCleanPicture(), and is empty otherwise.
    cv::Mat clean;
    bool boxesDrawn = false;
    // The target boxes shown over the picture (targetBoxShapes; empty while
    // boxes are not shown), for sinks that draw them over the planes.
    std::vector<PictureRect> boxes;
    // The picture's own width and height: `rgb` (and shownWidth) may be
    // wider by the line padding of the decoded picture.
    int width = 0;
    int height = 0;
    // The width of the picture as the screen shows it (rgb.cols when made).
    int shownWidth = 0;
    // The side information of the unit the picture was decoded from, and the
    // width and height the box fractions refer to (drawTargetBoxes).
    std::shared_ptr<const SideInfo> side;
    int boxWidth = 0;
    int boxHeight = 0;
    // Of the unit the picture was decoded from (see VideoUnit).
    uint64_t sequence = 0;
    int64_t cameraTime = 0;
    int64_t arrivalUs = 0;
    // The decoded frame the picture was converted from (YUV 4:2:0: planar
    // from the software decoder, NV12 from the graphics hardware), without
    // boxes; held only while a sink wantsDecodedFrame(), else empty. Its
    // planes stay valid while it is held and must not be changed.
    std::shared_ptr<const AVFrame> decoded;
    // The hardware decoder's surface the picture is on, when the screen
    // imports such surfaces itself (videoctl::setScreenSurfaces); empty
    // otherwise. `decoded` then holds a copy in system memory only while a
    // sink wantsDecodedFrame() and does not takeSurface().
    std::shared_ptr<const AVFrame> surface;
};

// A consumer of decoded pictures: the video widget is the first; a snapshot
// taker plugs in the same way (videoctl::addPictureSink).
//
// The display thread converts a picture to R, G, B only when at least one
// sink wantsPicture() and wantsRgbPicture(), then calls onPicture() of every sink that wants it, in
// the order they were added. Calls must return quickly; the matrices are shared and must not be
// changed (clone first). A sink that keeps a picture keeps the matrix (its pixels stay valid while
// it is held).
class PictureSink {
public:
    virtual ~PictureSink() = default;
    // Whether the next picture should be converted for this sink (the widget
    // says no while it is still painting the last one).
    virtual bool wantsPicture() const { return true; }
    // Whether this sink reads the R, G, B picture (`rgb`, `clean`); a sink
    // that reads only the decoded planes says no, and when no sink wants it
    // the picture is not converted at all.
    virtual bool wantsRgbPicture() const { return true; }
    // Whether this sink needs the picture without boxes when boxes are shown.
    virtual bool wantsCleanPicture() const { return false; }
    // Whether this sink takes the decoder's own planes as well (a sink that
    // sends YUV copies them instead of converting the R, G, B picture back).
    virtual bool wantsDecodedFrame() const { return false; }
    // Whether this sink takes a hardware decoder's surface (`surface`) in
    // place of the decoded planes in system memory.
    virtual bool takesSurface() const { return false; }
    virtual void onPicture(const VideoPicture& picture) = 0;
};
