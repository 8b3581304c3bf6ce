// The fetch thread's admission rules, and the cheap key-frame test they use.
#include "video/FetchGate.h"
#include "video/H264Inspect.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using Clock = FetchGate::Clock;
using std::chrono::milliseconds;

const std::string kKeyFrame = std::string("\0\0\0\x01\x67\x42", 6) +
                              std::string("\0\0\0\x01\x68\xce", 6) +
                              std::string("\0\0\0\x01\x65\x88", 6);
const std::string kPSlice = std::string("\0\0\0\x01\x41\x9a", 6);
const std::string kSideInfoUnit = std::string("\0\0\0\x01\x0d\x01", 6);

FetchGate::Verdict judge(FetchGate& gate, const std::string& unit, Clock::time_point at) {
    bool key = false;
    return gate.admit(unit, at, key);
}

TEST(FetchGate, FirstSecondOnlyForTheDecoderFromItsNewestKeyFrameThenEverything) {
    const Clock::time_point t0 = Clock::now();
    FetchGate gate(t0);
    // Inside the first second: nothing before a key frame; from one on the
    // decoder alone takes the units (nothing is shown or written of them).
    EXPECT_EQ(judge(gate, kPSlice, t0 + milliseconds(100)), FetchGate::Verdict::Settling);
    EXPECT_FALSE(gate.keyFrameSeen());
    bool key = false;
    EXPECT_EQ(gate.admit(kKeyFrame, t0 + milliseconds(400), key), FetchGate::Verdict::DecodeOnly);
    EXPECT_TRUE(key);
    EXPECT_TRUE(gate.keyFrameSeen());
    EXPECT_EQ(gate.admit(kPSlice, t0 + milliseconds(999), key), FetchGate::Verdict::DecodeOnly);
    EXPECT_FALSE(key);
    // The second is over: the group goes on for everyone, without waiting
    // for the next key frame.
    EXPECT_EQ(gate.admit(kPSlice, t0 + milliseconds(1000), key), FetchGate::Verdict::Admit);
    EXPECT_EQ(gate.admit(kKeyFrame, t0 + milliseconds(1100), key), FetchGate::Verdict::Admit);
    EXPECT_TRUE(key);
    EXPECT_EQ(judge(gate, kSideInfoUnit, t0 + milliseconds(500)), FetchGate::Verdict::SideInfoUnit);
    EXPECT_EQ(judge(gate, kSideInfoUnit, t0 + milliseconds(1200)),
              FetchGate::Verdict::SideInfoUnit);
    // Units too short to have a header byte are not side information.
    EXPECT_EQ(judge(gate, std::string("\0\0\0\x01", 4), t0 + milliseconds(1200)),
              FetchGate::Verdict::Admit);

    // Without a key frame in the first second, the stream waits for one.
    FetchGate late(t0);
    EXPECT_EQ(judge(late, kPSlice, t0 + milliseconds(900)), FetchGate::Verdict::Settling);
    EXPECT_EQ(judge(late, kPSlice, t0 + milliseconds(1000)), FetchGate::Verdict::NotKeyFrame);
    EXPECT_EQ(judge(late, kKeyFrame, t0 + milliseconds(1033)), FetchGate::Verdict::Admit);
}

TEST(FetchGate, RestartSettlesAgainResyncOnlyWaitsForTheKeyFrame) {
    const Clock::time_point t0 = Clock::now();
    FetchGate gate(t0);
    ASSERT_EQ(judge(gate, kKeyFrame, t0 + milliseconds(2000)), FetchGate::Verdict::Admit);

    // The link came back (or the pipeline resumed): a second of settling,
    // then the group of the key frame that came meanwhile, or the next one.
    const Clock::time_point back = t0 + milliseconds(3000);
    gate.restart(back);
    EXPECT_FALSE(gate.keyFrameSeen());
    EXPECT_EQ(judge(gate, kPSlice, back + milliseconds(300)), FetchGate::Verdict::Settling);
    EXPECT_EQ(judge(gate, kKeyFrame, back + milliseconds(500)), FetchGate::Verdict::DecodeOnly);
    EXPECT_EQ(judge(gate, kPSlice, back + milliseconds(1000)), FetchGate::Verdict::Admit);
    gate.restart(back + milliseconds(2000));
    EXPECT_EQ(judge(gate, kPSlice, back + milliseconds(3000)), FetchGate::Verdict::NotKeyFrame);
    EXPECT_EQ(judge(gate, kKeyFrame, back + milliseconds(3033)), FetchGate::Verdict::Admit);

    // A new media session: no settling, but the next key frame first.
    const Clock::time_point session = back + milliseconds(5000);
    gate.resync();
    EXPECT_EQ(judge(gate, kPSlice, session), FetchGate::Verdict::NotKeyFrame);
    EXPECT_EQ(judge(gate, kKeyFrame, session + milliseconds(33)), FetchGate::Verdict::Admit);
    EXPECT_EQ(judge(gate, kPSlice, session + milliseconds(66)), FetchGate::Verdict::Admit);
    // Lost units while settling: the group starts again at the next key frame.
    gate.restart(session + milliseconds(100));
    EXPECT_EQ(judge(gate, kKeyFrame, session + milliseconds(200)), FetchGate::Verdict::DecodeOnly);
    gate.resync();
    EXPECT_EQ(judge(gate, kPSlice, session + milliseconds(300)), FetchGate::Verdict::Settling);
    EXPECT_EQ(judge(gate, kPSlice, session + milliseconds(1200)), FetchGate::Verdict::NotKeyFrame);
}

TEST(FetchGate, CheapKeyFrameTestAgreesWithTheFullInspection) {
    const std::string sps = std::string("\0\0\0\x01\x67\x42\x00\x1f", 8);
    const std::string pps = std::string("\0\0\0\x01\x68\xce\x3c\x80", 8);
    const std::string sei = std::string("\0\0\0\x01\x06\x05\x01", 7);
    const std::string idr = std::string("\0\0\0\x01\x65\x88\x84\x00\x01\x02", 10);
    const std::string cases[] = {
        sps + pps + idr,
        sps + pps + sei + idr,
        sps + idr + pps,
        pps + sps + idr, // does not begin with the SPS
        sps + pps,       // no IDR slice
        sps + idr,       // no PPS
        kPSlice,
        std::string(),
        std::string("\0\0\0\x01", 4),
        sps + std::string("\0\0\x01\x68\xce", 5) + idr, // three-byte start code
        sps + pps + std::string("\0\0\0\x01", 4),       // start code at the very end
        std::string("\x01\x01\x01", 3),
    };
    for (const std::string& unit : cases)
        EXPECT_EQ(isKeyFrameUnit(unit), inspectAccessUnit(unit).isKeyFrame)
            << describe(inspectAccessUnit(unit));
}

} // namespace
