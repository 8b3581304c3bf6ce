// The program's window against the camsim program: gestures on the real
// widgets must reach the simulated camera as the right requests, and the
// camera's picture and state must show in the window.

#include "CameraRequests.h"
#include "CamsimProcess.h"
#include "E2eWindow.h"

#include "../ui/overlay/UiTestKit.h"
#include "app/Configuration.h"
#include "hub/OrunAppFace.h"
#include "ui/CountDownDlg.h"
#include "ui/ErrorInfoDlg.h"
#include "ui/MySlider.h"
#include "ui/PohtoModeSettingDlg.h"
#include "ui/StatsOverlay.h"
#include "ui/VideoStatisticalTimeDlg.h"
#include "ui/overlay/VideoControlOverlay.h"
#include "ui/settings/GeneralSettingsDlg.h"
#include "video/videoctl.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <cstring>

namespace {

using camerarequests::bytes;
using camerarequests::floatAt;
using camerarequests::movingSpeeds;
using camerarequests::trackingResumedAfterSpeeds;

constexpr int kCamera = 1; // command sets as camsim logs them
constexpr int kSdk = 3;
constexpr int kUniversal = 0;

// The four quadrants of camsim's scene, sampled a quarter in from each side.
void expectScene(const QImage& img, const char* what) {
    ASSERT_FALSE(img.isNull()) << what;
    const int w = img.width();
    const int h = img.height();
    const QRgb tl = img.pixel(w / 4, h / 4 + h / 16);
    const QRgb tr = img.pixel(3 * w / 4, h / 4 + h / 16);
    const QRgb bl = img.pixel(w / 4, 3 * h / 4 + h / 16);
    const QRgb br = img.pixel(3 * w / 4, 3 * h / 4 + h / 16);
    EXPECT_TRUE(near(tl, 200, 40, 40)) << what << " top-left " << std::hex << tl;
    EXPECT_TRUE(near(tr, 40, 170, 60)) << what << " top-right " << std::hex << tr;
    EXPECT_TRUE(near(bl, 40, 60, 200)) << what << " bottom-left " << std::hex << bl;
    EXPECT_TRUE(near(br, 128, 128, 128)) << what << " bottom-right " << std::hex << br;
}

bool waitForScene(E2eWindow& app, int timeoutMs) {
    return QTest::qWaitFor(
        [&] {
            const QImage img = app.grabVideo();
            const int w = img.width();
            const int h = img.height();
            return w > 0 && near(img.pixel(w / 4, h / 4 + h / 16), 200, 40, 40) &&
                   near(img.pixel(3 * w / 4, 3 * h / 4 + h / 16), 128, 128, 128);
        },
        timeoutMs);
}

QAbstractButton* button(QWidget* parent, const char* name) {
    QAbstractButton* b = parent->findChild<QAbstractButton*>(name);
    EXPECT_NE(b, nullptr) << name;
    return b;
}

void click(QWidget* parent, const char* name) {
    QAbstractButton* b = button(parent, name);
    if (b)
        QTest::mouseClick(b, Qt::LeftButton);
}

// A pointer move with the left button held (QTest moves carry no buttons).
void dragTo(QWidget* w, const QPoint& p) {
    QMouseEvent move(QEvent::MouseMove, p, w->mapToGlobal(p), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(w, &move);
}

// Link-up and picture, then the controls of the overlay one after another on
// the same camera and window.
TEST(WindowEndToEnd, LinkUpPictureAndOverlayControls) {
    CamsimProcess camsim;
    ASSERT_TRUE(camsim.start());
    E2eWindow app;
    OrunAppFace* hub = OrunAppFace::instance();

    // Link-up: the client announces itself and the picture of camsim's scene
    // (1280x720 at the start) reaches the video widget.
    EXPECT_GE(camsim.waitFor(kUniversal, 0x020, 15000).set, 0) << "no announcement";
    ASSERT_TRUE(app.waitForFrames(5, 20000)) << "no pictures";
    EXPECT_EQ(app.lastFrameSize(), QSize(1280, 720));
    ASSERT_TRUE(waitForScene(app, 5000));
    app.window().grab().save(artifact("e2e_linked.png"));
    expectScene(app.grabVideo(), "first picture");
    QWidget* overlay = app.overlay();
    ASSERT_NE(overlay, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return overlay->isVisible(); }, 3000));

