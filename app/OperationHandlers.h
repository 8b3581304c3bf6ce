#pragma once

#include <cstdint>

// The work of each operation code of the runtime. Every handler reads its
// parameters from the hub, talks to the camera through Camera::instance() and
// leaves its outcome in ec (preset to -1 by the caller): 0 success, a camera
// code, 118 no reply, or -1 when a precondition failed or a confirmation
// timed out.
void runOperationHandler(int code, int& ec);

// Starts (stop = false) or stops (stop = true) a capture and waits up to about
// 6 s for the camera to confirm it.
void switchCapture(bool stop, int& ec);

// Picture layout for a photo ratio byte (0 4:3, 1 16:9, 2 1:1) and orientation:
// 0 16:9, 1 9:16, 2 4:3, 3 3:4, 4 1:1.
int layoutForPhotoRatio(uint8_t ratio, bool portrait);

// Whether the camera shows the picture upright: byte 30 of the hub's SDK record.
bool cameraPortrait();
