#pragma once

#include "video/VideoUnit.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>

// A bounded queue of units between the fetch thread and one consumer thread
// (the decoder, a recorder, a network output).
//
// The consumer sleeps in pop() until a unit arrives. When the consumer falls
// so far behind that the queue is full, the queue does not drop single units
// (the pictures after them refer to them and would come out smeared): it lets
// everything waiting go and takes nothing more until the next key frame, so
// the consumer skips whole groups of pictures. What it lets go is counted,
// and the consumer learns where: take() names the units let go just before
// the unit or break it hands out (a UnitGap), so that a writer can tell where
// its output has a hole and how long it is.
//
// A consumer that must know where the stream was interrupted (a recorder
// closes its file there) queues the breaks too (pushBreak) and takes units and
// breaks in their order with take(). Breaks are never let go and do not count
// against the capacity; the units before a break are still handed out.
// Units a queue let go in a row: how many, and the times of the first and
// the last of them (as the units carried them).
struct UnitGap {
    uint64_t units = 0;
    int64_t firstCameraTime = 0;
    int64_t firstArrivalUs = 0;
    int64_t lastCameraTime = 0;
    int64_t lastArrivalUs = 0;

    bool empty() const { return units == 0; }
    // One more unit let go, after those counted.
    void add(const VideoUnit& unit);
    // Units let go after these.
    void add(const UnitGap& later);
};

class UnitQueue {
public:
    enum class Taken { Nothing, Unit, Break };

    explicit UnitQueue(size_t capacity);

    // Appends a unit (fetch thread). False when the unit was dropped: the
    // queue overflowed, or it waits for a key frame.
    bool push(const VideoUnit& unit);

    // Waits until a unit is there, the queue is interrupted or `timeout`
    // passes; true with the oldest unit in `out`. Returns false at once
    // while interrupted.
    bool pop(VideoUnit& out, std::chrono::milliseconds timeout = std::chrono::milliseconds::max());
    // Appends a break after the units waiting. A break right after one of
    // the same reason is kept as one.
    void pushBreak(StreamBreak reason);
    // Like pop(), but also hands out the breaks in their place: Unit with the
    // unit in `unit`, Break with its reason in `reason`, or Nothing (time-out,
    // interrupted). pop() skips breaks. With `lostBefore`, also the units let
    // go between the entry taken before and this one (empty when none).
    Taken take(VideoUnit& unit, StreamBreak& reason,
               std::chrono::milliseconds timeout = std::chrono::milliseconds::max(),
               UnitGap* lostBefore = nullptr);
    // While interrupted, pop() returns at once (for a pause or a stop); the
    // units stay queued.
    void interrupt(bool on);
    // Makes the consumer's pop() (the one waiting, or else the next) return
    // false once, so that it looks at what else it was asked to do.
    void wake();

    // Drops what is waiting (counted) and takes nothing more until the next
    // key frame: the stream was interrupted.
    void resync();
    // Empties the queue without counting, keeps taking units as they come.
    void clear();

    // Units waiting (breaks not counted).
    size_t size() const;
    size_t capacity() const { return m_capacity; }
    // The most units that were waiting at once.
    size_t maxDepth() const;
    // Units dropped because the queue was full or waited for a key frame.
    uint64_t dropped() const;
    // Times the queue overflowed.
    uint64_t overflows() const;

private:
    struct Entry {
        VideoUnit unit;
        bool isBreak = false;
        StreamBreak reason = StreamBreak::Stopped;
        // Units let go between the entry before this one and this one.
        UnitGap lostBefore;
    };
    // Lets the waiting units go (counted), keeps the breaks and where the
    // units were.
    void dropUnitsLocked();

    const size_t m_capacity;
    mutable std::mutex m_mutex;
    std::condition_variable m_ready;
    std::deque<Entry> m_entries;
    // Units let go after the last entry; the next entry queued carries them.
    UnitGap m_lostAfterLast;
    size_t m_unitCount = 0;
    bool m_awaitKeyFrame = false;
    bool m_interrupted = false;
    bool m_woken = false;
    size_t m_maxDepth = 0;
    uint64_t m_dropped = 0;
    uint64_t m_overflows = 0;
};
