#include "video/PauseGate.h"

void PauseGate::checkpoint(const std::function<bool()>& stopping) {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_asked)
        return;
    ++m_parked;
    m_changed.notify_all();
    m_changed.wait(lock, [&] { return !m_asked || stopping(); });
    --m_parked;
}

bool PauseGate::pauseAsked() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_asked;
}

bool PauseGate::pause(int workers, const std::function<void()>& wake,
                      std::chrono::milliseconds limit) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_asked = true;
    }
    if (wake)
        wake();
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, limit, [&] { return m_parked >= workers; });
}

void PauseGate::resume() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_asked = false;
    }
    m_changed.notify_all();
}

void PauseGate::wakeAll() {
    { std::lock_guard<std::mutex> lock(m_mutex); }
    m_changed.notify_all();
}
