#pragma once

#include <QWidget>

#include <cstdint>

namespace Ui {
class VideoStatisticalTimeDlg;
}

// Recording time: a blinking dot and the elapsed time as hh:mm:ss (hours may
// grow past two digits). One instance per process.
class VideoStatisticalTimeDlg : public QWidget {
    Q_OBJECT
public:
    static VideoStatisticalTimeDlg* instance();
    ~VideoStatisticalTimeDlg() override;

    // "hh:mm:ss" for a number of seconds, each field at least two digits.
    static QString formatTime(int64_t seconds);

    void startTime(int iTimeStart);
    void stopTime();

    int64_t seconds() const { return m_seconds; }
    QString shownText() const;
    bool isCounting() const { return m_countTimerId != 0; }

public slots:
    void slot_startCountVideoTime(int iTimeStart);
    void slot_startVideoStatisticalTime(int iTimeStart = 0);
    void slot_stopVideoStatisticalTime();

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    explicit VideoStatisticalTimeDlg(QWidget* parent = nullptr);

    Ui::VideoStatisticalTimeDlg* ui;
    int m_countTimerId = 0;
    int m_blinkTimerId = 0;
    int64_t m_seconds = 0;
    bool m_iconShown = true;
};
