#pragma once

#include <boost/asio/ip/udp.hpp>

#include <cstdint>
#include <memory>

// What sockets do differently on each platform: the wait for a datagram on
// one UDP socket, and the stop that ends it from
// another thread. One file per platform implements it:
//
// POSIX: poll() on the socket; the stop shuts the socket's receive side,
// which wakes a poll() blocked on it at once and makes every later one return
// at once too (the socket reads as ready for good).
//
// Windows: shutting the receive side does not wake a blocked select() or
// WSAPoll(), and closing the socket under a waiting thread races with the
// handle's reuse. So each waiter owns a second socket of its own, bound to
// 127.0.0.1 on a port the system picks, and waits on both; the stop marks the
// waiter stopped and sends that socket one datagram from itself. The wake
// needs no peer and passes no filter of the watched socket (a connected
// socket drops datagrams from anyone but its peer), and a datagram stays
// queued until read, so a stop that comes just before the wait still ends it.
//
// An io_context with async_wait was not chosen: on Linux its wait is edge
// triggered and not tried at once, so a datagram that arrived before the wait
// began could go unnoticed until the next one, and it switches the socket to
// non-blocking mode, which the blocking reads of the socket's owner do not
// expect.
class ReceiveWait {
public:
    // Watches `socket`, which outlives the waiter.
    explicit ReceiveWait(boost::asio::ip::udp::socket& socket);
    ~ReceiveWait();
    ReceiveWait(const ReceiveWait&) = delete;
    ReceiveWait& operator=(const ReceiveWait&) = delete;

    // Until a datagram or an error can be read, or stop() was called, at most
    // timeoutMs (< 0: without limit). False when the time ran out.
    bool wait(int32_t timeoutMs);
    // Any thread: a wait() on another thread returns at once, every later
    // one too. Also shuts the socket's receive side.
    void stop();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Receives one datagram into `buffer`, and its sender when `sender` is given:
// its size, a longer one cut to `capacity` (as Linux does; Windows reports
// such a datagram as an error, and Asio then gives no size), or 0 with `ec`
// set.
size_t receive_datagram(boost::asio::ip::udp::socket& socket, char* buffer, size_t capacity,
                        boost::asio::ip::udp::endpoint* sender, boost::system::error_code& ec);

// Makes an unconnected socket's reads ignore the port-unreachable reports
// that earlier sends caused (as they are on Linux), so that a peer that is
// not listening yet costs no read error.
void ignore_unreachable_reports(boost::asio::ip::udp::socket& socket);

// Keeps the socket from the processes this one starts (Asio opens sockets
// inheritable), so that a child never holds its port.
void keep_from_children(boost::asio::ip::udp::socket& socket);
