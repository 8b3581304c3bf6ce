// The main window's keys, its statistics panel and the names of its controls,
// on the offscreen platform with a stand-in for the operation runtime.
#include "UiTestSupport.h"
#include "tests/support/FakeVideo.h"
#include "tests/ui/overlay/UiTestKit.h"
#include "tests/ui/settings/FakeSettingsEnvironment.h"

#include "app/CaptureControl.h"
#include "ui/CaptureBar.h"
#include "ui/GamepadMap.h"
#include "ui/KeyHelpDialog.h"
#include "ui/KeyMap.h"
#include "ui/KeyboardControl.h"
#include "ui/MySlider.h"
#include "ui/OrunAppUI.h"
#include "ui/StatsOverlay.h"
#include "ui/overlay/VideoControlOverlay.h"
#include "ui/settings/GeneralSettingsDlg.h"
#include "ui/settings/WifiStationDlg.h"

#include <QAbstractSlider>
#include <QAccessible>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QSet>
#include <QSignalSpy>
#include <QToolButton>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

void resetHub() {
    OrunAppFace* hub = OrunAppFace::instance();
    hub->iOperating.store(0);
    hub->iOperation.store(-1);
    hub->iWorkMode.store(0);
    hub->iWorkSubMode.store(0);
    hub->iPhotoMode.store(0);
    hub->iScreenLayout.store(0);
    hub->bCtrlBtnVisible.store(true);
    hub->bGimbalMoving.store(false);
    hub->showTarget.store(true);
    hub->uiActive.store(true);
}

class KeyboardFixture : public ::testing::Test {
protected:
    void SetUp() override {
        resetHub();
        // Capture on the PC into the scratch folder, on a stand-in video path.
        writeConfigValue("Capture/recordFolder", config.dir.path() + "/videos");
        writeConfigValue("Capture/snapshotFolder", config.dir.path() + "/pictures");
        CaptureControl::instance()->setVideoHooks(video.hooks());
        window = std::make_unique<OrunAppUI>();
        window->setGeometry(QRect(0, 0, 1366, 768));
        window->show();
        window->slot_syncScreenSize(); // the overlay of layout 0 shows
        QApplication::setActiveWindow(window.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        overlay = qobject_cast<VideoControlOverlay*>(window->overlayView(0));
        ASSERT_NE(overlay, nullptr);
        ASSERT_TRUE(overlay->isVisible());
    }
    void TearDown() override {
        if (window && window->isFullScreenView())
            window->setFullScreenView(false);
        window.reset();
        CaptureControl::instance()->stopRecording();
        CaptureControl::instance()->setVideoHooks({});
    }
    void key(Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier) {
        QTest::keyClick(window.get(), k, m);
    }
    // A key event as the window system sends it, auto-repeat included.
    void send(QEvent::Type type, Qt::Key k, bool autoRepeat) {
        QKeyEvent event(type, k, Qt::NoModifier, QString(), autoRepeat);
        QApplication::sendEvent(window.get(), &event);
    }
    QPoint knobPos() const { return overlay->findChild<QLabel*>("lbGimbalFree")->pos(); }

    ScratchConfig config;
    FakeVideo video;
    RuntimeDouble runtime;
    std::unique_ptr<OrunAppUI> window;
    VideoControlOverlay* overlay = nullptr;
};

} // namespace

