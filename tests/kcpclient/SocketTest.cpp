// The socket layer on loopback: datagram boundaries, time-outs, the
// non-blocking read, the wait and the stop that ends it, bind and connect
// failures, addresses and routes, and the log line with its FATAL exit.
#include "NetNamespace.h"
#include "kcpclient/LogLine.h"
#include "kcpclient/SockAddrBoost.h"
#include "kcpclient/SockUdpBoost.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <fcntl.h>
#endif

#include <chrono>
#include <cstring>
#include <future>
#include <random>
#include <regex>

namespace {

// A socket bound to some free port.
std::shared_ptr<UdpSocket> bound_socket(int32_t timeoutMs) {
    static std::mt19937 random(std::random_device{}());
    for (;;) {
        auto port = static_cast<uint16_t>(30000 + random() % 30000);
        auto socket = std::make_shared<UdpSocket>(port, timeoutMs);
        if (socket->is_valid())
            return socket;
    }
}

} // namespace

TEST(UdpSocket, EmptyDatagramIsAnEmptyStringAndATimeOutIsNull) {
    auto server = bound_socket(100);
    auto client = make_connected_socket("127.0.0.1", server->self_port(), 100);
    ASSERT_TRUE(client->is_valid());

    ASSERT_TRUE(client->write(""));
    auto empty = server->read();
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->empty());
    EXPECT_FALSE(server->read()); // nothing more: time-out

    std::string big(3000, 'z');
    ASSERT_TRUE(client->write(std::string("\0ab", 3)));
    ASSERT_TRUE(client->write(big));
    auto small = server->read();
    ASSERT_TRUE(small);
    EXPECT_EQ(*small, std::string("\0ab", 3));
    auto truncated = server->read();
    ASSERT_TRUE(truncated);
    EXPECT_EQ(truncated->size(), UdpSocket::kDatagramMax);
}

TEST(UdpSocket, SenderAddressAndWriteTo) {
    auto a = bound_socket(200);
    auto b = bound_socket(200);
    boost::asio::ip::udp::endpoint to(boost::asio::ip::address_v4::loopback(), b->self_port());
    ASSERT_TRUE(a->write_to("ping", to));
    boost::asio::ip::udp::endpoint from;
    auto got = b->read(from);
    ASSERT_TRUE(got);
    EXPECT_EQ(*got, "ping");
    EXPECT_EQ(from.port(), a->self_port());
    EXPECT_EQ(SockAddr::to_string(from.data()), "127.0.0.1");
}

TEST(UdpSocket, NonblockingReadOnAnEmptySocketReturnsAtOnceAndStaysBlocking) {
    auto s = bound_socket(0); // no time-out: a blocking read would hang
    EXPECT_FALSE(s->read_nonblock());
#ifndef _WIN32
    EXPECT_EQ(::fcntl(s->native_handle(), F_GETFL) & O_NONBLOCK, 0);
#endif

    auto peer = make_connected_socket("127.0.0.1", s->self_port(), 0);
    ASSERT_TRUE(peer->write("x"));
    std::shared_ptr<std::string> got;
    for (int i = 0; i < 1000 && !got; i++)
        got = s->read_nonblock();
    ASSERT_TRUE(got);
    EXPECT_EQ(*got, "x");
}

TEST(UdpSocket, AStopEndsAWaitOnAnotherThreadAndEveryLaterOne) {
    // Generous: a wait the stop does not end fails here instead of hanging.
    const auto returns = [](std::future<bool>& f) {
        return f.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
    };
    for (int32_t timeoutMs : {-1, 60000}) {
        auto s = bound_socket(0);
        std::promise<void> waiting;
        std::future<bool> woke = std::async(std::launch::async, [&] {
            waiting.set_value();
            return s->wait_readable(timeoutMs);
        });
        waiting.get_future().wait();
        // Whether the wait has begun yet or not, the stop ends it.
        s->shut_receive();
        ASSERT_TRUE(returns(woke)) << timeoutMs;
        EXPECT_TRUE(woke.get());
        EXPECT_TRUE(s->wait_readable(-1)); // and every later one

        // A read after the stop takes nothing for a datagram.
        std::vector<char> buffer(16);
        EXPECT_LE(s->receive_into(buffer.data(), buffer.size()), 0);
    }

    // A stop before any wait: the first one returns as well.
    auto early = bound_socket(0);
    early->shut_receive();
    std::future<bool> woke =
        std::async(std::launch::async, [&] { return early->wait_readable(-1); });
    ASSERT_TRUE(returns(woke));
    EXPECT_TRUE(woke.get());
}

