#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

// One address entry of a network interface.
struct InterfaceAddress {
    QString address;   // address text
    QString broadcast; // broadcast address text; empty when the entry has none
    bool ipv4 = true;
};

// Every address entry of every interface of this computer, in system order.
QList<InterfaceAddress> systemInterfaceAddresses();

// The IPv4 address texts of `entries`, in order, without "127.0.0.1".
QStringList localIpv4Addresses(const QList<InterfaceAddress>& entries);
QStringList localIpv4Addresses();

// The broadcast address of the entry whose address text is `address`; empty
// when there is none.
QString broadcastAddressOf(const QString& address, const QList<InterfaceAddress>& entries);
QString broadcastAddressOf(const QString& address);

// Walks `locals` in order: an address containing `patternB` becomes the first
// text, one containing `patternA` the second; a later match replaces an
// earlier one. An empty pattern matches nothing.
QPair<QString, QString> findLocalAddresses(const QString& patternA, const QString& patternB,
                                           const QStringList& locals);
QPair<QString, QString> findLocalAddresses(const QString& patternA, const QString& patternB);

// The text of an address up to and including its last "." (empty without one).
QString addressPrefix(const QString& address);

// Whether the text is an IPv4 address of the loopback network 127.0.0.0/8.
bool isLoopbackIpv4(const QString& address);

// The route to the camera in hotspot mode, from the configured camera
// addresses on the USB link and on the camera's access point.
struct HotspotRoute {
    QString localAddress;  // empty: no network to the camera
    QString cameraAddress; // empty: no camera address
    int status = -1;       // connection status: 1 USB, 0 Wi-Fi, -1 none
};
// A camera address on the loopback network is reached from 127.0.0.1.
HotspotRoute chooseHotspotRoute(const QString& usbCamera, const QString& wifiCamera,
                                const QStringList& locals);
