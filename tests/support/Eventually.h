#pragma once

#include <chrono>
#include <thread>

// Polls `condition` every 5 ms until it holds or `ms` milliseconds have
// passed; a condition that holds at the deadline still counts.
template <typename Condition> bool eventually(Condition condition, int ms = 3000) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < until) {
        if (condition())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return condition();
}
