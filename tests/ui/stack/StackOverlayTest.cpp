// Overlay gestures and shutter through the operation runtime to the simulated
// camera, and the camera's pushes back into the overlay.
#include "StackFixture.h"

#include "ui/CountDownDlg.h"
#include "ui/ErrorInfoDlg.h"
#include "ui/PohtoModeSettingDlg.h"
#include "video/VideoWidget.h"

#include <QLabel>
#include <QToolButton>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

using namespace stack;
using camsim::CameraState;

namespace {

template <typename T> T* part(QWidget* w, const char* name) {
    T* found = w->findChild<T*>(QLatin1String(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
}

class StackOverlay : public StackTest {
protected:
    QPointF knobCentre() const {
        auto* knob = part<QLabel>(overlay, "lbGimbalFree");
        return QPointF(knob->mapTo(overlay, knob->rect().center())) + QPointF(0.5, 0.5);
    }
    void click(QPointF at) {
        mouse(overlay, QEvent::MouseButtonPress, at);
        mouse(overlay, QEvent::MouseButtonRelease, at);
    }
    void doubleClick(QPointF at) {
        click(at);
        mouse(overlay, QEvent::MouseButtonDblClick, at);
        mouse(overlay, QEvent::MouseButtonRelease, at);
    }
    // Puts camera and hub into one mode row and lets the overlay show it.
    void modeRow(int workMode, int subMode, int photoParam = 0) {
        cam->updateState([&](CameraState& s) {
            s.workMode = static_cast<uint8_t>(workMode);
            s.subMode = static_cast<uint8_t>(subMode);
            s.burst = static_cast<uint8_t>(subMode == 1 ? photoParam : 0);
            s.multiShot = static_cast<uint8_t>(subMode == 2 ? photoParam : 0);
        });
        hub->iPhotoMode = workMode == 0 ? subMode : 0;
        hub->iPhotoParam = photoParam;
        cam->pushStatusNow();
        ASSERT_TRUE(waitFor([&] {
            return hub->iWorkMode.load() == workMode && hub->iWorkSubMode.load() == subMode;
        }));
        spin(30);
    }
    bool waitCamera(const std::function<bool(const CameraState&)>& pred, int ms = 3000) {
        return waitFor([&] { return pred(cam->state()); }, ms);
    }
};

TEST_F(StackOverlay, ClickFocusesOnTheCameraAndDrawsTheCircle) {
    const QPointF at(overlay->width() / 4.0, overlay->height() / 4.0);
    click(at);
    ASSERT_TRUE(waitForRequests(SetCamera, 0x278, 1));
    const QByteArray p = payload(SetCamera, 0x278);
    ASSERT_EQ(p.size(), 8);
    EXPECT_NEAR(floatAt(p, 0), 0.25, 1e-3);
    EXPECT_NEAR(floatAt(p, 4), 0.25, 1e-3);
    EXPECT_TRUE(waitFor([] { return VideoWidget::instance()->circleDrawn(); }, 1000));
    EXPECT_EQ(cam->countRequests(SetSdk, 0x063), 0);
}

TEST_F(StackOverlay, DoubleClickSelectsATargetWithoutFocusAndTheRightBandDoesNeither) {
    const QPointF centre(overlay->width() / 2.0, overlay->height() / 2.0);
    doubleClick(centre);
    ASSERT_TRUE(waitForRequests(SetSdk, 0x063, 1));
    const QByteArray p = payload(SetSdk, 0x063);
    ASSERT_EQ(p.size(), 8);
    EXPECT_NEAR(floatAt(p, 0), 0.5, 2e-3);
    EXPECT_NEAR(floatAt(p, 4), 0.5, 2e-3);
    spin(700); // longer than the click delay
    EXPECT_EQ(cam->countRequests(SetCamera, 0x278), 0);
    EXPECT_EQ(cam->countRequests(SetSdk, 0x063), 1);

    // The band along the right edge belongs to the zoom and full-screen
    // controls: neither a click nor a double click reaches the camera.
    cam->clearRequests();
    const QPointF band(overlay->width() - 3, overlay->height() / 3.0);
    click(band);
    spin(700);
    doubleClick(band);
    spin(700);
    EXPECT_EQ(cam->countRequests(SetCamera, 0x278), 0);
    EXPECT_EQ(cam->countRequests(SetSdk, 0x063), 0);
    EXPECT_FALSE(VideoWidget::instance()->circleDrawn());
}

TEST_F(StackOverlay, KnobDragSteersTheGimbalAndReleaseResumesTrackingLater) {
    const QPointF start = knobCentre();
    mouse(overlay, QEvent::MouseButtonPress, start);
    mouse(overlay, QEvent::MouseMove, start + QPointF(-20, 0)); // dragged left
    ASSERT_TRUE(waitForRequests(SetSdk, 0x025, 3));

    // Tracking is switched off before the first speed record.
    const std::vector<camsim::Request> log = cam->requests();
    auto first = [&](uint16_t id) {
        return std::find_if(log.begin(), log.end(), [id](const camsim::Request& r) {
            return r.commandSet == SetSdk && r.commandId == id;
        });
    };
    ASSERT_NE(first(0x051), log.end());
    EXPECT_EQ(first(0x051)->payload, bytes({0, 0}));
    EXPECT_LT(first(0x051) - log.begin(), first(0x025) - log.begin());
    const QByteArray speed = payload(SetSdk, 0x025);
    ASSERT_EQ(speed.size(), 24);
    EXPECT_FLOAT_EQ(floatAt(speed, 4), 0.0f);  // no tilt
    EXPECT_FLOAT_EQ(floatAt(speed, 8), 30.0f); // pan to the left
    EXPECT_EQ(intAt(speed, 12), 200);

    const auto released = std::chrono::steady_clock::now();
    mouse(overlay, QEvent::MouseButtonRelease, start + QPointF(-20, 0));
    ASSERT_TRUE(waitFor(
        [&] {
            auto r = cam->lastRequest(SetSdk, 0x051);
            return r && r->payload == bytes({0, 1});
        },
        3000));
    const auto resumed = cam->lastRequest(SetSdk, 0x051)->receivedAt;
    EXPECT_GE(std::chrono::duration_cast<std::chrono::milliseconds>(resumed - released).count(),
              500);
    // The speed commands stop with the release.
    const int speeds = cam->countRequests(SetSdk, 0x025);
    spin(200);
    EXPECT_EQ(cam->countRequests(SetSdk, 0x025), speeds);
}

TEST_F(StackOverlay, ShutterInEveryModeRowReachesTheCameraState) {
    auto* shutter = part<QToolButton>(overlay, "tbVideo");

    // Video: recording runs until pressed again; the file follows the stop.
    modeRow(1, 0);
    shutter->click();
    EXPECT_EQ(cam->state().runState, 3);
    EXPECT_TRUE(overlay->isRunning());
    shutter->click();
    EXPECT_TRUE(waitCamera([](const CameraState& s) { return s.runState == 0; }));
    EXPECT_FALSE(overlay->isRunning());
    EXPECT_TRUE(waitFor([this] { return hub->iRecCount.load() >= 1; }));

    // Single photo: one photo file pushed; the runtime counts the photos of
    // each press.
    modeRow(0, 0);
    shutter->click();
    EXPECT_EQ(cam->state().photoCount, 1);
    EXPECT_EQ(hub->iPhotoCount.load(), 1);
    EXPECT_FALSE(overlay->isRunning());

    // Multi-shot with the first setting: three photos, nothing left running.
    modeRow(0, 2, 0);
    shutter->click();
    EXPECT_EQ(cam->state().photoCount, 4);
    EXPECT_EQ(hub->iPhotoCount.load(), 3);
    EXPECT_FALSE(overlay->isRunning());
    EXPECT_TRUE(waitCamera([](const CameraState& s) { return s.runState == 0; }));
}

TEST_F(StackOverlay, TenSecondBurstShowsItsIconAndCountsDownFromTen) {
    modeRow(0, 1, 3);
    overlay->slot_showPhotoModeSettingBtnStyle();
    EXPECT_EQ(VideoControlOverlay::iconPathOf(part<QToolButton>(overlay, "tbPhotoMode1")),
              QStringLiteral(":/icon/Takephoto/mode_burst_p_10s.png"));
    auto* shutter = part<QToolButton>(overlay, "tbVideo");
    shutter->click();
    EXPECT_EQ(cam->state().runState, 3);
    EXPECT_EQ(cam->state().burst, 3);
    CountDownDlg* countDown = CountDownDlg::instance();
    EXPECT_TRUE(countDown->isCounting());
    EXPECT_EQ(countDown->interval(), 10);
    EXPECT_EQ(countDown->shownText(), QStringLiteral("10"));
    EXPECT_TRUE(countDown->isVisible());
    EXPECT_TRUE(waitFor([&] { return countDown->shownText() == QStringLiteral("9"); }, 2500));

    shutter->click();
    EXPECT_TRUE(waitCamera([](const CameraState& s) { return s.runState == 0; }));
    EXPECT_FALSE(countDown->isCounting());
    EXPECT_FALSE(overlay->isRunning());
}

TEST_F(StackOverlay, CapturingStatusIsIgnoredWhileASyncIsPending) {
    // A recording runs on the camera and the overlay takes it over.
    cam->updateState([](CameraState& s) {
        s.workMode = 1;
        s.runState = 3;
    });
    cam->pushStatusNow();
    ASSERT_TRUE(waitFor([this] { return overlay->isRunning(); }));
    EXPECT_EQ(hub->iWorkMode.load(), 1);

    // A recording file while the camera still reports capturing asks for a
    // settled state; the capturing reports that follow are not taken over.
    ASSERT_TRUE(cam->sendPush(SetCamera, 0x003, QByteArray("/DCIM/VID_0001.MP4")));
    ASSERT_TRUE(waitFor([this] { return overlay->isSyncPending(); }));
    cam->updateState([](CameraState& s) {
        s.workMode = 0;
        s.subMode = 1;
    });
    cam->pushStatusNow();
    spin(300);
    EXPECT_TRUE(overlay->isSyncPending());
    EXPECT_EQ(hub->iWorkMode.load(), 1);

    // The first settled report is applied.
    cam->updateState([](CameraState& s) { s.runState = 0; });
    cam->pushStatusNow();
    ASSERT_TRUE(waitFor([this] { return !overlay->isSyncPending(); }));
    EXPECT_EQ(hub->iWorkMode.load(), 0);
    EXPECT_EQ(hub->iWorkSubMode.load(), 1);
    EXPECT_FALSE(overlay->isRunning());
}

// Pushes the camera's status every 30 ms from its own thread while it lives,
// with the answer to the runtime's work-mode query held back by 400 ms: the
// runtime reads the wanted mode from the hub only after that answer, so every
// report of the old mode meanwhile could undo a request.
class OldStatusMeanwhile {
public:
    explicit OldStatusMeanwhile(camsim::ControlCamera& cam) : m_cam(cam) {
        m_cam.setReplyDelay(SetCamera, 0x000, 400);
        m_thread = std::thread([this] {
            while (m_pushing.load()) {
                m_cam.pushStatusNow();
                std::this_thread::sleep_for(std::chrono::milliseconds(30));
            }
        });
    }
    ~OldStatusMeanwhile() {
        m_pushing = false;
        m_thread.join();
        m_cam.setReplyDelay(SetCamera, 0x000, 0);
    }

private:
    camsim::ControlCamera& m_cam;
    std::atomic<bool> m_pushing{true};
    std::thread m_thread;
};

TEST_F(StackOverlay, StatusReportsDuringAPhotoModeChoiceDoNotUndoIt) {
    modeRow(0, 1); // photo, burst
    QToolButton* multi = PohtoModeSettingDlg::instance()->findChild<QToolButton*>("tbMultiPhoto");
    ASSERT_NE(multi, nullptr);
    {
        OldStatusMeanwhile reports(*cam);
        multi->click();
    }
    EXPECT_TRUE(waitCamera([](const CameraState& s) { return s.subMode == 2; }))
        << "the camera stayed in sub-mode " << int(cam->state().subMode);
    EXPECT_EQ(hub->iPhotoMode.load(), 2);
    EXPECT_EQ(hub->iWorkSubMode.load(), 2);
}

// The overlay of every layout takes the status reports, not only the one
// whose button was clicked.
TEST_F(StackOverlay, StatusReportsDuringAModeSwitchDoNotUndoIt) {
    modeRow(0, 0); // photo, single
    QToolButton* change = part<QToolButton>(overlay, "tbChangeMode");
    ASSERT_NE(change, nullptr);
    {
        OldStatusMeanwhile reports(*cam);
        change->click();
    }
    EXPECT_TRUE(waitCamera([](const CameraState& s) { return s.workMode == 1; }))
        << "the camera stayed in work mode " << int(cam->state().workMode);
    EXPECT_EQ(hub->iWorkMode.load(), 1);
    EXPECT_FALSE(overlay->isBusy());
    // With the switch done, reports are taken over again.
    cam->updateState([](CameraState& s) { s.workMode = 0; });
    cam->pushStatusNow();
    EXPECT_TRUE(waitFor([this] { return hub->iWorkMode.load() == 0; }));
}

TEST_F(StackOverlay, TwoNewCameraFaultsGiveStackedBanners) {
    hub->clearFaults();
    cam->updateState([](CameraState& s) { s.moduleFlags |= (1u << 18) | (1u << 19); });
    cam->pushStatusNow();
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
    ASSERT_TRUE(waitFor([&] { return banners().size() == 2; }));
    const QList<ErrorInfoDlg*> shown = banners();
    EXPECT_EQ(shown[0]->y(), 18);
    EXPECT_EQ(shown[1]->y(), shown[1]->height() + 36);
    EXPECT_EQ(shown[0]->id(), 5);
    EXPECT_EQ(shown[1]->id(), 6);

    // The camera recovers: the banners go with the next report.
    cam->updateState([](CameraState& s) { s.moduleFlags &= ~((1u << 18) | (1u << 19)); });
    cam->pushStatusNow();
    EXPECT_TRUE(waitFor([&] { return banners().isEmpty(); }));
    hub->clearFaults();
}

TEST_F(StackOverlay, VisibilityRequestReachesOnlyTheOverlayOfTheCurrentLayout) {
    for (int layout = 0; layout < 5; ++layout)
        window->overlayView(layout)->hide();
    hub->iScreenLayout = 2;
    emit hub->signal_setVideoBtnDlgVisable(true);
    spin(20);
    for (int layout = 0; layout < 5; ++layout)
        EXPECT_EQ(window->overlayView(layout)->isHidden(), layout != 2) << layout;
    emit hub->signal_setVideoBtnDlgVisable(false);
    spin(20);
    EXPECT_TRUE(window->overlayView(2)->isHidden());
    hub->iScreenLayout = 0;
    emit hub->signal_setVideoBtnDlgVisable(true);
    spin(20);
    EXPECT_FALSE(window->overlayView(0)->isHidden());
}

} // namespace
