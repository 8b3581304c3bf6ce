// The KCP engine on hand-made datagrams: wire format, end flag, validity
// checks, fragment limits and the protocol timers.
#include "KcpTestUtil.h"

#include <gtest/gtest.h>

#include <algorithm>

using kcptest::encode;
using kcptest::Endpoint;
using kcptest::Segment;

namespace {

Segment push(uint32_t sn, std::string data, uint8_t frg = 0, uint8_t cmd = IKCP_CMD_PUSH) {
    Segment s;
    s.sn = sn;
    s.frg = frg;
    s.cmd = cmd;
    s.data = std::move(data);
    return s;
}

std::string ack(uint32_t sn, uint32_t ts, uint32_t una = 0) {
    Segment s;
    s.cmd = IKCP_CMD_ACK;
    s.sn = sn;
    s.ts = ts;
    s.una = una;
    return encode(s);
}

// How often each sequence number went out in the captured datagrams.
std::vector<int> transmissions(const std::vector<Segment>& sent, uint32_t sn) {
    std::vector<int> times;
    for (const auto& s : sent)
        if ((s.cmd == IKCP_CMD_PUSH || s.cmd == IKCP_CMD_PUSH_END) && s.sn == sn)
            times.push_back(1);
    return times;
}

std::string recv_all(ikcpcb* kcp, int* end, int* result = nullptr) {
    char buffer[8192];
    int n = ikcp_recv(kcp, buffer, sizeof buffer, end);
    if (result)
        *result = n;
    return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
}

} // namespace

TEST(IkcpInput, PushEndFollowedByStrayBytesIsQueuedAndAcknowledged) {
    Endpoint rx;
    std::string datagram = encode(push(0, "hello", 0, IKCP_CMD_PUSH_END)) + std::string(10, 'x');
    EXPECT_EQ(rx.input(datagram), 0);

    int end = 0;
    EXPECT_EQ(recv_all(rx.kcp, &end), "hello");
    EXPECT_EQ(end, 1);

    ikcp_update(rx.kcp, 100);
    auto sent = rx.take_sent();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].cmd, IKCP_CMD_ACK);
    EXPECT_EQ(sent[0].sn, 0u);
    EXPECT_EQ(sent[0].una, 1u);
}

TEST(IkcpInput, RejectsMalformedDatagramsWithoutQueueingThem) {
    Endpoint rx;
    int end = 0;

    // Length field beyond the datagram, both in a lone and a second segment.
    Segment lying = push(0, "abc");
    lying.lenOverride = 4;
    EXPECT_EQ(rx.input(encode(lying)), -2);
    EXPECT_EQ(ikcp_peeksize(rx.kcp, &end), -1);
    lying.lenOverride = 0x80000000LL; // negative as a signed length
    EXPECT_EQ(rx.input(encode(lying)), -2);

    Segment bad85 = push(0, "a", 0, 85);
    Segment bad208 = push(0, "a", 0, 208);
    EXPECT_EQ(rx.input(encode(bad85)), -3);
    EXPECT_EQ(rx.input(encode(bad208)), -3);

    Segment foreign = push(0, "a");
    foreign.conv = 2;
    EXPECT_EQ(rx.input(encode(foreign)), -1);
    EXPECT_EQ(rx.input(encode(push(0, "a")).substr(0, 23)), -1);
    EXPECT_EQ(ikcp_input(rx.kcp, nullptr, 100), -1);
    EXPECT_EQ(ikcp_peeksize(rx.kcp, &end), -1);

    // A good segment followed by a lying one: the first one counts.
    Segment second = push(1, "zz");
    second.lenOverride = 100;
    EXPECT_EQ(rx.input(encode(push(0, "ok")) + encode(second)), -2);
    EXPECT_EQ(recv_all(rx.kcp, &end), "ok");
    EXPECT_EQ(ikcp_peeksize(rx.kcp, &end), -1);

    // A truncated header after a segment only ends the datagram.
    EXPECT_EQ(rx.input(encode(push(1, "next")) + encode(push(2, "cut")).substr(0, 23)), 0);
    EXPECT_EQ(recv_all(rx.kcp, &end), "next");
}

TEST(IkcpRecv, EndFlagFollowsTheLastFragmentOfAMessage) {
    for (uint8_t lastCmd : {uint8_t(IKCP_CMD_PUSH_END), uint8_t(IKCP_CMD_PUSH)}) {
        Endpoint rx;
        // Out of order: the middle fragment arrives last.
        EXPECT_EQ(rx.input(encode(push(0, "one-", 2)) + encode(push(2, "three", 0, lastCmd))), 0);
        int end = 7;
        EXPECT_EQ(ikcp_peeksize(rx.kcp, &end), -1);
        int result = 0;
        EXPECT_EQ(recv_all(rx.kcp, &end, &result), "");
        EXPECT_EQ(result, -2); // the message is not complete yet
        EXPECT_EQ(rx.input(encode(push(1, "two-", 1))), 0);
        EXPECT_EQ(recv_all(rx.kcp, &end), "one-two-three");
        EXPECT_EQ(end, lastCmd == IKCP_CMD_PUSH_END ? 1 : 0);
    }
}

