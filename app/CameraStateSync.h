#pragma once

// Reads what the camera is doing after the control link came up (work mode,
// a recording or burst in progress, photo parameters, resolution, gimbal
// lock, orientation, picture layout), stores it in the hub and emits the hub
// signals that make the widgets redraw. Runs on the connection supervisor
// thread; every query is independent, a failed one leaves its fields alone.
void syncCameraState();

// True once a synchronisation has run; every later pass also restarts the
// video client.
bool cameraStateSyncedOnce();
