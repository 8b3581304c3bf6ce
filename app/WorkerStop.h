#pragma once

#include <QElapsedTimer>

#include <atomic>
#include <memory>
#include <thread>

// The one way worker threads end: clear `running`, poll `stopped` without
// sleeping until it is set or more than `limitMs` have passed, then join (the
// join still waits for a thread that did not report in time). A thread that
// was never started, or was joined already, is left alone; a thread never
// joins itself.
inline void stopWorker(const std::shared_ptr<std::thread>& thread, std::atomic<bool>& running,
                       const std::atomic<bool>& stopped, int limitMs) {
    if (!thread || !thread->joinable())
        return;
    running = false;
    QElapsedTimer timer;
    timer.start();
    while (!stopped.load() && timer.elapsed() <= limitMs)
        std::this_thread::yield();
    if (thread->get_id() != std::this_thread::get_id())
        thread->join();
}
