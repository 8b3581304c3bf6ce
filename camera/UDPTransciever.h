#pragma once

#include "camera/ControlFrame.h"
#include "camera/ReplyDispatcher.h"
#include "hub/SharedValue.h"
#include "hub/WorkerThread.h"

#include <QHostAddress>
#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>

// The one UDP socket of the camera control link: sends control frames to the
// camera's port and runs the receive thread that validates every datagram,
// filters it by sender and hands it to its reply parser. Process-wide
// singleton, created on first use and never destroyed.
class UDPTransciever {
public:
    static constexpr uint16_t kLocalPort = 7777;
    static constexpr uint16_t kPeerPort = 9999;

    static std::shared_ptr<UDPTransciever> instance();
    ~UDPTransciever();
    UDPTransciever(const UDPTransciever&) = delete;
    UDPTransciever& operator=(const UDPTransciever&) = delete;

    // Gives the frame the next sequence number (stored into `frame`), packs it
    // and sends it to `address`, or to `peerAddress` when `address` is empty,
    // port 9999. Returns the bytes written, or -1 (no usable destination,
    // frame length out of range, or a socket error).
    int sendFrame(ControlFrame& frame, const QString& address = QString());

    // Ends the receive thread: waits up to 2000 ms for it to report, then joins.
    void stop();

    // Whether binding the local port succeeded (without it nothing is received).
    bool isBound() const { return bound; }

    // The parser table of the receive thread; the camera's parsers are
    // registered at construction.
    ReplyDispatcher& dispatcher() { return table; }

    // Camera address as text; written by the connection supervisor.
    SharedValue<QString> peerAddress;

private:
    UDPTransciever(uint16_t localPort, uint16_t peerPort);
    void receiveLoop();
    void handleDatagram(uint8_t* data, int size, const QHostAddress& sender, uint16_t senderPort);

    // The socket and its wait (Asio's types stay out of this header).
    struct Socket;
    std::unique_ptr<Socket> socket;
    WorkerThread receiver;
    bool bound = false;
    uint16_t localPort;
    uint16_t peerPort;
    ReplyDispatcher table;
};

// The sender's address as dotted IPv4 text (IPv4-mapped IPv6 addresses
// included); empty when it has no IPv4 form.
QString senderIpv4Text(const QHostAddress& sender);

// Sender filter of the receive thread. With `addressMustMatch` (hotspot mode,
// or once the link is established) the sender's IPv4 form must be exactly the
// camera address `peerAddress`; otherwise (station-mode discovery, camera
// address not yet known) any address passes. The sender port must be `peerPort`
// in both cases.
bool senderAccepted(const QHostAddress& sender, uint16_t senderPort, const QString& peerAddress,
                    uint16_t peerPort, bool addressMustMatch);
