#include "ui/CaptureBar.h"

#include "app/CaptureControl.h"
#include "ui/ErrorInfoDlg.h"
#include "ui/KeyMap.h"

#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QPainter>
#include <QPixmap>
#include <QTime>
#include <QToolButton>

#include <algorithm>

namespace {

// How far the notice banner sits above the foot of the video area.
constexpr int kBannerLift = 150;

const char* const kButtonStyle = "QToolButton{color: rgb(220, 220, 220);}";
const char* const kActiveStyle = "QToolButton{color: rgb(255, 255, 255);font-weight: bold;}";

// The pictures are drawn rather than loaded: three small glyphs in the title
// bar's light grey, the recording dot red.
QIcon dotIcon(const QColor& fill, const QColor& ring) {
    QPixmap pixmap(14, 14);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(ring, 1.5));
    p.setBrush(fill);
    p.drawEllipse(QRectF(1.5, 1.5, 11, 11));
    return QIcon(pixmap);
}

QIcon cameraIcon() {
    QPixmap pixmap(16, 14);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(220, 220, 220), 1.4));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(1, 3, 14, 10), 2, 2);
    p.drawEllipse(QRectF(5.5, 5.5, 5, 5));
    p.drawLine(QPointF(5, 3), QPointF(6.5, 1));
    p.drawLine(QPointF(6.5, 1), QPointF(9.5, 1));
    p.drawLine(QPointF(9.5, 1), QPointF(11, 3));
    return QIcon(pixmap);
}

QIcon liveIcon(bool on) {
    QPixmap pixmap(18, 14);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor colour = on ? QColor(60, 200, 90) : QColor(220, 220, 220);
    p.setPen(QPen(colour, 1.4));
    p.setBrush(colour);
    p.drawEllipse(QRectF(7.5, 5.5, 3, 3));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(4, 2, 10, 10), 16 * -50, 16 * 100);
    p.drawArc(QRectF(4, 2, 10, 10), 16 * 130, 16 * 100);
    p.drawArc(QRectF(1, -1, 16, 16), 16 * -45, 16 * 90);
    p.drawArc(QRectF(1, -1, 16, 16), 16 * 135, 16 * 90);
    return QIcon(pixmap);
}

// A small camera on a tripod; green while a program reads it.
QIcon webcamIcon(bool on, bool read) {
    QPixmap pixmap(16, 14);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor colour = read ? QColor(60, 200, 90)
                          : on ? QColor(255, 255, 255)
                               : QColor(220, 220, 220);
    p.setPen(QPen(colour, 1.4));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QRectF(3.5, 0.7, 9, 9));
    p.setBrush(colour);
    p.drawEllipse(QRectF(6.5, 3.7, 3, 3));
    p.drawLine(QPointF(8, 9.7), QPointF(8, 11.5));
    p.drawLine(QPointF(4, 13), QPointF(12, 13));
    return QIcon(pixmap);
}

QToolButton* makeButton(QWidget* parent, const char* name) {
    auto* button = new QToolButton(parent);
    button->setObjectName(QLatin1String(name));
    button->setMinimumSize(64, 30);
    button->setCursor(Qt::PointingHandCursor);
    button->setAutoRaise(true);
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button->setIconSize(QSize(16, 14));
    button->setStyleSheet(kButtonStyle);
    return button;
}

} // namespace