    // Focus: one click into the picture becomes a focus request at that point.
    const QPoint spot(overlay->width() * 3 / 10, overlay->height() * 2 / 5);
    camsim.mark();
    QTest::mouseClick(overlay, Qt::LeftButton, Qt::NoModifier, spot);
    const LoggedRequest focus = camsim.waitFor(kCamera, 0x278, 3000);
    ASSERT_EQ(focus.payload.size(), 8);
    EXPECT_NEAR(floatAt(focus.payload, 0), 0.3, 0.02);
    EXPECT_NEAR(floatAt(focus.payload, 4), 0.4, 0.02);
    EXPECT_TRUE(camsim.since(kSdk, 0x063).empty());

    // Selection: a double click selects the target there and does not focus.
    QTest::qWait(600);
    camsim.mark();
    const QPoint target(overlay->width() * 3 / 5, overlay->height() / 2);
    QTest::mouseDClick(overlay, Qt::LeftButton, Qt::NoModifier, target);
    const LoggedRequest select = camsim.waitFor(kSdk, 0x063, 3000);
    ASSERT_EQ(select.payload.size(), 8);
    EXPECT_NEAR(floatAt(select.payload, 0), 0.6, 0.02);
    EXPECT_NEAR(floatAt(select.payload, 4), 0.5, 0.02);
    QTest::qWait(500);
    EXPECT_TRUE(camsim.since(kCamera, 0x278).empty()) << "double click also focused";

    // Gimbal: dragging the joystick knob sends speeds while it moves; the
    // release ends the move.
    QLabel* knob = overlay->findChild<QLabel*>("lbGimbalFree");
    ASSERT_NE(knob, nullptr);
    const QPoint knobCentre = knob->mapTo(overlay, knob->rect().center());
    camsim.mark();
    QTest::mousePress(overlay, Qt::LeftButton, Qt::NoModifier, knobCentre);
    for (int i = 1; i <= 10; ++i) {
        dragTo(overlay, knobCentre + QPoint(3 * i, 0));
        QTest::qWait(30);
    }
    EXPECT_TRUE(camsim.waitForCount(kSdk, 0x025, 1, 3000)) << "no gimbal speed";
    QTest::mouseRelease(overlay, Qt::LeftButton, Qt::NoModifier, knobCentre + QPoint(30, 0));
    EXPECT_EQ(knob->mapTo(overlay, knob->rect().center()), knobCentre) << "knob not back";
    const auto speeds = camsim.since(kSdk, 0x025);
    ASSERT_FALSE(speeds.empty());
    EXPECT_EQ(speeds.front().payload.size(), 24);
    bool moving = false;
    for (const LoggedRequest& r : speeds)
        for (int k = 0; k < 2; ++k)
            moving = moving || floatAt(r.payload, 4 * k) != 0.0f;
    EXPECT_TRUE(moving) << "every gimbal speed was zero";
    // The release sets the AI function again: an AI setting after the last
    // speed (the drag began with one too, before its speeds).
    auto aiSettingAfterTheSpeeds = [&] {
        bool speedSeen = false, aiAfterSpeed = false;
        for (const LoggedRequest& r : camsim.requests()) {
            if (r.set != kSdk)
                continue;
            if (r.id == 0x025) {
                speedSeen = true;
                aiAfterSpeed = false;
            } else if (r.id == 0x051 && speedSeen) {
                aiAfterSpeed = true;
            }
        }
        return aiAfterSpeed;
    };
    EXPECT_TRUE(QTest::qWaitFor(aiSettingAfterTheSpeeds, 3000)) << "release did not end the move";

    // Zoom: the rate button opens the slider; pulling its handle to the top
    // and letting go asks for a larger zoom.
    click(overlay, "tbRate");
    MySlider* slider = MySlider::instance();
    ASSERT_TRUE(QTest::qWaitFor([&] { return slider->isVisible(); }, 2000));
    const QPoint handle = slider->handleRect().center().toPoint();
    camsim.mark();
    QTest::mousePress(slider, Qt::LeftButton, Qt::NoModifier, handle);
    for (int y = handle.y(); y > 0; y -= 10) {
        dragTo(slider, QPoint(handle.x(), y));
        QTest::qWait(5);
    }
    dragTo(slider, QPoint(handle.x(), 0));
    QTest::mouseRelease(slider, Qt::LeftButton, Qt::NoModifier, QPoint(handle.x(), 0));
    const LoggedRequest zoom = camsim.waitFor(kSdk, 0x047, 3000);
    ASSERT_EQ(zoom.payload.size(), 5);
    EXPECT_GT(floatAt(zoom.payload, 1), 2.5f);
    EXPECT_GT(slider->ratio(), 0.6f);

