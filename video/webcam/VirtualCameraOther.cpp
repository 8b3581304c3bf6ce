#include "video/webcam/VirtualCamera.h"

// No virtual camera on this system yet (Windows 11: a Media Foundation
// virtual camera plugs in here).
std::shared_ptr<VirtualCamera> makeVirtualCamera(const WebcamSettings&, CaptureReport) {
    return nullptr;
}

std::vector<LoopbackDevice> listLoopbackDevices(const std::string&) {
    return {};
}
