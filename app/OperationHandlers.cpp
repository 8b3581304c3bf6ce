#include "app/OperationHandlers.h"

#include "app/DeviceMessages.h"
#include "app/ManualControl.h"
#include "camera/Camera.h"
#include "hub/OrunAppFace.h"

#include <QDebug>
#include <QElapsedTimer>

#include <chrono>
#include <cstring>
#include <thread>

namespace {

// Confirmation loops give up once this much time has passed.
constexpr qint64 kConfirmLimitMs = 5999;
constexpr auto kConfirmStep = std::chrono::milliseconds(1000);

// Confirmation loops look at the camera once a second. The limit is tested
// after each look, so the last look happens just after the limit and a change
// that lands late in the window is still seen.
bool confirmationTimedOut(const QElapsedTimer& timer, int& ec) {
    if (timer.elapsed() > kConfirmLimitMs) {
        ec = -1;
        return true;
    }
    std::this_thread::sleep_for(kConfirmStep);
    return false;
}

void sleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

std::shared_ptr<Camera> camera() {
    return Camera::instance();
}

uint16_t lowHigh(int low, int high) {
    return static_cast<uint16_t>((low & 0xFF) | ((high & 0xFF) << 8));
}

// Text of a fixed-size byte field: up to the first zero byte, as UTF-8.
QString fieldText(const uint8_t* bytes, std::size_t size) {
    std::size_t len = 0;
    while (len < size && bytes[len] != 0)
        ++len;
    return QString::fromUtf8(reinterpret_cast<const char*>(bytes), static_cast<int>(len));
}

void focus(int& ec) {
    const QPointF p = OrunAppFace::instance()->ptFocus.get();
    ec = camera()->focusAt(static_cast<float>(p.x()), static_cast<float>(p.y()));
}

void selectTarget(int& ec) {
    const QPointF p = OrunAppFace::instance()->ptSelect.get();
    ec = camera()->selectTarget(static_cast<float>(p.x()), static_cast<float>(p.y()));
}

void gimbalMotion(int& ec) {
    OrunAppFace* hub = OrunAppFace::instance();
    // Manual motion ends any tracking first.
    ec = camera()->setAiFunction(0);
    // The drag keeps the loop going; closing the program ends it too, so a
    // drag that never saw its release cannot hold up the shutdown.
    while (hub->bGimbalMoving.load() && hub->uiActive.load()) {
        ec = camera()->setGimbalSpeed(hub->gimbalSpeed.get());
        sleepMs(hub->iGimbalPeriodMs.load());
    }
}

void zoom(int& ec) {
    OrunAppFace* hub = OrunAppFace::instance();
    const float rate = hub->fZoomRate.load();
    if (rate >= manual::kMinZoom && rate <= manual::kMaxZoom)
        ec = camera()->setZoom(hub->iZoomSpeed.load(), rate);
}

void workMode(int& ec) {
    OrunAppFace* hub = OrunAppFace::instance();
    uint16_t current = 0;
    ec = camera()->getWorkMode(current);
    if (ec != 0)
        return;
    const uint16_t wanted = lowHigh(hub->iWorkMode.load(), hub->iWorkSubMode.load());
    if (current == wanted) {
        ec = 0;
        return;
    }
    ec = camera()->setWorkMode(wanted);
}

// Burst parameter (code 5) and multi-shot interval (code 6) share one shape.
void photoParameter(int& ec, bool burst) {
    OrunAppFace* hub = OrunAppFace::instance();
    uint8_t current = 0;
    ec = burst ? camera()->getBurst(current) : camera()->getMultiShot(current);
    if (ec != 0)
        return;
    if (hub->iPhotoMode.load() != (burst ? 1 : 2)) {
        ec = -1;
        return;
    }
    const int wanted = hub->iPhotoParam.load();
    if (current == static_cast<uint8_t>(wanted)) {
        ec = 0;
        return;
    }
    ec = burst ? camera()->setBurst(wanted & 0xFF) : camera()->setMultiShot(wanted & 0xFF);
}

int queryStatus(Orun_Camera_CurrStatus& status) {
    // A failed query leaves the record zeroed: photo mode, single, idle.
    status = Orun_Camera_CurrStatus{};
    return camera()->getCameraStatus(status);
}

int expectedMultiShotCount(int param) {
    switch (param) {
    case 0:
        return 3;
    case 1:
        return 5;
    case 2:
        return 7;
    default:
        return 0;
    }
}

void toIdle(int& ec) {
    Orun_Camera_CurrStatus status;
    ec = queryStatus(status);
    if (ec != 0)
        return;
    if (status.byRunState == 0) {
        ec = 0;
    } else if (status.byRunState == 3) {
        const bool stoppable =
            status.byWorkMode == 1 ||
            (status.byWorkMode == 0 && (status.bySubMode == 1 || status.bySubMode == 2));
        if (stoppable)
            switchCapture(true, ec);
        else
            ec = 0; // a single photo finishes by itself
    } else {
        ec = -1; // between states: nothing can be done now
    }
}

// Codes 8 and 10: start a capture when idle, stop the running one otherwise.
void shutter(int& ec) {
    Orun_Camera_CurrStatus status;
    ec = queryStatus(status);
    if (ec != 0)
        return;
    if (status.byRunState == 3) {
        switchCapture(true, ec);
        if (ec == 0)
            ec = -1; // stopped, nothing new started
    } else if (status.byRunState == 0) {
        switchCapture(false, ec);
    } else {
        ec = -1;
    }
}

// Codes 9 and 11.
void stopCapture(int& ec) {
    Orun_Camera_CurrStatus status;
    ec = queryStatus(status);
    if (ec != 0)
        return;
    if (status.byRunState == 3)
        switchCapture(true, ec);
    else
        ec = 0;
}

void resolution(int& ec) {
    OrunAppFace* hub = OrunAppFace::instance();
    const uint8_t wanted = static_cast<uint8_t>(hub->iResolution.load());
    uint8_t current = 0;
    ec = camera()->getResolution(current);
    if (ec != 0)
        return;
    if (current == wanted) {
        ec = 0;
        return;
    }
    ec = camera()->setResolution(wanted);
    if (ec != 0)
        return;
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        current = 0;
        if (camera()->getResolution(current) == 0 && current == wanted) {
            ec = 0;
            return;
        }
        if (confirmationTimedOut(timer, ec))
            return;
    }
}

