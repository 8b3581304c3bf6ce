#include "camera/ControlFrame.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

std::vector<uint8_t> packed(const ControlFrame& f) {
    std::vector<uint8_t> out(kMaxFrameSize + 1, 0xEE);
    int n = -1;
    packFrame(f, out.data(), n);
    EXPECT_EQ(n, f.length);
    out.resize(static_cast<size_t>(n));
    return out;
}

// Bit-by-bit CRC-16/USB, independent of the table-driven implementation.
uint16_t referenceCrc(const uint8_t* data, int count) {
    uint16_t crc = 0xFFFF;
    for (int i = 0; i < count; ++i) {
        crc ^= data[i];
        for (int b = 0; b < 8; ++b)
            crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : (crc >> 1);
    }
    return static_cast<uint16_t>(crc ^ 0xFFFF);
}

ControlFrame sampleFrame() {
    ControlFrame f;
    f.sequence = 0x1234;
    f.senderDevice = DeviceApp;
    f.receiverDevice = DeviceSdk;
    f.commandSet = SetSdk;
    f.commandId = 0x047;
    f.payload = QByteArray::fromHex("0100002040");
    f.length = static_cast<uint16_t>(12 + f.payload.size());
    return f;
}

} // namespace

TEST(ControlFrameCrc, CheckValueEmptyRangeAndAgreementWithBitwiseCrc) {
    const char* digits = "123456789";
    EXPECT_EQ(frameCrc16(reinterpret_cast<const uint8_t*>(digits), 9), 0xB4C8);
    EXPECT_EQ(frameCrc16(reinterpret_cast<const uint8_t*>(digits), 0), 0);
    EXPECT_EQ(frameCrc16(reinterpret_cast<const uint8_t*>(digits), -5), 0);

    // Every table entry is reached by some single byte; then random runs.
    for (int b = 0; b < 256; ++b) {
        const uint8_t one = static_cast<uint8_t>(b);
        ASSERT_EQ(frameCrc16(&one, 1), referenceCrc(&one, 1)) << b;
    }
    std::mt19937 rng(7);
    for (int round = 0; round < 200; ++round) {
        std::vector<uint8_t> data(rng() % 300 + 1);
        for (auto& d : data)
            d = static_cast<uint8_t>(rng());
        const int n = static_cast<int>(data.size());
        ASSERT_EQ(frameCrc16(data.data(), n), referenceCrc(data.data(), n));
    }
}

TEST(ControlFramePack, HeaderLayout) {
    ControlFrame empty;
    empty.commandSet = SetFactory;
    empty.commandId = 0x022;
    const auto e = packed(empty);
    ASSERT_EQ(e.size(), 12u);
    EXPECT_EQ(e[0], 0xAA);
    EXPECT_EQ(e[1], 0x00);
    EXPECT_EQ(e[2], 0x0C);
    EXPECT_EQ(e[3], 0x12);
    EXPECT_EQ(e[9], 0x51);
    EXPECT_EQ(e[10], 0x60);
    EXPECT_EQ(e[11], 0x22);

    ControlFrame f;
    f.commandSet = SetCamera;
    f.commandId = 0x752;
    f.sequence = 0xBEEF;
    f.headerNibble = 0x3;
    f.reserved = 0x5A;
    f.payload = QByteArray(300, 'x');
    f.length = 312;
    const auto p = packed(f);
    EXPECT_EQ(p[1], 0x31); // nibble 3, length bits 11-8 = 1
    EXPECT_EQ(p[2], 0x38); // 312 = 0x138
    EXPECT_EQ(p[4], 0xBE);
    EXPECT_EQ(p[5], 0xEF);
    EXPECT_EQ(p[8], 0x5A);
    EXPECT_EQ(p[10], 0x17);
    EXPECT_EQ(p[11], 0x52);
    EXPECT_EQ(p[12], 'x');
    EXPECT_EQ(p[311], 'x');

    // The checksum covers the whole frame with bytes 6-7 zero, big-endian.
    auto zeroed = p;
    zeroed[6] = zeroed[7] = 0;
    const uint16_t crc = referenceCrc(zeroed.data(), static_cast<int>(zeroed.size()));
    EXPECT_EQ(p[6], crc >> 8);
    EXPECT_EQ(p[7], crc & 0xFF);
}

TEST(ControlFramePack, PayloadShorterThanLengthIsPaddedNotOverread) {
    ControlFrame f;
    f.payload = QByteArray("ab");
    f.length = 20;
    const auto p = packed(f);
    ASSERT_EQ(p.size(), 20u);
    EXPECT_EQ(p[12], 'a');
    EXPECT_EQ(p[13], 'b');
    for (size_t i = 14; i < 20; ++i)
        EXPECT_EQ(p[i], 0) << i;
    auto copy = p;
    EXPECT_TRUE(validateFrame(copy.data(), 20));
}

