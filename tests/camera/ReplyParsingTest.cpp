// Reply and push parsing without the network: frames go straight into a
// parser table holding the camera's parsers.
#include "camera/Camera.h"
#include "camera/CameraReplyParsers.h"
#include "camera/ReplyDispatcher.h"
#include "camera/UDPTransciever.h"
#include "hub/OrunAppFace.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

using Outcome = ReplyDispatcher::Outcome;

ControlFrame frame(uint8_t set, uint16_t id, const QByteArray& payload) {
    ControlFrame f;
    f.senderDevice = DeviceCamera;
    f.receiverDevice = DeviceApp;
    f.commandSet = set;
    f.commandId = id;
    f.payload = payload;
    f.length = static_cast<uint16_t>(12 + payload.size());
    return f;
}

QByteArray counting(int n, int start = 1) {
    QByteArray b(n, '\0');
    for (int i = 0; i < n; ++i)
        b[i] = static_cast<char>(start + i);
    return b;
}

class Parsers : public ::testing::Test {
protected:
    void SetUp() override {
        registerCameraParsers(table);
        // What the pushes report beyond the hub goes to the hooks the
        // program hands in; here they are recorded.
        DeviceReportHooks hooks;
        hooks.statusReport = [this](const Orun_Camera_CurrStatus& s) {
            statusReports.push_back(s);
        };
        hooks.batteryReport = [this](int level) { batteryReports.push_back(level); };
        setDeviceReportHooks(hooks);
    }
    void TearDown() override { setDeviceReportHooks({}); }
    Outcome push(uint8_t set, uint16_t id, const QByteArray& payload) {
        return table.dispatch(frame(set, id, payload), QString());
    }
    ReplyDispatcher table;
    OrunAppFace* hub = OrunAppFace::instance();
    std::vector<Orun_Camera_CurrStatus> statusReports;
    std::vector<int> batteryReports;
};

} // namespace

TEST(ReplyDispatcherTable, FormsLengthsAndSetWideEntries) {
    ReplyDispatcher t;
    int calls = 0;
    int lastCode = -1, lastLength = -1;
    QByteArray lastData;
    QString lastSender;
    t.addReply(SetCamera, 0x041, 1, [&](int code, const uint8_t* d, int n, const QString& s) {
        ++calls;
        lastCode = code;
        lastLength = n;
        lastData = QByteArray(reinterpret_cast<const char*>(d), n);
        lastSender = s;
    });
    int pushes = 0;
    t.addPush(SetSdk, 0x07A, 2, [&](const uint8_t*, int n) { pushes += n; });
    int factory = 0;
    t.addReplyForSet(SetFactory, 0, [&](int, const uint8_t*, int, const QString&) { ++factory; });

    // Reply form: result code, then the rest of the payload and its length.
    EXPECT_EQ(t.dispatch(frame(SetCamera, 0x041, QByteArray::fromHex("0007")), "10.0.0.5"),
              Outcome::Dispatched);
    EXPECT_EQ(lastCode, 0);
    EXPECT_EQ(lastLength, 1);
    EXPECT_EQ(lastData, QByteArray::fromHex("07"));
    EXPECT_EQ(lastSender, "10.0.0.5");

    // A success without its data is dropped; a failure code needs no data;
    // a reply without the result byte is dropped.
    EXPECT_EQ(t.dispatch(frame(SetCamera, 0x041, QByteArray::fromHex("00")), {}),
              Outcome::TooShort);
    EXPECT_EQ(t.dispatch(frame(SetCamera, 0x041, QByteArray::fromHex("FC")), {}),
              Outcome::Dispatched);
    EXPECT_EQ(lastCode, 0xFC);
    EXPECT_EQ(lastLength, 0);
    EXPECT_EQ(t.dispatch(frame(SetCamera, 0x041, {}), {}), Outcome::TooShort);
    EXPECT_EQ(calls, 2);

    // Push form: the whole payload.
    EXPECT_EQ(t.dispatch(frame(SetSdk, 0x07A, QByteArray(1, 'a')), {}), Outcome::TooShort);
    EXPECT_EQ(t.dispatch(frame(SetSdk, 0x07A, QByteArray(3, 'a')), {}), Outcome::Dispatched);
    EXPECT_EQ(pushes, 3);

    // Any id of a set-wide entry; sets and ids without an entry are dropped.
    EXPECT_EQ(t.dispatch(frame(SetFactory, 0xABC, QByteArray(1, 0)), {}), Outcome::Dispatched);
    EXPECT_EQ(factory, 1);
    EXPECT_EQ(t.dispatch(frame(SetCamera, 0x042, QByteArray(2, 0)), {}), Outcome::NoEntry);
    EXPECT_EQ(t.dispatch(frame(SetGimbal, 0x041, QByteArray(2, 0)), {}), Outcome::NoEntry);
}

