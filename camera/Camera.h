#pragma once

#include "camera/CameraStatus.h"

#include <QString>

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

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

private:
    Camera();
    friend class CameraReplyParsers;
    // (reply slots, reply data and supervisor members are added by the
    //  implementation)
};
