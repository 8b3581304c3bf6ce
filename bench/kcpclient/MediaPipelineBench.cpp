// The whole media transport over loopback: the simulated camera streams
// frames to the media client facade, a consumer pulls them with
// pop_video(100). Reports frames/s and MB/s delivered, frames lost, and the
// latency from the camera's first send of a frame's last segment to the
// frame's delivery to the consumer.
#include "kcpclient/KcpWrapperDetail.h"
#include "tools/camsim/media/MediaCamera.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <mutex>
#include <random>
#include <vector>

namespace {

struct Figures {
    size_t delivered = 0;
    uint64_t bytes = 0;
    double seconds = 0;
    std::vector<double> latencyMs;
    uint64_t sent = 0;
    uint64_t timeoutResends = 0;
};

double percentile(std::vector<double> v, double q) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[static_cast<size_t>(q * static_cast<double>(v.size() - 1))];
}

Figures run(double loss, int fps, size_t count, size_t maxSize) {
    static std::mt19937 random(std::random_device{}());
    camsim::MediaConfig config;
    config.timeTrailer = true;
    config.framesPerSecond = fps;
    std::unique_ptr<camsim::MediaCamera> camera;
    for (;;) {
        config.commandPort = static_cast<uint16_t>(20000 + random() % 40000);
        camera = std::make_unique<camsim::MediaCamera>(config);
        if (camera->start())
            break;
    }
    camsim::MediaFaults faults;
    faults.loss = loss;
    faults.reorder = loss > 0 ? 0.10 : 0.0;
    faults.duplicate = loss > 0 ? 0.02 : 0.0;
    camera->setFaults(faults);
    camera->setVideoSource(
        std::make_shared<camsim::PatternVideoSource>(1000, maxSize, 21, 30, count));

    std::mutex mutex;
    std::map<int64_t, int64_t> sentAt; // trailer time -> last segment out (µs)
    camera->setFrameSentObserver([&](uint64_t, int64_t trailer) {
        std::lock_guard<std::mutex> lock(mutex);
        sentAt[trailer] = camsim::MediaCamera::steadyMicros();
    });

    Figures f;
    KcpWrapperDetail wrapper(camera->commandPort(), 100);
    wrapper.set_address("127.0.0.1");
    // The clock starts with the first frame.
    MediaDataTime first;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!first.data && std::chrono::steady_clock::now() < deadline)
        first = wrapper.pop_video(100);
    auto start = std::chrono::steady_clock::now();
    auto last = start;
    int idle = 0;
    for (MediaDataTime m = first; idle < 20;) {
        if (m.data) {
            idle = 0;
            f.delivered++;
            f.bytes += m.data->size();
            last = std::chrono::steady_clock::now();
            int64_t now = camsim::MediaCamera::steadyMicros();
            std::lock_guard<std::mutex> lock(mutex);
            auto it = sentAt.find(m.time);
            if (it != sentAt.end())
                f.latencyMs.push_back(static_cast<double>(now - it->second) / 1000.0);
        } else {
            idle++;
        }
        m = wrapper.pop_video(100);
    }
    f.seconds = std::chrono::duration<double>(last - start).count();
    f.sent = camera->counters().framesSent;
    f.timeoutResends = camera->counters().timeoutResends;
    wrapper.stop();
    camera->stop();
    return f;
}

} // namespace

int main() {
    std::printf(
        "Simulated camera -> loopback -> stream session -> facade -> pop_video(100).\n"
        "Frames of 1000..N bytes (log-uniform) with H.264 prefixes and 791-byte side "
        "information; lossy runs also reorder 10%% and duplicate 2%% of the datagrams.\n\n");
    std::printf("%-34s %9s %9s %9s %9s %10s %10s %10s %11s\n", "run", "sent", "delivered",
                "frames/s", "MB/s", "lat p50 ms", "lat p99 ms", "lat max ms", "rto resends");
    struct Case {
        const char* label;
        double loss;
        int fps;
        size_t count;
        size_t maxSize;
    } cases[] = {
        {"unpaced, up to 400 kB,  0% loss", 0.0, 0, 1500, 400000},
        {"unpaced, up to 400 kB, 10% loss", 0.10, 0, 1500, 400000},
        {"30 fps,  up to 100 kB,  0% loss", 0.0, 30, 300, 100000},
        {"30 fps,  up to 100 kB, 10% loss", 0.10, 30, 300, 100000},
    };
    for (const Case& c : cases) {
        Figures f = run(c.loss, c.fps, c.count, c.maxSize);
        std::printf("%-34s %9llu %9zu %9.0f %9.2f %10.2f %10.2f %10.2f %11llu\n", c.label,
                    static_cast<unsigned long long>(f.sent), f.delivered,
                    f.seconds > 0 ? static_cast<double>(f.delivered) / f.seconds : 0.0,
                    f.seconds > 0 ? static_cast<double>(f.bytes) / f.seconds / 1e6 : 0.0,
                    percentile(f.latencyMs, 0.5), percentile(f.latencyMs, 0.99),
                    percentile(f.latencyMs, 1.0),
                    static_cast<unsigned long long>(f.timeoutResends));
    }
    std::printf("\nLatency: from the camera's first transmission of a frame's last segment to the "
                "frame leaving pop_video. Unpaced runs send as fast as the window allows; frames "
                "the session queue (100) had to drop show as sent - delivered.\n");
    return 0;
}