TEST(SenderFilter, ExactIpv4MatchOnlyWhenRequired) {
    const QString camera = "192.168.1.10";
    // Discovery: any address, but only from the camera's port.
    EXPECT_TRUE(senderAccepted(QHostAddress("10.0.0.5"), 9999, camera, 9999, false));
    EXPECT_FALSE(senderAccepted(QHostAddress("192.168.1.10"), 9998, camera, 9999, false));
    // Linked: the address must be the camera's, not merely contain it.
    EXPECT_TRUE(senderAccepted(QHostAddress("192.168.1.10"), 9999, camera, 9999, true));
    EXPECT_FALSE(senderAccepted(QHostAddress("192.168.1.100"), 9999, camera, 9999, true));
    EXPECT_FALSE(senderAccepted(QHostAddress("10.0.0.5"), 9999, camera, 9999, true));
    EXPECT_FALSE(senderAccepted(QHostAddress("192.168.1.10"), 7777, camera, 9999, true));
    EXPECT_TRUE(senderAccepted(QHostAddress("::ffff:192.168.1.10"), 9999, camera, 9999, true));
    EXPECT_FALSE(senderAccepted(QHostAddress("::ffff:192.168.1.100"), 9999, camera, 9999, true));
    EXPECT_FALSE(senderAccepted(QHostAddress("fe80::1"), 9999, camera, 9999, true));
    EXPECT_FALSE(senderAccepted(QHostAddress("192.168.1.10"), 9999, QString(), 9999, true));

    EXPECT_EQ(senderIpv4Text(QHostAddress("::ffff:10.1.2.3")), "10.1.2.3");
    EXPECT_EQ(senderIpv4Text(QHostAddress("fe80::1")), "");
}

TEST_F(Parsers, StatusBlockMapping) {
    const QByteArray block = counting(88, 1);
    const auto* b = reinterpret_cast<const uint8_t*>(block.constData());
    const Orun_Camera_CurrStatus s = statusFromBlock(b);
    uint8_t rec[96];
    std::memcpy(rec, &s, sizeof(rec));

    auto word = [&](int recordOffset) {
        uint32_t v;
        std::memcpy(&v, rec + recordOffset, 4);
        return v;
    };
    auto blockWord = [&](int blockOffset) {
        return static_cast<uint32_t>(b[blockOffset]) | (b[blockOffset + 1] << 8) |
               (b[blockOffset + 2] << 16) | (static_cast<uint32_t>(b[blockOffset + 3]) << 24);
    };
    EXPECT_EQ(word(0), blockWord(0));
    EXPECT_EQ(word(4), 0u);
    EXPECT_EQ(word(8), blockWord(4));
    EXPECT_EQ(word(12), blockWord(8));
    EXPECT_EQ(word(16), blockWord(12));
    EXPECT_EQ(rec[20], b[17]);
    EXPECT_EQ(rec[21], b[18]);
    EXPECT_EQ(rec[22], b[19]);
    EXPECT_EQ(rec[23], 0);
    EXPECT_EQ(word(24), blockWord(20));
    EXPECT_EQ(word(28), blockWord(24));
    EXPECT_EQ(word(32), blockWord(28));
    EXPECT_EQ(word(36), 0u);
    for (int k = 10; k < 24; ++k)
        EXPECT_EQ(word(4 * k), blockWord(32 + 4 * (k - 10))) << k;

    // Byte 16 has no effect.
    QByteArray other = block;
    other[16] = static_cast<char>(0xEE);
    const Orun_Camera_CurrStatus s2 =
        statusFromBlock(reinterpret_cast<const uint8_t*>(other.constData()));
    EXPECT_EQ(std::memcmp(&s, &s2, sizeof(s)), 0);
}

