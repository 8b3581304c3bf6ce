#pragma once

#include "kcpclient/KcpStream.h"
#include "kcpclient/WatchDog.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

// Keeps a media session alive while someone consumes frames: replaces it
// when media stops arriving (reconnect watchdog, 500 ms) and drops it when
// nobody has asked for frames for a while (stream-break watchdog, 2000 ms).
class KcpMonitor {
public:
    KcpMonitor(uint16_t commandPort, uint32_t capacity);
    ~KcpMonitor();

    KcpMonitor(const KcpMonitor&) = delete;
    KcpMonitor& operator=(const KcpMonitor&) = delete;

    void touch();
    // One frame, waiting up to timeoutMs (−500 ≤ t < 1500); empty if none.
    // Without a session it waits for one to start, within the time-out.
    // `wholeUs`, when given, receives the time the frame became whole.
    std::shared_ptr<std::string> fetch(int32_t timeoutMs, int64_t* wholeUs = nullptr);
    // Counts the sessions started and the frames their queues let go: when it
    // changes, the next frame need not continue the one before.
    uint64_t discontinuities();
    int32_t frame_count();
    // The link's counts over all sessions so far.
    MediaLinkStats link_stats();
    void kick();
    void stop();
    // Ends the link for good: the watchdogs stop, a session start under way
    // is waited for, the camera is told to stop the session, and nothing
    // starts one again (touch, kick and fetch do nothing from now on).
    void close();
    bool is_closed() const { return closed_.load(); }
    void set_address(const std::string& address);
    void start_kcp();
    // 2 no stream, 1 dropped while others still hold it, 0 dropped and gone.
    int drop_stream();

    std::string address();
    bool has_stream();
    std::shared_ptr<WatchDog> reconnect_watchdog() const { return reconnect_; }
    std::shared_ptr<WatchDog> stream_break_watchdog() const { return streamBreak_; }

private:
    std::string address_;
    std::mutex addressMutex_;
    uint16_t commandPort_;
    uint32_t capacity_;
    std::shared_ptr<WatchDog> reconnect_;
    std::shared_ptr<WatchDog> streamBreak_;
    std::recursive_mutex sessionMutex_;
    std::shared_ptr<KcpStream> stream_;
    std::mutex streamMutex_;
    // Told when a session is installed, and when a consumer lets go of the
    // one it waited on (both under streamMutex_).
    std::condition_variable streamChanged_;
    std::atomic<bool> closed_{false};
    // Sessions started, plus the drops of the streams before the current one.
    std::atomic<uint64_t> sessionBreaks_{0};
    // Frames the queues of the streams before the current one let go.
    std::atomic<uint64_t> droppedBefore_{0};
    std::shared_ptr<MediaLinkCounters> counters_ = std::make_shared<MediaLinkCounters>();
    // Session attempts since data segments last arrived, and how many had
    // arrived at the latest attempt.
    std::mutex attemptMutex_;
    uint64_t attemptsWithoutMedia_ = 0;
    uint64_t segmentsAtAttempt_ = 0;
};
