#include "camera/UDPTransciever.h"

#include "camera/Camera.h"
#include "camera/CameraReplyParsers.h"
#include "hub/OrunAppFace.h"

#include <QElapsedTimer>
#include <QtGlobal>

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <vector>

// Socket design: the control socket is a plain POSIX UDP socket rather than a
// QUdpSocket. A QUdpSocket belongs to the thread that created it and may not be
// used from others, yet frames are sent from the operation runtime and the
// connection supervisor while the receive thread reads. The kernel allows
// sendto() and recvfrom() on one descriptor from several threads at once, each
// call moving one whole datagram, so no lock is needed around the socket. The
// receive thread waits for datagrams with poll(): a reply is handled the moment
// it arrives, an idle link costs nothing, and stop() shuts the receive side
// to end the wait.

namespace {

// Frame sequence numbers, shared by every frame sent in the process.
std::atomic<uint16_t> sequenceCounter{0};

// Largest datagram built by sendFrame.
constexpr int kPackBufferSize = kMaxFrameSize;

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

    socketFd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (socketFd >= 0) {
        const int on = 1;
        // Shared, reusable local port, and permission to send to the subnet
        // broadcast address used by the station-mode discovery.
        ::setsockopt(socketFd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
        ::setsockopt(socketFd, SOL_SOCKET, SO_BROADCAST, &on, sizeof(on));
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(INADDR_ANY);
        local.sin_port = htons(localPort);
        // A failed bind is not reported: frames still go out (from a port the
        // system picks), nothing is received.
        bound = ::bind(socketFd, reinterpret_cast<const sockaddr*>(&local), sizeof(local)) == 0;
    }

    receiver.start("orun-control-rx", [this] { receiveLoop(); });
}

UDPTransciever::~UDPTransciever() {
    stop();
    if (socketFd >= 0)
        ::close(socketFd);
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
    if (!ok || socketFd < 0)
        return -1;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(v4);
    to.sin_port = htons(peerPort);
    const ssize_t sent = ::sendto(socketFd, buffer, static_cast<size_t>(packed), MSG_NOSIGNAL,
                                  reinterpret_cast<const sockaddr*>(&to), sizeof(to));
    return sent < 0 ? -1 : static_cast<int>(sent);
}

void UDPTransciever::stop() {
    // Shutting the receive side ends the wait for a datagram at once; frames
    // still go out.
    receiver.stop(2000, [this] {
        if (socketFd >= 0)
            ::shutdown(socketFd, SHUT_RD);
    });
}

void UDPTransciever::receiveLoop() {
    // Without the local port nothing can arrive: wait for the stop.
    if (!bound) {
        while (receiver.waitFor(std::chrono::hours(1))) {
        }
        return;
    }
    while (receiver.running()) {
        // Waits for a datagram, or for stop(), which shuts the receive side.
        pollfd pfd{socketFd, POLLIN, 0};
        if (::poll(&pfd, 1, -1) <= 0)
            continue;
        // Drain every pending datagram, each into a buffer of exactly its size.
        while (receiver.running()) {
            uint8_t probe = 0;
            const ssize_t pending =
                ::recv(socketFd, &probe, sizeof(probe), MSG_PEEK | MSG_TRUNC | MSG_DONTWAIT);
            if (pending < 0)
                break; // nothing left (EAGAIN) or a transient error
            std::vector<uint8_t> buffer(static_cast<size_t>(std::max<ssize_t>(pending, 1)), 0);
            sockaddr_in from{};
            socklen_t fromLength = sizeof(from);
            const ssize_t got = ::recvfrom(socketFd, buffer.data(), buffer.size(), MSG_DONTWAIT,
                                           reinterpret_cast<sockaddr*>(&from), &fromLength);
            if (got <= 0 || fromLength < static_cast<socklen_t>(sizeof(sockaddr_in)))
                continue; // empty datagram: dropped
            handleDatagram(buffer.data(), static_cast<int>(got),
                           QHostAddress(ntohl(from.sin_addr.s_addr)), ntohs(from.sin_port));
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
