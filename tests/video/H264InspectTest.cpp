#include "video/H264Inspect.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string bytes(std::initializer_list<int> values) {
    std::string s;
    for (int v : values)
        s.push_back(static_cast<char>(v));
    return s;
}

const std::string kSps = bytes({0, 0, 0, 1, 0x67, 0x42, 0x00, 0x1f});
const std::string kPps = bytes({0, 0, 0, 1, 0x68, 0xce, 0x3c, 0x80});
const std::string kSei = bytes({0, 0, 0, 1, 0x06, 0x05, 0x01});
const std::string kIdr = bytes({0, 0, 0, 1, 0x65, 0x88, 0x84, 0x00, 0x10});
const std::string kSlice = bytes({0, 0, 0, 1, 0x41, 0x9a, 0x02});

std::string unitOf(const NalBuffer& b) {
    return b ? std::string(b->begin(), b->end()) : "<none>";
}

void expectDefault(const NalUnitSet& set) {
    EXPECT_FALSE(set.isKeyFrame);
    EXPECT_FALSE(set.sps);
    EXPECT_FALSE(set.pps);
    EXPECT_FALSE(set.sei);
    EXPECT_FALSE(set.idr);
}

TEST(H264Inspect, KeyFrameUnitsAreCutAtStartCodes) {
    NalUnitSet set = inspectAccessUnit(kSps + kPps + kIdr);
    ASSERT_TRUE(set.isKeyFrame);
    EXPECT_EQ(unitOf(set.sps), kSps);
    EXPECT_EQ(unitOf(set.pps), kPps);
    EXPECT_EQ(unitOf(set.idr), kIdr);
    EXPECT_FALSE(set.sei);

    set = inspectAccessUnit(kSps + kPps + kSei + kIdr);
    ASSERT_TRUE(set.isKeyFrame);
    EXPECT_EQ(unitOf(set.sei), kSei);
    EXPECT_EQ(unitOf(set.idr), kIdr);

    // Copies share the unit buffers.
    NalUnitSet copy = set;
    EXPECT_EQ(copy.sps.get(), set.sps.get());
}

TEST(H264Inspect, LastUnitOfAKindWinsAndExtraZerosStayInThePreviousUnit) {
    const std::string idr2 = bytes({0, 0, 0, 1, 0x65, 0x11});
    NalUnitSet set = inspectAccessUnit(kSps + kPps + kIdr + kSlice + idr2);
    ASSERT_TRUE(set.isKeyFrame);
    EXPECT_EQ(unitOf(set.idr), idr2);

    // 00 00 00 00 01: the start code is found one byte in.
    set = inspectAccessUnit(kSps + std::string(1, '\0') + kPps + kIdr);
    ASSERT_TRUE(set.isKeyFrame);
    EXPECT_EQ(unitOf(set.sps), kSps + std::string(1, '\0'));
    EXPECT_EQ(unitOf(set.pps), kPps);
}

TEST(H264Inspect, NotAKeyFrame) {
    // SEI first, even with all three key-frame units after it.
    expectDefault(inspectAccessUnit(kSei + kSps + kPps + kIdr));
    // Parameter sets with a non-IDR slice: the parameter sets are not returned.
    expectDefault(inspectAccessUnit(kSps + kPps + kSlice));
    // Three-byte start code.
    expectDefault(inspectAccessUnit(kSps.substr(1) + kPps + kIdr));
    // Whole header byte compared: 0x27 is an SPS type with other priority bits.
    expectDefault(inspectAccessUnit(bytes({0, 0, 0, 1, 0x27, 1}) + kPps + kIdr));
    expectDefault(inspectAccessUnit(kSps + kPps + bytes({0, 0, 0, 1, 0x45, 1})));
    // Too short or empty.
    expectDefault(inspectAccessUnit(bytes({0, 0, 0, 1})));
    expectDefault(inspectAccessUnit(std::string()));
    // An IDR prefix cut short at the end of the buffer.
    expectDefault(inspectAccessUnit(kSps + kPps + bytes({0, 0, 0, 1})));
}

TEST(H264Inspect, HexPrefixAndDescribe) {
    std::string thirty(30, '\xab');
    const std::string hex =
        hexPrefix(reinterpret_cast<const uint8_t*>(thirty.data()), thirty.size(), ":");
    EXPECT_EQ(hex.size(), 20u * 2 + 19);
    EXPECT_EQ(hex.substr(0, 6), "AB:AB:");
    EXPECT_EQ(hex.back(), 'B');
    EXPECT_EQ(hexPrefix(nullptr, 0, " "), "");
    const uint8_t two[2] = {0x0a, 0xf0};
    EXPECT_EQ(hexPrefix(two, 2, ", "), "0A, F0");

    EXPECT_EQ(describe(NalUnitSet{}),
              "isKeyFrame = 0\nSPS = nullptr\nPPS = nullptr\nSEI = nullptr\nIDR = nullptr");
    EXPECT_EQ(describe(inspectAccessUnit(kSps + kPps + kIdr)),
              "isKeyFrame = 1\nSPS = 00 00 00 01 67 42 00 1F\nPPS = 00 00 00 01 68 CE 3C 80\n"
              "SEI = nullptr\nIDR = 00 00 00 01 65 88 84 00 10");
}

} // namespace