TEST_F(Parsers, StatusPushStoresSignalsAndEvaluates) {
    QSignalSpy spy(hub, &OrunAppFace::signal_syncCameraStatusToUI);
    hub->bCameraReached = true;
    QByteArray block(88, '\0');
    block[0] = 90;                       // temperature 90: over-temperature
    block[4] = 0x1E;                     // gimbal, AI, battery and lens links up
    block[17] = 1;                       // video
    block[19] = 3;                       // recording
    block[12] = static_cast<char>(0xE8); // 1000 ms
    block[13] = 0x03;
    ASSERT_EQ(push(SetCamera, 0x1E0, block), Outcome::Dispatched);
    const Orun_Camera_CurrStatus s = hub->currStatus.get();
    EXPECT_EQ(s.iTemperature, 90);
    EXPECT_EQ(s.byWorkMode, 1);
    EXPECT_EQ(s.byRunState, 3);
    EXPECT_EQ(s.iCaptureTimeMs, 1000);
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy[0][1].toBool(), false);
    EXPECT_EQ(spy[0][0].value<Orun_Camera_CurrStatus>().iCaptureTimeMs, 1000);
    // The device-message evaluation saw the record.
    ASSERT_EQ(statusReports.size(), 1u);
    EXPECT_EQ(statusReports[0].iTemperature, 90);

    // A short push changes nothing.
    QByteArray shortBlock(87, 0x11);
    EXPECT_EQ(push(SetCamera, 0x1E0, shortBlock), Outcome::TooShort);
    EXPECT_EQ(hub->currStatus.get().iTemperature, 90);
    EXPECT_EQ(spy.count(), 1);
    EXPECT_EQ(statusReports.size(), 1u);
}

TEST_F(Parsers, GimbalStateAndZoomPushes) {
    QSignalSpy gimbalSpy(hub, &OrunAppFace::signal_syncGimbalLockButton);
    QSignalSpy zoomSpy(hub, &OrunAppFace::signal_showCurrentZoomRate);

    const QByteArray block = counting(28, 1);
    ASSERT_EQ(push(SetSdk, 0x06A, block), Outcome::Dispatched);
    const GimbalStateRecord r = hub->gimbalState.get();
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(r[i], i + 1) << i;
    EXPECT_EQ(r[10], 0);
    EXPECT_EQ(r[11], 0);
    for (int i = 12; i <= 26; ++i)
        EXPECT_EQ(r[i], i - 1) << i; // block bytes 10-24
    EXPECT_EQ(r[27], 0);             // block byte 25 unused
    EXPECT_EQ(r[28], 27);
    EXPECT_EQ(r[29], 28);
    EXPECT_EQ(gimbalSpy.count(), 1);
    EXPECT_EQ(gimbalStateFromBlock(reinterpret_cast<const uint8_t*>(block.constData())), r);

    EXPECT_EQ(push(SetSdk, 0x06A, QByteArray(27, 'z')), Outcome::TooShort);
    EXPECT_EQ(hub->gimbalState.get(), r);
    EXPECT_EQ(gimbalSpy.count(), 1);

    ASSERT_EQ(push(SetSdk, 0x07A, QByteArray::fromHex("2301FF")), Outcome::Dispatched);
    EXPECT_EQ(hub->iCurrentZoomRate.load(), 0x0123);
    ASSERT_EQ(zoomSpy.count(), 1);
    EXPECT_EQ(zoomSpy[0][0].toInt(), 0x0123);
    EXPECT_EQ(push(SetSdk, 0x07A, QByteArray::fromHex("05")), Outcome::TooShort);
    EXPECT_EQ(hub->iCurrentZoomRate.load(), 0x0123);
    EXPECT_EQ(zoomSpy.count(), 1);
}