TEST(IkcpRecv, RefusesUnusableBuffersAndLeavesTheQueue) {
    Endpoint rx;
    int end = 0;
    char small[4];
    EXPECT_EQ(ikcp_recv(rx.kcp, small, sizeof small, &end), -1); // empty queue
    ASSERT_EQ(rx.input(encode(push(0, "0123456789", 0, IKCP_CMD_PUSH_END))), 0);

    EXPECT_EQ(ikcp_recv(rx.kcp, small, 0, &end), -3);
    EXPECT_EQ(ikcp_recv(rx.kcp, small, -10, &end), -3); // no peek mode
    EXPECT_EQ(ikcp_recv(rx.kcp, small, sizeof small, &end), -3);
    EXPECT_NE(std::string(rx.kcp->diag).find("buf len 4 < pack size 10"), std::string::npos);
    EXPECT_EQ(ikcp_peeksize(rx.kcp, &end), 10);
    EXPECT_EQ(recv_all(rx.kcp, &end), "0123456789");
}

TEST(IkcpSend, FragmentCountMustFitTheWindowAndTheFrgByte) {
    Endpoint tx;
    const int mss = static_cast<int>(tx.kcp->mss);
    ASSERT_EQ(mss, 1376);
    EXPECT_EQ(ikcp_send(tx.kcp, nullptr, -1, 1), -1);
    // Default send window 32: a message of exactly 32 fragments fits, one
    // byte more does not.
    std::string big(static_cast<size_t>(512 * mss), 'b');
    EXPECT_EQ(ikcp_send(tx.kcp, big.data(), 32 * mss + 1, 1), -2);
    EXPECT_EQ(ikcp_waitsnd(tx.kcp), 0);
    EXPECT_EQ(ikcp_send(tx.kcp, big.data(), 32 * mss, 1), 0);
    EXPECT_EQ(ikcp_waitsnd(tx.kcp), 32);

    // Before the peer has spoken our receive window stands in for its room;
    // 511 fragments would wrap the one-byte fragment number.
    Endpoint wide;
    ikcp_wndsize(wide.kcp, 512, 512);
    EXPECT_EQ(ikcp_send(wide.kcp, big.data(), 511 * mss, 1), -2);
    EXPECT_EQ(ikcp_send(wide.kcp, big.data(), 256 * mss + 1, 1), -2);
    EXPECT_EQ(ikcp_send(wide.kcp, big.data(), 256 * mss, 1), 0);
    EXPECT_EQ(ikcp_waitsnd(wide.kcp), 256);
    EXPECT_EQ(wide.kcp->snd_queue.front().frg, 255u);
    EXPECT_EQ(wide.kcp->snd_queue.back().frg, 0u);
    // Once it has, its room counts.
    Segment tell;
    tell.cmd = IKCP_CMD_WINS;
    tell.wnd = 100;
    ASSERT_EQ(wide.input(encode(tell)), 0);
    EXPECT_EQ(ikcp_send(wide.kcp, big.data(), 100 * mss + 1, 1), -2);
    EXPECT_EQ(ikcp_send(wide.kcp, big.data(), 100 * mss, 1), 0);
    EXPECT_EQ(ikcp_waitsnd(wide.kcp), 356);
}

TEST(IkcpSend, MessageMustFitTheRoomThePeerShowsNow) {
    Endpoint tx;
    ikcp_wndsize(tx.kcp, 512, 512);
    const int mss = static_cast<int>(tx.kcp->mss);
    std::string big(static_cast<size_t>(300 * mss), 'b');
    Segment tell;
    tell.cmd = IKCP_CMD_WINS;

    // Room for 64: exactly 64 fragments fit, one byte more is refused whole.
    tell.wnd = 64;
    ASSERT_EQ(tx.input(encode(tell)), 0);
    EXPECT_EQ(ikcp_send(tx.kcp, big.data(), 64 * mss + 1, 1), -2);
    EXPECT_EQ(ikcp_waitsnd(tx.kcp), 0);
    EXPECT_EQ(ikcp_send(tx.kcp, big.data(), 64 * mss, 1), 0);
    EXPECT_EQ(ikcp_waitsnd(tx.kcp), 64);

    // Room that shrank to 5 after a larger one was shown is what counts.
    tell.wnd = 5;
    ASSERT_EQ(tx.input(encode(tell)), 0);
    EXPECT_EQ(ikcp_send(tx.kcp, big.data(), 5 * mss + 1, 1), -2);
    EXPECT_EQ(ikcp_send(tx.kcp, big.data(), 5 * mss, 1), 0);
    EXPECT_EQ(ikcp_waitsnd(tx.kcp), 64 + 5);

    // A closed window takes nothing, not even an empty message.
    tell.wnd = 0;
    ASSERT_EQ(tx.input(encode(tell)), 0);
    EXPECT_EQ(ikcp_send(tx.kcp, "", 0, 1), -2);
    EXPECT_EQ(ikcp_waitsnd(tx.kcp), 64 + 5);

    // Reopened wider than the send window: the send window bounds it.
    tell.wnd = 300;
    ASSERT_EQ(tx.input(encode(tell)), 0);
    ikcp_wndsize(tx.kcp, 200, 0);
    EXPECT_EQ(ikcp_send(tx.kcp, big.data(), 200 * mss + 1, 1), -2);
    EXPECT_EQ(ikcp_send(tx.kcp, big.data(), 200 * mss, 1), 0);
}

