#pragma once

// A stand-in for the camera's media command service on a loopback port: it
// records every request and answers as the test's script says.

#include "kcpclient/KcpCmdOp.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

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
        std::mt19937 random(std::random_device{}());
        for (;;) {
            fd_ = ::socket(AF_INET, SOCK_DGRAM, 0);
            port_ = static_cast<uint16_t>(20000 + random() % 40000);
            sockaddr_in in{};
            in.sin_family = AF_INET;
            in.sin_port = htons(port_);
            in.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            if (::bind(fd_, reinterpret_cast<sockaddr*>(&in), sizeof in) == 0)
                break;
            ::close(fd_);
        }
        thread_ = std::thread([this] { run(); });
    }
    ~ScriptedMediaPeer() {
        running_ = false;
        thread_.join();
        ::close(fd_);
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
        ::sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&last_),
                 sizeof last_);
    }

private:
    void run() {
        char buffer[2048];
        while (running_) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 10) <= 0)
                continue;
            sockaddr_in from{};
            socklen_t len = sizeof from;
            ssize_t n =
                ::recvfrom(fd_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &len);
            if (n < 0)
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
                ::sendto(fd_, r.data(), r.size(), 0, reinterpret_cast<sockaddr*>(&from), len);
        }
    }

    int fd_ = -1;
    uint16_t port_ = 0;
    std::atomic<bool> running_{true};
    std::thread thread_;
    std::mutex mutex_;
    Script script_;
    std::vector<KcpCmd> requests_;
    sockaddr_in last_{};
};

} // namespace kcptest