    // Photo, single: the shutter takes one photo.
    ASSERT_EQ(hub->iWorkMode.load(), 0);
    camsim.mark();
    click(overlay, "tbVideo");
    EXPECT_EQ(camsim.waitFor(kCamera, 0x600, 5000).payload, bytes({0}));

    // Photo, burst: chosen in the selector, started and stopped by the
    // shutter, counting down meanwhile.
    PohtoModeSettingDlg* selector = PohtoModeSettingDlg::instance();
    click(overlay, "tbPhotoMode1");
    ASSERT_TRUE(QTest::qWaitFor([&] { return selector->isVisible(); }, 2000));
    camsim.mark();
    click(selector, "tbBurstPhoto");
    EXPECT_GE(camsim.waitFor(kCamera, 0x200, 5000).set, 0) << "no work-mode change to burst";
    ASSERT_TRUE(QTest::qWaitFor([&] { return hub->iPhotoMode.load() == 1; }, 5000));
    QTest::qWait(300);
    camsim.mark();
    click(overlay, "tbVideo");
    EXPECT_EQ(camsim.waitFor(kCamera, 0x600, 5000).payload, bytes({0}));
    EXPECT_TRUE(QTest::qWaitFor([] { return CountDownDlg::instance()->isCounting(); }, 3000));
    camsim.mark();
    click(overlay, "tbVideo");
    EXPECT_EQ(camsim.waitFor(kCamera, 0x600, 5000).payload, bytes({1}));
    EXPECT_TRUE(QTest::qWaitFor([] { return !CountDownDlg::instance()->isCounting(); }, 3000));

    // Photo, multi-shot.
    if (!selector->isVisible())
        click(overlay, "tbPhotoMode1");
    ASSERT_TRUE(QTest::qWaitFor([&] { return selector->isVisible(); }, 2000));
    camsim.mark();
    click(selector, "tbMultiPhoto");
    ASSERT_TRUE(QTest::qWaitFor([&] { return hub->iPhotoMode.load() == 2; }, 5000));
    EXPECT_GE(camsim.waitFor(kCamera, 0x200, 5000).set, 0) << "no work-mode change to multi";
    // A second click steps to the next photo count, which the camera gets.
    QTest::qWait(300);
    if (!selector->isVisible())
        click(overlay, "tbPhotoMode1");
    ASSERT_TRUE(QTest::qWaitFor([&] { return selector->isVisible(); }, 2000));
    camsim.mark();
    click(selector, "tbMultiPhoto");
    EXPECT_EQ(camsim.waitFor(kCamera, 0x220, 5000).payload, bytes({1}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return hub->iPhotoParam.load() == 1; }, 5000));
    QTest::qWait(300);
    camsim.mark();
    click(overlay, "tbVideo");
    EXPECT_EQ(camsim.waitFor(kCamera, 0x600, 5000).payload, bytes({0}));
    QTest::qWait(2000); // the multi-shot runs to its end

    // Mode switch to video, then a recording with its running time.
    camsim.mark();
    click(overlay, "tbChangeMode");
    EXPECT_GE(camsim.waitFor(kCamera, 0x200, 8000).set, 0) << "no work-mode change";
    ASSERT_TRUE(QTest::qWaitFor([&] { return hub->iWorkMode.load() == 1; }, 8000));
    QTest::qWait(300);
    camsim.mark();
    click(overlay, "tbVideo");
    EXPECT_EQ(camsim.waitFor(kCamera, 0x600, 5000).payload, bytes({0}));
    VideoStatisticalTimeDlg* clock = VideoStatisticalTimeDlg::instance();
    EXPECT_TRUE(QTest::qWaitFor([&] { return clock->isVisible() && clock->seconds() >= 1; }, 4000))
        << clock->shownText().toStdString();
    EXPECT_TRUE(clock->shownText().contains("00:00:0")) << clock->shownText().toStdString();
    app.window().grab().save(artifact("e2e_recording.png"));
    camsim.mark();
    click(overlay, "tbVideo");
    EXPECT_EQ(camsim.waitFor(kCamera, 0x600, 5000).payload, bytes({1}));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !clock->isCounting(); }, 3000));

    // Gimbal lock on and off.
    camsim.mark();
    click(overlay, "tbGimbalLock");
    ASSERT_TRUE(camsim.waitForCount(kSdk, 0x051, 1, 3000));
    click(overlay, "tbGimbalLock");
    ASSERT_TRUE(camsim.waitForCount(kSdk, 0x051, 2, 3000));
    const auto locks = camsim.since(kSdk, 0x051);
    EXPECT_EQ(locks[0].payload, bytes({7, 1}));
    EXPECT_EQ(locks[1].payload, bytes({7, 0}));

    // Full screen and back.
    const QSize before = app.window().size();
    click(overlay, "tbFullBtn");
    EXPECT_TRUE(QTest::qWaitFor([&] { return app.window().isFullScreenView(); }, 3000));
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return app.window().size().width() > before.width(); }, 3000));
    click(app.overlay(), "tbFullBtn");
    EXPECT_TRUE(QTest::qWaitFor([&] { return !app.window().isFullScreenView(); }, 3000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return app.window().size() == before; }, 3000));
    EXPECT_TRUE(waitForScene(app, 3000)) << "picture lost after full screen";
}

