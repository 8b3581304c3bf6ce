// Fuzz entry point: datagrams of the media link fed to the KCP engine, each
// followed by a clock step and by reading every whole message it then holds.
//
// Input: one option byte, then pieces (see FuzzInput.h), one datagram each.
//   bits 0-1  read buffer: the exact size of the next message, a fixed
//             64 KiB buffer, a 1-byte buffer (too small) or a zero length
//   bit 2     stream mode instead of message mode

#include "fuzz/FuzzInput.h"
#include "kcpclient/ikcp.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

constexpr IUINT32 kConversation = 0x4F52;

int discardOutput(const char*, int, ikcpcb*, void*) {
    return 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 256 * 1024)
        return 0;
    fuzz::Pieces in(data, size);
    const uint8_t options = in.byte();

    ikcpcb* kcp = ikcp_create(kConversation, nullptr);
    ikcp_setoutput(kcp, &discardOutput);
    ikcp_wndsize(kcp, 128, 128);
    ikcp_nodelay(kcp, 1, 10, 2, 1);
    kcp->stream = (options & 4) ? 1 : 0;

    IUINT32 clock = 1000;
    std::vector<char> buffer;
    while (!in.empty()) {
        const std::string datagram = in.piece();
        ikcp_input(kcp, datagram.data(), static_cast<long>(datagram.size()));
        clock += 10;
        ikcp_update(kcp, clock);
        for (int guard = 0; guard < 1024; ++guard) {
            int end = 0;
            int got = 0;
            switch (options & 3) {
            case 0: {
                const int next = ikcp_peeksize(kcp, &end);
                if (next < 0)
                    break;
                buffer.assign(static_cast<size_t>(next > 0 ? next : 1), 0);
                got = ikcp_recv(kcp, buffer.data(), static_cast<int>(buffer.size()), &end);
                break;
            }
            case 1:
                buffer.assign(64 * 1024, 0);
                got = ikcp_recv(kcp, buffer.data(), static_cast<int>(buffer.size()), &end);
                break;
            case 2:
                buffer.assign(1, 0);
                got = ikcp_recv(kcp, buffer.data(), 1, &end);
                break;
            default:
                got = ikcp_recv(kcp, buffer.data(), 0, &end);
                break;
            }
            if (got < 0 || ikcp_peeksize(kcp, &end) < 0)
                break;
        }
    }
    ikcp_release(kcp);
    return 0;
}
