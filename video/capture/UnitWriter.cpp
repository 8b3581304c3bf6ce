#include "video/capture/UnitWriter.h"

#include <chrono>

UnitWriter::UnitWriter(std::string threadName, size_t queueCapacity, CaptureReport report)
    : m_queue(queueCapacity), m_threadName(std::move(threadName)), m_report(std::move(report)) {}

UnitWriter::~UnitWriter() {
    // A subclass stops its writer in its own destructor (run() is its own);
    // this only makes sure no thread outlives the object.
    m_abort = true;
    m_queue.interrupt(true);
    m_worker.stop(-1);
}

void UnitWriter::onUnit(const VideoUnit& unit) {
    if (m_accepting.load())
        m_queue.push(unit);
}

void UnitWriter::onStreamBreak(StreamBreak reason) {
    m_queue.pushBreak(reason);
}

bool UnitWriter::start() {
    {
        std::lock_guard<std::mutex> lock(m_doneMutex);
        if (m_started)
            return false;
        m_started = true;
        m_done = false;
    }
    return m_worker.start(m_threadName, [this] {
        run();
        {
            std::lock_guard<std::mutex> lock(m_doneMutex);
            m_done = true;
        }
        m_doneChanged.notify_all();
        CaptureEvent finished;
        finished.kind = CaptureEvent::Kind::Finished;
        report(finished);
    });
}

void UnitWriter::requestStop() {
    {
        std::lock_guard<std::mutex> lock(m_doneMutex);
        m_stopAsked = true;
    }
    m_doneChanged.notify_all();
    onStopRequested();
    // Wakes the writer; it finishes what came before.
    m_queue.pushBreak(StreamBreak::Stopped);
}

bool UnitWriter::stop(int graceMs) {
    requestStop();
    bool inTime = true;
    {
        std::unique_lock<std::mutex> lock(m_doneMutex);
        if (m_started)
            inTime = m_doneChanged.wait_for(lock, std::chrono::milliseconds(graceMs),
                                            [this] { return m_done; });
    }
    if (!inTime) {
        m_abort = true;
        m_queue.interrupt(true);
    }
    m_worker.stop(-1);
    return inTime;
}

bool UnitWriter::idle(int ms) {
    std::unique_lock<std::mutex> lock(m_doneMutex);
    m_doneChanged.wait_for(lock, std::chrono::milliseconds(ms),
                           [this] { return m_stopAsked.load(); });
    return !m_stopAsked.load();
}

bool UnitWriter::finished() const {
    std::lock_guard<std::mutex> lock(m_doneMutex);
    return m_started && m_done;
}

WriterStats UnitWriter::stats() const {
    WriterStats s;
    s.unitsWritten = m_written.load();
    s.unitsDropped = m_queue.dropped();
    s.overflows = m_queue.overflows();
    s.bytesWritten = m_bytes.load();
    s.outputs = m_outputs.load();
    s.gaps = m_gaps.load();
    s.missingUs = m_missingUs.load();
    return s;
}

void UnitWriter::report(const CaptureEvent& event) const {
    if (m_report)
        m_report(event);
}

void UnitWriter::countWritten(size_t bytes) {
    m_written.fetch_add(1, std::memory_order_relaxed);
    m_bytes.fetch_add(bytes, std::memory_order_relaxed);
}

void UnitWriter::countOutput() {
    m_outputs.fetch_add(1, std::memory_order_relaxed);
}

void UnitWriter::countGap(int64_t durationUs) {
    m_gaps.fetch_add(1, std::memory_order_relaxed);
    m_missingUs.fetch_add(durationUs, std::memory_order_relaxed);
}
