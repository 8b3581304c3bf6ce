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

// The picture shown while no camera is linked, for a picture layout (0 16:9,
// 1 9:16, 2 4:3, 3 3:4, 4 1:1, anything else 16:9), read from
// "/icon/stopVideo_*.png" under the application directory, in R, G, B order;
// empty when the file cannot be read.
cv::Mat stopVideoPicture(int layout);