TEST(UdpSocket, AWaitEndsWithADatagramOrTheTimeOut) {
    auto s = bound_socket(0);
    EXPECT_FALSE(s->wait_readable(0));
    EXPECT_FALSE(s->wait_readable(20));
    auto peer = make_connected_socket("127.0.0.1", s->self_port(), 0);
    ASSERT_TRUE(peer->write("ready"));
    EXPECT_TRUE(s->wait_readable(-1));
    char buffer[UdpSocket::kDatagramMax];
    EXPECT_EQ(s->receive_into(buffer, sizeof buffer), 5);
    EXPECT_FALSE(s->wait_readable(0)); // consumed
    // An empty datagram wakes the wait as well.
    ASSERT_TRUE(peer->write(""));
    EXPECT_TRUE(s->wait_readable(-1));
    EXPECT_EQ(s->receive_into(buffer, sizeof buffer), 0);
}

TEST(UdpSocket, FailuresShowInTheValidFlag) {
    auto first = bound_socket(100);
    ::testing::internal::CaptureStderr();
    UdpSocket second(first->self_port(), 100);
    const std::string log = ::testing::internal::GetCapturedStderr();
    EXPECT_FALSE(second.is_valid()); // port in use
    // One warning names the port and the system's reason.
    const std::regex line("\\[WARNING\\] \\[[-0-9T:.]+\\] \\[kcpclient/SockUdpBoost:[0-9]+\\] "
                          "\\[UdpSocket\\] bind " +
                          std::to_string(first->self_port()) + ": bind: [^\n]+\n");
    EXPECT_TRUE(std::regex_match(log, line)) << log;

    UdpSocket unbound(0, 100);
    EXPECT_TRUE(unbound.is_valid());
    EXPECT_FALSE(unbound.write("no peer")); // not connected: send fails
    EXPECT_FALSE(unbound.is_valid());

    EXPECT_FALSE(make_connected_socket("not-an-address", 1000, 100)->is_valid());
    EXPECT_FALSE(make_connected_socket("::1", 1000, 100)->is_valid()); // IPv4 socket
    EXPECT_FALSE(make_connected_socket("999.1.1.1", 1000, 100)->is_valid());
    EXPECT_TRUE(make_connected_socket("127.0.0.1", 1000, 100)->is_valid());
}

TEST(UdpSocketDeathTest, SelfPortOfAnUnboundSocketIsFatal) {
    EXPECT_EXIT(
        {
            UdpSocket s(0, 100);
            (void)s.self_port();
        },
        ::testing::ExitedWithCode(3),
        "\\[FATAL\\] .*\\[kcpclient/SockUdpBoost:[0-9]+\\] \\[self_port\\]");
}

TEST(SockAddr, InitAndTextOfIpv4AndIpv6) {
    sockaddr_in v4{};
    ASSERT_TRUE(sock_init(&v4, sizeof v4, AF_INET, "255.255.255.255", 11155));
    EXPECT_EQ(v4.sin_family, AF_INET);
    EXPECT_EQ(v4.sin_addr.s_addr, 0xffffffffu);
    EXPECT_EQ(ntohs(v4.sin_port), 11155);
    EXPECT_EQ(SockAddr::to_string(reinterpret_cast<sockaddr*>(&v4)), "255.255.255.255");
    EXPECT_FALSE(sock_init(&v4, sizeof v4, AF_INET, "192.168.1", 1));
    EXPECT_FALSE(sock_init(&v4, sizeof v4, AF_INET, "", 1));

    sockaddr_in6 v6{};
    ASSERT_TRUE(sock_init(&v6, sizeof v6, AF_INET6, "fe80::1", 80));
    EXPECT_EQ(SockAddr::to_string(reinterpret_cast<sockaddr*>(&v6)), "fe80::1");
    EXPECT_FALSE(sock_init(&v6, sizeof v6, AF_INET6, "1.2.3.4", 80));

    sockaddr_storage other{};
    EXPECT_FALSE(sock_init(&other, sizeof other, AF_UNIX, "x", 1));
    other.ss_family = AF_UNIX;
    EXPECT_EQ(SockAddr::to_string(reinterpret_cast<sockaddr*>(&other)), "");
}

