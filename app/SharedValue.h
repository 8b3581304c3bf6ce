#pragma once

#include <mutex>
#include <utility>

// A value that several threads read and write as a whole: every access takes
// the value's own mutex, so a reader never sees a half-written text, list or
// record.
template <typename T> class SharedValue {
public:
    SharedValue() = default;
    explicit SharedValue(T initial) : value(std::move(initial)) {}
    SharedValue(const SharedValue&) = delete;
    SharedValue& operator=(const SharedValue&) = delete;

    T get() const {
        std::lock_guard<std::mutex> lock(mutex);
        return value;
    }
    void set(T newValue) {
        std::lock_guard<std::mutex> lock(mutex);
        value = std::move(newValue);
    }
    // Runs fn(T&) under the lock and returns what it returns.
    template <typename Fn> auto update(Fn&& fn) {
        std::lock_guard<std::mutex> lock(mutex);
        return fn(value);
    }
    // Runs fn(const T&) under the lock and returns what it returns.
    template <typename Fn> auto read(Fn&& fn) const {
        std::lock_guard<std::mutex> lock(mutex);
        return fn(static_cast<const T&>(value));
    }

private:
    mutable std::mutex mutex;
    T value{};
};
