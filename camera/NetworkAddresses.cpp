#include "camera/NetworkAddresses.h"

#include <QHostAddress>
#include <QNetworkInterface>

QList<InterfaceAddress> systemInterfaceAddresses() {
    QList<InterfaceAddress> out;
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface& iface : interfaces) {
        const QList<QNetworkAddressEntry> entries = iface.addressEntries();
        for (const QNetworkAddressEntry& e : entries) {
            InterfaceAddress a;
            a.address = e.ip().toString();
            a.ipv4 = e.ip().protocol() == QAbstractSocket::IPv4Protocol;
            a.broadcast = e.broadcast().isNull() ? QString() : e.broadcast().toString();
            out.append(a);
        }
    }
    return out;
}

QStringList localIpv4Addresses(const QList<InterfaceAddress>& entries) {
    QStringList out;
    for (const InterfaceAddress& e : entries) {
        if (e.ipv4 && e.address != QLatin1String("127.0.0.1"))
            out.append(e.address);
    }
    return out;
}

QStringList localIpv4Addresses() {
    return localIpv4Addresses(systemInterfaceAddresses());
}

QString broadcastAddressOf(const QString& address, const QList<InterfaceAddress>& entries) {
    for (const InterfaceAddress& e : entries) {
        if (e.address == address)
            return e.broadcast;
    }
    return QString();
}

QString broadcastAddressOf(const QString& address) {
    return broadcastAddressOf(address, systemInterfaceAddresses());
}

QPair<QString, QString> findLocalAddresses(const QString& patternA, const QString& patternB,
                                           const QStringList& locals) {
    QPair<QString, QString> found;
    for (const QString& local : locals) {
        if (!patternB.isEmpty() && local.contains(patternB))
            found.first = local;
        if (!patternA.isEmpty() && local.contains(patternA))
            found.second = local;
    }
    return found;
}

QPair<QString, QString> findLocalAddresses(const QString& patternA, const QString& patternB) {
    return findLocalAddresses(patternA, patternB, localIpv4Addresses());
}

QString addressPrefix(const QString& address) {
    const int dot = address.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : address.left(dot + 1);
}

bool isLoopbackIpv4(const QString& address) {
    bool ok = false;
    const quint32 v4 = QHostAddress(address.trimmed()).toIPv4Address(&ok);
    return ok && (v4 >> 24) == 127;
}

HotspotRoute chooseHotspotRoute(const QString& usbCamera, const QString& wifiCamera,
                                const QStringList& locals) {
    const QString usbPrefix = addressPrefix(usbCamera);
    const QString wifiPrefix = addressPrefix(wifiCamera);
    QPair<QString, QString> found = findLocalAddresses(usbPrefix, wifiPrefix, locals);
    QString wifiLocal = found.first;
    QString usbLocal = found.second;
    // The loopback address is left out of the local list; a camera on the
    // loopback network (a simulated one) is reached from it all the same.
    if (usbLocal.isEmpty() && isLoopbackIpv4(usbCamera))
        usbLocal = QStringLiteral("127.0.0.1");
    if (wifiLocal.isEmpty() && isLoopbackIpv4(wifiCamera))
        wifiLocal = QStringLiteral("127.0.0.1");

    // The USB link wins when both networks are present.
    HotspotRoute route;
    if (!usbLocal.isEmpty()) {
        route.localAddress = usbLocal;
        route.cameraAddress = usbCamera;
        route.status = 1;
    } else if (!wifiLocal.isEmpty()) {
        route.localAddress = wifiLocal;
        route.cameraAddress = wifiCamera;
        route.status = 0;
    }
    return route;
}
