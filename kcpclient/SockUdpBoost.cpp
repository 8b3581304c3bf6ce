#include "kcpclient/SockUdpBoost.h"

#include "kcpclient/LogLine.h"
#include "kcpclient/SockAddrBoost.h"

#include <boost/asio/ip/address.hpp>

#define LOG_SOURCE "kcpclient/SockUdpBoost"

namespace {

std::shared_ptr<std::string> datagram_of(const char* buffer, size_t size) {
    return std::make_shared<std::string>(buffer, size);
}

} // namespace

UdpSocket::UdpSocket(uint16_t localPort, int32_t receiveTimeoutMs)
    : localPort_(localPort), receiveTimeoutMs_(receiveTimeoutMs), socket_(context_),
      wait_(socket_) {
    boost::system::error_code ec;
    socket_.open(boost::asio::ip::udp::v4(), ec);
    if (ec)
        LOG_FATAL << ec.message();
    if (!socket_.is_open())
        LOG_FATAL;

    if (localPort_ != 0) {
        try {
            boost::asio::ip::udp::endpoint local(boost::asio::ip::make_address("0.0.0.0"),
                                                 localPort_);
            socket_.bind(local);
        } catch (const boost::system::system_error& e) {
            LOG_WARNING << "bind " << localPort_ << ": " << e.what();
            return;
        }
    }
    // The receive time-out is a wait before each blocking read rather than
    // a socket option: the option has a different form on each platform, and
    // Asio's blocking receive waits again by itself when it fires.
    valid_ = true;
}

UdpSocket::~UdpSocket() {
    boost::system::error_code ec;
    socket_.close(ec);
}

boost::asio::ip::udp::socket::native_handle_type UdpSocket::native_handle() {
    return socket_.native_handle();
}

void UdpSocket::set_receive_buffer(int bytes) {
    boost::system::error_code ec;
    socket_.set_option(boost::asio::socket_base::receive_buffer_size(bytes), ec);
}

std::shared_ptr<std::string> UdpSocket::read() {
    if (receiveTimeoutMs_ > 0 && !wait_.wait(receiveTimeoutMs_))
        return {};
    char buffer[kDatagramMax];
    boost::system::error_code ec;
    size_t n = receive_datagram(socket_, buffer, sizeof buffer, nullptr, ec);
    if (ec)
        return {};
    return datagram_of(buffer, n);
}

bool UdpSocket::write(const std::string& data) {
    boost::system::error_code ec;
    socket_.send(boost::asio::buffer(data), 0, ec);
    if (ec) {
        valid_ = false;
        return false;
    }
    return true;
}

bool UdpSocket::send_bytes(const char* data, size_t size) {
    boost::system::error_code ec;
    size_t sent = socket_.send(boost::asio::buffer(data, size), 0, ec);
    return !ec && sent == size;
}

std::shared_ptr<std::string> UdpSocket::read(boost::asio::ip::udp::endpoint& sender) {
    sender = boost::asio::ip::udp::endpoint();
    if (receiveTimeoutMs_ > 0 && !wait_.wait(receiveTimeoutMs_))
        return {};
    char buffer[kDatagramMax];
    boost::system::error_code ec;
    size_t n = receive_datagram(socket_, buffer, sizeof buffer, &sender, ec);
    if (ec)
        return {};
    if (!sender.address().is_v4())
        LOG_FATAL;
    return datagram_of(buffer, n);
}

bool UdpSocket::write_to(const std::string& data,
                         const boost::asio::ip::udp::endpoint& destination) {
    boost::system::error_code ec;
    socket_.send_to(boost::asio::buffer(data), destination, 0, ec);
    if (ec) {
        valid_ = false;
        return false;
    }
    return true;
}

std::shared_ptr<std::string> UdpSocket::read_nonblock() {
    boost::system::error_code ec;
    socket_.non_blocking(true, ec);
    if (ec)
        LOG_FATAL << "read_nonblock: " << ec.message();
    char buffer[kDatagramMax];
    boost::system::error_code received;
    size_t n = receive_datagram(socket_, buffer, sizeof buffer, nullptr, received);
    socket_.non_blocking(false, ec);
    if (ec)
        LOG_FATAL << "read_nonblock: " << ec.message();
    if (received)
        return {};
    return datagram_of(buffer, n);
}

long UdpSocket::receive_into(char* buffer, size_t capacity) {
    boost::system::error_code ec;
    size_t n = receive_datagram(socket_, buffer, capacity, nullptr, ec);
    if (!ec)
        return static_cast<long>(n);
    if (ec == boost::asio::error::bad_descriptor || ec == boost::asio::error::not_socket ||
        ec == boost::asio::error::fault || ec == boost::asio::error::invalid_argument) {
        LOG_WARNING << "receive: " << ec.message();
        return kReceiveFailed;
    }
    // Reported once and consumed with this read: the next wait blocks.
    return kReceiveAgain;
}

bool UdpSocket::wait_readable(int32_t timeoutMs) {
    return wait_.wait(timeoutMs);
}

void UdpSocket::shut_receive() {
    wait_.stop();
}

bool UdpSocket::connect(const std::string& address, uint16_t port) {
    try {
        boost::asio::ip::address parsed;
        if (!SockAddr::parse_address(address, parsed))
            throw boost::system::system_error(boost::asio::error::invalid_argument);
        socket_.connect(boost::asio::ip::udp::endpoint(parsed, port));
    } catch (const std::exception& e) {
        LOG_WARNING << "connect " << address << ':' << port << ": " << e.what();
        valid_ = false;
        return false;
    }
    return true;
}

uint16_t UdpSocket::self_port() const {
    if (localPort_ == 0)
        LOG_FATAL;
    return localPort_;
}

std::shared_ptr<UdpSocket> make_connected_socket(const std::string& address, uint16_t port,
                                                 int32_t receiveTimeoutMs) {
    auto socket = std::make_shared<UdpSocket>(0, receiveTimeoutMs);
    socket->connect(address, port);
    return socket;
}
