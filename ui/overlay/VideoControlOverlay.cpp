#include "ui/overlay/VideoControlOverlay.h"

#include "app/ManualControl.h"

#include "hub/OrunAppFace.h"
#include "ui/CountDownDlg.h"
#include "ui/ErrorInfoDlg.h"
#include "ui/KeyMap.h"
#include "ui/MySlider.h"
#include "ui/PohtoModeSettingDlg.h"
#include "ui/VideoMaskWidget.h"
#include "ui/VideoStatisticalTimeDlg.h"
#include "ui/overlay/OverlayLogic.h"
#include "ui/settings/PumpWait.h"

#include <QAbstractButton>
#include <QIcon>
#include <QLabel>
#include <QMouseEvent>
#include <QSet>
#include <QToolButton>

using namespace overlay;

namespace {

const char* const kIconProperty = "orunIconPath";
const char* const kKnobStyle = "QLabel{border-image: url(:/icon/CrtlCenter.png);}"
                               "QLabel:hover{border-image: url(:/icon/CrtlCenterHover.png);}";
const char* const kPhotoGroupStyle =
    "#wgPhoto{background-color: rgba(0, 0, 0, 30);border-width: 1px 1px 1px 1px;border-style: "
    "solid;border-color: rgba(255, 255, 255, 100);border-radius:16px;}";

const char* const kModePhoto = ":/icon/mode_camera2x.png";
const char* const kModeVideo = ":/icon/mode_video2x.png";
const char* const kLockOff = ":/icon/btn_play_lock_n.png";
const char* const kLockOn = ":/icon/btn_play_lock_p.png";
const char* const kFullEnter = ":/icon/btn_full screen2x.png";
const char* const kFullLeave = ":/icon/btn_Unfull screen2x.png";

template <typename T> T* formWidget(QWidget* root, const char* name) {
    T* widget = root->findChild<T*>(QLatin1String(name));
    if (!widget)
        qFatal("video control overlay form has no widget %s", name);
    return widget;
}

// Moves a shared widget under a new parent without changing whether it shows.
void adopt(QWidget* child, QWidget* parent) {
    if (child->parentWidget() == parent)
        return;
    const bool shown = !child->isHidden();
    child->setParent(parent);
    if (shown)
        child->show();
}

} // namespace

VideoControlOverlay::VideoControlOverlay(int layout, QWidget* parent)
    : QWidget(parent), m_layout(layout) {
    m_clickTimer.setSingleShot(true);
    m_clickTimer.setInterval(kClickDelayMs);
    connect(&m_clickTimer, &QTimer::timeout, this, &VideoControlOverlay::slot_singleClick);
    m_burstAlignTimer.setSingleShot(true);
    m_burstAlignTimer.setInterval(kBurstAlignMs);
    connect(&m_burstAlignTimer, &QTimer::timeout, this, [this] {
        emit OrunAppFace::instance()->signal_startBurstCount(m_alignedBurstStart, false);
    });
}

int VideoControlOverlay::s_busyOverlays = 0;

VideoControlOverlay::~VideoControlOverlay() {
    setBusy(false);
}

void VideoControlOverlay::setBusy(bool busy) {
    if (busy == m_busy)
        return;
    m_busy = busy;
    s_busyOverlays += busy ? 1 : -1;
}

