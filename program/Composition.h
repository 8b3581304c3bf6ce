#pragma once

#include "app/CaptureControl.h"
#include "camera/Camera.h"

// The one place that sees every layer: hands each what it needs from the
// layers above it, before the program's threads start.

// The connection supervisor's collaborators as the program has them: the
// initial state synchronisation, the media client, the decoder controller,
// the configured hotspot addresses and the stop-video pictures.
Camera::SupervisorHooks programSupervisorHooks();

// The capture's way into the video path: the decoder controller's sink lists.
CaptureControl::VideoHooks captureVideoHooks();

// Wires the program: the supervisor's collaborators, the device reports of
// the reply parsers, the decoder controller's media client, the capture's
// video path.
void composeProgram();

// After the main window exists: wires the program, starts the operation
// runtime, lets the supervisor go and find the camera, and starts the
// capture that this run's settings ask for (RunOverrides).
void startProgram();
