#include "kcpclient/WatchDog.h"

#include "kcpclient/LogLine.h"
#include "kcpclient/ThreadName.h"

#include <algorithm>
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
    const auto self = std::this_thread::get_id();
    for (auto it = finishedBarks_.begin(); it != finishedBarks_.end();) {
        if ((*it)->get_id() == self) {
            ++it;
            continue;
        }
        if ((*it)->joinable())
            (*it)->join();
        it = finishedBarks_.erase(it);
    }
    if (barkThread_ && barkThread_->joinable() && barkThread_->get_id() != self)
        barkThread_->join();
}

void WatchDog::set_armed(bool armed) {
    if (armed_.exchange(armed) == armed || !armed)
        return;
    // Taken so that the watch thread is either before its check of armed_ or
    // already waiting: the wake cannot fall in between.
    { std::lock_guard<std::mutex> lock(sleepMutex_); }
    sleepWake_.notify_all();
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
        // A callback that barks again cannot join its own thread: it is
        // kept and joined once it has ended.
        if (barkThread_->get_id() == std::this_thread::get_id())
            finishedBarks_.push_back(barkThread_);
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
            endedBarks_.push_back(std::this_thread::get_id());
        }
        sleepWake_.notify_all();
    });
}

void WatchDog::reap_finished_bark() {
    std::lock_guard<std::mutex> barkLock(barkMutex_);
    std::vector<std::thread::id> ended;
    {
        std::lock_guard<std::mutex> sleepLock(sleepMutex_);
        ended.swap(endedBarks_);
    }
    // A bark thread that started the bark after its own is joined once it
    // has ended; until then it stays kept.
    for (auto it = finishedBarks_.begin(); it != finishedBarks_.end();) {
        if (std::find(ended.begin(), ended.end(), (*it)->get_id()) == ended.end()) {
            ++it;
            continue;
        }
        (*it)->join();
        it = finishedBarks_.erase(it);
    }
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
    using std::chrono::milliseconds;
    // After a bark for an expiry, the next look comes no sooner than one
    // time-out later, whether or not that bark could run.
    int64_t notBefore = std::numeric_limits<int64_t>::min();
    std::unique_lock<std::mutex> lock(sleepMutex_);
    while (running_) {
        if (barkEnded_) {
            barkEnded_ = false;
            lock.unlock();
            reap_finished_bark();
            lock.lock();
            continue;
        }
        if (!armed_) {
            // Nothing can expire: sleep until armed, a bark ends or stop.
            sleepWake_.wait(lock, [this] { return !running_ || barkEnded_ || armed_; });
            continue;
        }
        // Expired once more than a time-out has passed since the last feed.
        const int64_t due = std::max(lastFeed_.load() + timeoutMs_ + 1, notBefore);
        if (now_ms() < due) {
            // A feed meanwhile moves the deadline: it is looked at again then.
            sleepWake_.wait_until(lock, origin_ + milliseconds(due),
                                  [this] { return !running_ || barkEnded_ || !armed_; });
            continue;
        }
        lock.unlock();
        reap_finished_bark();
        bark(0);
        lock.lock();
        notBefore = now_ms() + timeoutMs_;
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
