#include "tests/ui/overlay/UiTestKit.h"
#include "ui/CountDownDlg.h"
#include "ui/ErrorInfoDlg.h"
#include "ui/VideoStatisticalTimeDlg.h"
#include "ui/overlay/VideoControlBtnH16V9.h"
#include "ui/overlay/VideoControlBtnH1V1.h"
#include "ui/overlay/VideoControlBtnH3V4.h"
#include "ui/overlay/VideoControlBtnH4V3.h"
#include "ui/overlay/VideoControlBtnH9V16.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

namespace {

void resetHub() {
    OrunAppFace* hub = OrunAppFace::instance();
    hub->iOperating.store(0);
    hub->iOperation.store(-1);
    hub->iWho.store(0);
    hub->iWorkMode.store(0);
    hub->iWorkSubMode.store(0);
    hub->iPhotoMode.store(0);
    hub->iPhotoParam.store(0);
    hub->iScreenLayout.store(0);
    hub->bCtrlBtnVisible.store(true);
    hub->bGimbalMoving.store(false);
    hub->uiActive.store(true);
    hub->clearFaults();
}

void mouse(QWidget* w, QEvent::Type type, QPointF pos, Qt::MouseButtons buttons = Qt::LeftButton) {
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, pos, QPointF(w->mapToGlobal(pos.toPoint())), button,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : buttons, Qt::NoModifier);
    QApplication::sendEvent(w, &event);
}