// Banner texts over the video now.
QStringList banners(QWidget& window) {
    QStringList out;
    for (ErrorInfoDlg* b : window.findChildren<ErrorInfoDlg*>())
        if (b->isVisible())
            out << b->text();
    return out;
}

bool hasBanner(QWidget& window, const QString& part) {
    for (const QString& t : banners(window))
        if (t.contains(part, Qt::CaseInsensitive))
            return true;
    return false;
}

// Faults raised in camsim show as banners and go away when they end; a
// camsim that dies leaves the stop-video picture, and a new one brings the
// live picture back.
TEST(WindowEndToEnd, CameraFaultsAndCameraRestart) {
    CamsimProcess camsim;
    ASSERT_TRUE(camsim.start());
    E2eWindow app;
    ASSERT_TRUE(app.waitForFrames(3, 20000)) << "no pictures";
    ASSERT_TRUE(waitForScene(app, 5000));
    EXPECT_TRUE(banners(app.window()).isEmpty()) << banners(app.window()).join("|").toStdString();

    ASSERT_TRUE(camsim.command("temperature 90"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return hasBanner(app.window(), "overheat"); }, 5000))
        << banners(app.window()).join("|").toStdString();
    ASSERT_TRUE(camsim.command("module-flags 0x1E")); // links up, no storage card
    EXPECT_TRUE(QTest::qWaitFor([&] { return hasBanner(app.window(), "card"); }, 5000))
        << banners(app.window()).join("|").toStdString();
    ASSERT_TRUE(camsim.command("battery 0"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return hasBanner(app.window(), "battery"); }, 7000))
        << banners(app.window()).join("|").toStdString();
    app.window().grab().save(artifact("e2e_fault_banners.png"));

    ASSERT_TRUE(camsim.command("temperature 40"));
    ASSERT_TRUE(camsim.command("battery 80"));
    ASSERT_TRUE(camsim.command("module-flags 0x21E"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return banners(app.window()).isEmpty(); }, 7000))
        << banners(app.window()).join("|").toStdString();

    // A paused media stream freezes the picture; resumed, pictures flow again.
    ASSERT_TRUE(camsim.command("pause-media"));
    // What was already on its way still plays out: wait for 300 ms without a
    // new picture first.
    QElapsedTimer sinceChange, overall;
    sinceChange.start();
    overall.start();
    int seen = app.frameCount();
    while (sinceChange.elapsed() < 300 && overall.elapsed() < 10000) {
        QTest::qWait(20);
        if (app.frameCount() != seen) {
            seen = app.frameCount();
            sinceChange.restart();
        }
    }
    const int frozen = app.frameCount();
    QTest::qWait(700);
    EXPECT_LE(app.frameCount() - frozen, 2) << "pictures kept coming while paused";
    ASSERT_TRUE(camsim.command("resume-media"));
    EXPECT_TRUE(app.waitForFrames(5, 10000)) << "no pictures after resume";

    // camsim dies: the window shows the stop-video picture.
    const QImage stopPicture(app.baseDir() + "/icon/stopVideo_16_9.png");
    ASSERT_FALSE(stopPicture.isNull());
    const QRgb stopCentre = stopPicture.pixel(stopPicture.width() / 2, stopPicture.height() / 2);
    camsim.kill();
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            const QImage img = app.grabVideo();
            return !img.isNull() &&
                   near(img.pixel(img.width() / 2, img.height() / 2), qRed(stopCentre),
                        qGreen(stopCentre), qBlue(stopCentre), 30) &&
                   !near(img.pixel(img.width() / 4, img.height() / 4 + img.height() / 16), 200, 40,
                         40);
        },
        20000))
        << "no stop-video picture after camsim died";
    app.window().grab().save(artifact("e2e_camera_gone.png"));

    // A new camsim: the client links up again and the live picture returns.
    ASSERT_TRUE(camsim.start());
    EXPECT_GE(camsim.waitFor(kUniversal, 0x020, 20000).set, 0) << "no new announcement";
    EXPECT_TRUE(waitForScene(app, 20000)) << "live picture did not come back";
    expectScene(app.grabVideo(), "picture after restart");
}

