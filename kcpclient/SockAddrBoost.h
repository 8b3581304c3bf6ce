#pragma once

// The platform socket address types (sockaddr, sockaddr_in, sockaddr_in6)
// and AF_INET / AF_INET6, from the system headers Asio includes for this
// platform.
#include <boost/asio/ip/udp.hpp>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>

namespace SockAddr {

// An IPv4 address from its text: four dotted decimal parts of 0..255 without
// leading zeros, as inet_pton reads them on every platform ("192.168.1" is
// none, though Windows' own parser would take it). False for anything else.
bool parse_v4(const std::string& text, boost::asio::ip::address_v4& out);
// An IPv4 (as parse_v4) or IPv6 address from its text; false for neither.
bool parse_address(const std::string& text, boost::asio::ip::address& out);

// Fills a platform socket address (sockaddr_in for AF_INET, at least 16
// bytes; sockaddr_in6 for AF_INET6, at least 28 bytes) from address text and
// port. False for unparsable text or another family; a too-small buffer is a
// FATAL fault.
bool sock_init(void* address, size_t size, int family, const std::string& text, uint16_t port);
// Text of the address bytes of an IPv4 or IPv6 socket address; empty for any
// other family.
std::string to_string(const sockaddr* address);
// The local address this host would use toward peer (a UDP connect, which
// sends nothing); empty on any error.
std::string ip_route(const std::string& peer);

} // namespace SockAddr

using SockAddr::sock_init;

// The known camera networks, tried in order: (local address, camera address)
// of the first whose route leaves through a local address with the network's
// prefix, or two empty strings.
std::pair<std::string, std::string> select_camera_route();
// The same with a replaceable route lookup (tests).
std::pair<std::string, std::string>
select_camera_route(const std::function<std::string(const std::string&)>& route);
