#include "camera/Camera.h"

#include "camera/ControlFrame.h"
#include "camera/UDPTransciever.h"

#include <QElapsedTimer>

#include <chrono>
#include <cstring>

namespace {

void appendU16(QByteArray& out, uint16_t value) {
    out.append(static_cast<char>(value & 0xFF));
    out.append(static_cast<char>(value >> 8));
}

void appendU32(QByteArray& out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8)
        out.append(static_cast<char>((value >> shift) & 0xFF));
}

void appendFloat(QByteArray& out, float value) {
    uint32_t bits = 0;
    static_assert(sizeof(bits) == sizeof(value), "float32");
    std::memcpy(&bits, &value, sizeof(bits));
    appendU32(out, bits);
}

QByteArray oneByte(int value) {
    return QByteArray(1, static_cast<char>(value & 0xFF));
}

template <typename Block> QByteArray blockBytes(const Block& block) {
    return QByteArray(reinterpret_cast<const char*>(block.data()), static_cast<int>(block.size()));
}

} // namespace

std::shared_ptr<Camera> Camera::instance() {
    // Never destroyed: the supervisor and the receive thread may use the
    // camera until the process ends.
    static auto* holder = new std::shared_ptr<Camera>(new Camera());
    return *holder;
}

Camera::Camera() {
    for (ReplySlot& slot : replySlots) {
        std::lock_guard<std::mutex> lock(slot.mutex);
        slot.arrived = false;
        slot.result = 0;
    }
    connected = false;
    linkState = 0;
    supervisor.start("orun-supervisor", [this] { supervisorLoop(); });
}

Camera::~Camera() {
    stop();
}

void Camera::stop() {
    supervisor.stop(2000);
}

int Camera::exchange(SlotIndex index, uint8_t set, uint16_t id, const QByteArray& payload,
                     int waitSeconds, const std::function<void()>& copyOut,
                     const QString& address) {
    ControlFrame frame;
    frame.sync = 0xAA;
    frame.headerNibble = 0;
    frame.flags = 0x12;
    frame.reserved = 0;
    frame.senderDevice = DeviceApp;
    frame.receiverDevice = set == SetSdk ? DeviceSdk : DeviceCamera;
    frame.commandSet = set;
    frame.commandId = id;
    frame.payload = payload;
    frame.length = static_cast<uint16_t>(kFrameHeaderSize + payload.size());

    ReplySlot& slot = replySlots[index];
    {
        std::lock_guard<std::mutex> lock(slot.mutex);
        slot.arrived = false;
    }
    UDPTransciever::instance()->sendFrame(frame, address);

    // A steady clock: a change of the wall clock must not stretch or cut the wait.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(waitSeconds);
    std::unique_lock<std::mutex> lock(slot.mutex);
    if (!slot.replied.wait_until(lock, deadline, [&] { return slot.arrived; }))
        return kNoReply;
    if (copyOut && slot.result == 0)
        copyOut();
    return slot.result;
}

int Camera::probeLink() {
    const auto sent = std::chrono::steady_clock::now();
    const int result = exchange(SlotProbeLink, SetFactory, 0x022, {}, 2);
    if (result == 0) {
        probeRoundTripUs = std::chrono::duration_cast<std::chrono::microseconds>(
                               std::chrono::steady_clock::now() - sent)
                               .count();
    }
    return result;
}

int Camera::announceClient(const QString& localAddress) {
    // The local IPv4 address with its octets reversed, then the control port.
    QByteArray payload;
    const QStringList octets = localAddress.trimmed().split(QLatin1Char('.'));
    uint8_t bytes[4] = {0, 0, 0, 0};
    if (octets.size() == 4) {
        for (int i = 0; i < 4; ++i)
            bytes[i] = static_cast<uint8_t>(octets[i].toUInt() & 0xFF);
    }
    for (int i = 3; i >= 0; --i)
        payload.append(static_cast<char>(bytes[i]));
    appendU16(payload, UDPTransciever::kLocalPort);
    return exchange(SlotAnnounceClient, SetUniversal, 0x020, payload, 1);
}

int Camera::getWorkMode(uint16_t& mode) {
    return exchange(SlotGetWorkMode, SetCamera, 0x000, {}, 5, [&] { mode = workMode; });
}

int Camera::setWorkMode(uint16_t mode) {
    QByteArray payload;
    appendU16(payload, mode);
    return exchange(SlotSetWorkMode, SetCamera, 0x200, payload, 5);
}

int Camera::getPhotoRatio(uint8_t& ratio) {
    return exchange(SlotGetPhotoRatio, SetCamera, 0x010, {}, 3, [&] { ratio = photoRatio; });
}

int Camera::setPhotoRatio(int ratio) {
    return exchange(SlotSetPhotoRatio, SetCamera, 0x210, oneByte(ratio), 2);
}

