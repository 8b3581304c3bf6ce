#include "camera/UDPTransciever.h"

#include "camera/Camera.h"
#include "camera/CameraReplyParsers.h"
#include "hub/OrunAppFace.h"
#include "kcpclient/SocketPlatform.h"

#include <QElapsedTimer>
#include <QtGlobal>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/udp.hpp>

#include <chrono>
#include <vector>

// Socket design: the control socket is an Asio UDP socket used only through
// its blocking calls, rather than a QUdpSocket. A QUdpSocket belongs to the
// thread that created it and may not be used from others, yet frames are sent
// from the operation runtime and the connection supervisor while the receive
// thread reads. The system allows sendto() and recvfrom() on one socket from
// several threads at once, each call moving one whole datagram, and Asio's
// blocking calls go straight to them, so no lock is needed around the socket.
// The receive thread waits for datagrams through ReceiveWait: a reply is
// handled the moment it arrives, an idle link costs nothing, and stop() ends
// the wait at once.

namespace {

// Frame sequence numbers, shared by every frame sent in the process.
std::atomic<uint16_t> sequenceCounter{0};

// Largest datagram built by sendFrame.
constexpr int kPackBufferSize = kMaxFrameSize;

// Room for the largest UDP datagram, so that none is cut short before it is
// validated (an oversized frame is refused whole).
constexpr size_t kReceiveBufferSize = 65536;

} // namespace

QString senderIpv4Text(const QHostAddress& sender) {
    bool ok = false;
    const quint32 v4 = sender.toIPv4Address(&ok);
    if (!ok)
        return QString();
    return QHostAddress(v4).toString();
}

bool senderAccepted(const QHostAddress& sender, uint16_t senderPort, const QString& peerAddress,
                    uint16_t peerPort, bool addressMustMatch) {
    if (senderPort != peerPort)
        return false;
    if (!addressMustMatch)
        return true;
    const QString senderText = senderIpv4Text(sender);
    return !senderText.isEmpty() && senderText == peerAddress.trimmed();
}

struct UDPTransciever::Socket {
    Socket() : socket(context), wait(socket) {}
    boost::asio::io_context context;
    boost::asio::ip::udp::socket socket;
    ReceiveWait wait;
    bool open = false;
};

std::shared_ptr<UDPTransciever> UDPTransciever::instance() {
    // Never destroyed: the receive thread may run until the process ends.
    static auto* holder =
        new std::shared_ptr<UDPTransciever>(new UDPTransciever(kLocalPort, kPeerPort));
    return *holder;
}

UDPTransciever::UDPTransciever(uint16_t localPort_, uint16_t peerPort_)
    : localPort(localPort_), peerPort(peerPort_) {
    peerAddress.set(OrunAppFace::instance()->sCameraAddress.get());
    registerCameraParsers(table);

    namespace ip = boost::asio::ip;
    socket = std::make_unique<Socket>();
    boost::system::error_code ec;
    socket->socket.open(ip::udp::v4(), ec);
    socket->open = !ec;
    if (socket->open) {
        keep_from_children(socket->socket);
        ignore_unreachable_reports(socket->socket);
        // Shared, reusable local port, and permission to send to the subnet
        // broadcast address used by the station-mode discovery.
        socket->socket.set_option(ip::udp::socket::reuse_address(true), ec);
        socket->socket.set_option(ip::udp::socket::broadcast(true), ec);
        // A failed bind is not reported: frames still go out (from a port the
        // system picks), nothing is received.
        socket->socket.bind(ip::udp::endpoint(ip::address_v4::any(), localPort), ec);
        bound = !ec;
    }

    receiver.start("orun-control-rx", [this] { receiveLoop(); });
}

UDPTransciever::~UDPTransciever() {
    stop();
    boost::system::error_code ec;
    socket->socket.close(ec);
}

int UDPTransciever::sendFrame(ControlFrame& frame, const QString& address) {
    Q_ASSERT_X(frame.length < 1024, "camera/UDPTransciever", "packet.len < 1024");
    frame.sequence = static_cast<uint16_t>(sequenceCounter.fetch_add(1) + 1);
    if (frame.length >= 1024 || frame.length < kFrameHeaderSize)
        return -1;

    uint8_t buffer[kPackBufferSize] = {};
    int packed = 0;
    packFrame(frame, buffer, packed);

    const QString destination = address.isEmpty() ? peerAddress.get() : address;
    bool ok = false;
    const quint32 v4 = QHostAddress(destination.trimmed()).toIPv4Address(&ok);
    if (!ok || !socket->open)
        return -1;
    const boost::asio::ip::udp::endpoint to(boost::asio::ip::address_v4(v4), peerPort);
    boost::system::error_code ec;
    const size_t sent =
        socket->socket.send_to(boost::asio::buffer(buffer, static_cast<size_t>(packed)), to, 0, ec);
    return ec ? -1 : static_cast<int>(sent);
}

void UDPTransciever::stop() {
    // Shutting the receive side ends the wait for a datagram at once; frames
    // still go out.
    receiver.stop(2000, [this] { socket->wait.stop(); });
}

void UDPTransciever::receiveLoop() {
    // Without the local port nothing can arrive: wait for the stop.
    if (!bound) {
        while (receiver.waitFor(std::chrono::hours(1))) {
        }
        return;
    }
    std::vector<uint8_t> buffer(kReceiveBufferSize);
    while (receiver.running()) {
        // Waits for a datagram, or for stop(), which ends the wait.
        if (!socket->wait.wait(-1))
            continue;
        // Drain every pending datagram; the socket is readable before each
        // receive, which therefore does not block.
        while (receiver.running()) {
            boost::asio::ip::udp::endpoint from;
            boost::system::error_code ec;
            const size_t got = receive_datagram(
                socket->socket, reinterpret_cast<char*>(buffer.data()), buffer.size(), &from, ec);
            if (ec)
                break; // a transient error, or the receive side is shut
            // An empty datagram is dropped.
            if (got > 0 && from.address().is_v4())
                handleDatagram(buffer.data(), static_cast<int>(got),
                               QHostAddress(from.address().to_v4().to_uint()), from.port());
            if (!socket->wait.wait(0))
                break; // nothing left
        }
    }
}

void UDPTransciever::handleDatagram(uint8_t* data, int size, const QHostAddress& sender,
                                    uint16_t senderPort) {
    if (!validateFrame(data, size))
        return;
    ControlFrame frame; // the receive defaults
    unpackFrame(data, size, frame);

    const bool addressMustMatch =
        OrunAppFace::instance()->iWifiMode.load() != 0 || Camera::instance()->connected.load();
    if (!senderAccepted(sender, senderPort, peerAddress.get(), peerPort, addressMustMatch))
        return;

    table.dispatch(frame, senderIpv4Text(sender));
}
