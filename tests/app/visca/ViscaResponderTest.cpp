// Conversations with the camera side of VISCA: what a PTZ tool sends, what
// goes back at once and which operation the program is asked to run.
#include "app/visca/ViscaResponder.h"
#include "app/visca/ViscaReplies.h"
#include "tests/app/visca/ViscaTestBytes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

ViscaCameraState linkedCamera() {
    ViscaCameraState state;
    state.linked = true;
    state.zoomFactor = 2.25; // zoom position 2000h
    state.trackingAllowed = true;
    return state;
}

std::vector<std::string> replies(const ViscaResponse& response) {
    std::vector<std::string> out;
    for (const ViscaBytes& r : response.replies)
        out.push_back(hexText(r));
    return out;
}

using Texts = std::vector<std::string>;

struct Conversation {
    ViscaResponder responder;
    ViscaCameraState state = linkedCamera();

    ViscaResponse send(uint16_t type, uint32_t sequence, const std::string& payload) {
        const ViscaBytes d = datagram(type, sequence, payload);
        return responder.handleDatagram(d.data(), d.size(), state);
    }
    ViscaResponse send(const ViscaBytes& raw) {
        return responder.handleDatagram(raw.data(), raw.size(), state);
    }
};

} // namespace

TEST(ViscaResponder, CommandIsAcknowledgedThenCompletedUnderItsSequenceNumber) {
    Conversation c;
    for (uint32_t sequence : {0u, 0x12345678u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(sequence);
        const ViscaResponse r = c.send(visca::kCommand, sequence, "81 01 06 01 0C 17 02 01 FF");
        const ViscaBytes seq = datagram(0, sequence, "");
        const std::string seqText = hexText({seq.begin() + 4, seq.end()});
        EXPECT_EQ(replies(r), Texts{"01 11 00 03 " + seqText + " 90 41 FF"});
        ASSERT_TRUE(r.operation);
        EXPECT_EQ(r.operation->request.kind, ViscaRequestKind::PanTiltDrive);
        EXPECT_DOUBLE_EQ(r.operation->request.panTilt.pan, 0.5);
        EXPECT_DOUBLE_EQ(r.operation->request.panTilt.tilt, 1.0);
        EXPECT_EQ(hexText(ViscaResponder::completion(r.operation->token)),
                  "01 11 00 03 " + seqText + " 90 51 FF");
        EXPECT_EQ(hexText(ViscaResponder::notExecutable(r.operation->token)),
                  "01 11 00 04 " + seqText + " 90 61 41 FF");
    }
    EXPECT_EQ(c.responder.counters().messages, 3u);
    EXPECT_EQ(c.responder.counters().badTotal(), 0u);
    EXPECT_EQ(c.responder.counters().unknown, 0u);
}

TEST(ViscaResponder, EachCameraCommandAsksForItsOperation) {
    const std::pair<const char*, ViscaRequestKind> cases[] = {
        {"81 01 06 01 01 01 03 03 FF", ViscaRequestKind::PanTiltDrive},
        {"81 01 04 07 00 FF", ViscaRequestKind::Zoom},
        {"81 01 04 07 25 FF", ViscaRequestKind::Zoom},
        {"81 01 04 47 04 00 00 00 FF", ViscaRequestKind::ZoomDirect},
        {"81 01 04 18 01 FF", ViscaRequestKind::FocusOnePush},
        {"81 01 04 38 02 FF", ViscaRequestKind::FocusMode},
        {"81 01 04 38 10 FF", ViscaRequestKind::FocusMode},
        {"81 0A 11 54 02 FF", ViscaRequestKind::Tracking},
        {"81 0A 11 54 03 FF", ViscaRequestKind::Tracking},
    };
    Conversation c;
    for (const auto& command : cases) {
        SCOPED_TRACE(command.first);
        const ViscaResponse r = c.send(visca::kCommand, 0x0A, command.first);
        EXPECT_EQ(replies(r), Texts{"01 11 00 03 00 00 00 0A 90 41 FF"});
        ASSERT_TRUE(r.operation);
        EXPECT_EQ(r.operation->request.kind, command.second);
        EXPECT_TRUE(r.operation->token.datagram);
        EXPECT_EQ(r.operation->token.sequence, 0x0Au);
    }
}

TEST(ViscaResponder, CommandsAreNotExecutableWithoutACameraOrWhatTheyNeed) {
    Conversation c;
    c.state.linked = false;
    for (const char* command :
         {"81 01 06 01 18 17 01 01 FF", "81 01 04 07 02 FF", "81 01 04 47 01 00 00 00 FF",
          "81 01 04 18 01 FF", "81 01 04 38 03 FF", "81 0A 11 54 02 FF"}) {
        SCOPED_TRACE(command);
        const ViscaResponse r = c.send(visca::kCommand, 5, command);
        EXPECT_EQ(replies(r), Texts{"01 11 00 04 00 00 00 05 90 61 41 FF"});
        EXPECT_FALSE(r.operation);
    }
    // Inquiries are still answered, from the last state known.
    EXPECT_EQ(replies(c.send(visca::kInquiry, 6, "81 09 04 47 FF")),
              Texts{"01 11 00 07 00 00 00 06 90 50 02 00 00 00 FF"});

    c.state = linkedCamera();
    c.state.trackingAllowed = false;
    const ViscaResponse tracking = c.send(visca::kCommand, 7, "81 0A 11 54 02 FF");
    EXPECT_EQ(replies(tracking), Texts{"01 11 00 04 00 00 00 07 90 61 41 FF"});
    EXPECT_FALSE(tracking.operation);

    // The camera has no absolute positions to store or recall.
    c.state = linkedCamera();
    for (const char* preset :
         {"81 01 04 3F 00 01 FF", "81 01 04 3F 01 01 FF", "81 01 04 3F 02 01 FF"}) {
        const ViscaResponse r = c.send(visca::kCommand, 8, preset);
        EXPECT_EQ(replies(r), Texts{"01 11 00 04 00 00 00 08 90 61 41 FF"}) << preset;
        EXPECT_FALSE(r.operation);
    }
    EXPECT_EQ(c.responder.counters().badTotal(), 0u);
}

TEST(ViscaResponder, InquiriesAreAnsweredAtOnceWithoutAnAck) {
    const std::pair<const char*, const char*> cases[] = {
        {"81 09 04 00 FF", "01 11 00 04 00 00 01 00 90 50 02 FF"},
        {"81 09 00 02 FF", "01 11 00 0A 00 00 01 00 90 50 00 00 00 01 01 00 02 FF"},
        {"81 09 04 47 FF", "01 11 00 07 00 00 01 00 90 50 02 00 00 00 FF"},
        {"81 09 04 38 FF", "01 11 00 04 00 00 01 00 90 50 02 FF"},
        {"81 09 06 12 FF", "01 11 00 04 00 00 01 00 90 60 41 FF"},
        {"81 09 7E 7E 00 FF",
         "01 11 00 10 00 00 01 00 90 50 02 00 00 00 00 00 00 00 00 00 00 01 00 FF"},
        {"81 09 7E 7E 01 FF",
         "01 11 00 10 00 00 01 00 90 50 00 00 00 00 00 00 00 00 00 00 00 00 00 FF"},
        {"81 09 7E 7E 05 FF",
         "01 11 00 10 00 00 01 00 90 50 00 00 00 00 00 00 00 00 00 00 00 00 00 FF"},
    };
    Conversation c;
    for (const auto& inquiry : cases) {
        // Some tools send inquiries with the command payload type.
        for (uint16_t type : {visca::kInquiry, visca::kCommand}) {
            SCOPED_TRACE(std::string(inquiry.first) + " type " + std::to_string(type));
            const ViscaResponse r = c.send(type, 0x100, inquiry.first);
            EXPECT_EQ(replies(r), Texts{inquiry.second});
            EXPECT_FALSE(r.operation);
        }
    }
    c.state.zoomFactor = 3.5;
    EXPECT_EQ(replies(c.send(visca::kInquiry, 1, "81 09 04 47 FF")),
              Texts{"01 11 00 07 00 00 00 01 90 50 04 00 00 00 FF"});
    c.state.zoomFactor = 1.0;
    EXPECT_EQ(replies(c.send(visca::kInquiry, 1, "81 09 04 47 FF")),
              Texts{"01 11 00 07 00 00 00 01 90 50 00 00 00 00 FF"});
}

TEST(ViscaResponder, ResetOfTheSequenceNumberIsAnsweredInAControlReply) {
    Conversation c;
    c.send(visca::kCommand, 41, "81 01 04 07 00 FF");
    EXPECT_EQ(replies(c.send(visca::kControlCommand, 42, "01")),
              Texts{"02 01 00 01 00 00 00 2A 01"});
    EXPECT_EQ(replies(c.send(visca::kControlCommand, 0xFFFFFFFF, "01")),
              Texts{"02 01 00 01 FF FF FF FF 01"});
    // Numbering starts again; nothing is refused for its number.
    const ViscaResponse again = c.send(visca::kCommand, 0, "81 01 04 07 00 FF");
    EXPECT_EQ(replies(again), Texts{"01 11 00 03 00 00 00 00 90 41 FF"});
    EXPECT_TRUE(again.operation);
    EXPECT_EQ(replies(c.send(visca::kCommand, 0, "81 01 04 07 00 FF")),
              Texts{"01 11 00 03 00 00 00 00 90 41 FF"});
    EXPECT_EQ(c.responder.counters().badTotal(), 0u);
}

TEST(ViscaResponder, BadInputGetsASyntaxErrorIsCountedAndNeverActedOn) {
    const std::pair<ViscaBytes, ViscaError> cases[] = {
        {hex("01 00 00 03"), ViscaError::TooShort},
        {hex("01 00 00 09 00 00 00 21 81 01 04 07 00 FF"), ViscaError::BadLength},
        {hex("01 00 00 00 00 00 00 21"), ViscaError::BadLength},
        {datagram(visca::kCommand, 0x21, "81 01 04 07 00 00 00 00 00 00 00 00 00 00 00 00 FF"),
         ViscaError::BadLength},
        {datagram(0x0120, 0x21, "81 01 04 07 00 FF"), ViscaError::UnknownPayloadType},
        {datagram(visca::kCommand, 0x21, "01 04 07 00 FF"), ViscaError::BadMessage},
        {datagram(visca::kCommand, 0x21, "81 01 04 07 00"), ViscaError::BadMessage},
        {datagram(visca::kCommand, 0x21, "81 01 06 01 05 05 05 05 FF"), ViscaError::BadParameter},
    };
    Conversation c;
    for (const auto& bad : cases) {
        SCOPED_TRACE(hexText(bad.first));
        const ViscaResponse r = c.send(bad.first);
        // Without a readable header the error carries sequence number 0.
        const std::string seq = bad.second == ViscaError::TooShort ? "00 00 00 00" : "00 00 00 21";
        EXPECT_EQ(replies(r), Texts{"01 11 00 04 " + seq + " 90 60 02 FF"});
        EXPECT_FALSE(r.operation);
    }
    const ViscaCounters& n = c.responder.counters();
    EXPECT_EQ(n.messages, 8u);
    EXPECT_EQ(n.badTotal(), 8u);
    EXPECT_EQ(n.bad[static_cast<size_t>(ViscaError::TooShort)], 1u);
    EXPECT_EQ(n.bad[static_cast<size_t>(ViscaError::BadLength)], 3u);
    EXPECT_EQ(n.bad[static_cast<size_t>(ViscaError::UnknownPayloadType)], 1u);
    EXPECT_EQ(n.bad[static_cast<size_t>(ViscaError::BadMessage)], 2u);
    EXPECT_EQ(n.bad[static_cast<size_t>(ViscaError::BadParameter)], 1u);
    EXPECT_EQ(n.unknown, 0u);
}

TEST(ViscaResponder, UnknownRequestsGetASyntaxErrorAndAreCountedAsUnknown) {
    Conversation c;
    for (const char* unknown : {"81 01 04 00 02 FF", "81 01 04 08 02 FF", "81 21 FF",
                                "81 09 04 48 FF", "81 09 7E 7E 06 FF"}) {
        const ViscaResponse r = c.send(visca::kCommand, 3, unknown);
        EXPECT_EQ(replies(r), Texts{"01 11 00 04 00 00 00 03 90 60 02 FF"}) << unknown;
        EXPECT_FALSE(r.operation);
    }
    EXPECT_EQ(replies(c.send(visca::kControlCommand, 3, "05")),
              Texts{"01 11 00 04 00 00 00 03 90 60 02 FF"});
    EXPECT_EQ(c.responder.counters().unknown, 6u);
    EXPECT_EQ(c.responder.counters().badTotal(), 0u);
}

TEST(ViscaResponder, RepliesSentToTheCameraAreDroppedUnanswered) {
    // Another camera's syntax error must not start an endless exchange of
    // errors between the two.
    Conversation c;
    EXPECT_TRUE(c.send(visca::syntaxErrorDatagram(9)).replies.empty());
    EXPECT_TRUE(c.send(visca::resetReplyDatagram(9)).replies.empty());
    EXPECT_EQ(c.responder.counters().bad[static_cast<size_t>(ViscaError::NotARequest)], 2u);
}

TEST(ViscaResponder, PlainViscaStreamIsAnsweredWithBareMessages) {
    Conversation c;
    ViscaStreamSplitter splitter;
    const ViscaBytes stream = hex("81 01 04 07 27 FF 81 09 04 47 FF 81 09 04 FF"
                                  " 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10 11 FF"
                                  " 88 09 04 00 FF");
    std::vector<ViscaResponse> responses;
    for (const ViscaStreamItem& item : splitter.feed(stream.data(), stream.size()))
        responses.push_back(c.responder.handleStreamItem(item, c.state));
    ASSERT_EQ(responses.size(), 5u);
    EXPECT_EQ(replies(responses[0]), Texts{"90 41 FF"});
    ASSERT_TRUE(responses[0].operation);
    EXPECT_FALSE(responses[0].operation->token.datagram);
    EXPECT_EQ(hexText(ViscaResponder::completion(responses[0].operation->token)), "90 51 FF");
    EXPECT_EQ(hexText(ViscaResponder::notExecutable(responses[0].operation->token)), "90 61 41 FF");
    EXPECT_EQ(replies(responses[1]), Texts{"90 50 02 00 00 00 FF"});
    EXPECT_EQ(replies(responses[2]), Texts{"90 60 02 FF"}); // unknown inquiry
    EXPECT_EQ(replies(responses[3]), Texts{"90 60 02 FF"}); // overlong run
    EXPECT_EQ(replies(responses[4]), Texts{"90 50 02 FF"});
    EXPECT_EQ(c.responder.counters().unknown, 1u);
    EXPECT_EQ(c.responder.counters().bad[static_cast<size_t>(ViscaError::BadLength)], 1u);

    c.state.linked = false;
    const ViscaBytes command = hex("81 01 04 18 01 FF");
    const ViscaResponse refused =
        c.responder.handleStreamItem(splitter.feed(command.data(), command.size()).at(0), c.state);
    EXPECT_EQ(replies(refused), Texts{"90 61 41 FF"});
    EXPECT_FALSE(refused.operation);
}
