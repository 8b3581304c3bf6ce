#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>

// A bounded queue of frames between the stream's receive thread and its
// consumers: the oldest frames give way when it is full.
template <typename T> class FrameQueue {
public:
    FrameQueue(int32_t capacity, std::string name) : capacity_(capacity), name_(std::move(name)) {}

    void push(T element) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            items_.push_back(std::move(element));
            while (static_cast<int64_t>(items_.size()) > capacity_)
                items_.pop_front();
        }
        ready_.notify_all();
    }

    // t > 0 waits up to t ms for an element, t < 0 without limit, t = 0 not
    // at all. The front element (taken off when take is set), else empty.
    T get(int32_t timeoutMs, bool take) {
        std::unique_lock<std::mutex> lock(mutex_);
        auto nonEmpty = [this] { return !items_.empty(); };
        if (timeoutMs > 0)
            ready_.wait_for(lock, std::chrono::milliseconds(timeoutMs), nonEmpty);
        else if (timeoutMs < 0)
            ready_.wait(lock, nonEmpty);
        if (items_.empty())
            return T();
        T front = items_.front();
        if (take)
            items_.pop_front();
        return front;
    }

    int32_t size() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return static_cast<int32_t>(items_.size());
    }

    const std::string& name() const { return name_; }

private:
    int32_t capacity_;
    std::string name_;
    mutable std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<T> items_;
};