void aiFunction(int& ec) {
    OrunAppFace* hub = OrunAppFace::instance();
    ec = camera()->setAiFunction(lowHigh(hub->iAiMode.load(), hub->iAiValue.load()));
}

void mirror(int& ec) {
    ec = camera()->setMirror(OrunAppFace::instance()->iMirror.load());
}

void gimbalSetting(int& ec) {
    OrunAppFace* hub = OrunAppFace::instance();
    ec = camera()->setGimbalSetting(
        lowHigh(hub->iGimbalSetItem.load(), hub->iGimbalSetValue.load()));
}

void screenLayout(int& ec) {
    OrunAppFace* hub = OrunAppFace::instance();
    Orun_Camera_CurrStatus status;
    ec = queryStatus(status); // a failed query reads as photo mode
    const bool portrait = cameraPortrait();
    if (status.byWorkMode != 0) {
        hub->iScreenLayout = portrait ? 1 : 0;
        return;
    }
    uint8_t ratio = 0;
    ec = camera()->getPhotoRatio(ratio);
    if (ec == 0)
        hub->iScreenLayout = layoutForPhotoRatio(ratio, portrait);
}

void photoRatio(int& ec) {
    OrunAppFace* hub = OrunAppFace::instance();
    const uint8_t wanted = static_cast<uint8_t>(hub->iPhotoRatio.load());
    // The camera confirms through the query below, so the set result is not needed.
    camera()->setPhotoRatio(wanted);
    sleepMs(300);
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        uint8_t current = 0;
        if (camera()->getPhotoRatio(current) == 0 && current == wanted) {
            ec = 0;
            return;
        }
        if (confirmationTimedOut(timer, ec))
            return;
    }
}

void storageCard(int& ec) {
    int32_t state = 0;
    int32_t error = 0;
    ec = camera()->getSdCardInfo(state, error);
    if (ec == 0)
        applySdCardState(state, error); // announces the change itself
    else
        emit OrunAppFace::instance()->signal_showErrInfo();
}

