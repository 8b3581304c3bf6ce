#pragma once

#include "kcpclient/ikcp.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kcptest {

struct Segment {
    uint32_t conv = 1;
    uint8_t cmd = IKCP_CMD_PUSH;
    uint8_t frg = 0;
    uint16_t wnd = 128;
    uint32_t ts = 0;
    uint32_t sn = 0;
    uint32_t una = 0;
    std::string data;
    // A length field that lies (when set).
    int64_t lenOverride = -1;
};

inline void put(std::string& out, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; i++)
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xff));
}

inline std::string encode(const Segment& s) {
    std::string out;
    put(out, s.conv, 4);
    put(out, s.cmd, 1);
    put(out, s.frg, 1);
    put(out, s.wnd, 2);
    put(out, s.ts, 4);
    put(out, s.sn, 4);
    put(out, s.una, 4);
    put(out, s.lenOverride >= 0 ? static_cast<uint64_t>(s.lenOverride) : s.data.size(), 4);
    out += s.data;
    return out;
}

inline uint32_t get(const std::string& in, size_t at, int bytes) {
    uint32_t v = 0;
    for (int i = 0; i < bytes; i++)
        v |= uint32_t(static_cast<unsigned char>(in[at + i])) << (8 * i);
    return v;
}

// Splits captured datagrams back into segments.
inline std::vector<Segment> decode_all(const std::vector<std::string>& datagrams) {
    std::vector<Segment> out;
    for (const std::string& d : datagrams) {
        size_t at = 0;
        while (at + IKCP_OVERHEAD <= d.size()) {
            Segment s;
            s.conv = get(d, at, 4);
            s.cmd = static_cast<uint8_t>(get(d, at + 4, 1));
            s.frg = static_cast<uint8_t>(get(d, at + 5, 1));
            s.wnd = static_cast<uint16_t>(get(d, at + 6, 2));
            s.ts = get(d, at + 8, 4);
            s.sn = get(d, at + 12, 4);
            s.una = get(d, at + 16, 4);
            uint32_t len = get(d, at + 20, 4);
            s.data = d.substr(at + IKCP_OVERHEAD, len);
            at += IKCP_OVERHEAD + len;
            out.push_back(s);
        }
    }
    return out;
}

// A control block whose output lands in a list.
struct Endpoint {
    ikcpcb* kcp;
    std::vector<std::string> sent;

    explicit Endpoint(uint32_t conv = 1) : kcp(ikcp_create(conv, this)) {
        ikcp_setoutput(kcp, [](const char* buf, int len, ikcpcb*, void* user) {
            static_cast<Endpoint*>(user)->sent.emplace_back(buf, static_cast<size_t>(len));
            return 0;
        });
    }
    ~Endpoint() { ikcp_release(kcp); }
    Endpoint(const Endpoint&) = delete;
    Endpoint& operator=(const Endpoint&) = delete;

    int input(const std::string& datagram) {
        return ikcp_input(kcp, datagram.data(), static_cast<long>(datagram.size()));
    }
    std::vector<Segment> take_sent() {
        auto segments = decode_all(sent);
        sent.clear();
        return segments;
    }
};

} // namespace kcptest
