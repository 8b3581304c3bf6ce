#include "app/ViscaControl.h"

#include "app/ManualControl.h"
#include "hub/OrunAppFace.h"
#include "video/videoctl.h"

#include <QCoreApplication>
#include <QDebug>
#include <QPointF>

#include <mutex>

namespace {

class ProgramViscaOperations : public ViscaOperations {
public:
    ViscaCameraState cameraState() override {
        OrunAppFace* hub = OrunAppFace::instance();
        ViscaCameraState state;
        state.linked = videoctl::instance()->linkUp();
        state.zoomFactor = hub->iCurrentZoomRate.load() / 10.0;
        // A locked gimbal does not follow a subject.
        state.trackingAllowed = state.linked && hub->gimbalState.get()[2] != 1;
        return state;
    }
    bool drive(double pan, double tilt) override {
        manual::steerGimbal(manual::driveSpeed(pan, tilt));
        return true;
    }
    void stopDrive() override { manual::stopGimbal(); }
    void resumeTracking() override { manual::resumeTracking(); }
    bool zoomTo(double factor) override {
        manual::zoomTo(static_cast<float>(factor));
        return true;
    }
    bool focusAtCentre() override {
        manual::focusAt(QPointF(0.5, 0.5));
        return true;
    }
    bool setTracking(bool on) override {
        manual::setTracking(on);
        return true;
    }
    void controllerChanged(const std::string& who) override {
        qInfo().noquote() << "VISCA controller" << QString::fromStdString(who) << "connected";
    }
};

std::mutex& serverMutex() {
    static std::mutex mutex;
    return mutex;
}

std::unique_ptr<ViscaServer>& server() {
    static std::unique_ptr<ViscaServer> s;
    return s;
}

} // namespace

std::shared_ptr<ViscaOperations> programViscaOperations() {
    return std::make_shared<ProgramViscaOperations>();
}

ViscaServerSettings viscaServerSettings(const ControlSettings& control) {
    ViscaServerSettings s;
    s.address = control.address.toStdString();
    s.udpPort = static_cast<uint16_t>(control.udpPort);
    s.tcp = control.tcp;
    s.tcpPort = static_cast<uint16_t>(control.tcpPort);
    for (const QString& sender : control.allowed)
        s.allowed.push_back(sender.toStdString());
    return s;
}

bool startViscaControl(const ControlSettings& control) {
    stopViscaControl();
    if (!control.visca)
        return true;
    auto candidate =
        std::make_unique<ViscaServer>(viscaServerSettings(control), programViscaOperations());
    std::string why;
    OrunAppFace* hub = OrunAppFace::instance();
    if (!candidate->start(&why)) {
        const QString reason = QString::fromStdString(why);
        qWarning().noquote() << "VISCA server not started:" << reason;
        FaultEntry entry;
        entry.id = kViscaFaultId;
        entry.level = 1;
        entry.text =
            QCoreApplication::translate("ViscaControl", "VISCA 控制无法打开端口:%1").arg(reason);
        hub->raiseFault(entry);
        return false;
    }
    hub->markFaultCleared(kViscaFaultId);
    qInfo().noquote() << "VISCA server on" << control.address << "UDP" << candidate->udpPort()
                      << (control.tcp ? QStringLiteral("TCP %1").arg(candidate->tcpPort())
                                      : QString());
    std::lock_guard<std::mutex> lock(serverMutex());
    server() = std::move(candidate);
    return true;
}

void stopViscaControl() {
    std::unique_ptr<ViscaServer> old;
    {
        std::lock_guard<std::mutex> lock(serverMutex());
        old = std::move(server());
    }
    if (old)
        old->stop();
}

ViscaControllerSeen viscaControllerSeen() {
    std::lock_guard<std::mutex> lock(serverMutex());
    ViscaControllerSeen seen;
    if (!server())
        return seen;
    const ViscaServerStats stats = server()->stats();
    if (stats.controller.empty())
        return seen;
    seen.who = QString::fromStdString(stats.controller);
    seen.secondsAgo =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - stats.lastRequest).count();
    return seen;
}
