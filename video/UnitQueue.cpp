#include "video/UnitQueue.h"

#include <algorithm>

UnitQueue::UnitQueue(size_t capacity) : m_capacity(std::max<size_t>(capacity, 1)) {}

bool UnitQueue::push(const VideoUnit& unit) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_awaitKeyFrame && !unit.keyFrame) {
            ++m_dropped;
            return false;
        }
        m_awaitKeyFrame = false;
        if (m_units.size() >= m_capacity) {
            // Everything waiting belongs to groups the consumer can no longer
            // finish in time; a key frame starts the next group at once.
            ++m_overflows;
            m_dropped += m_units.size();
            m_units.clear();
            if (!unit.keyFrame) {
                m_awaitKeyFrame = true;
                ++m_dropped;
                return false;
            }
        }
        m_units.push_back(unit);
        m_maxDepth = std::max(m_maxDepth, m_units.size());
    }
    m_ready.notify_one();
    return true;
}

bool UnitQueue::pop(VideoUnit& out, std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(m_mutex);
    auto ready = [&] { return !m_units.empty() || m_interrupted; };
    if (timeout == std::chrono::milliseconds::max())
        m_ready.wait(lock, ready);
    else
        m_ready.wait_for(lock, timeout, ready);
    if (m_interrupted || m_units.empty())
        return false;
    out = std::move(m_units.front());
    m_units.pop_front();
    return true;
}

void UnitQueue::interrupt(bool on) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_interrupted = on;
    }
    m_ready.notify_all();
}

void UnitQueue::resync() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_dropped += m_units.size();
    m_units.clear();
    m_awaitKeyFrame = true;
}

void UnitQueue::clear() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_units.clear();
    m_awaitKeyFrame = false;
}

size_t UnitQueue::size() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_units.size();
}

size_t UnitQueue::maxDepth() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_maxDepth;
}

void UnitQueue::resetDepth() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_maxDepth = m_units.size();
}

uint64_t UnitQueue::dropped() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_dropped;
}

uint64_t UnitQueue::overflows() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_overflows;
}
