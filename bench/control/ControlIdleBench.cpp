// What control from outside costs while nobody steers: the CPU time and the
// wake-ups of the VISCA server's thread (UDP and TCP open, no controller
// sending) and of the game-controller reader, first without a controller,
// then with one of SDL's virtual pads connected and at rest.
//
//   controlbench_idle [SECONDS]   (each phase; 10 by default)

#include "app/ViscaServer.h"
#include "app/gamepad/GamepadReader.h"

#include "tests/support/VirtualGamepad.h"

#include <dirent.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

namespace {

struct ThreadUse {
    double cpuSeconds = 0;
    unsigned long long wakeups = 0;
};

// CPU time (user and system) and voluntary context switches of the threads
// of this process that carry `name`.
ThreadUse use(const std::string& name) {
    ThreadUse total;
    const double tick = static_cast<double>(sysconf(_SC_CLK_TCK));
    DIR* tasks = opendir("/proc/self/task");
    if (!tasks)
        return total;
    while (dirent* entry = readdir(tasks)) {
        if (entry->d_name[0] == '.')
            continue;
        const std::string dir = std::string("/proc/self/task/") + entry->d_name;
        std::string threadName;
        unsigned long long switches = 0;
        std::ifstream status(dir + "/status");
        for (std::string line; std::getline(status, line);) {
            if (line.rfind("Name:", 0) == 0)
                threadName = line.substr(line.find_first_not_of(" \t", 5));
            else if (line.rfind("voluntary_ctxt_switches:", 0) == 0)
                switches = std::stoull(line.substr(24));
        }
        if (threadName != name)
            continue;
        std::ifstream statFile(dir + "/stat");
        std::string stat((std::istreambuf_iterator<char>(statFile)), {});
        // Fields after the name in parentheses: state is the 3rd, utime the 14th.
        std::istringstream fields(stat.substr(stat.rfind(')') + 2));
        std::string field;
        unsigned long long utime = 0, stime = 0;
        for (int i = 3; fields >> field; ++i) {
            if (i == 14)
                utime = std::stoull(field);
            if (i == 15) {
                stime = std::stoull(field);
                break;
            }
        }
        total.cpuSeconds += (utime + stime) / tick;
        total.wakeups += switches;
    }
    closedir(tasks);
    return total;
}

class IdleOperations : public ViscaOperations {
public:
    ViscaCameraState cameraState() override { return {}; }
    bool drive(double, double) override { return false; }
    void stopDrive() override {}
    void resumeTracking() override {}
    bool zoomTo(double) override { return false; }
    bool focusAtCentre() override { return false; }
    bool setTracking(bool) override { return false; }
    void controllerChanged(const std::string&) override {}
};

void report(const char* phase, const char* thread, const ThreadUse& before, const ThreadUse& after,
            double seconds) {
    std::printf("%-28s %-14s CPU %6.3f %% of a core, %7.1f wake-ups/s\n", phase, thread,
                100.0 * (after.cpuSeconds - before.cpuSeconds) / seconds,
                (after.wakeups - before.wakeups) / seconds);
}

void measure(const char* phase, double seconds) {
    const ThreadUse visca0 = use("orun-visca");
    const ThreadUse pad0 = use("orun-gamepad");
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    report(phase, "orun-visca", visca0, use("orun-visca"), seconds);
    report(phase, "orun-gamepad", pad0, use("orun-gamepad"), seconds);
}

} // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
    if (!(seconds > 0)) {
        std::fprintf(stderr, "usage: controlbench_idle [SECONDS]\n");
        return 2;
    }
    ViscaServerSettings settings;
    settings.udpPort = 0;
    settings.tcp = true;
    settings.tcpPort = 0;
    ViscaServer server(settings, std::make_shared<IdleOperations>());
    std::string why;
    if (!server.start(&why)) {
        std::fprintf(stderr, "VISCA server: %s\n", why.c_str());
        return 1;
    }
    GamepadReader reader({});
    reader.start();
    // Both threads settle (named, SDL started) before the first window.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    measure("no controller", seconds);

    auto pad = std::make_unique<VirtualGamepad>("Bench pad");
    if (!pad->plugged()) {
        std::fprintf(stderr, "SDL virtual pad: %s\n", pad->error().c_str());
        return 1;
    }
    reader.rescan();
    for (int i = 0; i < 200 && reader.controllers().empty(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (reader.controllers().empty()) {
        std::fprintf(stderr, "the virtual pad was not opened\n");
        return 1;
    }
    measure("one controller at rest", seconds);

    pad.reset();
    reader.stop();
    server.stop();
    return 0;
}
