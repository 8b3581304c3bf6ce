#include "app/CameraStateSync.h"

#include "app/BurstCountdown.h"
#include "app/OperationHandlers.h"
#include "camera/Camera.h"
#include "hub/OrunAppFace.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>

namespace {

std::atomic<bool> syncedOnce{false};

// A burst in progress: start the countdown widget where the camera stands.
void resumeBurstCountdown(OrunAppFace* hub, const Orun_Camera_CurrStatus& status, int setting) {
    bool align = false;
    const int start = burstCountStart(burstIntervalSeconds(setting), status.iShotCount,
                                      status.iBurstHalfSec, &align);
    // The countdown ticks in whole seconds; on a half second wait for the next
    // whole one so that the widget starts in step with the camera.
    if (align)
        std::this_thread::sleep_for(std::chrono::milliseconds(470));
    emit hub->signal_startBurstCount(start, false);
    emit hub->signal_showVideoCtrlBtnStyle(true);
}

} // namespace

bool cameraStateSyncedOnce() {
    return syncedOnce.load();
}

void syncCameraState() {
    OrunAppFace* hub = OrunAppFace::instance();
    std::shared_ptr<Camera> cam = Camera::instance();

    // A camera that does not answer reads as photo mode, single, idle.
    Orun_Camera_CurrStatus status{};
    if (cam->getCameraStatus(status) == 0) {
        hub->iWorkMode = status.byWorkMode;
        hub->iWorkSubMode = status.bySubMode;
        emit hub->signal_showVideoCtrlBtnStyle(false);
    } else {
        status = Orun_Camera_CurrStatus{};
    }

    const int mode = status.byWorkMode;
    if (mode != 0) {
        if (mode == 1 && status.byRunState == 3) {
            const uint32_t ms = static_cast<uint32_t>(status.iCaptureTimeMs);
            emit hub->signal_startCountVideoTime(static_cast<int>(ms / 1000u));
            emit hub->signal_showVideoCtrlBtnStyle(true);
        }
    } else {
        if (status.bySubMode == 1) {
            uint8_t setting = 0;
            if (cam->getBurst(setting) == 0) {
                hub->iPhotoMode = 1;
                hub->iPhotoParam = setting;
            } else {
                setting = 0;
            }
            if (status.byRunState == 3)
                resumeBurstCountdown(hub, status, setting);
        } else if (status.bySubMode == 2) {
            uint8_t setting = 0;
            if (cam->getMultiShot(setting) == 0) {
                hub->iPhotoMode = 2;
                hub->iPhotoParam = setting;
            }
        }
        emit hub->signal_showPhotoModeSettingBtnStyle();
        emit hub->signal_showModeSettingUIStyle();
    }

    CaptureButtonState photo;
    photo.kind = 0;
    photo.param = hub->iPhotoParam.load();
    if (mode == 0) {
        photo.subMode = status.bySubMode;
        photo.runState = status.byRunState;
        photo.active = 1;
    }
    hub->photoBtnState.set(photo);

    CaptureButtonState video;
    video.kind = 1;
    if (mode == 1) {
        video.subMode = status.bySubMode;
        video.runState = status.byRunState;
        video.active = 1;
    }
    hub->videoBtnState.set(video);

    uint8_t resolution = 0;
    if (cam->getResolution(resolution) == 0)
        hub->iResolution = resolution;

    GimbalStateRecord gimbal{};
    if (cam->querySdk06C(gimbal) == 0) {
        hub->gimbalState.set(gimbal);
        emit hub->signal_syncGimbalLockButton();
    }

    SdkRecord44 sdk{};
    if (cam->querySdk02C(sdk) == 0)
        hub->sdkInfo2F.set(sdk);
    const bool portrait = cameraPortrait();
    hub->bPortrait = portrait;

    if (mode == 0) {
        uint8_t ratio = 0;
        if (cam->getPhotoRatio(ratio) == 0)
            hub->iScreenLayout = layoutForPhotoRatio(ratio, portrait);
    } else {
        hub->iScreenLayout = portrait ? 1 : 0;
    }
    emit hub->signal_syncScreenSize();

    // After a reconnection the video client starts over.
    if (syncedOnce.exchange(true))
        emit hub->signal_resetVideoKcpClient();

    std::this_thread::sleep_for(std::chrono::milliseconds(20));
}
