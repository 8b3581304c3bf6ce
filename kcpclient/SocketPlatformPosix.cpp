#include "kcpclient/SocketPlatform.h"

#include <fcntl.h>
#include <poll.h>

struct ReceiveWait::Impl {
    boost::asio::ip::udp::socket& socket;
};

ReceiveWait::ReceiveWait(boost::asio::ip::udp::socket& socket) : impl_(new Impl{socket}) {}

ReceiveWait::~ReceiveWait() = default;

bool ReceiveWait::wait(int32_t timeoutMs) {
    pollfd ready{impl_->socket.native_handle(), POLLIN, 0};
    return ::poll(&ready, 1, timeoutMs < 0 ? -1 : timeoutMs) > 0;
}

void ReceiveWait::stop() {
    // Also on a socket that was never connected: the receive side is shut
    // and a blocked poll wakes, though the call reports "not connected".
    boost::system::error_code ec;
    impl_->socket.shutdown(boost::asio::socket_base::shutdown_receive, ec);
}

size_t receive_datagram(boost::asio::ip::udp::socket& socket, char* buffer, size_t capacity,
                        boost::asio::ip::udp::endpoint* sender, boost::system::error_code& ec) {
    if (sender)
        return socket.receive_from(boost::asio::buffer(buffer, capacity), *sender, 0, ec);
    return socket.receive(boost::asio::buffer(buffer, capacity), 0, ec);
}

void ignore_unreachable_reports(boost::asio::ip::udp::socket&) {
    // An unconnected socket on Linux is never told of them.
}

void keep_from_children(boost::asio::ip::udp::socket& socket) {
    const int fd = socket.native_handle();
    const int flags = ::fcntl(fd, F_GETFD);
    if (flags >= 0)
        ::fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
}
