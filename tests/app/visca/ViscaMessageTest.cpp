// The VISCA decoder and the replies, byte by byte.
#include "app/visca/ViscaMessage.h"
#include "app/visca/ViscaReplies.h"
#include "tests/app/visca/ViscaTestBytes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

ViscaDecoded decode(const std::string& message) {
    const ViscaBytes d = datagram(visca::kCommand, 1, message);
    return visca::decodeDatagram(d.data(), d.size());
}

} // namespace

TEST(ViscaDecoder, PanTiltSpeedsAreSignedFractionsOfTheTopSpeed) {
    struct Case {
        const char* message;
        double pan, tilt;
        uint8_t panSpeed, tiltSpeed;
    };
    const Case cases[] = {
        {"81 01 06 01 18 17 01 01 FF", -1.0, 1.0, 0x18, 0x17}, // left, up, full speed
        {"81 01 06 01 0C 17 02 02 FF", 0.5, -1.0, 0x0C, 0x17}, // right, down
        {"81 01 06 01 18 17 03 03 FF", 0.0, 0.0, 0x18, 0x17},  // stop whatever the speed
        {"81 01 06 01 18 01 03 01 FF", 0.0, 1.0 / 0x17, 0x18, 0x01},
        // Speeds outside 01..max are clamped into the range.
        {"81 01 06 01 00 00 02 01 FF", 1.0 / 0x18, 1.0 / 0x17, 0x01, 0x01},
        {"81 01 06 01 7F 7F 01 02 FF", -1.0, -1.0, 0x18, 0x17},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        const ViscaDecoded d = decode(c.message);
        ASSERT_TRUE(d.ok());
        ASSERT_EQ(d.request.kind, ViscaRequestKind::PanTiltDrive);
        const ViscaPanTilt& pt = d.request.panTilt;
        EXPECT_DOUBLE_EQ(pt.pan, c.pan);
        EXPECT_DOUBLE_EQ(pt.tilt, c.tilt);
        EXPECT_EQ(pt.panSpeed, c.panSpeed);
        EXPECT_EQ(pt.tiltSpeed, c.tiltSpeed);
        const ViscaBytes raw = hex(c.message);
        EXPECT_EQ(pt.rawPanSpeed, raw[4]);
        EXPECT_EQ(pt.rawTiltSpeed, raw[5]);
        EXPECT_EQ(pt.rawPanDirection, raw[6]);
        EXPECT_EQ(pt.rawTiltDirection, raw[7]);
    }
    for (const char* bad : {"81 01 06 01 10 10 00 03 FF", "81 01 06 01 10 10 03 04 FF"}) {
        SCOPED_TRACE(bad);
        EXPECT_EQ(decode(bad).error, ViscaError::BadParameter);
    }
}

TEST(ViscaDecoder, ZoomDriveHasADirectionAndASpeedOfZeroToSeven) {
    struct Case {
        uint8_t p;
        ViscaZoomDirection direction;
        int speed;
    };
    const Case cases[] = {
        {0x00, ViscaZoomDirection::Stop, 0},
        {0x02, ViscaZoomDirection::Tele, visca::kStandardZoomSpeed},
        {0x03, ViscaZoomDirection::Wide, visca::kStandardZoomSpeed},
        {0x20, ViscaZoomDirection::Tele, 0},
        {0x27, ViscaZoomDirection::Tele, 7},
        {0x2F, ViscaZoomDirection::Tele, 7}, // clamped
        {0x30, ViscaZoomDirection::Wide, 0},
        {0x35, ViscaZoomDirection::Wide, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.p);
        const ViscaBytes message = {0x81, 0x01, 0x04, 0x07, c.p, 0xFF};
        const ViscaDecoded d = visca::decodeMessage(message.data(), message.size());
        ASSERT_TRUE(d.ok());
        EXPECT_EQ(d.request.kind, ViscaRequestKind::Zoom);
        EXPECT_EQ(d.request.zoom.direction, c.direction);
        EXPECT_EQ(d.request.zoom.speed, c.speed);
        EXPECT_EQ(d.request.zoom.raw, c.p);
    }
    for (uint8_t p : {0x01, 0x04, 0x10, 0x40, 0x7F}) {
        const ViscaBytes message = {0x81, 0x01, 0x04, 0x07, p, 0xFF};
        EXPECT_EQ(visca::decodeMessage(message.data(), message.size()).error,
                  ViscaError::BadParameter)
            << int(p);
    }
}

