#include "kcpclient/KcpWrapperDetail.h"

#include "kcpclient/LogLine.h"
#include "kcpclient/SockAddrBoost.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <limits>

#define LOG_SOURCE "kcpclient/KcpWrapper"

namespace {

const char kSideInfoPrefix[] = {0, 0, 0, 1, 0x0D};
const char kContainerPrefix[] = {0, 0, 0, 1, 0x18};

bool has_prefix(const std::string& s, const char (&prefix)[5], size_t at = 0) {
    return s.size() >= at + 5 && std::memcmp(s.data() + at, prefix, 5) == 0;
}

int64_t read_i64(const unsigned char* p) {
    uint64_t v = 0;
    for (int i = 7; i >= 0; i--)
        v = (v << 8) | p[i];
    return static_cast<int64_t>(v);
}

} // namespace

std::shared_ptr<KcpWrapper> KcpWrapper::instance() {
    static std::shared_ptr<KcpWrapper> wrapper = std::make_shared<KcpWrapperDetail>();
    return wrapper;
}

KcpWrapperDetail::KcpWrapperDetail(uint16_t commandPort, uint32_t capacity)
    : monitor_(commandPort, capacity), containers_(std::make_shared<Queue>()),
      videos_(std::make_shared<Queue>()), records_(std::make_shared<std::deque<MediaDataTime>>()) {}

KcpWrapperDetail::~KcpWrapperDetail() {
    records_.reset();
    videos_.reset();
    containers_.reset();
    sideInfo_.reset();
}

void KcpWrapperDetail::sort_frame(const std::shared_ptr<std::string>& frame, int64_t wholeUs) {
    if (has_prefix(*frame, kSideInfoPrefix)) {
        auto info = std::make_shared<std::string>(frame->substr(5));
        std::lock_guard<std::recursive_mutex> lock(sideInfoMutex_);
        sideInfo_ = info;
        return;
    }
    bool container = has_prefix(*frame, kContainerPrefix);
    std::recursive_mutex& mutex = container ? containersMutex_ : videosMutex_;
    std::lock_guard<std::recursive_mutex> lock(mutex);
    Queue& queue = container ? *containers_ : *videos_;
    queue.emplace_back(frame, wholeUs);
    while (queue.size() > kFrameQueueMax) {
        queue.pop_front();
        if (!container)
            videosDropped_.fetch_add(1);
    }
}

MediaDataTime KcpWrapperDetail::split_time_trailer(const std::shared_ptr<std::string>& frame) {
    MediaDataTime result{frame, 0};
    if (!frame || frame->size() < 16)
        return result;
    const std::string& f = *frame;
    size_t at = f.size() - 16;
    const auto* t = reinterpret_cast<const unsigned char*>(f.data() + at);
    // 00 00 00 01 18 | type 3 | length 8 (little-endian) | 8-byte time
    if (!has_prefix(f, kContainerPrefix, at) || t[5] != 3 || t[6] != 8 || t[7] != 0)
        return result;
    result.data = std::make_shared<std::string>(f, 0, at);
    result.time = read_i64(t + 8);
    return result;
}

std::vector<MediaDataTime> KcpWrapperDetail::parse_container(const std::string& frame) {
    std::vector<MediaDataTime> entries;
    const auto* p = reinterpret_cast<const unsigned char*>(frame.data());
    size_t at = 5;
    while (at < frame.size()) {
        if (frame.size() - at < 3)
            break;
        unsigned type = p[at];
        size_t length = p[at + 1] | (p[at + 2] << 8);
        if (frame.size() - at - 3 < length)
            break; // truncated record
        const unsigned char* value = p + at + 3;
        if (type == 1) {
            if (entries.empty() || entries.back().data)
                entries.emplace_back();
            entries.back().data =
                std::make_shared<std::string>(reinterpret_cast<const char*>(value), length);
        } else if (type == 2 && length == 8) {
            if (entries.empty() || entries.back().time != 0)
                entries.emplace_back();
            entries.back().time = read_i64(value);
        } else {
            break;
        }
        at += 3 + length;
    }
    return entries;
}

