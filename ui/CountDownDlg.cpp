#include "ui/CountDownDlg.h"

#include "app/BurstCountdown.h"
#include "ui_CountDownDlg.h"

#include "ui/IconResources.h"

#include "hub/OrunAppFace.h"

#include <QPointer>
#include <QTimerEvent>

CountDownDlg* CountDownDlg::instance() {
    static QPointer<CountDownDlg> dlg;
    if (dlg.isNull())
        dlg = new CountDownDlg();
    return dlg;
}

CountDownDlg::CountDownDlg(QWidget* parent) : QWidget(parent), ui(new Ui::CountDownDlg) {
    initIconResources();
    ui->setupUi(this);
    setAttribute(Qt::WA_TranslucentBackground);
    // The number is only a display; clicks go through to the video below.
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

CountDownDlg::~CountDownDlg() {
    delete ui;
}

QString CountDownDlg::shownText() const {
    return ui->lbCount->text();
}

void CountDownDlg::showRemaining() {
    ui->lbCount->setText(QString("%1").arg(m_remaining));
}

void CountDownDlg::startCount(int iTimeStart, bool bBegin) {
    m_counting = true;
    m_interval = burstIntervalSeconds(OrunAppFace::instance()->iPhotoParam);
    int start = iTimeStart;
    if (bBegin || iTimeStart == 1)
        start = (bBegin && m_interval != 1) ? 1 : 0;
    m_remaining = start;
    showRemaining();
    if (m_timerId != 0)
        killTimer(m_timerId);
    // A 1 s burst alternates 1 and 0 every half second.
    m_timerId = startTimer(m_interval == 1 ? 500 : 1000);
    --m_remaining;
    show();
}

void CountDownDlg::stopCount() {
    m_counting = false;
    m_interval = 0;
    m_remaining = 0;
    if (m_timerId != 0) {
        killTimer(m_timerId);
        m_timerId = 0;
    }
    hide();
}

void CountDownDlg::tick() {
    if (m_interval == 1) {
        if (m_remaining < 0)
            m_remaining = 1;
    } else if (m_remaining <= 0) {
        m_remaining = m_interval;
    }
    showRemaining();
    --m_remaining;
}

void CountDownDlg::slot_startBurstCount(int iTimeStart, bool bBegin) {
    startCount(iTimeStart, bBegin);
}

void CountDownDlg::slot_startCountDown(int iTimeStart, bool bBegin) {
    startCount(iTimeStart, bBegin);
}

void CountDownDlg::slot_stopCountDown() {
    stopCount();
}

void CountDownDlg::timerEvent(QTimerEvent* event) {
    if (event->timerId() == m_timerId)
        tick();
}
