// The connection supervisor: the thread of Camera that finds the camera,
// brings the control link up, starts the media client and the decoder, and
// watches the link with a periodic probe.
#include "camera/Camera.h"

#include "app/CameraStateSync.h"
#include "app/Configuration.h"
#include "app/OrunAppFace.h"
#include "camera/NetworkAddresses.h"
#include "camera/UDPTransciever.h"
#include "kcpclient/KcpWrapper.h"
#include "video/videoctl.h"

#include <QDebug>
#include <QFile>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <chrono>

namespace {

constexpr int kCycleMs = 500;
constexpr int kMissesBeforeLoss = 3;

// Camera addresses used in hotspot mode when the configuration names none.
const char* const kDefaultUsbCamera = "192.168.88.10";
const char* const kDefaultWifiCamera = "192.168.0.1";

const char* stopVideoPicture(int layout) {
    switch (layout) {
    case 1:
        return "/icon/stopVideo_9_16.png";
    case 2:
        return "/icon/stopVideo_4_3.png";
    case 3:
        return "/icon/stopVideo_3_4.png";
    case 4:
        return "/icon/stopVideo_1_1.png";
    default:
        return "/icon/stopVideo_16_9.png";
    }
}

} // namespace

void Camera::enableSupervisor(bool on) {
    supervising = on;
}

void Camera::setSupervisorHooks(const SupervisorHooks& newHooks) {
    std::lock_guard<std::mutex> lock(hooksMutex);
    hooks = newHooks;
}

Camera::SupervisorHooks Camera::currentHooks() const {
    SupervisorHooks h;
    {
        std::lock_guard<std::mutex> lock(hooksMutex);
        h = hooks;
    }
    if (!h.interfaces)
        h.interfaces = [] { return systemInterfaceAddresses(); };
    if (!h.synchronise)
        h.synchronise = [] { syncCameraState(); };
    if (!h.startMedia)
        h.startMedia = [](const std::string& address) {
            std::shared_ptr<KcpWrapper> media = KcpWrapper::instance();
            media->set_address(address);
            media->kick();
        };
    if (!h.stopMedia)
        h.stopMedia = [] { KcpWrapper::instance()->stop(); };
    if (!h.startDecoder)
        h.startDecoder = [] { videoctl::instance()->start(); };
    return h;
}

