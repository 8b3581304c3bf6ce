#include "kcpclient/WatchDog.h"

#include "kcpclient/LogLine.h"
#include "kcpclient/ThreadName.h"

#include <limits>

#define LOG_SOURCE "kcpclient/WatchDog"

WatchDog::WatchDog(int64_t timeoutMs, std::function<void()> callback, bool armed, std::string name)
    : name_(std::move(name)), timeoutMs_(timeoutMs), origin_(std::chrono::steady_clock::now()),
      lastBarkEnd_(std::numeric_limits<int64_t>::min()), callback_(std::move(callback)) {
    if (timeoutMs_ <= 0)
        LOG_FATAL << timeoutMs_;
    feed();
    armed_ = armed;
    running_ = true;
    watchThread_ = std::make_shared<std::thread>([this] {
        setCurrentThreadName("orun-watchdog");
        watch();
    });
}

WatchDog::~WatchDog() {
    stop();
    join_bark();
}

void WatchDog::join_bark() {
    std::lock_guard<std::mutex> lock(barkMutex_);
    if (barkThread_ && barkThread_->joinable() &&
        barkThread_->get_id() != std::this_thread::get_id())
        barkThread_->join();
}

int64_t WatchDog::now_ms() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 origin_)
        .count();
}

void WatchDog::feed() {
    lastFeed_ = now_ms();
}

void WatchDog::bark(uint32_t quietMs) {
    std::lock_guard<std::mutex> barkLock(barkMutex_);
    if (!running_)
        return;
    {
        std::lock_guard<std::mutex> stateLock(stateMutex_);
        if (barking_)
            return;
        if (lastBarkEnd_ != std::numeric_limits<int64_t>::min() &&
            now_ms() < lastBarkEnd_ + static_cast<int64_t>(quietMs))
            return;
    }
    bark_thread_restart();
}

// Called with the bark mutex held.
void WatchDog::bark_thread_restart() {
    if (barkThread_ && barkThread_->joinable()) {
        if (barkThread_->get_id() == std::this_thread::get_id())
            barkThread_->detach(); // a callback that barks again ends its own thread
        else
            barkThread_->join();
    }
    {
        std::lock_guard<std::mutex> stateLock(stateMutex_);
        barking_ = true;
    }
    barkThread_ = std::make_shared<std::thread>([this] {
        setCurrentThreadName("orun-wd-bark");
        if (callback_)
            callback_();
        {
            std::lock_guard<std::mutex> stateLock(stateMutex_);
            barking_ = false;
            lastBarkEnd_ = now_ms();
        }
        // Wakes the watch thread so that it joins this thread at once.
        {
            std::lock_guard<std::mutex> sleepLock(sleepMutex_);
            barkEnded_ = true;
        }
        sleepWake_.notify_all();
    });
}

void WatchDog::reap_finished_bark() {
    std::lock_guard<std::mutex> barkLock(barkMutex_);
    if (!barkThread_ || !barkThread_->joinable())
        return;
    {
        std::lock_guard<std::mutex> stateLock(stateMutex_);
        if (barking_)
            return;
    }
    // The callback has returned; the thread only has its last unlock left.
    barkThread_->join();
    barkThread_.reset();
}

void WatchDog::watch() {
    while (running_) {
        const auto wakeAt =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs_);
        {
            std::unique_lock<std::mutex> lock(sleepMutex_);
            // A bark that ends during the sleep is joined right away; the
            // sleep then goes on until its end.
            while (sleepWake_.wait_until(lock, wakeAt, [this] {
                return !running_ || barkEnded_;
            }) && running_) {
                barkEnded_ = false;
                lock.unlock();
                reap_finished_bark();
                lock.lock();
            }
        }
        if (!running_)
            break;
        reap_finished_bark();
        if (armed_ && now_ms() - lastFeed_ > timeoutMs_)
            bark(0);
    }
}

void WatchDog::stop() {
    armed_ = false;
    {
        std::lock_guard<std::mutex> lock(sleepMutex_);
        running_ = false;
    }
    sleepWake_.notify_all();
    std::lock_guard<std::mutex> lock(watchMutex_);
    if (watchThread_ && watchThread_->joinable() &&
        watchThread_->get_id() != std::this_thread::get_id())
        watchThread_->join();
}
