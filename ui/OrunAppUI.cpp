#include "ui/OrunAppUI.h"
#include "ui_OrunAppUI.h"

#include "ui/IconResources.h"

#include "app/CaptureControl.h"
#include "app/Configuration.h"
#include "app/Shutdown.h"
#include "hub/OrunAppFace.h"
#include "ui/CaptureBar.h"
#include "ui/CountDownDlg.h"
#include "ui/KeyHelpDialog.h"
#include "ui/KeyMap.h"
#include "ui/MySlider.h"
#include "ui/OverlayWiring.h"
#include "ui/PohtoModeSettingDlg.h"
#include "ui/StatsOverlay.h"
#include "ui/VideoMaskWidget.h"
#include "ui/VideoStatisticalTimeDlg.h"
#include "ui/WindowGeometry.h"
#include "ui/settings/GeneralSettingsDlg.h"
#include "video/VideoWidget.h"
#include "video/videoctl.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>

namespace {

const char* const kMaxNormalStyle = "QToolButton{border-image: url(:/icon/big1.bmp);}"
                                    "QToolButton:hover{border-image: url(:/icon/big2.bmp);}";
const char* const kMaxRestoreStyle = "QToolButton{border-image: url(:/icon/Unbig1.bmp);}"
                                     "QToolButton:hover{border-image: url(:/icon/Unbig2.bmp);}";
const char* const kSmallStyle = "QToolButton{border-image: url(:/icon/small1.bmp);}"
                                "QToolButton:hover{border-image: url(:/icon/small2.bmp);}";
const char* const kCloseStyle = "QToolButton{border-image: url(:/icon/close1.bmp);}"
                                "QToolButton:hover{border-image: url(:/icon/close2.bmp);}";

// Raises the set-up depth for one scope.
class SetupScope {
public:
    explicit SetupScope(int& depth) : depth_(depth) { ++depth_; }
    ~SetupScope() { --depth_; }
    SetupScope(const SetupScope&) = delete;
    SetupScope& operator=(const SetupScope&) = delete;

private:
    int& depth_;
};

} // namespace

OrunAppUI::OrunAppUI(QWidget* parent) : QWidget(parent), ui(new Ui::OrunAppUI), ptLastGlobal(0, 0) {
    loadConfiguration();
    setupWindow();
    placeChildren();
    makeConnections();
    makeKeys();
}

OrunAppUI::~OrunAppUI() {
    // The widgets of the video area are process-wide singletons: take them out
    // of the window so that they outlive it.
    for (QWidget* overlay : m_overlays) {
        if (overlay != nullptr)
            overlay->setParent(nullptr);
    }
    if (m_maskView != nullptr)
        m_maskView->setParent(nullptr);
    if (m_videoView != nullptr)
        m_videoView->setParent(nullptr);
    delete ui;
}

QWidget* OrunAppUI::overlayView(int layout) const {
    if (layout < 0 || layout >= WindowGeometry::kLayoutCount)
        return nullptr;
    return m_overlays[layout];
}

void OrunAppUI::setupWindow() {
    SetupScope scope(iSetupDepth);
    initIconResources();
    ui->setupUi(this);
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint);
    OrunAppFace* hub = OrunAppFace::instance();
    hub->rcNormal.set(QRect(QPoint(300, 200), QPoint(1665, 967)));
    setWindowTitle("OrunAppV1.0.2");
    setAttribute(Qt::WA_StyledBackground);
    setStyleSheet("#OrunAppUI{background-color: rgb(58, 58, 58);}");
    // Pointer moves over the title bar and the video area reach the window
    // too, so that the edge cursors show across the whole resizing band.
    setMouseTracking(true);
    ui->wgHead->setMouseTracking(true);
    ui->wgVideo->setMouseTracking(true);
    ui->tbSmall->setStyleSheet(kSmallStyle);
    ui->tbClose->setStyleSheet(kCloseStyle);
    setMaxButtonNormal();
    ui->tbAboutUs->hide();
    ui->tbAutoSetting->hide();
    ui->tbCameraSetting->hide();
    ui->tbHelp->hide();
    ui->tbLiveSetting->hide();
    ui->tbPhoto->hide();
    ui->cbShowTarget->setChecked(hub->showTarget);
    ui->cbShowStats->setChecked(statisticsShownAtStart());
    nameControl(ui->tbGeneraSetting, withKeys(tr("设置"), KeyCommand::Settings));
    nameControl(ui->cbShowTarget, withKeys(tr("显示目标框"), KeyCommand::TargetBoxes));
    nameControl(ui->cbShowStats, withKeys(tr("统计信息"), KeyCommand::Statistics));
    nameControl(ui->tbSmall, tr("最小化"));
    nameControl(ui->tbClose, tr("关闭"));
    nameUnnamedControls(this);
    slot_showConnectSatus(-1);
    // Capture on the PC, beside the settings button.
    m_captureBar = new CaptureBar(CaptureControl::instance(), ui->wgVideo, ui->wgHead);
    ui->horizontalLayout->insertWidget(ui->horizontalLayout->indexOf(ui->tbGeneraSetting) + 1,
                                       m_captureBar);
}