TEST(IkcpSend, APeerThatMadeItsWindowSmallerGetsOnlyMessagesItCanJoin) {
    Endpoint tx;
    Endpoint rx;
    ikcp_wndsize(tx.kcp, 512, 512);
    ikcp_nodelay(tx.kcp, 1, 10, 2, 1);
    ikcp_wndsize(rx.kcp, 512, 512);
    ikcp_nodelay(rx.kcp, 1, 10, 2, 1);
    const int mss = static_cast<int>(tx.kcp->mss);
    IUINT32 clock = 0;
    std::vector<std::string> received;
    // Half a second of traffic; the receiver reads what is whole before it
    // answers, so its acknowledgements show all of its window.
    auto exchange = [&] {
        for (int i = 0; i < 50; i++) {
            clock += 10;
            ikcp_update(tx.kcp, clock);
            for (const std::string& d : tx.sent)
                rx.input(d);
            tx.sent.clear();
            int end = 0;
            for (int size; (size = ikcp_peeksize(rx.kcp, &end)) >= 0;) {
                std::vector<char> buffer(static_cast<size_t>(size) + 1);
                int n = ikcp_recv(rx.kcp, buffer.data(), static_cast<int>(buffer.size()), &end);
                ASSERT_EQ(n, size);
                received.emplace_back(buffer.data(), static_cast<size_t>(n));
            }
            ikcp_update(rx.kcp, clock);
            for (const std::string& d : rx.sent)
                tx.input(d);
            rx.sent.clear();
        }
    };
    ASSERT_EQ(ikcp_send(tx.kcp, "hello", 5, 1), 0);
    exchange();
    ASSERT_EQ(received, std::vector<std::string>{"hello"});
    ASSERT_EQ(tx.kcp->rmt_wnd, 512u);

    // The receiver goes down to 128; its next acknowledgement shows it.
    ikcp_wndsize(rx.kcp, 128, 128);
    ASSERT_EQ(ikcp_send(tx.kcp, "x", 1, 1), 0);
    exchange();
    ASSERT_EQ(tx.kcp->rmt_wnd, 128u);
    // 200 fragments could never be joined there.
    std::string tooLarge(static_cast<size_t>(200 * mss), 'w');
    EXPECT_EQ(ikcp_send(tx.kcp, tooLarge.data(), 200 * mss, 1), -2);
    EXPECT_EQ(ikcp_waitsnd(tx.kcp), 0);

    std::string message(static_cast<size_t>(128 * mss), 'm');
    for (size_t i = 0; i < message.size(); i++)
        message[i] = static_cast<char>(i * 7);
    ASSERT_EQ(ikcp_send(tx.kcp, message.data(), static_cast<int>(message.size()), 1), 0);
    exchange();
    ASSERT_EQ(received.size(), 3u);
    EXPECT_EQ(received[2], message);
}

TEST(IkcpSend, StreamModeRefusesWholeBeforeToppingUp) {
    Endpoint st;
    st.kcp->stream = 1;
    ikcp_wndsize(st.kcp, 512, 512);
    const int mss = static_cast<int>(st.kcp->mss);
    Segment tell;
    tell.cmd = IKCP_CMD_WINS;
    tell.wnd = 10;
    ASSERT_EQ(st.input(encode(tell)), 0);
    std::string head(100, 'h');
    ASSERT_EQ(ikcp_send(st.kcp, head.data(), 100, 0), 0);

    // The last segment takes mss - 100 bytes; what is left needs new
    // segments, ten at most.
    const int room = mss - 100;
    std::string more(static_cast<size_t>(room + 10 * mss + 1), 'n');
    for (size_t i = 0; i < more.size(); i++)
        more[i] = static_cast<char>('a' + i % 26);
    EXPECT_EQ(ikcp_send(st.kcp, more.data(), room + 10 * mss + 1, 1), -2);
    ASSERT_EQ(ikcp_waitsnd(st.kcp), 1);
    EXPECT_EQ(st.kcp->snd_queue.back().len, 100u);
    EXPECT_EQ(st.kcp->snd_queue.back().cmd, IKCP_CMD_PUSH);

    ASSERT_EQ(ikcp_send(st.kcp, more.data(), room + 10 * mss, 1), 0);
    EXPECT_EQ(ikcp_waitsnd(st.kcp), 11);
    std::string queued;
    for (const IKCPSEG& seg : st.kcp->snd_queue) {
        queued.append(seg.data(), seg.len);
        EXPECT_EQ(seg.cmd, IKCP_CMD_PUSH_END);
    }
    EXPECT_EQ(queued, head + more.substr(0, static_cast<size_t>(room + 10 * mss)));

    // With the last segment full, a closed window takes nothing more.
    tell.wnd = 0;
    ASSERT_EQ(st.input(encode(tell)), 0);
    EXPECT_EQ(ikcp_send(st.kcp, "z", 1, 1), -2); // the last segment is full
    EXPECT_EQ(ikcp_waitsnd(st.kcp), 11);
}

