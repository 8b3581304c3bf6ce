// The command catalogue against a scripted camera on 127.0.0.1:9999.
#include "ScriptedPeer.h"

#include "camera/Camera.h"
#include "camera/CameraReplyParsers.h"
#include "camera/UDPTransciever.h"
#include "hub/OrunAppFace.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <thread>

using testpeer::replyTo;
using testpeer::ScriptedPeer;

namespace {

QByteArray le32(int32_t v) {
    QByteArray b(4, '\0');
    for (int i = 0; i < 4; ++i)
        b[i] = static_cast<char>((static_cast<uint32_t>(v) >> (8 * i)) & 0xFF);
    return b;
}

QByteArray leFloat(float f) {
    int32_t bits;
    std::memcpy(&bits, &f, 4);
    return le32(bits);
}

QByteArray pattern(int n, int seed) {
    QByteArray b(n, '\0');
    for (int i = 0; i < n; ++i)
        b[i] = static_cast<char>(seed + 3 * i);
    return b;
}

template <typename Array> QByteArray bytesOf(const Array& a) {
    return QByteArray(reinterpret_cast<const char*>(a.data()), static_cast<int>(a.size()));
}

uint32_t key(uint8_t set, uint16_t id) {
    return (static_cast<uint32_t>(set) << 12) | id;
}

// A camera that answers each (set, id) with a fixed code and data.
struct ScriptedCamera {
    ScriptedCamera() {
        OrunAppFace::instance()->iWifiMode = 0;
        Camera::instance()->connected = false;
        UDPTransciever::instance()->peerAddress.set("127.0.0.1");
        peer.setResponder([this](const ControlFrame& req) -> std::vector<QByteArray> {
            std::lock_guard<std::mutex> lock(mutex);
            auto it = answers.find(key(req.commandSet, req.commandId));
            if (it == answers.end())
                return {};
            return {replyTo(req, it->second.first, it->second.second)};
        });
    }
    void answer(uint8_t set, uint16_t id, int code, const QByteArray& data = {}) {
        std::lock_guard<std::mutex> lock(mutex);
        answers[key(set, id)] = {code, data};
    }
    std::mutex mutex;
    std::map<uint32_t, std::pair<int, QByteArray>> answers;
    ScriptedPeer peer;
};

struct Case {
    const char* name;
    uint8_t set;
    uint16_t id;
    QByteArray payload;       // expected request payload
    int code;                 // scripted result code
    QByteArray replyData;     // scripted data after the code
    std::function<int()> run; // issues the command, checks its output
};

} // namespace

