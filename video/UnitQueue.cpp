#include "video/UnitQueue.h"

#include <algorithm>

void UnitGap::add(const VideoUnit& unit) {
    if (units == 0) {
        firstCameraTime = unit.cameraTime;
        firstArrivalUs = unit.arrivalUs;
    }
    lastCameraTime = unit.cameraTime;
    lastArrivalUs = unit.arrivalUs;
    ++units;
}

void UnitGap::add(const UnitGap& later) {
    if (later.empty())
        return;
    if (units == 0) {
        firstCameraTime = later.firstCameraTime;
        firstArrivalUs = later.firstArrivalUs;
    }
    lastCameraTime = later.lastCameraTime;
    lastArrivalUs = later.lastArrivalUs;
    units += later.units;
}

UnitQueue::UnitQueue(size_t capacity) : m_capacity(std::max<size_t>(capacity, 1)) {}

void UnitQueue::dropUnitsLocked() {
    m_dropped += m_unitCount;
    // The units let go before a break kept are lost before it; those after
    // the last break, before whatever is queued next.
    std::deque<Entry> kept;
    UnitGap lost;
    for (Entry& e : m_entries) {
        lost.add(e.lostBefore);
        if (e.isBreak) {
            e.lostBefore = lost;
            lost = UnitGap{};
            kept.push_back(std::move(e));
        } else {
            lost.add(e.unit);
        }
    }
    lost.add(m_lostAfterLast);
    m_lostAfterLast = lost;
    m_entries.swap(kept);
    m_unitCount = 0;
}

bool UnitQueue::push(const VideoUnit& unit) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_awaitKeyFrame && !unit.keyFrame) {
            ++m_dropped;
            m_lostAfterLast.add(unit);
            return false;
        }
        m_awaitKeyFrame = false;
        if (m_unitCount >= m_capacity) {
            // Everything waiting belongs to groups the consumer can no longer
            // finish in time; a key frame starts the next group at once.
            ++m_overflows;
            dropUnitsLocked();
            if (!unit.keyFrame) {
                m_awaitKeyFrame = true;
                ++m_dropped;
                m_lostAfterLast.add(unit);
                return false;
            }
        }
        Entry entry;
        entry.unit = unit;
        entry.lostBefore = m_lostAfterLast;
        m_lostAfterLast = UnitGap{};
        m_entries.push_back(std::move(entry));
        ++m_unitCount;
        m_maxDepth = std::max(m_maxDepth, m_unitCount);
    }
    m_ready.notify_one();
    return true;
}

void UnitQueue::pushBreak(StreamBreak reason) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        // (Units let go after the break it joins stay lost after it.)
        if (!m_entries.empty() && m_entries.back().isBreak && m_entries.back().reason == reason)
            return;
        Entry entry;
        entry.isBreak = true;
        entry.reason = reason;
        entry.lostBefore = m_lostAfterLast;
        m_lostAfterLast = UnitGap{};
        m_entries.push_back(std::move(entry));
    }
    m_ready.notify_one();
}

UnitQueue::Taken UnitQueue::take(VideoUnit& unit, StreamBreak& reason,
                                 std::chrono::milliseconds timeout, UnitGap* lostBefore) {
    std::unique_lock<std::mutex> lock(m_mutex);
    auto ready = [&] { return !m_entries.empty() || m_interrupted; };
    if (timeout == std::chrono::milliseconds::max())
        m_ready.wait(lock, ready);
    else
        m_ready.wait_for(lock, timeout, ready);
    if (m_interrupted || m_entries.empty())
        return Taken::Nothing;
    Entry& front = m_entries.front();
    if (lostBefore)
        *lostBefore = front.lostBefore;
    Taken taken = Taken::Break;
    if (front.isBreak) {
        reason = front.reason;
    } else {
        unit = std::move(front.unit);
        --m_unitCount;
        taken = Taken::Unit;
    }
    m_entries.pop_front();
    return taken;
}

bool UnitQueue::pop(VideoUnit& out, std::chrono::milliseconds timeout) {
    const bool forever = timeout == std::chrono::milliseconds::max();
    const auto deadline = forever ? std::chrono::steady_clock::time_point::max()
                                  : std::chrono::steady_clock::now() + timeout;
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        // Breaks are of no interest here.
        while (!m_entries.empty() && m_entries.front().isBreak)
            m_entries.pop_front();
        if (m_interrupted)
            return false;
        if (m_woken) {
            m_woken = false;
            return false;
        }
        if (!m_entries.empty())
            break;
        if (forever)
            m_ready.wait(lock);
        else if (m_ready.wait_until(lock, deadline) == std::cv_status::timeout &&
                 (m_entries.empty() || m_entries.front().isBreak))
            return false;
    }
    out = std::move(m_entries.front().unit);
    m_entries.pop_front();
    --m_unitCount;
    return true;
}

void UnitQueue::interrupt(bool on) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_interrupted = on;
    }
    m_ready.notify_all();
}

void UnitQueue::wake() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_woken = true;
    }
    m_ready.notify_all();
}

void UnitQueue::resync() {
    std::lock_guard<std::mutex> lock(m_mutex);
    dropUnitsLocked();
    m_awaitKeyFrame = true;
}

void UnitQueue::clear() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_entries.clear();
    m_lostAfterLast = UnitGap{};
    m_unitCount = 0;
    m_awaitKeyFrame = false;
}

size_t UnitQueue::size() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_unitCount;
}

size_t UnitQueue::maxDepth() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_maxDepth;
}

uint64_t UnitQueue::dropped() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_dropped;
}

uint64_t UnitQueue::overflows() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_overflows;
}
