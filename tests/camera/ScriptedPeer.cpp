#include "ScriptedPeer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

namespace testpeer {

ScriptedPeer::ScriptedPeer(const std::string& address, uint16_t port) {
    fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    ::inet_pton(AF_INET, address.c_str(), &local.sin_addr);
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof(local)) != 0) {
        ::close(fd);
        fd = -1;
    }
    if (fd >= 0)
        thread = std::thread([this] { loop(); });
}

ScriptedPeer::~ScriptedPeer() {
    running = false;
    if (thread.joinable())
        thread.join();
    if (fd >= 0)
        ::close(fd);
}

void ScriptedPeer::setResponder(Responder r) {
    std::lock_guard<std::mutex> lock(mutex);
    responder = std::move(r);
}

void ScriptedPeer::sendToClient(const QByteArray& datagram) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(7777);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::sendto(fd, datagram.constData(), static_cast<size_t>(datagram.size()), 0,
             reinterpret_cast<sockaddr*>(&to), sizeof(to));
}

std::vector<Received> ScriptedPeer::received() const {
    std::lock_guard<std::mutex> lock(mutex);
    return frames;
}

bool ScriptedPeer::waitForCount(size_t count, int timeoutMs) const {
    std::unique_lock<std::mutex> lock(mutex);
    return changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                            [&] { return frames.size() >= count; });
}

void ScriptedPeer::clear() {
    std::lock_guard<std::mutex> lock(mutex);
    frames.clear();
}

void ScriptedPeer::loop() {
    std::vector<uint8_t> buffer(2048);
    while (running) {
        pollfd pfd{fd, POLLIN, 0};
        if (::poll(&pfd, 1, 5) <= 0)
            continue;
        sockaddr_in from{};
        socklen_t fromLength = sizeof(from);
        const ssize_t got = ::recvfrom(fd, buffer.data(), buffer.size(), 0,
                                       reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (got <= 0 || !validateFrame(buffer.data(), static_cast<int>(got)))
            continue;
        Received r;
        unpackFrame(buffer.data(), static_cast<int>(got), r.frame);
        r.fromPort = ntohs(from.sin_port);
        Responder respond;
        {
            std::lock_guard<std::mutex> lock(mutex);
            frames.push_back(r);
            respond = responder;
        }
        changed.notify_all();
        if (!respond)
            continue;
        for (const QByteArray& d : respond(r.frame))
            ::sendto(fd, d.constData(), static_cast<size_t>(d.size()), 0,
                     reinterpret_cast<sockaddr*>(&from), fromLength);
    }
}

QByteArray wire(ControlFrame frame) {
    frame.length = static_cast<uint16_t>(kFrameHeaderSize + frame.payload.size());
    QByteArray out(frame.length, '\0');
    int n = 0;
    packFrame(frame, reinterpret_cast<uint8_t*>(out.data()), n);
    out.resize(n);
    return out;
}

QByteArray replyTo(const ControlFrame& request, int code, const QByteArray& data) {
    ControlFrame f;
    f.senderDevice = request.receiverDevice;
    f.receiverDevice = DeviceApp;
    f.commandSet = request.commandSet;
    f.commandId = request.commandId;
    f.payload = QByteArray(1, static_cast<char>(code)) + data;
    return wire(f);
}

QByteArray cameraFrame(uint8_t set, uint16_t id, const QByteArray& payload) {
    ControlFrame f;
    f.senderDevice = DeviceCamera;
    f.receiverDevice = DeviceApp;
    f.commandSet = set;
    f.commandId = id;
    f.payload = payload;
    return wire(f);
}

} // namespace testpeer
