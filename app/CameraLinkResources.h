#pragma once

#include "camera/Camera.h"

#include <opencv2/core.hpp>

// What the connection supervisor takes from the program's settings and files.

// The camera addresses of hotspot mode from the configuration
// (BaseOption/usb and BaseOption/wifi), the defaults where none is set. A
// camera address given for this run (RunOverrides) is the only one tried: on
// the Wi-Fi hotspot when it shares the network of the configured Wi-Fi
// address, else on the USB link.
Camera::HotspotAddresses configuredHotspotAddresses();

// Station mode: the camera linked last (BaseOption/lastCameraName and
// BaseOption/lastCameraAddress), to be linked again as soon as the search
// finds it. Empty while "Connect to the last camera automatically"
// (BaseOption/autoConnect, default on) is off, and for a run given a camera
// of its own (--camera), which is the only one tried.
StationCamera cameraToLinkAgain();
// Whether the program links to the last camera by itself (BaseOption/autoConnect).
bool autoConnectEnabled();
// Keeps a camera linked in station mode as the last one (the file is written
// only when it changed), whether or not it is to be linked again by itself.
void rememberLinkedCamera(const StationCamera& camera);

// The picture shown while no camera is linked, for a picture layout (0 16:9,
// 1 9:16, 2 4:3, 3 3:4, 4 1:1, anything else 16:9), read from
// "/icon/stopVideo_*.png" under the application directory, in R, G, B order;
// empty when the file cannot be read.
cv::Mat stopVideoPicture(int layout);
