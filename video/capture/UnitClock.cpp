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

} // namespace

bool UnitClock::learn(int64_t cameraTime, int64_t arrivalUs) {
    if (m_source != Source::Learning)
        return true;
    if (cameraTime == 0)
        m_missingTrailer = true;
    if (m_learnCount == 0) {
        m_firstCamera = m_prevCamera = cameraTime;
        m_firstArrival = m_prevArrival = arrivalUs;
        ++m_learnCount;
        return false;
    }
    ++m_learnCount;
    m_arrivalSteps.push_back(arrivalUs - m_prevArrival);
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
    // The median step, or the mean one when that is shorter (pictures sent in
    // bursts make the median too long).
    const bool camera = m_source == Source::Camera;
    const std::vector<int64_t>& steps = camera ? m_cameraSteps : m_arrivalSteps;
    const int64_t span = camera ? cameraSpan : arrivalSpan;
    int64_t step = medianOf(steps, 0);
    if (!steps.empty() && span > 0)
        step = std::min(step, span / static_cast<int64_t>(steps.size()));
    if (camera && step > 0)
        step = toMicros(step, m_ticksPerSecond);
    m_typicalStepUs = step > 0 ? step : kDefaultStepUs;
    m_cameraSteps.clear();
    m_arrivalSteps.clear();
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
        return 0;
    }
    const int64_t arrivalStep = arrivalUs - m_lastArrival;
    int64_t step = arrivalStep;
    if (m_source == Source::Camera && cameraTime != 0 && m_lastCamera != 0) {
        const int64_t cameraStep = toMicros(cameraTime - m_lastCamera, m_ticksPerSecond);
        if (cameraStep > 0 && std::llabs(cameraStep - arrivalStep) <= kLeapUs)
            step = cameraStep;
    }
    if (step < 1)
        step = 1;
    m_lastCamera = cameraTime;
    m_lastArrival = arrivalUs;
    m_lastUs += step;
    return m_lastUs;
}

// --- FramePacer ---------------------------------------------------------------------

int64_t FramePacer::stepFor(int64_t stepUs) {
    // Frame rates as numerator / denominator.
    static const int64_t kRates[][2] = {{60, 1},       {60000, 1001}, {50, 1}, {30, 1},
                                        {30000, 1001}, {25, 1},       {24, 1}, {24000, 1001},
                                        {20, 1},       {15, 1},       {12, 1}, {10, 1}};
    const double step = static_cast<double>(std::max<int64_t>(stepUs, 1));
    double best = 0.003;
    int64_t chosen = 0;
    for (const auto& rate : kRates) {
        const double nominalUs =
            1.0e6 * static_cast<double>(rate[1]) / static_cast<double>(rate[0]);
        const double off = std::fabs(step / nominalUs - 1.0);
        if (off < best) {
            best = off;
            chosen = std::llround(static_cast<double>(kTicksPerSecond) *
                                  static_cast<double>(rate[1]) / static_cast<double>(rate[0]));
        }
    }
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
    m_count = 0;
}

int64_t FramePacer::pace(int64_t timelineUs) {
    ++m_count;
    if (m_first) {
        m_first = false;
        m_originUs = m_anchorUs = timelineUs;
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
    } else if (late < -kLeadLimit) {
        // The pictures come faster than the step: the step of the file so far.
        const int64_t measured = static_cast<int64_t>(
            std::floor(static_cast<double>(timelineUs - m_originUs) * kTicksPerSecond / 1.0e6 /
                       static_cast<double>(m_count - 1)));
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
