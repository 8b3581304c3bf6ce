#pragma once

#include "camera/NetworkAddresses.h"
#include "camera/StationCamera.h"
#include "hub/CameraStatus.h"
#include "hub/WorkerThread.h"

#include <QByteArray>
#include <QString>

#include <opencv2/core.hpp>

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

// Reply slot of one command: the reply parser stores the result code, sets
// `arrived` under the mutex and wakes the waiting command.
struct ReplySlot {
    int32_t result = 0;
    bool arrived = false;
    std::mutex mutex;
    std::condition_variable replied;
};

// The camera: one blocking operation per camera command (result: the reply's
// result code, or 118 when no reply came within the command's wait), and the
// connection supervisor thread that finds the camera and keeps the link up.
class Camera {
public:
    static constexpr int kNoReply = 118;

    static std::shared_ptr<Camera> instance();
    ~Camera();
    Camera(const Camera&) = delete;
    Camera& operator=(const Camera&) = delete;

    // Ends the supervisor thread: waits up to 2000 ms for it to report, then joins.
    void stop();

    // --- Command catalogue
    // A query writes its output only when a successful reply came in time;
    // after a failure code or no reply the output keeps its content.
    int probeLink();
    int announceClient(const QString& localAddress);
    int getWorkMode(uint16_t& mode);
    int setWorkMode(uint16_t mode);
    int getPhotoRatio(uint8_t& ratio);
    int setPhotoRatio(int ratio);
    int getMultiShot(uint8_t& setting);
    int setMultiShot(int setting);
    int getBurst(uint8_t& setting);
    int setBurst(int setting);
    int getResolution(uint8_t& resolution);
    int setResolution(int resolution);
    int getCameraStatus(Orun_Camera_CurrStatus& status);
    int setCapture(int value);
    int setValue601(int value);
    int setValue602(int value);
    int queryF3(std::array<int32_t, 2>& values);
    int getSdCardInfo(int32_t& state, int32_t& error);
    int focusAt(float x, float y);
    int getStationInfo(const QString& address, StationInfoBlock& block);
    int setStationInfo(const StationInfoBlock& block);
    int getWifiConfig(WifiBlock& block);
    int setWifiConfig(const WifiBlock& block);
    int setGimbalSpeed(const GimbalSpeed& speed);
    int setGimbalSetting(uint16_t setting);
    int querySdk02C(SdkRecord44& record);
    int setMirror(int value);
    int setZoom(uint8_t speed, float factor);
    int setAiFunction(uint16_t value);
    int selectTarget(float x, float y);
    int querySdk06C(GimbalStateRecord& record);

    // --- Link state shared with the receive filter, the widgets and the
    //     Wi-Fi mode switching
    std::atomic<bool> connected{false};
    std::atomic<int32_t> linkState{0}; // 0 searching, 1 connect, 2 linked (station)

    // --- Connection supervisor
    // The supervisor thread runs from construction but searches for the
    // camera only once enabled; the program enables it at start-up. A process
    // that only issues commands (a test) thus never reaches out to the
    // networks of the computer on its own.
    void enableSupervisor(bool on);
    bool supervisorEnabled() const { return supervising.load(); }

    // Camera addresses tried in hotspot mode: on the USB network link and on
    // the camera's own hotspot.
    struct HotspotAddresses {
        QString usbCamera;
        QString wifiCamera;
    };
    static constexpr const char* kDefaultUsbCamera = "192.168.88.10";
    static constexpr const char* kDefaultWifiCamera = "192.168.0.1";

    // What the supervisor needs from outside the control link; the program
    // hands it in at start-up. Empty members keep the defaults: the
    // computer's interfaces, the default hotspot addresses, and nothing for
    // the rest.
    struct SupervisorHooks {
        std::function<QList<InterfaceAddress>()> interfaces;
        // The camera's state read after the link came up.
        std::function<void()> synchronise;
        std::function<void(const std::string& cameraAddress)> startMedia;
        std::function<void()> stopMedia;
        // Called once, at the first link-up.
        std::function<void()> startDecoder;
        // The link went up or down (also when another part of the program
        // changed `connected`: the supervisor reports what it finds each cycle).
        std::function<void(bool up)> linkChanged;
        std::function<HotspotAddresses()> hotspotAddresses;
        // The picture shown while no camera is linked, for a picture layout
        // (three channels, R, G, B); an empty matrix shows nothing.
        std::function<cv::Mat(int layout)> stopPicture;
        // Station mode: the camera to link to by itself as soon as the search
        // finds it (see findStationCamera); an empty one leaves the choice to
        // the user.
        std::function<StationCamera()> rememberedCamera;
        // Station mode: the chosen camera linked.
        std::function<void(const StationCamera& camera)> stationCameraLinked;
    };
    void setSupervisorHooks(const SupervisorHooks& hooks);