int Camera::getMultiShot(uint8_t& setting) {
    return exchange(SlotGetMultiShot, SetCamera, 0x020, {}, 2, [&] { setting = multiShot; });
}

int Camera::setMultiShot(int setting) {
    return exchange(SlotSetMultiShot, SetCamera, 0x220, oneByte(setting), 2);
}

int Camera::getBurst(uint8_t& setting) {
    return exchange(SlotGetBurst, SetCamera, 0x021, {}, 2, [&] { setting = burst; });
}

int Camera::setBurst(int setting) {
    return exchange(SlotSetBurst, SetCamera, 0x221, oneByte(setting), 2);
}

int Camera::getResolution(uint8_t& value) {
    return exchange(SlotGetResolution, SetCamera, 0x041, {}, 3, [&] { value = resolution; });
}

int Camera::setResolution(int value) {
    return exchange(SlotSetResolution, SetCamera, 0x241, oneByte(value), 2);
}

int Camera::getCameraStatus(Orun_Camera_CurrStatus& status) {
    return exchange(SlotCameraStatus, SetCamera, 0x1C1, {}, 3, [&] { status = cameraStatus; });
}

int Camera::setCapture(int value) {
    return exchange(SlotCapture, SetCamera, 0x600, oneByte(value), 5);
}

int Camera::setValue601(int value) {
    return exchange(SlotValue601, SetCamera, 0x601, oneByte(value), 3);
}

int Camera::setValue602(int value) {
    return exchange(SlotValue602, SetCamera, 0x602, oneByte(value), 3);
}

int Camera::queryF3(std::array<int32_t, 2>& values) {
    return exchange(SlotQueryF3, SetCamera, 0x0F3, {}, 2, [&] { values = valuesF3; });
}

int Camera::getSdCardInfo(int32_t& state, int32_t& error) {
    return exchange(SlotSdCard, SetCamera, 0x0F1, {}, 3, [&] {
        state = sdCard[0];
        error = sdCard[1];
    });
}

int Camera::focusAt(float x, float y) {
    QByteArray payload;
    appendFloat(payload, x);
    appendFloat(payload, y);
    return exchange(SlotFocus, SetCamera, 0x278, payload, 2);
}

int Camera::getStationInfo(const QString& address, StationInfoBlock& block) {
    return exchange(
        SlotGetStationInfo, SetCamera, 0x151, {}, 3, [&] { block = stationInfo; }, address);
}

int Camera::setStationInfo(const StationInfoBlock& block) {
    return exchange(SlotSetStationInfo, SetCamera, 0x351, blockBytes(block), 2);
}

int Camera::getWifiConfig(WifiBlock& block) {
    return exchange(SlotGetWifi, SetCamera, 0x152, {}, 3, [&] { block = wifiBlock; });
}

int Camera::setWifiConfig(const WifiBlock& block) {
    return exchange(SlotSetWifi, SetCamera, 0x352, blockBytes(block), 5);
}

int Camera::setGimbalSpeed(const GimbalSpeed& speed) {
    QByteArray payload;
    for (float f : speed.f)
        appendFloat(payload, f);
    for (int32_t i : speed.i)
        appendU32(payload, static_cast<uint32_t>(i));
    return exchange(SlotGimbalSpeed, SetSdk, 0x025, payload, 2);
}

int Camera::setGimbalSetting(uint16_t setting) {
    QByteArray payload;
    appendU16(payload, setting);
    return exchange(SlotGimbalSetting, SetSdk, 0x029, payload, 2);
}

int Camera::querySdk02C(SdkRecord44& record) {
    return exchange(SlotQuerySdk02C, SetSdk, 0x02C, {}, 3, [&] { record = sdkRecord2C; });
}

int Camera::setMirror(int value) {
    return exchange(SlotMirror, SetSdk, 0x044, oneByte(value), 2);
}

int Camera::setZoom(uint8_t speed, float factor) {
    QByteArray payload = oneByte(speed);
    appendFloat(payload, factor);
    return exchange(SlotZoom, SetSdk, 0x047, payload, 2);
}

int Camera::setAiFunction(uint16_t value) {
    QByteArray payload;
    appendU16(payload, value);
    return exchange(SlotAiFunction, SetSdk, 0x051, payload, 2);
}

int Camera::selectTarget(float x, float y) {
    QByteArray payload;
    appendFloat(payload, x);
    appendFloat(payload, y);
    return exchange(SlotSelectTarget, SetSdk, 0x063, payload, 2);
}

int Camera::querySdk06C(GimbalStateRecord& record) {
    return exchange(SlotQuerySdk06C, SetSdk, 0x06C, {}, 3, [&] { record = sdkRecord6C; });
}
