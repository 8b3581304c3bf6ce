#include "bench/e2e/LatencyTrace.h"

#include <pthread.h>

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <unordered_map>

namespace latencytrace {
namespace {

// Address maps hold only frames in flight; more entries than this are stale
// (units dropped by the fetch gate or the queues) and are forgotten.
constexpr size_t kInFlightMax = 512;
// Frames recorded before the oldest ones are dropped (about an hour at 30/s).
constexpr size_t kFramesMax = 120000;

struct Trace {
    std::mutex mutex;
    std::unordered_map<const void*, int64_t> units;
    std::unordered_map<const void*, int64_t> pictures;
    std::map<int64_t, FrameMarks> frames;
    int64_t pendingPaint = 0;
};

Trace& trace() {
    static Trace* t = new Trace(); // used by threads that may outlive main
    return *t;
}

std::atomic<bool> traceOn{false};

FrameMarks& frameFor(Trace& t, int64_t sendUs) {
    if (t.frames.size() >= kFramesMax && t.frames.count(sendUs) == 0)
        t.frames.erase(t.frames.begin());
    FrameMarks& m = t.frames[sendUs];
    m.sendUs = sendUs;
    return m;
}

void remember(std::unordered_map<const void*, int64_t>& map, const void* key, int64_t value) {
    if (map.size() >= kInFlightMax)
        map.clear();
    map[key] = value;
}

int64_t forget(std::unordered_map<const void*, int64_t>& map, const void* key) {
    auto it = map.find(key);
    if (it == map.end())
        return 0;
    const int64_t value = it->second;
    map.erase(it);
    return value;
}

} // namespace

int64_t nowMicros() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void setEnabled(bool on) {
    traceOn = on;
}

bool enabled() {
    return traceOn.load();
}

void unitFetched(const void* unit, int64_t sendUs) {
    if (!traceOn || !unit)
        return;
    const int64_t now = nowMicros();
    Trace& t = trace();
    std::lock_guard<std::mutex> guard(t.mutex);
    if (sendUs <= 0) {
        t.units.erase(unit);
        return;
    }
    remember(t.units, unit, sendUs);
    frameFor(t, sendUs).fetchUs = now;
}

int64_t unitTaken(const void* unit) {
    if (!traceOn || !unit)
        return 0;
    Trace& t = trace();
    std::lock_guard<std::mutex> guard(t.mutex);
    return forget(t.units, unit);
}

void pictureShown(const void* pixels, int64_t sendUs) {
    if (!traceOn || !pixels)
        return;
    const int64_t now = nowMicros();
    Trace& t = trace();
    std::lock_guard<std::mutex> guard(t.mutex);
    if (sendUs <= 0) {
        t.pictures.erase(pixels);
        return;
    }
    remember(t.pictures, pixels, sendUs);
    frameFor(t, sendUs).shownUs = now;
}

void pictureReceived(const void* pixels) {
    if (!traceOn)
        return;
    const int64_t now = nowMicros();
    Trace& t = trace();
    std::lock_guard<std::mutex> guard(t.mutex);
    // A picture from elsewhere (the disconnected picture) is not traced and
    // ends the wait of the one it replaces.
    t.pendingPaint = pixels ? forget(t.pictures, pixels) : 0;
    if (t.pendingPaint > 0)
        frameFor(t, t.pendingPaint).receivedUs = now;
}

void painted() {
    if (!traceOn)
        return;
    const int64_t now = nowMicros();
    Trace& t = trace();
    std::lock_guard<std::mutex> guard(t.mutex);
    if (t.pendingPaint <= 0)
        return;
    frameFor(t, t.pendingPaint).paintUs = now;
    t.pendingPaint = 0;
}

void nameThread(const char* name) {
    pthread_setname_np(pthread_self(), name);
}

std::vector<FrameMarks> takeMarks() {
    Trace& t = trace();
    std::lock_guard<std::mutex> guard(t.mutex);
    std::vector<FrameMarks> out;
    out.reserve(t.frames.size());
    for (const auto& entry : t.frames)
        out.push_back(entry.second);
    t.frames.clear();
    return out;
}

} // namespace latencytrace
