#include "kcpclient/SockUdpBoost.h"

#include "kcpclient/LogLine.h"

#include <boost/asio/ip/address.hpp>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <cerrno>
#include <cstring>
#include <system_error>

#define LOG_SOURCE "kcpclient/SockUdpBoost"

namespace {

std::string errno_text(int code) {
    return std::system_category().message(code);
}

} // namespace

UdpSocket::UdpSocket(uint16_t localPort, int32_t receiveTimeoutMs)
    : localPort_(localPort), receiveTimeoutMs_(receiveTimeoutMs), socket_(context_) {
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

    if (receiveTimeoutMs_ < 1) {
        valid_ = true;
        return;
    }
    timeval tv{};
    tv.tv_sec = receiveTimeoutMs_ / 1000;
    tv.tv_usec = (receiveTimeoutMs_ % 1000) * 1000;
    valid_ = ::setsockopt(socket_.native_handle(), SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv) == 0;
}

UdpSocket::~UdpSocket() {
    boost::system::error_code ec;
    socket_.close(ec);
}

int UdpSocket::native_handle() {
    return socket_.native_handle();
}

std::shared_ptr<std::string> UdpSocket::read() {
    char buffer[kDatagramMax];
    ssize_t n = ::recv(native_handle(), buffer, sizeof buffer, 0);
    if (n < 0)
        return {};
    return std::make_shared<std::string>(buffer, static_cast<size_t>(n));
}

bool UdpSocket::write(const std::string& data) {
    ssize_t n = ::send(native_handle(), data.data(), data.size(), 0);
    if (n < 0) {
        valid_ = false;
        return false;
    }
    return true;
}

std::shared_ptr<std::string> UdpSocket::read(sockaddr_in& sender) {
    std::memset(&sender, 0, sizeof sender);
    char buffer[kDatagramMax];
    socklen_t length = sizeof sender;
    ssize_t n = ::recvfrom(native_handle(), buffer, sizeof buffer, 0,
                           reinterpret_cast<sockaddr*>(&sender), &length);
    if (n < 0)
        return {};
    if (length != sizeof sender)
        LOG_FATAL;
    return std::make_shared<std::string>(buffer, static_cast<size_t>(n));
}

bool UdpSocket::write_to(const std::string& data, const sockaddr_in& destination) {
    ssize_t n = ::sendto(native_handle(), data.data(), data.size(), 0,
                         reinterpret_cast<const sockaddr*>(&destination), sizeof destination);
    if (n < 0) {
        valid_ = false;
        return false;
    }
    return true;
}

std::shared_ptr<std::string> UdpSocket::read_nonblock() {
    int fd = native_handle();
    int on = 1;
    if (::ioctl(fd, FIONBIO, &on) != 0)
        LOG_FATAL << "read_nonblock: " << errno_text(errno);
    char buffer[kDatagramMax];
    ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    int off = 0;
    if (::ioctl(fd, FIONBIO, &off) != 0)
        LOG_FATAL << "read_nonblock: " << errno_text(errno);
    if (n < 0)
        return {};
    return std::make_shared<std::string>(buffer, static_cast<size_t>(n));
}

long UdpSocket::receive_into(char* buffer, size_t capacity) {
    ssize_t n = ::recv(native_handle(), buffer, capacity, 0);
    if (n >= 0)
        return static_cast<long>(n);
    switch (errno) {
    case EBADF:
    case ENOTSOCK:
    case EFAULT:
    case EINVAL:
        LOG_WARNING << "receive: " << errno_text(errno);
        return kReceiveFailed;
    default:
        // Reported once and consumed with this read: the next wait blocks.
        return kReceiveAgain;
    }
}

bool UdpSocket::wait_readable(int32_t timeoutMs) {
    pollfd ready{native_handle(), POLLIN, 0};
    int n = ::poll(&ready, 1, timeoutMs < 0 ? -1 : timeoutMs);
    return n > 0;
}

void UdpSocket::shut_receive() {
    // Also on a socket that was never connected: the receive side is shut
    // and a blocked poll wakes, though the call reports ENOTCONN.
    ::shutdown(native_handle(), SHUT_RD);
}

bool UdpSocket::connect(const std::string& address, uint16_t port) {
    try {
        boost::asio::ip::udp::endpoint peer(boost::asio::ip::make_address(address), port);
        socket_.connect(peer);
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
