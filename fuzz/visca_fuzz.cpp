// Fuzz entry point: what PTZ tools send the program's VISCA camera, through
// the decoder and the responder, as UDP datagrams and as the plain TCP byte
// stream, checking that every reply is well formed.
//
// Input: one state byte, then pieces (see FuzzInput.h).
//   state bit 0  the camera is linked
//   state bit 1  tracking is allowed
//   state bits 2..7  the zoom factor, 1.0 + (bits / 63) * 3.0 (beyond the
//                    top factor too)
// Each piece is one option byte and its bytes:
//   bit 0  the bytes go to the TCP stream's splitter, as one chunk
//   bit 1  (datagrams) write the payload's own size into the length field,
//          so that most inputs get past it to the message decoder

#include "app/visca/ViscaMessage.h"
#include "app/visca/ViscaResponder.h"
#include "app/visca/ViscaStreamSplitter.h"
#include "fuzz/FuzzInput.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace {

void require(bool condition) {
    if (!condition)
        __builtin_trap();
}

void checkMessage(const ViscaBytes& m) {
    require(m.size() >= visca::kMinMessage && m.size() <= visca::kMaxMessage);
    require(m.front() == 0x90 && m.back() == 0xFF);
}

void checkDatagram(const ViscaBytes& d) {
    require(d.size() > visca::kHeaderSize);
    const uint16_t type = static_cast<uint16_t>((d[0] << 8) | d[1]);
    const size_t length = static_cast<size_t>((d[2] << 8) | d[3]);
    require(length == d.size() - visca::kHeaderSize);
    if (type == visca::kControlReply) {
        require(length == 1 && d[8] == 0x01);
        return;
    }
    require(type == visca::kReply);
    checkMessage(ViscaBytes(d.begin() + visca::kHeaderSize, d.end()));
}

void checkRequest(const ViscaRequest& r) {
    require(r.panTilt.pan >= -1.0 && r.panTilt.pan <= 1.0);
    require(r.panTilt.tilt >= -1.0 && r.panTilt.tilt <= 1.0);
    require(r.zoom.speed >= 0 && r.zoom.speed <= visca::kMaxZoomSpeed);
    require(r.zoomDirect.position <= visca::kMaxZoomPosition);
    require(r.zoomDirect.factor >= visca::kMinZoomFactor &&
            r.zoomDirect.factor <= visca::kMaxZoomFactor);
}

// An accepted command gets its ACK alone; anything else never has an
// operation.
void checkResponse(const ViscaResponse& response, bool datagram) {
    require(response.replies.size() <= 1);
    for (const ViscaBytes& reply : response.replies) {
        if (datagram)
            checkDatagram(reply);
        else
            checkMessage(reply);
    }
    if (response.operation) {
        const ViscaRequest& r = response.operation->request;
        require(!r.isInquiry() && r.kind != ViscaRequestKind::None &&
                r.kind != ViscaRequestKind::ResetSequence);
        checkRequest(r);
        require(response.operation->token.datagram == datagram);
        const ViscaBytes& ack = response.replies.at(0);
        require(ack[ack.size() - 2] == 0x41);
        const ViscaBytes done = ViscaResponder::completion(response.operation->token);
        const ViscaBytes failed = ViscaResponder::notExecutable(response.operation->token);
        if (datagram) {
            checkDatagram(done);
            checkDatagram(failed);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > 4096)
        return 0;
    fuzz::Pieces pieces(data, size);
    const uint8_t stateByte = pieces.byte();
    ViscaCameraState state;
    state.linked = stateByte & 1;
    state.trackingAllowed = stateByte & 2;
    state.zoomFactor = 1.0 + (stateByte >> 2) / 63.0 * 3.0;

    ViscaResponder responder;
    ViscaStreamSplitter splitter;
    uint64_t handled = 0;
    while (!pieces.empty()) {
        const std::string piece = pieces.piece();
        if (piece.empty())
            continue;
        const uint8_t options = static_cast<uint8_t>(piece[0]);
        // The receiver hands over a buffer of exactly the datagram's size; a
        // vector of that size lets the address checker see any read past it.
        std::vector<uint8_t> bytes(piece.begin() + 1, piece.end());
        if (options & 1) {
            for (const ViscaStreamItem& item : splitter.feed(bytes.data(), bytes.size())) {
                require(item.overlong ? item.message.empty()
                                      : item.message.size() <= visca::kMaxMessage);
                checkResponse(responder.handleStreamItem(item, state), false);
                ++handled;
            }
            require(splitter.pending() < visca::kMaxMessage);
            continue;
        }
        if ((options & 2) && bytes.size() >= visca::kHeaderSize) {
            const size_t length = bytes.size() - visca::kHeaderSize;
            bytes[2] = static_cast<uint8_t>((length >> 8) & 0xFF);
            bytes[3] = static_cast<uint8_t>(length & 0xFF);
        }
        const ViscaDecoded decoded = visca::decodeDatagram(bytes.data(), bytes.size());
        checkRequest(decoded.request);
        require(decoded.ok() == (decoded.request.kind != ViscaRequestKind::None));
        checkResponse(responder.handleDatagram(bytes.data(), bytes.size(), state), true);
        ++handled;
    }
    const ViscaCounters& counters = responder.counters();
    require(counters.messages == handled);
    require(counters.badTotal() + counters.unknown <= counters.messages);
    return 0;
}