TEST(KeyMap, EveryCommandHasWordsAndKeysAndNoKeyServesTwo) {
    QSet<QString> keys;
    int held = 0;
    for (const KeyBinding& b : keyBindings()) {
        EXPECT_FALSE(commandWords(b.command).isEmpty());
        EXPECT_FALSE(keyNames(b.command).isEmpty());
        if (b.keys.isEmpty()) {
            ++held;
            continue;
        }
        EXPECT_GE(b.named, 1);
        EXPECT_LE(b.named, b.keys.size());
        for (const QKeySequence& k : b.keys) {
            EXPECT_FALSE(keys.contains(k.toString())) << k.toString().toStdString();
            keys.insert(k.toString());
        }
        // Only the zoom steps repeat while held.
        EXPECT_EQ(b.autoRepeat,
                  b.command == KeyCommand::ZoomIn || b.command == KeyCommand::ZoomOut);
    }
    EXPECT_EQ(held, 1) << "the arrow keys";
    EXPECT_EQ(keyNames(KeyCommand::FullScreen), QStringLiteral("F, F11"));
    EXPECT_EQ(withKeys(QStringLiteral("Full screen"), KeyCommand::FullScreen),
              QStringLiteral("Full screen (F, F11)"));
}

TEST_F(KeyboardFixture, EachKeyDoesWhatItsControlDoes) {
    OrunAppFace* hub = OrunAppFace::instance();
    KeyboardControl* keys = window->keyboard();
    ASSERT_NE(keys, nullptr);
    for (const KeyBinding& b : keyBindings()) {
        if (b.keys.isEmpty())
            continue;
        QAction* action = keys->action(b.command);
        ASSERT_NE(action, nullptr);
        EXPECT_EQ(action->shortcuts(), b.keys);
        EXPECT_EQ(action->shortcutContext(), Qt::WindowShortcut);
        EXPECT_EQ(action->autoRepeat(), b.autoRepeat);
    }

    // L: the gimbal lock button.
    key(Qt::Key_L);
    ASSERT_TRUE(waitFor([&] { return runtime.count(13) == 1; }));
    EXPECT_EQ(runtime.last(13)->aiMode, 7);
    EXPECT_EQ(runtime.last(13)->aiValue, 1);
    EXPECT_TRUE(overlay->isGimbalLocked());

    // Space: the shutter; a single photo in photo mode.
    key(Qt::Key_Space);
    ASSERT_TRUE(waitFor([&] { return runtime.count(8) == 1; }));
    EXPECT_EQ(runtime.last(8)->who, 0);

    // + and -: one step of the zoom slider, asked for as its release would.
    spin(200);
    key(Qt::Key_Plus);
    ASSERT_TRUE(waitFor([&] { return runtime.count(3) == 1; }));
    EXPECT_FLOAT_EQ(hub->fZoomRate.load(), 1.1f);
    EXPECT_EQ(hub->iZoomSpeed.load(), 100);
    spin(200);
    key(Qt::Key_Minus);
    ASSERT_TRUE(waitFor([&] { return runtime.count(3) == 2; }));
    EXPECT_FLOAT_EQ(hub->fZoomRate.load(), 1.0f);

    // M: the mode switch (camera idle, then video mode).
    key(Qt::Key_M);
    ASSERT_TRUE(waitFor([&] { return runtime.count(4) == 1; }, 5000));
    EXPECT_EQ(hub->iWorkMode.load(), 1);
    // V in video mode: start, then stop the recording.
    spin(100);
    key(Qt::Key_V);
    ASSERT_TRUE(waitFor([&] { return runtime.count(10) == 1; }, 5000));
    spin(100);
    key(Qt::Key_V);
    ASSERT_TRUE(waitFor([&] { return runtime.count(11) == 1; }, 5000));
    // V in photo mode switches to video mode first.
    key(Qt::Key_M);
    ASSERT_TRUE(waitFor([&] { return hub->iWorkMode.load() == 0; }, 5000));
    spin(100);
    const size_t before = runtime.seen.size();
    key(Qt::Key_V);
    ASSERT_TRUE(waitFor([&] { return runtime.count(10) == 2; }, 5000));
    std::vector<int> codes;
    for (size_t i = before; i < runtime.seen.size(); ++i)
        codes.push_back(runtime.seen[i].code);
    EXPECT_EQ(codes, (std::vector<int>{7, 4, 10}));

    // T: the target-box check box.
    auto* targets = window->findChild<QCheckBox*>("cbShowTarget");
    key(Qt::Key_T);
    EXPECT_FALSE(hub->showTarget.load());
    EXPECT_FALSE(targets->isChecked());
    key(Qt::Key_T);
    EXPECT_TRUE(hub->showTarget.load());

    // F, Esc and F11: full screen, as the overlay's button; its icon follows.
    key(Qt::Key_F);
    EXPECT_TRUE(window->isFullScreenView());
    EXPECT_TRUE(overlay->isFullScreen());
    key(Qt::Key_Escape);
    EXPECT_FALSE(window->isFullScreenView());
    EXPECT_FALSE(overlay->isFullScreen());
    key(Qt::Key_Escape); // nothing to leave
    EXPECT_FALSE(window->isFullScreenView());
    key(Qt::Key_F11);
    EXPECT_TRUE(window->isFullScreenView());
    key(Qt::Key_F);
    EXPECT_FALSE(window->isFullScreenView());

    // Ctrl+Shift+S: the statistics check box, remembered in the configuration.
    auto* statsBox = window->findChild<QCheckBox*>("cbShowStats");
    ASSERT_NE(window->statsView(), nullptr);
    EXPECT_FALSE(window->statsView()->isVisible());
    key(Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_TRUE(statsBox->isChecked());
    EXPECT_TRUE(window->statsView()->isVisible());
    EXPECT_TRUE(readConfigValue("BaseOption/showStats", false).toBool());
    key(Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_FALSE(window->statsView()->isVisible());
    EXPECT_FALSE(readConfigValue("BaseOption/showStats", true).toBool());
    EXPECT_TRUE(video.pictures.empty()) << "Ctrl+Shift+S is not S";

    // R and S: recording and a snapshot on the PC, as the title bar's
    // buttons, whatever shows over the picture (here full screen).
    CaptureControl* capture = CaptureControl::instance();
    QSignalSpy written(capture, &CaptureControl::fileWritten);
    QToolButton* recordButton = window->captureBar()->recordButton();
    const QString offTip = recordButton->toolTip();
    key(Qt::Key_F);
    ASSERT_TRUE(window->isFullScreenView());
    key(Qt::Key_R);
    EXPECT_TRUE(capture->isRecording());
    EXPECT_EQ(video.units.size(), 1u);
    EXPECT_NE(recordButton->toolTip(), offTip) << "the button says how to stop";
    EXPECT_TRUE(recordButton->toolTip().endsWith("(R)")) << recordButton->toolTip().toStdString();
    EXPECT_EQ(recordButton->accessibleName(), recordButton->toolTip());
    key(Qt::Key_R);
    EXPECT_FALSE(capture->isRecording());
    EXPECT_TRUE(video.units.empty());
    key(Qt::Key_S);
    ASSERT_EQ(video.pictures.size(), 1u);
    ASSERT_TRUE(video.pictures[0]->wantsPicture());
    EXPECT_FALSE(window->statsView()->isVisible()) << "S is not Ctrl+Shift+S";
    VideoPicture picture;
    picture.rgb = cv::Mat(36, 64, CV_8UC3, cv::Scalar(10, 200, 30));
    video.pictures[0]->onPicture(picture);
    ASSERT_TRUE(waitFor([&] { return written.size() == 1; }, 5000));
    EXPECT_TRUE(QDir::fromNativeSeparators(written[0][0].toString())
                    .startsWith(config.dir.path() + "/pictures/"));
    key(Qt::Key_F);
    EXPECT_FALSE(window->isFullScreenView());

    // F1: the list of every key, then the game controller's sticks and
    // buttons, each button with the words of the key it stands for.
    key(Qt::Key_F1);
    ASSERT_NE(window->keyHelp(), nullptr);
    EXPECT_TRUE(window->keyHelp()->isVisible());
    const auto rows = window->keyHelp()->rows();
    const int padFrom = window->keyHelp()->gamepadFrom();
    EXPECT_EQ(padFrom, keyBindings().size());
    ASSERT_EQ(rows.size(), padFrom + 2 + gamepadBindings().size());
    for (int i = 0; i < gamepadBindings().size(); ++i) {
        const GamepadBinding& b = gamepadBindings()[i];
        EXPECT_EQ(rows[padFrom + 2 + i].first, QString::fromLatin1(b.name));
        EXPECT_EQ(rows[padFrom + 2 + i].second, commandWords(b.command));
    }
    EXPECT_EQ(rows[padFrom + 2].second, commandWords(KeyCommand::Shutter)) << "A: the shutter";
    EXPECT_TRUE(rows.mid(0, padFrom).contains(
        qMakePair(QStringLiteral("W"), commandWords(KeyCommand::PcWebcam))));
    window->keyHelp()->close();

    // Ctrl+,: the settings dialog.
    ModalAnswerer answerer;
    bool opened = false;
    answerer.onDialog = [&](QWidget* modal) {
        if (auto* dialog = qobject_cast<GeneralSettingsDlg*>(modal)) {
            opened = true;
            dialog->reject();
        }
    };
    QApplication::setActiveWindow(window.get());
    key(Qt::Key_Comma, Qt::ControlModifier);
    EXPECT_TRUE(opened);
}

TEST_F(KeyboardFixture, ArrowKeysSteerWhileHeldLikeTheJoystick) {
    OrunAppFace* hub = OrunAppFace::instance();
    const QPoint rest = knobPos();
    send(QEvent::KeyPress, Qt::Key_Left, false);
    ASSERT_TRUE(waitFor([&] { return runtime.count(2) == 1; }));
    EXPECT_TRUE(runtime.last(2)->gimbalMoving);
    // The joystick's record for a knob pushed left (sector 0).
    GimbalSpeed speed = runtime.last(2)->speed;
    EXPECT_EQ(speed.f[1], 0);
    EXPECT_EQ(speed.f[2], 30);
    EXPECT_EQ(speed.i[0], 200);
    EXPECT_LT(knobPos().x(), rest.x());
    EXPECT_TRUE(window->keyboard()->gimbalKeysHeld());

    // Up as well: up and left (sector 7).
    send(QEvent::KeyPress, Qt::Key_Up, false);
    ASSERT_TRUE(waitFor([&] { return runtime.count(2) == 2; }));
    speed = hub->gimbalSpeed.get();
    EXPECT_EQ(speed.f[1], -25);
    EXPECT_EQ(speed.f[2], 30);

    // Auto-repeat, as the window system sends it while a key is held (a
    // release and a press, both marked), changes nothing.
    for (int i = 0; i < 20; ++i) {
        send(QEvent::KeyRelease, Qt::Key_Up, true);
        send(QEvent::KeyPress, Qt::Key_Up, true);
    }
    spin(100);
    EXPECT_EQ(runtime.count(2), 2);
    EXPECT_EQ(runtime.count(13), 0);
    EXPECT_TRUE(hub->bGimbalMoving.load());

    // Up comes up: left again.
    send(QEvent::KeyRelease, Qt::Key_Up, false);
    ASSERT_TRUE(waitFor([&] { return runtime.count(2) == 3; }));
    EXPECT_EQ(hub->gimbalSpeed.get().f[1], 0);
    EXPECT_EQ(hub->gimbalSpeed.get().f[2], 30);

    // The last key up: the joystick's release (knob back, tracking resumed
    // after the pause).
    const qint64 releasedAt = runtime.now();
    send(QEvent::KeyRelease, Qt::Key_Left, false);
    EXPECT_FALSE(hub->bGimbalMoving.load());
    EXPECT_EQ(knobPos(), rest);
    EXPECT_FALSE(window->keyboard()->gimbalKeysHeld());
    ASSERT_TRUE(waitFor([&] { return runtime.count(13) == 1; }));
    EXPECT_EQ(runtime.last(13)->aiMode, 0);
    EXPECT_EQ(runtime.last(13)->aiValue, 1);
    EXPECT_GE(runtime.last(13)->atMs - releasedAt, 500);

    // A held key ends its motion when the window loses the focus.
    send(QEvent::KeyPress, Qt::Key_Down, false);
    ASSERT_TRUE(waitFor([&] { return runtime.count(2) == 4; }));
    EXPECT_EQ(runtime.last(2)->speed.f[1], 25); // down (sector 2)
    QEvent deactivate(QEvent::WindowDeactivate);
    QApplication::sendEvent(window.get(), &deactivate);
    EXPECT_FALSE(hub->bGimbalMoving.load());
    ASSERT_TRUE(waitFor([&] { return runtime.count(13) == 2; }));
}

TEST_F(KeyboardFixture, KeysAreTypedIntoAFocusedTextField) {
    OrunAppFace* hub = OrunAppFace::instance();
    QLineEdit field(window.get());
    field.show();
    field.setFocus();
    ASSERT_TRUE(field.hasFocus());
    for (Qt::Key k : {Qt::Key_L, Qt::Key_Space, Qt::Key_V, Qt::Key_M, Qt::Key_T, Qt::Key_F,
                      Qt::Key_Plus, Qt::Key_R, Qt::Key_S, Qt::Key_F1, Qt::Key_F11})
        QTest::keyClick(&field, k);
    QTest::keyClick(&field, Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
    QTest::keyPress(&field, Qt::Key_Left);
    QTest::keyRelease(&field, Qt::Key_Left);
    spin(700);
    EXPECT_TRUE(runtime.seen.empty()) << runtime.seen.front().code;
    EXPECT_EQ(field.text(), QStringLiteral("l vmtf+rs"));
    EXPECT_EQ(field.cursorPosition(), field.text().size() - 1) << "the left arrow moved the cursor";
    EXPECT_TRUE(hub->showTarget.load());
    EXPECT_FALSE(window->isFullScreenView());
    EXPECT_FALSE(window->statsView()->isVisible());
    EXPECT_TRUE(!window->keyHelp() || !window->keyHelp()->isVisible());
    EXPECT_FALSE(CaptureControl::instance()->isRecording());
    EXPECT_TRUE(video.units.empty() && video.pictures.empty()) << "nothing captured";
}

TEST_F(KeyboardFixture, AHeldZoomKeyAsksNowAndThenForTheLastStepOnly) {
    OrunAppFace* hub = OrunAppFace::instance();
    MySlider* slider = MySlider::instance();
    for (int i = 0; i < 20; ++i)
        slider->stepZoom(1);
    spin(50);
    EXPECT_EQ(runtime.count(3), 1) << "no storm of requests";
    EXPECT_FLOAT_EQ(hub->fZoomRate.load(), 1.1f);
    ASSERT_TRUE(waitFor([&] { return runtime.count(3) == 2; }, 1000));
    EXPECT_FLOAT_EQ(hub->fZoomRate.load(), 3.0f) << "the last step is asked for";
    spin(400);
    EXPECT_EQ(runtime.count(3), 2);
    // The slider ends at its ends.
    for (int i = 0; i < 30; ++i)
        slider->stepZoom(1);
    EXPECT_NEAR(MySlider::factorForRatio(slider->ratio()), 3.5, 1e-4);
    for (int i = 0; i < 40; ++i)
        slider->stepZoom(-1);
    EXPECT_NEAR(MySlider::factorForRatio(slider->ratio()), 1.0, 1e-4);
}

namespace {

// The name a screen reader or an interface test tool reads for a widget.
QString accessibleName(QWidget* w) {
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(w);
    return iface ? iface->text(QAccessible::Name) : QString();
}

// Every control under `root` has a name, and where it has a tooltip, its
// name is the tooltip's words.
void expectNamedControls(QWidget* root) {
    QList<QWidget*> controls;
    for (QWidget* w : root->findChildren<QWidget*>()) {
        // Unnamed widgets are parts of Qt's own (a scroll area's bars).
        if (w->objectName().isEmpty())
            continue;
        if (qobject_cast<QAbstractButton*>(w) || qobject_cast<QComboBox*>(w) ||
            qobject_cast<QLineEdit*>(w) || qobject_cast<QAbstractSlider*>(w) ||
            w->objectName() == QLatin1String("lbGimbalFree") || qobject_cast<MySlider*>(w))
            controls << w;
    }
    ASSERT_FALSE(controls.isEmpty());
    for (QWidget* w : controls) {
        const std::string name = (root->objectName() + "/" + w->objectName()).toStdString();
        EXPECT_FALSE(accessibleName(w).isEmpty()) << name;
        if (!w->toolTip().isEmpty()) {
            EXPECT_EQ(w->accessibleName(), w->toolTip()) << name;
        }
    }
}

} // namespace

TEST_F(KeyboardFixture, EveryControlIsNamedByTheWordsOfItsTooltipAndTooltipsNameTheirKeys) {
    expectNamedControls(window.get());
    for (int layout = 1; layout < 5; ++layout)
        expectNamedControls(window->overlayView(layout));
    const std::pair<const char*, const char*> keyed[] = {
        {"tbVideo", "(Space)"},
        {"tbChangeMode", "(M)"},
        {"tbGimbalLock", "(L)"},
        {"tbFullBtn", "(F, F11)"},
        {"tbRate", "(+, -)"},
        {"lbGimbalFree", "("},
        {"cbShowTarget", "(T)"},
        {"cbShowStats", "(Ctrl+Shift+S)"},
        {"tbGeneraSetting", "(Ctrl+,)"},
        {"tbPcRecord", "(R)"},
        {"tbPcSnapshot", "(S)"},
        {"tbPcWebcam", "(W)"},
    };
    for (const auto& [object, keys] : keyed) {
        QWidget* w = window->findChild<QWidget*>(QLatin1String(object));
        ASSERT_NE(w, nullptr) << object;
        EXPECT_TRUE(w->toolTip().endsWith(QLatin1String(keys)) ||
                    w->toolTip().contains(QLatin1String(keys)))
            << object << ": " << w->toolTip().toStdString();
    }
    FakeEnvironment env;
    GeneralSettingsDlg settings(env);
    settings.setObjectName("GeneralSettingsDlg");
    expectNamedControls(&settings);
    WifiStationDlg station(env);
    station.setObjectName("WifiStationDlg");
    expectNamedControls(&station);
    window->showKeyHelp();
    expectNamedControls(window->keyHelp());
}

// --- Statistics panel --------------------------------------------------------------

TEST(StatsOverlay, SaysWhatTheCountersSayAndTheStateOfTheMediaLink) {
    ScratchConfig config;
    // In English, from the built translation.
    ASSERT_TRUE(appTranslator()->load(QDir::current().filePath("language/orunapp_en_cn.qm")));
    QCoreApplication::installTranslator(appTranslator());
    StatsReport r;
    r.width = 1280;
    r.height = 720;
    r.receivedFps = 30;
    r.decodedFps = 29.5;
    r.shownFps = 25;
    r.bitRateKbps = 2410;
    r.decodeMsPerPicture = 3.24;
    r.decoder = "vaapi";
    r.lostSegments = 123;
    r.lossPercent = 3.1;
    r.resentSegments = 120;
    r.duplicateSegments = 5;
    r.roundTripMs = 1.5;
    r.droppedQueueFull = 1;
    r.droppedRenderBusy = 12;
    r.droppedDecodeError = 0;
    r.secondsSinceLastPicture = 0.04;
    r.linkState = MediaLinkState::Streaming;
    QString text = StatsOverlay::describe(r, true);
    for (const char* part :
         {"Video 1280×720 · received 30.0 · decoded 29.5 · shown 25.0 fps",
          "Bit rate 2.41 Mbit/s · decoder vaapi, 3.2 ms per picture",
          "lost 123 segments (3.1 %) · resent 120 · duplicate 5",
          "Round trip 1.5 ms (control link probe)",
          "queue full 1 · render busy 12 · decode error 0", "Last picture 0.0 s ago"})
        EXPECT_TRUE(text.contains(QString::fromUtf8(part))) << part << "\n" << text.toStdString();
    EXPECT_FALSE(text.contains("reconnecting"));
    EXPECT_FALSE(text.contains("Hardware decoding not used"));
    EXPECT_FALSE(text.contains("Recording:")) << "no capture line while nothing is captured";
    // What the recording and the live output let go, while they are on.
    r.recording = true;
    r.recordingDropped = 149;
    r.recordingMissingSeconds = 4.97;
    r.liveOutput = true;
    r.liveDropped = 3;
    EXPECT_TRUE(StatsOverlay::describe(r, true).contains(
        QString::fromUtf8("Recording: 149 dropped, 5.0 s missing · Live output: 3 dropped")))
        << StatsOverlay::describe(r, true).toStdString();
    r.recording = false;
    r.liveOutput = false;
    // The VISCA controller that sent last, and when; no line before one has.
    EXPECT_FALSE(StatsOverlay::describe(r, true).contains("VISCA"));
    r.viscaController = "192.168.1.20:52000";
    r.viscaSecondsAgo = 2.34;
    EXPECT_TRUE(StatsOverlay::describe(r, true).contains(
        QString::fromUtf8("VISCA controller 192.168.1.20:52000 · last command 2.3 s ago")))
        << StatsOverlay::describe(r, true).toStdString();
    r.viscaController.clear();
    // The game controllers connected, the one in use first, their names as
    // text (a name is the device's word, not markup).
    EXPECT_FALSE(StatsOverlay::describe(r, true).contains("Game controller"));
    r.gamepads = {"Xbox <Wireless> Controller", "PS5 Controller"};
    EXPECT_TRUE(StatsOverlay::describe(r, true).contains(
        QString::fromUtf8("Game controller: Xbox &lt;Wireless&gt; Controller, PS5 Controller")))
        << StatsOverlay::describe(r, true).toStdString();
    r.gamepads.clear();

    r.linkState = MediaLinkState::Reconnecting;
    r.attempts = 3;
    r.decoderSwitches = 1;
    r.roundTripMs = -1;
    text = StatsOverlay::describe(r, false);
    EXPECT_TRUE(text.contains(QString::fromUtf8("Media link reconnecting… (attempt 3)")))
        << text.toStdString();
    EXPECT_TRUE(text.contains("(replaced 1 times)"));
    r.unusedHardware = "vaapi (no device <none>)";
    text = StatsOverlay::describe(r, false);
    EXPECT_TRUE(text.contains("Hardware decoding not used: vaapi (no device &lt;none&gt;)"))
        << text.toStdString();
    EXPECT_TRUE(text.contains(QString::fromUtf8("received – ·"))) << "no rate from one reading";
    EXPECT_TRUE(text.contains(QString::fromUtf8("Round trip – ms")));
    r.linkState = MediaLinkState::NoCamera;
    EXPECT_TRUE(StatsOverlay::describe(r, true).contains("No camera linked"));
    QCoreApplication::removeTranslator(appTranslator());

    // The panel reads the counters when it shows and lets the pointer through.
    int readings = 0;
    StatsOverlay panel(nullptr, [&readings] {
        StatsSample s;
        s.atUs = ++readings * 1'000'000;
        s.cameraLinked = true;
        s.pipeline.unitsReceived = 30u * readings;
        return s;
    });
    EXPECT_TRUE(panel.testAttribute(Qt::WA_TransparentForMouseEvents));
    panel.show();
    EXPECT_EQ(readings, 1);
    panel.refresh();
    EXPECT_DOUBLE_EQ(panel.lastReport().receivedFps, 30.0);
    panel.hide();
    const int seen = readings;
    spin(1300);
    EXPECT_EQ(readings, seen) << "no readings while hidden";
}
