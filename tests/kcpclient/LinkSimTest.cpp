// Whole frames through two engines over lossy links: every frame must arrive
// intact and in order whatever the link drops, duplicates or reorders.
#include "tools/kcpsim/KcpSim.h"

#include <gtest/gtest.h>

using namespace kcpsim;

namespace {

LinkProfile lossy(double loss) {
    LinkProfile p;
    p.loss = loss;
    p.duplicate = loss > 0 ? 0.05 : 0.0;
    p.reorder = loss > 0 ? 0.1 : 0.0;
    p.delayMs = 5;
    p.reorderMs = 20;
    return p;
}

void expect_delivery(double loss, uint64_t seed) {
    // Frames of 1..300000 bytes, cut into messages of at most 64000 bytes as
    // the camera does.
    auto frames = make_frames(2000, 300000, seed);
    SimLink link(lossy(loss), lossy(loss), 0x1234, seed);
    TransferResult result = transfer_frames(link, frames, 64000, 20000000);
    EXPECT_EQ(result.framesDelivered, frames.size());
    EXPECT_TRUE(result.intactAndInOrder);
    if (loss > 0) {
        EXPECT_GT(link.forward().dropped, 0u);
        EXPECT_GT(link.forward().reordered, 0u);
        EXPECT_GT(link.forward().duplicated, 0u);
    }
}

} // namespace

TEST(KcpSimLink, DeliversFramesIntactWithoutLoss) {
    expect_delivery(0.0, 1);
}

TEST(KcpSimLink, DeliversFramesIntactWithTenPercentLoss) {
    expect_delivery(0.10, 2);
}

TEST(KcpSimLink, DeliversFramesIntactWithThirtyPercentLoss) {
    expect_delivery(0.30, 3);
}

TEST(KcpSimLink, SameSeedGivesTheSameRun) {
    auto frames = make_frames(50, 20000, 9);
    SimLink a(lossy(0.2), lossy(0.2), 7, 42);
    SimLink b(lossy(0.2), lossy(0.2), 7, 42);
    auto ra = transfer_frames(a, frames, 64000, 1000000);
    auto rb = transfer_frames(b, frames, 64000, 1000000);
    EXPECT_TRUE(ra.intactAndInOrder);
    EXPECT_EQ(ra.elapsedMs, rb.elapsedMs);
    EXPECT_EQ(a.forward().dataSegments, b.forward().dataSegments);
}

TEST(KcpUdpLink, DeliversFramesOverLoopbackWithLossAndReordering) {
    auto frames = make_frames(200, 100000, 5);
    UdpLink link(lossy(0.10), lossy(0.10), 0x55, 5);
    TransferResult result = transfer_frames(link, frames, 64000, 200000);
    EXPECT_EQ(result.framesDelivered, frames.size());
    EXPECT_TRUE(result.intactAndInOrder);
}

// What the receiving engine counts for the statistics: on a clean link every
// segment comes once and in order; on a lossy one the gaps it sees are all
// filled later by resends, and what came twice is told apart.
TEST(KcpSimLink, ReceiverCountsGapsResendsAndDuplicates) {
    auto frames = make_frames(300, 60000, 11);
    {
        SimLink clean(LinkProfile{}, LinkProfile{}, 0x77, 11);
        ASSERT_EQ(transfer_frames(clean, frames, 64000, 5000000).framesDelivered, frames.size());
        const IkcpRecvStats& r = clean.receiver()->rstat;
        EXPECT_EQ(r.segments, clean.forward().dataSegments);
        EXPECT_EQ(r.missing, 0u);
        EXPECT_EQ(r.late, 0u);
        EXPECT_EQ(r.duplicates, 0u);
        EXPECT_EQ(r.next, clean.receiver()->rcv_nxt);
    }
    SimLink lossyLink(lossy(0.10), lossy(0.10), 0x77, 12);
    ASSERT_EQ(transfer_frames(lossyLink, frames, 64000, 20000000).framesDelivered, frames.size());
    const IkcpRecvStats& r = lossyLink.receiver()->rstat;
    EXPECT_GT(r.missing, 0u);
    EXPECT_GT(r.duplicates, 0u);
    // Every sequence number skipped arrived later exactly once as new.
    EXPECT_EQ(r.late, r.missing);
    // Each sequence number came once as new; the rest were duplicates.
    EXPECT_EQ(r.segments - r.duplicates, r.next);
    EXPECT_EQ(r.next, lossyLink.receiver()->rcv_nxt);
}
