#pragma once

// A PTZ controller for the tests, written from the VISCA-over-IP description:
// each datagram an 8-byte header (payload type, payload length, sequence
// number, big-endian) and the VISCA message; replies come back to the
// sending port with the request's sequence number. Blocking waits with a
// deadline, no event loop needed.

#include <QByteArray>
#include <QHostAddress>
#include <QTcpSocket>
#include <QUdpSocket>

#include <cstdint>
#include <initializer_list>
#include <optional>

inline QByteArray viscaBytes(std::initializer_list<int> values) {
    QByteArray out;
    for (int v : values)
        out.append(static_cast<char>(v));
    return out;
}

struct ViscaReply {
    uint16_t payloadType = 0;
    uint32_t sequence = 0;
    QByteArray message;
};

class ViscaTestClient {
public:
    static constexpr uint16_t kCommand = 0x0100;
    static constexpr uint16_t kInquiry = 0x0110;
    static constexpr uint16_t kControl = 0x0200;

    // Sends to `host`:`port` from a free port of `from` (any 127.x address is
    // this computer's, so a second sender needs no other network).
    explicit ViscaTestClient(uint16_t port, const QString& host = QStringLiteral("127.0.0.1"),
                             const QString& from = QStringLiteral("127.0.0.1"))
        : m_host(host), m_port(port) {
        m_socket.bind(QHostAddress(from), 0);
    }

    // Sends a message in a datagram of that payload type; returns its sequence number.
    uint32_t send(uint16_t payloadType, const QByteArray& message) {
        const uint32_t seq = m_next++;
        QByteArray d;
        d.append(static_cast<char>(payloadType >> 8));
        d.append(static_cast<char>(payloadType & 0xFF));
        d.append(static_cast<char>((message.size() >> 8) & 0xFF));
        d.append(static_cast<char>(message.size() & 0xFF));
        for (int shift = 24; shift >= 0; shift -= 8)
            d.append(static_cast<char>((seq >> shift) & 0xFF));
        d.append(message);
        sendRaw(d);
        return seq;
    }
    uint32_t command(const QByteArray& message) { return send(kCommand, message); }
    uint32_t inquiry(const QByteArray& message) { return send(kInquiry, message); }
    // Control command "reset sequence number" (payload 01); numbering starts at 0 again.
    uint32_t reset() {
        m_next = 0;
        const uint32_t seq = send(kControl, viscaBytes({0x01}));
        m_next = 1;
        return seq;
    }
    void sendRaw(const QByteArray& datagram) {
        m_socket.writeDatagram(datagram, QHostAddress(m_host), m_port);
    }

    // The next reply within the deadline, or nothing.
    std::optional<ViscaReply> receive(int timeoutMs = 3000) {
        if (!m_socket.hasPendingDatagrams() && !m_socket.waitForReadyRead(timeoutMs))
            return std::nullopt;
        QByteArray d(static_cast<int>(m_socket.pendingDatagramSize()), 0);
        const qint64 n = m_socket.readDatagram(d.data(), d.size());
        if (n < 8)
            return ViscaReply{};
        const auto u = [&](int i) { return static_cast<uint32_t>(static_cast<uint8_t>(d[i])); };
        ViscaReply r;
        r.payloadType = static_cast<uint16_t>(u(0) << 8 | u(1));
        r.sequence = u(4) << 24 | u(5) << 16 | u(6) << 8 | u(7);
        r.message = d.mid(8, static_cast<int>(n) - 8);
        return r;
    }

    uint16_t localPort() const { return m_socket.localPort(); }

private:
    QUdpSocket m_socket;
    QString m_host;
    uint16_t m_port;
    uint32_t m_next = 1;
};

// Plain VISCA over TCP: bare messages both ways.
class ViscaTcpTestClient {
public:
    bool connectTo(uint16_t port, int timeoutMs = 3000) {
        m_socket.connectToHost(QHostAddress(QStringLiteral("127.0.0.1")), port);
        return m_socket.waitForConnected(timeoutMs);
    }
    void sendRaw(const QByteArray& bytes) {
        m_socket.write(bytes);
        m_socket.waitForBytesWritten(3000);
    }
    // The next message (up to its FF) within the deadline, or nothing.
    std::optional<QByteArray> receive(int timeoutMs = 3000) {
        for (;;) {
            const int end = m_pending.indexOf(static_cast<char>(0xFF));
            if (end >= 0) {
                QByteArray message = m_pending.left(end + 1);
                m_pending.remove(0, end + 1);
                return message;
            }
            if (!m_socket.waitForReadyRead(timeoutMs))
                return std::nullopt;
            m_pending.append(m_socket.readAll());
        }
    }

private:
    QTcpSocket m_socket;
    QByteArray m_pending;
};
