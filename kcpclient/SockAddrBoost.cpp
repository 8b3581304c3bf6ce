#include "kcpclient/SockAddrBoost.h"

#include "kcpclient/LogLine.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/address.hpp>
#include <boost/asio/ip/udp.hpp>

#include <cstring>

#define LOG_SOURCE "kcpclient/SockAddrBoost"

namespace SockAddr {

bool sock_init(void* address, size_t size, int family, const std::string& text, uint16_t port) {
    namespace ip = boost::asio::ip;
    std::memset(address, 0, size);
    boost::system::error_code ec;
    ip::udp::endpoint endpoint;
    if (family == AF_INET) {
        if (size < sizeof(sockaddr_in))
            LOG_FATAL;
        // Four dotted decimal parts only, as inet_pton reads them: "192.168.1"
        // is no address, 255.255.255.255 is one (unlike inet_addr's error).
        ip::address_v4 v4 = ip::make_address_v4(text, ec);
        if (ec)
            return false;
        endpoint = ip::udp::endpoint(v4, port);
    } else if (family == AF_INET6) {
        if (size < sizeof(sockaddr_in6))
            LOG_FATAL;
        ip::address_v6 v6 = ip::make_address_v6(text, ec);
        if (ec)
            return false;
        endpoint = ip::udp::endpoint(v6, port);
    } else {
        return false;
    }
    std::memcpy(address, endpoint.data(), endpoint.size());
    return true;
}

std::string to_string(const sockaddr* address) {
    namespace ip = boost::asio::ip;
    if (address->sa_family == AF_INET) {
        ip::udp::endpoint endpoint(ip::udp::v4(), 0);
        std::memcpy(endpoint.data(), address, sizeof(sockaddr_in));
        return endpoint.address().to_string();
    }
    if (address->sa_family == AF_INET6) {
        ip::udp::endpoint endpoint(ip::udp::v6(), 0);
        std::memcpy(endpoint.data(), address, sizeof(sockaddr_in6));
        return endpoint.address().to_string();
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
