#pragma once

#include "camera/ControlFrame.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <mutex>
#include <unordered_map>

// The table that routes every accepted control frame to its parser, keyed by
// (command set, command id). Two parser forms exist:
//  - reply parsers get the result code (payload byte 0), the rest of the
//    payload and its length, and the sender's IPv4 address text;
//  - push parsers get the whole payload and its length.
// Each entry names the number of data bytes its layout reads. A push shorter
// than that, or a successful reply (code 0) shorter than that, is dropped
// here, so that no parser reads past the datagram and a truncated reply never
// completes a command as a success with stale data: the waiting command then
// ends with its no-reply result. A reply with a non-zero code carries no data
// that is used and is delivered whatever its length; a reply without even the
// result byte is dropped.
class ReplyDispatcher {
public:
    using ReplyParser =
        std::function<void(int code, const uint8_t* data, int length, const QString& senderIpv4)>;
    using PushParser = std::function<void(const uint8_t* data, int length)>;

    enum class Outcome { Dispatched, NoEntry, TooShort };

    void addReply(uint8_t set, uint16_t id, int minLength, ReplyParser parser);
    void addPush(uint8_t set, uint16_t id, int minLength, PushParser parser);
    // Reply parser for every id of `set` that has no entry of its own.
    void addReplyForSet(uint8_t set, int minLength, ReplyParser parser);

    // Runs the parser of the frame's (command set, command id), if any.
    Outcome dispatch(const ControlFrame& frame, const QString& senderIpv4) const;

private:
    struct Entry {
        bool push = false;
        int minLength = 0;
        ReplyParser reply;
        PushParser pushParser;
    };
    static uint32_t key(uint8_t set, uint16_t id) {
        return (static_cast<uint32_t>(set & 0x0F) << 12) | (id & 0x0FFF);
    }

    // Entries may be added while the receive thread dispatches.
    mutable std::mutex mutex;
    std::unordered_map<uint32_t, Entry> entries;
    std::unordered_map<uint8_t, Entry> setEntries;
};
