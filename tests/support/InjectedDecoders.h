#pragma once

// Decoders that behave like awkward real ones, for the decoder factory of the
// video pipeline: each wraps a real H264Decoder and changes one thing.

#include "video/H264Decoder.h"

extern "C" {
#include <libavutil/error.h>
#include <libavutil/frame.h>
}

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// Passes everything to a real decoder.
class WrappedDecoder : public VideoDecoder {
public:
    explicit WrappedDecoder(HardwareDevices devices = platformHardwareDevices())
        : m_inner(std::move(devices)) {}
    bool init(int requestedMode, bool retryFailed) override {
        return m_inner.init(requestedMode, retryFailed);
    }
    bool replaceWithNext(const std::string& why) override { return m_inner.replaceWithNext(why); }
    void release() override { m_inner.release(); }
    bool ready() const override { return m_inner.ready(); }
    const char* name() const override { return m_inner.name(); }
    std::string unusedHardware() const override { return m_inner.unusedHardware(); }
    Result decode(const uint8_t* data, int size, AVFrame* out, int64_t pts) override {
        return m_inner.decode(data, size, out, pts);
    }

protected:
    H264Decoder m_inner;
};

// Hardware device types that all fail to open, as on a machine without a
// GPU; counts the attempts.
struct MissingDevices {
    std::shared_ptr<std::atomic<int>> attempts = std::make_shared<std::atomic<int>>(0);
    HardwareDevices devices() const {
        HardwareDevices d;
        d.types = platformHwDeviceTypes();
        auto count = attempts;
        d.create = [count](int, AVBufferRef**) {
            ++*count;
            return AVERROR(ENODEV);
        };
        return d;
    }
};

// Holds a set-up until the test lets it go, like a hardware device that takes
// seconds to open. Open at first; a set-up waits at most `limit`.
class SetupGate {
public:
    void close() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_open = false;
    }
    void open() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_open = true;
        }
        m_changed.notify_all();
    }
    // A set-up: returns when open (or after the limit).
    void pass(std::chrono::milliseconds limit = std::chrono::milliseconds(10000)) {
        std::unique_lock<std::mutex> lock(m_mutex);
        ++m_waiting;
        m_changed.wait_for(lock, limit, [this] { return m_open; });
        --m_waiting;
        ++m_passed;
        m_threads.push_back(std::this_thread::get_id());
    }
    // Set-ups waiting now, and done so far.
    int waiting() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_waiting;
    }
    int passed() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_passed;
    }
    // Set-ups done on the given thread.
    int passedOn(std::thread::id thread) const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return static_cast<int>(std::count(m_threads.begin(), m_threads.end(), thread));
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_open = true;
    int m_waiting = 0;
    int m_passed = 0;
    std::vector<std::thread::id> m_threads;
};

class SlowSetupDecoder : public WrappedDecoder {
public:
    explicit SlowSetupDecoder(std::shared_ptr<SetupGate> gate) : m_gate(std::move(gate)) {}
    bool init(int requestedMode, bool retryFailed) override {
        m_gate->pass();
        return WrappedDecoder::init(requestedMode, retryFailed);
    }

private:
    std::shared_ptr<SetupGate> m_gate;
};

// Gives each picture `depth` units late, as a hardware decoder with pictures
// in flight does: "no picture yet" for the first `depth` units.
class HoldingBackDecoder : public WrappedDecoder {
public:
    explicit HoldingBackDecoder(size_t depth) : m_depth(depth) {}
    ~HoldingBackDecoder() override { dropHeld(); }
    bool init(int requestedMode, bool retryFailed) override {
        dropHeld();
        return WrappedDecoder::init(requestedMode, retryFailed);
    }
    Result decode(const uint8_t* data, int size, AVFrame* out, int64_t pts) override {
        AVFrame* picture = av_frame_alloc();
        const Result r = m_inner.decode(data, size, picture, pts);
        if (r != Result::Picture) {
            av_frame_free(&picture);
            return r;
        }
        m_held.push_back(picture);
        if (m_held.size() <= m_depth)
            return Result::NotYet;
        av_frame_unref(out);
        av_frame_move_ref(out, m_held.front());
        av_frame_free(&m_held.front());
        m_held.pop_front();
        return Result::Picture;
    }

private:
    void dropHeld() {
        for (AVFrame*& f : m_held)
            av_frame_free(&f);
        m_held.clear();
    }
    size_t m_depth;
    std::deque<AVFrame*> m_held;
};

// Opens, gives `pictures` pictures, then fails on every unit (an error) until
// it is replaced: a hardware decoder that breaks down on the stream.
class BreakingDecoder : public WrappedDecoder {
public:
    explicit BreakingDecoder(int pictures, HardwareDevices devices = platformHardwareDevices())
        : WrappedDecoder(std::move(devices)), m_left(pictures) {}
    bool replaceWithNext(const std::string& why) override {
        m_left = -1;
        return WrappedDecoder::replaceWithNext(why);
    }
    Result decode(const uint8_t* data, int size, AVFrame* out, int64_t pts) override {
        if (m_left == 0)
            return Result::NoPicture;
        const Result r = m_inner.decode(data, size, out, pts);
        if (r == Result::Picture && m_left > 0)
            --m_left;
        return r;
    }

private:
    int m_left; // pictures before the breakdown; −1 after the replacement
};