void stationQuery(int& ec) {
    OrunAppFace* hub = OrunAppFace::instance();
    const QString address = hub->sStationAddress.get();
    StationInfoBlock block{};
    ec = camera()->getStationInfo(address, block);

    CameraRecord record;
    record.texts[0] = address;
    record.texts[1] = fieldText(block.data() + 3, block.size() - 3);
    if (record.texts[1].isEmpty())
        return;
    for (const CameraRecord& known : hub->cameraRecords()) {
        if (known.texts[1] == record.texts[1])
            return;
    }
    hub->appendCameraRecord(record);
    emit hub->signal_updateOnlineCamera();
}

void wifiMode(int& ec) {
    OrunAppFace* hub = OrunAppFace::instance();
    const WifiBlock request = hub->wifiRequest.get();
    WifiBlock current{};
    const int queried = camera()->getWifiConfig(current);
    ec = queried;
    // Only a mode the camera actually reported counts as already set: after a
    // failed query the request is sent anyway rather than reported as done.
    if (queried == 0 && current[0] == request[0]) {
        ec = 0;
        return;
    }
    // The password stays out of the log.
    qDebug() << "Wi-Fi mode" << request[0] << "network" << fieldText(request.data() + 1, 32);
    ec = camera()->setWifiConfig(request);
    if (ec != 0)
        qDebug() << "设置Wifi工作模式失败" << ec;
    else
        qDebug() << "设置Wifi工作模式成功";
}

} // namespace

int layoutForPhotoRatio(uint8_t ratio, bool portrait) {
    switch (ratio) {
    case 1:
        return portrait ? 1 : 0;
    case 0:
        return portrait ? 3 : 2;
    case 2:
        return 4;
    default:
        return 0;
    }
}

bool cameraPortrait() {
    return OrunAppFace::instance()->sdkInfo2F.get()[30] != 0;
}

void switchCapture(bool stop, int& ec) {
    OrunAppFace* hub = OrunAppFace::instance();
    ec = camera()->setCapture(stop ? 1 : 0);
    if (ec != 0)
        return;
    sleepMs(200);
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        Orun_Camera_CurrStatus status;
        ec = queryStatus(status);
        if (ec != 0)
            return;
        if (stop) {
            if (status.byRunState == 0) {
                ec = 0;
                return;
            }
        } else if (status.byWorkMode == 1 || status.bySubMode == 1) {
            // Video and burst run until stopped: running is the confirmation.
            if (status.byRunState == 3) {
                ec = 0;
                return;
            }
        } else if (status.bySubMode == 2) {
            if (hub->iPhotoCount.load() == expectedMultiShotCount(hub->iPhotoParam.load())) {
                ec = 0;
                return;
            }
        } else if (hub->iPhotoCount.load() == 1) {
            ec = 0;
            return;
        }
        if (confirmationTimedOut(timer, ec))
            return;
    }
}

void runOperationHandler(int code, int& ec) {
    switch (code) {
    case 0:
        focus(ec);
        break;
    case 1:
        selectTarget(ec);
        break;
    case 2:
        gimbalMotion(ec);
        break;
    case 3:
        zoom(ec);
        break;
    case 4:
        workMode(ec);
        break;
    case 5:
        photoParameter(ec, true);
        break;
    case 6:
        photoParameter(ec, false);
        break;
    case 7:
        toIdle(ec);
        break;
    case 8:
    case 10:
        shutter(ec);
        break;
    case 9:
    case 11:
        stopCapture(ec);
        break;
    case 12:
        resolution(ec);
        break;
    case 13:
        aiFunction(ec);
        break;
    case 14:
        mirror(ec);
        break;
    case 15:
        gimbalSetting(ec);
        break;
    case 16:
        screenLayout(ec);
        break;
    case 17:
        photoRatio(ec);
        break;
    case 18:
        storageCard(ec);
        break;
    case 19:
        stationQuery(ec);
        break;
    case 20:
        wifiMode(ec);
        break;
    default:
        qDebug() << "unknown operation" << code;
        break;
    }
}
