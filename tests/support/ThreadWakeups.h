#pragma once

// Counts how often threads of this process went to sleep (their voluntary
// context switches, from /proc): a thread that waits for data or a stop
// sleeps once and stays asleep; one that polls sleeps once per slice.

#include <dirent.h>

#include <chrono>
#include <cstdint>
#include <fstream>
#include <map>
#include <string>
#include <thread>

namespace threadwakeups {

// The voluntary context switches so far of each thread of this process
// named `name` (as its thread name, at most 15 characters), by thread id.
inline std::map<int, uint64_t> voluntary_switches(const std::string& name) {
    std::map<int, uint64_t> counts;
    DIR* tasks = ::opendir("/proc/self/task");
    if (!tasks)
        return counts;
    while (dirent* entry = ::readdir(tasks)) {
        if (entry->d_name[0] == '.')
            continue;
        const std::string dir = std::string("/proc/self/task/") + entry->d_name;
        std::ifstream status(dir + "/status");
        std::string line;
        std::string threadName;
        bool found = false;
        uint64_t switches = 0;
        while (std::getline(status, line)) {
            if (line.compare(0, 5, "Name:") == 0) {
                const size_t at = line.find_first_not_of(" \t", 5);
                threadName = at == std::string::npos ? std::string() : line.substr(at);
            } else if (line.compare(0, 24, "voluntary_ctxt_switches:") == 0) {
                switches = std::stoull(line.substr(24));
                found = true;
            }
        }
        if (found && threadName == name)
            counts[std::stoi(entry->d_name)] = switches;
    }
    ::closedir(tasks);
    return counts;
}

// The calling thread's voluntary context switches so far.
inline uint64_t own_voluntary_switches() {
    std::ifstream status("/proc/thread-self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.compare(0, 24, "voluntary_ctxt_switches:") == 0)
            return std::stoull(line.substr(24));
    return 0;
}

// How often the threads named `name` went to sleep while the caller waited
// `window`: summed over the threads alive at both ends. `alive`, when given,
// receives how many those were. A thread just started may not carry its
// name yet: the window begins once one does (or after 5 s without).
inline uint64_t wakeups_during(const std::string& name, std::chrono::milliseconds window,
                               int* alive = nullptr) {
    std::map<int, uint64_t> before = voluntary_switches(name);
    for (int i = 0; i < 500 && before.empty(); i++) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        before = voluntary_switches(name);
    }
    std::this_thread::sleep_for(window);
    const std::map<int, uint64_t> after = voluntary_switches(name);
    uint64_t total = 0;
    int both = 0;
    for (const auto& thread : after) {
        auto earlier = before.find(thread.first);
        if (earlier == before.end())
            continue;
        total += thread.second - earlier->second;
        both++;
    }
    if (alive)
        *alive = both;
    return total;
}

} // namespace threadwakeups
