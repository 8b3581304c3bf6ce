#include "kcpclient/KcpMonitor.h"

#include "kcpclient/LogLine.h"

#include <algorithm>
#include <chrono>
#include <thread>

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
    streamBreak_->feed();
    reconnect_->set_armed(true);
}

std::shared_ptr<std::string> KcpMonitor::fetch(int32_t timeoutMs, int64_t* wholeUs) {
    if (timeoutMs < -500 || timeoutMs >= 1500)
        LOG_FATAL << "time-out " << timeoutMs;
    touch();
    std::shared_ptr<KcpStream> stream;
    {
        std::lock_guard<std::mutex> lock(streamMutex_);
        stream = stream_;
    }
    if (stream && stream->is_started())
        return stream->pop_frame(timeoutMs, wholeUs);
    reconnect_->bark(200);
    int32_t pause = timeoutMs < 0 ? 10 : std::min(timeoutMs, 10);
    std::this_thread::sleep_for(std::chrono::milliseconds(pause));
    return {};
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
    touch();
    reconnect_->bark(200);
}

void KcpMonitor::stop() {
    reconnect_->set_armed(false);
    std::lock_guard<std::recursive_mutex> lock(sessionMutex_);
    if (!reconnect_->is_armed())
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
    reconnect_->set_armed(true);
    std::lock_guard<std::recursive_mutex> lock(sessionMutex_);
    drop_stream();
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
    std::lock_guard<std::mutex> streamLock(streamMutex_);
    stream_ = stream;
    sessionBreaks_.fetch_add(1);
    counters_->sessionsStarted.fetch_add(1, std::memory_order_relaxed);
}

int KcpMonitor::drop_stream() {
    std::lock_guard<std::recursive_mutex> lock(sessionMutex_);
    std::shared_ptr<KcpStream> stream;
    {
        std::lock_guard<std::mutex> streamLock(streamMutex_);
        stream = stream_;
        if (!stream)
            return 2;
        // The dropped stream's losses stay counted.
        sessionBreaks_.fetch_add(stream->frames_dropped());
        droppedBefore_.fetch_add(stream->frames_dropped());
        stream_.reset();
    }
    for (int i = 0; i < 3 && stream.use_count() > 1; i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    int result = stream.use_count() > 1 ? 1 : 0;
    stream.reset();
    return result;
}
