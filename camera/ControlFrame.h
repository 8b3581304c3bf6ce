#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>

// Device ids of the control link.
enum DeviceId : uint8_t {
    DeviceCamera = 1,
    DeviceGimbal = 2,
    DeviceSdk = 3,
    DeviceBattery = 4,
    DeviceApp = 5,
    DevicePc = 6,
    DeviceBroadCast = 15,
};

// Command sets of the control link.
enum CommandSet : uint8_t {
    SetUniversal = 0,
    SetCamera = 1,
    SetGimbal = 2,
    SetSdk = 3,
    SetBattery = 4,
    SetInterAct = 5,
    SetFactory = 6,
};

constexpr int kFrameHeaderSize = 12;
constexpr int kMaxFrameSize = 1023;

// One control frame: a 12-byte header, then the payload.
struct ControlFrame {
    uint8_t sync = 0xAA;
    uint8_t headerNibble = 0;
    uint16_t length = 12; // whole frame, header included
    uint8_t flags = 0x12;
    uint16_t sequence = 0;
    uint16_t crc = 0; // not used: packing computes the checksum into the wire bytes
    uint8_t reserved = 0;
    uint8_t senderDevice = DeviceApp;
    uint8_t receiverDevice = DeviceCamera;
    uint8_t commandSet = SetUniversal;
    uint16_t commandId = 0;
    QByteArray payload;
};

// Writes the wire form of `frame` into `out` (at least frame.length bytes),
// sets `outLength` to frame.length and stores the checksum in bytes 6-7.
void packFrame(const ControlFrame& frame, uint8_t* out, int& outLength);
// Fills `frame` from a datagram that validateFrame accepted.
void unpackFrame(const uint8_t* data, int size, ControlFrame& frame);
// Accepts a received datagram; zeroes bytes 6-7 of the buffer whatever the outcome
// once the checksum is reached.
bool validateFrame(uint8_t* data, int size);
// CRC-16/USB over `count` bytes; 0 for a count of 0 or less.
uint16_t frameCrc16(const uint8_t* data, int count);

int flagBit1(const ControlFrame& frame);
int flagBit0Clear(const ControlFrame& frame);
int flagBit0(const ControlFrame& frame);

QString deviceIdText(int id);
QString commandSetText(int set);
QString cameraResultText(int code);
QString hex16Text(uint16_t value);
QString hexByteText(uint8_t value);
QString hexByte0xText(uint8_t value);
QString intListText(const QList<int32_t>& values);
QString boolText(bool value);
