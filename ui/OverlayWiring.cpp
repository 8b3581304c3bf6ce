#include "ui/OverlayWiring.h"

#include "hub/OrunAppFace.h"
#include "ui/overlay/VideoControlBtnH16V9.h"
#include "ui/overlay/VideoControlBtnH1V1.h"
#include "ui/overlay/VideoControlBtnH3V4.h"
#include "ui/overlay/VideoControlBtnH4V3.h"
#include "ui/overlay/VideoControlBtnH9V16.h"
#include "video/VideoWidget.h"

#include <QDebug>

namespace {

// The overlays' slots are private, so they are connected by signature.
struct Link {
    const char* signal;
    const char* slot;
};

const Link kHubLinks[] = {
    {SIGNAL(signal_showPhotoModeSettingBtnStyle()), SLOT(slot_showPhotoModeSettingBtnStyle())},
    {SIGNAL(signal_doOperationFinished(int, int)), SLOT(slot_doOperationFinished(int, int))},
    {SIGNAL(signal_showVideoCtrlBtnStyle(bool)), SLOT(slot_showVideoCtrlBtnStyle(bool))},
    {SIGNAL(signal_setVideoBtnDlgVisable(bool)), SLOT(slot_setVideoBtnDlgVisable(bool))},
    {SIGNAL(signal_syncRateBtn(QRectF, QString)), SLOT(slot_syncRateBtn(QRectF, QString))},
    {SIGNAL(signal_showRateBtn(bool)), SLOT(slot_showRateBtn(bool))},
    {SIGNAL(signal_syncCameraStatusToUI(Orun_Camera_CurrStatus, bool)),
     SLOT(slot_syncCameraStatusToUI(Orun_Camera_CurrStatus, bool))},
    {SIGNAL(signal_syncGimbalLockButton()), SLOT(slot_syncGimbalLockButton())},
    {SIGNAL(signal_showFullScreen(bool)), SLOT(slot_showFullScreen(bool))},
};

const Link kHubLinksAfterFocus[] = {
    {SIGNAL(signal_videoBtnCtrlVisable()), SLOT(slot_videoBtnCtrlVisable())},
    {SIGNAL(signal_showErrInfo()), SLOT(slot_showErrInfo())},
};

int connectOne(const QObject* sender, const Link& link, const QObject* receiver) {
    if (QObject::connect(sender, link.signal, receiver, link.slot))
        return 1;
    qDebug() << "overlay connection failed:" << link.signal << "->" << link.slot;
    return 0;
}

int connectVariant(QWidget* overlay) {
    OrunAppFace* hub = OrunAppFace::instance();
    int made = 0;
    for (const Link& link : kHubLinks)
        made += connectOne(hub, link, overlay);
    made += connectOne(
        overlay,
        {SIGNAL(signal_drawFocusCircle(QPointF, bool)), SLOT(slot_drawFocusCircle(QPointF, bool))},
        VideoWidget::instance());
    for (const Link& link : kHubLinksAfterFocus)
        made += connectOne(hub, link, overlay);
    return made;
}

} // namespace

namespace OverlayWiring {

QWidget* overlay(int layout) {
    switch (layout) {
    case 0:
        return VideoControlBtnH16V9::instance();
    case 1:
        return VideoControlBtnH9V16::instance();
    case 2:
        return VideoControlBtnH4V3::instance();
    case 3:
        return VideoControlBtnH3V4::instance();
    case 4:
        return VideoControlBtnH1V1::instance();
    default:
        return nullptr;
    }
}

int connectOverlays() {
    // The order of the variants is the order in which their slots run for a
    // shared signal.
    int made = 0;
    for (int layout : {0, 1, 2, 4, 3})
        made += connectVariant(overlay(layout));
    return made;
}

} // namespace OverlayWiring