template <typename T> T* part(QWidget* w, const char* name) {
    T* found = w->findChild<T*>(QLatin1String(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
}

struct OverlayFixture : ::testing::Test {
    void SetUp() override {
        overlay = VideoControlBtnH16V9::instance();
        // Leave no capture or pending sync behind from an earlier test of this process.
        overlay->slot_showVideoCtrlBtnStyle(false);
        overlay->slot_syncCameraStatusToUI(Orun_Camera_CurrStatus{}, false);
        resetHub();
        overlay->resize(1297, 730);
        overlay->show();
        QObject::connect(OrunAppFace::instance(), &OrunAppFace::signal_doOperationFinished, overlay,
                         &VideoControlOverlay::slot_doOperationFinished);
    }
    QPointF knobCentre() const {
        auto* knob = part<QLabel>(overlay, "lbGimbalFree");
        return QPointF(knob->mapTo(overlay, knob->rect().center())) + QPointF(0.5, 0.5);
    }

    VideoControlOverlay* overlay = nullptr;
    RuntimeDouble runtime;
};

} // namespace

TEST(OverlayForms, EveryVariantHasItsDesignSizeAndAUsableLayout) {
    resetHub();
    struct Variant {
        VideoControlOverlay* overlay;
        int layout, w, h;
    };
    const Variant variants[] = {
        {VideoControlBtnH16V9::instance(), 0, 1297, 730},
        {VideoControlBtnH9V16::instance(), 1, 410, 730},
        {VideoControlBtnH4V3::instance(), 2, 972, 730},
        {VideoControlBtnH3V4::instance(), 3, 548, 730},
        {VideoControlBtnH1V1::instance(), 4, 730, 730},
    };
    for (const Variant& v : variants) {
        SCOPED_TRACE(v.layout);
        EXPECT_EQ(v.overlay->layoutIndex(), v.layout);
        EXPECT_EQ(v.overlay->size(), QSize(v.w, v.h));
        const QRect area = v.overlay->rect();
        auto* pad = part<QWidget>(v.overlay, "wgGimbalCrl");
        auto* knob = part<QLabel>(v.overlay, "lbGimbalFree");
        EXPECT_TRUE(pad->rect().contains(knob->geometry()));
        // Every control lies inside the overlay.
        for (const char* name : {"tbVideo", "tbChangeMode", "tbPhotoMode1", "tbPhotoMode2",
                                 "tbGimbalLock", "tbFullBtn", "tbRate", "lbGimbalFree"}) {
            auto* w = part<QWidget>(v.overlay, name);
            const QRect r(w->mapTo(v.overlay, QPoint(0, 0)), w->size());
            EXPECT_TRUE(area.contains(r)) << name;
        }
        // The full-screen button sits in the corner that reveals it.
        auto* full = part<QWidget>(v.overlay, "tbFullBtn");
        const QRect fr(full->mapTo(v.overlay, QPoint(0, 0)), full->size());
        EXPECT_TRUE(fr.intersects(QRect(v.w - 19, 1, 19, 19)));
        EXPECT_EQ(v.overlay->knobRest(), knob->pos());

        // At other sizes (the picture fit of a smaller or larger window) the
        // controls stay on screen, the bar at the bottom.
        v.overlay->show();
        for (double scale : {0.75, 1.4}) {
            v.overlay->resize(int(v.w * scale), int(v.h * scale));
            const QRect area = v.overlay->rect();
            for (const char* name : {"tbVideo", "tbChangeMode", "tbPhotoMode1", "tbGimbalLock",
                                     "tbFullBtn", "tbRate", "lbGimbalFree"}) {
                auto* w = part<QWidget>(v.overlay, name);
                const QRect r(w->mapTo(v.overlay, QPoint(0, 0)), w->size());
                EXPECT_TRUE(area.contains(r)) << name << " at scale " << scale;
            }
            auto* bar = part<QWidget>(v.overlay, "wgVideo");
            EXPECT_EQ(bar->geometry().bottom(), area.bottom());
            EXPECT_EQ(v.overlay->knobRest(), knob->pos());
        }
        v.overlay->resize(v.w, v.h);
        const QString artifacts = qEnvironmentVariable("ORUN_TEST_ARTIFACTS");
        if (!artifacts.isEmpty() && QDir().mkpath(artifacts))
            v.overlay->grab().save(artifacts +
                                   QStringLiteral("/overlay_layout%1.png").arg(v.layout));
        v.overlay->hide();
    }
}

TEST(OverlayForms, MainWindowConnectionsByNameResolve) {
    // The main window wires the overlays by signature; a renamed slot or a
    // changed parameter list would only show as a runtime warning.
    OrunAppFace* hub = OrunAppFace::instance();
    VideoControlOverlay* overlay = VideoControlBtnH3V4::instance();
    const std::pair<const char*, const char*> links[] = {
        {SIGNAL(signal_showPhotoModeSettingBtnStyle()), SLOT(slot_showPhotoModeSettingBtnStyle())},
        {SIGNAL(signal_doOperationFinished(int, int)), SLOT(slot_doOperationFinished(int, int))},
        {SIGNAL(signal_showVideoCtrlBtnStyle(bool)), SLOT(slot_showVideoCtrlBtnStyle(bool))},
        {SIGNAL(signal_setVideoBtnDlgVisable(bool)), SLOT(slot_setVideoBtnDlgVisable(bool))},
        {SIGNAL(signal_syncRateBtn(QRectF, QString)), SLOT(slot_syncRateBtn(QRectF, QString))},
        {SIGNAL(signal_showRateBtn(bool)), SLOT(slot_showRateBtn(bool))},
        {SIGNAL(signal_syncCameraStatusToUI(Orun_Camera_CurrStatus, bool)),
         SLOT(slot_syncCameraStatusToUI(Orun_Camera_CurrStatus, bool))},
        {SIGNAL(signal_syncGimbalLockButton()), SLOT(slot_syncGimbalLockButton())},
        {SIGNAL(signal_videoBtnCtrlVisable()), SLOT(slot_videoBtnCtrlVisable())},
        {SIGNAL(signal_showErrInfo()), SLOT(slot_showErrInfo())},
    };
    for (const auto& link : links) {
        QMetaObject::Connection c = QObject::connect(hub, link.first, overlay, link.second);
        EXPECT_TRUE(c) << link.second;
        QObject::disconnect(c);
    }
    EXPECT_GE(overlay->metaObject()->indexOfSignal("signal_drawFocusCircle(QPointF,bool)"), 0);
}

// --- Gestures -----------------------------------------------------------------------

TEST_F(OverlayFixture, ClickFocusesOnceTheClickDelayHasPassed) {
    QSignalSpy circle(overlay, &VideoControlOverlay::signal_drawFocusCircle);
    const QPointF at(1297 / 4.0, 730 / 4.0);
    mouse(overlay, QEvent::MouseButtonPress, at);
    mouse(overlay, QEvent::MouseButtonRelease, at);
    ASSERT_EQ(circle.count(), 1);
    EXPECT_FALSE(circle[0][1].toBool()); // the previous circle is hidden
    spin(300);
    EXPECT_EQ(runtime.count(0), 0);

    ASSERT_TRUE(waitFor([&] { return runtime.count(0) == 1; }, 1000));
    const SeenRequest* focus = runtime.last(0);
    EXPECT_NEAR(focus->focus.x(), 0.25, 1e-6);
    EXPECT_NEAR(focus->focus.y(), 0.25, 1e-6);
    ASSERT_EQ(circle.count(), 2);
    EXPECT_TRUE(circle[1][1].toBool());
    EXPECT_EQ(circle[1][0].toPointF(), focus->focus);
}

TEST_F(OverlayFixture, DoubleClickSelectsATargetAndDoesNotFocus) {
    QSignalSpy circle(overlay, &VideoControlOverlay::signal_drawFocusCircle);
    const QPointF at(648.5, 365);
    mouse(overlay, QEvent::MouseButtonPress, at);
    mouse(overlay, QEvent::MouseButtonRelease, at);
    mouse(overlay, QEvent::MouseButtonDblClick, at);
    mouse(overlay, QEvent::MouseButtonRelease, at);
    spin(800);
    ASSERT_EQ(runtime.codes(), std::vector<int>{1});
    EXPECT_NEAR(runtime.seen[0].select.x(), 0.5, 1e-6);
    EXPECT_NEAR(runtime.seen[0].select.y(), 0.5, 1e-6);
    for (const QList<QVariant>& args : circle)
        EXPECT_FALSE(args[1].toBool());
}

TEST_F(OverlayFixture, PressesInTheEdgeBandsAreNeitherFocusNorSelection) {
    QSignalSpy circle(overlay, &VideoControlOverlay::signal_drawFocusCircle);
    for (const QPointF at : {QPointF(1297 - 3, 300), QPointF(3, 300), QPointF(600, 730 - 2)}) {
        mouse(overlay, QEvent::MouseButtonPress, at);
        mouse(overlay, QEvent::MouseButtonRelease, at);
        mouse(overlay, QEvent::MouseButtonDblClick, at);
        mouse(overlay, QEvent::MouseButtonRelease, at);
    }
    spin(700);
    EXPECT_TRUE(runtime.seen.empty());
    EXPECT_EQ(circle.count(), 0);
}

TEST_F(OverlayFixture, KnobDragSteersTheGimbalAndReleaseResumesTracking) {
    OrunAppFace* hub = OrunAppFace::instance();
    auto* knob = part<QLabel>(overlay, "lbGimbalFree");
    const QPoint rest = knob->pos();
    const QPointF start = knobCentre();

    mouse(overlay, QEvent::MouseButtonPress, start);
    EXPECT_TRUE(overlay->isDragging());
    mouse(overlay, QEvent::MouseMove, start + QPointF(-20, 0));
    EXPECT_EQ(knob->pos(), rest + QPoint(-20, 0));
    GimbalSpeed speed = hub->gimbalSpeed.get();
    EXPECT_EQ(speed.f[1], 0); // sector 0: dragged left
    EXPECT_EQ(speed.f[2], 30);
    EXPECT_EQ(speed.i[0], 200);
    ASSERT_TRUE(waitFor([&] { return runtime.count(2) == 1; }));
    EXPECT_TRUE(runtime.last(2)->gimbalMoving);

    // Up and left: sector 7.
    mouse(overlay, QEvent::MouseMove, start + QPointF(-20, -20));
    speed = hub->gimbalSpeed.get();
    EXPECT_EQ(speed.f[1], -25);
    EXPECT_EQ(speed.f[2], 30);

    // Far beyond the pad: the knob stays inside it.
    mouse(overlay, QEvent::MouseMove, start + QPointF(-400, -400));
    EXPECT_EQ(knob->pos(), QPoint(0, 0));

    QElapsedTimer clock;
    clock.start();
    const qint64 releasedAt = runtime.now();
    mouse(overlay, QEvent::MouseButtonRelease, start + QPointF(-400, -400));
    EXPECT_GE(clock.elapsed(), 500);
    EXPECT_FALSE(hub->bGimbalMoving.load());
    EXPECT_FALSE(overlay->isDragging());
    EXPECT_EQ(knob->pos(), rest);
    ASSERT_TRUE(waitFor([&] { return runtime.count(13) == 1; }));
    EXPECT_EQ(runtime.last(13)->aiMode, 0);
    EXPECT_EQ(runtime.last(13)->aiValue, 1);
    // The release waited 500 ms before asking for tracking again.
    EXPECT_GE(runtime.last(13)->atMs - releasedAt, 500);
}

TEST_F(OverlayFixture, KnobPressWithoutMotionOnlyResumesTracking) {
    const QPointF at = knobCentre();
    mouse(overlay, QEvent::MouseButtonPress, at);
    mouse(overlay, QEvent::MouseButtonRelease, at);
    ASSERT_TRUE(waitFor([&] { return runtime.count(13) == 1; }));
    spin(600); // nor a focus request from the press
    EXPECT_EQ(runtime.codes(), std::vector<int>{13});
}

TEST_F(OverlayFixture, DragWhileAnOperationIsPendingOnlyUpdatesTheSpeedRecord) {
    runtime.pause();
    OrunAppFace* hub = OrunAppFace::instance();
    hub->iOperation.store(9);
    hub->iOperating.store(1);
    const QPointF start = knobCentre();
    mouse(overlay, QEvent::MouseButtonPress, start);
    mouse(overlay, QEvent::MouseMove, start + QPointF(0, 20)); // knob down: sector 2
    EXPECT_EQ(hub->iOperation.load(), 9);
    EXPECT_FALSE(hub->bGimbalMoving.load());
    const GimbalSpeed speed = hub->gimbalSpeed.get();
    EXPECT_EQ(speed.f[1], 25);
    EXPECT_EQ(speed.f[2], 0);
    // A move back onto the rest position gives the neutral record.
    mouse(overlay, QEvent::MouseMove, start);
    EXPECT_EQ(hub->gimbalSpeed.get().i[0], 100);
    hub->iOperating.store(0);
    mouse(overlay, QEvent::MouseButtonRelease, start);
}

// --- Shutter ---------------------------------------------------------------------------

TEST_F(OverlayFixture, VideoShutterStartsAndStopsTheRecording) {
    OrunAppFace* hub = OrunAppFace::instance();
    hub->iWorkMode.store(1);
    auto* shutter = part<QToolButton>(overlay, "tbVideo");
    VideoStatisticalTimeDlg* clock = VideoStatisticalTimeDlg::instance();

    shutter->click();
    ASSERT_EQ(runtime.codes(), std::vector<int>{10});
    EXPECT_EQ(runtime.seen[0].who, 0);
    EXPECT_TRUE(overlay->isRunning());
    EXPECT_FALSE(overlay->isBusy());
    EXPECT_TRUE(clock->isCounting());
    EXPECT_EQ(clock->parentWidget(), overlay);
    EXPECT_EQ(VideoControlOverlay::iconPathOf(shutter), QStringLiteral(":/icon/btn_video_p.png"));

    shutter->click();
    EXPECT_EQ(runtime.codes(), (std::vector<int>{10, 11}));
    EXPECT_FALSE(overlay->isRunning());
    EXPECT_FALSE(clock->isCounting());
    EXPECT_EQ(VideoControlOverlay::iconPathOf(shutter), QStringLiteral(":/icon/btn_video_n.png"));

    // A refused start changes neither the state nor the icon.
    runtime.answer = [](const SeenRequest&) { return 118; };
    shutter->click();
    EXPECT_FALSE(overlay->isRunning());
    EXPECT_FALSE(clock->isCounting());
    EXPECT_EQ(VideoControlOverlay::iconPathOf(shutter), QStringLiteral(":/icon/btn_video_n.png"));
}

TEST_F(OverlayFixture, BurstWithTheTenSecondParameter) {
    OrunAppFace* hub = OrunAppFace::instance();
    hub->iWorkSubMode.store(1);
    hub->iPhotoMode.store(1);
    hub->iPhotoParam.store(3);
    overlay->slot_showPhotoModeSettingBtnStyle();
    EXPECT_EQ(VideoControlOverlay::iconPathOf(part<QToolButton>(overlay, "tbPhotoMode1")),
              QStringLiteral(":/icon/Takephoto/mode_burst_p_10s.png"));
    EXPECT_EQ(part<QToolButton>(overlay, "tbPhotoMode2")->text(), QStringLiteral("连拍"));

    auto* shutter = part<QToolButton>(overlay, "tbVideo");
    shutter->click();
    ASSERT_EQ(runtime.codes(), std::vector<int>{8});
    CountDownDlg* countDown = CountDownDlg::instance();
    EXPECT_TRUE(countDown->isCounting());
    EXPECT_EQ(countDown->interval(), 10);
    EXPECT_EQ(countDown->shownText(), QStringLiteral("10"));
    EXPECT_TRUE(overlay->isRunning());

    shutter->click();
    EXPECT_EQ(runtime.codes(), (std::vector<int>{8, 9}));
    EXPECT_FALSE(countDown->isCounting());
    EXPECT_FALSE(overlay->isRunning());
}

TEST_F(OverlayFixture, SingleAndMultiShotLeaveNothingRunning) {
    OrunAppFace* hub = OrunAppFace::instance();
    auto* shutter = part<QToolButton>(overlay, "tbVideo");
    shutter->click();
    EXPECT_EQ(runtime.codes(), std::vector<int>{8});
    EXPECT_FALSE(overlay->isRunning());
    EXPECT_EQ(VideoControlOverlay::iconPathOf(shutter), QStringLiteral(":/icon/btn_camera_n.png"));

    hub->iWorkSubMode.store(2);
    shutter->click();
    EXPECT_EQ(runtime.codes(), (std::vector<int>{8, 8}));
    EXPECT_FALSE(overlay->isRunning());
    EXPECT_FALSE(CountDownDlg::instance()->isCounting());
}

TEST_F(OverlayFixture, ModeSwitchIdlesTheCameraThenChangesMode) {
    OrunAppFace* hub = OrunAppFace::instance();
    hub->iWorkMode.store(1);
    hub->iPhotoMode.store(1);
    auto* mode = part<QToolButton>(overlay, "tbChangeMode");
    mode->click();
    ASSERT_TRUE(waitFor([&] { return runtime.seen.size() == 3; }));
    EXPECT_EQ(runtime.codes(), (std::vector<int>{7, 4, 5}));
    EXPECT_EQ(runtime.seen[1].workMode, 0);
    EXPECT_EQ(runtime.seen[1].workSubMode, 1);
    EXPECT_EQ(VideoControlOverlay::iconPathOf(mode), QStringLiteral(":/icon/mode_camera2x.png"));
    EXPECT_TRUE(part<QWidget>(overlay, "wgPhoto")->isVisible());
    EXPECT_FALSE(overlay->isBusy());

    // The camera cannot be brought to idle: nothing changes and the overlay
    // is free again for status updates.
    runtime.answer = [](const SeenRequest& r) -> std::optional<int> {
        return r.code == 7 ? -1 : 0;
    };
    mode->click();
    EXPECT_EQ(runtime.codes().back(), 7);
    EXPECT_EQ(hub->iWorkMode.load(), 0);
    EXPECT_FALSE(overlay->isBusy());
}

// --- Camera state -------------------------------------------------------------------------

TEST_F(OverlayFixture, PendingSyncSkipsCapturingPushesAndTakesTheNextSettledOne) {
    OrunAppFace* hub = OrunAppFace::instance();
    QSignalSpy style(hub, &OrunAppFace::signal_showVideoCtrlBtnStyle);
    Orun_Camera_CurrStatus capturing;
    capturing.byWorkMode = 1;
    capturing.byRunState = 3;
    overlay->slot_syncCameraStatusToUI(capturing, true);
    EXPECT_TRUE(overlay->isSyncPending());
    EXPECT_EQ(hub->iWorkMode.load(), 0);
    EXPECT_EQ(style.count(), 0);

    Orun_Camera_CurrStatus idle;
    idle.byWorkMode = 1;
    overlay->slot_syncCameraStatusToUI(idle, false);
    EXPECT_FALSE(overlay->isSyncPending());
    EXPECT_EQ(hub->iWorkMode.load(), 1);
    ASSERT_EQ(style.count(), 1);
    EXPECT_FALSE(style[0][0].toBool());
}

TEST_F(OverlayFixture, StatusPushesWhileRunningAreIgnoredUnlessPending) {
    OrunAppFace* hub = OrunAppFace::instance();
    QSignalSpy videoTime(hub, &OrunAppFace::signal_startCountVideoTime);
    overlay->slot_showVideoCtrlBtnStyle(true);
    Orun_Camera_CurrStatus status;
    status.byWorkMode = 1;
    status.byRunState = 3;
    status.iCaptureTimeMs = 65400;
    overlay->slot_syncCameraStatusToUI(status, false);
    EXPECT_EQ(hub->iWorkMode.load(), 0);
    EXPECT_EQ(videoTime.count(), 0);

    // A pending sync applies a recording in progress once it is settled:
    // here the camera reports it was stopped and restarted as a recording.
    overlay->slot_showVideoCtrlBtnStyle(false);
    overlay->slot_syncCameraStatusToUI(status, false);
    ASSERT_EQ(videoTime.count(), 1);
    EXPECT_EQ(videoTime[0][0].toInt(), 65);
    EXPECT_TRUE(overlay->isRunning());
}

TEST_F(OverlayFixture, JoiningARunningBurstStartsTheCountdownAtTheRemainingTime) {
    OrunAppFace* hub = OrunAppFace::instance();
    hub->iPhotoParam.store(1); // 3 s
    QSignalSpy burst(hub, &OrunAppFace::signal_startBurstCount);
    Orun_Camera_CurrStatus status;
    status.byWorkMode = 0;
    status.bySubMode = 1;
    status.byRunState = 3;
    status.iShotCount = 2;
    status.iBurstHalfSec = 8;
    overlay->slot_syncCameraStatusToUI(status, false);
    ASSERT_EQ(burst.count(), 1);
    EXPECT_EQ(burst[0][0].toInt(), 3);
    EXPECT_FALSE(burst[0][1].toBool());
    EXPECT_TRUE(overlay->isRunning());
    EXPECT_EQ(hub->iWorkSubMode.load(), 1);
}

TEST_F(OverlayFixture, BurstJoinedOnAHalfSecondStartsOnTheNextWholeOneWithoutBlocking) {
    OrunAppFace* hub = OrunAppFace::instance();
    hub->iPhotoParam.store(1); // 3 s
    QSignalSpy burst(hub, &OrunAppFace::signal_startBurstCount);
    Orun_Camera_CurrStatus status;
    status.byWorkMode = 0;
    status.bySubMode = 1;
    status.byRunState = 3;
    status.iShotCount = 2;
    // 4.5 s in, the second shot 3 s in: 1.5 s into the interval, so the
    // count starts at 2 on the next whole second.
    status.iBurstHalfSec = 9;
    overlay->slot_syncCameraStatusToUI(status, false);
    // The slot returned before the countdown began: the wait is a timer.
    EXPECT_EQ(burst.count(), 0);
    EXPECT_TRUE(overlay->isRunning());
    bool loopRan = false;
    QTimer::singleShot(0, [&] { loopRan = true; });
    ASSERT_TRUE(burst.wait(3000));
    EXPECT_TRUE(loopRan) << "the event loop ran while the countdown waited";
    ASSERT_EQ(burst.count(), 1);
    EXPECT_EQ(burst[0][0].toInt(), 2);
    EXPECT_FALSE(burst[0][1].toBool());

    // A burst that has ended by the next report (taken over after a
    // reconnect) starts no countdown.
    overlay->slot_showVideoCtrlBtnStyle(false);
    overlay->slot_syncCameraStatusToUI(status, false);
    status.byRunState = 0;
    overlay->slot_syncCameraStatusToUI(status, true);
    EXPECT_FALSE(overlay->isRunning());
    EXPECT_FALSE(burst.wait(1000));
    EXPECT_EQ(burst.count(), 1);
}

TEST_F(OverlayFixture, FaultBannersStackAndClearedOnesGo) {
    OrunAppFace* hub = OrunAppFace::instance();
    FaultEntry a;
    a.id = 3;
    a.level = 0;
    a.text = QStringLiteral("电池通信失败");
    FaultEntry b;
    b.id = 7;
    b.level = 1;
    b.text = QStringLiteral("设备过温,将自动关机");
    hub->raiseFault(a);
    hub->raiseFault(b);
    overlay->slot_showErrInfo();

    auto banners = [this] {
        QList<ErrorInfoDlg*> list;
        for (ErrorInfoDlg* d :
             overlay->findChildren<ErrorInfoDlg*>(QString(), Qt::FindDirectChildrenOnly))
            if (d->isVisible())
                list << d;
        std::sort(list.begin(), list.end(),
                  [](ErrorInfoDlg* x, ErrorInfoDlg* y) { return x->y() < y->y(); });
        return list;
    };
    QList<ErrorInfoDlg*> shown = banners();
    ASSERT_EQ(shown.size(), 2);
    EXPECT_EQ(shown[0]->y(), 18);
    EXPECT_EQ(shown[1]->y(), shown[1]->height() + 36);
    EXPECT_EQ(shown[0]->x(), 1297 / 2 - shown[0]->width() / 2);
    EXPECT_EQ(shown[0]->id(), 3);
    EXPECT_EQ(shown[1]->text(), b.text);
    for (const FaultEntry& e : hub->faults())
        EXPECT_EQ(e.state, 1);

    // Rebuilding keeps one banner per entry.
    overlay->slot_showErrInfo();
    EXPECT_EQ(banners().size(), 2);

    hub->markFaultCleared(3);
    overlay->slot_showErrInfo();
    spin(20); // deferred deletion
    shown = banners();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0]->id(), 7);
    EXPECT_EQ(shown[0]->y(), 18);
    EXPECT_EQ(hub->faults().size(), 1);

    // A hidden overlay leaves the list alone.
    FaultEntry c;
    c.id = 18;
    c.text = QStringLiteral("未插入SD卡");
    hub->raiseFault(c);
    overlay->hide();
    overlay->slot_showErrInfo();
    EXPECT_EQ(hub->faults().last().state, 0);
}

