// Throughput and latency of the KCP engine over the simulated lossy link, on
// its virtual clock: frames sent the way the camera sends them, at 0, 10 and
// 30 % loss (with duplication and reordering on the lossy links).
//
// With --fixed it runs one fixed, seeded workload instead, small enough for
// valgrind: 3000 messages of 20000 bytes from one engine to another, windows
// 512, nodelay(1, 10, 2, 1), 20 ms one-way delay, the loss and reordering
// given. It prints the data segments sent, the retransmitted share and the
// heap allocations made inside the engine (a counting allocator that counts
// only while an engine call runs, not while the link handles its output).
//   kcpclient_engine_bench --fixed [--loss P] [--reorder P] [--seed N]
//                          [--messages N] [--size BYTES]
#include "tools/kcpsim/KcpSim.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <random>
#include <string>
#include <vector>

namespace {

// Heap allocations made while an engine call runs.
bool gCounting = false;
uint64_t gAllocations = 0;

void* counted_alloc(std::size_t n) noexcept {
    if (gCounting)
        gAllocations++;
    return std::malloc(n ? n : 1);
}

} // namespace

void* operator new(std::size_t n) {
    if (void* p = counted_alloc(n))
        return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t n) {
    if (void* p = counted_alloc(n))
        return p;
    throw std::bad_alloc();
}
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
    return counted_alloc(n);
}
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept {
    return counted_alloc(n);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}

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

struct FixedOptions {
    double loss = 0.0;
    double reorder = 0.0;
    uint64_t seed = 1;
    size_t messages = 3000;
    size_t size = 20000;
};

// The two ends of the fixed workload and the links between them.
struct FixedRig {
    ikcpcb* tx = nullptr;
    ikcpcb* rx = nullptr;
    Channel* forward = nullptr;
    Channel* backward = nullptr;
    uint64_t now = 1;
};

// Counts heap allocations while it lives, except in the link's own work.
struct EngineCall {
    EngineCall() { gCounting = true; }
    ~EngineCall() { gCounting = false; }
    EngineCall(const EngineCall&) = delete;
    EngineCall& operator=(const EngineCall&) = delete;
};

int fixed_output(const char* buf, int len, ikcpcb* kcp, void* user) {
    auto* rig = static_cast<FixedRig*>(user);
    bool counting = gCounting;
    gCounting = false;
    (kcp == rig->tx ? rig->forward : rig->backward)->submit(buf, len, rig->now);
    gCounting = counting;
    return 0;
}

