#pragma once

#include <chrono>
#include <string>

// The fetch thread's admission rules for units pulled from the media client:
// nothing for the first second after a start, a pause or a lost connection;
// after that, and after every other break in the stream, nothing until a key
// frame with its parameter sets; never a side-information unit.
//
// While settling, the newest key frame and the units after it are kept for
// the decoder alone (DecodeOnly): nothing of them is shown or written, but
// the decoder is at the newest picture when the second is over, so the
// first picture after it is shown at once instead of after the next key
// frame. A key frame that comes while settling starts such a group anew.
class FetchGate {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kSettle{1000};

    enum class Verdict { Admit, NotKeyFrame, Settling, SideInfoUnit, DecodeOnly };

    // A new gate settles from `now`.
    explicit FetchGate(Clock::time_point now) : m_settleMark(now) {}

    // The stream starts anew (the link came back, the pipeline resumes):
    // settle from `now`, then wait for a key frame.
    void restart(Clock::time_point now);
    // Units were lost (a new media session, a full queue): wait for the next
    // key frame, without a new settle time.
    void resync();

    // Judges one unit pulled at `now`; `keyFrame` receives whether it is one.
    Verdict admit(const std::string& unit, Clock::time_point now, bool& keyFrame);

    // A key frame was admitted (or decoded while settling) since the last
    // restart or resync.
    bool keyFrameSeen() const { return m_keyFrameSeen; }

private:
    bool m_keyFrameSeen = false;
    Clock::time_point m_settleMark;
};
