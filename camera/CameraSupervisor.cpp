// The connection supervisor: the thread of Camera that finds the camera,
// brings the control link up, starts the media client and the decoder, and
// watches the link with a periodic probe.
#include "camera/Camera.h"

#include "camera/NetworkAddresses.h"
#include "camera/UDPTransciever.h"
#include "hub/OrunAppFace.h"

#include <QDebug>

#include <chrono>

namespace {

constexpr int kCycleMs = 500;
constexpr int kMissesBeforeLoss = 3;

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
        h.synchronise = [] {};
    if (!h.startMedia)
        h.startMedia = [](const std::string&) {};
    if (!h.stopMedia)
        h.stopMedia = [] {};
    if (!h.startDecoder)
        h.startDecoder = [] {};
    if (!h.linkChanged)
        h.linkChanged = [](bool) {};
    if (!h.hotspotAddresses)
        h.hotspotAddresses = [] {
            return HotspotAddresses{QString::fromLatin1(kDefaultUsbCamera),
                                    QString::fromLatin1(kDefaultWifiCamera)};
        };
    if (!h.stopPicture)
        h.stopPicture = [](int) { return cv::Mat(); };
    if (!h.rememberedCamera)
        h.rememberedCamera = [] { return StationCamera(); };
    if (!h.stationCameraLinked)
        h.stationCameraLinked = [](const StationCamera&) {};
    return h;
}

void Camera::supervisorLoop() {
    while (supervisor.running()) {
        if (supervising) {
            const SupervisorHooks h = currentHooks();
            reportLink(h);
            if (!connected)
                connectionAttempt(h);
            else
                livenessCheck(h);
        }
        // The cycle pause; stop() ends it at once.
        supervisor.waitFor(std::chrono::milliseconds(kCycleMs));
    }
}

void Camera::connectionAttempt(const SupervisorHooks& h) {
    OrunAppFace* hub = OrunAppFace::instance();
    std::shared_ptr<UDPTransciever> udp = UDPTransciever::instance();
    bool linked = false;
    int status = -1;

    if (hub->iWifiMode.load() == 0) {
        int state = linkState.load();
        if (state == 0 && chooseRememberedCamera(h))
            state = 1;
        if (state == 0) {
            // Search: announce the client on every local network. Cameras
            // that answer are listed by the reply parser; the user picks one.
            const QList<InterfaceAddress> entries = h.interfaces();
            for (const QString& local : localIpv4Addresses(entries)) {
                if (!supervisor.running())
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
            const CameraRecord chosen = hub->selectedCamera.get();
            const QString cameraAddress = chosen.texts[0];
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
                if (!chosen.texts[1].isEmpty())
                    h.stationCameraLinked(StationCamera{chosen.texts[1], cameraAddress});
            }
            status = 0;
        }
    } else {
        const HotspotAddresses cameras = h.hotspotAddresses();
        const HotspotRoute route =
            chooseHotspotRoute(cameras.usbCamera.trimmed(), cameras.wifiCamera.trimmed(),
                               localIpv4Addresses(h.interfaces()));
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
        showDisconnected(h);
}

// The camera linked last, once the search found it again: it becomes the
// chosen camera, as if the user had chosen it in the settings.
bool Camera::chooseRememberedCamera(const SupervisorHooks& h) {
    OrunAppFace* hub = OrunAppFace::instance();
    const QList<CameraRecord> found = hub->cameraRecords();
    if (found.isEmpty())
        return false;
    const StationCamera remembered = h.rememberedCamera();
    const int index = findStationCamera(found, remembered);
    if (index < 0)
        return false;
    // Only while still searching: a choice the user made meanwhile stands.
    int searching = 0;
    if (!linkState.compare_exchange_strong(searching, 1))
        return false;
    hub->selectedCamera.set(found[index]);
    qDebug().noquote() << "Linking to the last camera" << remembered.name << "at"
                       << found[index].texts[0];
    return true;
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
    reportLink(h);
    hub->bCameraReached = true;
}

void Camera::reportLink(const SupervisorHooks& h) {
    const bool up = connected.load();
    if (up == reportedLink)
        return;
    reportedLink = up;
    h.linkChanged(up);
}

void Camera::showDisconnected(const SupervisorHooks& h) {
    OrunAppFace* hub = OrunAppFace::instance();
    const cv::Mat picture = h.stopPicture(hub->iScreenLayout.load());
    if (!picture.empty())
        emit hub->signal_showVideoFrame(picture);
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
    reportLink(h);
    qDebug() << "showConnectStatus(DISCONNECT)";
    emit hub->signal_showConnectSatus(-1);
    emit hub->signal_setVideoBtnDlgVisable(false);
    h.stopMedia();
    hub->clearFaults();
    hub->wifiWorkStatus.set(StationInfoBlock{});
    emit hub->signal_showWifiWorkStatusInfo();
    linkState = 1;
}
