#include "ui/VideoStatisticalTimeDlg.h"
#include "ui_VideoStatisticalTimeDlg.h"

#include "ui/IconResources.h"

#include <QPointer>
#include <QTimerEvent>

VideoStatisticalTimeDlg* VideoStatisticalTimeDlg::instance() {
    static QPointer<VideoStatisticalTimeDlg> dlg;
    if (dlg.isNull())
        dlg = new VideoStatisticalTimeDlg();
    return dlg;
}

VideoStatisticalTimeDlg::VideoStatisticalTimeDlg(QWidget* parent)
    : QWidget(parent), ui(new Ui::VideoStatisticalTimeDlg) {
    initIconResources();
    ui->setupUi(this);
    // A styled (rounded, translucent) background of its own; a translucent
    // widget attribute would suppress it.
    setAttribute(Qt::WA_StyledBackground);
    setStyleSheet("#VideoStatisticalTimeDlg{background-color: rgba(0, 0, 0, 90);"
                  "border-radius: 20px;}");
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

VideoStatisticalTimeDlg::~VideoStatisticalTimeDlg() {
    delete ui;
}

QString VideoStatisticalTimeDlg::formatTime(int64_t seconds) {
    if (seconds < 0)
        seconds = 0;
    const int64_t hours = seconds / 3600;
    const int64_t minutes = (seconds - hours * 3600) / 60;
    const int64_t rest = seconds - hours * 3600 - minutes * 60;
    return QString("%1:%2:%3")
        .arg(hours, 2, 10, QChar('0'))
        .arg(minutes, 2, 10, QChar('0'))
        .arg(rest, 2, 10, QChar('0'));
}

QString VideoStatisticalTimeDlg::shownText() const {
    return ui->lbTime->text();
}

void VideoStatisticalTimeDlg::startTime(int iTimeStart) {
    m_seconds = iTimeStart;
    ui->lbTime->setText(formatTime(m_seconds));
    if (m_countTimerId != 0)
        killTimer(m_countTimerId);
    m_countTimerId = startTimer(1000);
    // The dot blinks while the time counts, and only then.
    if (m_blinkTimerId == 0)
        m_blinkTimerId = startTimer(500);
    m_iconShown = true;
    ui->lbIcon->setVisible(true);
    show();
}

void VideoStatisticalTimeDlg::stopTime() {
    m_seconds = 0;
    if (m_countTimerId != 0) {
        killTimer(m_countTimerId);
        m_countTimerId = 0;
    }
    if (m_blinkTimerId != 0) {
        killTimer(m_blinkTimerId);
        m_blinkTimerId = 0;
    }
    ui->lbTime->setText(formatTime(0));
    hide();
}

void VideoStatisticalTimeDlg::slot_startCountVideoTime(int iTimeStart) {
    startTime(iTimeStart);
}

void VideoStatisticalTimeDlg::slot_startVideoStatisticalTime(int iTimeStart) {
    startTime(iTimeStart);
}

void VideoStatisticalTimeDlg::slot_stopVideoStatisticalTime() {
    stopTime();
}

void VideoStatisticalTimeDlg::timerEvent(QTimerEvent* event) {
    if (event->timerId() == m_countTimerId) {
        ++m_seconds;
        ui->lbTime->setText(formatTime(m_seconds));
    } else if (event->timerId() == m_blinkTimerId) {
        m_iconShown = !m_iconShown;
        ui->lbIcon->setVisible(m_iconShown);
    }
}
