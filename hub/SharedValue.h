#pragma once

#include <mutex>
#include <type_traits>
#include <utility>

namespace shared_value_detail {
template <typename T, typename = void> struct HasDetach : std::false_type {};
template <typename T>
struct HasDetach<T, std::void_t<decltype(std::declval<T&>().detach())>> : std::true_type {};

// Qt's implicitly shared containers and texts test their reference count with
// a relaxed load before writing in place, so a copy that still shares its data
// with the guarded value could be read by one thread while another thread
// writes the guarded value in place. Values that cross the lock are therefore
// made to own their data.
template <typename T> void ownData(T& value) {
    if constexpr (HasDetach<T>::value)
        value.detach();
}
} // namespace shared_value_detail

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
        T copy = value;
        shared_value_detail::ownData(copy);
        return copy;
    }
    void set(T newValue) {
        shared_value_detail::ownData(newValue);
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
