#pragma once

// The game controllers of this computer, read through SDL's game-controller
// API on a thread of its own ("orun-gamepad"). Controllers plugged in are
// opened and the ones pulled out closed, with their names told; the newest
// one that was used is the one whose sticks count. SDL's events are read
// every `pollInterval` while a controller is open, and not at all without
// one: then the thread sleeps until the input devices change.
//
// The events come on the reader's thread.

#include "app/gamepad/GamepadMapping.h"
#include "app/gamepad/InputDeviceWatch.h"
#include "hub/WorkerThread.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class GamepadReader {
public:
    struct Events {
        std::function<void(const std::string& name)> connected;
        std::function<void(const std::string& name)> disconnected;
        // The positions of the controller in use, each time they change; all
        // at rest once the last controller is gone.
        std::function<void(const GamepadAxes& axes)> moved;
        std::function<void(GamepadButton button)> pressed;
        // SDL could not be started: no controller will be read.
        std::function<void(const std::string& why)> unavailable;
    };

    explicit GamepadReader(Events events,
                           std::chrono::milliseconds pollInterval = std::chrono::milliseconds(10));
    ~GamepadReader();
    GamepadReader(const GamepadReader&) = delete;
    GamepadReader& operator=(const GamepadReader&) = delete;

    bool start();
    void stop();
    // Looks for controllers now, as when a device was plugged in.
    void rescan();

    // The names of the open controllers, the one in use first.
    std::vector<std::string> controllers() const;

private:
    struct Open;

    void run();
    void readEvents();
    void openController(int deviceIndex);
    void closeController(int instanceId);
    void deliverPositions();
    void publishNames();

    const Events m_events;
    const std::chrono::milliseconds m_pollInterval;
    WorkerThread m_thread;
    InputDeviceWatch m_watch;
    std::atomic<bool> m_rescanAsked{false};

    // Reader thread only.
    std::map<int, std::unique_ptr<Open>> m_open; // by SDL's instance id
    int m_inUse = -1;
    GamepadAxes m_delivered;
    std::vector<std::chrono::steady_clock::time_point> m_looks;

    mutable std::mutex m_namesMutex;
    std::vector<std::string> m_names;
};
