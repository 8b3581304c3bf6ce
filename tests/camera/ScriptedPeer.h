#pragma once

// A small stand-in for the camera's control port: a UDP socket bound to
// <address>:9999 whose thread records every valid control frame it receives
// and answers it through a scripted responder. Plain POSIX sockets.

#include "camera/ControlFrame.h"

#include <QByteArray>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testpeer {

struct Received {
    ControlFrame frame;
    uint16_t fromPort = 0;
};

class ScriptedPeer {
public:
    // Returns the datagrams to send back to the requester (may be empty).
    using Responder = std::function<std::vector<QByteArray>(const ControlFrame& request)>;

    explicit ScriptedPeer(const std::string& address = "127.0.0.1", uint16_t port = 9999);
    ~ScriptedPeer();
    ScriptedPeer(const ScriptedPeer&) = delete;
    ScriptedPeer& operator=(const ScriptedPeer&) = delete;

    bool ok() const { return fd >= 0; }
    void setResponder(Responder r);

    // Sends raw bytes to the client's control port 127.0.0.1:7777.
    void sendToClient(const QByteArray& datagram);

    std::vector<Received> received() const;
    // Waits until at least `count` frames came in; false on time-out.
    bool waitForCount(size_t count, int timeoutMs) const;
    void clear();

private:
    void loop();

    int fd = -1;
    std::atomic<bool> running{true};
    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    std::vector<Received> frames;
    Responder responder;
    std::thread thread;
};

// The wire form of a frame (length taken from the payload).
QByteArray wire(ControlFrame frame);
// A camera reply to `request`: same command set and id, `code` then `data`.
QByteArray replyTo(const ControlFrame& request, int code, const QByteArray& data = {});
// A frame from the camera with the given set, id and whole payload.
QByteArray cameraFrame(uint8_t set, uint16_t id, const QByteArray& payload);

} // namespace testpeer
