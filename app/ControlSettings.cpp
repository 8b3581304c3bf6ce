#include "app/ControlSettings.h"

#include "app/Configuration.h"
#include "app/RunOptions.h"

#include <QRegularExpression>

namespace {

QString key(const char* name) {
    return QStringLiteral("Control/") + QLatin1String(name);
}

int portOr(const QVariant& value, int fallback) {
    bool ok = false;
    const int port = value.toInt(&ok);
    return ok && port >= 1 && port <= 65535 ? port : fallback;
}

} // namespace

ControlSettings ControlSettings::load() {
    ControlSettings s;
    s.visca = readConfigValue(key("visca"), false).toBool();
    const QString address = readConfigValue(key("viscaAddress"), s.address).toString().trimmed();
    if (addressValid(address))
        s.address = address;
    s.udpPort = portOr(readConfigValue(key("viscaUdpPort"), s.udpPort), kDefaultUdpPort);
    s.tcp = readConfigValue(key("viscaTcp"), false).toBool();
    s.tcpPort = portOr(readConfigValue(key("viscaTcpPort"), s.tcpPort), kDefaultTcpPort);
    QStringList allowed;
    if (parseAllowed(readConfigValue(key("viscaAllowed"), QString()).toString(), &allowed))
        s.allowed = allowed;

    s.gamepad = readConfigValue(key("gamepad"), false).toBool();
    bool ok = false;
    const int deadZone =
        readConfigValue(key("gamepadDeadZone"), s.gamepadDeadZonePercent).toInt(&ok);
    if (ok && deadZone >= 0 && deadZone <= kMostDeadZonePercent)
        s.gamepadDeadZonePercent = deadZone;
    s.gamepadInvertVertical = readConfigValue(key("gamepadInvertVertical"), false).toBool();
    s.gamepadZoomByTriggers =
        readConfigValue(key("gamepadZoom"), QString()).toString() == QLatin1String("triggers");
    s.gamepadBackground = readConfigValue(key("gamepadBackground"), false).toBool();
    return s;
}

void ControlSettings::save() const {
    writeConfigValue(key("visca"), visca);
    writeConfigValue(key("viscaAddress"), address);
    writeConfigValue(key("viscaUdpPort"), udpPort);
    writeConfigValue(key("viscaTcp"), tcp);
    writeConfigValue(key("viscaTcpPort"), tcpPort);
    writeConfigValue(key("viscaAllowed"), allowed.join(QStringLiteral(", ")));
    writeConfigValue(key("gamepad"), gamepad);
    writeConfigValue(key("gamepadDeadZone"), gamepadDeadZonePercent);
    writeConfigValue(key("gamepadInvertVertical"), gamepadInvertVertical);
    writeConfigValue(key("gamepadZoom"), gamepadZoomByTriggers ? QStringLiteral("triggers")
                                                               : QStringLiteral("rightStick"));
    writeConfigValue(key("gamepadBackground"), gamepadBackground);
}

ControlSettings ControlSettings::effective() {
    ControlSettings s = load();
    const RunOverrides run = runOverrides();
    if (run.viscaPort) {
        s.visca = true;
        s.address = run.viscaAddress;
        s.udpPort = *run.viscaPort;
    }
    return s;
}

bool ControlSettings::addressValid(const QString& text) {
    static const QRegularExpression dotted(
        QStringLiteral("^(\\d{1,3})\\.(\\d{1,3})\\.(\\d{1,3})\\.(\\d{1,3})$"));
    const QRegularExpressionMatch m = dotted.match(text);
    if (!m.hasMatch())
        return false;
    for (int i = 1; i <= 4; ++i)
        if (m.captured(i).toInt() > 255)
            return false;
    return true;
}

bool ControlSettings::parseEndpoint(const QString& text, QString* address, int* port,
                                    QString* why) {
    const QString t = text.trimmed();
    const int colon = t.lastIndexOf(QLatin1Char(':'));
    const QString host = colon < 0 ? QStringLiteral("127.0.0.1") : t.left(colon);
    const QString portText = colon < 0 ? t : t.mid(colon + 1);
    if (!addressValid(host)) {
        if (why)
            *why = QStringLiteral("\"%1\" is no IPv4 address").arg(host);
        return false;
    }
    bool ok = false;
    const int p = portText.toInt(&ok);
    if (!ok || p < 1 || p > 65535) {
        if (why)
            *why = QStringLiteral("the port must be 1 to 65535, not \"%1\"").arg(portText);
        return false;
    }
    *address = host;
    *port = p;
    return true;
}

bool ControlSettings::parseAllowed(const QString& text, QStringList* allowed, QString* why) {
    QStringList out;
    for (const QString& item :
         text.split(QRegularExpression(QStringLiteral("[,\\s]+")), Qt::SkipEmptyParts)) {
        if (!addressValid(item)) {
            if (why)
                *why = item;
            return false;
        }
        out.append(item);
    }
    *allowed = out;
    return true;
}
