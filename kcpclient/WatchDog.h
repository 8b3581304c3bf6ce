#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A timer that runs its callback on a bark thread when it has not been fed
// for longer than its time-out while armed. Expiry is noticed between one and
// two time-outs after the last feed. At most one bark runs at a time.
class WatchDog {
public:
    WatchDog(int64_t timeoutMs, std::function<void()> callback, bool armed, std::string name);
    virtual ~WatchDog();

    WatchDog(const WatchDog&) = delete;
    WatchDog& operator=(const WatchDog&) = delete;

    virtual void feed();
    // Runs the callback now, unless a bark is running or the last one ended
    // less than quietMs ago.
    virtual void bark(uint32_t quietMs);
    // Arming wakes the watch thread, which sleeps without limit while disarmed.
    void set_armed(bool armed);
    bool is_armed() const { return armed_; }
    // Disarms and ends the watch thread; barks are refused afterwards.
    void stop();
    // Waits for a running bark to finish.
    void join_bark();
    const std::string& name() const { return name_; }
    int64_t timeout() const { return timeoutMs_; }

private:
    int64_t now_ms() const;
    void bark_thread_restart();
    // Joins a bark thread whose callback has returned, so that no finished
    // thread stays unjoined while the watchdog lives on.
    void reap_finished_bark();
    void watch();

    std::string name_;
    int64_t timeoutMs_;
    std::chrono::steady_clock::time_point origin_;
    std::atomic<int64_t> lastFeed_{0};
    std::atomic<bool> armed_{false};
    std::shared_ptr<std::thread> barkThread_;
    // Bark threads that started the bark after their own: each is joined by
    // the watch thread or the destructor, never by itself.
    std::vector<std::shared_ptr<std::thread>> finishedBarks_; // guarded by barkMutex_
    std::mutex barkMutex_;
    bool barking_ = false;
    int64_t lastBarkEnd_;
    std::mutex stateMutex_;
    std::function<void()> callback_;
    std::shared_ptr<std::thread> watchThread_;
    std::mutex watchMutex_;
    std::atomic<bool> running_{false};
    // Lets stop() and arming end the watch thread's sleep at once, and a
    // finished bark have its thread joined at once.
    std::mutex sleepMutex_;
    std::condition_variable sleepWake_;
    bool barkEnded_ = false; // guarded by sleepMutex_
    // Bark threads that have returned from their body, until reaped.
    std::vector<std::thread::id> endedBarks_; // guarded by sleepMutex_
};