void Camera::supervisorLoop() {
    while (running) {
        if (supervising) {
            const SupervisorHooks h = currentHooks();
            if (!connected)
                connectionAttempt(h);
            else
                livenessCheck(h);
        }
        // The cycle pause, in slices so that stop() is noticed at once.
        for (int slept = 0; slept < kCycleMs && running; slept += 10)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    stopped = true;
}

void Camera::connectionAttempt(const SupervisorHooks& h) {
    OrunAppFace* hub = OrunAppFace::instance();
    std::shared_ptr<UDPTransciever> udp = UDPTransciever::instance();
    bool linked = false;
    int status = -1;

    if (hub->iWifiMode.load() == 0) {
        const int state = linkState.load();
        if (state == 0) {
            // Search: announce the client on every local network. Cameras
            // that answer are listed by the reply parser; the user picks one.
            const QList<InterfaceAddress> entries = h.interfaces();
            for (const QString& local : localIpv4Addresses(entries)) {
                if (!running)
                    return;
                const QString broadcast = broadcastAddressOf(local, entries);
                if (broadcast.isEmpty())
                    continue;
                udp->peerAddress.set(broadcast);
                if (announceClient(local) == 0)
                    hub->sLocalAddress.set(local);
            }
        } else if (state == 1) {
            // Connect to the camera chosen in the settings.
            const QString cameraAddress = hub->selectedCamera.get().texts[0];
            udp->peerAddress.set(cameraAddress);
            hub->sCameraAddress.set(cameraAddress);
            const QString local =
                findLocalAddresses(QStringLiteral("-"), addressPrefix(cameraAddress),
                                   localIpv4Addresses(h.interfaces()))
                    .first;
            hub->sLocalAddress.set(local);
            if (announceClient(local) == 0) {
                linkState = 2;
                linked = true;
            }
            status = 0;
        }
    } else {
        const QString usbCamera = readConfigValue(QStringLiteral("BaseOption/usb"),
                                                  QString::fromLatin1(kDefaultUsbCamera))
                                      .toString()
                                      .trimmed();
        const QString wifiCamera = readConfigValue(QStringLiteral("BaseOption/wifi"),
                                                   QString::fromLatin1(kDefaultWifiCamera))
                                       .toString()
                                       .trimmed();
        const HotspotRoute route =
            chooseHotspotRoute(usbCamera, wifiCamera, localIpv4Addresses(h.interfaces()));
        hub->sLocalAddress.set(route.localAddress);
        hub->sCameraAddress.set(route.cameraAddress);
        status = route.status;
        // Without a network to the camera there is nobody to announce to.
        if (!route.localAddress.isEmpty() && !route.cameraAddress.isEmpty()) {
            udp->peerAddress.set(route.cameraAddress);
            linked = announceClient(route.localAddress) == 0;
        }
    }

    if (linked)
        linkUp(h, status);
    else
        showDisconnected();
}

void Camera::linkUp(const SupervisorHooks& h, int status) {
    OrunAppFace* hub = OrunAppFace::instance();
    connected = true;
    missCount = 0;
    h.synchronise();

    // The camera's Wi-Fi work status: the last known block when the query fails.
    StationInfoBlock block;
    {
        std::lock_guard<std::mutex> lock(replySlots[SlotGetStationInfo].mutex);
        block = stationInfo;
    }
    getStationInfo(hub->sCameraAddress.get(), block);
    hub->wifiWorkStatus.set(block);
    emit hub->signal_showWifiWorkStatusInfo();

    emit hub->signal_showConnectSatus(status);
    emit hub->signal_setVideoBtnDlgVisable(true);
    h.startMedia(hub->sCameraAddress.get().toUtf8().toStdString());
    if (!decoderStarted) {
        h.startDecoder();
        decoderStarted = true;
    }
    hub->bCameraReached = true;
}

void Camera::showDisconnected() {
    OrunAppFace* hub = OrunAppFace::instance();
    const QString path = applicationBaseDir() + QLatin1String(stopVideoPicture(hub->iScreenLayout));
    cv::Mat picture = cv::imread(QFile::encodeName(path).toStdString(), cv::IMREAD_COLOR);
    if (!picture.empty()) {
        // Pictures travel in R, G, B order; OpenCV reads B, G, R.
        cv::cvtColor(picture, picture, cv::COLOR_BGR2RGB);
        emit hub->signal_showVideoFrame(picture);
    }
    emit hub->signal_setVideoBtnDlgVisable(false);
    hub->wifiWorkStatus.set(StationInfoBlock{});
    emit hub->signal_showWifiWorkStatusInfo();
    emit hub->signal_showConnectSatus(-1);
}

void Camera::livenessCheck(const SupervisorHooks& h) {
    OrunAppFace* hub = OrunAppFace::instance();
    if (hub->iWifiMode.load() != 0 || linkState.load() == 2) {
        if (probeLink() == 0) {
            missCount = 0;
            return;
        }
    }
    if (++missCount >= kMissesBeforeLoss)
        linkLost(h);
}

void Camera::linkLost(const SupervisorHooks& h) {
    OrunAppFace* hub = OrunAppFace::instance();
    missCount = 0;
    connected = false;
    qDebug() << "showConnectStatus(DISCONNECT)";
    emit hub->signal_showConnectSatus(-1);
    emit hub->signal_setVideoBtnDlgVisable(false);
    h.stopMedia();
    hub->clearFaults();
    hub->wifiWorkStatus.set(StationInfoBlock{});
    emit hub->signal_showWifiWorkStatusInfo();
    linkState = 1;
}
