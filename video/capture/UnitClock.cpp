#include "video/capture/UnitClock.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

// Time units cameras and encoders commonly use, in ticks per second.
constexpr int64_t kCommonRates[] = {1000000000, 10000000, 1000000, 90000, 1000};
// How far the measured ratio may lie from a common unit (a factor).
constexpr double kRateTolerance = 1.3;
// A camera step further than this from the arrival step is not believed.
constexpr int64_t kLeapUs = 2000000;
constexpr int64_t kDefaultStepUs = 33333;

int64_t toMicros(int64_t ticks, int64_t ticksPerSecond) {
    return static_cast<int64_t>(std::llround(static_cast<long double>(ticks) * 1000000.0L /
                                             static_cast<long double>(ticksPerSecond)));
}

int64_t medianOf(std::vector<int64_t> values, int64_t fallback) {
    values.erase(std::remove_if(values.begin(), values.end(), [](int64_t v) { return v <= 0; }),
                 values.end());
    if (values.empty())
        return fallback;
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}

// The step of times that come late by varying amounts: the median of the
// slopes between times at least half of them apart. A stall followed by the
// burst of what it held back bends a least-squares line far off; it moves
// only the few slopes that start or end inside it. 0 with fewer than two
// times.
int64_t robustStep(const std::vector<int64_t>& times) {
    const size_t n = times.size();
    if (n < 2)
        return 0;
    const size_t apart = std::max<size_t>(1, n / 2);
    std::vector<double> slopes;
    slopes.reserve((n - apart) * (n - apart + 1) / 2);
    for (size_t i = 0; i + apart < n; ++i)
        for (size_t j = i + apart; j < n; ++j)
            slopes.push_back(static_cast<double>(times[j] - times[i]) / static_cast<double>(j - i));
    std::nth_element(slopes.begin(), slopes.begin() + slopes.size() / 2, slopes.end());
    return std::llround(slopes[slopes.size() / 2]);
}

} // namespace

bool UnitClock::learn(int64_t cameraTime, int64_t arrivalUs) {
    if (m_source != Source::Learning)
        return true;
    if (cameraTime == 0)
        m_missingTrailer = true;
    m_arrivals.push_back(arrivalUs);
    if (m_learnCount == 0) {
        m_firstCamera = m_prevCamera = cameraTime;
        m_firstArrival = m_prevArrival = arrivalUs;
        ++m_learnCount;
        return false;
    }
    ++m_learnCount;
    if (cameraTime != 0 && m_prevCamera != 0)
        m_cameraSteps.push_back(cameraTime - m_prevCamera);
    m_prevCamera = cameraTime;
    m_prevArrival = arrivalUs;
    const int64_t arrivalSpan = arrivalUs - m_firstArrival;
    if ((arrivalSpan < kLearnSpanUs || m_learnCount < kLearnUnits) && m_learnCount < kLearnUnitsMax)
        return false;
    decideNow();
    return true;
}

void UnitClock::decideNow() {
    if (m_source != Source::Learning)
        return;
    m_source = Source::Arrival;
    const int64_t arrivalSpan = m_prevArrival - m_firstArrival;
    const int64_t cameraSpan = m_prevCamera - m_firstCamera;
    if (!m_missingTrailer && m_learnCount > 1 && arrivalSpan > 0 && cameraSpan > 0) {
        const double ratio =
            static_cast<double>(cameraSpan) * 1.0e6 / static_cast<double>(arrivalSpan);
        for (int64_t rate : kCommonRates) {
            const double factor = ratio / static_cast<double>(rate);
            if (factor < kRateTolerance && factor > 1.0 / kRateTolerance) {
                m_source = Source::Camera;
                m_ticksPerSecond = rate;
                break;
            }
        }
    }
    int64_t step = 0;
    if (m_source == Source::Camera) {
        // The median step, or the mean one when that is shorter (pictures
        // stamped when sent, in bursts, make the median too long).
        if (!m_cameraSteps.empty()) {
            const auto range = std::minmax_element(m_cameraSteps.begin(), m_cameraSteps.end());
            m_cameraRegular = *range.first > 0 && *range.second - *range.first <=
                                                      std::max<int64_t>(1, m_ticksPerSecond / 1000);
        }
        step = medianOf(m_cameraSteps, 0);
        if (!m_cameraSteps.empty())
            step = std::min(step, cameraSpan / static_cast<int64_t>(m_cameraSteps.size()));
        if (step > 0)
            step = toMicros(step, m_ticksPerSecond);
    } else {
        step = robustStep(m_arrivals);
    }
    m_typicalStepUs = step > 0 ? step : kDefaultStepUs;
    m_cameraSteps.clear();
    m_arrivals.clear();
}

void UnitClock::restart() {
    m_started = false;
    m_lastUs = 0;
}

