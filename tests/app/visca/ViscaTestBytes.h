#pragma once

// Bytes written the way VISCA documents write them: "81 09 04 00 FF".

#include "app/visca/ViscaMessage.h"

#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>

inline ViscaBytes hex(const std::string& text) {
    ViscaBytes out;
    std::istringstream in(text);
    std::string byte;
    while (in >> byte)
        out.push_back(static_cast<uint8_t>(std::stoul(byte, nullptr, 16)));
    return out;
}

inline std::string hexText(const ViscaBytes& bytes) {
    std::string out;
    char b[4];
    for (uint8_t v : bytes) {
        std::snprintf(b, sizeof b, out.empty() ? "%02X" : " %02X", v);
        out += b;
    }
    return out;
}

// A VISCA-over-IP datagram: the header with the payload's own length, then
// the payload.
inline ViscaBytes datagram(uint16_t type, uint32_t sequence, const std::string& payload) {
    const ViscaBytes p = hex(payload);
    ViscaBytes out;
    out.reserve(visca::kHeaderSize + p.size());
    const uint32_t fields[] = {type, static_cast<uint32_t>(p.size())};
    for (uint32_t field : fields) {
        out.push_back(static_cast<uint8_t>(field >> 8));
        out.push_back(static_cast<uint8_t>(field));
    }
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<uint8_t>(sequence >> shift));
    for (uint8_t b : p)
        out.push_back(b);
    return out;
}