void VideoControlOverlay::attachForm() {
    m_ui.wgGimbalCrl = formWidget<QWidget>(this, "wgGimbalCrl");
    m_ui.lbGimbalLeft = formWidget<QLabel>(this, "lbGimbalLeft");
    m_ui.lbGimbalUp = formWidget<QLabel>(this, "lbGimbalUp");
    m_ui.lbGimbalRight = formWidget<QLabel>(this, "lbGimbalRight");
    m_ui.lbGimbalDown = formWidget<QLabel>(this, "lbGimbalDown");
    m_ui.lbGimbalFree = formWidget<QLabel>(this, "lbGimbalFree");
    m_ui.tbGimbalLock = formWidget<QToolButton>(this, "tbGimbalLock");
    m_ui.wgVideo = formWidget<QWidget>(this, "wgVideo");
    m_ui.tbVideo = formWidget<QToolButton>(this, "tbVideo");
    m_ui.tbChangeMode = formWidget<QToolButton>(this, "tbChangeMode");
    m_ui.wgPhoto = formWidget<QWidget>(this, "wgPhoto");
    m_ui.tbPhotoMode1 = formWidget<QToolButton>(this, "tbPhotoMode1");
    m_ui.tbPhotoMode2 = formWidget<QToolButton>(this, "tbPhotoMode2");
    m_ui.wgFullBtn = formWidget<QWidget>(this, "wgFullBtn");
    m_ui.tbFullBtn = formWidget<QToolButton>(this, "tbFullBtn");
    m_ui.wgRate = formWidget<QWidget>(this, "wgRate");
    m_ui.tbRate = formWidget<QToolButton>(this, "tbRate");

    m_designSize = size();
    for (QWidget* group : {m_ui.wgVideo, m_ui.wgFullBtn, m_ui.wgRate, m_ui.wgGimbalCrl,
                           formWidget<QWidget>(this, "wgGimbalCrl_2")}) {
        if (group->parentWidget() == this)
            m_edgeGroups.append({group, group->geometry()});
    }
    for (QWidget* cell :
         m_ui.wgVideo->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
        m_barCells.append({cell, cell->geometry()});

    setWindowFlags(windowFlags() | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_TranslucentBackground);
    setMouseTracking(true);

    MySlider* slider = MySlider::instance();
    slider->setParent(m_ui.wgRate);
    slider->move(0, 0);
    slider->hide();
    m_ui.wgRate->show();
    m_ui.wgFullBtn->show();
    m_ui.wgVideo->show();

    m_ui.lbGimbalFree->setStyleSheet(kKnobStyle);
    m_ui.wgPhoto->setObjectName(QStringLiteral("wgPhoto"));
    m_ui.wgPhoto->setStyleSheet(kPhotoGroupStyle);
    setButtonIcon(m_ui.tbGimbalLock, kLockOff);
    setButtonIcon(m_ui.tbFullBtn, kFullEnter);
    nameControl(m_ui.tbVideo, withKeys(tr("快门"), KeyCommand::Shutter));
    nameControl(m_ui.tbChangeMode, withKeys(tr("拍照/录像"), KeyCommand::ModeSwitch));
    nameControl(m_ui.tbGimbalLock, withKeys(tr("云台锁定"), KeyCommand::GimbalLock));
    nameControl(m_ui.tbFullBtn, withKeys(tr("全屏"), KeyCommand::FullScreen));
    nameControl(m_ui.tbRate, MySlider::instance()->toolTip());
    nameControl(m_ui.lbGimbalFree, withKeys(tr("云台摇杆"), KeyCommand::Gimbal));
    nameControl(m_ui.tbPhotoMode1, tr("拍照模式"));
    nameControl(m_ui.tbPhotoMode2, tr("拍照模式"));
    setModeIcons(OrunAppFace::instance()->iWorkMode.load(), false);
    slot_showPhotoModeSettingBtnStyle();

    VideoStatisticalTimeDlg* recTime = VideoStatisticalTimeDlg::instance();
    recTime->setParent(this);
    recTime->stopTime();
    CountDownDlg* countDown = CountDownDlg::instance();
    countDown->setParent(this);
    countDown->stopCount();
    placeSharedChildren();
    m_knobRest = m_ui.lbGimbalFree->pos();
}

// --- Helpers -------------------------------------------------------------------------

void VideoControlOverlay::setButtonIcon(QAbstractButton* button, const QString& path) {
    button->setIcon(QIcon(path));
    button->setIconSize(button->size());
    button->setProperty(kIconProperty, path);
}

QString VideoControlOverlay::iconPathOf(const QAbstractButton* button) {
    return button->property(kIconProperty).toString();
}

void VideoControlOverlay::setModeIcons(int workMode, bool running) {
    if (workMode == 1) {
        setButtonIcon(m_ui.tbChangeMode, kModeVideo);
        setButtonIcon(m_ui.tbVideo,
                      running ? ":/icon/btn_video_p2x.png" : ":/icon/btn_video_n2x.png");
        m_ui.wgPhoto->hide();
    } else {
        setButtonIcon(m_ui.tbChangeMode, kModePhoto);
        setButtonIcon(m_ui.tbVideo,
                      running ? ":/icon/btn_camera_p2x.png" : ":/icon/btn_camera_n2x.png");
        m_ui.wgPhoto->show();
    }
}

QRect VideoControlOverlay::knobRectInOverlay() const {
    return QRect(m_ui.lbGimbalFree->mapTo(this, QPoint(0, 0)), m_ui.lbGimbalFree->size());
}

void VideoControlOverlay::placeSharedChildren() {
    const int w = width();
    const int h = height();
    VideoStatisticalTimeDlg* recTime = VideoStatisticalTimeDlg::instance();
    adopt(recTime, this);
    recTime->setGeometry(w / 2 - 80, 30, 160, 40);
    CountDownDlg* countDown = CountDownDlg::instance();
    adopt(countDown, this);
    countDown->setGeometry(w / 2 - 100, h / 2 - 100, 200, 200);
}

void VideoControlOverlay::placePhotoSelector() {
    PohtoModeSettingDlg* selector = PohtoModeSettingDlg::instance();
    const QPoint bar = m_ui.wgVideo->mapTo(this, QPoint(0, 0));
    selector->move(bar.x() + m_ui.wgVideo->width() / 2 - selector->width() / 2,
                   bar.y() - selector->height());
}

void VideoControlOverlay::togglePhotoSelector() {
    PohtoModeSettingDlg* selector = PohtoModeSettingDlg::instance();
    if (m_photoSelectorShown && selector->parentWidget() == this && !selector->isHidden()) {
        selector->hide();
        m_photoSelectorShown = false;
        return;
    }
    selector->setParent(this);
    placePhotoSelector();
    selector->show();
    selector->raise();
    m_photoSelectorShown = true;
}

int VideoControlOverlay::runOperation(int code, int limitMs, bool withMask) {
    OrunAppFace* hub = OrunAppFace::instance();
    VideoMaskWidget* mask = VideoMaskWidget::instance();
    if (withMask) {
        mask->show();
        mask->raise();
    }
    // A late result of an earlier request must not count for this one.
    m_opFinished = false;
    m_opResult = 0;
    hub->iWho.store(0);
    hub->postOperation(code);
    const bool finished = pumpEventsUntil([this] { return m_opFinished; },
                                          [hub] { return hub->uiActive.load(); }, limitMs);
    const int ec = finished ? m_opResult : -1;
    m_opFinished = false;
    m_opResult = 0;
    if (withMask)
        mask->hide();
    return ec;
}

// --- Mouse gestures --------------------------------------------------------------------

void VideoControlOverlay::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    const QPoint p = event->localPos().toPoint();
    if (knobRectInOverlay().contains(p)) {
        m_dragging = true;
        m_lastDragPos = p;
        event->accept();
        return;
    }
    if (inEdgeBand(event->localPos(), size())) {
        event->ignore();
        return;
    }
    emit signal_drawFocusCircle(m_focusPoint, false);
    m_pressPos = event->localPos();
    m_clickTimer.start();
    event->accept();
}

