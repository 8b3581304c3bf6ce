#include "camera/NetworkAddresses.h"

#include <gtest/gtest.h>

namespace {

QList<InterfaceAddress> interfaces() {
    return {
        {"127.0.0.1", "", true},
        {"::1", "", false},
        {"192.168.0.5", "192.168.0.255", true},
        {"fe80::1", "", false},
        {"192.168.88.20", "192.168.88.255", true},
        {"10.1.2.3", "", true},
    };
}

} // namespace

TEST(NetworkAddresses, LocalListBroadcastsAndPatternSearch) {
    const QStringList locals = localIpv4Addresses(interfaces());
    EXPECT_EQ(locals, (QStringList{"192.168.0.5", "192.168.88.20", "10.1.2.3"}));
    EXPECT_EQ(broadcastAddressOf("192.168.88.20", interfaces()), "192.168.88.255");
    EXPECT_EQ(broadcastAddressOf("10.1.2.3", interfaces()), "");
    EXPECT_EQ(broadcastAddressOf("10.9.9.9", interfaces()), "");

    // First text: pattern B; second text: pattern A; a later match wins.
    auto found = findLocalAddresses("192.168.88.", "192.168.0.", locals);
    EXPECT_EQ(found.first, "192.168.0.5");
    EXPECT_EQ(found.second, "192.168.88.20");
    found = findLocalAddresses("-", "192.168.", locals);
    EXPECT_EQ(found.first, "192.168.88.20");
    EXPECT_EQ(found.second, "");
    found = findLocalAddresses("", "", locals);
    EXPECT_TRUE(found.first.isEmpty() && found.second.isEmpty());

    EXPECT_EQ(addressPrefix("192.168.88.10"), "192.168.88.");
    EXPECT_EQ(addressPrefix("nodots"), "");
}

TEST(NetworkAddresses, HotspotRouteChoice) {
    // Both networks present: the USB link is used.
    HotspotRoute r =
        chooseHotspotRoute("192.168.88.10", "192.168.0.1", {"192.168.0.5", "192.168.88.20"});
    EXPECT_EQ(r.localAddress, "192.168.88.20");
    EXPECT_EQ(r.cameraAddress, "192.168.88.10");
    EXPECT_EQ(r.status, 1);

    r = chooseHotspotRoute("192.168.88.10", "192.168.0.1", {"192.168.0.5"});
    EXPECT_EQ(r.localAddress, "192.168.0.5");
    EXPECT_EQ(r.cameraAddress, "192.168.0.1");
    EXPECT_EQ(r.status, 0);

    r = chooseHotspotRoute("192.168.88.10", "192.168.0.1", {"10.0.0.2"});
    EXPECT_TRUE(r.localAddress.isEmpty());
    EXPECT_TRUE(r.cameraAddress.isEmpty());
    EXPECT_EQ(r.status, -1);

    // Unconfigured addresses never match every local address.
    r = chooseHotspotRoute("", "", {"10.0.0.2"});
    EXPECT_TRUE(r.localAddress.isEmpty());
    EXPECT_EQ(r.status, -1);

    // A camera on the loopback network is reached from 127.0.0.1.
    r = chooseHotspotRoute("127.0.0.1", "192.168.0.1", {"10.0.0.2"});
    EXPECT_EQ(r.localAddress, "127.0.0.1");
    EXPECT_EQ(r.cameraAddress, "127.0.0.1");
    EXPECT_EQ(r.status, 1);
    r = chooseHotspotRoute("192.168.88.10", "127.0.0.7", {});
    EXPECT_EQ(r.localAddress, "127.0.0.1");
    EXPECT_EQ(r.cameraAddress, "127.0.0.7");
    EXPECT_EQ(r.status, 0);
    EXPECT_FALSE(isLoopbackIpv4("128.0.0.1"));
}
