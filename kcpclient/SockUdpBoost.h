#pragma once

#include "kcpclient/SockUdp.h"
#include "kcpclient/SocketPlatform.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/udp.hpp>

#include <cstdint>
#include <memory>
#include <string>

// An IPv4 UDP socket of the media transport, optionally bound to a local port
// and connected to one peer. Not locked: one thread uses a socket at a time.
// Always held by std::shared_ptr.
class UdpSocket : public FileBase {
public:
    // Every read receives into a buffer of this size.
    static constexpr size_t kDatagramMax = 2048;

    // localPort 0 leaves the socket unbound; receiveTimeoutMs < 1 means a
    // blocking read waits without limit (else read() and read(sender) give
    // up after that long). A port in use leaves the socket
    // invalid (is_valid() false).
    UdpSocket(uint16_t localPort, int32_t receiveTimeoutMs);
    ~UdpSocket() override;

    UdpSocket(const UdpSocket&) = delete;
    UdpSocket& operator=(const UdpSocket&) = delete;

    std::shared_ptr<std::string> read() override;
    bool write(const std::string& data) override;

    // Receives one datagram and its IPv4 sender.
    std::shared_ptr<std::string> read(boost::asio::ip::udp::endpoint& sender);
    bool write_to(const std::string& data, const boost::asio::ip::udp::endpoint& destination);
    // Sends `size` bytes as one datagram to the connected peer; false unless
    // all of them went (the valid flag is left as it is).
    bool send_bytes(const char* data, size_t size);
    // One receive that never blocks: an empty pointer when nothing is queued.
    std::shared_ptr<std::string> read_nonblock();
    // What receive_into() returns for a fault that passes (interrupted, a
    // peer's port-unreachable report, nothing queued after all) and for one
    // after which the socket receives nothing more.
    static constexpr long kReceiveAgain = -1;
    static constexpr long kReceiveFailed = -2;
    // One datagram into `buffer` (at most `capacity` bytes): its size, or one
    // of the two faults above.
    long receive_into(char* buffer, size_t capacity);
    // Waits until a datagram or an error can be read, or the receive side is
    // shut (shut_receive()), at most timeoutMs (< 0: without limit). False
    // when the time ran out.
    bool wait_readable(int32_t timeoutMs);
    // Shuts the receive side: a wait_readable() on another thread returns at
    // once, and every later one too.
    void shut_receive();
    // Connects to (address, port); IPv4 or IPv6 text. False (and the socket
    // invalid) on any parse or connect error.
    bool connect(const std::string& address, uint16_t port);
    // The bound local port; a FATAL fault on an unbound socket.
    uint16_t self_port() const;
    bool is_valid() const { return valid_; }
    // Asks for a kernel receive buffer of this many bytes (best effort).
    void set_receive_buffer(int bytes);
    boost::asio::ip::udp::socket::native_handle_type native_handle();

private:
    uint16_t localPort_;
    int32_t receiveTimeoutMs_;
    boost::asio::io_context context_;
    boost::asio::ip::udp::socket socket_;
    ReceiveWait wait_;
    bool valid_ = false;
};

// An unbound socket connected to (address, port); the caller checks is_valid().
std::shared_ptr<UdpSocket> make_connected_socket(const std::string& address, uint16_t port,
                                                 int32_t receiveTimeoutMs);
