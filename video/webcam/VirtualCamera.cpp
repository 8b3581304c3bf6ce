#include "video/webcam/VirtualCamera.h"

LoopbackDevice findLoopbackDevice(const std::vector<LoopbackDevice>& devices,
                                  const std::string& choice) {
    for (const LoopbackDevice& d : devices)
        if (d.path == choice)
            return d;
    for (const LoopbackDevice& d : devices)
        if (d.label == choice)
            return d;
    return LoopbackDevice{};
}

std::string loopbackHowTo() {
    return "sudo modprobe v4l2loopback exclusive_caps=1 card_label=\"orunapp camera\"";
}
