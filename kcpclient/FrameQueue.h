#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <utility>

// Microseconds of the steady clock: when a frame became whole in the client.
inline int64_t frame_clock_us() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// A bounded queue of frames between the stream's receive thread and its
// consumers: the oldest frames give way when it is full (and are counted).
// Each element keeps the time it was pushed.
template <typename T> class FrameQueue {
public:
    FrameQueue(int32_t capacity, std::string name) : capacity_(capacity), name_(std::move(name)) {}

    void push(T element) {
        const int64_t now = frame_clock_us();
        {
            std::lock_guard<std::mutex> lock(mutex_);
            items_.emplace_back(std::move(element), now);
            while (static_cast<int64_t>(items_.size()) > capacity_) {
                items_.pop_front();
                ++dropped_;
            }
        }
        ready_.notify_all();
    }

    // t > 0 waits up to t ms for an element, t < 0 without limit, t = 0 not
    // at all; a closed queue does not wait. The front element (taken off when take is set), else
    // empty; `pushedUs`, when given, receives the time it was pushed.
    T get(int32_t timeoutMs, bool take, int64_t* pushedUs = nullptr) {
        std::unique_lock<std::mutex> lock(mutex_);
        auto nonEmpty = [this] { return !items_.empty() || closed_; };
        if (timeoutMs > 0)
            ready_.wait_for(lock, std::chrono::milliseconds(timeoutMs), nonEmpty);
        else if (timeoutMs < 0)
            ready_.wait(lock, nonEmpty);
        if (items_.empty())
            return T();
        std::pair<T, int64_t> front = items_.front();
        if (take)
            items_.pop_front();
        if (pushedUs)
            *pushedUs = front.second;
        return front.first;
    }

    int32_t size() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return static_cast<int32_t>(items_.size());
    }

    // Ends every wait, now and later: the queue's consumers are to let go.
    void close() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            closed_ = true;
        }
        ready_.notify_all();
    }

    // Elements that gave way to newer ones so far.
    uint64_t dropped() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return dropped_;
    }

    const std::string& name() const { return name_; }

private:
    int32_t capacity_;
    std::string name_;
    mutable std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<std::pair<T, int64_t>> items_;
    uint64_t dropped_ = 0;
    bool closed_ = false;
};
