#include "video/FetchGate.h"

#include "video/H264Inspect.h"

#include <cstdint>

void FetchGate::restart(Clock::time_point now) {
    m_keyFrameSeen = false;
    m_settleMark = now;
}

void FetchGate::resync() {
    m_keyFrameSeen = false;
}

FetchGate::Verdict FetchGate::admit(const std::string& unit, Clock::time_point now,
                                    bool& keyFrame) {
    keyFrame = false;
    if (unit.size() > 4 && static_cast<uint8_t>(unit[4]) == 0x0D)
        return Verdict::SideInfoUnit;
    // A key frame that arrives while settling is dropped with the rest, so
    // the stream must start at the next one: starting after it would hand
    // the decoder pictures whose parameter sets it never saw.
    if (now - m_settleMark < kSettle)
        return Verdict::Settling;
    keyFrame = isKeyFrameUnit(unit);
    if (!m_keyFrameSeen && !keyFrame)
        return Verdict::NotKeyFrame;
    m_keyFrameSeen = true;
    return Verdict::Admit;
}
