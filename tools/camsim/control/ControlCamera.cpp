#include "tools/camsim/control/ControlCamera.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <deque>

namespace camsim {

namespace {

using Clock = std::chrono::steady_clock;

// Result codes the simulated camera answers with on its own.
constexpr int kBusy = 0xFC;       // still busy with the previous capture
constexpr int kBadRequest = 0x01; // payload too short for the command

void putU16(QByteArray& out, int offset, uint16_t v) {
    out[offset] = static_cast<char>(v & 0xFF);
    out[offset + 1] = static_cast<char>(v >> 8);
}

void putU32(QByteArray& out, int offset, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        out[offset + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    }
}

uint16_t getU16(const QByteArray& in, int offset) {
    return static_cast<uint16_t>(static_cast<uint8_t>(in[offset]) |
                                 (static_cast<uint8_t>(in[offset + 1]) << 8));
}

float getF32(const QByteArray& in, int offset) {
    uint32_t bits = 0;
    for (int i = 0; i < 4; ++i) {
        bits |= static_cast<uint32_t>(static_cast<uint8_t>(in[offset + i])) << (8 * i);
    }
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

QByteArray packBytes(const ControlFrame& frame) {
    QByteArray out(frame.length, '\0');
    int n = 0;
    packFrame(frame, reinterpret_cast<uint8_t*>(out.data()), n);
    out.resize(n);
    return out;
}

// Payload bytes each command needs at least.
int requiredPayload(uint16_t key) {
    switch (key) {
    case commandKey(SetUniversal, 0x020):
        return 6;
    case commandKey(SetCamera, 0x200):
    case commandKey(SetSdk, 0x029):
    case commandKey(SetSdk, 0x051):
        return 2;
    case commandKey(SetCamera, 0x210):
    case commandKey(SetCamera, 0x220):
    case commandKey(SetCamera, 0x221):
    case commandKey(SetCamera, 0x241):
    case commandKey(SetCamera, 0x600):
    case commandKey(SetCamera, 0x601):
    case commandKey(SetCamera, 0x602):
    case commandKey(SetSdk, 0x044):
        return 1;
    case commandKey(SetCamera, 0x278):
    case commandKey(SetSdk, 0x063):
        return 8;
    case commandKey(SetSdk, 0x047):
        return 5;
    case commandKey(SetSdk, 0x025):
        return 24;
    case commandKey(SetCamera, 0x351):
        return 83;
    case commandKey(SetCamera, 0x352):
        return 65;
    default:
        return 0;
    }
}

bool isCatalogueCommand(uint8_t set, uint16_t id) {
    if (set == SetFactory) {
        return true;
    }
    switch (commandKey(set, id)) {
    case commandKey(SetUniversal, 0x020):
    case commandKey(SetCamera, 0x000):
    case commandKey(SetCamera, 0x200):
    case commandKey(SetCamera, 0x010):
    case commandKey(SetCamera, 0x210):
    case commandKey(SetCamera, 0x020):
    case commandKey(SetCamera, 0x220):
    case commandKey(SetCamera, 0x021):
    case commandKey(SetCamera, 0x221):
    case commandKey(SetCamera, 0x041):
    case commandKey(SetCamera, 0x241):
    case commandKey(SetCamera, 0x1C1):
    case commandKey(SetCamera, 0x600):
    case commandKey(SetCamera, 0x601):
    case commandKey(SetCamera, 0x602):
    case commandKey(SetCamera, 0x0F3):
    case commandKey(SetCamera, 0x0F1):
    case commandKey(SetCamera, 0x278):
    case commandKey(SetCamera, 0x151):
    case commandKey(SetCamera, 0x351):
    case commandKey(SetCamera, 0x152):
    case commandKey(SetCamera, 0x352):
    case commandKey(SetSdk, 0x025):
    case commandKey(SetSdk, 0x029):
    case commandKey(SetSdk, 0x02C):
    case commandKey(SetSdk, 0x044):
    case commandKey(SetSdk, 0x047):
    case commandKey(SetSdk, 0x051):
    case commandKey(SetSdk, 0x063):
    case commandKey(SetSdk, 0x06C):
        return true;
    default:
        return false;
    }
}

int multiShotPhotos(uint8_t setting) {
    switch (setting) {
    case 1:
        return 5;
    case 2:
        return 7;
    default:
        return 3;
    }
}

int burstIntervalMs(uint8_t setting) {
    switch (setting) {
    case 1:
        return 3000;
    case 2:
        return 5000;
    case 3:
        return 10000;
    default:
        return 1000;
    }
}

bool isLoopback(const std::string& address) {
    in_addr a{};
    return inet_pton(AF_INET, address.c_str(), &a) == 1 && (ntohl(a.s_addr) >> 24) == 127;
}

bool makeAddress(const std::string& address, uint16_t port, sockaddr_in& out) {
    std::memset(&out, 0, sizeof out);
    out.sin_family = AF_INET;
    out.sin_port = htons(port);
    return inet_pton(AF_INET, address.c_str(), &out.sin_addr) == 1;
}

} // namespace

struct ControlCamera::Impl {
    // Held: a capture the test set up through updateState; its counters stay
    // as the test left them, and it runs until stopped.
    enum class Capture { None, Single, Multi, Burst, Video, Held };

