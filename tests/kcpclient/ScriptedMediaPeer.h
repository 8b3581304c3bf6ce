#pragma once

// A stand-in for the camera's media command service on a loopback port: it
// records every request and answers as the test's script says.

#include "kcpclient/KcpCmdOp.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/udp.hpp>

#include <atomic>
#include <functional>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace kcptest {

// A reply packet for request with the given session byte, payload and
// direction; length field and checksum right unless the caller changes them.
inline std::string make_reply(const KcpCmd& request, uint8_t session, const std::string& payload,
                              uint8_t direction = 1) {
    std::string r(10, '\0');
    r[0] = 0x5C;
    r[1] = 0x5A;
    r[2] = static_cast<char>(session);
    r[4] = static_cast<char>(request.seqnum());
    size_t length = 10 + payload.size();
    r[6] = static_cast<char>(length & 0xff);
    r[7] = static_cast<char>(length >> 8);
    r[8] = static_cast<char>(direction);
    r[9] = static_cast<char>(request.command());
    r += payload;
    r[3] = static_cast<char>(kcpcmd::xor_of(reinterpret_cast<const uint8_t*>(r.data()), r.size()));
    return r;
}

// Sets the length field and makes the XOR over that many bytes 0.
inline std::string with_length(std::string r, size_t length) {
    if (r.size() < length)
        r.resize(length, '\0');
    r[6] = static_cast<char>(length & 0xff);
    r[7] = static_cast<char>(length >> 8);
    r[3] = 0;
    r[3] = static_cast<char>(
        kcpcmd::xor_of(reinterpret_cast<const uint8_t*>(r.data()), std::min(length, r.size())));
    return r;
}

class ScriptedMediaPeer {
public:
    // Replies to send for one request (possibly none).
    using Script = std::function<std::vector<std::string>(const KcpCmd& request, int index)>;

    ScriptedMediaPeer() {
        namespace ip = boost::asio::ip;
        std::mt19937 random(std::random_device{}());
        for (;;) {
            port_ = static_cast<uint16_t>(20000 + random() % 40000);
            boost::system::error_code ec;
            socket_.open(ip::udp::v4(), ec);
            if (!ec)
                socket_.bind({ip::address_v4::loopback(), port_}, ec);
            if (!ec)
                break;
            socket_.close(ec);
        }
        thread_ = std::thread([this] { run(); });
    }
    ~ScriptedMediaPeer() {
        running_ = false;
        // An empty datagram to itself ends the thread's blocking receive.
        boost::system::error_code ec;
        socket_.send_to(boost::asio::buffer("", 0), socket_.local_endpoint(ec), 0, ec);
        thread_.join();
        socket_.close(ec);
    }

    uint16_t port() const { return port_; }
    void set_script(Script script) {
        std::lock_guard<std::mutex> lock(mutex_);
        script_ = std::move(script);
    }
    std::vector<KcpCmd> requests() {
        std::lock_guard<std::mutex> lock(mutex_);
        return requests_;
    }
    // Sends raw bytes to the last requester.
    void send_raw(const std::string& bytes) {
        std::lock_guard<std::mutex> lock(mutex_);
        boost::system::error_code ec;
        socket_.send_to(boost::asio::buffer(bytes), last_, 0, ec);
    }

private:
    void run() {
        char buffer[2048];
        while (running_) {
            boost::asio::ip::udp::endpoint from;
            boost::system::error_code ec;
            size_t n = socket_.receive_from(boost::asio::buffer(buffer), from, 0, ec);
            if (ec || !running_)
                continue;
            KcpCmd request;
            if (!kcpcmd::parse_packet(std::string(buffer, static_cast<size_t>(n)), request))
                continue;
            std::vector<std::string> replies;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                last_ = from;
                requests_.push_back(request);
                if (script_)
                    replies = script_(request, static_cast<int>(requests_.size()) - 1);
            }
            for (const auto& r : replies)
                socket_.send_to(boost::asio::buffer(r), from, 0, ec);
        }
    }

    boost::asio::io_context context_;
    boost::asio::ip::udp::socket socket_{context_};
    uint16_t port_ = 0;
    std::atomic<bool> running_{true};
    std::thread thread_;
    std::mutex mutex_;
    Script script_;
    std::vector<KcpCmd> requests_;
    boost::asio::ip::udp::endpoint last_;
};

} // namespace kcptest