// The settings dialog: resolution, mirror, photo ratio and language applied
// at once reach camsim, and the picture, layout and configuration follow.
TEST(WindowEndToEnd, SettingsDialogChangesPictureAndLayout) {
    CamsimProcess camsim;
    ASSERT_TRUE(camsim.start());
    E2eWindow app;
    OrunAppFace* hub = OrunAppFace::instance();
    ASSERT_TRUE(app.waitForFrames(3, 20000)) << "no pictures";
    ASSERT_TRUE(waitForScene(app, 5000));
    EXPECT_EQ(app.lastFrameSize(), QSize(1280, 720));
    const int layoutBefore = hub->iScreenLayout.load();

    // One answerer drives the dialog; its timer is busy meanwhile, so a second
    // one answers the message boxes the dialog opens.
    ModalAnswerer answerer;
    ModalAnswerer boxes;
    bool driven = false;
    answerer.onDialog = [&](QWidget* modal) {
        auto* dialog = qobject_cast<GeneralSettingsDlg*>(modal);
        if (!dialog || driven)
            return;
        driven = true;
        // The choices sit on pages of the dialog that are not all shown.
        auto choose = [dialog](const char* name) {
            if (QAbstractButton* b = button(dialog, name))
                b->click();
        };
        QTest::qWait(300);
        choose("rb1080p");
        choose("rbMirror");
        choose("rbPohto4V3");
        if (auto* language = dialog->findChild<QComboBox*>("cbLanguage"))
            language->setCurrentIndex(0);
        camsim.mark();
        choose("tbApply");
        QTest::qWait(200);
        dialog->reject();
    };
    // The title bar's settings entry opens the dialog through this slot.
    QMetaObject::invokeMethod(&app.window(), "on_tbGeneraSetting_clicked");
    ASSERT_TRUE(driven) << "settings dialog did not open";

    EXPECT_EQ(camsim.waitFor(kCamera, 0x241, 5000).payload, bytes({1}));
    EXPECT_EQ(camsim.waitFor(kSdk, 0x044, 5000).payload, bytes({1}));
    EXPECT_EQ(camsim.waitFor(kCamera, 0x210, 5000).payload, bytes({0}));
    EXPECT_EQ(readConfigValue("BaseOption/language", -1).toInt(), 0);
    EXPECT_FALSE(boxes.texts.isEmpty()) << "no restart notice for the language";

    // The picture grows to 1920x1080 and is mirrored: green now top-left.
    EXPECT_TRUE(QTest::qWaitFor([&] { return app.lastFrameSize() == QSize(1920, 1080); }, 15000))
        << app.lastFrameSize().width() << "x" << app.lastFrameSize().height();
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            const QImage img = app.grabVideo();
            return !img.isNull() &&
                   near(img.pixel(img.width() / 4, img.height() / 4 + img.height() / 16), 40, 170,
                        60);
        },
        10000))
        << "picture not mirrored";
    // A 4:3 photo ratio changes the picture layout and its overlay.
    EXPECT_NE(hub->iScreenLayout.load(), layoutBefore);
    QWidget* overlay = app.overlay();
    ASSERT_NE(overlay, nullptr);
    EXPECT_TRUE(QTest::qWaitFor([&] { return overlay->isVisible(); }, 3000));
    const QRect picture = app.window().videoView()->geometry();
    EXPECT_NEAR(double(picture.width()) / picture.height(), 4.0 / 3.0, 0.05)
        << picture.width() << "x" << picture.height();
    app.window().grab().save(artifact("e2e_after_settings.png"));

    // Orientation: portrait asks the gimbal for setting 1 with the portrait value.
    driven = false;
    answerer.onDialog = [&](QWidget* modal) {
        auto* dialog = qobject_cast<GeneralSettingsDlg*>(modal);
        if (!dialog || driven)
            return;
        driven = true;
        QTest::qWait(300);
        if (QAbstractButton* b = button(dialog, "rbVScreenSetting"))
            b->click();
        camsim.mark();
        if (QAbstractButton* b = button(dialog, "tbApply"))
            b->click();
        QTest::qWait(200);
        dialog->reject();
    };
    QMetaObject::invokeMethod(&app.window(), "on_tbGeneraSetting_clicked");
    ASSERT_TRUE(driven);
    const LoggedRequest orientation = camsim.waitFor(kSdk, 0x029, 5000);
    EXPECT_EQ(orientation.payload.size(), 2);
    EXPECT_NE(orientation.payload, bytes({0, 0}));
}