void VideoControlOverlay::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    // The knob and the edge bands are not part of the picture.
    if (knobRectInOverlay().contains(event->localPos().toPoint()) ||
        inEdgeBand(event->localPos(), size())) {
        event->ignore();
        return;
    }
    m_pressPos = event->localPos();
    m_clickTimer.stop();
    OrunAppFace* hub = OrunAppFace::instance();
    hub->ptSelect.set(normalisePoint(m_pressPos, size()));
    hub->postOperation(1);
    event->accept();
}

void VideoControlOverlay::slot_singleClick() {
    m_focusPoint = normalisePoint(m_pressPos, size());
    emit signal_drawFocusCircle(m_focusPoint, true);
    manual::focusAt(m_focusPoint);
}

void VideoControlOverlay::mouseMoveEvent(QMouseEvent* event) {
    OrunAppFace* hub = OrunAppFace::instance();
    const QPoint p = event->localPos().toPoint();
    if (m_dragging) {
        const int dx = p.x() - m_lastDragPos.x();
        const int dy = p.y() - m_lastDragPos.y();
        m_lastDragPos = p;
        QLabel* knob = m_ui.lbGimbalFree;
        const QWidget* pad = m_ui.wgGimbalCrl;
        const int maxX = pad->width() - knob->width();
        const int maxY = pad->height() - knob->height();
        const int x = qMin(qMax(0, knob->x() + dx), maxX);
        const int y = qMin(qMax(0, knob->y() + dy), maxY);
        knob->move(x, y);

        // A knob back at rest points nowhere: the neutral record, not "left".
        steerGimbal(sectorForKnobOffset(QPointF(knob->pos() - m_knobRest)));
    }

    const int w = width();
    const int h = height();
    if (p.x() > 10 && p.x() < w - 10 && p.y() > 10 && p.y() < h - 10)
        setCursor(Qt::ArrowCursor);
    if (!hub->bCtrlBtnVisible.load()) {
        if (p.x() >= w - 19 && p.x() <= w && p.y() >= 1 && p.y() <= 19) {
            if (m_autoHideTimerId != 0) {
                killTimer(m_autoHideTimerId);
                m_autoHideTimerId = 0;
            }
            m_ui.tbFullBtn->show();
        } else if (m_autoHideTimerId == 0 && m_ui.tbFullBtn->isVisible()) {
            m_autoHideTimerId = startTimer(2000);
        }
    }
}

