// The camera state read after connecting, against the simulated camera.
#include "CameraTestRig.h"

#include "app/CameraStateSync.h"

#include <QElapsedTimer>

namespace {

using camsim::CameraState;

class StateSync : public CameraRig {};

TEST_F(StateSync, IdlePhotoCameraFirstAndLaterPasses) {
    prepareCamera([](CameraState& s) {
        s.workMode = 0;
        s.subMode = 0;
        s.resolution = 1;
        s.photoRatio = 0;
        s.gimbalLock = 1;
    });
    hub->iPhotoParam = 4;
    hub->iResolution = 0;
    hub->iScreenLayout = 0;
    const bool firstPass = !cameraStateSyncedOnce();

    syncCameraState();
    EXPECT_EQ(signals_->entries(),
              QStringList({"showVideoCtrlBtnStyle(false)", "showPhotoModeSettingBtnStyle",
                           "showModeSettingUIStyle", "syncGimbalLockButton", "syncScreenSize"}) +
                  (firstPass ? QStringList() : QStringList({"resetVideoKcpClient"})));
    EXPECT_EQ(hub->iWorkMode.load(), 0);
    EXPECT_EQ(hub->iResolution.load(), 1);
    EXPECT_EQ(hub->iScreenLayout.load(), 2); // 4:3, landscape
    EXPECT_EQ(hub->gimbalState.get()[2], 1);

    const CaptureButtonState photo = hub->photoBtnState.get();
    EXPECT_EQ(photo.kind, 0);
    EXPECT_EQ(photo.active, 1);
    EXPECT_EQ(photo.runState, 0);
    EXPECT_EQ(photo.param, 4);
    const CaptureButtonState video = hub->videoBtnState.get();
    EXPECT_EQ(video.kind, 1);
    EXPECT_EQ(video.active, 0);

    // Every later pass restarts the video client.
    signals_->clear();
    syncCameraState();
    EXPECT_TRUE(cameraStateSyncedOnce());
    EXPECT_EQ(signals_->count("resetVideoKcpClient"), 1);
}

TEST_F(StateSync, RunningRecordingStartsTheRecordingClock) {
    prepareCamera([](CameraState& s) {
        s.workMode = 1;
        s.runState = 3;
        s.captureTimeMs = 12345;
        s.portrait = true;
    });
    hub->iPhotoParam = 2;
    syncCameraState();
    const QStringList e = signals_->entries();
    ASSERT_GE(e.size(), 3);
    EXPECT_EQ(e.mid(0, 3), QStringList({"showVideoCtrlBtnStyle(false)", "startCountVideoTime(12)",
                                        "showVideoCtrlBtnStyle(true)"}));
    EXPECT_EQ(signals_->count("showPhotoModeSettingBtnStyle"), 0);
    EXPECT_EQ(hub->iWorkMode.load(), 1);
    EXPECT_EQ(hub->iScreenLayout.load(), 1); // video, portrait
    EXPECT_TRUE(hub->bPortrait.load());

    const CaptureButtonState photo = hub->photoBtnState.get();
    EXPECT_EQ(photo.active, 0);
    EXPECT_EQ(photo.param, 2);
    const CaptureButtonState video = hub->videoBtnState.get();
    EXPECT_EQ(video.kind, 1);
    EXPECT_EQ(video.runState, 3);
    EXPECT_EQ(video.active, 1);
    EXPECT_EQ(video.param, 0);
}

TEST_F(StateSync, RunningBurstResumesTheCountdownOnAWholeSecond) {
    // Setting 1 shoots every 3 s; 2 photos after 4.5 s puts the camera half a
    // second into the second interval: wait for the next whole second, then
    // count down from 2.
    prepareCamera([](CameraState& s) {
        s.workMode = 0;
        s.subMode = 1;
        s.runState = 3;
        s.burst = 1;
        s.shotCount = 2;
        s.burstHalfSec = 9;
    });
    QElapsedTimer timer;
    timer.start();
    syncCameraState();
    EXPECT_GE(timer.elapsed(), 470);
    EXPECT_EQ(hub->iPhotoMode.load(), 1);
    EXPECT_EQ(hub->iPhotoParam.load(), 1);
    const QStringList e = signals_->entries();
    const int at = e.indexOf("startBurstCount(2,false)");
    ASSERT_GE(at, 0) << qPrintable(e.join(' '));
    EXPECT_EQ(e.value(at + 1), QString("showVideoCtrlBtnStyle(true)"));
    EXPECT_EQ(hub->photoBtnState.get().runState, 3);
    EXPECT_EQ(hub->photoBtnState.get().subMode, 1);
}

TEST_F(StateSync, BurstOnAWholeSecondStartsAtOnce) {
    // Setting 0 (1 s), 3 photos, 4 half seconds: 2 - 2 = 0 s into the interval.
    prepareCamera([](CameraState& s) {
        s.subMode = 1;
        s.runState = 3;
        s.burst = 0;
        s.shotCount = 3;
        s.burstHalfSec = 4;
    });
    syncCameraState();
    EXPECT_EQ(signals_->count("startBurstCount(2,false)"), 1)
        << qPrintable(signals_->entries().join(' '));
}

TEST_F(StateSync, MultiShotSettingIsRead) {
    prepareCamera([](CameraState& s) {
        s.subMode = 2;
        s.multiShot = 2;
        s.photoRatio = 2;
    });
    syncCameraState();
    EXPECT_EQ(hub->iPhotoMode.load(), 2);
    EXPECT_EQ(hub->iPhotoParam.load(), 2);
    EXPECT_EQ(hub->iScreenLayout.load(), 4);
    EXPECT_EQ(hub->photoBtnState.get().subMode, 2);
    EXPECT_EQ(hub->photoBtnState.get().param, 2);
}

TEST_F(StateSync, UnansweredStatusReadsAsIdlePhotoMode) {
    // The camera records video, but its status query goes unanswered.
    prepareCamera([](CameraState& s) {
        s.workMode = 1;
        s.runState = 3;
        s.photoRatio = 1;
        s.portrait = true;
    });
    cam->setSilent(SetCamera, 0x1C1, true);
    hub->iWorkMode = 0;
    syncCameraState();
    EXPECT_EQ(signals_->count("showVideoCtrlBtnStyle"), 0);
    EXPECT_EQ(signals_->count("showPhotoModeSettingBtnStyle"), 1);
    EXPECT_EQ(signals_->count("showModeSettingUIStyle"), 1);
    EXPECT_EQ(signals_->count("syncScreenSize"), 1);
    // Photo layout from the ratio: 16:9 turned upright.
    EXPECT_EQ(hub->iScreenLayout.load(), 1);
    EXPECT_EQ(hub->photoBtnState.get().active, 1);
    EXPECT_EQ(hub->videoBtnState.get().active, 0);
}

TEST_F(StateSync, FailedQueriesLeaveTheirFieldsAlone) {
    prepareCamera([](CameraState& s) { s.resolution = 1; });
    cam->setSilent(SetCamera, 0x041, true);
    cam->setSilent(SetSdk, 0x06C, true);
    cam->setSilent(SetCamera, 0x010, true);
    hub->iResolution = 0;
    hub->iScreenLayout = 3;
    syncCameraState();
    EXPECT_EQ(hub->iResolution.load(), 0);
    EXPECT_EQ(hub->iScreenLayout.load(), 3);
    EXPECT_EQ(signals_->count("syncGimbalLockButton"), 0);
    EXPECT_EQ(signals_->count("syncScreenSize"), 1);
}

} // namespace