TEST(IkcpSend, EndFlagMarksOnlyTheLastFragmentOnTheWire) {
    Endpoint tx;
    ikcp_wndsize(tx.kcp, 128, 128);
    std::string message(3000, 'm'); // three fragments
    ASSERT_EQ(ikcp_send(tx.kcp, message.data(), 3000, 1), 0);
    ASSERT_EQ(ikcp_send(tx.kcp, "tail", 4, 0), 0);
    ASSERT_EQ(ikcp_send(tx.kcp, "", 0, 1), 0); // an empty message is one segment
    tx.kcp->nocwnd = 1;
    ikcp_update(tx.kcp, 0);
    auto sent = tx.take_sent();
    ASSERT_EQ(sent.size(), 5u);
    std::vector<int> cmds, frgs;
    for (const auto& s : sent) {
        cmds.push_back(s.cmd);
        frgs.push_back(s.frg);
    }
    EXPECT_EQ(cmds, (std::vector<int>{81, 81, 209, 81, 209}));
    EXPECT_EQ(frgs, (std::vector<int>{2, 1, 0, 0, 0}));
    EXPECT_EQ(sent[2].data.size(), 3000u - 2 * 1376u);

    // Stream mode: every fragment carries the flag, all with frg 0.
    Endpoint st;
    st.kcp->stream = 1;
    st.kcp->nocwnd = 1;
    ASSERT_EQ(ikcp_send(st.kcp, message.data(), 3000, 1), 0);
    ikcp_update(st.kcp, 0);
    for (const auto& s : st.take_sent()) {
        EXPECT_EQ(s.cmd, IKCP_CMD_PUSH_END);
        EXPECT_EQ(s.frg, 0);
    }
}

TEST(IkcpSettings, ClampAndIgnoreOutOfRangeValues) {
    Endpoint e;
    EXPECT_EQ(e.kcp->interval, 100u);
    EXPECT_EQ(e.kcp->rcv_wnd, 128u);
    EXPECT_EQ(e.kcp->snd_wnd, 32u);
    EXPECT_EQ(e.kcp->rx_rto, 200);
    EXPECT_EQ(e.kcp->dead_link, 20u);
    ikcp_nodelay(e.kcp, 1, 1, 2, 1);
    EXPECT_EQ(e.kcp->interval, 10u);
    EXPECT_EQ(e.kcp->rx_minrto, 30);
    EXPECT_EQ(e.kcp->fastresend, 2);
    ikcp_nodelay(e.kcp, -1, 9000, -1, -1);
    EXPECT_EQ(e.kcp->interval, 5000u);
    EXPECT_EQ(e.kcp->nodelay, 1u);
    EXPECT_EQ(e.kcp->fastresend, 2);
    ikcp_nodelay(e.kcp, 0, -1, -1, -1);
    EXPECT_EQ(e.kcp->rx_minrto, 100);
    EXPECT_EQ(e.kcp->interval, 5000u);

    ikcp_wndsize(e.kcp, 0, 64);
    EXPECT_EQ(e.kcp->snd_wnd, 32u);
    EXPECT_EQ(e.kcp->rcv_wnd, 128u);
    ikcp_wndsize(e.kcp, 512, 512);
    EXPECT_EQ(e.kcp->rcv_wnd, 512u);

    EXPECT_EQ(ikcp_setmtu(e.kcp, 49), -1);
    EXPECT_EQ(ikcp_setmtu(e.kcp, 500), 0);
    EXPECT_EQ(e.kcp->mss, 476u);
    std::string datagram = encode(push(0, "x"));
    datagram[0] = 0x78;
    datagram[1] = 0x56;
    datagram[2] = 0x34;
    datagram[3] = 0x12;
    EXPECT_EQ(ikcp_getconv(datagram.data()), 0x12345678u);
}

TEST(IkcpTimers, RetransmitsOnTimeoutAndFastResendsSkippedSegments) {
    Endpoint tx;
    ikcp_wndsize(tx.kcp, 32, 128);
    ikcp_nodelay(tx.kcp, 1, 10, 2, 1);
    for (int i = 0; i < 4; i++)
        ASSERT_EQ(ikcp_send(tx.kcp, "seg", 3, 1), 0);
    ikcp_update(tx.kcp, 1000);
    EXPECT_EQ(tx.take_sent().size(), 4u);

    // The peer acknowledges 1..3 in two datagrams: segment 0 is skipped twice
    // and goes out again before its time-out.
    auto ack = [](uint32_t sn, uint32_t ts) {
        Segment s;
        s.cmd = IKCP_CMD_ACK;
        s.sn = sn;
        s.ts = ts;
        return encode(s);
    };
    ikcp_update(tx.kcp, 1010);
    tx.take_sent();
    EXPECT_EQ(tx.input(ack(1, 1000) + ack(2, 1000)), 0);
    EXPECT_EQ(tx.input(ack(3, 1000)), 0);
    ikcp_update(tx.kcp, 1020);
    auto resent = tx.take_sent();
    ASSERT_EQ(resent.size(), 1u);
    EXPECT_EQ(resent[0].sn, 0u);
    EXPECT_EQ(tx.kcp->xmit, 0u); // a fast resend is not a time-out

    // Without acknowledgements the segment goes out again on its time-out,
    // each time later (the rto grows), until the link counts as dead.
    std::vector<IUINT32> times;
    for (IUINT32 t = 1030; t < 60000 && tx.kcp->state == 0; t += 10) {
        ikcp_update(tx.kcp, t);
        if (!tx.take_sent().empty())
            times.push_back(t);
    }
    ASSERT_GE(times.size(), 3u);
    EXPECT_LT(times[1] - times[0], times[2] - times[1]);
    EXPECT_EQ(tx.kcp->state, static_cast<IUINT32>(-1));
    EXPECT_GT(tx.kcp->xmit, 0u);

    // A late acknowledgement still clears it.
    EXPECT_EQ(tx.input(ack(0, 1000)), 0);
    EXPECT_EQ(ikcp_waitsnd(tx.kcp), 0);
    EXPECT_EQ(tx.kcp->snd_una, 4u);
}