void VideoControlOverlay::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && m_dragging)
        endGimbalMove();
    event->ignore();
}

void VideoControlOverlay::steerGimbal(int sector) {
    manual::steerGimbal(speedForSector(sector));
}

void VideoControlOverlay::endGimbalMove() {
    manual::stopGimbal();
    m_dragging = false;
    m_ui.lbGimbalFree->move(m_knobRest);
    pumpEventsFor(kReleaseResumeMs);
    manual::resumeTracking();
}

void VideoControlOverlay::steerGimbalTowards(int dx, int dy) {
    if (m_dragging)
        return; // the pointer holds the knob
    // The knob leans halfway to the edge of its pad in the keys' direction.
    QLabel* knob = m_ui.lbGimbalFree;
    const QWidget* pad = m_ui.wgGimbalCrl;
    const int reachX = qMin(m_knobRest.x(), pad->width() - knob->width() - m_knobRest.x()) / 2;
    const int reachY = qMin(m_knobRest.y(), pad->height() - knob->height() - m_knobRest.y()) / 2;
    knob->move(m_knobRest + QPoint(dx * qMax(reachX, 0), dy * qMax(reachY, 0)));
    steerGimbal(sectorForKnobOffset(QPointF(dx, dy)));
}

void VideoControlOverlay::timerEvent(QTimerEvent* event) {
    if (event->timerId() != m_autoHideTimerId || m_autoHideTimerId == 0) {
        QWidget::timerEvent(event);
        return;
    }
    killTimer(m_autoHideTimerId);
    m_autoHideTimerId = 0;
    if (!OrunAppFace::instance()->bCtrlBtnVisible.load())
        m_ui.tbFullBtn->hide();
}

void VideoControlOverlay::followSize() {
    const int w = width();
    const int h = height();
    const int dw = m_designSize.width();
    const int dh = m_designSize.height();
    for (const Placed& p : m_edgeGroups) {
        QRect r = p.design;
        if (p.widget == m_ui.wgVideo) {
            r = QRect(0, h - r.height(), w, r.height());
        } else if (p.widget == m_ui.wgFullBtn) {
            r.moveLeft(w - (dw - r.x()));
        } else if (p.widget == m_ui.wgRate) {
            r.moveLeft(w - (dw - r.x()));
            r.moveTop(r.y() + (h - dh) / 2);
        } else {
            r.moveTop(h - (dh - r.y()));
        }
        p.widget->setGeometry(r);
    }
    // Bar cells stay centred as a group; when the bar is narrower than the
    // group they move closer together (their transparent margins overlap).
    if (m_barCells.isEmpty())
        return;
    int left = m_barCells.first().design.left();
    int right = m_barCells.first().design.right();
    for (const Placed& p : m_barCells) {
        left = qMin(left, p.design.left());
        right = qMax(right, p.design.right());
    }
    const int span = right - left + 1;
    for (const Placed& p : m_barCells) {
        QRect r = p.design;
        if (span <= w || span <= r.width()) {
            r.moveLeft(r.left() - left + (w - span) / 2);
        } else {
            const double room = qMax(0, w - r.width());
            r.moveLeft(static_cast<int>((r.left() - left) * room / (span - r.width())));
        }
        p.widget->setGeometry(r);
    }
}

