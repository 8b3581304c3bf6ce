#pragma once

#include <cstddef>
#include <cstdint>

// A small H.264 key frame in Annex B form (SPS, PPS, one IDR slice of a 64x64
// picture; resources/probe/key_frame.h264, made by tools/probeframe), built
// into the program. The decoder decodes it on a hardware device before it
// trusts the device with the camera's stream.
extern const uint8_t kProbeKeyFrame[];
extern const size_t kProbeKeyFrameSize;
