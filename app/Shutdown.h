#pragma once

// The close path of the main window: marks the interface inactive, then stops
// the operation runtime (up to 1000 ms), the camera supervisor (2000 ms), the
// control transceiver (2000 ms), the decoder controller and the capture on the
// PC (a recording's file is completed, 3000 ms at most), in that order.
// The caller closes its window afterwards, which ends the event loop.
void shutdown();