// --- Keyboard -------------------------------------------------------------------

// Every key through the real window reaches the camera as the request its
// button (or the joystick, or the zoom slider) sends; in a text field the
// keys are typed instead.
TEST(WindowEndToEnd, KeysSendWhatTheirButtonsSend) {
    CamsimProcess camsim;
    ASSERT_TRUE(camsim.start());
    E2eWindow app;
    OrunAppFace* hub = OrunAppFace::instance();
    ASSERT_TRUE(app.waitForFrames(3, 20000)) << "no pictures";
    QWidget* overlay = app.overlay();
    ASSERT_NE(overlay, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return overlay->isVisible(); }, 3000));
    OrunAppUI& window = app.window();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    auto key = [&window](Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier) {
        QTest::keyClick(&window, k, m);
    };
    // The shutter and the mode switch ignore a key while their last request
    // still waits for the camera, as they ignore a click; a slow machine
    // needs longer than a fixed pause for the camera's answer.
    auto* controls = qobject_cast<VideoControlOverlay*>(overlay);
    ASSERT_NE(controls, nullptr);
    auto keyWhenIdle = [&](Qt::Key k) {
        ASSERT_TRUE(QTest::qWaitFor([&] { return !controls->isBusy(); }, 10000))
            << "the last request never finished";
        camsim.mark();
        key(k);
    };

    // The arrow keys give the joystick's records: first the joystick, dragged
    // to the right and let go...
    QLabel* knob = overlay->findChild<QLabel*>("lbGimbalFree");
    ASSERT_NE(knob, nullptr);
    const QPoint knobCentre = knob->mapTo(overlay, knob->rect().center());
    camsim.mark();
    QTest::mousePress(overlay, Qt::LeftButton, Qt::NoModifier, knobCentre);
    for (int i = 1; i <= 6; ++i) {
        dragTo(overlay, knobCentre + QPoint(5 * i, 0));
        QTest::qWait(30);
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return !movingSpeeds(camsim).empty(); }, 3000));
    QTest::mouseRelease(overlay, Qt::LeftButton, Qt::NoModifier, knobCentre + QPoint(30, 0));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return trackingResumedAfterSpeeds(camsim, bytes({0, 1}));
        },
        3000));
    const QByteArray dragged = movingSpeeds(camsim).back();
    // ... then the right arrow, held and let go.
    QTest::qWait(300);
    camsim.mark();
    QTest::keyPress(&window, Qt::Key_Right);
    ASSERT_TRUE(QTest::qWaitFor([&] { return movingSpeeds(camsim).size() >= 2; }, 3000));
    EXPECT_NE(knob->mapTo(overlay, knob->rect().center()), knobCentre) << "the knob shows it";
    QTest::keyRelease(&window, Qt::Key_Right);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return trackingResumedAfterSpeeds(camsim, bytes({0, 1}));
        },
        3000))
        << "release did not end the move";
    EXPECT_EQ(knob->mapTo(overlay, knob->rect().center()), knobCentre) << "knob not back";
    for (const QByteArray& speed : movingSpeeds(camsim))
        EXPECT_EQ(speed.toHex(), dragged.toHex());

    // Gimbal lock: L, as the lock button.
    camsim.mark();
    key(Qt::Key_L);
    ASSERT_TRUE(camsim.waitForCount(kSdk, 0x051, 1, 3000));
    key(Qt::Key_L);
    ASSERT_TRUE(camsim.waitForCount(kSdk, 0x051, 2, 3000));
    const auto locks = camsim.since(kSdk, 0x051);
    EXPECT_EQ(locks[0].payload, bytes({7, 1}));
    EXPECT_EQ(locks[1].payload, bytes({7, 0}));

    // Zoom: + and - move the slider one step, as letting go of its handle there would.
    camsim.mark();
    key(Qt::Key_Plus);
    LoggedRequest zoom = camsim.waitFor(kSdk, 0x047, 3000);
    ASSERT_EQ(zoom.payload.size(), 5);
    EXPECT_EQ(static_cast<uint8_t>(zoom.payload[0]), 100);
    EXPECT_NEAR(floatAt(zoom.payload, 1), 1.1, 1e-4);
    QTest::qWait(300);
    camsim.mark();
    key(Qt::Key_Minus);
    zoom = camsim.waitFor(kSdk, 0x047, 3000);
    ASSERT_EQ(zoom.payload.size(), 5);
    EXPECT_NEAR(floatAt(zoom.payload, 1), 1.0, 1e-4);

    // Space: the shutter of the current mode (a single photo).
    ASSERT_EQ(hub->iWorkMode.load(), 0);
    QTest::qWait(300);
    keyWhenIdle(Qt::Key_Space);
    EXPECT_EQ(camsim.waitFor(kCamera, 0x600, 5000).payload, bytes({0}));

    // V: the camera's video; from photo mode it switches to video mode first.
    keyWhenIdle(Qt::Key_V);
    EXPECT_GE(camsim.waitFor(kCamera, 0x200, 8000).set, 0) << "no work-mode change";
    EXPECT_EQ(camsim.waitFor(kCamera, 0x600, 8000).payload, bytes({0}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return hub->iWorkMode.load() == 1; }, 3000));
    QTest::qWait(1200);
    keyWhenIdle(Qt::Key_V);
    EXPECT_EQ(camsim.waitFor(kCamera, 0x600, 8000).payload, bytes({1}));

    // M: the mode switch, back to photos.
    keyWhenIdle(Qt::Key_M);
    EXPECT_GE(camsim.waitFor(kCamera, 0x200, 8000).set, 0) << "no work-mode change";
    EXPECT_TRUE(QTest::qWaitFor([&] { return hub->iWorkMode.load() == 0; }, 8000));

    // T, F, Esc: local, as the target-box check box and the full-screen button.
    key(Qt::Key_T);
    EXPECT_FALSE(hub->showTarget.load());
    key(Qt::Key_T);
    EXPECT_TRUE(hub->showTarget.load());
    const QSize before = window.size();
    key(Qt::Key_F);
    EXPECT_TRUE(QTest::qWaitFor([&] { return window.isFullScreenView(); }, 3000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return window.size().width() > before.width(); }, 3000));
    key(Qt::Key_Escape);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !window.isFullScreenView(); }, 3000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return window.size() == before; }, 3000));

    // In a text field the keys are typed, and nothing goes to the camera.
    QLineEdit field(&window);
    field.move(20, 60);
    field.show();
    field.setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return field.hasFocus(); }, 2000));
    QTest::qWait(300);
    camsim.mark();
    for (Qt::Key k : {Qt::Key_L, Qt::Key_Space, Qt::Key_V, Qt::Key_Plus, Qt::Key_T, Qt::Key_F})
        QTest::keyClick(&field, k);
    QTest::keyPress(&field, Qt::Key_Left);
    QTest::keyRelease(&field, Qt::Key_Left);
    QTest::qWait(1000);
    EXPECT_TRUE(camsim.since(kSdk, 0x051).empty());
    EXPECT_TRUE(camsim.since(kSdk, 0x047).empty());
    EXPECT_TRUE(camsim.since(kSdk, 0x025).empty());
    EXPECT_TRUE(camsim.since(kCamera, 0x600).empty());
    EXPECT_TRUE(hub->showTarget.load());
    EXPECT_FALSE(window.isFullScreenView());
    EXPECT_EQ(field.text(), QString("l v+tf"));
}