int run_fixed(const FixedOptions& o) {
    LinkProfile p;
    p.loss = o.loss;
    p.duplicate = 0.0;
    p.reorder = o.reorder;
    p.delayMs = 20;
    p.reorderMs = 20;
    Channel forward(p, o.seed * 2 + 1);
    Channel backward(p, o.seed * 2 + 2);
    FixedRig rig;
    rig.forward = &forward;
    rig.backward = &backward;
    {
        EngineCall counted;
        rig.tx = ikcp_create(1, &rig);
        rig.rx = ikcp_create(1, &rig);
    }
    if (!rig.tx || !rig.rx)
        return 1;
    for (ikcpcb* kcp : {rig.tx, rig.rx}) {
        ikcp_setoutput(kcp, &fixed_output);
        ikcp_wndsize(kcp, 512, 512);
        ikcp_nodelay(kcp, 1, 10, 2, 1);
    }

    std::mt19937_64 random(o.seed);
    std::string message(o.size, '\0');
    for (char& c : message)
        c = static_cast<char>(random());
    std::vector<char> buffer(o.size + 1);
    const size_t mss = rig.tx->mss;
    const uint64_t needed = o.messages * std::max<size_t>(1, (o.size + mss - 1) / mss);
    const size_t warmAt = o.messages / 10;

    size_t queued = 0, delivered = 0;
    bool intact = true;
    uint64_t inputs = 0, sends = 0, updates = 0, recvs = 0;
    uint64_t warmAllocations = 0, warmSegments = 0;
    std::string datagram;
    const uint64_t limit = 600000; // virtual ms
    for (; delivered < o.messages && rig.now < limit; rig.now++) {
        while (forward.take_due(rig.now, datagram)) {
            EngineCall counted;
            ikcp_input(rig.rx, datagram.data(), static_cast<long>(datagram.size()));
            inputs++;
        }
        while (backward.take_due(rig.now, datagram)) {
            EngineCall counted;
            ikcp_input(rig.tx, datagram.data(), static_cast<long>(datagram.size()));
            inputs++;
        }
        while (queued < o.messages && ikcp_waitsnd(rig.tx) < 1024) {
            uint32_t index = static_cast<uint32_t>(queued);
            if (o.size >= 4)
                std::memcpy(&message[0], &index, 4);
            EngineCall counted;
            if (ikcp_send(rig.tx, message.data(), static_cast<int>(o.size), 1) != 0)
                intact = false;
            queued++;
            sends++;
        }
        {
            EngineCall counted;
            ikcp_update(rig.tx, static_cast<IUINT32>(rig.now));
            ikcp_update(rig.rx, static_cast<IUINT32>(rig.now));
            updates += 2;
        }
        for (;;) {
            int end = 0;
            int n;
            {
                EngineCall counted;
                n = ikcp_recv(rig.rx, buffer.data(), static_cast<int>(buffer.size()), &end);
                recvs++;
            }
            if (n < 0)
                break;
            uint32_t index = 0;
            if (o.size >= 4)
                std::memcpy(&index, buffer.data(), 4);
            if (static_cast<size_t>(n) != o.size || end != 1 ||
                (o.size >= 4 && index != delivered) ||
                (o.size > 4 && std::memcmp(buffer.data() + 4, message.data() + 4, o.size - 4)))
                intact = false;
            delivered++;
            if (delivered == warmAt) {
                warmAllocations = gAllocations;
                warmSegments = forward.stats().dataSegments;
            }
        }
    }
    {
        EngineCall counted;
        ikcp_release(rig.tx);
        ikcp_release(rig.rx);
    }

    const ChannelStats& f = forward.stats();
    const ChannelStats& b = backward.stats();
    std::printf("workload: %zu messages of %zu bytes, loss %.2f, reorder %.2f, seed %llu\n",
                o.messages, o.size, o.loss, o.reorder, static_cast<unsigned long long>(o.seed));
    std::printf("delivered: %zu %s, virtual time %llu ms\n", delivered,
                intact && delivered == o.messages ? "intact" : "BAD",
                static_cast<unsigned long long>(rig.now));
    std::printf(
        "datagrams: forward %llu (dropped %llu, reordered %llu), backward %llu\n",
        static_cast<unsigned long long>(f.datagrams), static_cast<unsigned long long>(f.dropped),
        static_cast<unsigned long long>(f.reordered), static_cast<unsigned long long>(b.datagrams));
    std::printf("data segments: sent %llu, needed %llu, retransmitted %llu (%.1f %%)\n",
                static_cast<unsigned long long>(f.dataSegments),
                static_cast<unsigned long long>(needed),
                static_cast<unsigned long long>(f.dataSegments - needed),
                100.0 * static_cast<double>(f.dataSegments - needed) / static_cast<double>(needed));
    uint64_t warmSent = f.dataSegments - warmSegments;
    std::printf("engine allocations: %llu, %.3f per data segment sent; after the first %zu "
                "messages %llu, %.3f per data segment\n",
                static_cast<unsigned long long>(gAllocations),
                static_cast<double>(gAllocations) / static_cast<double>(f.dataSegments), warmAt,
                static_cast<unsigned long long>(gAllocations - warmAllocations),
                warmSent ? static_cast<double>(gAllocations - warmAllocations) /
                               static_cast<double>(warmSent)
                         : 0.0);
    std::printf("calls: ikcp_input %llu, ikcp_send %llu, ikcp_update %llu, ikcp_recv %llu\n",
                static_cast<unsigned long long>(inputs), static_cast<unsigned long long>(sends),
                static_cast<unsigned long long>(updates), static_cast<unsigned long long>(recvs));
    return intact && delivered == o.messages ? 0 : 1;
}

bool parse_fixed(int argc, char** argv, FixedOptions& o, bool& fixed) {
    fixed = false;
    for (int i = 1; i < argc; i++) {
        std::string arg = argv[i];
        bool hasValue = i + 1 < argc;
        if (arg == "--fixed")
            fixed = true;
        else if (arg == "--loss" && hasValue)
            o.loss = std::atof(argv[++i]);
        else if (arg == "--reorder" && hasValue)
            o.reorder = std::atof(argv[++i]);
        else if (arg == "--seed" && hasValue)
            o.seed = std::strtoull(argv[++i], nullptr, 10);
        else if (arg == "--messages" && hasValue)
            o.messages = std::strtoull(argv[++i], nullptr, 10);
        else if (arg == "--size" && hasValue)
            o.size = std::strtoull(argv[++i], nullptr, 10);
        else
            return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    FixedOptions fixedOptions;
    bool fixed = false;
    if (!parse_fixed(argc, argv, fixedOptions, fixed)) {
        std::fprintf(stderr, "usage: kcpclient_engine_bench [--fixed [--loss P] [--reorder P] "
                             "[--seed N] [--messages N] [--size BYTES]]\n");
        return 2;
    }
    if (fixed)
        return run_fixed(fixedOptions);
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
