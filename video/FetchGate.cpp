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
    keyFrame = isKeyFrameUnit(unit);
    // Every unit of a group refers to the parameter sets of its key frame:
    // whatever comes before the first key frame is useless to the decoder.
    if (!m_keyFrameSeen && !keyFrame)
        return now - m_settleMark < kSettle ? Verdict::Settling : Verdict::NotKeyFrame;
    m_keyFrameSeen = true;
    return now - m_settleMark < kSettle ? Verdict::DecodeOnly : Verdict::Admit;
}