// --- Statistics --------------------------------------------------------------------

// The statistics over the video against camsim losing a tenth of its media
// datagrams: losses and resends show, the frames received match what camsim
// sent, and a media pause shows as reconnecting within two seconds.
TEST(WindowEndToEnd, StatisticsUnderLossAndWhileTheMediaPauses) {
    CamsimProcess camsim;
    ASSERT_TRUE(camsim.start({"--loss", "0.1"}));
    E2eWindow app;
    ASSERT_TRUE(app.waitForFrames(10, 20000)) << "no pictures";
    OrunAppUI& window = app.window();
    StatsOverlay* stats = window.statsView();
    ASSERT_NE(stats, nullptr);
    EXPECT_FALSE(stats->isVisible());
    button(&window, "cbShowStats")->click();
    ASSERT_TRUE(stats->isVisible());
    EXPECT_TRUE(readConfigValue("BaseOption/showStats", false).toBool());

    // Frames received over an interval of at least 90 frames against those
    // camsim sent in it (a sanitizer build sends fewer per second).
    videoctl* video = videoctl::instance();
    const long long sent0 = camsim.framesSent();
    const uint64_t received0 = video->stats().unitsReceived;
    ASSERT_GE(sent0, 0);
    long long sent1 = sent0;
    uint64_t received1 = received0;
    QElapsedTimer interval;
    interval.start();
    while (sent1 < sent0 + 90 && interval.elapsed() < 20000) {
        QTest::qWait(500);
        sent1 = camsim.framesSent();
        received1 = video->stats().unitsReceived;
    }
    ASSERT_GE(sent1, sent0 + 90);
    const double sent = double(sent1 - sent0);
    EXPECT_NEAR(double(received1 - received0), sent, sent * 0.1);
    QTest::qWait(1100); // a reading of the panel within the interval

    const StatsReport report = stats->lastReport();
    EXPECT_EQ(report.linkState, MediaLinkState::Streaming);
    EXPECT_GT(report.lostSegments, 0u);
    EXPECT_GT(report.resentSegments, 0u);
    EXPECT_GT(report.receivedFps, 0.0);
    EXPECT_EQ(report.width, 1280);
    EXPECT_STREQ(report.decoder, "software");
    EXPECT_GE(report.roundTripMs, 0.0) << "the control link's probe";
    EXPECT_TRUE(stats->text().contains("Round trip")) << stats->text().toStdString();
    window.grab().save(artifact("e2e_statistics_en.png"));

    // Paused media: reconnecting, with the attempts, within two seconds.
    ASSERT_TRUE(camsim.command("pause-media"));
    QElapsedTimer paused;
    paused.start();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return stats->lastReport().linkState == MediaLinkState::Reconnecting; }, 5000));
    EXPECT_LE(paused.elapsed(), 2000);
    EXPECT_GE(stats->lastReport().attempts, 1u);
    EXPECT_TRUE(stats->text().contains("reconnecting")) << stats->text().toStdString();
    window.grab().save(artifact("e2e_statistics_reconnecting_en.png"));
    ASSERT_TRUE(camsim.command("resume-media"));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return stats->lastReport().linkState == MediaLinkState::Streaming; }, 8000));
    EXPECT_TRUE(app.waitForFrames(5, 8000));
}

