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
// the consumer skips whole groups of pictures. What it lets go is counted.
class UnitQueue {
public:
    explicit UnitQueue(size_t capacity);

    // Appends a unit (fetch thread). False when the unit was dropped: the
    // queue overflowed, or it waits for a key frame.
    bool push(const VideoUnit& unit);

    // Waits until a unit is there, the queue is interrupted or `timeout`
    // passes; true with the oldest unit in `out`. Returns false at once
    // while interrupted.
    bool pop(VideoUnit& out, std::chrono::milliseconds timeout = std::chrono::milliseconds::max());
    // While interrupted, pop() returns at once (for a pause or a stop); the
    // units stay queued.
    void interrupt(bool on);

    // Drops what is waiting (counted) and takes nothing more until the next
    // key frame: the stream was interrupted.
    void resync();
    // Empties the queue without counting, keeps taking units as they come.
    void clear();

    size_t size() const;
    size_t capacity() const { return m_capacity; }
    // The most units that were waiting at once since the last resetDepth().
    size_t maxDepth() const;
    void resetDepth();
    // Units dropped because the queue was full or waited for a key frame.
    uint64_t dropped() const;
    // Times the queue overflowed.
    uint64_t overflows() const;

private:
    const size_t m_capacity;
    mutable std::mutex m_mutex;
    std::condition_variable m_ready;
    std::deque<VideoUnit> m_units;
    bool m_awaitKeyFrame = false;
    bool m_interrupted = false;
    size_t m_maxDepth = 0;
    uint64_t m_dropped = 0;
    uint64_t m_overflows = 0;
};