TEST(IkcpTimers, FastResendCountsOnlyAcknowledgementsOfLaterTransmissions) {
    Endpoint tx;
    ikcp_wndsize(tx.kcp, 32, 128);
    ikcp_nodelay(tx.kcp, 1, 10, 2, 1);
    for (int i = 0; i < 6; i++)
        ASSERT_EQ(ikcp_send(tx.kcp, "seg", 3, 1), 0);
    ikcp_update(tx.kcp, 1000);
    ASSERT_EQ(tx.take_sent().size(), 6u);

    // Segments 1 and 2 are acknowledged in two datagrams: segment 0 goes out
    // again at 1010.
    ikcp_update(tx.kcp, 1005);
    EXPECT_EQ(tx.input(ack(1, 1000)), 0);
    EXPECT_EQ(tx.input(ack(2, 1000)), 0);
    ikcp_update(tx.kcp, 1010);
    ASSERT_EQ(transmissions(tx.take_sent(), 0).size(), 1u);

    // Acknowledgements of segments that left before that resend say nothing
    // about it: no second fast resend, however many arrive.
    for (uint32_t sn = 3; sn < 6; sn++)
        EXPECT_EQ(tx.input(ack(sn, 1000)), 0);
    ikcp_update(tx.kcp, 1020);
    EXPECT_TRUE(transmissions(tx.take_sent(), 0).empty());

    // Segments sent after the resend and acknowledged count again.
    ASSERT_EQ(ikcp_send(tx.kcp, "new", 3, 1), 0);
    ASSERT_EQ(ikcp_send(tx.kcp, "new", 3, 1), 0);
    ikcp_update(tx.kcp, 1030);
    tx.take_sent();
    EXPECT_EQ(tx.input(ack(6, 1030)), 0);
    EXPECT_EQ(tx.input(ack(7, 1030)), 0);
    ikcp_update(tx.kcp, 1040);
    EXPECT_EQ(transmissions(tx.take_sent(), 0).size(), 1u);
    EXPECT_EQ(tx.kcp->xmit, 0u); // none of these was a time-out
}

TEST(IkcpTimers, FastResendSparesASegmentOvertakenByTheRestOfItsFlush) {
    Endpoint tx;
    ikcp_wndsize(tx.kcp, 32, 128);
    ikcp_nodelay(tx.kcp, 1, 10, 2, 1);
    // Segments 0..3 leave in the flush at 1000, 4..6 in the one at 1010.
    for (int i = 0; i < 4; i++)
        ASSERT_EQ(ikcp_send(tx.kcp, "seg", 3, 1), 0);
    ikcp_update(tx.kcp, 1000);
    for (int i = 0; i < 3; i++)
        ASSERT_EQ(ikcp_send(tx.kcp, "seg", 3, 1), 0);
    ikcp_update(tx.kcp, 1010);
    ASSERT_EQ(tx.take_sent().size(), 7u);

    // The peer acknowledges 1 and then 3 of the first flush in one datagram:
    // 0 was skipped by the first of its flush to arrive, 2 only overtaken by
    // a later one of the same flush. The next datagram acknowledges 5 and 6
    // of the second flush, which skips 0, 2 and 4.
    ikcp_update(tx.kcp, 1015);
    EXPECT_EQ(tx.input(ack(1, 1000) + ack(3, 1000)), 0);
    EXPECT_EQ(tx.input(ack(5, 1010) + ack(6, 1010)), 0);
    ASSERT_EQ(ikcp_send(tx.kcp, "seg", 3, 1), 0);
    ASSERT_EQ(ikcp_send(tx.kcp, "seg", 3, 1), 0);
    ikcp_update(tx.kcp, 1020);
    auto sent = tx.take_sent();
    EXPECT_EQ(transmissions(sent, 0).size(), 1u);
    EXPECT_TRUE(transmissions(sent, 2).empty());
    EXPECT_TRUE(transmissions(sent, 4).empty());
    EXPECT_EQ(transmissions(sent, 7).size(), 1u);
    EXPECT_EQ(transmissions(sent, 8).size(), 1u);

    // Within one datagram a later flush's acknowledgement further on moves
    // the mark: a repeated acknowledgement of 3 (sent at 1000) alone would
    // skip only 2, with 8 (sent at 1020) after it 2 and 4 are skipped a
    // second time. 0, resent at 1020, and 7 are skipped once only.
    EXPECT_EQ(tx.input(ack(3, 1000) + ack(8, 1020)), 0);
    ikcp_update(tx.kcp, 1030);
    sent = tx.take_sent();
    EXPECT_TRUE(transmissions(sent, 0).empty());
    EXPECT_EQ(transmissions(sent, 2).size(), 1u);
    EXPECT_EQ(transmissions(sent, 4).size(), 1u);
    EXPECT_TRUE(transmissions(sent, 7).empty());
    EXPECT_EQ(tx.kcp->xmit, 0u);
}

