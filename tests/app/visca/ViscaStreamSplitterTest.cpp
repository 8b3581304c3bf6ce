// The plain VISCA byte stream cut into messages, however it arrives.
#include "app/visca/ViscaStreamSplitter.h"
#include "tests/app/visca/ViscaTestBytes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

// Every item as text, the overlong ones as "overlong".
std::vector<std::string> items(const std::vector<ViscaStreamItem>& got) {
    std::vector<std::string> out;
    for (const ViscaStreamItem& item : got)
        out.push_back(item.overlong ? "overlong" : hexText(item.message));
    return out;
}

std::vector<std::string> feedAll(ViscaStreamSplitter& splitter, const std::string& text) {
    const ViscaBytes bytes = hex(text);
    return items(splitter.feed(bytes.data(), bytes.size()));
}

using Texts = std::vector<std::string>;

} // namespace

TEST(ViscaStreamSplitter, MessageCutAcrossChunksComesOutWhole) {
    const ViscaBytes bytes = hex("81 01 06 01 18 17 01 03 FF 81 09 04 00 FF");
    for (size_t chunk = 1; chunk <= bytes.size(); ++chunk) {
        SCOPED_TRACE(chunk);
        ViscaStreamSplitter splitter;
        Texts got;
        for (size_t at = 0; at < bytes.size(); at += chunk) {
            const size_t n = std::min(chunk, bytes.size() - at);
            for (const std::string& s : items(splitter.feed(bytes.data() + at, n)))
                got.push_back(s);
        }
        EXPECT_EQ(got, (Texts{"81 01 06 01 18 17 01 03 FF", "81 09 04 00 FF"}));
        EXPECT_EQ(splitter.pending(), 0u);
    }
}

TEST(ViscaStreamSplitter, SeveralMessagesInOneChunkAndOneLeftOpen) {
    ViscaStreamSplitter splitter;
    EXPECT_EQ(feedAll(splitter, "81 01 04 07 00 FF 81 01 04 18 01 FF 81 09 04"),
              (Texts{"81 01 04 07 00 FF", "81 01 04 18 01 FF"}));
    EXPECT_EQ(splitter.pending(), 3u);
    EXPECT_EQ(feedAll(splitter, "47 FF"), Texts{"81 09 04 47 FF"});
    EXPECT_TRUE(feedAll(splitter, "").empty());
}

TEST(ViscaStreamSplitter, GarbageCostsOnlyItselfAndTheNextMessageIsWhole) {
    ViscaStreamSplitter splitter;
    // Bytes before an address byte, a stray terminator, a message that lost
    // its end: each comes out on its own and decodes as a bad message.
    EXPECT_EQ(feedAll(splitter, "12 34 81 09 04 00 FF FF 81 01 04 81 09 04 47 FF"),
              (Texts{"12 34", "81 09 04 00 FF", "FF", "81 01 04", "81 09 04 47 FF"}));
    for (const char* garbage : {"12 34", "FF", "81 01 04"}) {
        const ViscaBytes g = hex(garbage);
        EXPECT_EQ(visca::decodeMessage(g.data(), g.size()).error, ViscaError::BadMessage);
    }
    EXPECT_EQ(splitter.dropped(), 0u);
}

TEST(ViscaStreamSplitter, OverlongRunIsDroppedWithoutBeingKept) {
    ViscaStreamSplitter splitter;
    // 16 bytes without a terminator are no message: one overlong item, then
    // everything up to the next terminator is dropped as it comes.
    const ViscaBytes run(1000, 0x01);
    EXPECT_EQ(items(splitter.feed(run.data(), run.size())), Texts{"overlong"});
    EXPECT_EQ(splitter.pending(), 0u);
    EXPECT_EQ(items(splitter.feed(run.data(), run.size())), Texts{});
    EXPECT_EQ(splitter.pending(), 0u);
    EXPECT_EQ(feedAll(splitter, "02 FF 81 09 04 00 FF"), Texts{"81 09 04 00 FF"});
    EXPECT_EQ(splitter.dropped(), 2002u);

    // A message of exactly 16 bytes passes, one of 17 does not; an address
    // byte ends a run too.
    EXPECT_EQ(feedAll(splitter, "81 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E FF"),
              Texts{"81 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E FF"});
    EXPECT_EQ(feedAll(splitter, "81 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F FF"),
              Texts{"overlong"});
    EXPECT_EQ(
        feedAll(splitter, "81 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10 81 09 04 00 FF"),
        (Texts{"overlong", "81 09 04 00 FF"}));
}
