#pragma once

// camsim::ControlCamera: the simulated camera's side of the control link.
//
// It binds UDP port 9999 on a configurable IPv4 address, answers every request
// of the camera's command catalogue with a reply frame (result code first,
// then the data), keeps a plausible camera state, and sends pushes (status
// every second, zoom, gimbal, mirror, orientation, capture files, battery) to
// the client that announced itself with Universal 0x020.
//
// Typical use in a test:
//
//     camsim::ControlCamera cam;                 // 127.0.0.1:9999
//     ASSERT_TRUE(cam.start());
//     cam.updateState([](camsim::CameraState& s) { s.workMode = 1; });
//     cam.setResultCode(SetCamera, 0x241, 0xFC);  // refuse setResolution
//     ... drive the client ...
//     auto req = cam.waitForRequest(SetCamera, 0x600, 3000);
//     ASSERT_TRUE(req);
//     EXPECT_EQ(req->payload, QByteArray(1, '\0'));
//     EXPECT_EQ(cam.countRequests(SetCamera, 0x200), 0);
//
// Refusals of its own: 0xFC for a capture start while a capture runs or is
// pending and for a work-mode change during a capture; 0x01 for a request
// whose payload is too short. Commands outside the catalogue are logged and
// left unanswered; Factory commands of any id are acknowledged. Bound to a
// loopback address, pushes go to the address the announcement came from (with
// the announced port), never to the announced address itself.
//
// All members are thread-safe. The camera runs one worker thread that
// receives requests and runs its timers; stop() (or the destructor) ends it.
// Sockets are plain POSIX sockets; nothing of the client is used.

#include "camera/ControlFrame.h"

#include <QByteArray>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace camsim {

constexpr uint16_t kControlPort = 9999;

// Key of one command: command set in bits 15-12, command id in bits 11-0.
constexpr uint16_t commandKey(uint8_t set, uint16_t id) {
    return static_cast<uint16_t>(((set & 0x0F) << 12) | (id & 0x0FFF));
}

// The camera's state as the control side sees it.
struct CameraState {
    // Health and power
    int32_t temperature = 42;
    // bits 1-4: gimbal, AI, battery and lens links up; bit 9: card inserted;
    // bit 11: card state to be queried; bit 18 sensor error; bit 19 media error.
    uint32_t moduleFlags = 0x21E;
    int batteryLevel = 80; // percent, 0 means empty
    int batteryMillivolts = 7800;

    // Capture
    uint8_t workMode = 0;      // 0 photo, 1 video
    uint8_t subMode = 0;       // photo: 0 single, 1 burst, 2 multi-shot
    uint8_t runState = 0;      // 0 idle, 2 init failed, 3 capturing or recording
    int32_t captureTimeMs = 0; // video: time recorded so far (kept up to date)
    int32_t shotCount = 0;     // burst: photos taken (kept up to date)
    int32_t burstHalfSec = 0;  // burst: elapsed half seconds (kept up to date)
    uint8_t burst = 0;         // burst setting 0..3 (one shot each 1, 3, 5, 10 s)
    uint8_t multiShot = 0;     // multi-shot setting 0..2 (3, 5, 7 photos)
    int photoCount = 0;        // photo files produced so far
    int recordingCount = 0;    // recording files produced so far

    // Picture
    uint8_t resolution = 0;
    uint8_t photoRatio = 1; // 0 4:3, 1 16:9, 2 1:1
    uint8_t mirror = 0;
    float zoom = 1.0f;              // 1.0 .. 3.5
    bool portrait = false;          // gimbal setting 1
    uint8_t gimbalLock = 0;         // AI function 7
    uint8_t powerOnOrientation = 0; // AI function 8
    uint16_t lastAiFunction = 0;    // last value of setAiFunction
    uint16_t lastGimbalSetting = 0; // last value of setGimbalSetting

    // Storage card (getSdCardInfo)
    int32_t sdState = 0;
    int32_t sdError = 0;

    // Network
    std::string cameraName = "ORUN-CAMSIM";
    std::vector<uint8_t> stationInfo; // 83 bytes when set by setStationInfo, else built
    std::vector<uint8_t> wifiBlock = std::vector<uint8_t>(65, 0); // mode, name, password

    // Values without meaning to the client, stored and returned
    uint8_t value601 = 0;
    uint8_t value602 = 0;
    int32_t valueF3[2] = {0, 0};
};

// One request as received.
struct Request {
    uint8_t commandSet = 0;
    uint16_t commandId = 0;
    uint16_t sequence = 0;
    uint8_t senderDevice = 0;
    uint8_t receiverDevice = 0;
    QByteArray payload;
    std::string fromAddress; // dotted IPv4
    uint16_t fromPort = 0;
    std::chrono::steady_clock::time_point receivedAt;
};

// Ways to spoil a datagram on purpose.
enum class Malformation {
    None,
    Short,       // only the first 8 bytes
    BadSync,     // byte 0 is not 0xAA
    BadLength,   // header length one less than the datagram (checksum matches)
    BadChecksum, // checksum off by one
    Empty,       // a datagram of 0 bytes
    WrongPort,   // a valid frame sent from another port than 9999
};

