#include "app/visca/ViscaReplies.h"

#include <algorithm>

namespace visca {

namespace {

constexpr uint8_t kReplyAddress = 0x90;
// Data bytes an inquiry answer can carry: 16 less 90 50 and FF.
constexpr size_t kMaxAnswerData = kMaxMessage - 3;
constexpr size_t kBlockData = kMaxAnswerData;

// The four nibbles of a 16-bit value as 0p 0q 0r 0s.
void appendNibbles(ViscaBytes& out, uint16_t value) {
    for (int shift = 12; shift >= 0; shift -= 4)
        out.push_back(static_cast<uint8_t>((value >> shift) & 0x0F));
}

void appendBe16(ViscaBytes& out, uint16_t value) {
    out.push_back(static_cast<uint8_t>(value >> 8));
    out.push_back(static_cast<uint8_t>(value & 0xFF));
}

ViscaBytes datagram(uint16_t payloadType, uint32_t sequence, const ViscaBytes& payload) {
    ViscaBytes out;
    out.reserve(kHeaderSize + payload.size());
    appendBe16(out, payloadType);
    appendBe16(out, static_cast<uint16_t>(payload.size()));
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<uint8_t>((sequence >> shift) & 0xFF));
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

} // namespace

ViscaBytes ackMessage() {
    return {kReplyAddress, 0x41, 0xFF};
}

ViscaBytes completionMessage() {
    return {kReplyAddress, 0x51, 0xFF};
}

ViscaBytes syntaxErrorMessage() {
    return {kReplyAddress, 0x60, 0x02, 0xFF};
}

ViscaBytes bufferFullMessage() {
    return {kReplyAddress, 0x60, 0x03, 0xFF};
}

ViscaBytes notExecutableMessage() {
    return {kReplyAddress, 0x61, 0x41, 0xFF};
}

ViscaBytes inquiryNotExecutableMessage() {
    return {kReplyAddress, 0x60, 0x41, 0xFF};
}

ViscaBytes inquiryAnswerMessage(const ViscaBytes& data) {
    ViscaBytes out{kReplyAddress, 0x50};
    out.insert(out.end(), data.begin(),
               data.begin() + static_cast<std::ptrdiff_t>(std::min(data.size(), kMaxAnswerData)));
    out.push_back(0xFF);
    return out;
}

ViscaBytes powerAnswerMessage() {
    return inquiryAnswerMessage({0x02});
}

ViscaBytes versionAnswerMessage() {
    ViscaBytes data;
    appendBe16(data, kVendorId);
    appendBe16(data, kModelId);
    appendBe16(data, kRomVersion);
    data.push_back(kSocketCount);
    return inquiryAnswerMessage(data);
}

ViscaBytes zoomPositionAnswerMessage(uint16_t zoom) {
    ViscaBytes data;
    appendNibbles(data, std::min(zoom, kMaxZoomPosition));
    return inquiryAnswerMessage(data);
}

ViscaBytes focusModeAnswerMessage() {
    return inquiryAnswerMessage({0x02});
}

ViscaBytes blockAnswerMessage(uint8_t block, uint16_t zoom) {
    ViscaBytes data;
    if (block == 0x00) {
        appendNibbles(data, std::min(zoom, kMaxZoomPosition));
        data.resize(11, 0x00); // 4..5 zero, 6..9 focus position 0, 10 zero
        data.push_back(0x01);  // focus mode auto
    }
    data.resize(kBlockData, 0x00);
    return inquiryAnswerMessage(data);
}

ViscaBytes replyDatagram(uint32_t sequence, const ViscaBytes& message) {
    return datagram(kReply, sequence, message);
}

ViscaBytes resetReplyDatagram(uint32_t sequence) {
    return datagram(kControlReply, sequence, {0x01});
}

} // namespace visca