TEST(CameraCommands, EveryCommandSendsItsPayloadAndReturnsTheResult) {
    ScriptedCamera cam;
    ASSERT_TRUE(cam.peer.ok());
    auto camera = Camera::instance();

    const QByteArray statusBlock = pattern(88, 5);
    const QByteArray gimbalBlock = pattern(28, 9);
    const QByteArray station = pattern(83, 1);
    const QByteArray record44 = pattern(44, 2);
    StationInfoBlock stationOut{};
    WifiBlock wifiIn{};
    for (size_t i = 0; i < wifiIn.size(); ++i)
        wifiIn[i] = static_cast<uint8_t>(i + 1);
    StationInfoBlock stationIn{};
    stationIn.fill(0x5C);
    GimbalSpeed speed;
    speed.f[0] = 1.0f;
    speed.f[1] = -2.0f;
    speed.f[2] = 0.5f;
    speed.i[0] = 1;
    speed.i[1] = -1;
    speed.i[2] = 120;

    std::vector<Case> cases = {
        {"probeLink", SetFactory, 0x022, {}, 0, {}, [&] { return camera->probeLink(); }},
        {"announceClient",
         SetUniversal,
         0x020,
         QByteArray::fromHex("0700000A611E"),
         0x81,
         {},
         [&] { return camera->announceClient("10.0.0.7"); }},
        {"getWorkMode",
         SetCamera,
         0x000,
         {},
         0,
         QByteArray::fromHex("0201"),
         [&] {
             uint16_t m = 0;
             const int r = camera->getWorkMode(m);
             EXPECT_EQ(m, 0x0102);
             return r;
         }},
        {"setWorkMode",
         SetCamera,
         0x200,
         QByteArray::fromHex("0201"),
         0x82,
         {},
         [&] { return camera->setWorkMode(0x0102); }},
        {"getPhotoRatio",
         SetCamera,
         0x010,
         {},
         0,
         QByteArray::fromHex("02"),
         [&] {
             uint8_t v = 0;
             const int r = camera->getPhotoRatio(v);
             EXPECT_EQ(v, 2);
             return r;
         }},
        {"setPhotoRatio",
         SetCamera,
         0x210,
         QByteArray::fromHex("02"),
         0x83,
         {},
         [&] { return camera->setPhotoRatio(0x102); }},
        {"getMultiShot",
         SetCamera,
         0x020,
         {},
         0,
         QByteArray::fromHex("03"),
         [&] {
             uint8_t v = 0;
             const int r = camera->getMultiShot(v);
             EXPECT_EQ(v, 3);
             return r;
         }},
        {"setMultiShot",
         SetCamera,
         0x220,
         QByteArray::fromHex("02"),
         0x84,
         {},
         [&] { return camera->setMultiShot(2); }},
        {"getBurst",
         SetCamera,
         0x021,
         {},
         0,
         QByteArray::fromHex("01"),
         [&] {
             uint8_t v = 0;
             const int r = camera->getBurst(v);
             EXPECT_EQ(v, 1);
             return r;
         }},
        {"setBurst",
         SetCamera,
         0x221,
         QByteArray::fromHex("03"),
         0x85,
         {},
         [&] { return camera->setBurst(3); }},
        {"getResolution",
         SetCamera,
         0x041,
         {},
         0,
         QByteArray::fromHex("05"),
         [&] {
             uint8_t v = 0;
             const int r = camera->getResolution(v);
             EXPECT_EQ(v, 5);
             return r;
         }},
        {"setResolution",
         SetCamera,
         0x241,
         QByteArray::fromHex("04"),
         0x86,
         {},
         [&] { return camera->setResolution(4); }},
        {"getCameraStatus",
         SetCamera,
         0x1C1,
         {},
         0,
         statusBlock,
         [&] {
             Orun_Camera_CurrStatus s;
             const int r = camera->getCameraStatus(s);
             const Orun_Camera_CurrStatus want =
                 statusFromBlock(reinterpret_cast<const uint8_t*>(statusBlock.constData()));
             EXPECT_EQ(std::memcmp(&s, &want, sizeof(s)), 0);
             return r;
         }},
        {"setCapture",
         SetCamera,
         0x600,
         QByteArray::fromHex("01"),
         0x87,
         {},
         [&] { return camera->setCapture(1); }},
        {"setValue601",
         SetCamera,
         0x601,
         QByteArray::fromHex("07"),
         0x88,
         {},
         [&] { return camera->setValue601(7); }},
        {"setValue602",
         SetCamera,
         0x602,
         QByteArray::fromHex("08"),
         0x89,
         {},
         [&] { return camera->setValue602(8); }},
        {"queryF3",
         SetCamera,
         0x0F3,
         {},
         0,
         le32(-5) + le32(6),
         [&] {
             std::array<int32_t, 2> v{};
             const int r = camera->queryF3(v);
             EXPECT_EQ(v[0], -5);
             EXPECT_EQ(v[1], 6);
             return r;
         }},
        {"getSdCardInfo",
         SetCamera,
         0x0F1,
         {},
         0,
         le32(3) + le32(1),
         [&] {
             int32_t state = 0, error = 0;
             const int r = camera->getSdCardInfo(state, error);
             EXPECT_EQ(state, 3);
             EXPECT_EQ(error, 1);
             return r;
         }},
        {"focusAt",
         SetCamera,
         0x278,
         QByteArray::fromHex("0000003F0000803E"),
         0x8A,
         {},
         [&] { return camera->focusAt(0.5f, 0.25f); }},
        {"getStationInfo",
         SetCamera,
         0x151,
         {},
         0,
         station,
         [&] {
             const int r = camera->getStationInfo("127.0.0.1", stationOut);
             EXPECT_EQ(bytesOf(stationOut), station);
             return r;
         }},
        {"setStationInfo",
         SetCamera,
         0x351,
         bytesOf(stationIn),
         0x8B,
         {},
         [&] { return camera->setStationInfo(stationIn); }},
        {"getWifiConfig",
         SetCamera,
         0x152,
         {},
         0,
         QByteArray(1, 1) + pattern(64, 7),
         [&] {
             WifiBlock w;
             w.fill(0x33);
             const int r = camera->getWifiConfig(w);
             EXPECT_EQ(w[0], 1);
             for (size_t i = 1; i < w.size(); ++i)
                 EXPECT_EQ(w[i], 0) << i;
             return r;
         }},
        {"setWifiConfig",
         SetCamera,
         0x352,
         bytesOf(wifiIn),
         0x8C,
         {},
         [&] { return camera->setWifiConfig(wifiIn); }},
        {"setGimbalSpeed",
         SetSdk,
         0x025,
         leFloat(1.0f) + leFloat(-2.0f) + leFloat(0.5f) + le32(1) + le32(-1) + le32(120),
         0x8D,
         {},
         [&] { return camera->setGimbalSpeed(speed); }},
        {"setGimbalSetting",
         SetSdk,
         0x029,
         QByteArray::fromHex("0102"),
         0x8E,
         {},
         [&] { return camera->setGimbalSetting(0x0201); }},
        {"querySdk02C",
         SetSdk,
         0x02C,
         {},
         0,
         record44,
         [&] {
             SdkRecord44 rec{};
             const int r = camera->querySdk02C(rec);
             EXPECT_EQ(bytesOf(rec), record44);
             return r;
         }},
        {"setMirror",
         SetSdk,
         0x044,
         QByteArray::fromHex("01"),
         0x8F,
         {},
         [&] { return camera->setMirror(1); }},
        {"setZoom",
         SetSdk,
         0x047,
         QByteArray::fromHex("0300002040"),
         0x90,
         {},
         [&] { return camera->setZoom(3, 2.5f); }},
        {"setAiFunction",
         SetSdk,
         0x051,
         QByteArray::fromHex("0701"),
         0x91,
         {},
         [&] { return camera->setAiFunction(0x0107); }},
        {"selectTarget",
         SetSdk,
         0x063,
         QByteArray::fromHex("0000403F0000003E"),
         0x92,
         {},
         [&] { return camera->selectTarget(0.75f, 0.125f); }},
        {"querySdk06C",
         SetSdk,
         0x06C,
         {},
         0,
         gimbalBlock,
         [&] {
             GimbalStateRecord rec{};
             const int r = camera->querySdk06C(rec);
             EXPECT_EQ(rec, gimbalStateFromBlock(
                                reinterpret_cast<const uint8_t*>(gimbalBlock.constData())));
             return r;
         }},
    };
    ASSERT_EQ(cases.size(), 31u);

    for (const Case& c : cases)
        cam.answer(c.set, c.id, c.code, c.replyData);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        cam.peer.clear();
        QElapsedTimer t;
        t.start();
        EXPECT_EQ(c.run(), c.code);
        EXPECT_LT(t.elapsed(), 900); // answered, not timed out
        const auto got = cam.peer.received();
        ASSERT_EQ(got.size(), 1u);
        const ControlFrame& f = got[0].frame;
        EXPECT_EQ(f.commandSet, c.set);
        EXPECT_EQ(f.commandId, c.id);
        EXPECT_EQ(f.payload, c.payload);
        EXPECT_EQ(f.length, 12 + c.payload.size());
        EXPECT_EQ(f.flags, 0x12);
        EXPECT_EQ(f.headerNibble, 0);
        EXPECT_EQ(f.reserved, 0);
        EXPECT_EQ(f.senderDevice, DeviceApp);
        EXPECT_EQ(f.receiverDevice, c.set == SetSdk ? DeviceSdk : DeviceCamera);
    }
}

