// The control transceiver over loopback: a scripted peer plays the camera on
// 127.0.0.1:9999 (and another host on 127.0.0.10:9999).
#include "ScriptedPeer.h"

#include "camera/Camera.h"
#include "camera/UDPTransciever.h"
#include "hub/OrunAppFace.h"
#include "tests/support/ThreadWakeups.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <mutex>
#include <thread>
#include <vector>

using testpeer::cameraFrame;
using testpeer::ScriptedPeer;

namespace {

// What a test parser saw.
struct Seen {
    int code = -1;
    QByteArray data;
    QString sender;
};

// Parsers on InterAct ids the camera's table does not use: 0x101 reply form,
// 0x102 push form. Registered once per process and never destroyed, since the
// receive thread keeps the table.
class Recorder {
public:
    static Recorder& instance() {
        static Recorder* recorder = new Recorder();
        return *recorder;
    }
    void reset() {
        std::lock_guard<std::mutex> lock(mutex);
        seen.clear();
    }
    std::vector<Seen> get() {
        std::lock_guard<std::mutex> lock(mutex);
        return seen;
    }
    // Waits until `count` frames were seen, then a little longer so that
    // extra (wrongly accepted) frames would show.
    std::vector<Seen> settle(size_t count) {
        QElapsedTimer t;
        t.start();
        while (get().size() < count && t.elapsed() < 2000)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        return get();
    }

private:
    Recorder() {
        auto& t = UDPTransciever::instance()->dispatcher();
        t.addReply(
            SetInterAct, 0x101, 0,
            [this](int code, const uint8_t* d, int n, const QString& sender) {
                std::lock_guard<std::mutex> lock(mutex);
                seen.push_back({code, QByteArray(reinterpret_cast<const char*>(d), n), sender});
            });
        t.addPush(SetInterAct, 0x102, 0, [this](const uint8_t* d, int n) {
            std::lock_guard<std::mutex> lock(mutex);
            seen.push_back({-1, QByteArray(reinterpret_cast<const char*>(d), n), QString()});
        });
    }
    std::mutex mutex;
    std::vector<Seen> seen;
};

Recorder& freshRecorder() {
    Recorder::instance().reset();
    return Recorder::instance();
}

QByteArray marker(char tag) {
    return cameraFrame(SetInterAct, 0x101, QByteArray(1, 0) + QByteArray(1, tag));
}

// Sends from an unbound socket (a random port) on 127.0.0.1.
void sendFromOtherPort(const QByteArray& datagram) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(7777);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::sendto(fd, datagram.constData(), static_cast<size_t>(datagram.size()), 0,
             reinterpret_cast<sockaddr*>(&to), sizeof(to));
    ::close(fd);
}

ControlFrame probeFrame() {
    ControlFrame f;
    f.commandSet = SetFactory;
    f.commandId = 0x022;
    return f;
}

} // namespace

TEST(Transceiver, SequenceNumbersAreConsecutiveAndWrap) {
    ScriptedPeer peer;
    ASSERT_TRUE(peer.ok());
    auto udp = UDPTransciever::instance();
    ASSERT_TRUE(udp->isBound());
    udp->peerAddress.set("127.0.0.1");

    ControlFrame f = probeFrame();
    ASSERT_EQ(udp->sendFrame(f), 12);
    EXPECT_EQ(f.sequence, 1);
    ASSERT_EQ(udp->sendFrame(f), 12);
    EXPECT_EQ(f.sequence, 2);

    // Run the counter up to 65534 without traffic (no destination).
    udp->peerAddress.set(QString());
    for (int i = 3; i <= 65534; ++i)
        ASSERT_EQ(udp->sendFrame(f), -1);
    EXPECT_EQ(f.sequence, 65534);
    udp->peerAddress.set("127.0.0.1");
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(udp->sendFrame(f), 12);
    ASSERT_TRUE(peer.waitForCount(5, 2000));
    const auto got = peer.received();
    std::vector<int> seqs;
    for (const auto& r : got)
        seqs.push_back(r.frame.sequence);
    EXPECT_EQ(seqs, (std::vector<int>{1, 2, 65535, 0, 1}));
    for (const auto& r : got) {
        EXPECT_EQ(r.fromPort, 7777);
        EXPECT_EQ(r.frame.commandSet, SetFactory);
        EXPECT_EQ(r.frame.commandId, 0x022);
    }
}

TEST(Transceiver, DestinationIsPeerAddressOrTheGivenText) {
    ScriptedPeer camera("127.0.0.1");
    ScriptedPeer other("127.0.0.10");
    ASSERT_TRUE(camera.ok());
    ASSERT_TRUE(other.ok());
    auto udp = UDPTransciever::instance();
    udp->peerAddress.set("127.0.0.10");

    ControlFrame f = probeFrame();
    EXPECT_EQ(udp->sendFrame(f), 12);
    EXPECT_EQ(udp->sendFrame(f, "127.0.0.1"), 12);
    EXPECT_EQ(udp->sendFrame(f, "not an address"), -1);
    ASSERT_TRUE(other.waitForCount(1, 2000));
    ASSERT_TRUE(camera.waitForCount(1, 2000));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(other.received().size(), 1u);
    EXPECT_EQ(camera.received().size(), 1u);

    // Frames beyond the 1023-byte limit are refused (the debug build asserts).
#ifdef QT_NO_DEBUG
    ControlFrame big = probeFrame();
    big.payload = QByteArray(1012, 'b');
    big.length = 1024;
    EXPECT_EQ(udp->sendFrame(big), -1);
#endif
    // The largest frame goes out whole.
    ControlFrame largest = probeFrame();
    largest.payload = QByteArray(1011, 'l');
    largest.length = 1023;
    EXPECT_EQ(udp->sendFrame(largest, "127.0.0.1"), 1023);
    ASSERT_TRUE(camera.waitForCount(2, 2000));
    EXPECT_EQ(camera.received()[1].frame.payload, largest.payload);
}

