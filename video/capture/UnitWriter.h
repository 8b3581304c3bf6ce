#pragma once

#include "hub/WorkerThread.h"
#include "video/UnitQueue.h"
#include "video/VideoUnit.h"
#include "video/capture/CaptureEvent.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

// Counters of one capture writer.
struct WriterStats {
    uint64_t unitsWritten = 0;
    uint64_t unitsDropped = 0; // let go by the full queue (whole groups of pictures)
    uint64_t overflows = 0;
    uint64_t bytesWritten = 0;
    uint64_t outputs = 0; // files or connections begun
    // The holes the drops left in what was written (a recorder's files).
    uint64_t gaps = 0;
    int64_t missingUs = 0;
};

// A unit sink that writes on a thread of its own: onUnit() and
// onStreamBreak() only queue (a UnitQueue that skips whole groups of pictures
// when the writer falls behind), the subclass's run() takes the units and
// breaks in order on the writer thread.
//
// Stopping never blocks the caller: requestStop() asks the writer to finish
// (a recorder writes what is queued and closes its file) and the writer
// reports Finished when it has; stop() afterwards joins at once. stop() with
// a grace period is the blocking form for the end of the program: once the
// grace period is over, every wait inside FFmpeg is cut short.
class UnitWriter : public UnitSink {
public:
    UnitWriter(std::string threadName, size_t queueCapacity, CaptureReport report);
    ~UnitWriter() override;
    UnitWriter(const UnitWriter&) = delete;
    UnitWriter& operator=(const UnitWriter&) = delete;

    void onUnit(const VideoUnit& unit) override;
    void onStreamBreak(StreamBreak reason) override;

    // Starts the writer thread; false when it already ran.
    bool start();
    // Asks the writer to finish; returns at once.
    void requestStop();
    // Asks the writer to finish, waits up to `graceMs` for it, then cuts its
    // waits short and joins it. True when it finished within the grace period.
    bool stop(int graceMs);
    // True once run() has returned.
    bool finished() const;

    WriterStats stats() const;

protected:
    // The writer's body; returns when it is done (stop asked, or a failure).
    virtual void run() = 0;
    // Subclasses: called by requestStop() (any thread) before the writer is woken.
    virtual void onStopRequested() {}

    bool stopAsked() const { return m_stopAsked.load(); }
    // Waits `ms` or until stop is asked; true while the writer should go on.
    bool idle(int ms);
    void report(const CaptureEvent& event) const;
    void countWritten(size_t bytes);
    void countOutput();
    void countGap(int64_t durationUs);
    // Units handed to onUnit() reach the queue only while accepting (a live
    // output that has no consumer does not queue).
    void setAccepting(bool on) { m_accepting = on; }

    UnitQueue m_queue;
    // Cuts FFmpeg's waits short (the muxers' interrupt callback).
    std::atomic<bool> m_abort{false};

private:
    const std::string m_threadName;
    const CaptureReport m_report;
    WorkerThread m_worker;
    std::atomic<bool> m_stopAsked{false};
    std::atomic<bool> m_accepting{true};
    mutable std::mutex m_doneMutex;
    std::condition_variable m_doneChanged;
    bool m_done = false;
    bool m_started = false;
    std::atomic<uint64_t> m_written{0};
    std::atomic<uint64_t> m_bytes{0};
    std::atomic<uint64_t> m_outputs{0};
    std::atomic<uint64_t> m_gaps{0};
    std::atomic<int64_t> m_missingUs{0};
};
