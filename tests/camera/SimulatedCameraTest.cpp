// The command catalogue and the pushes against the simulated camera, run in
// this process on 127.0.0.1:9999.
#include "camera/Camera.h"
#include "camera/UDPTransciever.h"
#include "hub/OrunAppFace.h"
#include "tools/camsim/control/ControlCamera.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

#include "tests/support/Eventually.h"

#include <cstring>
#include <functional>
#include <thread>

namespace {

class SimulatedCamera : public ::testing::Test {
protected:
    void SetUp() override {
        camsim::CameraConfig config;
        config.statusIntervalMs = 200;
        cam = std::make_unique<camsim::ControlCamera>(config);
        ASSERT_TRUE(cam->start()) << cam->lastError();
        // Hotspot mode: only the camera's own address passes the filter.
        OrunAppFace::instance()->iWifiMode = 1;
        UDPTransciever::instance()->peerAddress.set("127.0.0.1");
        camera = Camera::instance();
        ASSERT_EQ(camera->announceClient("127.0.0.1"), 0);
        EXPECT_EQ(cam->pushTarget().second, 7777);
    }
    std::unique_ptr<camsim::ControlCamera> cam;
    std::shared_ptr<Camera> camera;
    OrunAppFace* hub = OrunAppFace::instance();
};

} // namespace

TEST_F(SimulatedCamera, SettersChangeTheCameraAndQueriesReadItBack) {
    ASSERT_EQ(camera->setWorkMode(0x0201), 0);
    EXPECT_EQ(cam->state().workMode, 1);
    EXPECT_EQ(cam->state().subMode, 2);
    uint16_t mode = 0;
    ASSERT_EQ(camera->getWorkMode(mode), 0);
    EXPECT_EQ(mode, 0x0201);

    ASSERT_EQ(camera->setPhotoRatio(2), 0);
    uint8_t v = 0;
    ASSERT_EQ(camera->getPhotoRatio(v), 0);
    EXPECT_EQ(v, 2);
    ASSERT_EQ(camera->setMultiShot(2), 0);
    ASSERT_EQ(camera->getMultiShot(v), 0);
    EXPECT_EQ(v, 2);
    ASSERT_EQ(camera->setBurst(3), 0);
    ASSERT_EQ(camera->getBurst(v), 0);
    EXPECT_EQ(v, 3);
    ASSERT_EQ(camera->setResolution(1), 0);
    ASSERT_EQ(camera->getResolution(v), 0);
    EXPECT_EQ(v, 1);

    ASSERT_EQ(camera->setValue601(7), 0);
    ASSERT_EQ(camera->setValue602(9), 0);
    EXPECT_EQ(cam->state().value601, 7);
    EXPECT_EQ(cam->state().value602, 9);

    cam->updateState([](camsim::CameraState& s) {
        s.valueF3[0] = 11;
        s.valueF3[1] = -12;
        s.sdState = 3;
        s.sdError = 1;
        s.temperature = 61;
    });
    std::array<int32_t, 2> f3{};
    ASSERT_EQ(camera->queryF3(f3), 0);
    EXPECT_EQ(f3[0], 11);
    EXPECT_EQ(f3[1], -12);
    int32_t state = 0, error = 0;
    ASSERT_EQ(camera->getSdCardInfo(state, error), 0);
    EXPECT_EQ(state, 3);
    EXPECT_EQ(error, 1);
    Orun_Camera_CurrStatus status;
    ASSERT_EQ(camera->getCameraStatus(status), 0);
    EXPECT_EQ(status.iTemperature, 61);
    EXPECT_EQ(status.uModuleFlags, cam->state().moduleFlags);
    EXPECT_EQ(status.byWorkMode, 1);

    StationInfoBlock station{};
    for (size_t i = 0; i < station.size(); ++i)
        station[i] = static_cast<uint8_t>(i * 7);
    ASSERT_EQ(camera->setStationInfo(station), 0);
    StationInfoBlock back{};
    ASSERT_EQ(camera->getStationInfo("127.0.0.1", back), 0);
    EXPECT_EQ(back, station);

    ASSERT_EQ(camera->setGimbalSetting(0x0101), 0);
    EXPECT_TRUE(cam->state().portrait);
    SdkRecord44 rec44{};
    ASSERT_EQ(camera->querySdk02C(rec44), 0);
    EXPECT_EQ(rec44[30], 1);

    ASSERT_EQ(camera->focusAt(0.5f, 0.25f), 0);
    const auto focus = cam->lastRequest(SetCamera, 0x278);
    ASSERT_TRUE(focus);
    EXPECT_EQ(focus->payload, QByteArray::fromHex("0000003F0000803E"));
    ASSERT_EQ(camera->selectTarget(0.1f, 0.9f), 0);
    GimbalSpeed speed;
    speed.f[0] = 0.3f;
    ASSERT_EQ(camera->setGimbalSpeed(speed), 0);
    ASSERT_EQ(camera->probeLink(), 0);
}

