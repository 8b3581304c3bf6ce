#include "hub/OrunAppFace.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QSignalSpy>

#include <atomic>
#include <thread>

namespace {

FaultEntry entry(int id, int level, const QString& text) {
    FaultEntry e;
    e.id = id;
    e.level = level;
    e.text = text;
    return e;
}

TEST(OrunAppFace, InitialValues) {
    OrunAppFace* hub = OrunAppFace::instance();
    EXPECT_EQ(hub->iOperation.load(), -1);
    EXPECT_EQ(hub->iOperating.load(), 0);
    EXPECT_EQ(hub->iGimbalPeriodMs.load(), 120);
    EXPECT_TRUE(hub->uiActive.load());
    EXPECT_TRUE(hub->showTarget.load());
    EXPECT_EQ(hub->iLanguage.load(), 1);
    EXPECT_EQ(hub->iWifiMode.load(), 0);
    EXPECT_EQ(hub->iCurrentZoomRate.load(), 10);
    EXPECT_EQ(hub->iPhotoWorkMode.load(), -1);
    EXPECT_EQ(hub->iRecWorkMode.load(), -1);
    EXPECT_EQ(hub->iDecodeMode.load(), 0);
    EXPECT_TRUE(hub->bCtrlBtnVisible.load());
    EXPECT_EQ(hub->rcNormal.get(), QRect(QPoint(300, 200), QPoint(1665, 967)));
    EXPECT_EQ(hub->rcNormal.get().size(), QSize(1366, 768));
    EXPECT_TRUE(hub->sCameraAddress.get().isEmpty());
    EXPECT_TRUE(hub->faults().isEmpty());
}

TEST(OrunAppFace, SameInstanceFromConcurrentFirstCalls) {
    std::atomic<OrunAppFace*> fromWorker{nullptr};
    std::thread worker([&] { fromWorker = OrunAppFace::instance(); });
    OrunAppFace* fromMain = OrunAppFace::instance();
    worker.join();
    EXPECT_EQ(fromMain, fromWorker.load());
}

TEST(OrunAppFace, SignalsInDeclarationOrder) {
    const QMetaObject& meta = OrunAppFace::staticMetaObject;
    const char* expected[] = {
        "signal_showConnectSatus(int)",
        "signal_showFullScreen(bool)",
        "signal_showVideoFrame(cv::Mat)",
        "signal_randerFinished(bool)",
        "signal_showVideoBgImg(QImage)",
        "signal_showCurrentZoomRate(int)",
        "signal_showPhotoModeSettingBtnStyle()",
        "signal_showVideoCtrlBtnStyle(bool)",
        "signal_showModeSettingUIStyle()",
        "signal_startBurstCount(int,bool)",
        "signal_startCountVideoTime(int)",
        "signal_setVideoBtnDlgVisable(bool)",
        "signal_syncRateBtn(QRectF,QString)",
        "signal_showRateBtn(bool)",
        "signal_syncCameraStatusToUI(Orun_Camera_CurrStatus,bool)",
        "signal_syncGimbalLockButton()",
        "signal_syncScreenSize()",
        "signal_videoBtnCtrlVisable()",
        "signal_showErrInfo()",
        "signal_updateOnlineCamera()",
        "signal_showWifiWorkStatusInfo()",
        "signal_doOperationFinished(int,int)",
        "signal_resetVideoKcpClient()",
        "signal_startVideoStatisticalTime(int)",
        "signal_stopVideoStatisticalTime()",
        "signal_startCountDown(int,bool)",
        "signal_stopCountDown()",
        "signal_showVideoPlanes(PlanePicture)",
    };
    int index = 0;
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
        QMetaMethod m = meta.method(i);
        if (m.methodType() != QMetaMethod::Signal)
            continue;
        ASSERT_LT(index, 28);
        EXPECT_EQ(QString(m.methodSignature()), QString(expected[index])) << index;
        ++index;
    }
    EXPECT_EQ(index, 28);
    // The declared parameter names are part of the interface.
    QMetaMethod status = meta.method(meta.indexOfSignal("signal_doOperationFinished(int,int)"));
    EXPECT_EQ(status.parameterNames(), (QList<QByteArray>{"iWho", "ec"}));
}

TEST(OrunAppFace, FaultListOperations) {
    OrunAppFace* hub = OrunAppFace::instance();
    hub->clearFaults();
    hub->raiseFault(entry(7, 0, "hot"));
    hub->raiseFault(entry(7, 0, "hot again")); // listed: unchanged
    hub->raiseFault(entry(18, 0, "no card"));
    ASSERT_EQ(hub->faults().size(), 2);
    EXPECT_EQ(hub->faults()[0].text, "hot");
    EXPECT_EQ(hub->faults()[0].state, 0);

    // updateFault overwrites level and text; state becomes 1 for a non-zero state.
    FaultEntry shown = entry(7, 1, "shown");
    shown.state = 5;
    hub->updateFault(shown);
    EXPECT_EQ(hub->faults()[0].level, 1);
    EXPECT_EQ(hub->faults()[0].text, "shown");
    EXPECT_EQ(hub->faults()[0].state, 1);
    // An unlisted id is not added.
    hub->updateFault(entry(3, 0, "x"));
    EXPECT_EQ(hub->faults().size(), 2);

    // markFaultCleared with an unlisted id changes nothing.
    hub->markFaultCleared(99);
    EXPECT_EQ(hub->faults()[0].state, 1);
    EXPECT_EQ(hub->faults()[1].state, 0);
    hub->markFaultCleared(18);
    EXPECT_EQ(hub->faults()[1].state, 2);
    // Raised again before the banner pass took it away: it stays listed.
    hub->raiseFault(entry(18, 0, "no card"));
    ASSERT_EQ(hub->faults().size(), 2);
    EXPECT_EQ(hub->faults()[1].state, 0);
    hub->markFaultCleared(18);

    hub->dropFault(7);
    ASSERT_EQ(hub->faults().size(), 1);
    EXPECT_EQ(hub->faults()[0].id, 18);

    hub->clearFaults();
    EXPECT_TRUE(hub->faults().isEmpty());
    hub->updateFault(entry(18, 0, "x"));
    EXPECT_TRUE(hub->faults().isEmpty());
}