std::shared_ptr<std::string> KcpWrapperDetail::take_frame(const std::shared_ptr<Queue>& queue,
                                                          std::recursive_mutex& mutex,
                                                          uint32_t timeoutMs, bool take,
                                                          int64_t* wholeUs) {
    monitor_.touch();
    auto front = [&]() -> std::shared_ptr<std::string> {
        std::lock_guard<std::recursive_mutex> lock(mutex);
        if (queue->empty())
            return {};
        auto f = queue->front();
        if (take)
            queue->pop_front();
        if (wholeUs)
            *wholeUs = f.second;
        return f.first;
    };
    if (auto f = front())
        return f;
    // Unsigned on purpose: a negative time-out becomes huge and is refused as
    // the programming fault it is.
    if (timeoutMs > static_cast<uint32_t>(std::numeric_limits<int32_t>::max()))
        LOG_FATAL << "time-out " << static_cast<int32_t>(timeoutMs);
    // One wait to the deadline, ended early by a frame; a frame for the other
    // queue is filed and the wait goes on for what is left. The monitor takes
    // less than kFetchMaxMs at a time.
    constexpr uint32_t kFetchMaxMs = 1499;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        const auto wait =
            static_cast<int32_t>(std::min<int64_t>(std::max<int64_t>(left, 0), kFetchMaxMs));
        int64_t whole = 0;
        if (auto frame = monitor_.fetch(wait, &whole))
            sort_frame(frame, whole);
        if (auto f = front())
            return f;
        if (std::chrono::steady_clock::now() >= deadline)
            return {};
    }
}

MediaDataTime KcpWrapperDetail::take_record(uint32_t timeoutMs, bool take) {
    (void)take;
    auto container = take_frame(containers_, containersMutex_, timeoutMs, true);
    std::vector<MediaDataTime> entries;
    if (container)
        entries = parse_container(*container);
    std::lock_guard<std::recursive_mutex> lock(recordsMutex_);
    for (auto& e : entries)
        records_->push_back(std::move(e));
    while (records_->size() > kRecordQueueMax)
        records_->pop_front();
    if (records_->empty())
        return {};
    MediaDataTime front = records_->front();
    if (take)
        records_->pop_front();
    return front;
}

MediaDataTime KcpWrapperDetail::pop_video(uint32_t timeoutMs) {
    int64_t whole = 0;
    auto frame = take_frame(videos_, videosMutex_, timeoutMs, true, &whole);
    if (!frame)
        return {};
    MediaDataTime result = split_time_trailer(frame);
    result.wholeUs = whole;
    return result;
}

MediaDataTime KcpWrapperDetail::peek_video(uint32_t timeoutMs) {
    int64_t whole = 0;
    auto frame = take_frame(videos_, videosMutex_, timeoutMs, false, &whole);
    if (!frame)
        return {};
    MediaDataTime result = split_time_trailer(frame);
    result.wholeUs = whole;
    return result;
}

uint64_t KcpWrapperDetail::video_discontinuities() {
    return monitor_.discontinuities() + videosDropped_.load();
}

MediaLinkStats KcpWrapperDetail::link_stats() {
    MediaLinkStats s = monitor_.link_stats();
    s.framesDropped += videosDropped_.load();
    return s;
}

MediaDataTime KcpWrapperDetail::pop_record(uint32_t timeoutMs) {
    return take_record(timeoutMs, true);
}

MediaDataTime KcpWrapperDetail::peek_record(uint32_t timeoutMs) {
    return take_record(timeoutMs, false);
}

std::shared_ptr<std::string> KcpWrapperDetail::pop_video_data(uint32_t timeoutMs) {
    return pop_video(timeoutMs).data;
}

std::shared_ptr<std::string> KcpWrapperDetail::peek_video_data(uint32_t timeoutMs) {
    return peek_video(timeoutMs).data;
}

std::shared_ptr<std::string> KcpWrapperDetail::pop_record_data(uint32_t timeoutMs) {
    return pop_record(timeoutMs).data;
}

std::shared_ptr<std::string> KcpWrapperDetail::peek_record_data(uint32_t timeoutMs) {
    return peek_record(timeoutMs).data;
}

std::shared_ptr<std::string> KcpWrapperDetail::latest_side_info() {
    monitor_.touch();
    std::lock_guard<std::recursive_mutex> lock(sideInfoMutex_);
    return sideInfo_;
}

int32_t KcpWrapperDetail::frame_count() {
    monitor_.touch();
    return monitor_.frame_count();
}

void KcpWrapperDetail::set_address(const std::string& address) {
    monitor_.set_address(address);
}

void KcpWrapperDetail::kick() {
    monitor_.kick();
}

void KcpWrapperDetail::stop() {
    monitor_.stop();
}

void KcpWrapperDetail::close() {
    monitor_.close();
}

bool KcpWrapperDetail::auto_route() {
    auto route = select_camera_route();
    if (route.second.empty())
        return false;
    monitor_.set_address(route.second);
    return true;
}

size_t KcpWrapperDetail::video_queue_size() {
    std::lock_guard<std::recursive_mutex> lock(videosMutex_);
    return videos_->size();
}

size_t KcpWrapperDetail::container_queue_size() {
    std::lock_guard<std::recursive_mutex> lock(containersMutex_);
    return containers_->size();
}
