#pragma once

// The replies the program sends as a VISCA camera: each as a bare message
// (the TCP transport) and as a whole VISCA-over-IP datagram carrying the
// request's sequence number. Every reply comes from the camera address 1
// (first byte 90) and uses socket 1.
//
//   ACK                     90 41 FF
//   completion              90 51 FF
//   inquiry answer          90 50 <data> FF
//   syntax error            90 60 02 FF
//   buffer full             90 60 03 FF
//   command not executable  90 61 41 FF
//   inquiry not executable  90 60 41 FF

#include "app/visca/ViscaMessage.h"

#include <cstdint>

namespace visca {

// What the version inquiry reports: no vendor's identity (vendor 0000), the
// program's own model number 0001, ROM version 0100 and two sockets.
constexpr uint16_t kVendorId = 0x0000;
constexpr uint16_t kModelId = 0x0001;
constexpr uint16_t kRomVersion = 0x0100;
constexpr uint8_t kSocketCount = 0x02;

// Bare messages.
ViscaBytes ackMessage();
ViscaBytes completionMessage();
ViscaBytes syntaxErrorMessage();
ViscaBytes bufferFullMessage();
ViscaBytes notExecutableMessage();
ViscaBytes inquiryNotExecutableMessage();
// 90 50 <data> FF; data of at most 13 bytes (longer data is cut there).
ViscaBytes inquiryAnswerMessage(const ViscaBytes& data);

// The answers of the inquiries the program knows.
ViscaBytes powerAnswerMessage();                     // 90 50 02 FF: on
ViscaBytes versionAnswerMessage();                   // 90 50 GG GG HH HH JJ JJ KK FF
ViscaBytes zoomPositionAnswerMessage(uint16_t zoom); // 90 50 0p 0q 0r 0s FF
ViscaBytes focusModeAnswerMessage();                 // 90 50 02 FF: auto
// 90 50 + 13 data bytes + FF (a whole message is at most 16 bytes). Block 00
// (lens control) holds the zoom position in data bytes 0..3 as 0p 0q 0r 0s, a
// focus position of 0 in data bytes 6..9 and "focus mode auto" in bit 0 of
// data byte 11; everything else, and every other block, is zero: the camera
// has no such state to report.
ViscaBytes blockAnswerMessage(uint8_t block, uint16_t zoom);

// A bare message in a VISCA-reply datagram (payload type 0111).
ViscaBytes replyDatagram(uint32_t sequence, const ViscaBytes& message);
// The answer to the control command "reset sequence number": payload type
// 0201, payload 01.
ViscaBytes resetReplyDatagram(uint32_t sequence);

inline ViscaBytes ackDatagram(uint32_t sequence) {
    return replyDatagram(sequence, ackMessage());
}
inline ViscaBytes completionDatagram(uint32_t sequence) {
    return replyDatagram(sequence, completionMessage());
}
inline ViscaBytes syntaxErrorDatagram(uint32_t sequence) {
    return replyDatagram(sequence, syntaxErrorMessage());
}
inline ViscaBytes notExecutableDatagram(uint32_t sequence) {
    return replyDatagram(sequence, notExecutableMessage());
}
inline ViscaBytes inquiryNotExecutableDatagram(uint32_t sequence) {
    return replyDatagram(sequence, inquiryNotExecutableMessage());
}
inline ViscaBytes inquiryAnswerDatagram(uint32_t sequence, const ViscaBytes& data) {
    return replyDatagram(sequence, inquiryAnswerMessage(data));
}

} // namespace visca
