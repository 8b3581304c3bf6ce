#pragma once

#include <memory>
#include <string>

// A datagram endpoint: one read or write moves one whole datagram.
class FileBase {
public:
    virtual ~FileBase() = default;
    // One received datagram; an empty pointer when nothing was received
    // (error or time-out). A 0-byte datagram gives an empty string.
    virtual std::shared_ptr<std::string> read() = 0;
    // Sends the whole string as one datagram.
    virtual bool write(const std::string& data) = 0;
};