void VideoControlOverlay::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (m_ui.lbGimbalFree == nullptr)
        return; // form not attached yet
    followSize();
    if (isVisible())
        placeSharedChildren();
    if (!m_dragging)
        m_knobRest = m_ui.lbGimbalFree->pos();
    if (m_photoSelectorShown && PohtoModeSettingDlg::instance()->parentWidget() == this)
        placePhotoSelector();
}

void VideoControlOverlay::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (m_ui.lbGimbalFree != nullptr)
        placeSharedChildren();
}

// --- Buttons ---------------------------------------------------------------------------

void VideoControlOverlay::on_tbFullBtn_clicked() {
    m_fullScreen = !m_fullScreen;
    setButtonIcon(m_ui.tbFullBtn, m_fullScreen ? kFullLeave : kFullEnter);
    emit OrunAppFace::instance()->signal_showFullScreen(m_fullScreen);
}

void VideoControlOverlay::slot_showFullScreen(bool bFullScreen) {
    m_fullScreen = bFullScreen;
    setButtonIcon(m_ui.tbFullBtn, m_fullScreen ? kFullLeave : kFullEnter);
}

void VideoControlOverlay::on_tbPhotoMode1_clicked() {
    togglePhotoSelector();
}

void VideoControlOverlay::on_tbPhotoMode2_clicked() {
    togglePhotoSelector();
}

void VideoControlOverlay::on_tbRate_clicked() {
    m_ui.tbRate->hide();
    MySlider* slider = MySlider::instance();
    slider->setParent(m_ui.wgRate);
    slider->move(0, 0);
    slider->show();
    slider->raise();
}

void VideoControlOverlay::on_tbGimbalLock_clicked() {
    OrunAppFace* hub = OrunAppFace::instance();
    hub->iAiMode.store(7);
    hub->iAiValue.store(m_gimbalLocked ? 0 : 1);
    hub->postOperation(13);
    m_gimbalLocked = !m_gimbalLocked;
    setButtonIcon(m_ui.tbGimbalLock, m_gimbalLocked ? kLockOn : kLockOff);
}

void VideoControlOverlay::on_tbVideo_clicked() {
    // The wait below runs the event loop; a second click meanwhile would
    // start a second request on top of the first.
    if (m_busy)
        return;
    setBusy(true);
    OrunAppFace* hub = OrunAppFace::instance();
    const ShutterPlan plan =
        planShutter(hub->iWorkMode.load(), hub->iWorkSubMode.load(), m_running);
    const QString previousIcon = iconPathOf(m_ui.tbVideo);
    if (plan.kind == ShutterKind::SingleShot || plan.kind == ShutterKind::MultiStart)
        setButtonIcon(m_ui.tbVideo, ":/icon/btn_camera_p.png");

    const bool ok = runOperation(plan.operation, plan.waitMs, plan.withMask) == 0;

    switch (plan.kind) {
    case ShutterKind::VideoStop:
        if (ok) {
            setButtonIcon(m_ui.tbVideo, ":/icon/btn_video_n.png");
            VideoStatisticalTimeDlg::instance()->stopTime();
            m_running = false;
        }
        break;
    case ShutterKind::VideoStart:
        if (ok) {
            setButtonIcon(m_ui.tbVideo, ":/icon/btn_video_p.png");
            placeSharedChildren();
            VideoStatisticalTimeDlg::instance()->startTime(0);
            m_running = true;
        }
        break;
    case ShutterKind::SingleShot:
        setButtonIcon(m_ui.tbVideo, ":/icon/btn_camera_n.png");
        break;
    case ShutterKind::CaptureStop:
        if (ok) {
            CountDownDlg* countDown = CountDownDlg::instance();
            if (countDown->isCounting())
                countDown->stopCount();
            setButtonIcon(m_ui.tbVideo, ":/icon/btn_camera_n.png");
            m_running = false;
        }
        break;
    case ShutterKind::BurstStart:
        if (ok) {
            placeSharedChildren();
            CountDownDlg::instance()->startCount(burstIntervalSeconds(hub->iPhotoParam.load()),
                                                 false);
            setButtonIcon(m_ui.tbVideo, ":/icon/btn_camera_p.png");
            m_running = true;
        }
        break;
    case ShutterKind::MultiStart:
        if (ok) {
            m_running = false;
            setButtonIcon(m_ui.tbVideo, ":/icon/btn_camera_n.png");
        }
        break;
    }
    if (!ok && plan.kind != ShutterKind::SingleShot)
        setButtonIcon(m_ui.tbVideo, previousIcon);
    setBusy(false);
}