    CameraConfig cfg;

    mutable std::mutex m;
    mutable std::condition_variable logCv;
    CameraState st;
    Faults faults;
    std::deque<Request> log; // oldest first, at most cfg.requestLogLimit
    int dropped = 0;
    std::string pushAddress;
    uint16_t pushPort = 0;
    std::function<void(const Request&)> observer;
    std::function<void(const CameraState&)> stateObserver;
    CameraState lastReported;
    bool reportedOnce = false;
    std::string error;

    // Capture progress
    Capture capture = Capture::None;
    uint64_t captureGen = 0; // bumped to cancel the timers of a capture
    bool capturePending = false;
    Clock::time_point captureStart;
    Clock::time_point offlineUntil;

    uint16_t pushSequence = 0;
    std::multimap<Clock::time_point, std::function<void()>> timers;

    int mainFd = -1;
    int broadcastFd = -1;
    int otherFd = -1;
    int wakeFd = -1;
    std::atomic<bool> running{false};
    std::thread worker;

    // ---- helpers below expect `m` to be held

    void wake() {
        if (wakeFd >= 0) {
            uint64_t one = 1;
            ssize_t r = ::write(wakeFd, &one, sizeof one);
            (void)r;
        }
    }

    void schedule(int delayMs, std::function<void()> fn) {
        timers.emplace(Clock::now() + std::chrono::milliseconds(delayMs), std::move(fn));
        wake();
    }

    // Gone from the network: neither replies nor pushes.
    bool offline() const { return Clock::now() < offlineUntil; }
    bool answering() const { return !faults.silent && !offline(); }

    CameraState snapshot() const {
        CameraState s = st;
        if (s.runState == 3 && (capture == Capture::Video || capture == Capture::Burst)) {
            auto ms =
                std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - captureStart)
                    .count();
            if (capture == Capture::Video) {
                s.captureTimeMs = static_cast<int32_t>(ms);
            } else {
                s.burstHalfSec = static_cast<int32_t>(ms / 500);
            }
        }
        return s;
    }

    QByteArray statusBlock() const {
        CameraState s = snapshot();
        QByteArray b(88, '\0');
        putU32(b, 0, static_cast<uint32_t>(s.temperature));
        putU32(b, 4, s.moduleFlags);
        putU32(b, 12, static_cast<uint32_t>(s.captureTimeMs));
        b[17] = static_cast<char>(s.workMode);
        b[18] = static_cast<char>(s.subMode);
        b[19] = static_cast<char>(s.runState);
        putU32(b, 20, static_cast<uint32_t>(s.shotCount));
        putU32(b, 24, static_cast<uint32_t>(s.burstHalfSec));
        return b;
    }

    // 28-byte gimbal block: byte 2 lock; byte 21 the power-on orientation,
    // which lands in byte 23 of the client's 30-byte record.
    QByteArray gimbalBlock() const {
        QByteArray b(28, '\0');
        b[2] = static_cast<char>(st.gimbalLock);
        b[21] = static_cast<char>(st.powerOnOrientation);
        return b;
    }

    QByteArray sdk44Record() const {
        QByteArray b(44, '\0');
        b[30] = static_cast<char>(st.portrait ? 1 : 0);
        return b;
    }

    QByteArray stationBlock() const {
        if (st.stationInfo.size() == 83) {
            return QByteArray(reinterpret_cast<const char*>(st.stationInfo.data()), 83);
        }
        QByteArray b(83, '\0');
        b[0] = static_cast<char>(st.wifiBlock.empty() ? 0 : st.wifiBlock[0]);
        const std::string& name = st.cameraName;
        for (size_t i = 0; i < name.size() && i < 80; ++i) {
            b[static_cast<int>(3 + i)] = name[i];
        }
        return b;
    }

    QByteArray wifiBlock() const {
        QByteArray b(65, '\0');
        for (size_t i = 0; i < st.wifiBlock.size() && i < 65; ++i) {
            b[static_cast<int>(i)] = static_cast<char>(st.wifiBlock[i]);
        }
        return b;
    }

    QByteArray fileName(bool photo, int number) const {
        char name[64];
        std::snprintf(name, sizeof name, photo ? "/DCIM/IMG_%04d.JPG" : "/DCIM/VID_%04d.MP4",
                      number);
        QByteArray b(name);
        b.append('\0');
        return b;
    }

    bool sendBytes(int fd, const QByteArray& bytes, const std::string& address, uint16_t port) {
        sockaddr_in to;
        if (fd < 0 || !makeAddress(address, port, to)) {
            return false;
        }
        ssize_t n = ::sendto(fd, bytes.constData(), static_cast<size_t>(bytes.size()), 0,
                             reinterpret_cast<sockaddr*>(&to), sizeof to);
        return n == bytes.size();
    }

