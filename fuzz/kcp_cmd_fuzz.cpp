// Fuzz entry point: media command replies, both stored directly as replies of
// pending requests and served as the datagrams a session's start, stop and
// property transactions read from their socket.
//
// Input: pieces (see FuzzInput.h). Each piece is one option byte and a
// datagram:
//   bit 0  write the datagram's own size into its length field
//   bit 1  set its checksum byte so that the XOR of its length bytes is 0
// A fresh transaction object numbers its requests from 0: the start session
// sends 0..2, the stop session 3..5 and the media property 6..8.

#include "fuzz/FuzzInput.h"
#include "kcpclient/KcpCmdOp.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>

namespace {

// A socket that never touches the network: it serves the fuzz input as the
// datagrams received and takes every request sent.
class ScriptedSocket : public FileBase {
public:
    std::deque<std::string> incoming;

    std::shared_ptr<std::string> read() override {
        if (incoming.empty())
            return {};
        auto datagram = std::make_shared<std::string>(std::move(incoming.front()));
        incoming.pop_front();
        return datagram;
    }
    bool write(const std::string&) override { return true; }
};

std::string repaired(std::string datagram, uint8_t options) {
    if ((options & 1) && datagram.size() >= 8) {
        datagram[6] = static_cast<char>(datagram.size() & 0xFF);
        datagram[7] = static_cast<char>((datagram.size() >> 8) & 0xFF);
    }
    if ((options & 2) && datagram.size() >= 8) {
        const auto* bytes = reinterpret_cast<const uint8_t*>(datagram.data());
        const size_t length = std::min<size_t>(bytes[6] | (bytes[7] << 8), datagram.size());
        if (length > 3) {
            datagram[3] = 0;
            datagram[3] = static_cast<char>(kcpcmd::xor_of(bytes, length));
        }
    }
    return datagram;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 64 * 1024)
        return 0;
    auto socket = std::make_shared<ScriptedSocket>();
    fuzz::Pieces in(data, size);
    while (!in.empty()) {
        const std::string piece = in.piece();
        if (piece.empty())
            continue;
        socket->incoming.push_back(repaired(piece.substr(1), static_cast<uint8_t>(piece[0])));
    }

    // Stored with nothing pending: every datagram is dropped.
    {
        KcpCmdOp idle(socket);
        for (const std::string& datagram : socket->incoming)
            idle.recv8store(datagram);
        if (idle.pending() != 0)
            __builtin_trap();
    }

    KcpCmdOp op(socket);
    const MediaEndpoint local{"127.0.0.1", 40000};
    KcpCmdOp::StartResult start = op.start_session(local, 3);
    if (start.code >= 0 && start.address.empty())
        __builtin_trap(); // a successful start always names the media address
    op.stop_session(local, 3);
    op.set_property_detail(local, true, false, true, 3);
    return 0;
}
