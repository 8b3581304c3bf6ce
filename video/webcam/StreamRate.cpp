#include "video/webcam/StreamRate.h"

#include <algorithm>
#include <cmath>
#include <vector>

void StreamRate::add(uint64_t sequence, int64_t arrivalUs) {
    if (m_lastSequence != 0 && sequence > m_lastSequence && arrivalUs > m_lastArrivalUs) {
        m_steps.push_back(static_cast<double>(arrivalUs - m_lastArrivalUs) /
                          static_cast<double>(sequence - m_lastSequence));
        if (m_steps.size() > kSteps)
            m_steps.pop_front();
    } else if (sequence <= m_lastSequence) {
        m_steps.clear(); // a new stream
    }
    m_lastSequence = sequence;
    m_lastArrivalUs = arrivalUs;
}

int StreamRate::perSecond() const {
    if (m_steps.size() < kSteps)
        return 0;
    std::vector<double> sorted(m_steps.begin(), m_steps.end());
    std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
    const double step = sorted[sorted.size() / 2];
    if (step <= 0)
        return 0;
    const double rate = 1e6 / step;
    // Arrivals jitter: the usual rate within a tenth counts as that rate.
    for (int usual : {10, 15, 24, 25, 30, 48, 50, 60, 90, 100, 120})
        if (std::fabs(rate - usual) <= usual * 0.1)
            return usual;
    return std::max(1, static_cast<int>(std::lround(rate)));
}

void StreamRate::clear() {
    m_steps.clear();
    m_lastSequence = 0;
    m_lastArrivalUs = 0;
}