    ControlFrame pushFrame(uint8_t set, uint16_t id, const QByteArray& payload) {
        ControlFrame f;
        f.senderDevice = set == SetSdk       ? DeviceSdk
                         : set == SetBattery ? DeviceBattery
                                             : DeviceCamera;
        f.receiverDevice = DeviceApp;
        f.commandSet = set;
        f.commandId = id;
        f.sequence = ++pushSequence;
        f.payload = payload;
        f.length = static_cast<uint16_t>(kFrameHeaderSize + payload.size());
        return f;
    }

    bool push(uint8_t set, uint16_t id, const QByteArray& payload, bool force = false) {
        if (pushAddress.empty() || (!force && (faults.pushesStopped || offline()))) {
            return false;
        }
        return sendBytes(mainFd, packBytes(pushFrame(set, id, payload)), pushAddress, pushPort);
    }

    void pushZoom() {
        QByteArray p(2, '\0');
        putU16(p, 0, static_cast<uint16_t>(std::lround(st.zoom * 10.0f)));
        push(SetSdk, 0x07A, p);
    }
    void pushGimbal() { push(SetSdk, 0x06A, gimbalBlock()); }
    void pushOrientation() { push(SetSdk, 0x02F, sdk44Record()); }
    void pushMirror() {
        QByteArray p(15, '\0');
        putU16(p, 12, st.mirror);
        push(SetSdk, 0x0B1, p);
    }
    void pushBattery() {
        QByteArray p(11, '\0');
        putU16(p, 0, static_cast<uint16_t>(st.batteryMillivolts));
        putU32(p, 2, static_cast<uint32_t>(-450));                 // current, mA
        putU32(p, 6, static_cast<uint32_t>(st.batteryLevel * 30)); // capacity left, mAh
        p[10] = static_cast<char>(st.batteryLevel);
        push(SetBattery, 0x040, p);
    }
    void pushPhoto() {
        ++st.photoCount;
        push(SetCamera, 0x004, fileName(true, st.photoCount));
    }
    // Sent from a timer so that it follows the reply of a stop request.
    void pushRecording() {
        ++st.recordingCount;
        const QByteArray name = fileName(false, st.recordingCount);
        schedule(0, [this, name] { push(SetCamera, 0x003, name); });
    }

    // Pushes for values that differ between two states.
    void pushChanges(const CameraState& before) {
        if (std::lround(before.zoom * 10.0f) != std::lround(st.zoom * 10.0f)) {
            pushZoom();
        }
        if (before.gimbalLock != st.gimbalLock ||
            before.powerOnOrientation != st.powerOnOrientation) {
            pushGimbal();
        }
        if (before.mirror != st.mirror) {
            pushMirror();
        }
        if (before.portrait != st.portrait) {
            pushOrientation();
        }
        if (before.batteryLevel != st.batteryLevel ||
            before.batteryMillivolts != st.batteryMillivolts) {
            pushBattery();
        }
    }

    // Applies a change made by the test, with the pushes it calls for.
    void applyChange(const std::function<void(CameraState&)>& change) {
        const CameraState before = snapshot();
        CameraState s = before;
        change(s);
        st = s;
        if (before.runState == 3 && s.runState != 3) {
            // The test ended the capture: its timers must not revive it.
            ++captureGen;
            capture = Capture::None;
        } else if (s.runState == 3 && capture == Capture::None) {
            capture = Capture::Held;
        }
        pushChanges(before);
    }

    // ---- capture state machine

    void startCapture() {
        capturePending = false;
        const uint64_t gen = ++captureGen;
        captureStart = Clock::now();
        st.runState = 3;
        st.captureTimeMs = 0;
        st.shotCount = 0;
        st.burstHalfSec = 0;
        if (st.workMode == 1) {
            capture = Capture::Video;
        } else if (st.subMode == 1) {
            capture = Capture::Burst;
            schedule(0, [this, gen] { burstShot(gen); }); // after the reply
        } else if (st.subMode == 2) {
            capture = Capture::Multi;
            const int photos = multiShotPhotos(st.multiShot);
            for (int k = 1; k <= photos; ++k) {
                schedule(k * cfg.multiShotIntervalMs, [this, gen, k, photos] {
                    if (gen != captureGen) {
                        return;
                    }
                    pushPhoto();
                    if (k == photos) {
                        st.runState = 0;
                        capture = Capture::None;
                    }
                });
            }
        } else {
            capture = Capture::Single;
            schedule(cfg.singlePhotoMs, [this, gen] {
                if (gen != captureGen) {
                    return;
                }
                pushPhoto();
                st.runState = 0;
                capture = Capture::None;
            });
        }
        if (cfg.captureLimitMs > 0 && (capture == Capture::Video || capture == Capture::Burst)) {
            schedule(cfg.captureLimitMs, [this, gen] {
                if (gen == captureGen) {
                    stopCapture();
                }
            });
        }
    }

