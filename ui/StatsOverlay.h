#pragma once

#include "app/Statistics.h"

#include <QLabel>
#include <QTimer>

#include <functional>

// The statistics over the video: a small translucent panel in the picture's
// top-left corner that says, once a second while it shows, what arrives, what
// is decoded and shown, what the media link loses and resends, which decoder
// runs, what is dropped and why (also by the recording and the live output
// while they are on), and whether the media link is reconnecting.
// It reads counters the pipeline keeps anyway (on the graphical thread, from
// its timer) and lets the pointer through to the controls beneath.
class StatsOverlay : public QLabel {
    Q_OBJECT
public:
    using Sampler = std::function<StatsSample()>;

    explicit StatsOverlay(QWidget* parent = nullptr, Sampler sampler = sampleStatistics);

    // Reads the counters now and shows what they say (the timer's work).
    void refresh();
    const StatsReport& lastReport() const { return m_report; }

    // The panel's text for a report; `ratesKnown` false while only one
    // reading exists (rates are shown as "–").
    static QString describe(const StatsReport& report, bool ratesKnown);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    Sampler m_sampler;
    QTimer m_timer;
    StatsSample m_previous;
    bool m_hasPrevious = false;
    StatsReport m_report;
};
