#include "hub/WorkerThread.h"

#include "kcpclient/ThreadName.h"

#include <QDebug>

WorkerThread::~WorkerThread() {
    stop(-1);
}

bool WorkerThread::start(std::string name, std::function<void()> body) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_thread.joinable())
        return false;
    m_name = std::move(name);
    m_stopAsked = false;
    m_finished = false;
    m_thread = std::thread([this, body = std::move(body)] {
        setCurrentThreadName(m_name.c_str());
        body();
        {
            std::lock_guard<std::mutex> done(m_mutex);
            m_finished = true;
        }
        m_changed.notify_all();
    });
    return true;
}

bool WorkerThread::running() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return !m_stopAsked && !m_finished;
}

bool WorkerThread::active() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_thread.joinable();
}

bool WorkerThread::waitFor(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait_for(lock, timeout, [this] { return m_stopAsked; });
    return !m_stopAsked;
}

bool WorkerThread::waitUntil(const std::function<bool()>& ready) {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [&] { return m_stopAsked || ready(); });
    return !m_stopAsked;
}

void WorkerThread::notify() {
    { std::lock_guard<std::mutex> lock(m_mutex); }
    m_changed.notify_all();
}

bool WorkerThread::stop(int limitMs, const std::function<void()>& wake) {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_thread.joinable())
        return true;
    m_stopAsked = true;
    const bool self = m_thread.get_id() == std::this_thread::get_id();
    lock.unlock();
    m_changed.notify_all();
    if (wake)
        wake();
    if (self)
        return false;
    lock.lock();
    bool inTime = true;
    if (limitMs >= 0) {
        inTime = m_changed.wait_for(lock, std::chrono::milliseconds(limitMs),
                                    [this] { return m_finished; });
        if (!inTime)
            qDebug() << "worker" << m_name.c_str() << "did not end within" << limitMs
                     << "ms; waiting for it";
    }
    // Another stop() may have joined it meanwhile.
    std::thread thread = std::move(m_thread);
    lock.unlock();
    if (thread.joinable())
        thread.join();
    return inTime;
}