    void burstShot(uint64_t gen) {
        if (gen != captureGen) {
            return;
        }
        ++st.shotCount;
        pushPhoto();
        schedule(burstIntervalMs(st.burst), [this, gen] { burstShot(gen); });
    }

    void stopCapture() {
        capturePending = false;
        if (capture == Capture::Single) {
            return; // a single photo always completes
        }
        const Capture was = capture;
        const bool wasRunning = st.runState == 3;
        ++captureGen;
        capture = Capture::None;
        if (!wasRunning) {
            return;
        }
        st.runState = 0;
        st.captureTimeMs = 0;
        if (was == Capture::Video || (was == Capture::Held && st.workMode == 1)) {
            pushRecording();
        }
    }

    // ---- request handling

    // Applies one request; returns the result code and fills the reply data.
    int apply(const Request& r, QByteArray& data) {
        const QByteArray& p = r.payload;
        const uint16_t key = commandKey(r.commandSet, r.commandId);
        if (p.size() < requiredPayload(key)) {
            return kBadRequest;
        }
        if (r.commandSet == SetFactory) {
            return 0;
        }
        const CameraState before = st;
        int code = 0;
        switch (key) {
        case commandKey(SetUniversal, 0x020): {
            char text[32];
            std::snprintf(text, sizeof text, "%u.%u.%u.%u", static_cast<uint8_t>(p[3]),
                          static_cast<uint8_t>(p[2]), static_cast<uint8_t>(p[1]),
                          static_cast<uint8_t>(p[0]));
            const uint16_t port = getU16(p, 4);
            // Bound to loopback, the camera never sends to another address than
            // the one the announcement came from.
            pushAddress = isLoopback(cfg.bindAddress) ? r.fromAddress : std::string(text);
            pushPort = port != 0 ? port : r.fromPort;
            break;
        }
        case commandKey(SetCamera, 0x000): {
            data = QByteArray(2, '\0');
            putU16(data, 0, static_cast<uint16_t>(st.workMode | (st.subMode << 8)));
            break;
        }
        case commandKey(SetCamera, 0x200):
            if (st.runState == 3 || capturePending) {
                code = kBusy;
            } else {
                st.workMode = static_cast<uint8_t>(p[0]);
                st.subMode = static_cast<uint8_t>(p[1]);
            }
            break;
        case commandKey(SetCamera, 0x010):
            data = QByteArray(1, static_cast<char>(st.photoRatio));
            break;
        case commandKey(SetCamera, 0x210): {
            const uint8_t v = static_cast<uint8_t>(p[0]);
            if (faults.photoRatioConfirmDelayMs > 0) {
                schedule(faults.photoRatioConfirmDelayMs, [this, v] { st.photoRatio = v; });
            } else {
                st.photoRatio = v;
            }
            break;
        }
        case commandKey(SetCamera, 0x020):
            data = QByteArray(1, static_cast<char>(st.multiShot));
            break;
        case commandKey(SetCamera, 0x220):
            st.multiShot = static_cast<uint8_t>(p[0]);
            break;
        case commandKey(SetCamera, 0x021):
            data = QByteArray(1, static_cast<char>(st.burst));
            break;
        case commandKey(SetCamera, 0x221):
            st.burst = static_cast<uint8_t>(p[0]);
            break;
        case commandKey(SetCamera, 0x041):
            data = QByteArray(1, static_cast<char>(st.resolution));
            break;
        case commandKey(SetCamera, 0x241): {
            const uint8_t v = static_cast<uint8_t>(p[0]);
            if (faults.resolutionConfirmDelayMs > 0) {
                schedule(faults.resolutionConfirmDelayMs, [this, v] { st.resolution = v; });
            } else {
                st.resolution = v;
            }
            break;
        }
        case commandKey(SetCamera, 0x1C1):
            data = statusBlock();
            break;
        case commandKey(SetCamera, 0x600): {
            const uint8_t v = static_cast<uint8_t>(p[0]);
            if (v == 0) {
                if (st.runState != 0 || capturePending) {
                    code = kBusy;
                    break;
                }
                if (faults.captureConfirmDelayMs > 0) {
                    capturePending = true;
                    const uint64_t gen = captureGen;
                    schedule(faults.captureConfirmDelayMs, [this, gen] {
                        if (gen == captureGen && capturePending) {
                            startCapture();
                        }
                    });
                } else {
                    startCapture();
                }
            } else if (v == 1) {
                if (faults.captureConfirmDelayMs > 0) {
                    schedule(faults.captureConfirmDelayMs, [this] { stopCapture(); });
                } else {
                    stopCapture();
                }
            }
            break;
        }
        case commandKey(SetCamera, 0x601):
            st.value601 = static_cast<uint8_t>(p[0]);
            break;
        case commandKey(SetCamera, 0x602):
            st.value602 = static_cast<uint8_t>(p[0]);
            break;
        case commandKey(SetCamera, 0x0F3):
            data = QByteArray(8, '\0');
            putU32(data, 0, static_cast<uint32_t>(st.valueF3[0]));
            putU32(data, 4, static_cast<uint32_t>(st.valueF3[1]));
            break;
        case commandKey(SetCamera, 0x0F1):
            data = QByteArray(8, '\0');
            putU32(data, 0, static_cast<uint32_t>(st.sdState));
            putU32(data, 4, static_cast<uint32_t>(st.sdError));
            break;
        case commandKey(SetCamera, 0x278):
            break; // focus point: nothing to keep
        case commandKey(SetCamera, 0x151):
            data = stationBlock();
            break;
        case commandKey(SetCamera, 0x351):
            st.stationInfo.assign(p.constData(), p.constData() + 83);
            break;
        case commandKey(SetCamera, 0x152):
            data = wifiBlock();
            break;
        case commandKey(SetCamera, 0x352): {
            const uint8_t oldMode = st.wifiBlock.empty() ? 0 : st.wifiBlock[0];
            st.wifiBlock.assign(p.constData(), p.constData() + 65);
            if (st.wifiBlock[0] != oldMode) {
                // The camera reports the switch on its own after the reply.
                schedule(50, [this] {
                    QByteArray n(5, '\0');
                    n[0] = static_cast<char>(st.wifiBlock[0]);
                    push(SetCamera, 0x752, n);
                });
            }
            break;
        }
        case commandKey(SetSdk, 0x025):
        case commandKey(SetSdk, 0x063):
            break; // gimbal speed and target selection leave no state
        case commandKey(SetSdk, 0x029): {
            st.lastGimbalSetting = getU16(p, 0);
            if (p[0] == 1) {
                st.portrait = p[1] != 0;
            }
            break;
        }
        case commandKey(SetSdk, 0x02C):
            data = sdk44Record();
            break;
        case commandKey(SetSdk, 0x044):
            st.mirror = static_cast<uint8_t>(p[0]);
            break;
        case commandKey(SetSdk, 0x047): {
            const float f = getF32(p, 1);
            if (std::isfinite(f)) {
                st.zoom = std::min(3.5f, std::max(1.0f, f));
            }
            break;
        }
        case commandKey(SetSdk, 0x051): {
            st.lastAiFunction = getU16(p, 0);
            const uint8_t function = static_cast<uint8_t>(p[0]);
            const uint8_t value = static_cast<uint8_t>(p[1]);
            if (function == 7) {
                st.gimbalLock = value;
            } else if (function == 8) {
                st.powerOnOrientation = value;
            }
            break;
        }
        case commandKey(SetSdk, 0x06C):
            data = gimbalBlock();
            break;
        default:
            break;
        }
        if (code == 0) {
            // Pushes for changed values leave after the reply.
            schedule(0, [this, before] { pushChanges(before); });
        }
        return code;
    }