// Copies handed out by the hub own their data, so a thread that walks its copy
// never shares list nodes with a thread that changes the list in place (the
// thread checker build reports it otherwise).
TEST(OrunAppFace, FaultListCopiesOwnTheirData) {
    OrunAppFace* hub = OrunAppFace::instance();
    hub->clearFaults();
    for (int id = 1; id <= 8; ++id)
        hub->raiseFault(entry(id, 0, "fault"));
    QList<FaultEntry> copy = hub->faults();
    EXPECT_TRUE(copy.isDetached());

    QStringList photos{"a.jpg", "b.jpg"};
    hub->lstPhotoPath.set(photos);
    EXPECT_TRUE(photos.isDetached());
    EXPECT_TRUE(hub->lstPhotoPath.get().isDetached());

    std::atomic<bool> done{false};
    std::atomic<bool> reading{false};
    std::thread writer([&] {
        // Changes the list only once the reader walks it.
        while (!reading)
            std::this_thread::yield();
        for (int round = 0; round < 2000; ++round) {
            hub->markFaultCleared(1 + round % 8);
            hub->raiseFault(entry(1 + round % 8, 0, "fault"));
        }
        done = true;
    });
    int walked = 0;
    do {
        for (const FaultEntry& e : hub->faults())
            walked += e.id > 0 ? 1 : 0;
        reading = true;
    } while (!done);
    writer.join();
    EXPECT_GT(walked, 0);
    EXPECT_EQ(hub->faults().size(), 8);
    hub->clearFaults();
    hub->lstPhotoPath.set({});
}

TEST(OrunAppFace, OnlineCamerasAndRecords) {
    OrunAppFace* hub = OrunAppFace::instance();
    hub->lstOnlineCamera.set({"192.168.1.5", "192.168.1.6", "192.168.1.5"});
    hub->dropOnlineCamera("192.168.1.5");
    EXPECT_EQ(hub->lstOnlineCamera.get(), (QStringList{"192.168.1.6", "192.168.1.5"}));

    hub->clearCameraRecords();
    CameraRecord a{{"192.168.1.5", "cam-a", "", ""}};
    CameraRecord b{{"192.168.1.6", "cam-b", "", ""}};
    hub->appendCameraRecord(a);
    hub->appendCameraRecord(b);
    CameraRecord sameName{{"10.0.0.1", "cam-a", "x", "y"}};
    hub->dropCameraRecord(sameName); // matched by the second text
    ASSERT_EQ(hub->cameraRecords().size(), 1);
    EXPECT_EQ(hub->cameraRecords()[0].texts[1], "cam-b");
    hub->clearCameraRecords();
}

TEST(OrunAppFace, StationQueryPostsOperation19) {
    OrunAppFace* hub = OrunAppFace::instance();
    hub->iOperating = 0;
    hub->requestStationQuery("192.168.1.30");
    EXPECT_EQ(hub->sStationAddress.get(), "192.168.1.30");
    EXPECT_EQ(hub->iOperation.load(), 19);
    EXPECT_EQ(hub->iOperating.load(), 1);
    // A pending request is not overwritten.
    hub->iOperation = 7;
    hub->iOperating = 1;
    hub->requestStationQuery("192.168.1.31");
    EXPECT_EQ(hub->iOperation.load(), 7);
    EXPECT_EQ(hub->sStationAddress.get(), "192.168.1.30");
    hub->iOperating = 0;
    hub->iOperation = -1;
}

TEST(OrunAppFace, QueuedSignalsCarryMatAndStatus) {
    OrunAppFace* hub = OrunAppFace::instance();

    QObject receiver;
    cv::Mat received;
    Orun_Camera_CurrStatus status{};
    QObject::connect(
        hub, &OrunAppFace::signal_showVideoFrame, &receiver, [&](cv::Mat m) { received = m; },
        Qt::QueuedConnection);
    QObject::connect(
        hub, &OrunAppFace::signal_syncCameraStatusToUI, &receiver,
        [&](Orun_Camera_CurrStatus s, bool) { status = s; }, Qt::QueuedConnection);
    std::thread worker([&] {
        cv::Mat m(4, 6, CV_8UC3, cv::Scalar(1, 2, 3));
        emit hub->signal_showVideoFrame(m);
        Orun_Camera_CurrStatus s{};
        s.iTemperature = 42;
        emit hub->signal_syncCameraStatusToUI(s, false);
    });
    worker.join();
    QCoreApplication::processEvents();
    ASSERT_EQ(received.cols, 6);
    EXPECT_EQ(received.at<cv::Vec3b>(0, 0)[2], 3);
    EXPECT_EQ(status.iTemperature, 42);
}

} // namespace