struct CameraConfig {
    std::string bindAddress = "127.0.0.1";
    // Extra address to receive announcements on (a subnet broadcast address
    // inside a network namespace); empty for none. Replies still leave from
    // the main socket.
    std::string broadcastAddress;
    int statusIntervalMs = 1000;   // status push cadence
    int batteryIntervalMs = 5000;  // battery push cadence
    int singlePhotoMs = 300;       // single photo: start to photo file
    int multiShotIntervalMs = 250; // multi-shot: time between photos
    // Video and burst capture stop by themselves after this time; 0 = never.
    int captureLimitMs = 0;
    // The request log keeps this many requests (the newest); 0 = no limit.
    int requestLogLimit = 100000;
};

// Faults a test can switch on. Per-command maps are keyed by commandKey().
struct Faults {
    bool silent = false;                               // answer nothing (pushes go on)
    std::set<uint16_t> silentCommands;                 // answer nothing to these
    std::map<uint16_t, int> resultCodes;               // refuse with this code (not applied)
    std::map<uint16_t, int> replyDelaysMs;             // apply at once, reply later
    std::map<uint16_t, Malformation> malformedReplies; // send this instead of the reply
    std::set<uint16_t> validAfterMalformed; // these follow the spoiled reply by the valid one
    bool pushesStopped = false;             // no pushes at all
    // Changes of capture, resolution and photo ratio take effect this long
    // after the request; the reply itself comes at once. For a capture start
    // the run state turns 3 then (and photo files follow as usual), for a stop
    // it turns 0 then (and the recording file follows).
    int captureConfirmDelayMs = 0;
    int resolutionConfirmDelayMs = 0;
    int photoRatioConfirmDelayMs = 0;
};

class ControlCamera {
public:
    explicit ControlCamera(CameraConfig config = CameraConfig());
    ~ControlCamera();
    ControlCamera(const ControlCamera&) = delete;
    ControlCamera& operator=(const ControlCamera&) = delete;

    // Binds the sockets and starts the worker thread; false (with a reason in
    // lastError()) when a socket cannot be bound.
    bool start();
    void stop();
    bool isRunning() const;
    std::string lastError() const;

    // --- State
    CameraState state() const;
    // Changes the state; pushes follow for changed zoom, gimbal, mirror,
    // orientation and battery values.
    void updateState(const std::function<void(CameraState&)>& change);

    // --- Push target (learnt from the client announcement)
    void setPushTarget(const std::string& address, uint16_t port);
    void clearPushTarget();
    // Address and port; empty address when none is known.
    std::pair<std::string, uint16_t> pushTarget() const;

    // --- Faults
    Faults faults() const;
    void updateFaults(const std::function<void(Faults&)>& change);
    void clearFaults();
    void setSilent(bool silent);
    void setSilent(uint8_t set, uint16_t id, bool silent);
    void setResultCode(uint8_t set, uint16_t id, int code); // code < 0 removes
    void setReplyDelay(uint8_t set, uint16_t id, int ms);   // ms <= 0 removes
    void setMalformedReply(uint8_t set, uint16_t id, Malformation kind, bool thenValid = false);
    // Answers nothing and pushes nothing for `ms`, then comes back.
    void goOfflineFor(int ms);

    // --- Direct sends (for tests of the client's receive path)
    // Sends a push frame with this set, id and payload to the push target.
    bool sendPush(uint8_t set, uint16_t id, const QByteArray& payload);
    // Sends raw bytes from port 9999 (or, with fromOtherPort, from another port).
    bool sendRaw(const QByteArray& bytes, const std::string& address, uint16_t port,
                 bool fromOtherPort = false);
    // Builds the wire form of a frame spoiled as `kind`.
    static QByteArray malformedBytes(const ControlFrame& frame, Malformation kind);
    // Status block (88 bytes) of the current state.
    QByteArray statusBlock() const;
    // Sends a status push now, besides the regular ones.
    void pushStatusNow();

    // --- Request log
    std::vector<Request> requests() const;
    void clearRequests();
    int countRequests(uint8_t set, uint16_t id) const;
    std::optional<Request> lastRequest(uint8_t set, uint16_t id) const;
    // Waits until at least one request of this command is logged; returns the
    // first one logged.
    std::optional<Request> waitForRequest(uint8_t set, uint16_t id, int timeoutMs) const;
    // Waits until at least `count` requests of this command are logged.
    bool waitForRequestCount(uint8_t set, uint16_t id, int count, int timeoutMs) const;
    // Datagrams received that were not valid frames.
    int droppedDatagrams() const;
    // Called on the worker thread for every valid request (outside the lock).
    void setRequestObserver(std::function<void(const Request&)> observer);
    // Called (outside the lock) with the new state whenever work mode, run
    // state, resolution, photo ratio, mirror, zoom, orientation or gimbal lock
    // changed, and once when set; the place to steer a video source from.
    void setStateObserver(std::function<void(const CameraState&)> observer);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace camsim