TEST_F(Parsers, CaptureFileTexts) {
    QSignalSpy spy(hub, &OrunAppFace::signal_syncCameraStatusToUI);
    hub->iWorkMode = 2;
    Orun_Camera_CurrStatus status;
    status.iShotCount = 42;
    hub->currStatus.set(status);

    // At most 255 bytes of a long name.
    ASSERT_EQ(push(SetCamera, 0x004, QByteArray(300, 'p')), Outcome::Dispatched);
    ASSERT_EQ(hub->lstPhotoPath.get().size(), 1);
    EXPECT_EQ(hub->lstPhotoPath.get()[0], QString(255, 'p'));
    EXPECT_EQ(hub->iPhotoCount.load(), 1);
    EXPECT_EQ(hub->iPhotoWorkMode.load(), 2);
    EXPECT_EQ(spy.count(), 0);

    // The name ends at the first zero byte.
    hub->iWorkMode = 1;
    ASSERT_EQ(push(SetCamera, 0x003, QByteArray("/DCIM/a.mp4\0junk", 16)), Outcome::Dispatched);
    EXPECT_EQ(hub->lstRecPath.get(), QStringList{"/DCIM/a.mp4"});
    EXPECT_EQ(hub->iRecCount.load(), 1);
    EXPECT_EQ(hub->iRecWorkMode.load(), 1);
    ASSERT_EQ(spy.count(), 1);
    EXPECT_TRUE(spy[0][1].toBool());
    EXPECT_EQ(spy[0][0].value<Orun_Camera_CurrStatus>().iShotCount, 42);

    // A push without any name adds nothing.
    EXPECT_EQ(push(SetCamera, 0x004, {}), Outcome::TooShort);
    EXPECT_EQ(hub->iPhotoCount.load(), 1);
}

TEST_F(Parsers, SdkInfoBatteryAndWifiModePushes) {
    ASSERT_EQ(push(SetSdk, 0x0B1, QByteArray::fromHex("0100000002000000030000000401050000")),
              Outcome::Dispatched);
    const SdkInfoB1 info = hub->sdkInfoB1.get();
    EXPECT_EQ(info.value0, 1u);
    EXPECT_EQ(info.value1, 2u);
    EXPECT_EQ(info.value2, 3u);
    EXPECT_EQ(info.value3, 0x0104);
    EXPECT_EQ(info.value4, 5);
    EXPECT_EQ(push(SetSdk, 0x0B1, QByteArray(14, 9)), Outcome::TooShort);
    EXPECT_EQ(hub->sdkInfoB1.get().value0, 1u);

    const QByteArray rec = counting(44, 3);
    ASSERT_EQ(push(SetSdk, 0x02F, rec + "extra"), Outcome::Dispatched);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(hub->sdkInfo2F.get().data()), 44), rec);
    EXPECT_EQ(push(SetSdk, 0x02F, QByteArray(43, 1)), Outcome::TooShort);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(hub->sdkInfo2F.get().data()), 44), rec);
    // Byte 30 of the record is the picture orientation.
    QByteArray portrait(44, 0);
    portrait[30] = 1;
    ASSERT_EQ(push(SetSdk, 0x02F, portrait), Outcome::Dispatched);
    EXPECT_TRUE(hub->bPortrait.load());
    ASSERT_EQ(push(SetSdk, 0x02F, QByteArray(44, 0)), Outcome::Dispatched);
    EXPECT_FALSE(hub->bPortrait.load());

    // Battery: the level is byte 10, reported on to the device messages.
    hub->bCameraReached = true;
    QByteArray battery(11, 5);
    battery[10] = 0;
    EXPECT_EQ(push(SetBattery, 0x040, battery.left(10)), Outcome::TooShort);
    EXPECT_TRUE(batteryReports.empty());
    ASSERT_EQ(push(SetBattery, 0x040, battery), Outcome::Dispatched);
    EXPECT_EQ(batteryReports, std::vector<int>{0});

    std::shared_ptr<Camera> camera = Camera::instance();
    EXPECT_EQ(camera->lastPushedWifiMode(), 0xFF);
    EXPECT_EQ(push(SetCamera, 0x752, QByteArray::fromHex("01020000")), Outcome::TooShort);
    EXPECT_EQ(camera->lastPushedWifiMode(), 0xFF);
    ASSERT_EQ(push(SetCamera, 0x752, QByteArray::fromHex("0178563412")), Outcome::Dispatched);
    EXPECT_EQ(camera->lastPushedWifiMode(), 1);
    EXPECT_EQ(camera->lastPushedWifiValue(), 0x12345678);
}

