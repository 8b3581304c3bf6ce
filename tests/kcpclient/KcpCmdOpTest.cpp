// Media session commands against a scripted peer: packet layout, sequence
// numbers, reply matching and the packets that must be dropped.
#include "ScriptedMediaPeer.h"
#include "kcpclient/SockUdpBoost.h"
#include "tests/support/Eventually.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using kcptest::make_reply;
using kcptest::ScriptedMediaPeer;
using kcptest::with_length;

namespace {

const MediaEndpoint kSelf{"192.168.88.20", 12345};
// Worked start reply: status 0, 192.168.88.10, port 12345, conversation 7.
const std::string kStartReply("\x00\x0A\x58\xA8\xC0\x39\x30\x07\x00", 9);

std::shared_ptr<KcpCmdOp> op_for(const ScriptedMediaPeer& peer) {
    auto socket = make_connected_socket("127.0.0.1", peer.port(), 200);
    return std::make_shared<KcpCmdOp>(socket);
}

std::string bytes(const KcpCmd& c) {
    return c.to_string();
}

} // namespace

TEST(KcpCmdOp, RequestPacketsCarryHeaderEndpointAndChecksum) {
    ScriptedMediaPeer peer;
    peer.set_script([](const KcpCmd& r, int) {
        if (r.command() == 0)
            return std::vector<std::string>{make_reply(r, 0x21, kStartReply)};
        return std::vector<std::string>{make_reply(r, 0x21, std::string(1, '\0'))};
    });
    auto op = op_for(peer);
    EXPECT_EQ(op->session_byte(), -1);
    KcpCmdOp::StartResult start = op->start_session(kSelf, 3);
    EXPECT_EQ(start.code, 0x21);
    EXPECT_EQ(start.address, "192.168.88.10");
    EXPECT_EQ(start.port, 12345);
    EXPECT_EQ(start.conv, 7);
    EXPECT_EQ(op->session_byte(), 0x21);
    EXPECT_TRUE(op->set_property_detail(kSelf, true, true, true, 3));
    EXPECT_TRUE(op->stop_session(kSelf, 3));
    EXPECT_EQ(op->pending(), 0u);

    for (int i = 0; i < 200 && peer.requests().size() < 9; i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    auto requests = peer.requests();
    ASSERT_EQ(requests.size(), 9u);
    // Three copies per transaction, numbered 0, 1, 2, then 3, 4, 5 ...
    for (size_t i = 0; i < requests.size(); i++)
        EXPECT_EQ(requests[i].seqnum(), i);
    const std::string start0 = bytes(requests[0]);
    EXPECT_EQ(start0.substr(0, 3), std::string("\x5C\x5A\x00", 3));
    EXPECT_EQ(start0.substr(4),
              std::string("\x00\x00\x10\x00\x00\x00\x14\x58\xA8\xC0\x39\x30", 12));
    EXPECT_EQ(kcpcmd::xor_of(requests[0].bytes.data(), requests[0].size), 0);
    // Property: learnt session byte, command 3, the flags byte 07.
    const std::string prop = bytes(requests[3]);
    EXPECT_EQ(static_cast<uint8_t>(prop[2]), 0x21);
    EXPECT_EQ(prop[9], 3);
    EXPECT_EQ(requests[3].length(), 17);
    EXPECT_EQ(prop[16], 7);
    EXPECT_EQ(static_cast<uint8_t>(bytes(requests[6])[2]), 0x21);
    EXPECT_EQ(bytes(requests[6])[9], 1);
}

TEST(KcpCmdOp, SequenceNumbersWrapAndSkipNumbersInUse) {
    ScriptedMediaPeer peer;
    peer.set_script([](const KcpCmd& r, int) {
        return std::vector<std::string>{make_reply(r, 1, std::string(1, '\0'))};
    });
    auto op = op_for(peer);
    // Number 0 stays reserved throughout.
    ASSERT_EQ(op->next_seqnum(), std::optional<uint8_t>(0));
    for (int i = 0; i < 86; i++)
        ASSERT_TRUE(op->stop_session(kSelf, 3)) << i;
    // The last copies may still be on their way to the peer.
    for (int i = 0; i < 200 && peer.requests().size() < 258; i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    auto requests = peer.requests();
    ASSERT_EQ(requests.size(), 258u);
    EXPECT_EQ(requests[0].seqnum(), 1);
    EXPECT_EQ(requests[253].seqnum(), 254);
    EXPECT_EQ(requests[254].seqnum(), 255);
    EXPECT_EQ(requests[255].seqnum(), 1); // 0 is still taken
    EXPECT_EQ(op->pending(), 1u);

    // A full table yields no number.
    KcpCmdOp full(make_connected_socket("127.0.0.1", peer.port(), 200));
    int handed = 0;
    while (full.next_seqnum())
        handed++;
    EXPECT_EQ(handed, 256);
}

TEST(KcpCmdOp, AnswerToTheThirdCopyIsAccepted) {
    ScriptedMediaPeer peer;
    peer.set_script([](const KcpCmd& r, int index) {
        if (index % 3 != 2)
            return std::vector<std::string>{};
        return std::vector<std::string>{make_reply(r, 5, kStartReply)};
    });
    auto op = op_for(peer);
    auto start = op->start_session(kSelf, 3);
    EXPECT_EQ(start.code, 5);
    EXPECT_EQ(start.conv, 7);
    EXPECT_EQ(start.address, "192.168.88.10");
}

TEST(KcpCmdOp, LateReplyOfAnEarlierTransactionIsDropped) {
    ScriptedMediaPeer peer; // silent at first
    auto op = op_for(peer);
    EXPECT_EQ(op->start_session(kSelf, 3).code, -1);
    // The peer records the copies on its own thread.
    eventually([&] { return peer.requests().size() >= 3; }, 1000);
    ASSERT_EQ(peer.requests().size(), 3u);
    KcpCmd first = peer.requests()[0];

    // During the next start, the late answer to the first one arrives, and
    // then the real answer to the new transaction's first copy.
    const std::string otherReply("\x00\x01\x00\x00\x7F\x10\x00\x09\x00", 9);
    peer.set_script([&](const KcpCmd& r, int index) {
        std::vector<std::string> out;
        if (index == 3) {
            out.push_back(make_reply(first, 9, kStartReply));
            out.push_back(make_reply(r, 6, otherReply));
        }
        return out;
    });
    auto start = op->start_session(kSelf, 3);
    EXPECT_EQ(start.code, 6);
    EXPECT_EQ(start.conv, 9);
    EXPECT_EQ(start.address, "127.0.0.1");
    EXPECT_EQ(start.port, 16);
}

TEST(KcpCmdOp, MalformedRepliesAreDropped) {
    ScriptedMediaPeer peer;
    auto op = op_for(peer);
    const std::string ok(1, '\0');
    // Each script answers all copies with one kind of bad packet only.
    std::vector<std::function<std::string(const KcpCmd&)>> bad = {
        [&](const KcpCmd& r) { return with_length(make_reply(r, 1, ok), 9); },
        [&](const KcpCmd& r) { return with_length(make_reply(r, 1, ok), 75); },
        // Length beyond the datagram, XOR right over the bytes present.
        [&](const KcpCmd& r) {
            std::string s = make_reply(r, 1, ok);
            s[6] = 40;
            s[3] = 0;
            s[3] = static_cast<char>(
                kcpcmd::xor_of(reinterpret_cast<const uint8_t*>(s.data()), s.size()));
            return s;
        },
        [&](const KcpCmd& r) {
            std::string s = make_reply(r, 1, ok);
            s[3] ^= 1;
            return s;
        },
        [&](const KcpCmd& r) {
            KcpCmd other = r;
            other.bytes[9] = 0; // reply for another command
            return make_reply(other, 1, ok);
        },
        [&](const KcpCmd& r) { return make_reply(r, 1, ok).substr(0, 8); },
    };
    for (size_t i = 0; i < bad.size(); i++) {
        peer.set_script(
            [&, i](const KcpCmd& r, int) { return std::vector<std::string>{bad[i](r)}; });
        EXPECT_FALSE(op->stop_session(kSelf, 3)) << "case " << i;
    }
    // A reply with direction 0 ends the transaction as a failure.
    peer.set_script(
        [&](const KcpCmd& r, int) { return std::vector<std::string>{make_reply(r, 1, ok, 0)}; });
    EXPECT_FALSE(op->stop_session(kSelf, 3));
    // And a good one still works.
    peer.set_script(
        [&](const KcpCmd& r, int) { return std::vector<std::string>{make_reply(r, 1, ok)}; });
    EXPECT_TRUE(op->stop_session(kSelf, 3));
}

TEST(KcpCmdOp, StartAndPropertyRepliesWithWrongPayloads) {
    ScriptedMediaPeer peer;
    auto op = op_for(peer);
    // Status not 0: failure, though the session byte is taken over.
    peer.set_script([](const KcpCmd& r, int) {
        std::string p = kStartReply;
        p[0] = 2;
        return std::vector<std::string>{make_reply(r, 0x33, p)};
    });
    auto start = op->start_session(kSelf, 3);
    EXPECT_EQ(start.code, -1);
    EXPECT_EQ(start.address, "");
    EXPECT_EQ(op->session_byte(), 0x33);

    peer.set_script([](const KcpCmd& r, int) {
        return std::vector<std::string>{make_reply(r, 1, std::string(2, '\0'))};
    });
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(op->set_property_detail(kSelf, true, true, true, 3));
    std::string log = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(log.find("[ERROR]"), std::string::npos) << log;
    EXPECT_NE(log.find("[set_property_detail] 设置媒体属性:响应包出现数据域长度错误2"),
              std::string::npos)
        << log;

    peer.set_script([](const KcpCmd& r, int) {
        return std::vector<std::string>{make_reply(r, 1, std::string(1, '\x05'))};
    });
    EXPECT_FALSE(op->set_property_detail(kSelf, true, false, true, 3));
    EXPECT_EQ(peer.requests().back().bytes[16], 5);
}

TEST(KcpCmdOpDeathTest, ProgrammingFaultsEndTheProcess) {
    ScriptedMediaPeer peer;
    auto op = op_for(peer);
    EXPECT_EXIT(op->set_property(0, 1, kSelf, {}, 0, ""), ::testing::ExitedWithCode(3),
                "\\[set_property\\]");
    EXPECT_EXIT(op->set_property(0, 1, MediaEndpoint{"camera", 1}, {}, 1, ""),
                ::testing::ExitedWithCode(3), "\\[package\\]");
    EXPECT_EXIT(op->set_property(0, 3, kSelf, std::string(58, 'x'), 1, ""),
                ::testing::ExitedWithCode(3), "\\[package\\]");
}
