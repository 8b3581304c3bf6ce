#include "kcpclient/SockAddrBoost.h"

#include "kcpclient/LogLine.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/address.hpp>
#include <boost/asio/ip/udp.hpp>

#include <cstring>

#define LOG_SOURCE "kcpclient/SockAddrBoost"

namespace SockAddr {

bool parse_v4(const std::string& text, boost::asio::ip::address_v4& out) {
    boost::asio::ip::address_v4::bytes_type bytes{};
    size_t at = 0;
    for (size_t part = 0; part < bytes.size(); part++) {
        if (part > 0 && (at >= text.size() || text[at++] != '.'))
            return false;
        size_t digits = 0;
        unsigned value = 0;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9' && digits < 4) {
            value = value * 10 + static_cast<unsigned>(text[at] - '0');
            at++;
            digits++;
        }
        if (digits == 0 || digits > 3 || value > 255 || (digits > 1 && text[at - digits] == '0'))
            return false;
        bytes[part] = static_cast<unsigned char>(value);
    }
    if (at != text.size())
        return false;
    out = boost::asio::ip::address_v4(bytes);
    return true;
}

bool parse_address(const std::string& text, boost::asio::ip::address& out) {
    boost::asio::ip::address_v4 v4;
    if (parse_v4(text, v4)) {
        out = v4;
        return true;
    }
    if (text.find(':') == std::string::npos)
        return false;
    boost::system::error_code ec;
    boost::asio::ip::address_v6 v6 = boost::asio::ip::make_address_v6(text, ec);
    if (ec)
        return false;
    out = v6;
    return true;
}

bool sock_init(void* address, size_t size, int family, const std::string& text, uint16_t port) {
    namespace ip = boost::asio::ip;
    std::memset(address, 0, size);
    ip::udp::endpoint endpoint;
    if (family == AF_INET) {
        if (size < sizeof(sockaddr_in))
            LOG_FATAL;
        // 255.255.255.255 is an address (unlike inet_addr's error value).
        ip::address_v4 v4;
        if (!parse_v4(text, v4))
            return false;
        endpoint = ip::udp::endpoint(v4, port);
    } else if (family == AF_INET6) {
        if (size < sizeof(sockaddr_in6))
            LOG_FATAL;
        ip::address address;
        if (!parse_address(text, address) || !address.is_v6())
            return false;
        endpoint = ip::udp::endpoint(address, port);
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
    if (!parse_address(peer, target))
        return {};
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