void OrunAppUI::placeChildren() {
    QWidget* area = ui->wgVideo;
    m_videoView = VideoWidget::instance();
    m_videoView->setParent(area);
    m_videoView->show();
    for (int layout = 0; layout < WindowGeometry::kLayoutCount; ++layout) {
        m_overlays[layout] = OverlayWiring::overlay(layout);
        if (m_overlays[layout] != nullptr) {
            m_overlays[layout]->setParent(area);
            m_overlays[layout]->hide();
        }
    }
    m_maskView = VideoMaskWidget::instance();
    m_maskView->setParent(area);
    m_maskView->hide();
    PohtoModeSettingDlg::instance()->hide();
    m_stats = new StatsOverlay(area);
    m_stats->setVisible(ui->cbShowStats->isChecked());
}

void OrunAppUI::makeConnections() {
    OrunAppFace* hub = OrunAppFace::instance();
    VideoWidget* video = VideoWidget::instance();
    videoctl* decoder = videoctl::instance();
    connect(hub, &OrunAppFace::signal_showVideoFrame, video, &VideoWidget::slot_showVideoFrame);
    connect(hub, &OrunAppFace::signal_showVideoPlanes, video, &VideoWidget::slot_showVideoPlanes);
    connect(hub, &OrunAppFace::signal_randerFinished, decoder, &videoctl::slot_randerFinished);
    connect(hub, &OrunAppFace::signal_showConnectSatus, this, &OrunAppUI::slot_showConnectSatus);
    connect(hub, &OrunAppFace::signal_showFullScreen, this, &OrunAppUI::slot_showFullScreen);
    connect(hub, &OrunAppFace::signal_showVideoBgImg, video, &VideoWidget::slot_showVideoBgImg);
    connect(hub, &OrunAppFace::signal_showCurrentZoomRate, MySlider::instance(),
            &MySlider::slot_showCurrentZoomRate);
    PohtoModeSettingDlg* selector = PohtoModeSettingDlg::instance();
    connect(hub, &OrunAppFace::signal_doOperationFinished, selector,
            &PohtoModeSettingDlg::slot_doOperationFinished);
    connect(hub, &OrunAppFace::signal_showModeSettingUIStyle, selector,
            &PohtoModeSettingDlg::slot_showModeSettingUIStyle);
    VideoStatisticalTimeDlg* recordTime = VideoStatisticalTimeDlg::instance();
    connect(hub, &OrunAppFace::signal_startCountVideoTime, recordTime,
            &VideoStatisticalTimeDlg::slot_startCountVideoTime);
    connect(hub, &OrunAppFace::signal_syncScreenSize, this, &OrunAppUI::slot_syncScreenSize);
    connect(hub, &OrunAppFace::signal_resetVideoKcpClient, decoder,
            &videoctl::slot_resetVideoKcpClient);
    // The burst countdown follows the camera's capture state after a status
    // push; the remaining hub signals of the two small widgets have no sender
    // today but reach their receivers as soon as one emits them.
    CountDownDlg* countDown = CountDownDlg::instance();
    connect(hub, &OrunAppFace::signal_startBurstCount, countDown,
            &CountDownDlg::slot_startBurstCount);
    connect(hub, &OrunAppFace::signal_startCountDown, countDown,
            &CountDownDlg::slot_startCountDown);
    connect(hub, &OrunAppFace::signal_stopCountDown, countDown, &CountDownDlg::slot_stopCountDown);
    connect(hub, &OrunAppFace::signal_startVideoStatisticalTime, recordTime,
            &VideoStatisticalTimeDlg::slot_startVideoStatisticalTime);
    connect(hub, &OrunAppFace::signal_stopVideoStatisticalTime, recordTime,
            &VideoStatisticalTimeDlg::slot_stopVideoStatisticalTime);
    OverlayWiring::connectOverlays();
}

void OrunAppUI::setMaxButtonNormal() {
    ui->tbMax->setStyleSheet(kMaxNormalStyle);
    nameControl(ui->tbMax, tr("最大化"));
}

void OrunAppUI::setMaxButtonMaximized() {
    ui->tbMax->setStyleSheet(kMaxRestoreStyle);
    nameControl(ui->tbMax, tr("还原窗口"));
}

QRect OrunAppUI::screenRect() const {
    QScreen* screen = QGuiApplication::primaryScreen();
    QRect rect = screen != nullptr ? screen->geometry() : QRect(0, 0, 1366, 768);
    // One pixel short of the bottom, so that an auto-hiding task bar still
    // comes up under a maximised window.
    rect.setBottom(rect.bottom() - 1);
    return rect;
}

QWidget* OrunAppUI::currentOverlay() const {
    return overlayView(OrunAppFace::instance()->iScreenLayout);
}

void OrunAppUI::placePicture(const QRect& picture, const QRect& mask) {
    m_videoView->setGeometry(picture);
    if (QWidget* overlay = currentOverlay())
        overlay->setGeometry(picture);
    m_maskView->setGeometry(mask);
    if (m_stats) {
        m_stats->move(picture.topLeft() + QPoint(12, 12));
        m_stats->raise();
    }
}