    void sendReply(const Request& r, int code, const QByteArray& data) {
        ControlFrame f;
        f.senderDevice =
            r.receiverDevice != 0 ? r.receiverDevice : static_cast<uint8_t>(DeviceCamera);
        f.receiverDevice = r.senderDevice;
        f.commandSet = r.commandSet;
        f.commandId = r.commandId;
        f.sequence = r.sequence;
        f.payload = QByteArray(1, static_cast<char>(code & 0xFF));
        if (code == 0) {
            f.payload.append(data);
        }
        f.length = static_cast<uint16_t>(kFrameHeaderSize + f.payload.size());

        const uint16_t key = commandKey(r.commandSet, r.commandId);
        auto bad = faults.malformedReplies.find(key);
        const Malformation kind =
            bad == faults.malformedReplies.end() ? Malformation::None : bad->second;
        const std::string to = r.fromAddress;
        const uint16_t port = r.fromPort;
        std::vector<std::pair<int, QByteArray>> sends;
        if (kind == Malformation::WrongPort) {
            sends.emplace_back(otherFd, packBytes(f));
        } else if (kind != Malformation::None) {
            sends.emplace_back(mainFd, malformedBytes(f, kind));
        }
        if (kind == Malformation::None || faults.validAfterMalformed.count(key)) {
            sends.emplace_back(mainFd, packBytes(f));
        }

        auto delay = faults.replyDelaysMs.find(key);
        auto sendAll = [this, sends, to, port] {
            if (!answering()) {
                return;
            }
            for (const auto& s : sends) {
                sendBytes(s.first, s.second, to, port);
            }
        };
        if (delay != faults.replyDelaysMs.end() && delay->second > 0) {
            schedule(delay->second, sendAll);
        } else {
            sendAll();
        }
    }

