// Operation codes run through the hub's request slot against the simulated
// camera: what the camera receives and what the runtime reports.
#include "CameraTestRig.h"

#include "app/OrunAppRt.h"

#include <QDebug>
#include <QElapsedTimer>

namespace {

using camsim::CameraState;

class Runtime : public CameraRig {
protected:
    void SetUp() override {
        CameraRig::SetUp();
        OrunAppRt::instance();
    }

    void post(int code, int who = 0) {
        ASSERT_TRUE(waitIdle(1000));
        hub->iWho = who;
        hub->postOperation(code);
    }
    // Posts a reporting code and returns its (first) result entry.
    QString run(int code, int who = 0, int timeoutMs = 4000) {
        const int before = signals_->count("doOperationFinished");
        post(code, who);
        if (!signals_->waitFor("doOperationFinished", before + 1, timeoutMs))
            return "no result";
        return signals_->named("doOperationFinished").value(before);
    }
    // Posts a code that reports nothing and waits until the slot is free.
    void runSilent(int code, int timeoutMs = 4000) {
        post(code);
        EXPECT_TRUE(waitIdle(timeoutMs)) << code;
    }
    static QString result(int who, int ec) {
        return QString("doOperationFinished(%1,%2)").arg(who).arg(ec);
    }
    int requests(uint8_t set, uint16_t id) const { return cam->countRequests(set, id); }
    QByteArray lastPayload(uint8_t set, uint16_t id) const {
        auto r = cam->lastRequest(set, id);
        return r ? r->payload : QByteArray("none");
    }
    void setState(const std::function<void(CameraState&)>& change) { cam->updateState(change); }
};

QByteArray bytes(std::initializer_list<int> values) {
    QByteArray out;
    for (int v : values)
        out.append(static_cast<char>(v));
    return out;
}

WifiBlock wifiRequest(int mode, const char* name, const char* password) {
    WifiBlock block{};
    block[0] = static_cast<uint8_t>(mode);
    std::memcpy(block.data() + 1, name, std::strlen(name));
    std::memcpy(block.data() + 33, password, std::strlen(password));
    return block;
}

TEST_F(Runtime, AlreadySetValuesSendNoSetCommandAndReportSuccess) {
    setState([](CameraState& s) {
        s.workMode = 0;
        s.subMode = 2;
        s.burst = 1;
        s.multiShot = 2;
        s.resolution = 1;
        s.wifiBlock[0] = 1;
    });
    hub->iWorkMode = 0;
    hub->iWorkSubMode = 2;
    EXPECT_EQ(run(4, 1), result(1, 0));

    hub->iPhotoMode = 1;
    hub->iPhotoParam = 1;
    EXPECT_EQ(run(5, 1), result(1, 0));
    hub->iPhotoMode = 2;
    hub->iPhotoParam = 2;
    EXPECT_EQ(run(6, 1), result(1, 0));

    hub->iResolution = 1;
    hub->iAiMode = 8;
    hub->iAiValue = 1;
    EXPECT_EQ(run(12, 2), result(2, 0));
    // The AI setting follows with its own result.
    ASSERT_TRUE(signals_->waitFor("doOperationFinished", 5, 3000));
    EXPECT_EQ(signals_->named("doOperationFinished").value(4), result(2, 0));
    EXPECT_EQ(lastPayload(SetSdk, 0x051), bytes({8, 1}));

    hub->wifiRequest.set(wifiRequest(1, "", ""));
    EXPECT_EQ(run(20, 2), result(2, 0));

    EXPECT_EQ(requests(SetCamera, 0x200), 0);
    EXPECT_EQ(requests(SetCamera, 0x221), 0);
    EXPECT_EQ(requests(SetCamera, 0x220), 0);
    EXPECT_EQ(requests(SetCamera, 0x241), 0);
    EXPECT_EQ(requests(SetCamera, 0x352), 0);
    EXPECT_EQ(signals_->count("doOperationFinished"), 6);
}

TEST_F(Runtime, ChangedSettingsAreSentToTheCamera) {
    hub->iWorkMode = 1;
    hub->iWorkSubMode = 0;
    EXPECT_EQ(run(4, 0), result(0, 0));
    EXPECT_EQ(lastPayload(SetCamera, 0x200), bytes({1, 0}));
    EXPECT_EQ(cam->state().workMode, 1);

    hub->iPhotoMode = 1;
    hub->iPhotoParam = 3;
    EXPECT_EQ(run(5, 1), result(1, 0));
    EXPECT_EQ(cam->state().burst, 3);
    hub->iPhotoMode = 2;
    hub->iPhotoParam = 1;
    EXPECT_EQ(run(6, 1), result(1, 0));
    EXPECT_EQ(cam->state().multiShot, 1);

    hub->iAiMode = 8;
    hub->iAiValue = 1;
    EXPECT_EQ(run(13, 2), result(2, 0));
    EXPECT_EQ(lastPayload(SetSdk, 0x051), bytes({8, 1}));
    hub->iMirror = 1;
    EXPECT_EQ(run(14, 2), result(2, 0));
    EXPECT_EQ(lastPayload(SetSdk, 0x044), bytes({1}));
    hub->iGimbalSetItem = 1;
    hub->iGimbalSetValue = 1;
    EXPECT_EQ(run(15, 2), result(2, 0));
    EXPECT_EQ(lastPayload(SetSdk, 0x029), bytes({1, 1}));
    EXPECT_TRUE(cam->state().portrait);
}

TEST_F(Runtime, ResolutionAndPhotoRatioWaitForTheCameraToConfirm) {
    cam->updateFaults([](camsim::Faults& f) {
        f.resolutionConfirmDelayMs = 1500;
        f.photoRatioConfirmDelayMs = 1500;
    });
    hub->iResolution = 1;
    hub->iAiMode = 3;
    hub->iAiValue = 0;
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(run(12, 2, 5000), result(2, 0));
    EXPECT_GE(timer.elapsed(), 1500); // answered only once the camera had switched
    ASSERT_TRUE(signals_->waitFor("doOperationFinished", 2, 3000));
    EXPECT_EQ(signals_->named("doOperationFinished"), QStringList({result(2, 0), result(2, 0)}));
    EXPECT_EQ(lastPayload(SetCamera, 0x241), bytes({1}));
    EXPECT_EQ(lastPayload(SetSdk, 0x051), bytes({3, 0}));
    EXPECT_GE(requests(SetCamera, 0x041), 3); // the first look, then polls

    hub->iPhotoRatio = 2;
    timer.start();
    EXPECT_EQ(run(17, 2, 5000), result(2, 0));
    EXPECT_GE(timer.elapsed(), 1500);
    EXPECT_EQ(cam->state().photoRatio, 2);
}

TEST_F(Runtime, RefusalsNoRepliesAndPreconditions) {
    cam->setResultCode(SetCamera, 0x200, 0xFC);
    hub->iWorkMode = 1;
    hub->iWorkSubMode = 0;
    EXPECT_EQ(run(4, 2), result(2, 0xFC));

    // Burst parameter outside burst mode: nothing is sent.
    hub->iPhotoMode = 0;
    hub->iPhotoParam = 2;
    EXPECT_EQ(run(5, 2), result(2, -1));
    hub->iPhotoMode = 1;
    EXPECT_EQ(run(6, 2), result(2, -1));
    EXPECT_EQ(requests(SetCamera, 0x221), 0);
    EXPECT_EQ(requests(SetCamera, 0x220), 0);

    // A refused resolution still runs the AI setting, which reports on its own.
    cam->setResultCode(SetCamera, 0x241, 0xF3);
    hub->iResolution = 1;
    EXPECT_EQ(run(12, 2), result(2, 0xF3));
    ASSERT_TRUE(signals_->waitFor("doOperationFinished", 5, 3000));
    EXPECT_EQ(signals_->named("doOperationFinished").value(4), result(2, 0));

    // No reply at all.
    cam->setSilent(SetCamera, 0x021, true);
    EXPECT_EQ(run(5, 2, 4000), result(2, Camera::kNoReply));
}

TEST_F(Runtime, FocusSelectionAndZoomReportNothing) {
    hub->ptFocus.set(QPointF(0.25, 0.75));
    runSilent(0);
    EXPECT_EQ(requests(SetCamera, 0x278), 1);
    hub->ptSelect.set(QPointF(0.5, 0.5));
    runSilent(1);
    EXPECT_EQ(requests(SetSdk, 0x063), 1);

    hub->iZoomSpeed = 100;
    for (float rate : {0.9f, 3.6f}) {
        hub->fZoomRate = rate;
        runSilent(3);
    }
    EXPECT_EQ(requests(SetSdk, 0x047), 0);
    for (float rate : {1.0f, 3.5f}) {
        hub->fZoomRate = rate;
        runSilent(3);
    }
    EXPECT_EQ(requests(SetSdk, 0x047), 2);
    EXPECT_FLOAT_EQ(cam->state().zoom, 3.5f);
    EXPECT_EQ(signals_->count("doOperationFinished"), 0);
}

TEST_F(Runtime, GimbalMotionRepeatsSpeedCommandsWhileDragging) {
    hub->bGimbalMoving = false;
    runSilent(2);
    EXPECT_EQ(requests(SetSdk, 0x051), 1);
    EXPECT_EQ(lastPayload(SetSdk, 0x051), bytes({0, 0}));
    EXPECT_EQ(requests(SetSdk, 0x025), 0);

    GimbalSpeed speed;
    speed.f[0] = 12.5f;
    hub->gimbalSpeed.set(speed);
    hub->iGimbalPeriodMs = 20;
    hub->bGimbalMoving = true;
    post(2);
    EXPECT_TRUE(cam->waitForRequestCount(SetSdk, 0x025, 3, 2000));
    EXPECT_EQ(hub->iOperating.load(), 1); // still dragging
    hub->bGimbalMoving = false;
    EXPECT_TRUE(waitIdle(1000));

    // A drag whose release never comes ends when the program closes.
    hub->bGimbalMoving = true;
    post(2);
    EXPECT_TRUE(cam->waitForRequestCount(SetSdk, 0x025, 5, 2000));
    hub->uiActive = false;
    EXPECT_TRUE(waitIdle(1000));
    hub->uiActive = true;
    hub->bGimbalMoving = false;
    EXPECT_EQ(signals_->count("doOperationFinished"), 0);
}

TEST_F(Runtime, SinglePhotoIsConfirmedByItsFile) {
    hub->iPhotoMode = 0;
    EXPECT_EQ(run(8, 0), result(0, 0));
    EXPECT_EQ(lastPayload(SetCamera, 0x600), bytes({0}));
    EXPECT_EQ(hub->iPhotoCount.load(), 1);
    EXPECT_EQ(cam->state().photoCount, 1);
}

TEST_F(Runtime, MultiShotWaitsForEveryPhoto) {
    setState([](CameraState& s) { s.subMode = 2; });
    hub->iPhotoMode = 2;
    const int expected[] = {3, 5, 7};
    for (int param = 0; param < 3; ++param) {
        SCOPED_TRACE(param);
        setState([param](CameraState& s) { s.multiShot = static_cast<uint8_t>(param); });
        hub->iPhotoParam = param;
        EXPECT_EQ(run(8, 0), result(0, 0));
        EXPECT_EQ(hub->iPhotoCount.load(), expected[param]);
        // The camera ends the series by itself; wait for it to be idle.
        for (int i = 0; i < 50 && cam->state().runState != 0; ++i)
            sleepMs(20);
    }
}

TEST_F(Runtime, VideoAndBurstStartAndStop) {
    setState([](CameraState& s) { s.workMode = 1; });
    EXPECT_EQ(run(10, 0), result(0, 0));
    EXPECT_EQ(cam->state().runState, 3);
    // Pressed again while recording: stops, and reports that nothing started.
    EXPECT_EQ(run(10, 0), result(0, -1));
    EXPECT_EQ(cam->state().runState, 0);
    EXPECT_EQ(requests(SetCamera, 0x600), 2);
    EXPECT_EQ(lastPayload(SetCamera, 0x600), bytes({1}));

    setState([](CameraState& s) {
        s.workMode = 0;
        s.subMode = 1;
    });
    EXPECT_EQ(run(8, 0), result(0, 0));
    EXPECT_EQ(cam->state().runState, 3);
    EXPECT_EQ(run(9, 0), result(0, 0));
    EXPECT_EQ(cam->state().runState, 0);
    // Stops when nothing runs do nothing and succeed.
    EXPECT_EQ(run(9, 0), result(0, 0));
    EXPECT_EQ(run(11, 0), result(0, 0));
    EXPECT_EQ(requests(SetCamera, 0x600), 4);
}

TEST_F(Runtime, ToIdleStopsOnlyWhatCanBeStopped) {
    setState([](CameraState& s) { s.runState = 2; });
    EXPECT_EQ(run(7, 0), result(0, -1));
    setState([](CameraState& s) { s.runState = 0; });
    EXPECT_EQ(run(7, 0), result(0, 0));
    // A single photo in progress finishes by itself.
    setState([](CameraState& s) { s.runState = 3; });
    EXPECT_EQ(run(7, 0), result(0, 0));
    EXPECT_EQ(requests(SetCamera, 0x600), 0);

    setState([](CameraState& s) {
        s.workMode = 1;
        s.runState = 3;
    });
    EXPECT_EQ(run(7, 0), result(0, 0));
    EXPECT_EQ(lastPayload(SetCamera, 0x600), bytes({1}));
    EXPECT_EQ(cam->state().runState, 0);
}

TEST_F(Runtime, CaptureConfirmedLateInTheWindowIsAccepted) {
    cam->updateFaults([](camsim::Faults& f) { f.captureConfirmDelayMs = 5500; });
    setState([](CameraState& s) { s.workMode = 1; });
    EXPECT_EQ(run(10, 0, 9000), result(0, 0));
}

TEST_F(Runtime, CaptureConfirmedAfterTheWindowTimesOut) {
    cam->updateFaults([](camsim::Faults& f) { f.captureConfirmDelayMs = 6500; });
    setState([](CameraState& s) { s.workMode = 1; });
    EXPECT_EQ(run(10, 0, 9000), result(0, -1));
}

TEST_F(Runtime, ScreenLayoutFollowsModeRatioAndOrientation) {
    SdkRecord44 portrait{};
    portrait[30] = 1;
    hub->sdkInfo2F.set(portrait);
    setState([](CameraState& s) { s.workMode = 1; });
    EXPECT_EQ(run(16, 2), result(2, 0));
    EXPECT_EQ(hub->iScreenLayout.load(), 1);

    setState([](CameraState& s) {
        s.workMode = 0;
        s.photoRatio = 0;
    });
    EXPECT_EQ(run(16, 2), result(2, 0));
    EXPECT_EQ(hub->iScreenLayout.load(), 3);
    setState([](CameraState& s) { s.photoRatio = 2; });
    EXPECT_EQ(run(16, 2), result(2, 0));
    EXPECT_EQ(hub->iScreenLayout.load(), 4);

    hub->sdkInfo2F.set(SdkRecord44{});
    setState([](CameraState& s) { s.photoRatio = 1; });
    EXPECT_EQ(run(16, 2), result(2, 0));
    EXPECT_EQ(hub->iScreenLayout.load(), 0);

    // A failed ratio query keeps the layout.
    hub->iScreenLayout = 3;
    cam->setSilent(SetCamera, 0x010, true);
    EXPECT_EQ(run(16, 2, 5000), result(2, Camera::kNoReply));
    EXPECT_EQ(hub->iScreenLayout.load(), 3);
}

TEST_F(Runtime, StorageCardStateBecomesFaultMessages) {
    setState([](CameraState& s) { s.sdState = 3; });
    runSilent(18);
    EXPECT_TRUE(hub->hasFault(9));
    EXPECT_EQ(signals_->count("showErrInfo"), 1);

    setState([](CameraState& s) {
        s.sdState = 2;
        s.sdError = 5;
    });
    runSilent(18);
    EXPECT_TRUE(hub->hasFault(14));
    EXPECT_EQ(signals_->count("showErrInfo"), 2);

    // Without a reply the messages stay, and the banner still looks again.
    const int listed = hub->faults().size();
    cam->setSilent(SetCamera, 0x0F1, true);
    runSilent(18, 5000);
    EXPECT_EQ(hub->faults().size(), listed);
    EXPECT_EQ(signals_->count("showErrInfo"), 3);
    EXPECT_EQ(signals_->count("doOperationFinished"), 0);
}

TEST_F(Runtime, StationQueryAddsACameraOnce) {
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(waitIdle(1000));
        hub->requestStationQuery("127.0.0.1");
        EXPECT_TRUE(waitIdle(3000));
    }
    const QList<CameraRecord> records = hub->cameraRecords();
    ASSERT_EQ(records.size(), 1);
    EXPECT_EQ(records[0].texts[0], QString("127.0.0.1"));
    EXPECT_EQ(records[0].texts[1], QString("ORUN-CAMSIM"));
    EXPECT_TRUE(records[0].texts[2].isEmpty());
    EXPECT_EQ(signals_->count("updateOnlineCamera"), 1);
    EXPECT_EQ(signals_->count("doOperationFinished"), 0);
    EXPECT_EQ(requests(SetCamera, 0x151), 2);
}