TEST_F(Parsers, AnnouncementReplyListsCamerasOnlyInStationMode) {
    hub->iWifiMode = 1;
    hub->iOperation = -1;
    hub->iOperating = 0;
    ASSERT_EQ(table.dispatch(frame(SetUniversal, 0x020, QByteArray(1, 0)), "192.168.1.30"),
              Outcome::Dispatched);
    EXPECT_TRUE(hub->lstOnlineCamera.get().isEmpty());
    EXPECT_EQ(hub->iOperation.load(), -1);
    EXPECT_EQ(hub->iOperating.load(), 0);

    hub->iWifiMode = 0;
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(table.dispatch(frame(SetUniversal, 0x020, QByteArray(1, 0)), "192.168.1.30"),
                  Outcome::Dispatched);
    ASSERT_EQ(table.dispatch(frame(SetUniversal, 0x020, QByteArray(1, 0)), "192.168.1.31"),
              Outcome::Dispatched);
    // Repeated answers from one camera list it once.
    EXPECT_EQ(hub->lstOnlineCamera.get(), (QStringList{"192.168.1.30", "192.168.1.31"}));
    // The pending query of the first camera is not overwritten by the second.
    EXPECT_EQ(hub->sStationAddress.get(), "192.168.1.30");
    // Once the runtime has taken it, the next answer asks about the other camera.
    hub->iOperating = 0;
    ASSERT_EQ(table.dispatch(frame(SetUniversal, 0x020, QByteArray(1, 0)), "192.168.1.31"),
              Outcome::Dispatched);
    EXPECT_EQ(hub->sStationAddress.get(), "192.168.1.31");
    EXPECT_EQ(hub->iOperation.load(), 19);
    EXPECT_EQ(hub->iOperating.load(), 1);
}

TEST_F(Parsers, UnknownCommandsAreDropped) {
    const Orun_Camera_CurrStatus before = hub->currStatus.get();
    EXPECT_EQ(push(SetCamera, 0x123, QByteArray(100, 1)), Outcome::NoEntry);
    EXPECT_EQ(push(SetBattery, 0x041, QByteArray(100, 1)), Outcome::NoEntry);
    EXPECT_EQ(push(SetGimbal, 0x06A, QByteArray(100, 1)), Outcome::NoEntry);
    EXPECT_EQ(push(SetInterAct, 0x000, QByteArray(100, 1)), Outcome::NoEntry);
    const Orun_Camera_CurrStatus after = hub->currStatus.get();
    EXPECT_EQ(std::memcmp(&before, &after, sizeof(before)), 0);
    // Every Factory id is the link probe's answer.
    EXPECT_EQ(push(SetFactory, 0x7FF, QByteArray(1, 0)), Outcome::Dispatched);
}