    void handleDatagram(uint8_t* data, int size, const sockaddr_in& from) {
        std::function<void(const Request&)> notify;
        Request r;
        {
            std::lock_guard<std::mutex> lock(m);
            if (size < kFrameHeaderSize || size > kMaxFrameSize || !validateFrame(data, size)) {
                ++dropped;
                return;
            }
            ControlFrame f;
            unpackFrame(data, size, f);
            r.commandSet = f.commandSet;
            r.commandId = f.commandId;
            r.sequence = f.sequence;
            r.senderDevice = f.senderDevice;
            r.receiverDevice = f.receiverDevice;
            r.payload = f.payload;
            char text[INET_ADDRSTRLEN] = {};
            inet_ntop(AF_INET, &from.sin_addr, text, sizeof text);
            r.fromAddress = text;
            r.fromPort = ntohs(from.sin_port);
            r.receivedAt = Clock::now();
            log.push_back(r);
            while (cfg.requestLogLimit > 0 &&
                   log.size() > static_cast<size_t>(cfg.requestLogLimit)) {
                log.pop_front();
            }
            logCv.notify_all();
            notify = observer;

            const uint16_t key = commandKey(r.commandSet, r.commandId);
            if (answering() && !faults.silentCommands.count(key) &&
                isCatalogueCommand(r.commandSet, r.commandId)) {
                auto refused = faults.resultCodes.find(key);
                QByteArray reply;
                const int code =
                    refused != faults.resultCodes.end() ? refused->second : apply(r, reply);
                sendReply(r, code, reply);
            }
        }
        if (notify) {
            notify(r);
        }
        reportState();
    }

    // Calls the state observer (without the lock held) when a value that the
    // picture or the client's display depends on has changed.
    void reportState() {
        std::function<void(const CameraState&)> fn;
        CameraState s;
        {
            std::lock_guard<std::mutex> lock(m);
            if (!stateObserver) {
                return;
            }
            s = snapshot();
            const CameraState& o = lastReported;
            if (reportedOnce && s.workMode == o.workMode && s.subMode == o.subMode &&
                s.runState == o.runState && s.resolution == o.resolution &&
                s.photoRatio == o.photoRatio && s.mirror == o.mirror && s.zoom == o.zoom &&
                s.portrait == o.portrait && s.gimbalLock == o.gimbalLock) {
                return;
            }
            lastReported = s;
            reportedOnce = true;
            fn = stateObserver;
        }
        fn(s);
    }

    void statusTick() {
        push(SetCamera, 0x1E0, statusBlock());
        schedule(cfg.statusIntervalMs, [this] { statusTick(); });
    }

    void batteryTick() {
        pushBattery();
        schedule(cfg.batteryIntervalMs, [this] { batteryTick(); });
    }

    std::vector<uint8_t> buffer = std::vector<uint8_t>(65536);

    void drain(int fd) {
        for (;;) {
            sockaddr_in from{};
            socklen_t len = sizeof from;
            ssize_t n = ::recvfrom(fd, buffer.data(), buffer.size(), MSG_DONTWAIT,
                                   reinterpret_cast<sockaddr*>(&from), &len);
            if (n < 0) {
                return; // EAGAIN or an error: nothing more to read now
            }
            handleDatagram(buffer.data(), static_cast<int>(n), from);
        }
    }

    void run() {
        while (running) {
            int timeoutMs = 100;
            {
                std::lock_guard<std::mutex> lock(m);
                if (!timers.empty()) {
                    auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(
                                    timers.begin()->first - Clock::now())
                                    .count() +
                                1;
                    timeoutMs = static_cast<int>(
                        std::max<long long>(0, std::min<long long>(wait, timeoutMs)));
                }
            }
            pollfd fds[3];
            int count = 0;
            fds[count++] = {wakeFd, POLLIN, 0};
            fds[count++] = {mainFd, POLLIN, 0};
            if (broadcastFd >= 0) {
                fds[count++] = {broadcastFd, POLLIN, 0};
            }
            int ready = ::poll(fds, static_cast<nfds_t>(count), timeoutMs);
            if (ready > 0) {
                if (fds[0].revents & POLLIN) {
                    uint64_t v;
                    ssize_t r = ::read(wakeFd, &v, sizeof v);
                    (void)r;
                }
                for (int i = 1; i < count; ++i) {
                    if (fds[i].revents & POLLIN) {
                        drain(fds[i].fd);
                    }
                }
            }
            runDueTimers();
            reportState();
        }
    }

    void runDueTimers() {
        std::lock_guard<std::mutex> lock(m);
        const auto now = Clock::now();
        while (!timers.empty() && timers.begin()->first <= now) {
            auto fn = std::move(timers.begin()->second);
            timers.erase(timers.begin());
            fn();
        }
    }

    int openSocket(const std::string& address, uint16_t port, bool reuse) {
        sockaddr_in a;
        if (!makeAddress(address, port, a)) {
            error = "invalid address " + address;
            return -1;
        }
        int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            error = std::string("socket: ") + std::strerror(errno);
            return -1;
        }
        int on = 1;
        if (reuse) {
            ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        }
        ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
        if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
            error = "bind " + address + ":" + std::to_string(port) + ": " + std::strerror(errno);
            ::close(fd);
            return -1;
        }
        return fd;
    }

    void closeAll() {
        for (int* fd : {&mainFd, &broadcastFd, &otherFd, &wakeFd}) {
            if (*fd >= 0) {
                ::close(*fd);
                *fd = -1;
            }
        }
    }
};