TEST(IkcpTimers, FastResendStopsAtTheLimitAndLeavesTheSegmentToItsTimeout) {
    Endpoint tx;
    ikcp_wndsize(tx.kcp, 128, 128);
    ikcp_nodelay(tx.kcp, 1, 10, 2, 1);
    ASSERT_EQ(tx.kcp->fastlimit, 5);
    ASSERT_EQ(ikcp_send(tx.kcp, "lost", 4, 1), 0);
    IUINT32 now = 1000;
    ikcp_update(tx.kcp, now);
    tx.take_sent();

    // Each round a new segment goes out and is acknowledged twice, so the
    // first one, never acknowledged, is skipped twice per round.
    int fastResends = 0;
    for (uint32_t sn = 1; sn <= 15; sn++) {
        ASSERT_EQ(ikcp_send(tx.kcp, "next", 4, 1), 0);
        now += 10;
        ikcp_update(tx.kcp, now);
        fastResends += static_cast<int>(transmissions(tx.take_sent(), 0).size());
        EXPECT_EQ(tx.input(ack(sn, now)), 0);
        EXPECT_EQ(tx.input(ack(sn, now)), 0);
    }
    EXPECT_EQ(fastResends, 5);
    EXPECT_EQ(tx.kcp->xmit, 0u);

    // Its time-out still sends it.
    for (int i = 0; i < 40 && tx.kcp->xmit == 0; i++) {
        now += 10;
        ikcp_update(tx.kcp, now);
    }
    EXPECT_EQ(tx.kcp->xmit, 1u);
    EXPECT_EQ(transmissions(tx.take_sent(), 0).size(), 1u);
}

TEST(IkcpTimers, AcknowledgementsInAnyOrderClearExactlyTheirSegments) {
    Endpoint tx;
    ikcp_wndsize(tx.kcp, 128, 128);
    tx.kcp->nocwnd = 1;
    for (int i = 0; i < 100; i++)
        ASSERT_EQ(ikcp_send(tx.kcp, "s", 1, 1), 0);
    ikcp_update(tx.kcp, 0);
    tx.take_sent();
    // Rising runs, a falling run, jumps to both ends and repeats, spread
    // over several datagrams.
    std::vector<uint32_t> order;
    for (uint32_t sn = 10; sn < 40; sn++)
        order.push_back(sn);
    for (uint32_t sn = 90; sn >= 60; sn--)
        order.push_back(sn);
    for (uint32_t sn : {99u, 1u, 98u, 2u, 50u, 50u, 40u, 55u, 45u, 41u})
        order.push_back(sn);
    std::string datagram;
    for (size_t i = 0; i < order.size(); i++) {
        datagram += ack(order[i], 0);
        if (i % 17 == 16) {
            ASSERT_EQ(tx.input(datagram), 0);
            datagram.clear();
        }
    }
    ASSERT_EQ(tx.input(datagram), 0);
    std::vector<uint32_t> left;
    for (const IKCPSEG& seg : tx.kcp->snd_buf)
        left.push_back(seg.sn);
    std::vector<uint32_t> expected;
    for (uint32_t sn = 0; sn < 100; sn++)
        if (std::find(order.begin(), order.end(), sn) == order.end())
            expected.push_back(sn);
    EXPECT_EQ(left, expected);
    EXPECT_EQ(tx.kcp->nsnd_buf, expected.size());
    EXPECT_EQ(tx.kcp->snd_una, 0u);
    // The peer's una then clears the rest below it.
    ASSERT_EQ(tx.input(ack(99, 0, 100)), 0);
    EXPECT_EQ(ikcp_waitsnd(tx.kcp), 0);
    EXPECT_EQ(tx.kcp->snd_una, 100u);
}

TEST(IkcpTimers, RttEstimateSetsTheRetransmissionTimeout) {
    Endpoint tx;
    ikcp_nodelay(tx.kcp, 1, 10, 0, 1);
    ASSERT_EQ(ikcp_send(tx.kcp, "a", 1, 1), 0);
    ikcp_update(tx.kcp, 5000);
    tx.take_sent();
    ikcp_update(tx.kcp, 5080);
    Segment ack;
    ack.cmd = IKCP_CMD_ACK;
    ack.sn = 0;
    ack.ts = 5000;
    ASSERT_EQ(tx.input(encode(ack)), 0);
    EXPECT_EQ(tx.kcp->rx_srtt, 80);
    EXPECT_EQ(tx.kcp->rx_rttval, 40);
    EXPECT_EQ(tx.kcp->rx_rto, 80 + 160);
    // A future echo (clock skew) is not a sample.
    ack.ts = 9000;
    ASSERT_EQ(tx.input(encode(ack)), 0);
    EXPECT_EQ(tx.kcp->rx_srtt, 80);
    // Echoes of ancient timestamps count as the largest rto, no more.
    ikcp_update(tx.kcp, 0x7fff0000u);
    ack.ts = 0x7fff0000u - 0x7fffffffu;
    for (int i = 0; i < 50; i++)
        ASSERT_EQ(tx.input(encode(ack)), 0);
    EXPECT_LE(tx.kcp->rx_srtt, 60000);
    EXPECT_EQ(tx.kcp->rx_rto, 60000);
}