void OrunAppUI::fitPicture() {
    const QRect area = ui->wgVideo->frameGeometry();
    WindowGeometry::PictureFit fit;
    if (!WindowGeometry::fitPicture(OrunAppFace::instance()->iScreenLayout,
                                    static_cast<float>(area.width()),
                                    static_cast<float>(area.height()), &fit))
        return;
    placePicture(fit.picture, fit.mask);
}

void OrunAppUI::slot_showConnectSatus(int iState) {
    const char* icon = ":/icon/disConn.jpg";
    if (iState == 0)
        icon = ":/icon/wifi.jpg";
    else if (iState == 1)
        icon = ":/icon/Usb.jpg";
    ui->lbConnStatus->setStyleSheet(QString("border-image: url(%1);").arg(icon));
}

void OrunAppUI::slot_showFullScreen(bool fullScreen) {
    if (fullScreen) {
        bFullScreen = true;
        ui->wgHead->hide();
        setGeometry(screenRect());
        return;
    }
    ui->wgHead->show();
    setGeometry(OrunAppFace::instance()->rcNormal.get());
    setMaxButtonNormal();
    bMaximized = false;
    bFullScreen = false;
}

void OrunAppUI::slot_syncScreenSize() {
    const int layout = OrunAppFace::instance()->iScreenLayout;
    if (layout < 0 || layout >= WindowGeometry::kLayoutCount)
        return;
    for (int i = 0; i < WindowGeometry::kLayoutCount; ++i) {
        if (m_overlays[i] != nullptr)
            m_overlays[i]->setVisible(i == layout);
    }
    if (width() == 1366 && height() == 768) {
        const QRect rect = WindowGeometry::fixedPictureRect(layout);
        placePicture(rect, rect);
    } else {
        fitPicture();
    }
}

void OrunAppUI::on_tbSmall_clicked() {
    showMinimized();
}

void OrunAppUI::on_tbMax_clicked() {
    if (!bMaximized) {
        setGeometry(screenRect());
        setMaxButtonMaximized();
        bMaximized = true;
        return;
    }
    setGeometry(OrunAppFace::instance()->rcNormal.get());
    setMaxButtonNormal();
    bMaximized = false;
    bFullScreen = false;
}

void OrunAppUI::on_tbClose_clicked() {
    ::shutdown();
    close();
}

void OrunAppUI::on_cbShowTarget_clicked(bool checked) {
    OrunAppFace::instance()->showTarget = checked;
}

void OrunAppUI::on_cbShowStats_clicked(bool checked) {
    m_stats->setVisible(checked);
    m_stats->raise();
    rememberStatisticsShown(checked);
}

void OrunAppUI::setFullScreenView(bool fullScreen) {
    // Through the hub, as the overlay's button does: the window and every
    // overlay's button follow.
    emit OrunAppFace::instance()->signal_showFullScreen(fullScreen);
}

void OrunAppUI::showKeyHelp() {
    if (!m_keyHelp)
        m_keyHelp = new KeyHelpDialog(this);
    m_keyHelp->show();
    m_keyHelp->raise();
    m_keyHelp->activateWindow();
}

void OrunAppUI::on_tbPhoto_clicked() {}

void OrunAppUI::on_tbCameraSetting_clicked() {}

void OrunAppUI::on_tbAutoSetting_clicked() {}

void OrunAppUI::on_tbGeneraSetting_clicked() {
    GeneralSettingsDlg dialog;
    connect(OrunAppFace::instance(), &OrunAppFace::signal_doOperationFinished, &dialog,
            &GeneralSettingsDlg::slot_doOperationFinished);
    dialog.exec();
}

void OrunAppUI::on_tbLiveSetting_clicked() {}

void OrunAppUI::on_tbAboutUs_clicked() {}

void OrunAppUI::on_tbHelp_clicked() {
    showKeyHelp();
}

void OrunAppUI::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    bPressed = true;
    ptLastGlobal = event->globalPos();
    iDragRegion = WindowGeometry::regionCode(event->pos().x(), event->pos().y(), width(), height());
}

void OrunAppUI::mouseMoveEvent(QMouseEvent* event) {
    const int region =
        WindowGeometry::regionCode(event->pos().x(), event->pos().y(), width(), height());
    setCursor(WindowGeometry::cursorForRegion(region));
    if (bPressed) {
        const QPoint delta = event->globalPos() - ptLastGlobal;
        if (iDragRegion == 22) {
            move(pos() + delta);
        } else {
            setGeometry(WindowGeometry::resizedRect(geometry(), iDragRegion, delta.x(), delta.y()));
        }
    }
    ptLastGlobal = event->globalPos();
}

void OrunAppUI::mouseReleaseEvent(QMouseEvent*) {
    bPressed = false;
    setCursor(Qt::ArrowCursor);
    if (!bMaximized && !bFullScreen)
        OrunAppFace::instance()->rcNormal.set(geometry());
}

void OrunAppUI::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (iSetupDepth == 0)
        fitPicture();
}
