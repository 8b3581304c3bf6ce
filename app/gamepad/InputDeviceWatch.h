#pragma once

// Wakes the game-controller thread when input devices come or go, so that
// without a controller it sleeps until one may have been plugged in instead
// of asking for devices over and over. One file per platform implements it:
// on Linux the device folders are watched; elsewhere a change is reported
// once a second.

#include <chrono>
#include <memory>

class InputDeviceWatch {
public:
    InputDeviceWatch();
    ~InputDeviceWatch();
    InputDeviceWatch(const InputDeviceWatch&) = delete;
    InputDeviceWatch& operator=(const InputDeviceWatch&) = delete;

    // Waits until the input devices may have changed, wake() is called or
    // `timeout` passed (a negative one waits without a limit). True when the
    // devices may have changed.
    bool wait(std::chrono::milliseconds timeout);
    // Ends a wait at once, from any thread; a wake before the wait ends the
    // next one.
    void wake();

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};
