#include "kcpclient/KcpMonitor.h"

#include "kcpclient/LogLine.h"

#include <algorithm>
#include <chrono>

#define LOG_SOURCE "kcpclient/KcpMonitor"

KcpMonitor::KcpMonitor(uint16_t commandPort, uint32_t capacity)
    : commandPort_(commandPort), capacity_(capacity) {
    reconnect_ = std::make_shared<WatchDog>(
        500, [this] { start_kcp(); }, false, "重连看门狗");
    streamBreak_ = std::make_shared<WatchDog>(
        2000, [this] { stop(); }, false, "断流看门狗");
    reconnect_->set_armed(true);
    streamBreak_->set_armed(true);
    reconnect_->bark(100);
}

KcpMonitor::~KcpMonitor() {
    // The watchdogs' threads call into this object: end them first.
    reconnect_->stop();
    streamBreak_->stop();
    reconnect_->join_bark();
    streamBreak_->join_bark();
    reconnect_.reset();
    streamBreak_.reset();
    std::lock_guard<std::mutex> lock(streamMutex_);
    stream_.reset();
}

void KcpMonitor::touch() {
    if (closed_)
        return;
    streamBreak_->feed();
    reconnect_->set_armed(true);
}

std::shared_ptr<std::string> KcpMonitor::fetch(int32_t timeoutMs, int64_t* wholeUs) {
    if (timeoutMs < -500 || timeoutMs >= 1500)
        LOG_FATAL << "time-out " << timeoutMs;
    touch();
    // Without a session, a negative time-out waits as long as a short one.
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::milliseconds(timeoutMs < 0 ? 10 : timeoutMs);
    std::unique_lock<std::mutex> lock(streamMutex_);
    for (;;) {
        std::shared_ptr<KcpStream> stream = stream_;
        if (stream && stream->is_started()) {
            lock.unlock();
            int32_t wait = timeoutMs;
            if (timeoutMs > 0) {
                const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                    deadline - std::chrono::steady_clock::now());
                wait = static_cast<int32_t>(std::max<int64_t>(left.count(), 0));
            }
            std::shared_ptr<std::string> frame = stream->pop_frame(wait, wholeUs);
            // A session being dropped waits for its consumers to let go.
            lock.lock();
            stream.reset();
            lock.unlock();
            streamChanged_.notify_all();
            return frame;
        }
        if (!closed_) {
            lock.unlock();
            reconnect_->bark(200);
            lock.lock();
            if (stream_ != stream)
                continue;
        }
        const std::shared_ptr<KcpStream> seen = stream_;
        if (!streamChanged_.wait_until(lock, deadline, [&] { return stream_ != seen; }))
            return {};
    }
}

uint64_t KcpMonitor::discontinuities() {
    std::shared_ptr<KcpStream> stream;
    {
        std::lock_guard<std::mutex> lock(streamMutex_);
        stream = stream_;
    }
    return sessionBreaks_.load() + (stream ? stream->frames_dropped() : 0);
}

int32_t KcpMonitor::frame_count() {
    std::shared_ptr<KcpStream> stream;
    {
        std::lock_guard<std::mutex> lock(streamMutex_);
        stream = stream_;
    }
    return stream ? stream->frame_count() : 0;
}

MediaLinkStats KcpMonitor::link_stats() {
    MediaLinkStats s;
    const MediaLinkCounters& c = *counters_;
    s.datagrams = c.datagrams.load(std::memory_order_relaxed);
    s.segments = c.segments.load(std::memory_order_relaxed);
    s.duplicateSegments = c.duplicateSegments.load(std::memory_order_relaxed);
    s.lateSegments = c.lateSegments.load(std::memory_order_relaxed);
    s.missingSegments = c.missingSegments.load(std::memory_order_relaxed);
    s.frames = c.frames.load(std::memory_order_relaxed);
    s.sessionAttempts = c.sessionAttempts.load(std::memory_order_relaxed);
    s.sessionsStarted = c.sessionsStarted.load(std::memory_order_relaxed);
    std::shared_ptr<KcpStream> stream;
    {
        std::lock_guard<std::mutex> lock(streamMutex_);
        stream = stream_;
    }
    s.framesDropped = droppedBefore_.load() + (stream ? stream->frames_dropped() : 0);
    std::lock_guard<std::mutex> lock(attemptMutex_);
    if (s.segments == segmentsAtAttempt_)
        s.attemptsWithoutMedia = attemptsWithoutMedia_;
    return s;
}

