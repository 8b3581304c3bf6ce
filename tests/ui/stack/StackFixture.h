#pragma once

// The real main window, the real operation runtime and the simulated camera's
// control side on 127.0.0.1:9999: gestures and dialogs go all the way to the
// camera and its answers come back through the receive path.

#include "tests/app/CameraTestRig.h"
#include "tests/ui/UiTestSupport.h"
#include "tests/ui/overlay/UiTestKit.h"

#include "app/OrunAppRt.h"
#include "ui/OrunAppUI.h"
#include "ui/overlay/VideoControlOverlay.h"

#include <QApplication>
#include <QMouseEvent>
#include <QtEndian>

#include <cstring>
#include <limits>
#include <memory>

namespace stack {

inline QByteArray bytes(std::initializer_list<int> values) {
    QByteArray out;
    for (int v : values)
        out.append(static_cast<char>(v));
    return out;
}

// Little-endian float32 / int32 at `offset` of a payload (NaN / 0 when short).
inline float floatAt(const QByteArray& payload, int offset) {
    if (payload.size() < offset + 4)
        return std::numeric_limits<float>::quiet_NaN();
    const quint32 raw = qFromLittleEndian<quint32>(payload.constData() + offset);
    float value;
    std::memcpy(&value, &raw, sizeof value);
    return value;
}
inline qint32 intAt(const QByteArray& payload, int offset) {
    if (payload.size() < offset + 4)
        return 0;
    return qFromLittleEndian<qint32>(payload.constData() + offset);
}

inline void mouse(QWidget* w, QEvent::Type type, QPointF pos) {
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    const Qt::MouseButtons held =
        type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(Qt::LeftButton);
    QMouseEvent event(type, pos, QPointF(w->mapToGlobal(pos.toPoint())), button, held,
                      Qt::NoModifier);
    QApplication::sendEvent(w, &event);
}

class StackTest : public CameraRig {
protected:
    static void SetUpTestSuite() {
        if (window)
            return;
        config = new ScratchConfig;
        OrunAppFace::instance()->iScreenLayout = 0;
        // One window for the whole process, never destroyed: it owns the
        // video widget and overlay singletons, which would dangle after it.
        window = new OrunAppUI;
        window->setGeometry(QRect(0, 0, 1366, 768));
        window->show();
    }

    void SetUp() override {
        CameraRig::SetUp();
        if (HasFatalFailure())
            return;
        // No supervisor here: the link counts as up and the camera as reached,
        // so that the receive path takes pushes and status reports raise faults.
        Camera::instance()->connected = true;
        hub->bCameraReached = true;
        hub->iOperating = 0;
        hub->iWorkMode = 0;
        hub->iWorkSubMode = 0;
        hub->iPhotoMode = 0;
        hub->iPhotoParam = 0;
        hub->iResolution = 0;
        hub->iScreenLayout = 0;
        hub->bCtrlBtnVisible = true;
        hub->bGimbalMoving = false;
        hub->uiActive = true;
        hub->iGimbalPeriodMs = 20;
        OrunAppRt::instance();
        emit hub->signal_syncScreenSize();
        overlay = qobject_cast<VideoControlOverlay*>(window->overlayView(0));
        ASSERT_NE(overlay, nullptr);
        overlay->show();
        // Nothing left running or pending from an earlier test of this process.
        overlay->slot_showVideoCtrlBtnStyle(false);
        overlay->slot_syncCameraStatusToUI(Orun_Camera_CurrStatus{}, false);
        spin(50);
        cam->clearRequests();
    }
    void TearDown() override {
        hub->bGimbalMoving = false;
        waitFor([this] { return hub->iOperating.load() == 0; }, 3000);
        CameraRig::TearDown();
    }

    // Runs the event loop until the camera logged `n` requests of a command.
    bool waitForRequests(uint8_t set, uint16_t id, int n, int ms = 3000) {
        return waitFor([&] { return cam->countRequests(set, id) >= n; }, ms);
    }
    QByteArray payload(uint8_t set, uint16_t id) const {
        auto r = cam->lastRequest(set, id);
        return r ? r->payload : QByteArray("none");
    }

    static inline ScratchConfig* config = nullptr;
    static inline OrunAppUI* window = nullptr;
    VideoControlOverlay* overlay = nullptr;
};

} // namespace stack
