#pragma once

#include <QMetaType>

#include <array>
#include <cstddef>
#include <cstdint>

// The camera's status record: 24 32-bit words, filled from the 88-byte status
// block of the status query (Camera 0x1C1) and of the status push (Camera 0x1E0).
struct Orun_Camera_CurrStatus {
    int32_t iTemperature = 0;   // device temperature; 85 or more is over-temperature
    int32_t iReserved1 = 0;     // always 0
    uint32_t uModuleFlags = 0;  // module state bits
    int32_t iWord3 = 0;         // not used by the client
    int32_t iCaptureTimeMs = 0; // recording time so far
    uint8_t byWorkMode = 0;     // 0 photo, 1 video
    uint8_t bySubMode = 0;      // photo: 0 single, 1 burst, 2 multi-shot
    uint8_t byRunState = 0;     // 0 idle, 2 init failed, 3 capturing
    uint8_t byReserved = 0;     // always 0
    int32_t iShotCount = 0;     // photos taken in the running burst
    int32_t iBurstHalfSec = 0;  // elapsed burst time in half seconds
    int32_t iWord8 = 0;         // not used by the client
    int32_t iReserved9 = 0;     // always 0
    int32_t iTail[14] = {};     // words 10..23, not used by the client
};
static_assert(sizeof(Orun_Camera_CurrStatus) == 96, "status record is 96 bytes");
static_assert(offsetof(Orun_Camera_CurrStatus, byWorkMode) == 20, "status record layout");
static_assert(offsetof(Orun_Camera_CurrStatus, iShotCount) == 24, "status record layout");
static_assert(offsetof(Orun_Camera_CurrStatus, iTail) == 40, "status record layout");

Q_DECLARE_METATYPE(Orun_Camera_CurrStatus)

// Gimbal state record (30 bytes) from SDK 0x06A pushes and SDK 0x06C replies;
// byte 2 is the gimbal-lock state, byte 23 the orientation at power-on.
using GimbalStateRecord = std::array<uint8_t, 30>;

// SDK 0x02C reply / SDK 0x02F push record (44 bytes); byte 30 is the portrait flag.
using SdkRecord44 = std::array<uint8_t, 44>;

// Station-info block (83 bytes): from its fourth byte a text of up to 80 bytes.
using StationInfoBlock = std::array<uint8_t, 83>;

// Wi-Fi block (65 bytes): mode byte, 32-byte network name, 32-byte password.
using WifiBlock = std::array<uint8_t, 65>;

// Values of the SDK 0x0B1 push.
struct SdkInfoB1 {
    uint32_t value0 = 0;
    uint32_t value1 = 0;
    uint32_t value2 = 0;
    uint16_t value3 = 0; // low byte: mirror setting
    uint8_t value4 = 0;
};

// Gimbal speed record: three floats, then three ints, passed unchanged to the
// gimbal speed command.
struct GimbalSpeed {
    float f[3] = {0, 0, 0};
    int32_t i[3] = {0, 0, 0};
};
