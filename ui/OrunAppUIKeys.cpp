// The main window's keys: what each command of the key map does here.
#include "ui/OrunAppUI.h"
#include "ui_OrunAppUI.h"

#include "app/CaptureControl.h"
#include "app/GamepadControl.h"
#include "hub/OrunAppFace.h"
#include "ui/GamepadMap.h"
#include "ui/KeyboardControl.h"
#include "ui/MySlider.h"
#include "ui/overlay/VideoControlOverlay.h"

#include <QApplication>
#include <QCheckBox>

void OrunAppUI::makeKeys() {
    m_keys = new KeyboardControl(this);
    // Camera commands go to the overlay of the current layout while it shows
    // (its buttons would be out of reach otherwise).
    auto overlay = [this]() -> VideoControlOverlay* {
        auto* o = qobject_cast<VideoControlOverlay*>(currentOverlay());
        return o && o->isVisible() ? o : nullptr;
    };
    m_keys->bindGimbal(
        [overlay](int dx, int dy) {
            if (VideoControlOverlay* o = overlay())
                o->steerGimbalTowards(dx, dy);
        },
        [this] {
            // Ends the motion even if the overlay went away meanwhile.
            if (auto* o = qobject_cast<VideoControlOverlay*>(currentOverlay()))
                o->endGimbalMove();
        });
    m_keys->bind(KeyCommand::ZoomIn, [overlay] {
        if (overlay())
            MySlider::instance()->stepZoom(1);
    });
    m_keys->bind(KeyCommand::ZoomOut, [overlay] {
        if (overlay())
            MySlider::instance()->stepZoom(-1);
    });
    m_keys->bind(KeyCommand::Shutter, [overlay] {
        if (VideoControlOverlay* o = overlay())
            o->on_tbVideo_clicked();
    });
    m_keys->bind(KeyCommand::CameraVideo, [overlay] {
        VideoControlOverlay* o = overlay();
        if (!o || o->isBusy())
            return;
        // A recording needs the video mode: the mode switch goes first.
        OrunAppFace* hub = OrunAppFace::instance();
        if (hub->iWorkMode.load() != 1) {
            o->on_tbChangeMode_clicked();
            if (hub->iWorkMode.load() != 1)
                return;
        }
        o->on_tbVideo_clicked();
    });
    m_keys->bind(KeyCommand::ModeSwitch, [overlay] {
        if (VideoControlOverlay* o = overlay())
            o->on_tbChangeMode_clicked();
    });
    m_keys->bind(KeyCommand::GimbalLock, [overlay] {
        if (VideoControlOverlay* o = overlay())
            o->on_tbGimbalLock_clicked();
    });
    // Capture on the PC needs no overlay: it works whatever shows over the picture.
    m_keys->bind(KeyCommand::PcRecording, [] { CaptureControl::instance()->toggleRecording(); });
    m_keys->bind(KeyCommand::PcSnapshot, [] { CaptureControl::instance()->takeSnapshot(); });
    m_keys->bind(KeyCommand::PcWebcam, [] { CaptureControl::instance()->toggleWebcam(); });
    m_keys->bind(KeyCommand::TargetBoxes, [this] { ui->cbShowTarget->click(); });
    m_keys->bind(KeyCommand::FullScreen, [this] { setFullScreenView(!bFullScreen); });
    m_keys->bind(KeyCommand::LeaveFullScreen, [this] {
        if (bFullScreen)
            setFullScreenView(false);
    });
    m_keys->bind(KeyCommand::Settings, [this] { on_tbGeneraSetting_clicked(); });
    m_keys->bind(KeyCommand::Statistics, [this] { ui->cbShowStats->click(); });
    m_keys->bind(KeyCommand::Help, [this] { showKeyHelp(); });

    // A game controller's button runs what its key runs; like the keys, not
    // while a dialog of the program waits for an answer.
    connect(GamepadControl::instance(), &GamepadControl::buttonPressed, this,
            [this](GamepadButton button) {
                if (QApplication::activeModalWidget())
                    return;
                m_keys->runCommand(gamepadBinding(button).command);
            });
}