CaptureBar::CaptureBar(CaptureControl* control, QWidget* bannerArea, QWidget* parent)
    : QWidget(parent), m_control(control), m_area(bannerArea) {
    setObjectName(QStringLiteral("wgCaptureBar"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(6, 0, 6, 0);
    layout->setSpacing(2);
    // Apart from the camera's own buttons: these act on the PC.
    auto* rule = new QFrame(this);
    rule->setFrameShape(QFrame::VLine);
    rule->setFixedSize(1, 18);
    rule->setStyleSheet(QStringLiteral("background-color: rgb(90, 90, 90);border:none;"));
    layout->addWidget(rule);
    layout->addSpacing(4);

    m_record = makeButton(this, "tbPcRecord");
    m_snapshot = makeButton(this, "tbPcSnapshot");
    m_snapshot->setIcon(cameraIcon());
    m_snapshot->setText(tr("电脑截图"));
    nameControl(m_snapshot, withKeys(tr("把当前画面保存为图片(在电脑上)"), KeyCommand::PcSnapshot));
    m_live = makeButton(this, "tbPcLive");
    m_live->installEventFilter(this);
    layout->addWidget(m_record);
    layout->addWidget(m_snapshot);
    m_webcam = makeButton(this, "tbPcWebcam");
    layout->addWidget(m_live);
    layout->addWidget(m_webcam);

    QWidget* bannerParent = m_area ? m_area.data() : this;
    m_banner = new ErrorInfoDlg(bannerParent);
    m_banner->setObjectName(QStringLiteral("captureBanner"));
    m_banner->hide();
    if (m_area)
        m_area->installEventFilter(this);

    m_clock.setInterval(500);
    connect(&m_clock, &QTimer::timeout, this, &CaptureBar::updateRunningTime);
    m_noticeTimer.setSingleShot(true);
    m_noticeTimer.setInterval(kNoticeMs);
    connect(&m_noticeTimer, &QTimer::timeout, m_banner, &QWidget::hide);

    connect(m_record, &QToolButton::clicked, control, &CaptureControl::toggleRecording);
    connect(m_snapshot, &QToolButton::clicked, control, &CaptureControl::takeSnapshot);
    connect(m_live, &QToolButton::clicked, control, &CaptureControl::toggleLiveOutput);
    connect(control, &CaptureControl::recordingChanged, this, &CaptureBar::showRecording);
    connect(control, &CaptureControl::liveOutputChanged, this, &CaptureBar::showLive);
    connect(m_webcam, &QToolButton::clicked, control, &CaptureControl::toggleWebcam);
    connect(control, &CaptureControl::webcamChanged, this, &CaptureBar::showWebcam);
    connect(control, &CaptureControl::notice, this, &CaptureBar::showNotice);
    showRecording(control->isRecording());
    showLive(control->isLiveOutputOn());
    showWebcam();
}

void CaptureBar::showRecording(bool on) {
    if (on) {
        m_record->setIcon(dotIcon(QColor(235, 40, 40), QColor(255, 90, 90)));
        m_record->setStyleSheet(kActiveStyle);
        nameControl(m_record, withKeys(tr("停止电脑录像"), KeyCommand::PcRecording));
        updateRunningTime();
        m_clock.start();
    } else {
        m_clock.stop();
        m_record->setIcon(dotIcon(QColor(150, 40, 40), QColor(220, 220, 220)));
        m_record->setStyleSheet(kButtonStyle);
        m_record->setText(tr("电脑录像"));
        nameControl(m_record,
                    withKeys(tr("在电脑上录制相机的画面(不重新编码)"), KeyCommand::PcRecording));
    }
}

void CaptureBar::updateRunningTime() {
    // The time the file holds, not the time since the click: nothing runs
    // until the first picture is in it.
    if (m_control->isRecordingWaiting()) {
        m_record->setText(tr("等待相机"));
        return;
    }
    const qint64 seconds = m_control->recordedMs() / 1000;
    m_record->setText(QStringLiteral("%1:%2:%3")
                          .arg(seconds / 3600, 2, 10, QLatin1Char('0'))
                          .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
                          .arg(seconds % 60, 2, 10, QLatin1Char('0')));
}

void CaptureBar::showLive(bool on) {
    m_live->setIcon(liveIcon(on));
    m_live->setText(tr("推流"));
    m_live->setStyleSheet(on ? kActiveStyle : kButtonStyle);
    updateLiveTip();
}

void CaptureBar::updateLiveTip() {
    const QString url = m_control->liveUrl();
    nameControl(m_live, m_control->isLiveOutputOn() ? tr("直播输出中:%1(点击停止)").arg(url)
                                                    : tr("开始直播输出:%1").arg(url));
}

void CaptureBar::showWebcam() {
    const bool on = m_control->isWebcamOn();
    const bool read = on && m_control->isWebcamRead();
    m_webcam->setIcon(webcamIcon(on, read));
    m_webcam->setText(tr("摄像头"));
    m_webcam->setStyleSheet(on ? kActiveStyle : kButtonStyle);
    const QString words = read ? tr("有程序正在读取摄像头(点击停止)")
                          : on ? tr("作为摄像头提供中,等待其他程序读取(点击停止)")
                               : tr("作为摄像头提供给会议程序、浏览器和 OBS");
    nameControl(m_webcam, withKeys(words, KeyCommand::PcWebcam));
}

bool CaptureBar::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_live && event->type() == QEvent::ToolTip) {
        // The URL may have changed in the settings since the last look.
        updateLiveTip();
    } else if (watched == m_area && event->type() == QEvent::Resize && m_banner->isVisible()) {
        placeBanner();
    }
    return QWidget::eventFilter(watched, event);
}

void CaptureBar::showNotice(int level, const QString& text) {
    m_banner->setMessage(0, level, text);
    m_banner->setToolTip(text);
    placeBanner();
    m_banner->show();
    m_banner->raise();
    m_noticeTimer.start();
}

void CaptureBar::placeBanner() {
    QWidget* area = m_banner->parentWidget();
    if (!area)
        return;
    m_banner->setBannerWidth(std::min(640, std::max(370, area->width() - 40)));
    // Above the overlay's row of camera buttons at the foot of the picture.
    m_banner->move((area->width() - m_banner->width()) / 2,
                   std::max(0, area->height() - m_banner->height() - kBannerLift));
}
