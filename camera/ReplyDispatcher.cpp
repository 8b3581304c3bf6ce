#include "camera/ReplyDispatcher.h"

void ReplyDispatcher::addReply(uint8_t set, uint16_t id, int minLength, ReplyParser parser) {
    Entry e;
    e.minLength = minLength;
    e.reply = std::move(parser);
    std::lock_guard<std::mutex> lock(mutex);
    entries[key(set, id)] = std::move(e);
}

void ReplyDispatcher::addPush(uint8_t set, uint16_t id, int minLength, PushParser parser) {
    Entry e;
    e.push = true;
    e.minLength = minLength;
    e.pushParser = std::move(parser);
    std::lock_guard<std::mutex> lock(mutex);
    entries[key(set, id)] = std::move(e);
}

void ReplyDispatcher::addReplyForSet(uint8_t set, int minLength, ReplyParser parser) {
    Entry e;
    e.minLength = minLength;
    e.reply = std::move(parser);
    std::lock_guard<std::mutex> lock(mutex);
    setEntries[set & 0x0F] = std::move(e);
}

ReplyDispatcher::Outcome ReplyDispatcher::dispatch(const ControlFrame& frame,
                                                   const QString& senderIpv4) const {
    Entry entry;
    {
        std::lock_guard<std::mutex> lock(mutex);
        auto it = entries.find(key(frame.commandSet, frame.commandId));
        if (it != entries.end()) {
            entry = it->second;
        } else {
            auto setIt = setEntries.find(frame.commandSet & 0x0F);
            if (setIt == setEntries.end())
                return Outcome::NoEntry;
            entry = setIt->second;
        }
    }
    // The payload held by the record is what arrived; never trust `length`
    // beyond it.
    const auto* bytes = reinterpret_cast<const uint8_t*>(frame.payload.constData());
    const int size = frame.payload.size();
    if (entry.push) {
        if (size < entry.minLength)
            return Outcome::TooShort;
        entry.pushParser(bytes, size);
        return Outcome::Dispatched;
    }
    if (size < 1)
        return Outcome::TooShort;
    const int code = bytes[0];
    const int dataLength = size - 1;
    if (code == 0 && dataLength < entry.minLength)
        return Outcome::TooShort;
    entry.reply(code, bytes + 1, dataLength, senderIpv4);
    return Outcome::Dispatched;
}
