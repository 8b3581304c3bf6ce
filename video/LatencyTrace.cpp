#include "video/LatencyTrace.h"

#ifdef ORUN_LATENCY_TRACE

#include <atomic>
#include <map>
#include <mutex>
#include <unordered_map>

namespace latencytrace {
namespace {

// Pictures in flight between the display thread and the widget; more entries
// than this are stale (pictures the widget never received) and are forgotten.
constexpr size_t kInFlightMax = 512;
// Frames recorded before the oldest ones are dropped (about an hour at 30/s).
constexpr size_t kFramesMax = 120000;

struct Trace {
    std::mutex mutex;
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

} // namespace

void setEnabled(bool on) {
    traceOn = on;
}

bool enabled() {
    return traceOn.load();
}

void unitFetched(int64_t sendUs, int64_t wholeUs) {
    if (!traceOn || sendUs <= 0)
        return;
    const int64_t now = nowMicros();
    Trace& t = trace();
    std::lock_guard<std::mutex> guard(t.mutex);
    FrameMarks& m = frameFor(t, sendUs);
    m.wholeUs = wholeUs;
    m.fetchUs = now;
}

void decodeStarted(int64_t sendUs) {
    if (!traceOn || sendUs <= 0)
        return;
    const int64_t now = nowMicros();
    Trace& t = trace();
    std::lock_guard<std::mutex> guard(t.mutex);
    frameFor(t, sendUs).decodeUs = now;
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
    if (t.pictures.size() >= kInFlightMax)
        t.pictures.clear();
    t.pictures[pixels] = sendUs;
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
    t.pendingPaint = 0;
    auto it = pixels ? t.pictures.find(pixels) : t.pictures.end();
    if (it == t.pictures.end())
        return;
    t.pendingPaint = it->second;
    t.pictures.erase(it);
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

#endif