TEST(IkcpWindow, ProbesAClosedWindowAndAnnouncesReopening) {
    Endpoint tx;
    tx.kcp->nocwnd = 1;
    // The peer announces a closed window while a message waits.
    ASSERT_EQ(ikcp_send(tx.kcp, "held", 4, 1), 0);
    Segment closed;
    closed.cmd = IKCP_CMD_WINS;
    closed.wnd = 0;
    ASSERT_EQ(tx.input(encode(closed)), 0);
    ikcp_update(tx.kcp, 0);
    EXPECT_TRUE(tx.take_sent().empty()); // nothing may be sent yet
    ikcp_update(tx.kcp, 6900);
    EXPECT_TRUE(tx.take_sent().empty());
    bool asked = false;
    for (IUINT32 t = 7000; t <= 7200 && !asked; t += 100) {
        ikcp_update(tx.kcp, t);
        for (const auto& s : tx.take_sent())
            asked = asked || s.cmd == IKCP_CMD_WASK;
    }
    EXPECT_TRUE(asked);

    // A receiver asked for its window tells it.
    Endpoint rx;
    Segment ask;
    ask.cmd = IKCP_CMD_WASK;
    ASSERT_EQ(rx.input(encode(ask)), 0);
    ikcp_update(rx.kcp, 0);
    auto told = rx.take_sent();
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].cmd, IKCP_CMD_WINS);
    EXPECT_EQ(told[0].wnd, 128);

    // A full receive queue announces 0 and tells again when read.
    Endpoint full;
    std::string burst;
    for (uint32_t sn = 0; sn < 128; sn++)
        burst += encode(push(sn, "p"));
    ASSERT_EQ(full.input(burst), 0);
    ikcp_update(full.kcp, 0);
    auto acks = full.take_sent();
    ASSERT_FALSE(acks.empty());
    EXPECT_EQ(acks.back().wnd, 0);
    int end = 0;
    EXPECT_EQ(recv_all(full.kcp, &end), "p");
    ikcp_update(full.kcp, 100);
    auto after = full.take_sent();
    ASSERT_EQ(after.size(), 1u);
    EXPECT_EQ(after[0].cmd, IKCP_CMD_WINS);
    EXPECT_EQ(after[0].wnd, 1);
}

TEST(IkcpWindow, DropsSegmentsOutsideTheWindowAndDuplicates) {
    Endpoint rx;
    // Beyond rcv_nxt + rcv_wnd: neither queued nor acknowledged.
    ASSERT_EQ(rx.input(encode(push(128, "far"))), 0);
    ikcp_update(rx.kcp, 0);
    EXPECT_TRUE(rx.take_sent().empty());
    ASSERT_EQ(rx.input(encode(push(0, "a")) + encode(push(0, "a"))), 0);
    int end = 0;
    EXPECT_EQ(recv_all(rx.kcp, &end), "a");
    EXPECT_EQ(ikcp_peeksize(rx.kcp, &end), -1);
    // An old duplicate is acknowledged again but not delivered twice.
    ASSERT_EQ(rx.input(encode(push(0, "a"))), 0);
    ikcp_update(rx.kcp, 100);
    auto acks = rx.take_sent();
    ASSERT_EQ(acks.size(), 3u);
    EXPECT_EQ(ikcp_peeksize(rx.kcp, &end), -1);
}

TEST(IkcpTimers, UpdateRealignsAfterALargeClockJump) {
    Endpoint e;
    ikcp_update(e.kcp, 100);
    EXPECT_EQ(e.kcp->ts_flush, 200u);
    ikcp_update(e.kcp, 50000);
    EXPECT_EQ(e.kcp->ts_flush, 50100u);
    EXPECT_EQ(ikcp_check(e.kcp, 50000), 50100u);
    EXPECT_EQ(ikcp_check(e.kcp, 50100), 50100u);
}

TEST(IkcpSegments, ShuffledAndRepeatedFragmentsAreFiledOnce) {
    Endpoint rx;
    // A message of 100 fragments, each fragment's bytes telling its index.
    std::vector<std::string> pieces;
    std::string whole;
    for (int i = 0; i < 100; i++) {
        pieces.push_back(
            std::string(static_cast<size_t>(1 + i % 7), static_cast<char>('A' + i % 26)));
        whole += pieces.back();
    }
    std::vector<uint32_t> order;
    for (uint32_t sn = 0; sn < 100; sn += 2)
        order.push_back(99 - sn); // odd ones falling
    for (uint32_t sn = 0; sn < 100; sn += 2)
        order.push_back(sn); // even ones rising
    for (uint32_t sn : {3u, 97u, 50u, 0u})
        order.push_back(sn); // repeats, some already read
    int end = 0;
    std::string got;
    for (uint32_t sn : order) {
        uint8_t frg = static_cast<uint8_t>(99 - sn);
        ASSERT_EQ(rx.input(encode(
                      push(sn, pieces[sn], frg, sn == 99 ? IKCP_CMD_PUSH_END : IKCP_CMD_PUSH))),
                  0);
        if (got.empty())
            got = recv_all(rx.kcp, &end);
    }
    EXPECT_EQ(got, whole);
    EXPECT_EQ(end, 1);
    EXPECT_EQ(ikcp_peeksize(rx.kcp, &end), -1);
    EXPECT_EQ(rx.kcp->nrcv_buf, 0u);
    EXPECT_EQ(rx.kcp->rcv_nxt, 100u);
}