TEST(Transceiver, DiscoveryFilterAcceptsAnyAddressFromPort9999) {
    OrunAppFace::instance()->iWifiMode = 0;
    Camera::instance()->connected = false;
    Recorder& rec = freshRecorder();
    ScriptedPeer camera("127.0.0.1");
    ScriptedPeer other("127.0.0.10");
    ASSERT_TRUE(camera.ok() && other.ok());
    UDPTransciever::instance()->peerAddress.set("127.0.0.255");

    other.sendToClient(marker('a'));
    sendFromOtherPort(marker('x')); // wrong port: dropped
    camera.sendToClient(marker('b'));
    const auto seen = rec.settle(2);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].data, "a");
    EXPECT_EQ(seen[0].sender, "127.0.0.10");
    EXPECT_EQ(seen[1].data, "b");
    EXPECT_EQ(seen[1].sender, "127.0.0.1");
}

TEST(Transceiver, LinkedFilterNeedsTheExactCameraAddress) {
    Recorder& rec = freshRecorder();
    ScriptedPeer camera("127.0.0.1");
    ScriptedPeer other("127.0.0.10"); // contains "127.0.0.1" as a substring
    ASSERT_TRUE(camera.ok() && other.ok());
    auto udp = UDPTransciever::instance();
    udp->peerAddress.set("127.0.0.1");

    // Linked in station mode.
    OrunAppFace::instance()->iWifiMode = 0;
    Camera::instance()->connected = true;
    other.sendToClient(marker('x'));
    sendFromOtherPort(marker('y'));
    camera.sendToClient(marker('a'));
    // Hotspot mode, not linked.
    auto first = rec.settle(1);
    Camera::instance()->connected = false;
    OrunAppFace::instance()->iWifiMode = 1;
    other.sendToClient(marker('x'));
    camera.sendToClient(marker('b'));
    const auto seen = rec.settle(2);
    Camera::instance()->connected = false;
    OrunAppFace::instance()->iWifiMode = 0;

    ASSERT_EQ(first.size(), 1u);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].data, "a");
    EXPECT_EQ(seen[1].data, "b");
    EXPECT_EQ(seen[1].sender, "127.0.0.1");
}

TEST(Transceiver, MalformedDatagramsAreDroppedAndDispatchGetsItsArguments) {
    OrunAppFace::instance()->iWifiMode = 0;
    Recorder& rec = freshRecorder();
    ScriptedPeer camera;
    ASSERT_TRUE(camera.ok());

    const QByteArray good = cameraFrame(SetInterAct, 0x101, QByteArray::fromHex("FE0102"));
    QByteArray badCrc = good;
    badCrc[7] = static_cast<char>(badCrc[7] ^ 1);
    QByteArray badSync = good;
    badSync[0] = 0x55;
    QByteArray badLength = good + QByteArray(1, 0);
    camera.sendToClient(QByteArray());
    camera.sendToClient(good.left(11));
    camera.sendToClient(badCrc);
    camera.sendToClient(badSync);
    camera.sendToClient(badLength);
    camera.sendToClient(QByteArray(4000, static_cast<char>(0xAA)));
    camera.sendToClient(cameraFrame(SetInterAct, 0x101, {})); // reply without a result byte
    camera.sendToClient(cameraFrame(SetInterAct, 0x103, QByteArray(4, 0))); // no parser
    camera.sendToClient(good);
    camera.sendToClient(cameraFrame(SetInterAct, 0x102, QByteArray("push")));

    const auto seen = rec.settle(2);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].code, 0xFE);
    EXPECT_EQ(seen[0].data, QByteArray::fromHex("0102"));
    EXPECT_EQ(seen[0].sender, "127.0.0.1");
    EXPECT_EQ(seen[1].code, -1);
    EXPECT_EQ(seen[1].data, "push");
}

TEST(Transceiver, IdleReceiveThreadSleepsUntilADatagram) {
    OrunAppFace::instance()->iWifiMode = 0;
    Recorder& rec = freshRecorder();
    ScriptedPeer camera;
    ASSERT_TRUE(camera.ok());
    // Nothing arrives for a second: the thread stays asleep (a stop poll
    // would wake it every few tens of milliseconds).
    int threads = 0;
    const uint64_t wakes =
        threadwakeups::wakeups_during("orun-control-rx", std::chrono::seconds(1), &threads);
    ASSERT_EQ(threads, 1);
    EXPECT_LT(wakes, 5u);
    camera.sendToClient(marker('a'));
    EXPECT_EQ(rec.settle(1).size(), 1u);
}

TEST(Transceiver, StopEndsTheReceiveThreadPromptly) {
    OrunAppFace::instance()->iWifiMode = 0;
    Recorder& rec = freshRecorder();
    ScriptedPeer camera;
    ASSERT_TRUE(camera.ok());
    camera.sendToClient(marker('a'));
    ASSERT_EQ(rec.settle(1).size(), 1u);

    QElapsedTimer timer;
    timer.start();
    UDPTransciever::instance()->stop();
    EXPECT_LT(timer.elapsed(), 3000);
    UDPTransciever::instance()->stop(); // a second stop returns at once
    EXPECT_LT(timer.elapsed(), 3000);

    // Nothing is received any more; sending still works.
    camera.sendToClient(marker('b'));
    EXPECT_EQ(rec.settle(2).size(), 1u);
    ControlFrame f = probeFrame();
    EXPECT_EQ(UDPTransciever::instance()->sendFrame(f, "127.0.0.1"), 12);
}
