#pragma once

// The camera side of a VISCA conversation: answers one request at a time from
// a snapshot of the camera's state and says which operation, if any, the
// request asks for. It owns no socket and no thread; the server that feeds
// it sends the replies and runs the operation. Not thread-safe: one responder
// per thread that receives.

#include "app/visca/ViscaMessage.h"
#include "app/visca/ViscaStreamSplitter.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

// What the replies need to know of the camera when a request arrives.
struct ViscaCameraState {
    bool linked = false;          // commands are refused (not executable) without a camera
    double zoomFactor = 1.0;      // the zoom position inquiries answer from it
    bool trackingAllowed = false; // the tracking command is refused without it
};

// How the reply to a command goes back: in a VISCA-over-IP datagram with the
// request's sequence number, or as a bare message on the TCP transport.
struct ViscaToken {
    bool datagram = true;
    uint32_t sequence = 0;
};

// A command the caller carries out; once it has finished (or failed) the
// caller sends completion(token) (or notExecutable(token)).
struct ViscaOperation {
    ViscaRequest request;
    ViscaToken token;
};

struct ViscaResponse {
    // To send now, in order: the ACK of an accepted command, the answer to an
    // inquiry, an error.
    std::vector<ViscaBytes> replies;
    std::optional<ViscaOperation> operation;
};

struct ViscaCounters {
    uint64_t messages = 0; // every datagram, message and overlong run handled
    // Bad input by its reason (indexed by ViscaError; None and Unknown stay 0).
    std::array<uint64_t, kViscaErrorKinds> bad{};
    uint64_t unknown = 0; // well-formed requests the program does not know

    uint64_t badTotal() const;
};

class ViscaResponder {
public:
    // A datagram of the UDP transport: replies are datagrams.
    ViscaResponse handleDatagram(const uint8_t* data, size_t size, const ViscaCameraState& state);
    // One item of the TCP transport's splitter: replies are bare messages. An
    // overlong run counts as a bad length.
    ViscaResponse handleStreamItem(const ViscaStreamItem& item, const ViscaCameraState& state);

    // The reply that ends an operation: completion (90 51 FF) or not
    // executable (90 61 41 FF), framed as the token says.
    static ViscaBytes completion(const ViscaToken& token);
    static ViscaBytes notExecutable(const ViscaToken& token);

    const ViscaCounters& counters() const { return counters_; }

private:
    ViscaResponse respond(const ViscaDecoded& decoded, const ViscaToken& token,
                          const ViscaCameraState& state);
    ViscaCounters counters_;
};
