#pragma once

#include <QString>
#include <QStringList>

// Control of the camera from other programs, kept in the configuration file
// under [Control]:
//   visca (bool, off by default), viscaAddress (the address the server binds,
//   127.0.0.1 by default), viscaUdpPort (52381), viscaTcp (bool: plain VISCA
//   over TCP as well), viscaTcpPort (5678), viscaAllowed (the senders taken
//   when the server binds another address than the loopback one; a comma
//   separated list of IPv4 addresses, empty for everyone).
// VISCA has no authentication: whoever reaches the port steers the camera.
// Game controllers, under the same group: gamepad (bool, off by default),
//   gamepadDeadZone (percent of a stick's travel, 0 to 50, 15 by default),
//   gamepadInvertVertical (bool), gamepadZoom ("rightStick" or "triggers"),
//   gamepadBackground (bool, off: the controller works only while the
//   program's window is in front).
struct ControlSettings {
    static constexpr int kDefaultUdpPort = 52381;
    static constexpr int kDefaultTcpPort = 5678;

    bool visca = false;
    QString address = QStringLiteral("127.0.0.1");
    int udpPort = kDefaultUdpPort;
    bool tcp = false;
    int tcpPort = kDefaultTcpPort;
    QStringList allowed;

    static constexpr int kDefaultDeadZonePercent = 15;
    static constexpr int kMostDeadZonePercent = 50;
    bool gamepad = false;
    int gamepadDeadZonePercent = kDefaultDeadZonePercent;
    bool gamepadInvertVertical = false;
    bool gamepadZoomByTriggers = false; // else the right stick's up and down
    bool gamepadBackground = false;

    bool operator==(const ControlSettings& o) const {
        return visca == o.visca && address == o.address && udpPort == o.udpPort && tcp == o.tcp &&
               tcpPort == o.tcpPort && allowed == o.allowed && gamepad == o.gamepad &&
               gamepadDeadZonePercent == o.gamepadDeadZonePercent &&
               gamepadInvertVertical == o.gamepadInvertVertical &&
               gamepadZoomByTriggers == o.gamepadZoomByTriggers &&
               gamepadBackground == o.gamepadBackground;
    }
    bool operator!=(const ControlSettings& o) const { return !(*this == o); }

    // The settings as saved, with the defaults for what is missing or unusable.
    static ControlSettings load();
    void save() const;
    // The saved settings with the run's --visca in their place: the server
    // is on, at that address and port.
    static ControlSettings effective();

    // "[ADDRESS:]PORT": an IPv4 address (127.0.0.1 when left out) and a port
    // of 1 to 65535. What is wrong goes to `why`.
    static bool parseEndpoint(const QString& text, QString* address, int* port,
                              QString* why = nullptr);
    // Whether `text` is an IPv4 address.
    static bool addressValid(const QString& text);
    // The allowed senders of a comma (or space) separated list; false with
    // `why` when one is no IPv4 address.
    static bool parseAllowed(const QString& text, QStringList* allowed, QString* why = nullptr);
};
