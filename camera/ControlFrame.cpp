#include "camera/ControlFrame.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

// The two byte tables of the table-driven Modbus CRC. Entry i of the 16-bit
// reflected CRC (polynomial 0xA001) of the single byte i is split: its low
// byte goes to the "high-order" table and its high byte to the "low-order"
// table, which is how the byte-pair register of the Modbus algorithm uses them.
struct CrcTables {
    std::array<uint8_t, 256> high{};
    std::array<uint8_t, 256> low{};
};

constexpr CrcTables buildCrcTables() {
    CrcTables t;
    for (int i = 0; i < 256; ++i) {
        uint16_t crc = static_cast<uint16_t>(i);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : (crc >> 1);
        t.high[i] = static_cast<uint8_t>(crc & 0xFF);
        t.low[i] = static_cast<uint8_t>(crc >> 8);
    }
    return t;
}

constexpr CrcTables kCrcTables = buildCrcTables();
static_assert(kCrcTables.high[1] == 0xC1 && kCrcTables.high[2] == 0x81 &&
                  kCrcTables.high[3] == 0x40,
              "high-order CRC table");
static_assert(kCrcTables.low[1] == 0xC0 && kCrcTables.low[2] == 0xC1 && kCrcTables.low[3] == 0x01,
              "low-order CRC table");

const char kHexDigits[] = "0123456789ABCDEF";

} // namespace

uint16_t frameCrc16(const uint8_t* data, int count) {
    if (count <= 0 || data == nullptr)
        return 0;
    uint8_t a = 0xFF;
    uint8_t b = 0xFF;
    for (int i = 0; i < count; ++i) {
        const uint8_t index = a ^ data[i];
        a = b ^ kCrcTables.high[index];
        b = kCrcTables.low[index];
    }
    return static_cast<uint16_t>(~((b << 8) | a));
}

void packFrame(const ControlFrame& frame, uint8_t* out, int& outLength) {
    const int length = frame.length;
    out[0] = frame.sync;
    out[1] = static_cast<uint8_t>((frame.headerNibble << 4) + ((length >> 8) & 0x0F));
    out[2] = static_cast<uint8_t>(length & 0xFF);
    out[3] = frame.flags;
    out[4] = static_cast<uint8_t>(frame.sequence >> 8);
    out[5] = static_cast<uint8_t>(frame.sequence & 0xFF);
    out[6] = 0;
    out[7] = 0;
    out[8] = frame.reserved;
    out[9] = static_cast<uint8_t>((frame.senderDevice << 4) + (frame.receiverDevice & 0x0F));
    out[10] = static_cast<uint8_t>((frame.commandSet << 4) + ((frame.commandId >> 8) & 0x0F));
    out[11] = static_cast<uint8_t>(frame.commandId & 0xFF);
    if (length > kFrameHeaderSize) {
        // Never read past the record's payload: a payload shorter than the
        // length says is padded with zeros.
        const int wanted = length - kFrameHeaderSize;
        const int have = std::min(wanted, static_cast<int>(frame.payload.size()));
        if (have > 0)
            std::memcpy(out + kFrameHeaderSize, frame.payload.constData(), have);
        if (wanted > have)
            std::memset(out + kFrameHeaderSize + have, 0, wanted - have);
    }
    outLength = length;
    const uint16_t crc = frameCrc16(out, length);
    out[6] = static_cast<uint8_t>(crc >> 8);
    out[7] = static_cast<uint8_t>(crc & 0xFF);
}

bool validateFrame(uint8_t* data, int size) {
    if (data == nullptr || size < kFrameHeaderSize || data[0] != 0xAA)
        return false;
    const int headerLength = ((data[1] & 0x0F) << 8) + data[2];
    if (headerLength != size)
        return false;
    const uint16_t stored = static_cast<uint16_t>((data[6] << 8) | data[7]);
    data[6] = 0;
    data[7] = 0;
    return frameCrc16(data, size) == stored;
}