void VideoControlOverlay::on_tbChangeMode_clicked() {
    if (m_busy)
        return;
    setBusy(true);
    OrunAppFace* hub = OrunAppFace::instance();
    VideoMaskWidget* mask = VideoMaskWidget::instance();
    mask->show();
    mask->raise();
    PohtoModeSettingDlg::instance()->hide();
    m_photoSelectorShown = false;
    m_running = false;
    m_ui.tbChangeMode->setCheckable(false);

    // Any running capture ends before the mode changes.
    if (runOperation(7, 8000, false) != 0) {
        mask->hide();
        setBusy(false);
        return;
    }
    const int previousMode = hub->iWorkMode.load();
    const int previousSubMode = hub->iWorkSubMode.load();
    const bool toPhoto = previousMode == 1;
    hub->iWorkMode.store(toPhoto ? 0 : 1);
    hub->iWorkSubMode.store(toPhoto ? hub->iPhotoMode.load() : 0);
    if (runOperation(4, 8000, false) == 0) {
        setModeIcons(toPhoto ? 0 : 1, false);
        if (toPhoto) {
            // The photo parameter is awaited too (its result is not needed):
            // a report arriving later would be taken for the result of the
            // next operation this overlay waits for.
            const int photoMode = hub->iPhotoMode.load();
            if (photoMode == 1)
                runOperation(5, 3000, false);
            else if (photoMode == 2)
                runOperation(6, 3000, false);
        }
    } else {
        hub->iWorkMode.store(previousMode);
        hub->iWorkSubMode.store(previousSubMode);
    }
    mask->hide();
    setBusy(false);
}

// --- Hub notifications -------------------------------------------------------------------

void VideoControlOverlay::slot_showPhotoModeSettingBtnStyle() {
    OrunAppFace* hub = OrunAppFace::instance();
    const int mode = hub->iPhotoMode.load();
    setButtonIcon(m_ui.tbPhotoMode1, QStringLiteral(":/icon/Takephoto/") +
                                         photoModeIconFile(mode, hub->iPhotoParam.load()));
    m_ui.tbPhotoMode2->setText(tr(photoModeLabel(mode)));
}

void VideoControlOverlay::slot_showVideoCtrlBtnStyle(bool bRun) {
    setModeIcons(OrunAppFace::instance()->iWorkMode.load(), bRun);
    m_running = bRun;
}

void VideoControlOverlay::slot_doOperationFinished(int iWho, int ec) {
    if (iWho != 0)
        return;
    m_opResult = ec;
    m_opFinished = true;
}

void VideoControlOverlay::slot_setVideoBtnDlgVisable(bool bShow) {
    if (OrunAppFace::instance()->iScreenLayout.load() == m_layout)
        setVisible(bShow);
}

void VideoControlOverlay::slot_syncRateBtn(QRectF rt, QString sText) {
    m_ui.tbRate->move(static_cast<int>(rt.x()), static_cast<int>(rt.y()));
    m_ui.tbRate->setText(sText);
}

void VideoControlOverlay::slot_showRateBtn(bool bShow) {
    if (OrunAppFace::instance()->bCtrlBtnVisible.load())
        m_ui.tbRate->setVisible(bShow);
}

void VideoControlOverlay::slot_syncGimbalLockButton() {
    m_gimbalLocked = OrunAppFace::instance()->gimbalState.get()[2] == 1;
    setButtonIcon(m_ui.tbGimbalLock, m_gimbalLocked ? kLockOn : kLockOff);
}

void VideoControlOverlay::slot_videoBtnCtrlVisable() {
    const bool visible = OrunAppFace::instance()->bCtrlBtnVisible.load();
    for (QWidget* w : std::initializer_list<QWidget*>{
             m_ui.tbChangeMode, m_ui.tbFullBtn, m_ui.tbGimbalLock, m_ui.tbPhotoMode1,
             m_ui.tbPhotoMode2, m_ui.tbRate, m_ui.tbVideo, m_ui.lbGimbalLeft, m_ui.lbGimbalUp,
             m_ui.lbGimbalRight, m_ui.lbGimbalDown, m_ui.lbGimbalFree})
        w->setVisible(visible);
}

