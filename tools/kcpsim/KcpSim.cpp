#include "tools/kcpsim/KcpSim.h"

#include "kcpclient/SockUdpBoost.h"

#include <poll.h>
#include <sys/socket.h>

#include <chrono>
#include <cmath>
#include <stdexcept>

namespace kcpsim {

namespace {

// Counts the data segments of a datagram (for retransmission figures).
void count_segments(const char* data, int len, ChannelStats& stats) {
    long left = len;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(data);
    while (left >= static_cast<long>(IKCP_OVERHEAD)) {
        unsigned cmd = p[4];
        uint32_t segLen = uint32_t(p[20]) | (uint32_t(p[21]) << 8) | (uint32_t(p[22]) << 16) |
                          (uint32_t(p[23]) << 24);
        if (cmd == IKCP_CMD_PUSH || cmd == IKCP_CMD_PUSH_END) {
            stats.dataSegments++;
            stats.bytes += segLen;
        }
        long step = static_cast<long>(IKCP_OVERHEAD) + static_cast<long>(segLen);
        if (step > left)
            break;
        p += step;
        left -= step;
    }
}

void configure(ikcpcb* kcp, const EngineSetup& setup) {
    ikcp_wndsize(kcp, setup.sndWnd, setup.rcvWnd);
    ikcp_nodelay(kcp, setup.nodelay, setup.interval, setup.resend, setup.nocwnd);
    if (setup.minrto > 0)
        kcp->rx_minrto = setup.minrto;
}

} // namespace

Channel::Channel(const LinkProfile& profile, uint64_t seed) : profile_(profile), random_(seed) {}

void Channel::schedule(std::string data, uint64_t at) {
    inFlight_.emplace(at, std::move(data));
}

void Channel::submit(const char* data, int len, uint64_t now) {
    stats_.datagrams++;
    count_segments(data, len, stats_);
    if (unit_(random_) < profile_.loss) {
        stats_.dropped++;
        return;
    }
    int copies = unit_(random_) < profile_.duplicate ? 2 : 1;
    if (copies == 2)
        stats_.duplicated++;
    for (int i = 0; i < copies; i++) {
        uint64_t at = now + profile_.delayMs;
        if (profile_.reorderMs > 0 && unit_(random_) < profile_.reorder) {
            stats_.reordered++;
            at += 1 + random_() % profile_.reorderMs;
        }
        schedule(std::string(data, static_cast<size_t>(len)), at);
    }
}

bool Channel::take_due(uint64_t now, std::string& out) {
    auto it = inFlight_.begin();
    if (it == inFlight_.end() || it->first > now)
        return false;
    out = std::move(it->second);
    inFlight_.erase(it);
    return true;
}

EngineSetup client_setup() {
    return EngineSetup{};
}

EngineSetup camera_setup() {
    EngineSetup setup;
    setup.resend = 2;
    setup.minrto = 30;
    return setup;
}

Link::Link(const LinkProfile& forward, const LinkProfile& backward, IUINT32 conv, uint64_t seed,
           const EngineSetup& senderSetup, const EngineSetup& receiverSetup)
    : forward_(forward, seed * 2 + 1), backward_(backward, seed * 2 + 2) {
    a_ = ikcp_create(conv, this);
    b_ = ikcp_create(conv, this);
    if (!a_ || !b_)
        throw std::bad_alloc();
    ikcp_setoutput(a_, &Link::output);
    ikcp_setoutput(b_, &Link::output);
    configure(a_, senderSetup);
    configure(b_, receiverSetup);
}

Link::~Link() {
    ikcp_release(a_);
    ikcp_release(b_);
}

int Link::output(const char* buf, int len, ikcpcb* kcp, void* user) {
    auto* link = static_cast<Link*>(user);
    link->transmit(kcp == link->a_, buf, len);
    return 0;
}

SimLink::SimLink(const LinkProfile& forward, const LinkProfile& backward, IUINT32 conv,
                 uint64_t seed, const EngineSetup& senderSetup, const EngineSetup& receiverSetup)
    : Link(forward, backward, conv, seed, senderSetup, receiverSetup) {}

void SimLink::transmit(bool fromSender, const char* buf, int len) {
    (fromSender ? forward_ : backward_).submit(buf, len, clock_);
}

void SimLink::step() {
    clock_++;
    std::string datagram;
    while (forward_.take_due(clock_, datagram))
        ikcp_input(b_, datagram.data(), static_cast<long>(datagram.size()));
    while (backward_.take_due(clock_, datagram))
        ikcp_input(a_, datagram.data(), static_cast<long>(datagram.size()));
    ikcp_update(a_, static_cast<IUINT32>(clock_));
    ikcp_update(b_, static_cast<IUINT32>(clock_));
}

namespace {

uint64_t steady_ms() {
    using namespace std::chrono;
    return static_cast<uint64_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

std::shared_ptr<UdpSocket> bind_loopback() {
    for (uint16_t port = 20000 + static_cast<uint16_t>(steady_ms() % 20000);; port++) {
        if (port < 20000)
            port = 20000;
        auto socket = std::make_shared<UdpSocket>(port, 0);
        if (!socket->is_valid())
            continue;
        // Room for a whole send window in flight, so that the kernel does
        // not add losses of its own to the profile's.
        socket->set_receive_buffer(4 << 20);
        return socket;
    }
}

} // namespace

UdpLink::UdpLink(const LinkProfile& forward, const LinkProfile& backward, IUINT32 conv,
                 uint64_t seed, const EngineSetup& senderSetup, const EngineSetup& receiverSetup)
    : Link(forward, backward, conv, seed, senderSetup, receiverSetup), origin_(steady_ms()) {
    socketA_ = bind_loopback();
    socketB_ = bind_loopback();
    if (!socketA_->connect("127.0.0.1", socketB_->self_port()) ||
        !socketB_->connect("127.0.0.1", socketA_->self_port()))
        throw std::runtime_error("loopback connect failed");
}

UdpLink::~UdpLink() = default;

uint64_t UdpLink::now() const {
    return steady_ms() - origin_ + 1;
}

void UdpLink::transmit(bool fromSender, const char* buf, int len) {
    (fromSender ? forward_ : backward_).submit(buf, len, now());
}

void UdpLink::step() {
    uint64_t t = now();
    std::string datagram;
    while (forward_.take_due(t, datagram))
        socketA_->write(datagram);
    while (backward_.take_due(t, datagram))
        socketB_->write(datagram);

    pollfd fds[2] = {{socketA_->native_handle(), POLLIN, 0},
                     {socketB_->native_handle(), POLLIN, 0}};
    ::poll(fds, 2, 1);
    while (auto data = socketB_->read_nonblock())
        ikcp_input(b_, data->data(), static_cast<long>(data->size()));
    while (auto data = socketA_->read_nonblock())
        ikcp_input(a_, data->data(), static_cast<long>(data->size()));
    t = now();
    ikcp_update(a_, static_cast<IUINT32>(t));
    ikcp_update(b_, static_cast<IUINT32>(t));
}

TransferResult transfer_frames(Link& link, const std::vector<std::string>& frames,
                               size_t messageMax, uint64_t stepLimit) {
    TransferResult result;
    ikcpcb* tx = link.sender();
    ikcpcb* rx = link.receiver();
    const int queueLimit = 2048; // segments waiting at the sender
    size_t nextFrame = 0;
    size_t nextCheck = 0;
    std::vector<uint64_t> queuedAt(frames.size(), 0);
    std::string assembling;
    std::vector<char> buffer(1 << 16);
    uint64_t start = link.now();

    for (uint64_t steps = 0; steps < stepLimit && nextCheck < frames.size(); steps++) {
        while (nextFrame < frames.size() && ikcp_waitsnd(tx) < queueLimit) {
            const std::string& frame = frames[nextFrame];
            size_t offset = 0;
            do {
                size_t chunk = std::min(messageMax, frame.size() - offset);
                bool last = offset + chunk == frame.size();
                if (ikcp_send(tx, frame.data() + offset, static_cast<int>(chunk), last ? 1 : 0) < 0)
                    throw std::runtime_error("ikcp_send refused a message");
                offset += chunk;
            } while (offset < frame.size());
            queuedAt[nextFrame++] = link.now();
        }
        link.step();
        for (;;) {
            int end = 0;
            int size = ikcp_peeksize(rx, &end);
            if (size < 0)
                break;
            if (static_cast<size_t>(size) > buffer.size())
                buffer.resize(static_cast<size_t>(size));
            int n = ikcp_recv(rx, buffer.data(), static_cast<int>(buffer.size()), &end);
            if (n < 0)
                break;
            assembling.append(buffer.data(), static_cast<size_t>(n));
            if (!end)
                continue;
            if (nextCheck >= frames.size() || assembling != frames[nextCheck])
                result.intactAndInOrder = false;
            if (nextCheck < frames.size())
                result.latencyMs.push_back(link.now() - queuedAt[nextCheck]);
            result.bytesDelivered += assembling.size();
            result.framesDelivered++;
            nextCheck++;
            assembling.clear();
        }
    }
    result.elapsedMs = link.now() - start;
    if (result.framesDelivered != frames.size())
        result.intactAndInOrder = false;
    return result;
}

std::vector<std::string> make_frames(size_t count, size_t maxSize, uint64_t seed) {
    std::mt19937_64 random(seed);
    std::uniform_real_distribution<double> exponent(0.0, std::log(static_cast<double>(maxSize)));
    std::vector<std::string> frames;
    frames.reserve(count);
    for (size_t i = 0; i < count; i++) {
        size_t size = static_cast<size_t>(std::exp(exponent(random)));
        size = std::min(std::max<size_t>(size, 1), maxSize);
        std::string frame(size, '\0');
        uint64_t word = random();
        for (size_t j = 0; j < size; j++) {
            if (j % 8 == 0)
                word = random();
            frame[j] = static_cast<char>(word >> (8 * (j % 8)));
        }
        frames.push_back(std::move(frame));
    }
    return frames;
}

} // namespace kcpsim