void unpackFrame(const uint8_t* data, int size, ControlFrame& frame) {
    frame.headerNibble = data[1] >> 4;
    frame.length = static_cast<uint16_t>(size);
    frame.flags = data[3];
    frame.sequence = static_cast<uint16_t>(data[4] * 256 + data[5]);
    frame.reserved = data[8];
    frame.senderDevice = data[9] >> 4;
    frame.receiverDevice = data[9] & 0x0F;
    frame.commandSet = data[10] >> 4;
    frame.commandId = static_cast<uint16_t>(((data[10] & 0x0F) << 8) + data[11]);
    if (size > kFrameHeaderSize)
        frame.payload = QByteArray(reinterpret_cast<const char*>(data) + kFrameHeaderSize,
                                   size - kFrameHeaderSize);
    else
        frame.payload.clear();
}

int flagBit1(const ControlFrame& frame) {
    return (frame.flags >> 1) & 1;
}

int flagBit0Clear(const ControlFrame& frame) {
    return (frame.flags & 1) ? 0 : 1;
}

int flagBit0(const ControlFrame& frame) {
    return frame.flags & 1;
}

QString deviceIdText(int id) {
    switch (id & 0xFF) {
    case DeviceCamera:
        return QStringLiteral(" (Camera) ");
    case DeviceGimbal:
        return QStringLiteral(" (Gimbal) ");
    case DeviceSdk:
        return QStringLiteral(" (SDK) ");
    case DeviceBattery:
        return QStringLiteral(" (Battery) ");
    case DeviceApp:
        return QStringLiteral(" (App) ");
    case DevicePc:
        return QStringLiteral(" (PC) ");
    case DeviceBroadCast:
        return QStringLiteral(" (BroadCast) ");
    default:
        return QStringLiteral(" (Unknown Device) ");
    }
}

QString commandSetText(int set) {
    switch (set & 0xFF) {
    case SetUniversal:
        return QStringLiteral(" (Universal) ");
    case SetCamera:
        return QStringLiteral(" (Camera) ");
    case SetGimbal:
        return QStringLiteral(" (Gimbal) ");
    case SetSdk:
        return QStringLiteral(" (SDK) ");
    case SetBattery:
        return QStringLiteral(" (Battery) ");
    case SetInterAct:
        return QStringLiteral(" (InterAct) ");
    case SetFactory:
        return QStringLiteral(" (Factory) ");
    default:
        return QStringLiteral(" (Unknown CommandSet) ");
    }
}

QString cameraResultText(int code) {
    switch (code) {
    case 0x80:
        return QString::fromUtf8("图像自检失败");
    case 0xC0:
        return QString::fromUtf8("镜头驱动板启动失败");
    case 0xE0:
        return QString::fromUtf8("EEPROM 自检失败");
    case 0xFA:
        return QString::fromUtf8("对焦结果不可用，重装 sensor");
    case 0xFC:
        return QString::fromUtf8("LCA 正在处理上一条命令");
    case 0xFE:
        return QString::fromUtf8("拍照超时");
    case 0xFF:
        return QString::fromUtf8("LCA 未初识化完成");
    default:
        return QString();
    }
}

QString hexByteText(uint8_t value) {
    QString text;
    text.append(QLatin1Char(kHexDigits[value >> 4]));
    text.append(QLatin1Char(kHexDigits[value & 0x0F]));
    return text;
}

QString hexByte0xText(uint8_t value) {
    return QStringLiteral("0x") + hexByteText(value);
}

QString hex16Text(uint16_t value) {
    return QStringLiteral("0x") + hexByteText(static_cast<uint8_t>(value >> 8)) +
           hexByteText(static_cast<uint8_t>(value & 0xFF));
}

QString intListText(const QList<int32_t>& values) {
    QString text = QStringLiteral("[");
    for (int i = 0; i < values.size(); ++i) {
        if (i > 0)
            text += QStringLiteral(", ");
        text += QString::number(values[i]);
    }
    text += QLatin1Char(']');
    return text;
}

QString boolText(bool value) {
    return value ? QStringLiteral("true") : QStringLiteral("false");
}