void VideoControlOverlay::slot_syncCameraStatusToUI(Orun_Camera_CurrStatus status,
                                                    bool bConstrainted) {
    if (bConstrainted)
        m_syncPending = true;
    if (m_syncPending) {
        // After a (re)connect the first settled state is taken over, even
        // while a capture seems to run locally.
        if (status.byRunState == 3)
            return;
        applyCameraStatus(status);
        m_syncPending = false;
        return;
    }
    // While a request of any layout's overlay or of the photo-mode selector
    // is on its way, the hub already holds the new mode: a report from before
    // it would undo the request.
    if (m_running || s_busyOverlays > 0 || PohtoModeSettingDlg::instance()->isApplying())
        return;
    applyCameraStatus(status);
}

void VideoControlOverlay::applyCameraStatus(const Orun_Camera_CurrStatus& status) {
    OrunAppFace* hub = OrunAppFace::instance();
    hub->iWorkMode.store(status.byWorkMode);
    hub->iWorkSubMode.store(status.bySubMode);
    const bool capturing = status.byRunState == 3;
    if (status.byWorkMode == 1) {
        if (capturing) {
            emit hub->signal_startCountVideoTime(status.iCaptureTimeMs / 1000);
            emit hub->signal_showVideoCtrlBtnStyle(true);
            m_running = true;
        } else {
            emit hub->signal_showVideoCtrlBtnStyle(false);
            VideoStatisticalTimeDlg::instance()->stopTime();
            m_running = false;
        }
    } else if (status.bySubMode == 1) {
        if (capturing) {
            const int interval = burstIntervalSeconds(hub->iPhotoParam.load());
            bool align = false;
            const int start =
                burstCountStart(interval, status.iShotCount, status.iBurstHalfSec, &align);
            // Start the count on a whole second of the camera's burst clock:
            // on a half second, the next whole one is 470 ms away.
            m_burstAlignTimer.stop();
            if (align) {
                m_alignedBurstStart = start;
                m_burstAlignTimer.start();
            } else {
                emit hub->signal_startBurstCount(start, false);
            }
            emit hub->signal_showVideoCtrlBtnStyle(true);
            m_running = true;
        } else {
            m_burstAlignTimer.stop();
            emit hub->signal_showVideoCtrlBtnStyle(false);
            CountDownDlg* countDown = CountDownDlg::instance();
            if (countDown->isCounting())
                countDown->stopCount();
            m_running = false;
        }
        emit hub->signal_showPhotoModeSettingBtnStyle();
    } else {
        emit hub->signal_showVideoCtrlBtnStyle(false);
        emit hub->signal_showPhotoModeSettingBtnStyle();
    }
    emit hub->signal_showModeSettingUIStyle();
}

void VideoControlOverlay::slot_showErrInfo() {
    if (!isVisible())
        return;
    OrunAppFace* hub = OrunAppFace::instance();
    const QList<FaultEntry> entries = hub->faults();
    QList<FaultEntry> cleared;
    QSet<QObject*> inUse;
    int k = 0;
    for (FaultEntry entry : entries) {
        if (entry.state == 2) {
            cleared.append(entry);
            continue;
        }
        if (entry.state != 0 && entry.state != 1)
            continue;
        ErrorInfoDlg* banner = qobject_cast<ErrorInfoDlg*>(entry.banner.data());
        if (!banner)
            banner = new ErrorInfoDlg(this);
        else if (banner->parentWidget() != this)
            banner->setParent(this);
        banner->setMessage(entry.id, entry.level, entry.text);
        banner->move(width() / 2 - banner->width() / 2, bannerTop(k, banner->height()));
        banner->show();
        banner->raise();
        entry.state = 1;
        entry.banner = banner;
        hub->updateFault(entry);
        inUse.insert(banner);
        ++k;
    }
    for (const FaultEntry& entry : cleared) {
        if (entry.banner)
            entry.banner->deleteLater();
        hub->dropFault(entry.id);
    }
    // Banners whose entry is gone or lost its banner reference would stay on
    // screen for good.
    for (ErrorInfoDlg* banner :
         findChildren<ErrorInfoDlg*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (!inUse.contains(banner))
            banner->deleteLater();
    }
}
