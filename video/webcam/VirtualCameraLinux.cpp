#include "video/webcam/PipeWireCamera.h"

std::shared_ptr<VirtualCamera> makeVirtualCamera(const WebcamSettings& settings,
                                                 CaptureReport report) {
    return std::make_shared<PipeWireCamera>(settings, std::move(report));
}
