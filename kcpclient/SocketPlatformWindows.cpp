#include "kcpclient/SocketPlatform.h"

#include "kcpclient/LogLine.h"

#include <boost/asio/io_context.hpp>
// After Asio, which includes winsock2.h before anything else of Windows.
#include <mswsock.h>

#include <algorithm>
#include <atomic>
#include <climits>

#define LOG_SOURCE "kcpclient/SocketPlatformWindows"

struct ReceiveWait::Impl {
    explicit Impl(boost::asio::ip::udp::socket& watched) : socket(watched), wake(context) {
        boost::system::error_code ec;
        wake.open(boost::asio::ip::udp::v4(), ec);
        if (!ec)
            wake.bind({boost::asio::ip::address_v4::loopback(), 0}, ec);
        if (!ec)
            wakeAt = wake.local_endpoint(ec);
        if (ec)
            LOG_FATAL << "wake socket: " << ec.message();
    }

    boost::asio::ip::udp::socket& socket;
    boost::asio::io_context context;
    boost::asio::ip::udp::socket wake;
    boost::asio::ip::udp::endpoint wakeAt;
    std::atomic<bool> stopped{false};
};

ReceiveWait::ReceiveWait(boost::asio::ip::udp::socket& socket) : impl_(new Impl(socket)) {}

ReceiveWait::~ReceiveWait() = default;

bool ReceiveWait::wait(int32_t timeoutMs) {
    if (impl_->stopped.load())
        return true;
    WSAPOLLFD ready[2] = {{static_cast<SOCKET>(impl_->socket.native_handle()), POLLRDNORM, 0},
                          {static_cast<SOCKET>(impl_->wake.native_handle()), POLLRDNORM, 0}};
    return ::WSAPoll(ready, 2, timeoutMs < 0 ? -1 : timeoutMs) > 0 || impl_->stopped.load();
}

void ReceiveWait::stop() {
    impl_->stopped.store(true);
    boost::system::error_code ec;
    impl_->socket.shutdown(boost::asio::socket_base::shutdown_receive, ec);
    // The wake datagram stays queued (nobody reads it): every later wait
    // returns at once as well.
    const char one = 1;
    impl_->wake.send_to(boost::asio::buffer(&one, 1), impl_->wakeAt, 0, ec);
}

size_t receive_datagram(boost::asio::ip::udp::socket& socket, char* buffer, size_t capacity,
                        boost::asio::ip::udp::endpoint* sender, boost::system::error_code& ec) {
    const SOCKET handle = static_cast<SOCKET>(socket.native_handle());
    const int length = static_cast<int>(std::min<size_t>(capacity, INT_MAX));
    int n;
    if (sender) {
        *sender = boost::asio::ip::udp::endpoint(boost::asio::ip::udp::v4(), 0);
        int size = static_cast<int>(sender->capacity());
        n = ::recvfrom(handle, buffer, length, 0, sender->data(), &size);
        if (n != SOCKET_ERROR || ::WSAGetLastError() == WSAEMSGSIZE)
            sender->resize(static_cast<size_t>(size));
    } else {
        n = ::recv(handle, buffer, length, 0);
    }
    if (n != SOCKET_ERROR) {
        ec = {};
        return static_cast<size_t>(n);
    }
    const int code = ::WSAGetLastError();
    if (code == WSAEMSGSIZE) {
        // The buffer holds the datagram's first `capacity` bytes.
        ec = {};
        return static_cast<size_t>(length);
    }
    ec = boost::system::error_code(code, boost::asio::error::get_system_category());
    return 0;
}

void ignore_unreachable_reports(boost::asio::ip::udp::socket& socket) {
    BOOL report = FALSE;
    DWORD returned = 0;
    ::WSAIoctl(static_cast<SOCKET>(socket.native_handle()), SIO_UDP_CONNRESET, &report,
               sizeof report, nullptr, 0, &returned, nullptr, nullptr);
}

void keep_from_children(boost::asio::ip::udp::socket& socket) {
    ::SetHandleInformation(reinterpret_cast<HANDLE>(static_cast<SOCKET>(socket.native_handle())),
                           HANDLE_FLAG_INHERIT, 0);
}