TEST_F(OverlayFixture, VisibilityRequestsOnlyReachTheOverlayOfTheCurrentLayout) {
    OrunAppFace* hub = OrunAppFace::instance();
    VideoControlOverlay* fourThree = VideoControlBtnH4V3::instance();
    fourThree->hide();
    hub->iScreenLayout.store(0);
    fourThree->slot_setVideoBtnDlgVisable(true);
    EXPECT_TRUE(fourThree->isHidden());
    hub->iScreenLayout.store(2);
    fourThree->slot_setVideoBtnDlgVisable(true);
    EXPECT_FALSE(fourThree->isHidden());
    fourThree->slot_setVideoBtnDlgVisable(false);
    EXPECT_TRUE(fourThree->isHidden());
}

TEST_F(OverlayFixture, GimbalLockTogglesAndFollowsTheCamera) {
    OrunAppFace* hub = OrunAppFace::instance();
    auto* lock = part<QToolButton>(overlay, "tbGimbalLock");
    lock->click();
    ASSERT_TRUE(waitFor([&] { return runtime.count(13) == 1; }));
    EXPECT_EQ(runtime.last(13)->aiMode, 7);
    EXPECT_EQ(runtime.last(13)->aiValue, 1);
    EXPECT_TRUE(overlay->isGimbalLocked());
    EXPECT_EQ(VideoControlOverlay::iconPathOf(lock), QStringLiteral(":/icon/btn_play_lock_p.png"));
    lock->click();
    ASSERT_TRUE(waitFor([&] { return runtime.count(13) == 2; }));
    EXPECT_EQ(runtime.last(13)->aiValue, 0);
    EXPECT_FALSE(overlay->isGimbalLocked());

    GimbalStateRecord state{};
    state[2] = 1;
    hub->gimbalState.set(state);
    overlay->slot_syncGimbalLockButton();
    EXPECT_TRUE(overlay->isGimbalLocked());
}

TEST_F(OverlayFixture, FullScreenButtonTogglesAndHidesItselfWhenButtonsAreOff) {
    OrunAppFace* hub = OrunAppFace::instance();
    QSignalSpy full(hub, &OrunAppFace::signal_showFullScreen);
    auto* button = part<QToolButton>(overlay, "tbFullBtn");
    button->click();
    button->click();
    ASSERT_EQ(full.count(), 2);
    EXPECT_TRUE(full[0][0].toBool());
    EXPECT_FALSE(full[1][0].toBool());

    hub->bCtrlBtnVisible.store(false);
    mouse(overlay, QEvent::MouseMove, QPointF(600, 300), Qt::NoButton);
    ASSERT_TRUE(waitFor([&] { return !button->isVisible(); }, 3500));
    mouse(overlay, QEvent::MouseMove, QPointF(1297 - 5, 5), Qt::NoButton);
    EXPECT_TRUE(button->isVisible());
}