TEST(ViscaDecoder, ZoomPositionsMapLinearlyOntoOneToThreeAndAHalfTimes) {
    EXPECT_DOUBLE_EQ(visca::zoomFactorOfPosition(0x0000), 1.0);
    EXPECT_DOUBLE_EQ(visca::zoomFactorOfPosition(0x2000), 2.25);
    EXPECT_DOUBLE_EQ(visca::zoomFactorOfPosition(0x4000), 3.5);
    EXPECT_DOUBLE_EQ(visca::zoomFactorOfPosition(0xFFFF), 3.5);

    EXPECT_EQ(visca::zoomPositionOfFactor(1.0), 0x0000);
    EXPECT_EQ(visca::zoomPositionOfFactor(2.25), 0x2000);
    EXPECT_EQ(visca::zoomPositionOfFactor(3.5), 0x4000);
    EXPECT_EQ(visca::zoomPositionOfFactor(0.2), 0x0000);
    EXPECT_EQ(visca::zoomPositionOfFactor(9.0), 0x4000);
    EXPECT_EQ(visca::zoomPositionOfFactor(std::numeric_limits<double>::quiet_NaN()), 0x0000);
    EXPECT_EQ(visca::zoomPositionOfFactor(std::numeric_limits<double>::infinity()), 0x4000);
    for (uint16_t p = 0; p <= visca::kMaxZoomPosition; p += 0x123)
        EXPECT_EQ(visca::zoomPositionOfFactor(visca::zoomFactorOfPosition(p)), p);

    const ViscaDecoded half = decode("81 01 04 47 02 00 00 00 FF");
    ASSERT_EQ(half.request.kind, ViscaRequestKind::ZoomDirect);
    EXPECT_EQ(half.request.zoomDirect.position, 0x2000);
    EXPECT_DOUBLE_EQ(half.request.zoomDirect.factor, 2.25);
    const ViscaDecoded over = decode("81 01 04 47 0F 0F 0F 0F FF");
    ASSERT_EQ(over.request.kind, ViscaRequestKind::ZoomDirect);
    EXPECT_EQ(over.request.zoomDirect.rawPosition, 0xFFFF);
    EXPECT_EQ(over.request.zoomDirect.position, 0x4000);
    EXPECT_DOUBLE_EQ(over.request.zoomDirect.factor, 3.5);
    EXPECT_EQ(decode("81 01 04 47 10 00 00 00 FF").error, ViscaError::BadParameter);
}

TEST(ViscaDecoder, FocusTrackingAndPresetCommands) {
    EXPECT_EQ(decode("81 01 04 18 01 FF").request.kind, ViscaRequestKind::FocusOnePush);
    EXPECT_EQ(decode("81 01 04 38 02 FF").request.focusMode, ViscaFocusMode::Auto);
    EXPECT_EQ(decode("81 01 04 38 03 FF").request.focusMode, ViscaFocusMode::Manual);
    EXPECT_EQ(decode("81 01 04 38 10 FF").request.focusMode, ViscaFocusMode::Toggle);
    EXPECT_EQ(decode("81 01 04 38 03 FF").request.kind, ViscaRequestKind::FocusMode);
    EXPECT_EQ(decode("81 01 04 38 04 FF").error, ViscaError::BadParameter);

    const ViscaDecoded on = decode("81 0A 11 54 02 FF");
    EXPECT_EQ(on.request.kind, ViscaRequestKind::Tracking);
    EXPECT_TRUE(on.request.tracking);
    EXPECT_FALSE(decode("81 0A 11 54 03 FF").request.tracking);
    EXPECT_EQ(decode("81 0A 11 54 01 FF").error, ViscaError::BadParameter);

    const ViscaDecoded recall = decode("81 01 04 3F 02 07 FF");
    EXPECT_EQ(recall.request.kind, ViscaRequestKind::Memory);
    EXPECT_EQ(recall.request.memory.action, 2);
    EXPECT_EQ(recall.request.memory.preset, 7);
    EXPECT_EQ(decode("81 01 04 3F 03 07 FF").error, ViscaError::BadParameter);

    // Every address byte 81..88 reaches the one camera.
    EXPECT_EQ(decode("88 01 04 18 01 FF").request.kind, ViscaRequestKind::FocusOnePush);
    EXPECT_EQ(decode("83 01 04 18 01 FF").request.kind, ViscaRequestKind::FocusOnePush);
}