TEST_F(SimulatedCamera, PushesReachTheHub) {
    // Status pushes arrive on their own.
    cam->updateState([](camsim::CameraState& s) { s.temperature = 55; });
    EXPECT_TRUE(eventually([&] { return hub->currStatus.get().iTemperature == 55; }));

    // Zoom, gimbal lock, mirror and Wi-Fi mode changes are pushed back.
    ASSERT_EQ(camera->setZoom(1, 2.5f), 0);
    EXPECT_FLOAT_EQ(cam->state().zoom, 2.5f);
    EXPECT_TRUE(eventually([&] { return hub->iCurrentZoomRate.load() != 10; }));

    ASSERT_EQ(camera->setAiFunction(0x0107), 0); // function 7 (gimbal lock), value 1
    EXPECT_EQ(cam->state().gimbalLock, 1);
    EXPECT_TRUE(eventually([&] { return hub->gimbalState.get()[2] == 1; }));
    GimbalStateRecord rec{};
    ASSERT_EQ(camera->querySdk06C(rec), 0);
    EXPECT_EQ(rec[2], 1);

    ASSERT_EQ(camera->setMirror(1), 0);
    EXPECT_EQ(cam->state().mirror, 1);

    WifiBlock wifi{};
    wifi[0] = 1;
    std::memcpy(wifi.data() + 1, "net", 3);
    std::memcpy(wifi.data() + 33, "secret", 6);
    ASSERT_EQ(camera->setWifiConfig(wifi), 0);
    EXPECT_TRUE(eventually([&] { return camera->lastPushedWifiMode() == 1; }));
    WifiBlock back;
    back.fill(0x77);
    ASSERT_EQ(camera->getWifiConfig(back), 0);
    EXPECT_EQ(back[0], 1);
    EXPECT_EQ(back[1], 0); // name and password are not taken over
    EXPECT_EQ(back[33], 0);

    // A single photo: the capture switch starts it, the file name follows.
    ASSERT_EQ(camera->setWorkMode(0x0000), 0);
    const int photos = hub->iPhotoCount.load();
    ASSERT_EQ(camera->setCapture(0), 0);
    EXPECT_TRUE(eventually([&] { return hub->iPhotoCount.load() == photos + 1; }));
    EXPECT_TRUE(hub->lstPhotoPath.get().last().startsWith("/DCIM/"));
}

TEST_F(SimulatedCamera, RefusalsAndSpoiledReplies) {
    cam->setResultCode(SetCamera, 0x241, 0xFC);
    EXPECT_EQ(camera->setResolution(2), 252);

    // A spoiled reply followed by the good one: the good one counts.
    cam->setMalformedReply(SetCamera, 0x021, camsim::Malformation::BadChecksum, true);
    uint8_t burst = 0xAA;
    EXPECT_EQ(camera->getBurst(burst), 0);
    EXPECT_EQ(burst, 0);

    // Only spoiled replies: the commands see no reply. Run side by side.
    cam->setMalformedReply(SetCamera, 0x020, camsim::Malformation::WrongPort);
    cam->setMalformedReply(SetCamera, 0x010, camsim::Malformation::BadLength);
    cam->setMalformedReply(SetCamera, 0x041, camsim::Malformation::Short);
    int multiResult = -1, ratioResult = -1, resolutionResult = -1;
    uint8_t multi = 0xAB, ratio = 0xAB, resolution = 0xAB;
    std::thread a([&] { multiResult = camera->getMultiShot(multi); });
    std::thread b([&] { ratioResult = camera->getPhotoRatio(ratio); });
    resolutionResult = camera->getResolution(resolution);
    a.join();
    b.join();
    EXPECT_EQ(multiResult, Camera::kNoReply);
    EXPECT_EQ(ratioResult, Camera::kNoReply);
    EXPECT_EQ(resolutionResult, Camera::kNoReply);
    EXPECT_EQ(multi, 0xAB);
    EXPECT_EQ(ratio, 0xAB);
    EXPECT_EQ(resolution, 0xAB);
}
