#include "app/GamepadControl.h"

#include "app/ManualControl.h"
#include "app/gamepad/GamepadReader.h"
#include "hub/OrunAppFace.h"

#include <QCoreApplication>
#include <QDebug>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kMinZoom = manual::kMinZoom;
constexpr double kMaxZoom = manual::kMaxZoom;

GamepadSettings gamepadSettings(const ControlSettings& control) {
    GamepadSettings s;
    s.deadZone = control.gamepadDeadZonePercent / 100.0;
    s.invertVertical = control.gamepadInvertVertical;
    s.zoom = control.gamepadZoomByTriggers ? GamepadZoomControl::Triggers
                                           : GamepadZoomControl::RightStick;
    return s;
}

bool sameSpeed(const GimbalSpeed& a, const GimbalSpeed& b) {
    return a.f[1] == b.f[1] && a.f[2] == b.f[2] && a.i[0] == b.i[0];
}

} // namespace

GamepadControl* GamepadControl::instance() {
    static GamepadControl* control = new GamepadControl;
    return control;
}

GamepadControl::GamepadControl() {
    m_resume.setSingleShot(true);
    m_resume.setInterval(manual::kResumeAfterReleaseMs);
    connect(&m_resume, &QTimer::timeout, this, [] { manual::resumeTracking(); });
    m_zoom.setInterval(kZoomStepMs);
    connect(&m_zoom, &QTimer::timeout, this, &GamepadControl::zoomStep);
}

GamepadControl::~GamepadControl() {
    stop();
}

void GamepadControl::apply(const ControlSettings& control) {
    m_settings = gamepadSettings(control);
    m_background = control.gamepadBackground;
    if (!control.gamepad) {
        stop();
        return;
    }
    if (!m_reader) {
        GamepadReader::Events events;
        // Each event crosses to the graphical thread; the reader never waits for it.
        events.connected = [this](const std::string& name) {
            QMetaObject::invokeMethod(
                this, [this, n = QString::fromStdString(name)] { onConnected(n); },
                Qt::QueuedConnection);
        };
        events.disconnected = [this](const std::string& name) {
            QMetaObject::invokeMethod(
                this, [this, n = QString::fromStdString(name)] { onDisconnected(n); },
                Qt::QueuedConnection);
        };
        events.moved = [this](const GamepadAxes& axes) {
            QMetaObject::invokeMethod(
                this, [this, axes] { onMoved(axes); }, Qt::QueuedConnection);
        };
        events.pressed = [this](GamepadButton button) {
            QMetaObject::invokeMethod(
                this, [this, button] { onPressed(button); }, Qt::QueuedConnection);
        };
        events.unavailable = [this](const std::string& why) {
            QMetaObject::invokeMethod(
                this, [this, w = QString::fromStdString(why)] { onUnavailable(w); },
                Qt::QueuedConnection);
        };
        m_reader = std::make_unique<GamepadReader>(std::move(events));
        m_reader->start();
        qInfo() << "Game controllers on";
    }
    // New settings count for the sticks where they are now.
    onMoved(m_axes);
}

void GamepadControl::stop() {
    if (!m_reader)
        return;
    m_reader->stop();
    m_reader.reset();
    m_axes = GamepadAxes();
    follow(GamepadDrive());
    OrunAppFace::instance()->markFaultCleared(kGamepadFaultId);
    qInfo() << "Game controllers off";
    emit controllersChanged();
}

void GamepadControl::lookForControllers() {
    if (m_reader)
        m_reader->rescan();
}

QStringList GamepadControl::controllers() const {
    QStringList names;
    if (m_reader)
        for (const std::string& name : m_reader->controllers())
            names.append(QString::fromStdString(name));
    return names;
}

void GamepadControl::setForeground(bool front) {
    if (front == m_front)
        return;
    m_front = front;
    // Behind another window a drive in progress ends, unless the controller
    // works there too; back in front the sticks count where they are.
    onMoved(m_axes);
}

void GamepadControl::onMoved(const GamepadAxes& axes) {
    m_axes = axes;
    follow(taking() && m_reader ? gamepadDrive(axes, m_settings) : GamepadDrive());
}

void GamepadControl::follow(const GamepadDrive& drive) {
    if (drive.steers()) {
        const GimbalSpeed speed = manual::driveSpeed(drive.pan, drive.tilt);
        m_resume.stop();
        if (!m_driving || !sameSpeed(speed, m_sent)) {
            manual::steerGimbal(speed);
            m_sent = speed;
        }
        m_driving = true;
    } else {
        endDrive();
    }

    const double rate = drive.zoom * kTopZoomRate;
    if (rate == 0) {
        m_zoomRate = 0;
        m_zoom.stop();
        return;
    }
    // A change of speed or direction goes on from where the zoom is.
    if (m_zoomRate == 0)
        m_zoomFactor =
            std::clamp(OrunAppFace::instance()->iCurrentZoomRate.load() / 10.0, kMinZoom, kMaxZoom);
    m_zoomRate = rate;
    if (!m_zoom.isActive()) {
        m_zoom.start();
        zoomStep();
    }
}

void GamepadControl::endDrive() {
    if (!m_driving)
        return;
    m_driving = false;
    manual::stopGimbal();
    m_resume.start();
}

void GamepadControl::zoomStep() {
    const double next =
        std::clamp(m_zoomFactor + m_zoomRate * kZoomStepMs / 1000.0, kMinZoom, kMaxZoom);
    if (next == m_zoomFactor)
        return; // at the end of the range: nothing more to ask
    m_zoomFactor = next;
    manual::zoomTo(static_cast<float>(next));
}

void GamepadControl::onPressed(GamepadButton button) {
    if (taking() && m_reader)
        emit buttonPressed(button);
}

void GamepadControl::onConnected(const QString& name) {
    qInfo().noquote() << "Game controller" << name << "connected";
    emit controllersChanged();
}

void GamepadControl::onDisconnected(const QString& name) {
    qInfo().noquote() << "Game controller" << name << "disconnected";
    emit controllersChanged();
}

void GamepadControl::onUnavailable(const QString& why) {
    qWarning().noquote() << "Game controllers cannot be read:" << why;
    FaultEntry entry;
    entry.id = kGamepadFaultId;
    entry.level = 1;
    entry.text = QCoreApplication::translate("GamepadControl", "无法读取游戏手柄:%1").arg(why);
    OrunAppFace::instance()->raiseFault(entry);
}
