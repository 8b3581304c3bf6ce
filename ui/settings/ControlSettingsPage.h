#pragma once

#include "app/ControlSettings.h"

#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QSpinBox;

// The settings dialog's page for control from other programs: the VISCA
// server on or off, the address it binds, its UDP port, plain VISCA over TCP
// and its port, and the senders allowed when another address than the
// loopback one is bound; game controllers on or off, the sticks' dead zone,
// what zooms, the vertical direction, and whether the controller works while
// the window is behind others. apply() saves, restarts the server with them
// (unless --visca decides for this run) and hands the controllers theirs.
class ControlSettingsPage : public QWidget {
    Q_OBJECT
public:
    explicit ControlSettingsPage(QWidget* parent = nullptr);

    ControlSettings chosen() const;
    bool changed() const;
    // Saves them; false (nothing saved, the reason shown on the page) when
    // the address or a sender is no IPv4 address.
    bool apply();

signals:
    void edited();

private:
    void showSettings(const ControlSettings& settings);
    void updateHint();

    ControlSettings m_saved;
    QCheckBox* m_visca = nullptr;
    QLineEdit* m_address = nullptr;
    QSpinBox* m_udpPort = nullptr;
    QCheckBox* m_tcp = nullptr;
    QSpinBox* m_tcpPort = nullptr;
    QLineEdit* m_allowed = nullptr;
    QLabel* m_hint = nullptr;
    QCheckBox* m_gamepad = nullptr;
    QSpinBox* m_deadZone = nullptr;
    QComboBox* m_zoomBy = nullptr;
    QCheckBox* m_invert = nullptr;
    QCheckBox* m_background = nullptr;
    QLabel* m_gamepadState = nullptr;
};
