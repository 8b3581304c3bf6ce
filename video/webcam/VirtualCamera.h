#pragma once

#include "video/VideoPicture.h"
#include "video/capture/CaptureEvent.h"

#include <cstdint>
#include <memory>
#include <string>

// How the program offers itself as a camera to other programs.
struct WebcamSettings {
    // The node's name and the description that camera lists show.
    std::string nodeName = "orunapp";
    std::string description = "orunapp camera";
    // With the subject boxes drawn (as snapshots are).
    bool withBoxes = false;
    // The picture rate announced to consumers.
    int rate = 30;
};

// What a virtual camera has done so far.
struct WebcamStats {
    uint64_t pictures = 0; // handed in by the video path
    uint64_t sent = 0;     // written into a consumer's buffer
    uint64_t dropped = 0;  // a consumer was streaming but had no free buffer
    uint64_t formats = 0;  // formats negotiated with consumers
    bool streaming = false;
};

// The program's pictures offered as a camera of this system: a picture sink
// that hands each picture to a thread of its own, which copies it into the
// camera's buffers while a consumer reads them and drops it otherwise. The
// video path never waits for it.
//
// Reports (on its own thread): OutputWaiting once the camera is listed (path:
// its name), OutputOpened when a consumer starts reading, OutputClosed when
// it stops, or when the system's media service goes away (reason, with
// errorNumber EPIPE), and OutputFailed when the camera could not be offered
// at all (reason, errorNumber); after the last two it ends and reports
// Finished.
//
// Each system has its own: PipeWire on Linux; makeVirtualCamera() gives the
// one this build has, or none.
class VirtualCamera : public PictureSink {
public:
    ~VirtualCamera() override = default;
    // Offers the camera; false when it already ran.
    virtual bool start() = 0;
    // Withdraws the camera and ends the thread; waits at most `limitMs`.
    virtual void stop(int limitMs = 2000) = 0;
    virtual WebcamStats stats() const = 0;
};

// The virtual camera of this system, or none where the build has none.
std::shared_ptr<VirtualCamera> makeVirtualCamera(const WebcamSettings& settings,
                                                 CaptureReport report);
