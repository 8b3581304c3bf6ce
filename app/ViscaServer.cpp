#include "app/ViscaServer.h"

#include "app/visca/ViscaReplies.h"

#include <boost/asio/buffer.hpp>
#include <boost/asio/write.hpp>

#include <algorithm>
#include <deque>

namespace asio = boost::asio;
using asio::ip::tcp;
using asio::ip::udp;

namespace {
constexpr int kStopLimitMs = 2000;
// Replies a TCP controller may leave unread before it is let go.
constexpr size_t kMaxUnsentReplies = 64;

std::string endpointText(const asio::ip::address& address, uint16_t port) {
    return address.to_string() + ":" + std::to_string(port);
}
} // namespace

struct ViscaServer::Session {
    explicit Session(asio::io_context& io) : socket(io) {}
    tcp::socket socket;
    std::string who;
    ViscaStreamSplitter splitter;
    std::array<uint8_t, 512> buffer{};
    std::deque<ViscaBytes> unsent;
    bool writing = false;
};

ViscaServer::ViscaServer(ViscaServerSettings settings, std::shared_ptr<ViscaOperations> operations)
    : settings_(std::move(settings)), operations_(std::move(operations)), udp_(io_), acceptor_(io_),
      driveTimer_(io_), resumeTimer_(io_), zoomTimer_(io_) {}

ViscaServer::~ViscaServer() {
    stop();
}

double ViscaServer::zoomRate(int speed) {
    // Speed 7 runs the whole range (1.0x to 3.5x) in about two seconds,
    // speed 0 in about seventeen.
    return 0.15 * (std::clamp(speed, 0, visca::kMaxZoomSpeed) + 1);
}

bool ViscaServer::start(std::string* why) {
    if (worker_.active())
        return true;
    boost::system::error_code ec;
    const asio::ip::address address = asio::ip::make_address(settings_.address, ec);
    if (ec) {
        if (why)
            *why = "\"" + settings_.address + "\" is no address";
        return false;
    }
    loopbackOnly_ = address.is_loopback();
    const udp::endpoint udpAt(address, settings_.udpPort);
    udp_.open(udpAt.protocol(), ec);
    if (!ec)
        udp_.bind(udpAt, ec);
    if (ec) {
        if (why)
            *why = "UDP " + endpointText(address, settings_.udpPort) + ": " + ec.message();
        udp_.close(ec);
        return false;
    }
    boundUdp_ = udp_.local_endpoint(ec).port();
    if (settings_.tcp) {
        const tcp::endpoint tcpAt(address, settings_.tcpPort);
        acceptor_.open(tcpAt.protocol(), ec);
        if (!ec)
            acceptor_.set_option(tcp::acceptor::reuse_address(true), ec);
        if (!ec)
            acceptor_.bind(tcpAt, ec);
        if (!ec)
            acceptor_.listen(asio::socket_base::max_listen_connections, ec);
        if (ec) {
            if (why)
                *why = "TCP " + endpointText(address, settings_.tcpPort) + ": " + ec.message();
            boost::system::error_code ignored;
            acceptor_.close(ignored);
            udp_.close(ignored);
            boundUdp_ = 0;
            return false;
        }
        boundTcp_ = acceptor_.local_endpoint(ec).port();
        accept();
    }
    receiveDatagram();
    io_.restart();
    worker_.start("orun-visca", [this] {
        auto guard = asio::make_work_guard(io_);
        io_.run();
    });
    return true;
}

void ViscaServer::stop() {
    if (!worker_.active())
        return;
    worker_.stop(kStopLimitMs, [this] { io_.stop(); });
    boost::system::error_code ignored;
    udp_.close(ignored);
    acceptor_.close(ignored);
    for (const auto& session : sessions_)
        session->socket.close(ignored);
    sessions_.clear();
    driveTimer_.cancel();
    resumeTimer_.cancel();
    zoomTimer_.cancel();
    // The thread is gone: a drive it left on ends here.
    if (driving_) {
        driving_ = false;
        operations_->stopDrive();
    }
    zoomDirection_ = 0;
    boundUdp_ = boundTcp_ = 0;
}

