#pragma once

#include "video/capture/LiveOutput.h"

#include <QString>

#include <optional>

// Settings given for one run of the program (on its command line). They take
// the place of the configured values while the program runs and are never
// written to the configuration file: whoever reads one of these settings asks
// here first (loadConfiguration, configuredHotspotAddresses,
// statisticsShownAtStart, CaptureControl).
struct RunOverrides {
    std::optional<QString> cameraAddress; // the camera's address in hotspot mode
    std::optional<int> wifiMode;          // 0 station mode, 1 hotspot mode
    std::optional<int> language;          // 0 Chinese, 1 English
    std::optional<int> decodeMode;        // 0 hardware decoding, 1 software decoding
    std::optional<bool> showStatistics;   // the statistics over the video
    bool fullScreen = false;              // start in full screen
    // Capture on the PC from the start; the recordings and the live output
    // of the whole run then go where these say.
    bool record = false;                    // record on the PC
    QString recordFile;                     // into this file (absolute), else the folder
    std::optional<LiveSettings> liveOutput; // the live output, to here
    bool virtualCamera = false;             // offered as a camera to other programs
    // The VISCA server on for the run, at this address and UDP port.
    QString viscaAddress;
    std::optional<int> viscaPort;
};

// Set once by the program before its window and threads start; tests set and
// clear them around a case.
void setRunOverrides(const RunOverrides& overrides);
RunOverrides runOverrides();
