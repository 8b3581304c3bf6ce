#pragma once

#include "hub/CameraStatus.h"

#include <QList>
#include <QPoint>
#include <QPointF>
#include <QRect>
#include <QRectF>
#include <QSize>
#include <QString>
#include <QTimer>
#include <QWidget>

class QAbstractButton;
class QLabel;
class QToolButton;

// The transparent control layer over the video: gimbal joystick, shutter,
// photo/video switch, photo-mode buttons, gimbal lock, full screen and zoom
// rate; a click into the picture focuses there, a double click selects a
// tracking target. Gestures become operations of the runtime through the
// hub's request slot; the camera's state arrives through the hub's signals.
//
// One subclass per picture layout supplies the form; all behaviour is here
// and works on the form's widgets, found by their object names.
class VideoControlOverlay : public QWidget {
    Q_OBJECT
public:
    ~VideoControlOverlay() override;

    // Picture layout (hub iScreenLayout) this variant serves.
    int layoutIndex() const { return m_layout; }

    bool isRunning() const { return m_running; }
    bool isBusy() const { return m_busy; }
    bool isSyncPending() const { return m_syncPending; }
    bool isGimbalLocked() const { return m_gimbalLocked; }
    bool isFullScreen() const { return m_fullScreen; }
    bool isDragging() const { return m_dragging; }
    QPoint knobRest() const { return m_knobRest; }

    // Resource path of the icon last given to a button by the overlay.
    static QString iconPathOf(const QAbstractButton* button);

    // The joystick's gimbal motion, which the arrow keys drive too: the speed
    // record of a sector (−1 neutral), sent as a gimbal motion unless an
    // operation is pending.
    void steerGimbal(int sector);
    // The end of a motion: the knob goes back, and after a pause (the event
    // loop runs meanwhile) subject tracking resumes.
    void endGimbalMove();
    // The arrow keys: the knob leans in the direction (dx, dy: −1, 0 or 1,
    // y down) and the gimbal is steered as if it had been dragged there.
    // Ignored while the pointer holds the knob.
    void steerGimbalTowards(int dx, int dy);

signals:
    void signal_drawFocusCircle(QPointF ptCenter, bool bDraw);

public slots:
    void slot_singleClick();
    void slot_showPhotoModeSettingBtnStyle();
    void slot_showVideoCtrlBtnStyle(bool bRun);
    void slot_doOperationFinished(int iWho, int ec);
    void slot_setVideoBtnDlgVisable(bool bShow);
    void slot_syncRateBtn(QRectF rt, QString sText);
    void slot_showRateBtn(bool bShow);
    void slot_syncCameraStatusToUI(Orun_Camera_CurrStatus status, bool bConstrainted = false);
    void slot_syncGimbalLockButton();
    void slot_videoBtnCtrlVisable();
    void slot_showErrInfo();

    // The window entered or left full screen (whoever asked): the full-screen
    // button follows.
    void slot_showFullScreen(bool bFullScreen);

    void on_tbFullBtn_clicked();
    void on_tbVideo_clicked();
    void on_tbPhotoMode1_clicked();
    void on_tbPhotoMode2_clicked();
    void on_tbChangeMode_clicked();
    void on_tbRate_clicked();
    void on_tbGimbalLock_clicked();

protected:
    explicit VideoControlOverlay(int layout, QWidget* parent = nullptr);
    // Called by the subclass once its form is set up.
    void attachForm();

    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    // Widgets of the form.
    struct Parts {
        QWidget* wgGimbalCrl = nullptr;
        QLabel* lbGimbalLeft = nullptr;
        QLabel* lbGimbalUp = nullptr;
        QLabel* lbGimbalRight = nullptr;
        QLabel* lbGimbalDown = nullptr;
        QLabel* lbGimbalFree = nullptr;
        QToolButton* tbGimbalLock = nullptr;
        QWidget* wgVideo = nullptr;
        QToolButton* tbVideo = nullptr;
        QToolButton* tbChangeMode = nullptr;
        QWidget* wgPhoto = nullptr;
        QToolButton* tbPhotoMode1 = nullptr;
        QToolButton* tbPhotoMode2 = nullptr;
        QWidget* wgFullBtn = nullptr;
        QToolButton* tbFullBtn = nullptr;
        QWidget* wgRate = nullptr;
        QToolButton* tbRate = nullptr;
    };

    static void setButtonIcon(QAbstractButton* button, const QString& path);
    QRect knobRectInOverlay() const;
    // Brings the shared recording-time display and countdown under this overlay.
    void placeSharedChildren();
    void placePhotoSelector();
    void togglePhotoSelector();
    // Posts `code` as requester 0 and waits up to `limitMs` for its result
    // (optionally under the loading mask); −1 on time-out or when closing.
    int runOperation(int code, int limitMs, bool withMask);
    // Marks this overlay's shutter or mode change as running. Every layout's
    // overlay takes the camera's status reports, so all of them hold off while
    // any one of them waits: a report from before the request would undo it.
    void setBusy(bool busy);
    void applyCameraStatus(const Orun_Camera_CurrStatus& status);
    // Keeps the form's groups at their edges when the overlay is not at its
    // design size: the control bar along the bottom, the full-screen button
    // in the top-right corner, the zoom cell at the right, a free-standing
    // joystick above the bar.
    void followSize();
    void setModeIcons(int workMode, bool running);

    int m_layout;
    Parts m_ui;
    struct Placed {
        QWidget* widget;
        QRect design;
    };
    QSize m_designSize;
    QList<Placed> m_edgeGroups; // direct children of the overlay
    QList<Placed> m_barCells;   // children of the control bar

    bool m_dragging = false;
    QPoint m_lastDragPos;
    QPoint m_knobRest;
    QTimer m_clickTimer;
    // Starts the burst countdown on a whole second of the camera's burst
    // clock, without holding up the event loop.
    QTimer m_burstAlignTimer;
    int m_alignedBurstStart = 0;
    QPointF m_pressPos;
    QPointF m_focusPoint;
    int m_autoHideTimerId = 0;
    bool m_fullScreen = false;
    bool m_photoSelectorShown = false;
    bool m_running = false;
    bool m_busy = false; // set through setBusy only
    // Overlays of all layouts whose shutter or mode change is running.
    static int s_busyOverlays;
    bool m_gimbalLocked = false;
    bool m_syncPending = false;
    bool m_opFinished = false;
    int m_opResult = 0;
};
