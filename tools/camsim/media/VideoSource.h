#pragma once

#include <string>

namespace camsim {

// What the simulated camera's picture looks like right now; the control side
// changes it (resolution, mirroring, zoom).
struct VideoSettings {
    int width = 1280;
    int height = 720;
    bool mirror = false;
    float zoom = 1.0f; // 1.0 .. 3.5
};

// One frame the camera sends: an H.264 access unit (start-code form) and the
// side information that goes with it.
struct VideoFrame {
    std::string accessUnit;
    // Payload of the side-information message (without its 00 00 00 01 0D
    // prefix), 791 bytes, or empty when the frame has none.
    std::string sideInfo;
};

// A source of video frames for the media sender (synthetic encoder, file replay).
class VideoSource {
public:
    virtual ~VideoSource() = default;
    // Applies new settings; takes effect at the next key frame at the latest.
    virtual void configure(const VideoSettings& settings) = 0;
    // Produces the next frame; false when the source has ended.
    virtual bool nextFrame(VideoFrame& out) = 0;
    // A media session begins: a source that can, starts it with a key frame,
    // as a camera does (a decoder can start nowhere else).
    virtual void startStream() {}
    virtual int framesPerSecond() const = 0;
};

} // namespace camsim