ControlCamera::ControlCamera(CameraConfig config) : d(new Impl) {
    d->cfg = std::move(config);
}

ControlCamera::~ControlCamera() {
    stop();
}

bool ControlCamera::start() {
    if (d->running) {
        return true;
    }
    {
        std::lock_guard<std::mutex> lock(d->m);
        d->error.clear();
        d->mainFd = d->openSocket(d->cfg.bindAddress, kControlPort, false);
        if (d->mainFd >= 0) {
            d->otherFd = d->openSocket(d->cfg.bindAddress, 0, false);
        }
        if (d->mainFd >= 0 && d->otherFd >= 0 && !d->cfg.broadcastAddress.empty()) {
            d->broadcastFd = d->openSocket(d->cfg.broadcastAddress, kControlPort, true);
        }
        d->wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        if (d->mainFd < 0 || d->otherFd < 0 ||
            (!d->cfg.broadcastAddress.empty() && d->broadcastFd < 0) || d->wakeFd < 0) {
            if (d->error.empty()) {
                d->error = "eventfd failed";
            }
            d->closeAll();
            return false;
        }
        d->schedule(d->cfg.statusIntervalMs, [this] { d->statusTick(); });
        d->schedule(d->cfg.batteryIntervalMs, [this] { d->batteryTick(); });
    }
    d->running = true;
    d->worker = std::thread([this] { d->run(); });
    return true;
}

void ControlCamera::stop() {
    if (!d->running) {
        return;
    }
    d->running = false;
    {
        std::lock_guard<std::mutex> lock(d->m);
        d->wake();
    }
    if (d->worker.joinable()) {
        d->worker.join();
    }
    std::lock_guard<std::mutex> lock(d->m);
    d->timers.clear();
    d->closeAll();
    ++d->captureGen;
    d->capture = Impl::Capture::None;
    d->capturePending = false;
}

bool ControlCamera::isRunning() const {
    return d->running;
}

std::string ControlCamera::lastError() const {
    std::lock_guard<std::mutex> lock(d->m);
    return d->error;
}

CameraState ControlCamera::state() const {
    std::lock_guard<std::mutex> lock(d->m);
    return d->snapshot();
}

void ControlCamera::updateState(const std::function<void(CameraState&)>& change) {
    {
        std::lock_guard<std::mutex> lock(d->m);
        d->applyChange(change);
    }
    d->reportState();
}

void ControlCamera::setPushTarget(const std::string& address, uint16_t port) {
    std::lock_guard<std::mutex> lock(d->m);
    d->pushAddress = address;
    d->pushPort = port;
}

void ControlCamera::clearPushTarget() {
    setPushTarget(std::string(), 0);
}

std::pair<std::string, uint16_t> ControlCamera::pushTarget() const {
    std::lock_guard<std::mutex> lock(d->m);
    return {d->pushAddress, d->pushPort};
}

Faults ControlCamera::faults() const {
    std::lock_guard<std::mutex> lock(d->m);
    return d->faults;
}

void ControlCamera::updateFaults(const std::function<void(Faults&)>& change) {
    std::lock_guard<std::mutex> lock(d->m);
    change(d->faults);
}

void ControlCamera::clearFaults() {
    std::lock_guard<std::mutex> lock(d->m);
    d->faults = Faults();
    d->offlineUntil = Clock::time_point();
}

void ControlCamera::setSilent(bool silent) {
    updateFaults([silent](Faults& f) { f.silent = silent; });
}

void ControlCamera::setSilent(uint8_t set, uint16_t id, bool silent) {
    updateFaults([=](Faults& f) {
        if (silent) {
            f.silentCommands.insert(commandKey(set, id));
        } else {
            f.silentCommands.erase(commandKey(set, id));
        }
    });
}

void ControlCamera::setResultCode(uint8_t set, uint16_t id, int code) {
    updateFaults([=](Faults& f) {
        if (code < 0) {
            f.resultCodes.erase(commandKey(set, id));
        } else {
            f.resultCodes[commandKey(set, id)] = code;
        }
    });
}

void ControlCamera::setReplyDelay(uint8_t set, uint16_t id, int ms) {
    updateFaults([=](Faults& f) {
        if (ms <= 0) {
            f.replyDelaysMs.erase(commandKey(set, id));
        } else {
            f.replyDelaysMs[commandKey(set, id)] = ms;
        }
    });
}

