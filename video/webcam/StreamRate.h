#pragma once

// The picture rate of the stream as the pictures arrive: the median of the
// steps between arrivals (per unit, so that pictures the display left out
// do not count as slow ones), put on the usual camera rate it is close to.

#include <cstddef>
#include <cstdint>
#include <deque>

class StreamRate {
public:
    // How many steps the rate is judged from.
    static constexpr std::size_t kSteps = 30;

    // A picture of unit `sequence` arrived at `arrivalUs` (steady clock).
    void add(uint64_t sequence, int64_t arrivalUs);
    // Pictures a second; 0 until enough pictures came.
    int perSecond() const;
    void clear();

private:
    uint64_t m_lastSequence = 0;
    int64_t m_lastArrivalUs = 0;
    std::deque<double> m_steps; // microseconds a unit
};