TEST(ViscaDecoder, InquiriesAreKnownInEitherPayloadType) {
    const std::pair<const char*, ViscaRequestKind> cases[] = {
        {"81 09 04 00 FF", ViscaRequestKind::PowerInquiry},
        {"81 09 00 02 FF", ViscaRequestKind::VersionInquiry},
        {"81 09 04 47 FF", ViscaRequestKind::ZoomPositionInquiry},
        {"81 09 04 38 FF", ViscaRequestKind::FocusModeInquiry},
        {"81 09 06 12 FF", ViscaRequestKind::PanTiltPositionInquiry},
        {"81 09 7E 7E 00 FF", ViscaRequestKind::BlockInquiry},
        {"81 09 7E 7E 05 FF", ViscaRequestKind::BlockInquiry},
    };
    for (const auto& c : cases) {
        for (uint16_t type : {visca::kInquiry, visca::kCommand}) {
            SCOPED_TRACE(std::string(c.first) + " type " + std::to_string(type));
            const ViscaBytes d = datagram(type, 9, c.first);
            const ViscaDecoded decoded = visca::decodeDatagram(d.data(), d.size());
            EXPECT_TRUE(decoded.ok());
            EXPECT_EQ(decoded.request.kind, c.second);
            EXPECT_TRUE(decoded.request.isInquiry());
        }
    }
    EXPECT_EQ(decode("81 09 7E 7E 05 FF").request.block, 5);
    EXPECT_EQ(decode("81 09 7E 7E 06 FF").error, ViscaError::Unknown);
}

TEST(ViscaDecoder, MalformedInputIsRefusedWithItsReason) {
    const std::pair<ViscaBytes, ViscaError> cases[] = {
        {{}, ViscaError::TooShort},
        {hex("01 00 00 06 00 00 00"), ViscaError::TooShort},
        // The length field names more, or fewer, bytes than came.
        {hex("01 00 00 07 00 00 00 01 81 01 04 18 01 FF"), ViscaError::BadLength},
        {hex("01 00 00 05 00 00 00 01 81 01 04 18 01 FF"), ViscaError::BadLength},
        {hex("01 00 00 00 00 00 00 01"), ViscaError::BadLength},
        {datagram(visca::kCommand, 1, "81 01 04 18 01 00 00 00 00 00 00 00 00 00 00 00 FF"),
         ViscaError::BadLength}, // 17 bytes
        {datagram(0x0300, 1, "81 01 04 18 01 FF"), ViscaError::UnknownPayloadType},
        {datagram(0x0000, 1, "81 01 04 18 01 FF"), ViscaError::UnknownPayloadType},
        {datagram(visca::kReply, 1, "90 41 FF"), ViscaError::NotARequest},
        {datagram(visca::kControlReply, 1, "01"), ViscaError::NotARequest},
        {datagram(visca::kCommand, 1, "01 01 04 18 01 FF"), ViscaError::BadMessage},
        {datagram(visca::kCommand, 1, "80 01 04 18 01 FF"), ViscaError::BadMessage},
        {datagram(visca::kCommand, 1, "89 01 04 18 01 FF"), ViscaError::BadMessage},
        {datagram(visca::kCommand, 1, "81 01 04 18 01 FE"), ViscaError::BadMessage},
        {datagram(visca::kCommand, 1, "81 01 FF 18 01 FF"), ViscaError::BadMessage},
        {datagram(visca::kCommand, 1, "81 FF"), ViscaError::BadMessage},
        {datagram(visca::kCommand, 1, "FF"), ViscaError::BadMessage},
        // Well-formed, but not a request the camera knows.
        {datagram(visca::kCommand, 1, "81 01 04 00 02 FF"), ViscaError::Unknown},
        {datagram(visca::kCommand, 1, "81 21 FF"), ViscaError::Unknown},
        {datagram(visca::kCommand, 1, "81 01 04 18 01 00 FF"), ViscaError::Unknown},
        {datagram(visca::kInquiry, 1, "81 09 04 48 FF"), ViscaError::Unknown},
        {datagram(visca::kControlCommand, 1, "02"), ViscaError::Unknown},
        {datagram(visca::kControlCommand, 1, "01 01"), ViscaError::Unknown},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(hexText(c.first));
        const ViscaDecoded d = visca::decodeDatagram(c.first.data(), c.first.size());
        EXPECT_EQ(d.error, c.second);
        EXPECT_EQ(d.request.kind, ViscaRequestKind::None);
        EXPECT_EQ(d.hasHeader, c.first.size() >= visca::kHeaderSize);
    }
}

