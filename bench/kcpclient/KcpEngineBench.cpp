// Throughput and latency of the KCP engine over the simulated lossy link, on
// its virtual clock: frames sent the way the camera sends them, at 0, 10 and
// 30 % loss (with duplication and reordering on the lossy links).
#include "kcpclient/sim/KcpSim.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

using namespace kcpsim;

namespace {

LinkProfile profile(double loss) {
    LinkProfile p;
    p.loss = loss;
    p.duplicate = loss > 0 ? 0.05 : 0.0;
    p.reorder = loss > 0 ? 0.1 : 0.0;
    p.delayMs = 5;
    p.reorderMs = 20;
    return p;
}

uint64_t percentile(std::vector<uint64_t> v, double q) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    size_t i = static_cast<size_t>(q * static_cast<double>(v.size() - 1));
    return v[i];
}

void run(const char* label, Link& link, const std::vector<std::string>& frames,
         uint64_t stepLimit) {
    auto wallStart = std::chrono::steady_clock::now();
    TransferResult r = transfer_frames(link, frames, 64000, stepLimit);
    double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();

    // Messages through ikcp_input/ikcp_recv: every 64000-byte piece of a frame.
    uint64_t messages = 0;
    uint64_t segmentsNeeded = 0;
    for (const auto& f : frames) {
        messages += (f.size() + 63999) / 64000;
        for (size_t off = 0; off < f.size() || off == 0; off += 64000) {
            size_t chunk = std::min<size_t>(64000, f.size() - off);
            segmentsNeeded += chunk == 0 ? 1 : (chunk + 1375) / 1376;
            if (f.size() == 0)
                break;
        }
    }
    double virt = static_cast<double>(r.elapsedMs) / 1000.0;
    uint64_t sent = link.forward().dataSegments;
    double retrans = segmentsNeeded ? static_cast<double>(sent - segmentsNeeded) /
                                          static_cast<double>(segmentsNeeded)
                                    : 0.0;
    std::printf("%-22s %6zu/%-6zu %s %9.0f %10.2f %9.3f %8.0f %8.0f %8.0f %10.0f %8.2f\n", label,
                r.framesDelivered, frames.size(), r.intactAndInOrder ? "ok " : "BAD",
                static_cast<double>(messages) / virt,
                static_cast<double>(r.bytesDelivered) / virt / 1e6, retrans,
                static_cast<double>(percentile(r.latencyMs, 0.5)),
                static_cast<double>(percentile(r.latencyMs, 0.99)),
                static_cast<double>(percentile(r.latencyMs, 1.0)),
                static_cast<double>(r.bytesDelivered) / wall / 1e6, virt);
}

} // namespace

int main() {
    auto frames = make_frames(2000, 300000, 77);
    uint64_t total = 0;
    for (const auto& f : frames)
        total += f.size();
    std::printf("2000 frames, %.1f MB, messages of at most 64000 bytes; one-way delay 5 ms;\n"
                "lossy links also duplicate 5%% and hold back 10%% of the datagrams by up to 20 "
                "ms.\n\n",
                static_cast<double>(total) / 1e6);
    std::printf("%-22s %13s %3s %9s %10s %9s %8s %8s %8s %10s %8s\n", "link", "frames", "", "msg/s",
                "MB/s", "retx/seg", "lat p50", "lat p99", "lat max", "CPU MB/s", "virt s");
    for (double loss : {0.0, 0.10, 0.30}) {
        char label[64];
        std::snprintf(label, sizeof label, "virtual %2.0f%% loss", loss * 100);
        SimLink link(profile(loss), profile(loss), 1, 1000 + static_cast<uint64_t>(loss * 100));
        run(label, link, frames, 50000000);
    }
    auto udpFrames = make_frames(300, 300000, 78);
    for (double loss : {0.0, 0.10}) {
        char label[64];
        std::snprintf(label, sizeof label, "loopback %2.0f%% loss", loss * 100);
        UdpLink link(profile(loss), profile(loss), 1, 2000);
        run(label, link, udpFrames, 2000000);
    }
    std::printf(
        "\nmsg/s, MB/s and latency (ms, frame queued at the sender to frame whole at the "
        "receiver) are on the link clock (virtual or real); CPU MB/s is bytes per second of "
        "wall time spent.\n");
    return 0;
}
