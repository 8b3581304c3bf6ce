#include "kcpclient/SockAddrBoost.h"

#include "kcpclient/LogLine.h"

#include <arpa/inet.h>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/address.hpp>
#include <boost/asio/ip/udp.hpp>
#include <netinet/in.h>

#include <cstring>

#define LOG_SOURCE "kcpclient/SockAddrBoost"

namespace SockAddr {

bool sock_init(void* address, size_t size, int family, const std::string& text, uint16_t port) {
    std::memset(address, 0, size);
    if (family == AF_INET) {
        if (size < sizeof(sockaddr_in))
            LOG_FATAL;
        auto* in = static_cast<sockaddr_in*>(address);
        in->sin_family = AF_INET;
        // inet_pton, unlike inet_addr, tells 255.255.255.255 from an error.
        if (::inet_pton(AF_INET, text.c_str(), &in->sin_addr) != 1)
            return false;
        in->sin_port = htons(port);
        return true;
    }
    if (family == AF_INET6) {
        if (size < sizeof(sockaddr_in6))
            LOG_FATAL;
        auto* in6 = static_cast<sockaddr_in6*>(address);
        in6->sin6_family = AF_INET6;
        if (::inet_pton(AF_INET6, text.c_str(), &in6->sin6_addr) != 1)
            return false;
        in6->sin6_port = htons(port);
        return true;
    }
    return false;
}

std::string to_string(const sockaddr* address) {
    char text[INET6_ADDRSTRLEN] = {};
    if (address->sa_family == AF_INET) {
        const auto* in = reinterpret_cast<const sockaddr_in*>(address);
        ::inet_ntop(AF_INET, &in->sin_addr, text, sizeof text);
        return text;
    }
    if (address->sa_family == AF_INET6) {
        const auto* in6 = reinterpret_cast<const sockaddr_in6*>(address);
        ::inet_ntop(AF_INET6, &in6->sin6_addr, text, sizeof text);
        return text;
    }
    return {};
}

std::string ip_route(const std::string& peer) {
    namespace ip = boost::asio::ip;
    boost::system::error_code ec;
    ip::address target;
    ip::address_v6 v6 = ip::make_address_v6(peer, ec);
    if (!ec) {
        target = v6;
    } else {
        ip::address_v4 v4 = ip::make_address_v4(peer, ec);
        if (ec)
            return {};
        target = v4;
    }
    boost::asio::io_context context;
    ip::udp::socket socket(context);
    ip::udp::endpoint endpoint(target, 1024);
    socket.open(endpoint.protocol(), ec);
    if (ec)
        return {};
    socket.connect(endpoint, ec);
    if (ec)
        return {};
    ip::udp::endpoint local = socket.local_endpoint(ec);
    if (ec)
        return {};
    return local.address().to_string();
}

} // namespace SockAddr

std::pair<std::string, std::string>
select_camera_route(const std::function<std::string(const std::string&)>& route) {
    static const struct {
        const char* prefix;
        const char* camera;
    } networks[] = {{"192.168.88.", "192.168.88.10"}, {"192.168.0.", "192.168.0.1"}};
    for (const auto& network : networks) {
        std::string local = route(network.camera);
        if (!local.empty() && local.compare(0, std::strlen(network.prefix), network.prefix) == 0)
            return {local, network.camera};
    }
    return {};
}

std::pair<std::string, std::string> select_camera_route() {
    return select_camera_route(SockAddr::ip_route);
}