TEST(CameraCommands, FailedRepliesReturnTheirCodeAndLeaveOutputsAlone) {
    ScriptedCamera cam;
    ASSERT_TRUE(cam.peer.ok());
    auto camera = Camera::instance();

    cam.answer(SetCamera, 0x041, 0, QByteArray::fromHex("07"));
    uint8_t res = 0;
    ASSERT_EQ(camera->getResolution(res), 0);
    EXPECT_EQ(res, 7);
    cam.answer(SetCamera, 0x041, 0xFC, QByteArray::fromHex("09"));
    res = 0x42;
    EXPECT_EQ(camera->getResolution(res), 252);
    EXPECT_EQ(res, 0x42);

    cam.answer(SetCamera, 0x600, 0xFE);
    QElapsedTimer t;
    t.start();
    EXPECT_EQ(camera->setCapture(1), 254);
    EXPECT_LT(t.elapsed(), 2000); // at once, not after the 5 s wait

    // A failed Wi-Fi query leaves the caller's zero-filled record: mode 0.
    cam.answer(SetCamera, 0x152, 0x80, QByteArray(1, 1));
    WifiBlock w{};
    EXPECT_EQ(camera->getWifiConfig(w), 0x80);
    EXPECT_EQ(w[0], 0);

    // Any Factory id answers the link probe.
    cam.peer.setResponder([](const ControlFrame& req) -> std::vector<QByteArray> {
        ControlFrame other = req;
        other.commandId = 0x7AB;
        return {replyTo(other, 0)};
    });
    EXPECT_EQ(camera->probeLink(), 0);
}