TEST(ViscaDecoder, EveryCutOfAGoodDatagramIsRefused) {
    // Each shorter copy sits in a buffer of exactly its size, so a read past
    // the end shows under the address checker.
    for (const char* message : {"81 01 06 01 18 17 01 03 FF", "81 09 7E 7E 00 FF", "01"}) {
        const ViscaBytes whole = datagram(
            message[0] == '0' ? visca::kControlCommand : visca::kCommand, 0xFFFFFFFF, message);
        ASSERT_TRUE(visca::decodeDatagram(whole.data(), whole.size()).ok()) << message;
        for (size_t n = 0; n < whole.size(); ++n) {
            const ViscaBytes cut(whole.begin(), whole.begin() + static_cast<long>(n));
            EXPECT_FALSE(visca::decodeDatagram(cut.data(), cut.size()).ok())
                << message << " cut to " << n;
        }
    }
}

TEST(ViscaReplies, AreByteExactInBothFramings) {
    const std::pair<ViscaBytes, const char*> bare[] = {
        {visca::ackMessage(), "90 41 FF"},
        {visca::completionMessage(), "90 51 FF"},
        {visca::syntaxErrorMessage(), "90 60 02 FF"},
        {visca::bufferFullMessage(), "90 60 03 FF"},
        {visca::notExecutableMessage(), "90 61 41 FF"},
        {visca::inquiryNotExecutableMessage(), "90 60 41 FF"},
        {visca::powerAnswerMessage(), "90 50 02 FF"},
        {visca::focusModeAnswerMessage(), "90 50 02 FF"},
        {visca::versionAnswerMessage(), "90 50 00 00 00 01 01 00 02 FF"},
        {visca::zoomPositionAnswerMessage(0x1234), "90 50 01 02 03 04 FF"},
        {visca::zoomPositionAnswerMessage(0x9000), "90 50 04 00 00 00 FF"},
        {visca::blockAnswerMessage(0, 0x2ABC), "90 50 02 0A 0B 0C 00 00 00 00 00 00 00 01 00 FF"},
        {visca::blockAnswerMessage(3, 0x2ABC), "90 50 00 00 00 00 00 00 00 00 00 00 00 00 00 FF"},
        {visca::inquiryAnswerMessage(ViscaBytes(20, 0x01)),
         "90 50 01 01 01 01 01 01 01 01 01 01 01 01 01 FF"},
    };
    for (const auto& c : bare)
        EXPECT_EQ(hexText(c.first), c.second);

    EXPECT_EQ(hexText(visca::ackDatagram(0xFFFFFFFF)), "01 11 00 03 FF FF FF FF 90 41 FF");
    EXPECT_EQ(hexText(visca::completionDatagram(0)), "01 11 00 03 00 00 00 00 90 51 FF");
    EXPECT_EQ(hexText(visca::syntaxErrorDatagram(0x01020304)),
              "01 11 00 04 01 02 03 04 90 60 02 FF");
    EXPECT_EQ(hexText(visca::notExecutableDatagram(7)), "01 11 00 04 00 00 00 07 90 61 41 FF");
    EXPECT_EQ(hexText(visca::inquiryNotExecutableDatagram(7)),
              "01 11 00 04 00 00 00 07 90 60 41 FF");
    EXPECT_EQ(hexText(visca::inquiryAnswerDatagram(0x80000000, {0x03})),
              "01 11 00 04 80 00 00 00 90 50 03 FF");
    EXPECT_EQ(hexText(visca::resetReplyDatagram(0xFFFFFFFF)), "02 01 00 01 FF FF FF FF 01");
}
