#pragma once

// The VISCA camera the program is for other programs (PTZ controllers such as
// OBS's PTZ controls or Bitfocus Companion): VISCA over IP on UDP and, when
// asked for, plain VISCA over TCP. One thread of its own runs the sockets and
// the timers (an io_context); every request is answered at once (the ACK
// before the camera has acted) and what it asks for goes to the operations
// given at construction, the ones the program's own controls use.
//
// A pan-tilt drive lasts until its stop, a newer drive or the drive time-out
// (a controller that dies must not leave the gimbal turning); zoom tele and
// wide step the zoom factor until their stop or the end of the range. The
// newest request wins, whoever sent it: nothing is queued.

#include "app/visca/ViscaResponder.h"
#include "hub/WorkerThread.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ip/udp.hpp>
#include <boost/asio/steady_timer.hpp>

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

// What the server's requests do. Called on the server's thread; each call
// must return soon (post the work, do not wait for the camera). A false
// return refuses the command: the controller gets "not executable".
class ViscaOperations {
public:
    virtual ~ViscaOperations() = default;
    virtual ViscaCameraState cameraState() = 0;
    // A drive at fractions of the top speed in [-1, 1] (right and up
    // positive, not both 0); called again whenever the speeds change.
    virtual bool drive(double pan, double tilt) = 0;
    // The drive ended (stop, time-out, server stopped).
    virtual void stopDrive() = 0;
    // A while after the end of a drive no new drive came: tracking resumes.
    virtual void resumeTracking() = 0;
    virtual bool zoomTo(double factor) = 0;
    virtual bool focusAtCentre() = 0;
    virtual bool setTracking(bool on) = 0;
    // Another controller than the last one sent a request ("ADDRESS:PORT",
    // with " (TCP)" for the TCP transport).
    virtual void controllerChanged(const std::string& who) { (void)who; }
};

struct ViscaServerSettings {
    std::string address = "127.0.0.1";
    uint16_t udpPort = 52381; // 0: any free port
    bool tcp = false;
    uint16_t tcpPort = 5678;
    // Senders taken when the address is not a loopback one; empty: everyone.
    std::vector<std::string> allowed;
    std::chrono::milliseconds driveTimeout{1000};
    // From the end of a drive to tracking resumed, as after the joystick's release.
    std::chrono::milliseconds resumeDelay{500};
    std::chrono::milliseconds zoomStep{100};
};

struct ViscaServerStats {
    ViscaCounters counters;
    uint64_t refusedSenders = 0; // datagrams and connections from senders not allowed
    uint64_t driveTimeouts = 0;  // drives ended because no command came
    uint64_t tcpDropped = 0;     // connections closed for not reading their replies
    std::string controller;      // the last sender; empty before the first
    std::chrono::steady_clock::time_point lastRequest;
};

class ViscaServer {
public:
    ViscaServer(ViscaServerSettings settings, std::shared_ptr<ViscaOperations> operations);
    ~ViscaServer();
    ViscaServer(const ViscaServer&) = delete;
    ViscaServer& operator=(const ViscaServer&) = delete;

    // Binds the sockets and starts the thread. False, with why in `why`,
    // when a socket cannot be had (the port taken, no such address): then
    // nothing is left open.
    bool start(std::string* why);
    // Ends a drive that is on, stops the thread (joined) and closes the sockets.
    void stop();
    bool running() const { return worker_.active(); }

    // The ports bound (useful with port 0); 0 when not bound.
    uint16_t udpPort() const { return boundUdp_; }
    uint16_t tcpPort() const { return boundTcp_; }
    ViscaServerStats stats() const;

    // The zoom factor change per second of a zoom drive at speed 0..7.
    static double zoomRate(int speed);

private:
    struct Session;
    void receiveDatagram();
    void accept();
    void readSession(const std::shared_ptr<Session>& session);
    void writeSession(const std::shared_ptr<Session>& session);
    void closeSession(const std::shared_ptr<Session>& session);
    bool senderAllowed(const boost::asio::ip::address& address);
    void noteSender(const std::string& who);
    // Carries out an accepted command; false: refused.
    bool execute(const ViscaRequest& request);
    void startDrive(double pan, double tilt, bool& ok);
    void endDrive();
    void startZoom(int direction, int speed);
    void stopZoom();
    void zoomTick();
    void publishCounters();

    ViscaServerSettings settings_;
    std::shared_ptr<ViscaOperations> operations_;
    boost::asio::io_context io_;
    boost::asio::ip::udp::socket udp_;
    boost::asio::ip::tcp::acceptor acceptor_;
    boost::asio::steady_timer driveTimer_;
    boost::asio::steady_timer resumeTimer_;
    boost::asio::steady_timer zoomTimer_;
    std::array<uint8_t, 2048> datagram_{};
    boost::asio::ip::udp::endpoint sender_;
    std::set<std::shared_ptr<Session>> sessions_;
    ViscaResponder responder_;
    bool loopbackOnly_ = true;
    uint16_t boundUdp_ = 0;
    uint16_t boundTcp_ = 0;

    // The thread's own state.
    bool driving_ = false;
    int zoomDirection_ = 0; // +1 tele, -1 wide, 0 still
    double zoomPerStep_ = 0;
    double zoomFactor_ = 1.0;

    mutable std::mutex statsMutex_;
    ViscaServerStats stats_;

    WorkerThread worker_;
};