TEST(CameraCommands, RepliesArrivingRightAwayAreNeverLost) {
    ScriptedCamera cam;
    ASSERT_TRUE(cam.peer.ok());
    auto camera = Camera::instance();
    cam.answer(SetSdk, 0x044, 0);
    cam.answer(SetCamera, 0x021, 0, QByteArray::fromHex("02"));
    cam.answer(SetCamera, 0x020, 0, QByteArray::fromHex("01"));

    // Two threads with different commands at once, each sees its own reply.
    std::thread other([&] {
        for (int i = 0; i < 150; ++i) {
            uint8_t v = 0;
            ASSERT_EQ(camera->getMultiShot(v), 0);
            ASSERT_EQ(v, 1);
        }
    });
    for (int i = 0; i < 150; ++i) {
        uint8_t v = 0;
        ASSERT_EQ(camera->getBurst(v), 0);
        ASSERT_EQ(v, 2);
        ASSERT_EQ(camera->setMirror(1), 0);
    }
    other.join();
}

TEST(CameraCommands, SilentCameraGivesNoReplyAfterEachWait) {
    // Nobody listens on port 9999: every command, all at once, times out.
    OrunAppFace::instance()->iWifiMode = 0;
    UDPTransciever::instance()->peerAddress.set("127.0.0.1");
    auto camera = Camera::instance();

    uint16_t mode = 0xABCD;
    uint8_t ratio = 0xAB, multi = 0xAB, burst = 0xAB, resolution = 0xAB;
    Orun_Camera_CurrStatus status;
    status.iTemperature = 1234;
    std::array<int32_t, 2> f3{{-9, -9}};
    int32_t sdState = -9, sdError = -9;
    StationInfoBlock station;
    station.fill(0xAB);
    WifiBlock wifi;
    wifi.fill(0xAB);
    SdkRecord44 rec2C;
    rec2C.fill(0xAB);
    GimbalStateRecord rec6C;
    rec6C.fill(0xAB);

    struct Silent {
        int waitSeconds;
        std::function<int()> run;
    };
    const std::vector<Silent> all = {
        {2, [&] { return camera->probeLink(); }},
        {1, [&] { return camera->announceClient("127.0.0.1"); }},
        {5, [&] { return camera->getWorkMode(mode); }},
        {5, [&] { return camera->setWorkMode(1); }},
        {3, [&] { return camera->getPhotoRatio(ratio); }},
        {2, [&] { return camera->setPhotoRatio(1); }},
        {2, [&] { return camera->getMultiShot(multi); }},
        {2, [&] { return camera->setMultiShot(1); }},
        {2, [&] { return camera->getBurst(burst); }},
        {2, [&] { return camera->setBurst(1); }},
        {3, [&] { return camera->getResolution(resolution); }},
        {2, [&] { return camera->setResolution(1); }},
        {3, [&] { return camera->getCameraStatus(status); }},
        {5, [&] { return camera->setCapture(1); }},
        {3, [&] { return camera->setValue601(1); }},
        {3, [&] { return camera->setValue602(1); }},
        {2, [&] { return camera->queryF3(f3); }},
        {3, [&] { return camera->getSdCardInfo(sdState, sdError); }},
        {2, [&] { return camera->focusAt(0.1f, 0.2f); }},
        {3, [&] { return camera->getStationInfo("127.0.0.1", station); }},
        {2, [&] { return camera->setStationInfo(station); }},
        {3, [&] { return camera->getWifiConfig(wifi); }},
        {5, [&] { return camera->setWifiConfig(wifi); }},
        {2, [&] { return camera->setGimbalSpeed(GimbalSpeed()); }},
        {2, [&] { return camera->setGimbalSetting(1); }},
        {3, [&] { return camera->querySdk02C(rec2C); }},
        {2, [&] { return camera->setMirror(1); }},
        {2, [&] { return camera->setZoom(1, 1.5f); }},
        {2, [&] { return camera->setAiFunction(1); }},
        {2, [&] { return camera->selectTarget(0.1f, 0.2f); }},
        {3, [&] { return camera->querySdk06C(rec6C); }},
    };
    ASSERT_EQ(all.size(), 31u);

    std::vector<int> results(all.size(), -1);
    std::vector<qint64> elapsed(all.size(), 0);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < all.size(); ++i) {
        threads.emplace_back([&, i] {
            QElapsedTimer t;
            t.start();
            results[i] = all[i].run();
            elapsed[i] = t.elapsed();
        });
    }
    for (auto& th : threads)
        th.join();

    for (size_t i = 0; i < all.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(results[i], Camera::kNoReply);
        // The wait is the behaviour under test: it must be served, and not
        // stretched far beyond.
        EXPECT_GE(elapsed[i], all[i].waitSeconds * 1000 - 20);
        EXPECT_LT(elapsed[i], all[i].waitSeconds * 1000 + 1500);
    }
    EXPECT_EQ(mode, 0xABCD);
    EXPECT_EQ(ratio, 0xAB);
    EXPECT_EQ(multi, 0xAB);
    EXPECT_EQ(burst, 0xAB);
    EXPECT_EQ(resolution, 0xAB);
    EXPECT_EQ(status.iTemperature, 1234);
    EXPECT_EQ(f3[0], -9);
    EXPECT_EQ(sdState, -9);
    EXPECT_EQ(sdError, -9);
    EXPECT_EQ(station[0], 0xAB);
    EXPECT_EQ(wifi[64], 0xAB);
    EXPECT_EQ(rec2C[43], 0xAB);
    EXPECT_EQ(rec6C[0], 0xAB);
}

