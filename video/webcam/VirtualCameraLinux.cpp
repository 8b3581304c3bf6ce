#include "video/webcam/PipeWireCamera.h"
#include "video/webcam/V4l2Loopback.h"

std::shared_ptr<VirtualCamera> makeVirtualCamera(const WebcamSettings& settings,
                                                 CaptureReport report) {
    if (!settings.loopbackDevice.empty())
        return std::make_shared<V4l2LoopbackCamera>(settings, std::move(report));
    return std::make_shared<PipeWireCamera>(settings, std::move(report));
}
