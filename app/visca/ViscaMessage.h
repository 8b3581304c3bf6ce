#pragma once

// The VISCA requests the program answers as a PTZ camera, decoded from the
// bytes PTZ tools send: a VISCA-over-IP datagram (UDP) or a bare VISCA
// message (the TCP transport). Standard library only.
//
// Datagram: an 8-byte header, then the payload.
//   0..1 payload type | 2..3 payload length (1..16) | 4..7 sequence number
// (all big-endian). A VISCA message starts with 8x (x: the camera address)
// and ends with FF, 3 to 16 bytes, with no FF before its end.

#include <cstddef>
#include <cstdint>
#include <vector>

using ViscaBytes = std::vector<uint8_t>;

namespace visca {

constexpr size_t kHeaderSize = 8;
constexpr size_t kMinMessage = 3;
constexpr size_t kMaxMessage = 16;

constexpr uint16_t kCommand = 0x0100;
constexpr uint16_t kInquiry = 0x0110;
constexpr uint16_t kReply = 0x0111;
constexpr uint16_t kControlCommand = 0x0200;
constexpr uint16_t kControlReply = 0x0201;

// Pan-tilt drive speed ranges (the slowest speed is 01).
constexpr uint8_t kMaxPanSpeed = 0x18;
constexpr uint8_t kMaxTiltSpeed = 0x17;
// Zoom drive speed range; "standard" tele and wide run at kStandardZoomSpeed.
constexpr int kMaxZoomSpeed = 7;
constexpr int kStandardZoomSpeed = 3;
// Zoom positions run linearly from the widest factor to the longest.
constexpr uint16_t kMaxZoomPosition = 0x4000;
constexpr double kMinZoomFactor = 1.0;
constexpr double kMaxZoomFactor = 3.5;

// The zoom factor of a zoom position (clamped to 0..kMaxZoomPosition).
double zoomFactorOfPosition(uint16_t position);
// The zoom position nearest to a factor, clamped to the position range; a
// factor that is not a number gives position 0.
uint16_t zoomPositionOfFactor(double factor);

} // namespace visca

struct ViscaHeader {
    uint16_t payloadType = 0;
    uint16_t payloadLength = 0;
    uint32_t sequence = 0;
};

// Why an input is not acted on. Every kind but Unknown is counted as a bad
// message; Unknown is a well-formed message the program does not know.
enum class ViscaError {
    None,
    TooShort,           // a datagram shorter than its header
    BadLength,          // payload length 0, over 16 or not the payload's size
    UnknownPayloadType, // no payload type a request has
    NotARequest,        // a reply (0x0111, 0x0201) sent to us: dropped unanswered
    BadMessage,         // address byte not 81..88, FF missing at the end or found before
                        // it, or fewer than 3 bytes
    BadParameter,       // a known command with a value outside its range
    Unknown,            // a well-formed command or inquiry we do not know
};
constexpr int kViscaErrorKinds = static_cast<int>(ViscaError::Unknown) + 1;

enum class ViscaRequestKind {
    None,
    ResetSequence, // control command 01
    PanTiltDrive,
    Zoom,
    ZoomDirect,
    FocusOnePush,
    FocusMode,
    Tracking,
    Memory, // presets: the camera has no absolute positions to store
    PowerInquiry,
    VersionInquiry,
    ZoomPositionInquiry,
    FocusModeInquiry,
    BlockInquiry,
    PanTiltPositionInquiry,
};

// 81 01 06 01 VV WW XX YY FF. A speed outside 01..max is clamped into it; a
// direction of 03 stops its axis whatever its speed.
struct ViscaPanTilt {
    uint8_t rawPanSpeed = 0;
    uint8_t rawTiltSpeed = 0;
    uint8_t rawPanDirection = 3;  // 01 left, 02 right, 03 stop
    uint8_t rawTiltDirection = 3; // 01 up, 02 down, 03 stop
    uint8_t panSpeed = 0;         // clamped to 01..18h
    uint8_t tiltSpeed = 0;        // clamped to 01..17h
    // Fractions of the top speed in [-1, 1]: right and up positive, 0 stops.
    double pan = 0.0;
    double tilt = 0.0;
};

enum class ViscaZoomDirection { Stop, Tele, Wide };

// 81 01 04 07 pp FF: 00 stop, 02 / 03 tele / wide at the standard speed,
// 2p / 3p tele / wide at speed p (0..7; 8..F are clamped to 7).
struct ViscaZoom {
    uint8_t raw = 0;
    ViscaZoomDirection direction = ViscaZoomDirection::Stop;
    int speed = 0; // 0..7, 0 when stopping
};

// 81 01 04 47 0p 0q 0r 0s FF: a position above 4000h is clamped to it.
struct ViscaZoomDirect {
    uint16_t rawPosition = 0;
    uint16_t position = 0;
    double factor = visca::kMinZoomFactor;
};

enum class ViscaFocusMode { Auto, Manual, Toggle };

// 81 01 04 3F 0a pp FF: a = 0 reset, 1 set, 2 recall; pp the preset.
struct ViscaMemory {
    uint8_t action = 0;
    uint8_t preset = 0;
};

struct ViscaRequest {
    ViscaRequestKind kind = ViscaRequestKind::None;
    ViscaPanTilt panTilt;
    ViscaZoom zoom;
    ViscaZoomDirect zoomDirect;
    ViscaFocusMode focusMode = ViscaFocusMode::Auto;
    bool tracking = false; // Tracking: on or off
    ViscaMemory memory;
    uint8_t block = 0; // BlockInquiry: 00..05

    bool isInquiry() const;
};

struct ViscaDecoded {
    bool hasHeader = false; // the header could be read (its sequence answers)
    ViscaHeader header;
    ViscaError error = ViscaError::None;
    ViscaRequest request;

    bool ok() const { return error == ViscaError::None; }
};

namespace visca {

// One received datagram. Commands and inquiries are told apart by the
// message itself (8x 01 / 8x 0A command, 8x 09 inquiry), so an inquiry sent
// with the command payload type, as some tools do, is answered all the same.
ViscaDecoded decodeDatagram(const uint8_t* data, size_t size);
// One bare VISCA message, as the TCP transport carries it.
ViscaDecoded decodeMessage(const uint8_t* data, size_t size);

} // namespace visca