ViscaServerStats ViscaServer::stats() const {
    std::lock_guard<std::mutex> lock(statsMutex_);
    return stats_;
}

void ViscaServer::publishCounters() {
    std::lock_guard<std::mutex> lock(statsMutex_);
    stats_.counters = responder_.counters();
}

bool ViscaServer::senderAllowed(const asio::ip::address& address) {
    if (loopbackOnly_ || settings_.allowed.empty())
        return true;
    const std::string text = address.to_string();
    if (std::find(settings_.allowed.begin(), settings_.allowed.end(), text) !=
        settings_.allowed.end())
        return true;
    std::lock_guard<std::mutex> lock(statsMutex_);
    ++stats_.refusedSenders;
    return false;
}

void ViscaServer::noteSender(const std::string& who) {
    bool changed = false;
    {
        std::lock_guard<std::mutex> lock(statsMutex_);
        changed = stats_.controller != who;
        stats_.controller = who;
        stats_.lastRequest = std::chrono::steady_clock::now();
    }
    if (changed)
        operations_->controllerChanged(who);
}

// --- UDP ------------------------------------------------------------------------------

void ViscaServer::receiveDatagram() {
    udp_.async_receive_from(
        asio::buffer(datagram_), sender_, [this](const boost::system::error_code& ec, size_t size) {
            if (ec == asio::error::operation_aborted || !udp_.is_open())
                return;
            // Other errors (an ICMP "port unreachable" of an earlier reply)
            // concern one sender: the server goes on.
            if (!ec && senderAllowed(sender_.address())) {
                const udp::endpoint to = sender_;
                noteSender(endpointText(to.address(), to.port()));
                ViscaResponse response =
                    responder_.handleDatagram(datagram_.data(), size, operations_->cameraState());
                publishCounters();
                boost::system::error_code ignored;
                for (const ViscaBytes& reply : response.replies)
                    udp_.send_to(asio::buffer(reply), to, 0, ignored);
                if (response.operation) {
                    const ViscaToken token = response.operation->token;
                    const ViscaBytes done = execute(response.operation->request)
                                                ? ViscaResponder::completion(token)
                                                : ViscaResponder::notExecutable(token);
                    udp_.send_to(asio::buffer(done), to, 0, ignored);
                }
            }
            receiveDatagram();
        });
}

// --- TCP ------------------------------------------------------------------------------

void ViscaServer::accept() {
    auto session = std::make_shared<Session>(io_);
    acceptor_.async_accept(session->socket, [this, session](const boost::system::error_code& ec) {
        if (ec == asio::error::operation_aborted || !acceptor_.is_open())
            return;
        if (!ec) {
            boost::system::error_code peerError;
            const tcp::endpoint peer = session->socket.remote_endpoint(peerError);
            if (!peerError && senderAllowed(peer.address())) {
                session->who = endpointText(peer.address(), peer.port()) + " (TCP)";
                sessions_.insert(session);
                readSession(session);
            } else {
                boost::system::error_code ignored;
                session->socket.close(ignored);
            }
        }
        accept();
    });
}

void ViscaServer::readSession(const std::shared_ptr<Session>& session) {
    session->socket.async_read_some(
        asio::buffer(session->buffer),
        [this, session](const boost::system::error_code& ec, size_t size) {
            if (ec == asio::error::operation_aborted)
                return;
            if (ec) {
                closeSession(session);
                return;
            }
            noteSender(session->who);
            for (const ViscaStreamItem& item :
                 session->splitter.feed(session->buffer.data(), size)) {
                ViscaResponse response =
                    responder_.handleStreamItem(item, operations_->cameraState());
                for (ViscaBytes& reply : response.replies)
                    session->unsent.push_back(std::move(reply));
                if (response.operation) {
                    const ViscaToken token = response.operation->token;
                    session->unsent.push_back(execute(response.operation->request)
                                                  ? ViscaResponder::completion(token)
                                                  : ViscaResponder::notExecutable(token));
                }
            }
            publishCounters();
            if (session->unsent.size() > kMaxUnsentReplies) {
                {
                    std::lock_guard<std::mutex> lock(statsMutex_);
                    ++stats_.tcpDropped;
                }
                closeSession(session);
                return;
            }
            writeSession(session);
            readSession(session);
        });
}

