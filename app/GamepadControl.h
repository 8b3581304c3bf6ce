#pragma once

// Game controllers steering the camera through the operations the on-screen
// joystick, the zoom slider and the keys use: the left stick drives the
// gimbal (past its dead zone, with the response curve; let go, tracking
// resumes as after the joystick's release), the right stick's up and down or
// the triggers zoom at a rate, and the command buttons are handed to the
// window, which runs what their keys run. While the window is not in front
// nothing is taken, unless the settings allow it.
//
// Lives on the graphical thread; the controllers are read on their own.

#include "app/ControlSettings.h"
#include "app/gamepad/GamepadMapping.h"
#include "hub/CameraStatus.h"

#include <QObject>
#include <QStringList>
#include <QTimer>

#include <memory>

class GamepadReader;

// The banner of controllers that cannot be read.
constexpr int kGamepadFaultId = 1002;

class GamepadControl : public QObject {
    Q_OBJECT
public:
    static GamepadControl* instance();
    ~GamepadControl() override;

    // Reads the controllers when `control` has them on (with its dead zone,
    // direction and zoom control), else lets them go; a running reader keeps
    // going with the new settings.
    void apply(const ControlSettings& control);
    void stop();
    bool reading() const { return m_reader != nullptr; }
    // Looks for newly plugged controllers now.
    void lookForControllers();

    // The controllers connected, the one in use first.
    QStringList controllers() const;

    // The window came to the front or went behind another one.
    void setForeground(bool front);
    void followApplicationState(Qt::ApplicationState state) {
        setForeground(state == Qt::ApplicationActive);
    }

    // The rate of the zoom at full deflection, in zoom factor per second
    // (the whole range in about two seconds), and how often it steps.
    static constexpr double kTopZoomRate = 1.2;
    static constexpr int kZoomStepMs = 100;

signals:
    // A command button went down (not repeated while it is held).
    void buttonPressed(GamepadButton button);
    void controllersChanged();

private:
    GamepadControl();
    bool taking() const { return m_front || m_background; }
    void onMoved(const GamepadAxes& axes);
    void onPressed(GamepadButton button);
    void onConnected(const QString& name);
    void onDisconnected(const QString& name);
    void onUnavailable(const QString& why);
    void follow(const GamepadDrive& drive);
    void endDrive();
    void zoomStep();

    std::unique_ptr<GamepadReader> m_reader;
    GamepadSettings m_settings;
    bool m_background = false;
    bool m_front = true;
    GamepadAxes m_axes;

    bool m_driving = false;
    GimbalSpeed m_sent;
    QTimer m_resume;
    double m_zoomRate = 0; // factor per second, in positive
    double m_zoomFactor = 1.0;
    QTimer m_zoom;
};
