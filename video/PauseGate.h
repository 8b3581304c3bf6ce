#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

// The acknowledged pause of a group of worker threads. The controller asks
// for a pause and gets an answer only once every worker has reached a safe
// point and parked there; then it may rebuild what the workers use. resume()
// lets them go on.
class PauseGate {
public:
    // Worker: at its safe point, parks while a pause is asked, until resume()
    // or `stopping()` becomes true (wakeAll() makes it look again).
    void checkpoint(const std::function<bool()>& stopping);
    bool pauseAsked() const;

    // Controller: asks for a pause, calls `wake` to end the workers' other
    // waits, and waits up to `limit` until `workers` have parked. True when
    // they all did.
    bool pause(int workers, const std::function<void()>& wake, std::chrono::milliseconds limit);
    void resume();
    // Makes parked workers look at their stop condition again.
    void wakeAll();

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_asked = false;
    int m_parked = 0;
};
