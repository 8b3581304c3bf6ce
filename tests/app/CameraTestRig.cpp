#include "CameraTestRig.h"

#include "app/DeviceMessages.h"
#include "camera/CameraReplyParsers.h"

SignalLog::SignalLog() {
    OrunAppFace* hub = OrunAppFace::instance();
    auto direct = Qt::DirectConnection;
    connections.push_back(QObject::connect(
        hub, &OrunAppFace::signal_doOperationFinished, hub,
        [this](int who, int ec) { add(QString("doOperationFinished(%1,%2)").arg(who).arg(ec)); },
        direct));
    connections.push_back(QObject::connect(
        hub, &OrunAppFace::signal_showErrInfo, hub, [this] { add("showErrInfo"); }, direct));
    connections.push_back(QObject::connect(
        hub, &OrunAppFace::signal_updateOnlineCamera, hub, [this] { add("updateOnlineCamera"); },
        direct));
    connections.push_back(QObject::connect(
        hub, &OrunAppFace::signal_showVideoCtrlBtnStyle, hub,
        [this](bool run) { add(QString("showVideoCtrlBtnStyle(%1)").arg(run ? "true" : "false")); },
        direct));
    connections.push_back(QObject::connect(
        hub, &OrunAppFace::signal_startCountVideoTime, hub,
        [this](int s) { add(QString("startCountVideoTime(%1)").arg(s)); }, direct));
    connections.push_back(QObject::connect(
        hub, &OrunAppFace::signal_startBurstCount, hub,
        [this](int start, bool begin) {
            add(QString("startBurstCount(%1,%2)").arg(start).arg(begin ? "true" : "false"));
        },
        direct));
    connections.push_back(QObject::connect(
        hub, &OrunAppFace::signal_showPhotoModeSettingBtnStyle, hub,
        [this] { add("showPhotoModeSettingBtnStyle"); }, direct));
    connections.push_back(QObject::connect(
        hub, &OrunAppFace::signal_showModeSettingUIStyle, hub,
        [this] { add("showModeSettingUIStyle"); }, direct));
    connections.push_back(QObject::connect(
        hub, &OrunAppFace::signal_syncGimbalLockButton, hub,
        [this] { add("syncGimbalLockButton"); }, direct));
    connections.push_back(QObject::connect(
        hub, &OrunAppFace::signal_syncScreenSize, hub, [this] { add("syncScreenSize"); }, direct));
    connections.push_back(QObject::connect(
        hub, &OrunAppFace::signal_resetVideoKcpClient, hub, [this] { add("resetVideoKcpClient"); },
        direct));
}

SignalLog::~SignalLog() {
    for (const auto& c : connections)
        QObject::disconnect(c);
    // A worker thread may be inside add() from an emit that began before the
    // disconnect: taking the lock waits until it has left.
    std::lock_guard<std::mutex> lock(mutex);
    closed = true;
}

void SignalLog::add(const QString& entry) {
    std::lock_guard<std::mutex> lock(mutex);
    if (closed)
        return;
    log.append(entry);
    // Notified under the lock, so the destructor cannot go ahead while this
    // call still touches the condition variable.
    changed.notify_all();
}

QStringList SignalLog::entries() const {
    std::lock_guard<std::mutex> lock(mutex);
    return log;
}

QStringList SignalLog::named(const QString& name) const {
    QStringList out;
    for (const QString& e : entries()) {
        if (e == name || e.startsWith(name + "("))
            out.append(e);
    }
    return out;
}

bool SignalLog::waitFor(const QString& name, int n, int timeoutMs) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::unique_lock<std::mutex> lock(mutex);
    return changed.wait_until(lock, deadline, [&] {
        int c = 0;
        for (const QString& e : log) {
            if (e == name || e.startsWith(name + "("))
                ++c;
        }
        return c >= n;
    });
}

void SignalLog::clear() {
    std::lock_guard<std::mutex> lock(mutex);
    log.clear();
}

camsim::CameraConfig CameraRig::fastConfig() {
    camsim::CameraConfig config;
    config.singlePhotoMs = 100;
    config.multiShotIntervalMs = 60;
    // Status and battery pushes are not needed here; keep them rare.
    config.statusIntervalMs = 60000;
    config.batteryIntervalMs = 60000;
    return config;
}

void CameraRig::SetUp() {
    hub = OrunAppFace::instance();
    // The tests talk to the simulated camera directly: no supervisor, which
    // would go looking for a real camera.
    Camera::instance()->stop();
    // Status and battery pushes raise and clear faults, as in the program.
    DeviceReportHooks reports;
    reports.statusReport = [](const Orun_Camera_CurrStatus& s) { applyStatusReport(s); };
    reports.batteryReport = [](int level) { applyBatteryReport(level); };
    setDeviceReportHooks(reports);
    std::shared_ptr<UDPTransciever> udp = UDPTransciever::instance();
    ASSERT_TRUE(udp->isBound());
    // Connected before the address is set: the receive thread reads the
    // address (under its lock) before it dispatches a reply, so the thread
    // checker sees the connections made before any call through them.
    signals_ = std::make_unique<SignalLog>();
    udp->peerAddress.set("127.0.0.1");

    cam = std::make_unique<camsim::ControlCamera>(fastConfig());
    ASSERT_TRUE(cam->start()) << cam->lastError();
    // Photo and recording file notifications go to the client's port.
    cam->setPushTarget("127.0.0.1", UDPTransciever::kLocalPort);

    hub->bCameraReached = false;
    hub->clearFaults();
    hub->clearCameraRecords();
    hub->iWho = 0;
    hub->sdkInfo2F.set(SdkRecord44{});
}

void CameraRig::TearDown() {
    signals_.reset();
    if (cam)
        cam->stop();
    cam.reset();
}

bool CameraRig::waitIdle(int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        if (hub->iOperating.load() == 0)
            return true;
        sleepMs(5);
    }
    return false;
}

void CameraRig::prepareCamera(const std::function<void(camsim::CameraState&)>& change) {
    cam->updateState(change);
    // A change may make the camera push a notice at once. camsim sends pushes
    // and replies from one socket and the client handles them in order, so
    // after one answered round trip every such push has been handled.
    Camera::instance()->probeLink();
    signals_->clear();
}
