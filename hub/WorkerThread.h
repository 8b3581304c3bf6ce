#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

// One named worker thread and the one way it ends.
//
// start() runs the body on a new thread that carries `name`. The body loops
// while running() and does its idle waits through waitFor() (or on waits of
// its own that the `wake` function of stop() interrupts), so that stop() is
// noticed at once instead of after a sleep.
//
// stop() asks the body to end, wakes it, waits up to a limit for it to
// return (a late worker is logged), then joins it: a worker is always joined,
// never detached. A worker never joins itself; stop() from the worker's own
// thread only asks it to end.
class WorkerThread {
public:
    WorkerThread() = default;
    // Stops the worker (without a limit) if it still runs.
    ~WorkerThread();
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    // Starts the body; false when a thread of this object was started and not
    // yet joined.
    bool start(std::string name, std::function<void()> body);

    // True from start() until stop() is asked.
    bool running() const;
    // True while a started thread has not been joined.
    bool active() const;
    const std::string& name() const { return m_name; }

    // The body's idle wait: returns after `timeout`, or at once when stop()
    // is asked. True while the worker should go on.
    bool waitFor(std::chrono::milliseconds timeout);
    // Waits until `ready()` holds (checked under the worker's own lock when
    // notify() is called) or stop is asked; true when ready.
    bool waitUntil(const std::function<bool()>& ready);
    // Wakes a waitUntil() to check its condition again.
    void notify();

    // Asks the worker to end, calls `wake` (for waits the body does on other
    // objects), waits up to `limitMs` for the body to return, then joins.
    // True when the body returned within the limit (or nothing ran).
    bool stop(int limitMs, const std::function<void()>& wake = {});

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_stopAsked = false;
    bool m_finished = true;
    std::string m_name;
    std::thread m_thread;
};
