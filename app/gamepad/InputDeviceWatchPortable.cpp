#include "app/gamepad/InputDeviceWatch.h"

#include <condition_variable>
#include <mutex>

// Without a device notification of its own: a change is reported once a
// second while no controller is open (SDL's own look for new devices is
// cheap there).
struct InputDeviceWatch::Impl {
    std::mutex mutex;
    std::condition_variable woken;
    bool wakeAsked = false;
};

InputDeviceWatch::InputDeviceWatch() : m_impl(std::make_unique<Impl>()) {}

InputDeviceWatch::~InputDeviceWatch() = default;

bool InputDeviceWatch::wait(std::chrono::milliseconds timeout) {
    constexpr std::chrono::milliseconds kLook{1000};
    const bool periodic = timeout.count() < 0 || timeout > kLook;
    std::unique_lock<std::mutex> lock(m_impl->mutex);
    const bool woken = m_impl->woken.wait_for(lock, periodic ? kLook : timeout,
                                              [this] { return m_impl->wakeAsked; });
    m_impl->wakeAsked = false;
    return !woken && periodic;
}

void InputDeviceWatch::wake() {
    {
        std::lock_guard<std::mutex> lock(m_impl->mutex);
        m_impl->wakeAsked = true;
    }
    m_impl->woken.notify_one();
}
