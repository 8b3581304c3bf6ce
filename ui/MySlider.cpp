#include "ui/MySlider.h"

#include "app/ManualControl.h"
#include "ui_MySlider.h"

#include "ui/IconResources.h"
#include "ui/KeyMap.h"

#include "hub/OrunAppFace.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QTimerEvent>

#include <cmath>

namespace {
constexpr int kResumeMs = 2000; // camera pushes ignored after a release
constexpr int kHideMs = 3000;   // hidden this long after the pointer leaves
constexpr int kTrackTop = 40;   // first dash of the track
constexpr int kTrackBottomGap = 30;
constexpr int kKeyRequestGapMs = 150; // between zoom requests of a held key
} // namespace

MySlider* MySlider::instance() {
    static QPointer<MySlider> slider;
    if (slider.isNull())
        slider = new MySlider();
    return slider;
}

MySlider::MySlider(QWidget* parent) : QWidget(parent), ui(new Ui::MySlider) {
    initIconResources();
    ui->setupUi(this);
    setAttribute(Qt::WA_TranslucentBackground);
    m_followCamera = true;
    computeHandle(0.0);
    nameControl(this,
                QStringLiteral("%1 (%2, %3)")
                    .arg(tr("变焦"), keyNames(KeyCommand::ZoomIn), keyNames(KeyCommand::ZoomOut)));
    m_keyThrottle = new QTimer(this);
    m_keyThrottle->setSingleShot(true);
    m_keyThrottle->setInterval(kKeyRequestGapMs);
    connect(m_keyThrottle, &QTimer::timeout, this, [this] {
        if (!m_keyPending)
            return;
        m_keyPending = false;
        requestZoom();
        m_keyThrottle->start();
    });
}

MySlider::~MySlider() {
    delete ui;
}

QString MySlider::factorText(double factor) {
    return tr("%1x").arg(factor, 0, 'f', 1);
}

void MySlider::computeHandle(double r) {
    const int w = width();
    const int h = height();
    m_handleW = w / 2;
    m_handleH = w / 2;
    m_handleX = (w - w / 2) * 0.5;
    m_handleY = (h - 50) * (1.0 - r);
    m_ratio = static_cast<float>(r);
}

void MySlider::publishHandle() {
    emit OrunAppFace::instance()->signal_syncRateBtn(handleRect(),
                                                     factorText(factorForRatio(m_ratio)));
}

void MySlider::slot_showCurrentZoomRate(int iRate) {
    if (m_pressed || !m_followCamera)
        return;
    double r = (iRate - 10) / 25.0;
    // The camera reports 10 .. 35; anything outside keeps the handle on the track.
    if (r < 0.0)
        r = 0.0;
    else if (r > 1.0)
        r = 1.0;
    computeHandle(r);
    publishHandle();
    update();
}

void MySlider::paintEvent(QPaintEvent*) {
    const int w = width();
    const int h = height();
    QPainter painter(this);
    QPen pen(QColor(255, 255, 255, 255));
    pen.setWidth(2);
    pen.setStyle(Qt::SolidLine);
    pen.setCapStyle(Qt::SquareCap);
    pen.setJoinStyle(Qt::BevelJoin);
    painter.setPen(pen);

    const int dash = h / 50;
    const int period = 2 * h / 25;
    const int limit = h - kTrackBottomGap;
    const int x = w / 2;
    if (period > 0) {
        int y0 = kTrackTop;
        int y1 = kTrackTop + dash;
        while (y0 < limit && y1 < limit) {
            if (y0 >= m_handleY && y0 <= m_handleY + m_handleH) {
                y0 += period;
                y1 += period;
                continue;
            }
            painter.drawLine(x, y0, x, y1);
            y0 += period;
            y1 += period;
        }
    }

    ui->lbHandle->move(static_cast<int>(m_handleX), static_cast<int>(m_handleY));
    ui->lbHandle->setText(factorText(factorForRatio(m_ratio)));
    publishHandle();
    ui->lbTop->setText(m_handleY > 25 ? tr("3.5x") : QString());
    ui->lbBottom->setText(m_handleY < h - 75 ? tr("1.0x") : QString());
}

void MySlider::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    m_pressed = true;
    m_lastPos = event->localPos();
}

void MySlider::mouseMoveEvent(QMouseEvent* event) {
    if (!m_pressed)
        return;
    const QPointF pos = event->localPos();
    const double dy = pos.y() - m_lastPos.y();
    if (dy == 0.0)
        return;
    const double h = height();
    const double bottom = h - m_handleH;
    if ((m_handleY >= bottom && dy > 0) || (m_handleY <= 0 && dy < 0)) {
        m_lastPos = pos;
        return;
    }
    m_handleY = qBound(0.0, m_handleY + dy, bottom);
    m_lastPos = pos;
    double r = bottom > 0 ? (h - m_handleY - m_handleH) / bottom : 0.0;
    m_ratio = static_cast<float>(qBound(0.0, r, 1.0));
    update();
}

void MySlider::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    requestZoom();
    m_pressed = false;
}

void MySlider::requestZoom() {
    // The factor goes to the camera with one decimal, as the handle shows it.
    const float factor = QString::number(m_ratio * 2.5 + 1.0, 'f', 1).toFloat();
    manual::zoomTo(factor);
    m_followCamera = false;
    if (m_resumeTimerId != 0)
        killTimer(m_resumeTimerId);
    m_resumeTimerId = startTimer(kResumeMs);
}

void MySlider::stepZoom(int steps) {
    if (m_pressed)
        return; // the pointer holds the handle
    const double shown = std::round(factorForRatio(m_ratio) * 10.0) / 10.0;
    const double factor = qBound(1.0, shown + steps * kKeyStep, 3.5);
    computeHandle((factor - 1.0) / 2.5);
    publishHandle();
    update();
    if (m_keyThrottle->isActive()) {
        m_keyPending = true;
        return;
    }
    requestZoom();
    m_keyThrottle->start();
}

void MySlider::enterEvent(QEvent*) {
    if (m_hideTimerId != 0) {
        killTimer(m_hideTimerId);
        m_hideTimerId = 0;
    }
}

void MySlider::leaveEvent(QEvent*) {
    if (m_hideTimerId == 0)
        m_hideTimerId = startTimer(kHideMs);
}

void MySlider::timerEvent(QTimerEvent* event) {
    if (event->timerId() == m_resumeTimerId) {
        killTimer(m_resumeTimerId);
        m_resumeTimerId = 0;
        m_followCamera = true;
    } else if (event->timerId() == m_hideTimerId) {
        killTimer(m_hideTimerId);
        m_hideTimerId = 0;
        emit OrunAppFace::instance()->signal_showRateBtn(true);
        hide();
    }
}

void MySlider::resizeEvent(QResizeEvent*) {
    // The handle geometry depends on the widget size; keep the same ratio.
    const float r = m_ratio;
    const double y = m_handleY;
    computeHandle(r);
    if (m_pressed)
        m_handleY = y;
}
