#pragma once

// A media client for the decoder controller without a camera: it serves
// frames of the simulated camera's encoder in a loop at 30 a second, as the
// real client does (pop_video waits up to its time-out for the next unit),
// each carrying its number (from 1) as its camera time.

#include "kcpclient/KcpWrapper.h"
#include "tools/camsim/video/SyntheticVideoSource.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class FakeMediaClient : public KcpWrapper {
public:
    explicit FakeMediaClient(std::vector<camsim::VideoFrame> frames)
        : m_frames(std::move(frames)), m_start(std::chrono::steady_clock::now()) {}

    MediaDataTime pop_video(uint32_t timeoutMs) override {
        std::unique_lock<std::mutex> lock(m_mutex);
        const std::chrono::steady_clock::time_point due =
            m_start + std::chrono::milliseconds(33) * m_served;
        if (due > std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs)) {
            lock.unlock();
            std::this_thread::sleep_for(std::chrono::milliseconds(timeoutMs));
            return {};
        }
        lock.unlock();
        std::this_thread::sleep_until(due);
        lock.lock();
        const camsim::VideoFrame& f = m_frames[m_served % m_frames.size()];
        ++m_served;
        m_side = std::make_shared<std::string>(f.sideInfo);
        MediaDataTime out;
        out.data = std::make_shared<std::string>(f.accessUnit);
        out.time = static_cast<int64_t>(m_served);
        return out;
    }
    std::shared_ptr<std::string> pop_video_data(uint32_t timeoutMs) override {
        return pop_video(timeoutMs).data;
    }
    uint64_t video_discontinuities() override { return m_breaks.load(); }
    // A new media session starts before the next unit.
    void startNewSession() { ++m_breaks; }
    // The number the next unit served will carry.
    int64_t nextUnit() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return static_cast<int64_t>(m_served) + 1;
    }
    std::shared_ptr<std::string> latest_side_info() override {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_side;
    }
    void set_address(const std::string& address) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_addresses.push_back(address);
    }
    void stop() override { ++m_stops; }

    MediaDataTime peek_video(uint32_t) override { return {}; }
    MediaDataTime pop_record(uint32_t) override { return {}; }
    MediaDataTime peek_record(uint32_t) override { return {}; }
    std::shared_ptr<std::string> peek_video_data(uint32_t) override { return nullptr; }
    std::shared_ptr<std::string> pop_record_data(uint32_t) override { return nullptr; }
    std::shared_ptr<std::string> peek_record_data(uint32_t) override { return nullptr; }
    int32_t frame_count() override { return 0; }
    void kick() override {}
    bool auto_route() override { return false; }

    std::vector<std::string> addresses() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_addresses;
    }
    std::atomic<int> m_stops{0};

private:
    std::atomic<uint64_t> m_breaks{0};
    std::mutex m_mutex;
    std::vector<camsim::VideoFrame> m_frames;
    std::chrono::steady_clock::time_point m_start;
    size_t m_served = 0;
    std::shared_ptr<std::string> m_side;
    std::vector<std::string> m_addresses;
};

inline std::vector<camsim::VideoFrame> encodedStream(int count, int keyFrameSeconds = 1) {
    camsim::SyntheticVideoSource source(30, keyFrameSeconds);
    std::vector<camsim::VideoFrame> frames(count);
    for (auto& f : frames)
        if (!source.nextFrame(f))
            return {}; // no H.264 encoder
    return frames;
}