TEST(ControlFrameValidate, RejectsMalformedDatagrams) {
    const auto good = packed(sampleFrame());
    const int n = static_cast<int>(good.size());

    auto ok = good;
    EXPECT_TRUE(validateFrame(ok.data(), n));
    EXPECT_EQ(ok[6], 0);
    EXPECT_EQ(ok[7], 0);

    // Too short, wrong sync byte: rejected before the checksum is touched.
    auto shortOne = good;
    EXPECT_FALSE(validateFrame(shortOne.data(), 11));
    EXPECT_EQ(shortOne[6], good[6]);
    auto badSync = good;
    badSync[0] = 0xAB;
    EXPECT_FALSE(validateFrame(badSync.data(), n));
    EXPECT_EQ(badSync[7], good[7]);

    // Header length one off the datagram size, either way.
    auto longer = good;
    longer.push_back(0);
    EXPECT_FALSE(validateFrame(longer.data(), n + 1));
    auto shorter = good;
    EXPECT_FALSE(validateFrame(shorter.data(), n - 1));

    // Flipping any bit outside the checksum bytes breaks validation, and the
    // checksum bytes end up zero whatever the outcome.
    for (int byte = 0; byte < n; ++byte) {
        if (byte == 0 || byte == 2 || byte == 6 || byte == 7)
            continue; // sync and length bytes are rejected earlier
        for (int bit = byte == 1 ? 4 : 0; bit < 8; ++bit) {
            auto bad = good;
            bad[byte] ^= static_cast<uint8_t>(1 << bit);
            ASSERT_FALSE(validateFrame(bad.data(), n)) << byte << ":" << bit;
            ASSERT_EQ(bad[6], 0);
            ASSERT_EQ(bad[7], 0);
        }
    }
    // A modified frame with its checksum recomputed passes again.
    auto modified = good;
    modified[13] ^= 0x40;
    modified[6] = modified[7] = 0;
    const uint16_t crc = frameCrc16(modified.data(), n);
    modified[6] = static_cast<uint8_t>(crc >> 8);
    modified[7] = static_cast<uint8_t>(crc & 0xFF);
    EXPECT_TRUE(validateFrame(modified.data(), n));

    // Only the lower nibble of byte 1 belongs to the length.
    ControlFrame nibble = sampleFrame();
    nibble.headerNibble = 0xF;
    auto withNibble = packed(nibble);
    EXPECT_EQ(withNibble[1] & 0xF0, 0xF0);
    EXPECT_TRUE(validateFrame(withNibble.data(), n));
}

TEST(ControlFrameRoundTrip, RandomFramesSurvivePackValidateUnpack) {
    std::mt19937 rng(20261208);
    for (int round = 0; round < 3000; ++round) {
        ControlFrame f;
        f.headerNibble = rng() & 0x0F;
        f.flags = static_cast<uint8_t>(rng());
        f.sequence = static_cast<uint16_t>(rng());
        f.reserved = static_cast<uint8_t>(rng());
        f.senderDevice = rng() & 0x0F;
        f.receiverDevice = rng() & 0x0F;
        f.commandSet = rng() & 0x0F;
        f.commandId = rng() & 0x0FFF;
        const int size = (round % 10 == 0) ? 0 : static_cast<int>(rng() % (kMaxFrameSize - 11));
        f.payload.resize(size);
        for (int i = 0; i < size; ++i)
            f.payload[i] = static_cast<char>(rng());
        f.length = static_cast<uint16_t>(12 + size);

        auto bytes = packed(f);
        ASSERT_TRUE(validateFrame(bytes.data(), f.length)) << round;
        ControlFrame back;
        back.payload = QByteArray("stale");
        unpackFrame(bytes.data(), f.length, back);
        ASSERT_EQ(back.sync, 0xAA);
        ASSERT_EQ(back.headerNibble, f.headerNibble);
        ASSERT_EQ(back.length, f.length);
        ASSERT_EQ(back.flags, f.flags);
        ASSERT_EQ(back.sequence, f.sequence);
        ASSERT_EQ(back.reserved, f.reserved);
        ASSERT_EQ(back.senderDevice, f.senderDevice);
        ASSERT_EQ(back.receiverDevice, f.receiverDevice);
        ASSERT_EQ(back.commandSet, f.commandSet);
        ASSERT_EQ(back.commandId, f.commandId);
        ASSERT_EQ(back.payload, f.payload) << round;
    }
}

TEST(ControlFrameText, TablesHexListsAndFlags) {
    EXPECT_EQ(deviceIdText(15), " (BroadCast) ");
    EXPECT_EQ(deviceIdText(7), " (Unknown Device) ");
    EXPECT_EQ(deviceIdText(0x103), " (SDK) "); // low 8 bits only
    EXPECT_EQ(deviceIdText(6), " (PC) ");
    EXPECT_EQ(commandSetText(6), " (Factory) ");
    EXPECT_EQ(commandSetText(5), " (InterAct) ");
    EXPECT_EQ(commandSetText(9), " (Unknown CommandSet) ");
    EXPECT_EQ(cameraResultText(0xFE), QString::fromUtf8("拍照超时"));
    EXPECT_EQ(cameraResultText(0xFC), QString::fromUtf8("LCA 正在处理上一条命令"));
    EXPECT_TRUE(cameraResultText(0).isEmpty());
    EXPECT_TRUE(cameraResultText(118).isEmpty());

    EXPECT_EQ(hex16Text(0x0A5F), "0x0A5F");
    EXPECT_EQ(hex16Text(0), "0x0000");
    EXPECT_EQ(hexByteText(0xC3), "C3");
    EXPECT_EQ(hexByte0xText(0x07), "0x07");
    EXPECT_EQ(intListText({}), "[]");
    EXPECT_EQ(intListText({1, -20, 300}), "[1, -20, 300]");
    EXPECT_EQ(boolText(true), "true");
    EXPECT_EQ(boolText(false), "false");

    ControlFrame f;
    f.flags = 0x12;
    EXPECT_EQ(flagBit1(f), 1);
    EXPECT_EQ(flagBit0Clear(f), 1);
    EXPECT_EQ(flagBit0(f), 0);
    f.flags = 0x01;
    EXPECT_EQ(flagBit1(f), 0);
    EXPECT_EQ(flagBit0Clear(f), 0);
    EXPECT_EQ(flagBit0(f), 1);
}