    // Round trip of the last answered link probe (the supervisor's liveness
    // check, every 500 ms while linked), in microseconds; −1 before the first.
    int64_t lastProbeRoundTripUs() const { return probeRoundTripUs.load(); }

    // Last Wi-Fi mode push: the mode byte (0xFF until one came) and its value.
    uint8_t lastPushedWifiMode() const { return pushedWifiMode.load(); }
    int32_t lastPushedWifiValue() const { return pushedWifiValue.load(); }

private:
    Camera();
    friend class CameraReplyParsers;

    // Reply slots, one per command that expects a reply, in this order.
    enum SlotIndex {
        SlotProbeLink,
        SlotAnnounceClient,
        SlotFocus,
        SlotSelectTarget,
        SlotGimbalSpeed,
        SlotZoom,
        SlotCapture,
        SlotGetWorkMode,
        SlotSetWorkMode,
        SlotQueryF3,
        SlotSetBurst,
        SlotSetMultiShot,
        SlotGetBurst,
        SlotGetMultiShot,
        SlotCameraStatus,
        SlotValue601,
        SlotValue602,
        SlotSetResolution,
        SlotGetResolution,
        SlotAiFunction,
        SlotQuerySdk06C,
        SlotMirror,
        SlotGimbalSetting,
        SlotQuerySdk02C,
        SlotSdCard,
        SlotGetPhotoRatio,
        SlotSetPhotoRatio,
        SlotGetStationInfo,
        SlotSetStationInfo,
        SlotGetWifi,
        SlotSetWifi,
        SlotCount
    };

    // Sends one command frame and waits for its reply slot. `copyOut` runs
    // under the slot mutex when the reply came in time.
    int exchange(SlotIndex slot, uint8_t set, uint16_t id, const QByteArray& payload,
                 int waitSeconds, const std::function<void()>& copyOut = {},
                 const QString& address = QString());
    void supervisorLoop();
    SupervisorHooks currentHooks() const;
    void connectionAttempt(const SupervisorHooks& hooks);
    bool chooseRememberedCamera(const SupervisorHooks& hooks);
    void linkUp(const SupervisorHooks& hooks, int status);
    void showDisconnected(const SupervisorHooks& hooks);
    void livenessCheck(const SupervisorHooks& hooks);
    void linkLost(const SupervisorHooks& hooks);
    void reportLink(const SupervisorHooks& hooks);

    std::array<ReplySlot, SlotCount> replySlots;
    WorkerThread supervisor;
    std::atomic<bool> supervising{false};
    mutable std::mutex hooksMutex;
    SupervisorHooks hooks;
    int missCount = 0;           // consecutive failed liveness cycles
    bool decoderStarted = false; // the decoder controller is started once
    bool reportedLink = false;   // the link state last given to linkChanged

    // Reply data: written by the reply parsers under the slot mutex of their
    // command, copied out by the query commands under the same mutex.
    uint16_t workMode = 0xFFFF;
    std::array<int32_t, 2> valuesF3{};
    uint8_t burst = 0;
    uint8_t multiShot = 0;
    Orun_Camera_CurrStatus cameraStatus;
    uint8_t resolution = 0;
    GimbalStateRecord sdkRecord6C{};
    SdkRecord44 sdkRecord2C{};
    std::array<int32_t, 2> sdCard{};
    uint8_t photoRatio = 0;
    StationInfoBlock stationInfo{};
    WifiBlock wifiBlock{};
    std::atomic<int64_t> probeRoundTripUs{-1};
    std::atomic<uint8_t> pushedWifiMode{0xFF};
    std::atomic<int32_t> pushedWifiValue{0};
};