TEST(CameraCommands, LateReplyDoesNotSatisfyTheNextCall) {
    ScriptedCamera cam;
    ASSERT_TRUE(cam.peer.ok());
    auto camera = Camera::instance();
    OrunAppFace::instance()->iWifiMode = 1; // no station query side effects
    std::atomic<int> requests{0};
    cam.peer.setResponder([&](const ControlFrame& req) -> std::vector<QByteArray> {
        if (requests++ > 0)
            return {}; // silent for the second call
        std::this_thread::sleep_for(std::chrono::milliseconds(1300));
        return {replyTo(req, 0)};
    });

    EXPECT_EQ(camera->announceClient("127.0.0.1"), Camera::kNoReply);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500)); // the late reply lands
    EXPECT_EQ(camera->announceClient("127.0.0.1"), Camera::kNoReply);
    EXPECT_EQ(requests.load(), 2);
    OrunAppFace::instance()->iWifiMode = 0;
}

TEST(CameraCommands, SuccessReplyWithoutItsDataIsNotASuccess) {
    ScriptedCamera cam;
    ASSERT_TRUE(cam.peer.ok());
    auto camera = Camera::instance();
    cam.answer(SetCamera, 0x1C1, 0, QByteArray(10, 1)); // 10 of 88 status bytes
    Orun_Camera_CurrStatus s;
    s.iTemperature = 77;
    EXPECT_EQ(camera->getCameraStatus(s), Camera::kNoReply);
    EXPECT_EQ(s.iTemperature, 77);
}

TEST(CameraCommands, StationQueryGoesToTheGivenAddress) {
    ScriptedCamera cam; // the usual camera on 127.0.0.1
    ScriptedPeer station("127.0.0.10");
    ASSERT_TRUE(cam.peer.ok() && station.ok());
    const QByteArray block = pattern(83, 4);
    station.setResponder([&](const ControlFrame& req) -> std::vector<QByteArray> {
        return {replyTo(req, 0, block)};
    });
    StationInfoBlock out{};
    EXPECT_EQ(Camera::instance()->getStationInfo("127.0.0.10", out), 0);
    EXPECT_EQ(bytesOf(out), block);
    EXPECT_EQ(station.received().size(), 1u);
    EXPECT_TRUE(cam.peer.received().empty());
}
