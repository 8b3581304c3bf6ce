#pragma once

#include <QWidget>

namespace Ui {
class CountDownDlg;
}

// Burst countdown: a large number counting down the seconds to the next burst
// shot, restarting at the interval after each shot. One instance per process.
class CountDownDlg : public QWidget {
    Q_OBJECT
public:
    static CountDownDlg* instance();
    ~CountDownDlg() override;

    void startCount(int iTimeStart, bool bBegin);
    void stopCount();

    bool isCounting() const { return m_counting; }
    int remaining() const { return m_remaining; }
    int interval() const { return m_interval; }
    // Number currently shown.
    QString shownText() const;
    // One step of the count (the widget's timer calls it on every tick).
    void tick();

public slots:
    void slot_startBurstCount(int iTimeStart, bool bBegin);
    void slot_startCountDown(int iTimeStart = 0, bool bBegin = true);
    void slot_stopCountDown();

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    explicit CountDownDlg(QWidget* parent = nullptr);
    void showRemaining();

    Ui::CountDownDlg* ui;
    bool m_counting = false;
    int m_timerId = 0;
    int m_remaining = 0;
    int m_interval = 0;
};
