#pragma once

// Cuts the byte stream of the plain VISCA transport (TCP, no header) into
// messages, each ending with FF. Bytes arrive in whatever chunks the socket
// hands over; at most one message's worth is kept between them. An address
// byte (80..8F) starts a new message: bytes before it that did not end with
// FF come out on their own, so a garbled message costs only itself.

#include "app/visca/ViscaMessage.h"

#include <cstddef>
#include <cstdint>
#include <vector>

struct ViscaStreamItem {
    // A whole message, FF included, or the bytes an address byte cut off
    // (no FF at their end: they decode as a bad message). Empty when overlong.
    ViscaBytes message;
    // More than 16 bytes came without an FF: they were dropped, and so is
    // everything up to the next FF or address byte. The sender gets a syntax
    // error for it.
    bool overlong = false;
};

class ViscaStreamSplitter {
public:
    // The messages (and overlong runs) that the chunk completes, in order.
    std::vector<ViscaStreamItem> feed(const uint8_t* data, size_t size);

    // Bytes of an unfinished message kept for the next chunk.
    size_t pending() const { return buffer_.size(); }
    // Bytes dropped as parts of overlong runs.
    uint64_t dropped() const { return dropped_; }

private:
    ViscaBytes buffer_;
    bool skipping_ = false; // inside an overlong run, until its FF
    uint64_t dropped_ = 0;
};
