#pragma once

#include "video/VideoPicture.h"
#include "video/capture/CaptureEvent.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// How the program offers itself as a camera to other programs.
struct WebcamSettings {
    // The node's name and the description that camera lists show.
    std::string nodeName = "orunapp";
    std::string description = "orunapp camera";
    // With the subject boxes drawn (as snapshots are).
    bool withBoxes = false;
    // The picture rate announced to consumers until the stream's own is
    // known (from the pictures' arrivals); then that one.
    int rate = 30;
    // Empty: the system's own camera service (PipeWire). Else the
    // v4l2loopback device to write to, by its path or its card label.
    std::string loopbackDevice;
};

// What a virtual camera has done so far.
struct WebcamStats {
    uint64_t pictures = 0; // handed in by the video path
    uint64_t sent = 0;     // written into a consumer's buffer
    uint64_t dropped = 0;  // a consumer was streaming but had no free buffer
    uint64_t formats = 0;  // formats negotiated with consumers
    int rate = 0;          // pictures a second offered now (0: nothing offered yet)
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

// The virtual camera of this system (a v4l2loopback device when the settings
// name one), or none where the build has none.
std::shared_ptr<VirtualCamera> makeVirtualCamera(const WebcamSettings& settings,
                                                 CaptureReport report);

// A video device of the v4l2loopback kernel module (Linux): what programs
// that open V4L2 cameras, and OBS's own virtual camera, read.
struct LoopbackDevice {
    std::string path;  // "/dev/video10"
    std::string label; // its card label ("orunapp camera")
};

// The v4l2loopback devices under `folder` (their driver says "v4l2
// loopback"), in the order of their numbers; other video devices are left
// out. None where the system has no such module.
std::vector<LoopbackDevice> listLoopbackDevices(const std::string& folder = "/dev");
// The device that `choice` names, by its path or else by its card label; an
// empty path when none does.
LoopbackDevice findLoopbackDevice(const std::vector<LoopbackDevice>& devices,
                                  const std::string& choice);
// The command that makes one.
std::string loopbackHowTo();