TEST(SockAddrDeathTest, TooSmallAddressBufferIsFatal) {
    sockaddr_in6 space{};
    EXPECT_EXIT(sock_init(&space, 15, AF_INET, "1.2.3.4", 1), ::testing::ExitedWithCode(3),
                "\\[sock_init\\]");
    EXPECT_EXIT(sock_init(&space, 27, AF_INET6, "::1", 1), ::testing::ExitedWithCode(3),
                "\\[sock_init\\]");
}

TEST(SockAddr, RouteTowardsAPeer) {
    EXPECT_EQ(SockAddr::ip_route("no such host"), "");
    EXPECT_EQ(SockAddr::ip_route(""), "");
    EXPECT_EQ(SockAddr::ip_route("127.0.0.1"), "127.0.0.1");
}

TEST(SelectCameraRoute, PrefersTheFirstKnownNetworkWithAMatchingPrefix) {
    auto route = [](std::string local88, std::string local0) {
        return
            [=](const std::string& camera) { return camera == "192.168.88.10" ? local88 : local0; };
    };
    using Pair = std::pair<std::string, std::string>;
    EXPECT_EQ(select_camera_route(route("", "")), Pair());
    EXPECT_EQ(select_camera_route(route("192.168.88.7", "192.168.0.3")),
              Pair("192.168.88.7", "192.168.88.10"));
    EXPECT_EQ(select_camera_route(route("", "192.168.0.3")), Pair("192.168.0.3", "192.168.0.1"));
    // A default route through another network is no camera network.
    EXPECT_EQ(select_camera_route(route("10.1.2.3", "10.1.2.3")), Pair());
    EXPECT_EQ(select_camera_route(route("192.168.8.1", "192.168.01.1")), Pair());
}

TEST(SelectCameraRouteDeathTest, FindsTheInterfacesOfAPrivateNetwork) {
    if (!kcptest::private_network_possible())
        GTEST_SKIP() << "network namespaces are not available";
    // Each case runs in its own child, inside its own network namespace.
    EXPECT_EXIT(
        {
            bool ok = kcptest::enter_private_network({});
            auto found = select_camera_route();
            std::_Exit(ok && found.first.empty() && found.second.empty() ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
    EXPECT_EXIT(
        {
            bool ok = kcptest::enter_private_network({"192.168.0.7/24", "192.168.88.5/24"});
            auto found = select_camera_route();
            std::_Exit(ok && found.first == "192.168.88.5" && found.second == "192.168.88.10" ? 0
                                                                                              : 1);
        },
        ::testing::ExitedWithCode(0), "");
    EXPECT_EXIT(
        {
            bool ok = kcptest::enter_private_network({"192.168.0.7/24"});
            auto found = select_camera_route();
            std::_Exit(ok && found.first == "192.168.0.7" && found.second == "192.168.0.1" ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(LogLine, FormatsLevelTimeSourceAndFunction) {
    EXPECT_STREQ(LogLine::level_name(0), "INFO");
    EXPECT_STREQ(LogLine::level_name(2), "ERROR");
    EXPECT_STREQ(LogLine::level_name(7), "FATAL");
    EXPECT_TRUE(::testing::internal::RE::FullMatch(
        LogLine::timestamp(), "[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}\\.[0-9]{9}"));

    ::testing::internal::CaptureStderr();
#define LOG_SOURCE "kcpclient/Test"
    LOG_WARNING << "low " << 42;
    std::string out = ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(::testing::internal::RE::FullMatch(
        out, "\\[WARNING\\] \\[[-0-9T:.]+\\] \\[kcpclient/Test:[0-9]+\\] \\[TestBody\\] low 42\n"))
        << out;
}

TEST(LogLineDeathTest, FatalEndsTheProcessWithStatusThreeAfterTheLine) {
    EXPECT_EXIT({ LOG_FATAL << "broken " << 7; }, ::testing::ExitedWithCode(3),
                "\\[FATAL\\] \\[[-0-9T:.]+\\] \\[kcpclient/Test:[0-9]+\\] \\[TestBody\\] broken 7");
    EXPECT_EXIT(
        {
            { LOG_ERROR << "not fatal"; }
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(0), "\\[ERROR\\].*not fatal");
}
#undef LOG_SOURCE
