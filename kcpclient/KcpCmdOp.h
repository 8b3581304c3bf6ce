#pragma once

#include "kcpclient/SockUdp.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

// One media command packet (request or reply), at most 74 bytes:
//   0 5C | 1 5A | 2 session | 3 checksum | 4..5 seq | 6..7 length | 8 direction
//   | 9 command | 10.. payload
// Multi-byte fields are little-endian; the XOR of all length bytes is 0.
struct KcpCmd {
    static constexpr size_t kMaxSize = 74;
    static constexpr size_t kHeaderSize = 10;
    static constexpr size_t kMaxPayload = kMaxSize - kHeaderSize;

    std::array<uint8_t, kMaxSize> bytes{};
    size_t size = 0;

    uint8_t session() const { return bytes[2]; }
    uint8_t seqnum() const { return bytes[4]; }
    uint16_t length() const { return static_cast<uint16_t>(bytes[6] | (bytes[7] << 8)); }
    uint8_t direction() const { return bytes[8]; }
    uint8_t command() const { return bytes[9]; }
    // Bytes 10 .. length-1.
    std::string payload() const;
    std::string to_string() const {
        return std::string(reinterpret_cast<const char*>(bytes.data()), size);
    }
};

using KcpCmdPtr = std::shared_ptr<KcpCmd>;

// Where the client's media socket listens (or the camera's media endpoint).
struct MediaEndpoint {
    std::string address;
    uint16_t port = 0;
};

namespace kcpcmd {

enum Command : uint8_t { StartSession = 0, StopSession = 1, SetProperty = 3 };
enum Direction : uint8_t { Request = 0, Reply = 1 };

// Address and port as the packets carry them: the IPv4 address as a 32-bit
// little-endian number whose most significant byte is the first octet, then
// the port, little-endian. False for text that is no IPv4 address.
bool encode_endpoint(const std::string& address, uint16_t port, uint8_t out[6]);
MediaEndpoint decode_endpoint(const uint8_t in[6]);
// The XOR of the first length bytes.
uint8_t xor_of(const uint8_t* data, size_t length);
// Checks a received datagram: size, length field, checksum. On success fills
// out with a copy.
bool parse_packet(const std::string& datagram, KcpCmd& out);

} // namespace kcpcmd

// The media command transactions of one stream session: start, stop and the
// media property, each sent as several copies with their own sequence
// numbers and answered by the first matching reply.
class KcpCmdOp {
public:
    struct Result {
        int32_t code = -1; // −1 failure, else the reply's session byte
        std::shared_ptr<std::string> payload = std::make_shared<std::string>();
    };
    struct StartResult {
        uint16_t conv = 0;
        uint16_t port = 0;
        std::string address;
        int32_t code = -1;
    };

    explicit KcpCmdOp(std::shared_ptr<FileBase> socket);

    Result set_property(int32_t session, uint8_t command, const MediaEndpoint& endpoint,
                        const std::string& extra, int tries, std::string name);
    StartResult start_session(const MediaEndpoint& endpoint, int tries);
    bool stop_session(const MediaEndpoint& endpoint, int tries);
    bool set_property_detail(const MediaEndpoint& endpoint, bool flag0, bool flag1, bool flag2,
                             int tries);

    int32_t session_byte() const { return session_.load(); }

    // A free sequence number, reserved in the table; none when all are taken.
    std::optional<uint8_t> next_seqnum();
    // Stores a datagram as the reply of its pending request, if it is one.
    void recv8store(const std::string& datagram);
    size_t pending() const;

private:
    struct Entry {
        KcpCmdPtr request;
        KcpCmdPtr reply;
    };

    void seqnum_auto_erase_by_cmdid(uint8_t command);
    void erase_seqnum(uint8_t seqnum);
    // Reads what the socket holds into the table.
    void pump(uint8_t command);
    bool has_reply(uint8_t command) const;
    // Packet built from the header fields, endpoint and extra payload.
    KcpCmdPtr package(uint8_t session, uint8_t seqnum, uint8_t command,
                      const MediaEndpoint& endpoint, const std::string& extra) const;
    static void revise(KcpCmd& cmd, size_t payloadSize);

    std::shared_ptr<FileBase> socket_;
    std::map<uint8_t, Entry> table_;
    mutable std::mutex tableMutex_;
    std::atomic<uint8_t> last_{255};
    std::atomic<int32_t> session_{-1};
};
