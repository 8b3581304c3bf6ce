#include "app/visca/ViscaMessage.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>

namespace visca {

double zoomFactorOfPosition(uint16_t position) {
    const uint16_t p = std::min(position, kMaxZoomPosition);
    return kMinZoomFactor + (kMaxZoomFactor - kMinZoomFactor) * p / kMaxZoomPosition;
}

uint16_t zoomPositionOfFactor(double factor) {
    if (std::isnan(factor) || factor <= kMinZoomFactor)
        return 0;
    if (factor >= kMaxZoomFactor)
        return kMaxZoomPosition;
    const double p =
        (factor - kMinZoomFactor) / (kMaxZoomFactor - kMinZoomFactor) * kMaxZoomPosition;
    return static_cast<uint16_t>(std::lround(p));
}

} // namespace visca

bool ViscaRequest::isInquiry() const {
    switch (kind) {
    case ViscaRequestKind::PowerInquiry:
    case ViscaRequestKind::VersionInquiry:
    case ViscaRequestKind::ZoomPositionInquiry:
    case ViscaRequestKind::FocusModeInquiry:
    case ViscaRequestKind::BlockInquiry:
    case ViscaRequestKind::PanTiltPositionInquiry:
        return true;
    default:
        return false;
    }
}

namespace {

uint16_t be16(const uint8_t* p) {
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

uint32_t be32(const uint8_t* p) {
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | p[3];
}

// The message's bytes between the address byte and the terminator.
struct Body {
    const uint8_t* at;
    size_t size;

    bool is(std::initializer_list<uint8_t> prefix, size_t total) const {
        if (size != total || prefix.size() > size)
            return false;
        return std::equal(prefix.begin(), prefix.end(), at);
    }
};

uint8_t clampSpeed(uint8_t raw, uint8_t max) {
    return std::clamp<uint8_t>(raw, 1, max);
}

// A signed fraction of the top speed, or 0 for a stopping direction; false
// for a direction byte that is none of 01, 02, 03.
bool axis(uint8_t direction, uint8_t speed, uint8_t max, bool positiveFirst, double& out) {
    const double magnitude = static_cast<double>(speed) / max;
    switch (direction) {
    case 0x01:
        out = positiveFirst ? magnitude : -magnitude;
        return true;
    case 0x02:
        out = positiveFirst ? -magnitude : magnitude;
        return true;
    case 0x03:
        out = 0.0;
        return true;
    default:
        return false;
    }
}

ViscaError decodePanTilt(const Body& b, ViscaRequest& r) {
    ViscaPanTilt& pt = r.panTilt;
    pt.rawPanSpeed = b.at[3];
    pt.rawTiltSpeed = b.at[4];
    pt.rawPanDirection = b.at[5];
    pt.rawTiltDirection = b.at[6];
    pt.panSpeed = clampSpeed(pt.rawPanSpeed, visca::kMaxPanSpeed);
    pt.tiltSpeed = clampSpeed(pt.rawTiltSpeed, visca::kMaxTiltSpeed);
    // Pan 01 is left (negative), tilt 01 is up (positive).
    if (!axis(pt.rawPanDirection, pt.panSpeed, visca::kMaxPanSpeed, false, pt.pan) ||
        !axis(pt.rawTiltDirection, pt.tiltSpeed, visca::kMaxTiltSpeed, true, pt.tilt))
        return ViscaError::BadParameter;
    r.kind = ViscaRequestKind::PanTiltDrive;
    return ViscaError::None;
}

ViscaError decodeZoom(uint8_t p, ViscaRequest& r) {
    ViscaZoom& z = r.zoom;
    z.raw = p;
    if (p == 0x00) {
        z.direction = ViscaZoomDirection::Stop;
        z.speed = 0;
    } else if (p == 0x02 || p == 0x03) {
        z.direction = p == 0x02 ? ViscaZoomDirection::Tele : ViscaZoomDirection::Wide;
        z.speed = visca::kStandardZoomSpeed;
    } else if ((p & 0xF0) == 0x20 || (p & 0xF0) == 0x30) {
        z.direction = (p & 0xF0) == 0x20 ? ViscaZoomDirection::Tele : ViscaZoomDirection::Wide;
        z.speed = std::min(p & 0x0F, visca::kMaxZoomSpeed);
    } else {
        return ViscaError::BadParameter;
    }
    r.kind = ViscaRequestKind::Zoom;
    return ViscaError::None;
}

ViscaError decodeZoomDirect(const Body& b, ViscaRequest& r) {
    uint16_t position = 0;
    for (size_t i = 3; i < 7; ++i) {
        if (b.at[i] > 0x0F)
            return ViscaError::BadParameter;
        position = static_cast<uint16_t>((position << 4) | b.at[i]);
    }
    ViscaZoomDirect& d = r.zoomDirect;
    d.rawPosition = position;
    d.position = std::min(position, visca::kMaxZoomPosition);
    d.factor = visca::zoomFactorOfPosition(d.position);
    r.kind = ViscaRequestKind::ZoomDirect;
    return ViscaError::None;
}

// Commands: 01 (camera, pan-tilt) and 0A (tracking) after the address.
ViscaError decodeCommand(const Body& b, ViscaRequest& r) {
    if (b.is({0x01, 0x06, 0x01}, 7))
        return decodePanTilt(b, r);
    if (b.is({0x01, 0x04, 0x07}, 4))
        return decodeZoom(b.at[3], r);
    if (b.is({0x01, 0x04, 0x47}, 7))
        return decodeZoomDirect(b, r);
    if (b.is({0x01, 0x04, 0x18, 0x01}, 4)) {
        r.kind = ViscaRequestKind::FocusOnePush;
        return ViscaError::None;
    }
    if (b.is({0x01, 0x04, 0x38}, 4)) {
        switch (b.at[3]) {
        case 0x02:
            r.focusMode = ViscaFocusMode::Auto;
            break;
        case 0x03:
            r.focusMode = ViscaFocusMode::Manual;
            break;
        case 0x10:
            r.focusMode = ViscaFocusMode::Toggle;
            break;
        default:
            return ViscaError::BadParameter;
        }
        r.kind = ViscaRequestKind::FocusMode;
        return ViscaError::None;
    }
    if (b.is({0x0A, 0x11, 0x54}, 4)) {
        if (b.at[3] != 0x02 && b.at[3] != 0x03)
            return ViscaError::BadParameter;
        r.tracking = b.at[3] == 0x02;
        r.kind = ViscaRequestKind::Tracking;
        return ViscaError::None;
    }
    if (b.is({0x01, 0x04, 0x3F}, 5)) {
        if (b.at[3] > 0x02)
            return ViscaError::BadParameter;
        r.memory.action = b.at[3];
        r.memory.preset = b.at[4];
        r.kind = ViscaRequestKind::Memory;
        return ViscaError::None;
    }
    return ViscaError::Unknown;
}

ViscaError decodeInquiry(const Body& b, ViscaRequest& r) {
    if (b.is({0x09, 0x04, 0x00}, 3))
        r.kind = ViscaRequestKind::PowerInquiry;
    else if (b.is({0x09, 0x00, 0x02}, 3))
        r.kind = ViscaRequestKind::VersionInquiry;
    else if (b.is({0x09, 0x04, 0x47}, 3))
        r.kind = ViscaRequestKind::ZoomPositionInquiry;
    else if (b.is({0x09, 0x04, 0x38}, 3))
        r.kind = ViscaRequestKind::FocusModeInquiry;
    else if (b.is({0x09, 0x06, 0x12}, 3))
        r.kind = ViscaRequestKind::PanTiltPositionInquiry;
    else if (b.is({0x09, 0x7E, 0x7E}, 4)) {
        if (b.at[3] > 0x05)
            return ViscaError::Unknown;
        r.block = b.at[3];
        r.kind = ViscaRequestKind::BlockInquiry;
    } else
        return ViscaError::Unknown;
    return ViscaError::None;
}

} // namespace

namespace visca {

ViscaDecoded decodeMessage(const uint8_t* data, size_t size) {
    ViscaDecoded out;
    // An address byte 81..88 (88: broadcast; the program is the only camera
    // behind its address, so every address is ours), one FF at the end.
    if (size < kMinMessage || size > kMaxMessage || data[0] < 0x81 || data[0] > 0x88 ||
        data[size - 1] != 0xFF || std::find(data, data + size - 1, 0xFF) != data + size - 1) {
        out.error = size > kMaxMessage ? ViscaError::BadLength : ViscaError::BadMessage;
        return out;
    }
    const Body body{data + 1, size - 2};
    if (body.at[0] == 0x01 || body.at[0] == 0x0A)
        out.error = decodeCommand(body, out.request);
    else if (body.at[0] == 0x09)
        out.error = decodeInquiry(body, out.request);
    else
        out.error = ViscaError::Unknown;
    if (!out.ok())
        out.request = ViscaRequest{};
    return out;
}

ViscaDecoded decodeDatagram(const uint8_t* data, size_t size) {
    ViscaDecoded out;
    if (size < kHeaderSize) {
        out.error = ViscaError::TooShort;
        return out;
    }
    out.hasHeader = true;
    out.header.payloadType = be16(data);
    out.header.payloadLength = be16(data + 2);
    out.header.sequence = be32(data + 4);
    const size_t payloadSize = size - kHeaderSize;
    const uint8_t* payload = data + kHeaderSize;
    if (out.header.payloadLength == 0 || out.header.payloadLength > kMaxMessage ||
        out.header.payloadLength != payloadSize) {
        out.error = ViscaError::BadLength;
        return out;
    }
    switch (out.header.payloadType) {
    case kCommand:
    case kInquiry: {
        const ViscaDecoded message = decodeMessage(payload, payloadSize);
        out.error = message.error;
        out.request = message.request;
        return out;
    }
    case kControlCommand:
        if (payloadSize == 1 && payload[0] == 0x01)
            out.request.kind = ViscaRequestKind::ResetSequence;
        else
            out.error = ViscaError::Unknown;
        return out;
    case kReply:
    case kControlReply:
        out.error = ViscaError::NotARequest;
        return out;
    default:
        out.error = ViscaError::UnknownPayloadType;
        return out;
    }
}

} // namespace visca