void ControlCamera::setMalformedReply(uint8_t set, uint16_t id, Malformation kind, bool thenValid) {
    updateFaults([=](Faults& f) {
        const uint16_t key = commandKey(set, id);
        if (kind == Malformation::None) {
            f.malformedReplies.erase(key);
        } else {
            f.malformedReplies[key] = kind;
        }
        if (thenValid && kind != Malformation::None) {
            f.validAfterMalformed.insert(key);
        } else {
            f.validAfterMalformed.erase(key);
        }
    });
}

void ControlCamera::goOfflineFor(int ms) {
    std::lock_guard<std::mutex> lock(d->m);
    d->offlineUntil = Clock::now() + std::chrono::milliseconds(ms);
}

bool ControlCamera::sendPush(uint8_t set, uint16_t id, const QByteArray& payload) {
    std::lock_guard<std::mutex> lock(d->m);
    return d->push(set, id, payload, true);
}

bool ControlCamera::sendRaw(const QByteArray& bytes, const std::string& address, uint16_t port,
                            bool fromOtherPort) {
    std::lock_guard<std::mutex> lock(d->m);
    return d->sendBytes(fromOtherPort ? d->otherFd : d->mainFd, bytes, address, port);
}

QByteArray ControlCamera::malformedBytes(const ControlFrame& frame, Malformation kind) {
    QByteArray bytes = packBytes(frame);
    auto setLength = [&bytes](int length) {
        bytes[1] = static_cast<char>((bytes[1] & 0xF0) | ((length >> 8) & 0x0F));
        bytes[2] = static_cast<char>(length & 0xFF);
    };
    auto reseal = [&bytes] {
        bytes[6] = 0;
        bytes[7] = 0;
        const uint16_t crc =
            frameCrc16(reinterpret_cast<const uint8_t*>(bytes.constData()), bytes.size());
        bytes[6] = static_cast<char>(crc >> 8);
        bytes[7] = static_cast<char>(crc & 0xFF);
    };
    switch (kind) {
    case Malformation::None:
    case Malformation::WrongPort:
        break;
    case Malformation::Short:
        bytes.truncate(8);
        break;
    case Malformation::BadSync:
        bytes[0] = 0x55;
        reseal();
        break;
    case Malformation::BadLength:
        setLength(bytes.size() - 1);
        reseal();
        break;
    case Malformation::BadChecksum:
        bytes[7] = static_cast<char>(bytes[7] ^ 0x01);
        break;
    case Malformation::Empty:
        bytes.clear();
        break;
    }
    return bytes;
}

QByteArray ControlCamera::statusBlock() const {
    std::lock_guard<std::mutex> lock(d->m);
    return d->statusBlock();
}

std::vector<Request> ControlCamera::requests() const {
    std::lock_guard<std::mutex> lock(d->m);
    return std::vector<Request>(d->log.begin(), d->log.end());
}

void ControlCamera::clearRequests() {
    std::lock_guard<std::mutex> lock(d->m);
    d->log.clear();
}

int ControlCamera::countRequests(uint8_t set, uint16_t id) const {
    std::lock_guard<std::mutex> lock(d->m);
    int n = 0;
    for (const Request& r : d->log) {
        n += (r.commandSet == set && r.commandId == id) ? 1 : 0;
    }
    return n;
}

std::optional<Request> ControlCamera::lastRequest(uint8_t set, uint16_t id) const {
    std::lock_guard<std::mutex> lock(d->m);
    for (auto it = d->log.rbegin(); it != d->log.rend(); ++it) {
        if (it->commandSet == set && it->commandId == id) {
            return *it;
        }
    }
    return std::nullopt;
}

std::optional<Request> ControlCamera::waitForRequest(uint8_t set, uint16_t id,
                                                     int timeoutMs) const {
    std::unique_lock<std::mutex> lock(d->m);
    std::optional<Request> found;
    d->logCv.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        for (const Request& r : d->log) {
            if (r.commandSet == set && r.commandId == id) {
                found = r;
                return true;
            }
        }
        return false;
    });
    return found;
}

bool ControlCamera::waitForRequestCount(uint8_t set, uint16_t id, int count, int timeoutMs) const {
    std::unique_lock<std::mutex> lock(d->m);
    return d->logCv.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        int n = 0;
        for (const Request& r : d->log) {
            n += (r.commandSet == set && r.commandId == id) ? 1 : 0;
        }
        return n >= count;
    });
}

int ControlCamera::droppedDatagrams() const {
    std::lock_guard<std::mutex> lock(d->m);
    return d->dropped;
}

void ControlCamera::setStateObserver(std::function<void(const CameraState&)> observer) {
    {
        std::lock_guard<std::mutex> lock(d->m);
        d->stateObserver = std::move(observer);
        d->reportedOnce = false;
    }
    d->reportState();
}

void ControlCamera::pushStatusNow() {
    std::lock_guard<std::mutex> lock(d->m);
    d->push(SetCamera, 0x1E0, d->statusBlock());
}

void ControlCamera::setRequestObserver(std::function<void(const Request&)> observer) {
    std::lock_guard<std::mutex> lock(d->m);
    d->observer = std::move(observer);
}

} // namespace camsim