TEST(IkcpSegments, FreedSegmentsAreReusedAndThePoolIsBounded) {
    Endpoint rx; // windows 32 and 128: at most 128 free segments are kept
    int end = 0;
    uint32_t sn = 0;
    for (int round = 0; round < 3; round++) {
        // A full receive queue and as many again waiting behind it: 256
        // segments held, then all read.
        for (int burst = 0; burst < 2; burst++) {
            std::string datagrams;
            for (int i = 0; i < 128; i++, sn++)
                datagrams += encode(push(sn, "payload", 0, IKCP_CMD_PUSH_END));
            ASSERT_EQ(rx.input(datagrams), 0);
        }
        EXPECT_EQ(rx.kcp->nrcv_que + rx.kcp->nrcv_buf, 256u);
        int read = 0;
        while (!recv_all(rx.kcp, &end).empty())
            read++;
        EXPECT_EQ(read, 256);
        EXPECT_EQ(rx.kcp->pool.size(), 128u);
    }

    // A message sent now takes its fragments from the pool.
    std::string message(3 * rx.kcp->mss, 'm');
    ASSERT_EQ(ikcp_send(rx.kcp, message.data(), static_cast<int>(message.size()), 1), 0);
    EXPECT_EQ(rx.kcp->pool.size(), 125u);

    // A received segment larger than mss gets room of its own and is freed
    // rather than pooled once read.
    std::string large(2000, 'L');
    ASSERT_EQ(rx.input(encode(push(sn, large, 0, IKCP_CMD_PUSH_END))), 0);
    EXPECT_EQ(recv_all(rx.kcp, &end), large);
    EXPECT_EQ(rx.kcp->pool.size(), 125u);
}

TEST(IkcpSegments, LoweringTheMtuWithDataQueuedStillSendsItWhole) {
    Endpoint tx;
    tx.kcp->nocwnd = 1;
    std::string full(tx.kcp->mss, 'f');
    ASSERT_EQ(ikcp_send(tx.kcp, full.data(), static_cast<int>(full.size()), 1), 0);
    ASSERT_EQ(ikcp_setmtu(tx.kcp, 100), 0);
    EXPECT_EQ(tx.kcp->pool.size(), 0u);
    ASSERT_EQ(ikcp_send(tx.kcp, full.data(), 200, 1), 0); // three of the new mss
    ikcp_update(tx.kcp, 0);
    auto sent = tx.take_sent();
    ASSERT_EQ(sent.size(), 4u);
    EXPECT_EQ(sent[0].data, full);
    EXPECT_EQ(sent[1].data.size(), 76u);
    EXPECT_EQ(sent[3].data.size(), 200u - 2 * 76u);
}

TEST(IkcpIdle, OnlyAnEngineWithNothingToSendIsIdle) {
    Endpoint rx;
    ikcp_update(rx.kcp, 0);
    EXPECT_TRUE(ikcp_idle(rx.kcp));

    // A received segment owes its acknowledgement until the next flush.
    ASSERT_EQ(rx.input(encode(push(0, "a", 0, IKCP_CMD_PUSH_END))), 0);
    EXPECT_FALSE(ikcp_idle(rx.kcp));
    ikcp_update(rx.kcp, 100);
    EXPECT_FALSE(rx.take_sent().empty());
    EXPECT_TRUE(ikcp_idle(rx.kcp));

    // A window to tell: asked by the peer.
    Segment ask;
    ask.cmd = IKCP_CMD_WASK;
    ASSERT_EQ(rx.input(encode(ask)), 0);
    EXPECT_FALSE(ikcp_idle(rx.kcp));
    ikcp_update(rx.kcp, 200);
    EXPECT_TRUE(ikcp_idle(rx.kcp));

    // A message queued, then sent and not yet acknowledged.
    Endpoint tx;
    ikcp_update(tx.kcp, 0);
    ASSERT_EQ(ikcp_send(tx.kcp, "m", 1, 1), 0);
    EXPECT_FALSE(ikcp_idle(tx.kcp));
    ikcp_update(tx.kcp, 100);
    ASSERT_FALSE(tx.take_sent().empty());
    EXPECT_FALSE(ikcp_idle(tx.kcp));
    ASSERT_EQ(tx.input(ack(0, 100, 1)), 0);
    ikcp_update(tx.kcp, 200);
    EXPECT_TRUE(ikcp_idle(tx.kcp));

    // A peer that closed its window is asked for it on a timer.
    Segment closed;
    closed.cmd = IKCP_CMD_WINS;
    closed.wnd = 0;
    ASSERT_EQ(tx.input(encode(closed)), 0);
    ikcp_update(tx.kcp, 300);
    EXPECT_FALSE(ikcp_idle(tx.kcp));
}
