#pragma once

#include <atomic>
#include <cstdint>

// What the media client counts about its link while it runs, over all its
// media sessions: one relaxed atomic step per event on the receive thread,
// read as a whole by whoever shows them (KcpWrapper::link_stats).
struct MediaLinkStats {
    uint64_t datagrams = 0; // media datagrams received
    uint64_t segments = 0;  // KCP data segments received
    uint64_t duplicateSegments =
        0;                        // resent although they had arrived (an acknowledgement was lost)
    uint64_t lateSegments = 0;    // filled a gap: resent after a loss, or overtaken on the way
    uint64_t missingSegments = 0; // gaps seen: segments that did not arrive in order
    uint64_t frames = 0;          // whole frames assembled
    uint64_t framesDropped = 0;   // frames the client's full queues let go
    uint64_t sessionAttempts = 0; // media sessions tried: the first and every reconnection
    uint64_t sessionsStarted = 0; // of those, sessions the camera opened
    // Attempts since the last media datagram arrived: while it is above
    // zero after media had come, the link is reconnecting.
    uint64_t attemptsWithoutMedia = 0;
};

// The running counts behind MediaLinkStats, shared by the link monitor and
// the stream sessions it starts.
struct MediaLinkCounters {
    std::atomic<uint64_t> datagrams{0};
    std::atomic<uint64_t> segments{0};
    std::atomic<uint64_t> duplicateSegments{0};
    std::atomic<uint64_t> lateSegments{0};
    std::atomic<uint64_t> missingSegments{0};
    std::atomic<uint64_t> frames{0};
    std::atomic<uint64_t> sessionAttempts{0};
    std::atomic<uint64_t> sessionsStarted{0};
};
