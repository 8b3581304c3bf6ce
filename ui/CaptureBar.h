#pragma once

#include <QPointer>
#include <QTimer>
#include <QWidget>

class CaptureControl;
class ErrorInfoDlg;
class QToolButton;

// The capture buttons of the title bar: record on the PC (a red dot and the
// time the recording holds, or "waiting for the camera" while no picture is
// being written), snapshot, live output (its URL in the
// tooltip); the tooltips, also their accessible names, name the keys that do
// the same, and the webcam (the pictures offered as a camera to other
// programs). They drive a CaptureControl and follow its state, whoever changed
// it (a key, the command line). Its notices show as a banner of the fault
// banners' look in the lower part of the video area, for a few seconds.
class CaptureBar : public QWidget {
    Q_OBJECT
public:
    // How long a notice stays.
    static constexpr int kNoticeMs = 6000;

    // `bannerArea` holds the banner (the video area).
    CaptureBar(CaptureControl* control, QWidget* bannerArea, QWidget* parent = nullptr);

    QToolButton* recordButton() const { return m_record; }
    QToolButton* snapshotButton() const { return m_snapshot; }
    QToolButton* liveButton() const { return m_live; }
    QToolButton* webcamButton() const { return m_webcam; }
    // The notice banner (hidden when no notice is shown).
    ErrorInfoDlg* banner() const { return m_banner; }

public slots:
    void showNotice(int level, const QString& text);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showRecording(bool on);
    void showLive(bool on);
    void updateLiveTip();
    void showWebcam();
    void updateRunningTime();
    void placeBanner();

    CaptureControl* m_control;
    QPointer<QWidget> m_area;
    QToolButton* m_record = nullptr;
    QToolButton* m_snapshot = nullptr;
    QToolButton* m_live = nullptr;
    QToolButton* m_webcam = nullptr;
    ErrorInfoDlg* m_banner = nullptr;
    QTimer m_clock;
    QTimer m_noticeTimer;
};
