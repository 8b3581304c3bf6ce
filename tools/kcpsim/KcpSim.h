#pragma once

// A lossy link between two KCP engines for tests and benchmarks. SimLink
// carries the datagrams in memory on a virtual millisecond clock, so a run is
// deterministic for a given seed; UdpLink carries them over real loopback UDP
// sockets on the real clock. Both drop, duplicate, delay and reorder
// datagrams as their LinkProfile says.

#include "kcpclient/ikcp.h"

#include <cstdint>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

class UdpSocket;

namespace kcpsim {

struct LinkProfile {
    double loss = 0.0;       // probability that a datagram is dropped
    double duplicate = 0.0;  // probability that a datagram arrives twice
    double reorder = 0.0;    // probability that a datagram is held back
    uint32_t delayMs = 5;    // one-way delay
    uint32_t reorderMs = 15; // extra delay of a held-back datagram (0..reorderMs)
};

struct ChannelStats {
    uint64_t datagrams = 0; // handed to the link by the engine
    uint64_t dropped = 0;
    uint64_t duplicated = 0;
    uint64_t reordered = 0;
    uint64_t dataSegments = 0; // push and push-end segments handed to the link
    uint64_t bytes = 0;        // payload bytes of those segments
};

// One direction: datagrams wait in flight until their delivery time.
class Channel {
public:
    Channel(const LinkProfile& profile, uint64_t seed);
    void submit(const char* data, int len, uint64_t now);
    // Takes out the next datagram due at or before now.
    bool take_due(uint64_t now, std::string& out);
    bool idle() const { return inFlight_.empty(); }
    const ChannelStats& stats() const { return stats_; }

private:
    void schedule(std::string data, uint64_t at);

    LinkProfile profile_;
    std::mt19937_64 random_;
    std::uniform_real_distribution<double> unit_{0.0, 1.0};
    std::multimap<uint64_t, std::string> inFlight_;
    ChannelStats stats_;
};

// Engine settings of the two ends.
struct EngineSetup {
    int sndWnd = 512;
    int rcvWnd = 512;
    int nodelay = 1;
    int interval = 10;
    int resend = 2;
    int nocwnd = 1;
    int minrto = 10; // 0 keeps the engine's value
};

// The client side as the media session configures it.
EngineSetup client_setup();
// The camera side of the simulation.
EngineSetup camera_setup();

class Link {
public:
    virtual ~Link();
    ikcpcb* sender() { return a_; }   // the camera's end
    ikcpcb* receiver() { return b_; } // the client's end
    virtual uint64_t now() const = 0;
    // Moves time on (virtual) or waits for traffic (real), delivers due
    // datagrams and updates both engines.
    virtual void step() = 0;
    const ChannelStats& forward() const { return forward_.stats(); }
    const ChannelStats& backward() const { return backward_.stats(); }

protected:
    Link(const LinkProfile& forward, const LinkProfile& backward, IUINT32 conv, uint64_t seed,
         const EngineSetup& senderSetup, const EngineSetup& receiverSetup);
    static int output(const char* buf, int len, ikcpcb* kcp, void* user);
    virtual void transmit(bool fromSender, const char* buf, int len) = 0;

    ikcpcb* a_ = nullptr;
    ikcpcb* b_ = nullptr;
    Channel forward_;  // sender -> receiver
    Channel backward_; // receiver -> sender
};

class SimLink : public Link {
public:
    SimLink(const LinkProfile& forward, const LinkProfile& backward, IUINT32 conv, uint64_t seed,
            const EngineSetup& senderSetup = camera_setup(),
            const EngineSetup& receiverSetup = client_setup());
    uint64_t now() const override { return clock_; }
    void step() override; // one virtual millisecond

private:
    void transmit(bool fromSender, const char* buf, int len) override;
    uint64_t clock_ = 1;
};

class UdpLink : public Link {
public:
    UdpLink(const LinkProfile& forward, const LinkProfile& backward, IUINT32 conv, uint64_t seed,
            const EngineSetup& senderSetup = camera_setup(),
            const EngineSetup& receiverSetup = client_setup());
    ~UdpLink() override;
    uint64_t now() const override;
    void step() override;

private:
    void transmit(bool fromSender, const char* buf, int len) override;
    std::shared_ptr<UdpSocket> socketA_;
    std::shared_ptr<UdpSocket> socketB_;
    uint64_t origin_;
};

// Frames sent the way the camera sends them: each frame is cut into
// messages of at most messageMax bytes, only the last with the end flag; the
// receiver joins messages until an end flag completes a frame.
struct TransferResult {
    size_t framesDelivered = 0;
    bool intactAndInOrder = true;
    uint64_t bytesDelivered = 0;
    uint64_t elapsedMs = 0;          // link clock from first send to last delivery
    std::vector<uint64_t> latencyMs; // per frame: queued at sender to whole at receiver
};

TransferResult transfer_frames(Link& link, const std::vector<std::string>& frames,
                               size_t messageMax, uint64_t stepLimit);

// Deterministic test frames: sizes log-uniform in 1..maxSize, bytes from seed.
std::vector<std::string> make_frames(size_t count, size_t maxSize, uint64_t seed);

} // namespace kcpsim