int64_t UnitClock::stamp(int64_t cameraTime, int64_t arrivalUs) {
    if (!m_started) {
        m_started = true;
        m_lastCamera = cameraTime;
        m_lastArrival = arrivalUs;
        m_lastUs = 0;
        m_joinCamera = 0;
        return 0;
    }
    const int64_t arrivalStep = arrivalUs - m_lastArrival;
    int64_t us = m_lastUs + std::max<int64_t>(arrivalStep, 1);
    if (m_source == Source::Camera && cameraTime != 0 && m_lastCamera != 0) {
        const int64_t cameraStep = toMicros(cameraTime - m_lastCamera, m_ticksPerSecond);
        if (cameraStep > 0 && std::llabs(cameraStep - arrivalStep) <= kLeapUs) {
            if (m_joinCamera == 0) {
                m_joinCamera = m_lastCamera;
                m_joinUs = m_lastUs;
            }
            us = std::max(m_joinUs + toMicros(cameraTime - m_joinCamera, m_ticksPerSecond),
                          m_lastUs + 1);
        } else {
            m_joinCamera = 0; // joins again at the next plausible step
        }
    }
    m_lastCamera = cameraTime;
    m_lastArrival = arrivalUs;
    m_lastUs = us;
    return m_lastUs;
}

// --- FramePacer ---------------------------------------------------------------------

int64_t FramePacer::stepFor(int64_t stepUs) {
    // Frame rates as numerator / denominator.
    static const int64_t kRates[][2] = {{60, 1},       {60000, 1001}, {50, 1}, {30, 1},
                                        {30000, 1001}, {25, 1},       {24, 1}, {24000, 1001},
                                        {20, 1},       {15, 1},       {12, 1}, {10, 1}};
    const double step = static_cast<double>(std::max<int64_t>(stepUs, 1));
    auto ticksOf = [](const int64_t* rate) {
        return std::llround(static_cast<double>(kTicksPerSecond) * static_cast<double>(rate[1]) /
                            static_cast<double>(rate[0]));
    };
    // The nearest rate within `tolerance`, of whole rates only or of all.
    auto nearest = [&](double tolerance, bool wholeOnly) -> int64_t {
        double best = tolerance;
        int64_t chosen = 0;
        for (const auto& rate : kRates) {
            if (wholeOnly && rate[1] != 1)
                continue;
            const double nominalUs =
                1.0e6 * static_cast<double>(rate[1]) / static_cast<double>(rate[0]);
            const double off = std::fabs(step / nominalUs - 1.0);
            if (off < best) {
                best = off;
                chosen = ticksOf(rate);
            }
        }
        return chosen;
    };
    // Half a second of arrival times cannot tell 30 from 29.97 a second: a
    // whole rate near the step is taken (the pacer's gaps take up the odd
    // 1000th), else one of the others when the step lies that close to it.
    int64_t chosen = nearest(kNearRate, true);
    if (chosen == 0)
        chosen = nearest(kCloseRate, false);
    if (chosen > 0)
        return chosen;
    // A little short of the measured step: an estimate a little too long would
    // let the file run ahead of the camera, one a little too short only leaves
    // a gap now and then.
    return std::max<int64_t>(1, std::llround(step * (1.0 - kShortening) * kTicksPerSecond / 1.0e6));
}

void FramePacer::start(int64_t stepUs) {
    m_step = stepFor(stepUs);
    m_first = true;
    m_recent.clear();
}

int64_t FramePacer::pace(int64_t timelineUs) {
    m_recent.push_back(timelineUs);
    if (m_recent.size() > kMeasureCount)
        m_recent.pop_front();
    if (m_first) {
        m_first = false;
        m_anchorUs = timelineUs;
        m_anchorSlot = m_anchorTicks = m_lastSlot = 0;
        return 0;
    }
    const double stepUs = static_cast<double>(m_step) * 1.0e6 / kTicksPerSecond;
    // Where the picture's time says it belongs, in steps, and where the steps
    // before it lead.
    const double place =
        static_cast<double>(m_anchorSlot) + static_cast<double>(timelineUs - m_anchorUs) / stepUs;
    const int64_t next = m_lastSlot + 1;
    const double late = place - static_cast<double>(next);
    int64_t slot = next;
    if (late >= 1.0) {
        slot = next + static_cast<int64_t>(std::floor(late));
    } else if (late < -kLeadLimit && m_recent.size() == kMeasureCount) {
        // The pictures may come faster than the step: the step of the last
        // pictures, taken so that a burst among them does not count.
        const int64_t measured = std::max<int64_t>(
            static_cast<int64_t>(
                std::floor(static_cast<double>(robustStep({m_recent.begin(), m_recent.end()})) *
                           kTicksPerSecond / 1.0e6)),
            std::llround(static_cast<double>(m_step) * (1.0 - kMostShortening)));
        if (measured >= 1 && measured < m_step) {
            m_anchorTicks += (next - m_anchorSlot) * m_step;
            m_anchorSlot = next;
            m_anchorUs = timelineUs;
            m_step = measured;
        }
    }
    m_lastSlot = slot;
    return m_anchorTicks + (slot - m_anchorSlot) * m_step;
}