void ViscaServer::writeSession(const std::shared_ptr<Session>& session) {
    if (session->writing || session->unsent.empty() || !session->socket.is_open())
        return;
    session->writing = true;
    asio::async_write(session->socket, asio::buffer(session->unsent.front()),
                      [this, session](const boost::system::error_code& ec, size_t) {
                          session->writing = false;
                          if (ec == asio::error::operation_aborted)
                              return;
                          if (ec) {
                              closeSession(session);
                              return;
                          }
                          session->unsent.pop_front();
                          writeSession(session);
                      });
}

void ViscaServer::closeSession(const std::shared_ptr<Session>& session) {
    boost::system::error_code ignored;
    session->socket.close(ignored);
    session->unsent.clear();
    sessions_.erase(session);
}

// --- Operations ---------------------------------------------------------------------

bool ViscaServer::execute(const ViscaRequest& request) {
    switch (request.kind) {
    case ViscaRequestKind::PanTiltDrive: {
        const double pan = request.panTilt.pan;
        const double tilt = request.panTilt.tilt;
        if (pan == 0.0 && tilt == 0.0) {
            endDrive();
            return true;
        }
        bool ok = false;
        startDrive(pan, tilt, ok);
        return ok;
    }
    case ViscaRequestKind::Zoom:
        if (request.zoom.direction == ViscaZoomDirection::Stop)
            stopZoom();
        else
            startZoom(request.zoom.direction == ViscaZoomDirection::Tele ? 1 : -1,
                      request.zoom.speed);
        return true;
    case ViscaRequestKind::ZoomDirect:
        stopZoom();
        return operations_->zoomTo(request.zoomDirect.factor);
    case ViscaRequestKind::FocusOnePush:
        return operations_->focusAtCentre();
    case ViscaRequestKind::Tracking:
        return operations_->setTracking(request.tracking);
    default: // focus auto / manual: the camera focuses as it does
        return true;
    }
}

void ViscaServer::startDrive(double pan, double tilt, bool& ok) {
    resumeTimer_.cancel();
    ok = operations_->drive(pan, tilt);
    driving_ = true;
    // Every drive command puts the time-out off again.
    driveTimer_.expires_after(settings_.driveTimeout);
    driveTimer_.async_wait([this](const boost::system::error_code& ec) {
        if (ec || !driving_)
            return;
        {
            std::lock_guard<std::mutex> lock(statsMutex_);
            ++stats_.driveTimeouts;
        }
        endDrive();
    });
}

void ViscaServer::endDrive() {
    driveTimer_.cancel();
    if (!driving_)
        return;
    driving_ = false;
    operations_->stopDrive();
    resumeTimer_.expires_after(settings_.resumeDelay);
    resumeTimer_.async_wait([this](const boost::system::error_code& ec) {
        if (!ec && !driving_)
            operations_->resumeTracking();
    });
}

void ViscaServer::startZoom(int direction, int speed) {
    const double seconds = std::chrono::duration<double>(settings_.zoomStep).count();
    zoomPerStep_ = zoomRate(speed) * seconds;
    // A change of direction or speed goes on from where the zoom is.
    if (zoomDirection_ == 0)
        zoomFactor_ = operations_->cameraState().zoomFactor;
    zoomDirection_ = direction;
    zoomTimer_.cancel();
    zoomTick();
}

void ViscaServer::stopZoom() {
    zoomDirection_ = 0;
    zoomTimer_.cancel();
}

void ViscaServer::zoomTick() {
    if (zoomDirection_ == 0)
        return;
    const double next = std::clamp(zoomFactor_ + zoomDirection_ * zoomPerStep_,
                                   visca::kMinZoomFactor, visca::kMaxZoomFactor);
    const bool atEnd = next == zoomFactor_;
    zoomFactor_ = next;
    if (atEnd) {
        zoomDirection_ = 0;
        return;
    }
    operations_->zoomTo(next);
    zoomTimer_.expires_after(settings_.zoomStep);
    zoomTimer_.async_wait([this](const boost::system::error_code& ec) {
        if (!ec)
            zoomTick();
    });
}