void KcpMonitor::kick() {
    if (closed_)
        return;
    touch();
    reconnect_->bark(200);
}

void KcpMonitor::stop() {
    reconnect_->set_armed(false);
    std::lock_guard<std::recursive_mutex> lock(sessionMutex_);
    if (!reconnect_->is_armed())
        drop_stream();
}

void KcpMonitor::close() {
    closed_ = true;
    // No watch thread and no bark can start a session after this; a start
    // under way ends first, so its session is the one told to stop below.
    reconnect_->stop();
    streamBreak_->stop();
    reconnect_->join_bark();
    streamBreak_->join_bark();
    std::lock_guard<std::recursive_mutex> lock(sessionMutex_);
    drop_stream();
}

void KcpMonitor::set_address(const std::string& address) {
    {
        std::lock_guard<std::mutex> lock(addressMutex_);
        if (address == address_)
            return;
        address_ = address;
    }
    stop();
    kick();
}

std::string KcpMonitor::address() {
    std::lock_guard<std::mutex> lock(addressMutex_);
    return address_;
}

bool KcpMonitor::has_stream() {
    std::lock_guard<std::mutex> lock(streamMutex_);
    return static_cast<bool>(stream_);
}

void KcpMonitor::start_kcp() {
    if (closed_)
        return;
    reconnect_->set_armed(true);
    std::lock_guard<std::recursive_mutex> lock(sessionMutex_);
    drop_stream();
    if (closed_)
        return;
    std::string address = this->address();
    if (address.empty())
        return;
    counters_->sessionAttempts.fetch_add(1, std::memory_order_relaxed);
    {
        std::lock_guard<std::mutex> lock(attemptMutex_);
        const uint64_t segments = counters_->segments.load(std::memory_order_relaxed);
        if (segments != segmentsAtAttempt_)
            attemptsWithoutMedia_ = 0;
        attemptsWithoutMedia_++;
        segmentsAtAttempt_ = segments;
    }
    auto stream = std::make_shared<KcpStreamDetail>(address, commandPort_, capacity_, counters_);
    std::shared_ptr<WatchDog> reconnect = reconnect_;
    stream->set_recv_notifier([reconnect] { reconnect->feed(); });
    if (!stream->is_started())
        return; // released here: never started, so no stop request
    {
        std::lock_guard<std::mutex> streamLock(streamMutex_);
        stream_ = stream;
        sessionBreaks_.fetch_add(1);
        counters_->sessionsStarted.fetch_add(1, std::memory_order_relaxed);
    }
    streamChanged_.notify_all();
}

int KcpMonitor::drop_stream() {
    std::lock_guard<std::recursive_mutex> lock(sessionMutex_);
    std::shared_ptr<KcpStream> stream;
    {
        std::unique_lock<std::mutex> streamLock(streamMutex_);
        stream = stream_;
        if (!stream)
            return 2;
        // The dropped stream's losses stay counted.
        sessionBreaks_.fetch_add(stream->frames_dropped());
        droppedBefore_.fetch_add(stream->frames_dropped());
        stream_.reset();
        // A consumer waiting on it returns now and lets go, so that the stop
        // request leaves from here, before the next session's start.
        stream->release_waiters();
        streamChanged_.wait_for(streamLock, std::chrono::milliseconds(30),
                                [&] { return stream.use_count() == 1; });
    }
    streamChanged_.notify_all();
    int result = stream.use_count() > 1 ? 1 : 0;
    stream.reset();
    return result;
}
