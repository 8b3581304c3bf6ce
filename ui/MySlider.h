#pragma once

#include <QPointF>
#include <QRectF>
#include <QTimer>
#include <QWidget>

namespace Ui {
class MySlider;
}

// Vertical zoom control: a round handle on a dashed track, 1.0x at the bottom
// to 3.5x at the top. Releasing the handle asks the camera for that zoom; while
// idle the handle follows the zoom the camera reports. It hides itself three
// seconds after the pointer leaves it. One instance per process.
class MySlider : public QWidget {
    Q_OBJECT
public:
    static MySlider* instance();
    ~MySlider() override;

    // Handle rectangle in widget pixels and position ratio (0 bottom, 1 top).
    QRectF handleRect() const { return QRectF(m_handleX, m_handleY, m_handleW, m_handleH); }
    float ratio() const { return m_ratio; }
    bool followsCamera() const { return m_followCamera; }

    // Zoom factor shown for a ratio: 1.0 .. 3.5.
    static double factorForRatio(double r) { return r * 2.5 + 1.0; }
    // Factor text as the handle shows it, e.g. "2.1x".
    static QString factorText(double factor);

    // Step of the zoom keys, in zoom factor.
    static constexpr double kKeyStep = 0.1;
    // The zoom keys (+ and −): the handle moves `steps` steps of 0.1x and the
    // camera is asked for the new zoom as a release of the handle would; a
    // held key asks at most every 150 ms, the last step always.
    void stepZoom(int steps);

public slots:
    void slot_showCurrentZoomRate(int iRate);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void enterEvent(QEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    explicit MySlider(QWidget* parent = nullptr);
    void computeHandle(double r);
    void publishHandle();
    // Asks the camera for the zoom the handle shows.
    void requestZoom();

    Ui::MySlider* ui;
    bool m_pressed = false;
    QPointF m_lastPos;
    double m_handleX = 0;
    double m_handleY = 0;
    double m_handleW = 0;
    double m_handleH = 0;
    float m_ratio = 0.0f;
    bool m_followCamera = true;
    int m_resumeTimerId = 0;
    int m_hideTimerId = 0;
    QTimer* m_keyThrottle = nullptr;
    bool m_keyPending = false;
};
