#pragma once

#include "hub/CameraStatus.h"

#include <cstdint>
#include <functional>

class ReplyDispatcher;

// What the status and battery pushes mean beyond the hub's fields (the fault
// messages) is decided above the control link; the program hands it in at
// start-up. Both run on the control receive thread; empty members do nothing.
struct DeviceReportHooks {
    std::function<void(const Orun_Camera_CurrStatus& status)> statusReport;
    std::function<void(int level)> batteryReport;
};
void setDeviceReportHooks(DeviceReportHooks hooks);

// Registers the parser of every reply and push the client understands.
void registerCameraParsers(ReplyDispatcher& table);

// Status record from the camera's 88-byte status block.
Orun_Camera_CurrStatus statusFromBlock(const uint8_t* block);
// Gimbal state record from the camera's 28-byte gimbal state block.
GimbalStateRecord gimbalStateFromBlock(const uint8_t* block);
