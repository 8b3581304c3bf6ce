#pragma once

#include "camera/CameraStatus.h"

#include <cstdint>

class ReplyDispatcher;

// Registers the parser of every reply and push the client understands.
void registerCameraParsers(ReplyDispatcher& table);

// Status record from the camera's 88-byte status block.
Orun_Camera_CurrStatus statusFromBlock(const uint8_t* block);
// Gimbal state record from the camera's 28-byte gimbal state block.
GimbalStateRecord gimbalStateFromBlock(const uint8_t* block);