QStringList* capturedLog = nullptr;
void captureMessage(QtMsgType, const QMessageLogContext&, const QString& text) {
    if (capturedLog)
        capturedLog->append(text);
}

TEST_F(Runtime, WifiSwitchSendsTheRequestButLogsNoPassword) {
    QStringList log;
    capturedLog = &log;
    QtMessageHandler previous = qInstallMessageHandler(captureMessage);

    const WifiBlock request = wifiRequest(0, "HomeNet", "s3cret-pass");
    setState([](CameraState& s) { s.wifiBlock[0] = 1; });
    hub->wifiRequest.set(request);
    const QString outcome = run(20, 2);

    qInstallMessageHandler(previous);
    capturedLog = nullptr;

    EXPECT_EQ(outcome, result(2, 0));
    EXPECT_EQ(lastPayload(SetCamera, 0x352),
              QByteArray(reinterpret_cast<const char*>(request.data()), 65));
    EXPECT_TRUE(log.join('\n').contains("HomeNet"));
    EXPECT_FALSE(log.join('\n').contains("s3cret"));

    // A Wi-Fi query without reply does not count as "already set".
    cam->setSilent(SetCamera, 0x152, true);
    setState([](CameraState& s) { s.wifiBlock[0] = 1; });
    hub->wifiRequest.set(wifiRequest(0, "", ""));
    EXPECT_EQ(run(20, 2, 6000), result(2, 0));
    EXPECT_EQ(requests(SetCamera, 0x352), 2);
}

TEST_F(Runtime, RequestPostedWhileAHandlerRunsIsKeptAndEachResultGoesToItsRequester) {
    cam->updateFaults([](camsim::Faults& f) { f.captureConfirmDelayMs = 1200; });
    setState([](CameraState& s) { s.workMode = 1; });
    post(10, 0);
    ASSERT_TRUE(cam->waitForRequest(SetCamera, 0x600, 2000));
    // The settings dialog does not test the busy flag.
    hub->iMirror = 1;
    hub->iWho = 2;
    hub->postOperation(14);
    ASSERT_TRUE(signals_->waitFor("doOperationFinished", 2, 6000));
    EXPECT_EQ(requests(SetSdk, 0x044), 1);
    EXPECT_EQ(cam->state().runState, 3);
    // Each result carries the requester of the request it answers: the
    // overlay's video start (0), then the dialog's mirroring (2), although
    // the dialog wrote its iWho while the overlay's request still ran.
    EXPECT_EQ(signals_->named("doOperationFinished"), QStringList({result(0, 0), result(2, 0)}));
}

} // namespace