// Closing the window ends the media session, and nothing opens a new one
// behind it: the camera hears a stop last and no start after it.
void expectCloseEndsTheMediaForGood(bool reconnecting) {
    CamsimProcess camsim;
    ASSERT_TRUE(camsim.start());
    E2eWindow app;
    ASSERT_TRUE(app.waitForFrames(3, 20000)) << "no pictures";
    if (reconnecting) {
        // No media: the link monitor keeps replacing the session.
        ASSERT_TRUE(camsim.command("pause-media"));
        const long long starts = camsim.mediaRequests().starts;
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return camsim.mediaRequests().starts >= starts + 2; }, 10000));
    }
    click(&app.window(), "tbClose");
    const CamsimProcess::MediaRequests closed = camsim.mediaRequests();
    EXPECT_GE(closed.stops, 1);
    EXPECT_EQ(closed.last.toStdString(), "stop");
    // Longer than the reconnection's time-outs.
    QTest::qWait(2500);
    const CamsimProcess::MediaRequests later = camsim.mediaRequests();
    EXPECT_EQ(later.starts, closed.starts);
    EXPECT_EQ(later.last.toStdString(), "stop");
}

TEST(WindowEndToEnd, CloseWhilePlayingStopsTheMediaSessionForGood) {
    expectCloseEndsTheMediaForGood(false);
}

TEST(WindowEndToEnd, CloseWhileReconnectingStopsTheMediaSessionForGood) {
    expectCloseEndsTheMediaForGood(true);
}

// --- Command line ------------------------------------------------------------------

// The program itself, started with --camera in a folder of its own with no
// configuration file anywhere, links to camsim and receives its video; the
// option is not written anywhere.
TEST(CommandLineEndToEnd, CameraOptionLinksWithoutAConfigurationFile) {
    CamsimProcess camsim;
    ASSERT_TRUE(camsim.start());
    QTemporaryDir dir;
    const QString program = dir.path() + "/orunapp";
    ASSERT_TRUE(QFile::copy(QDir::currentPath() + "/orunapp", program));
    QProcess client;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", dir.path() + "/home-config");
    client.setProcessEnvironment(env);
    client.setProcessChannelMode(QProcess::ForwardedChannels);
    client.start(program, {"--camera", "127.0.0.1", "--software-decoding"});
    ASSERT_TRUE(client.waitForStarted(5000));

    EXPECT_GE(camsim.waitFor(kUniversal, 0x020, 15000).set, 0) << "no announcement";
    EXPECT_TRUE(QTest::qWaitFor([&] { return camsim.framesSent() > 30; }, 15000))
        << "no video went to the program";
    EXPECT_EQ(client.state(), QProcess::Running);
    client.terminate();
    if (!client.waitForFinished(5000)) {
        client.kill();
        client.waitForFinished(3000);
    }
    EXPECT_FALSE(QFileInfo::exists(dir.path() + "/config"));
    EXPECT_FALSE(QFileInfo::exists(dir.path() + "/home-config"));
}

} // namespace
