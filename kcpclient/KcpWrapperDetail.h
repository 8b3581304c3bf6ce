#pragma once

#include "kcpclient/KcpMonitor.h"
#include "kcpclient/KcpWrapper.h"

#include <atomic>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

// The media client behind KcpWrapper::instance(): sorts the camera's frames
// into video frames, container frames (timed records) and side information,
// and hands them to consumers.
class KcpWrapperDetail : public KcpWrapper {
public:
    static constexpr size_t kFrameQueueMax = 100;
    static constexpr size_t kRecordQueueMax = 150;

    explicit KcpWrapperDetail(uint16_t commandPort = 11155, uint32_t capacity = 100);
    ~KcpWrapperDetail() override;

    MediaDataTime pop_video(uint32_t timeoutMs) override;
    MediaDataTime peek_video(uint32_t timeoutMs) override;
    MediaDataTime pop_record(uint32_t timeoutMs) override;
    MediaDataTime peek_record(uint32_t timeoutMs) override;
    std::shared_ptr<std::string> pop_video_data(uint32_t timeoutMs) override;
    std::shared_ptr<std::string> peek_video_data(uint32_t timeoutMs) override;
    std::shared_ptr<std::string> pop_record_data(uint32_t timeoutMs) override;
    std::shared_ptr<std::string> peek_record_data(uint32_t timeoutMs) override;
    std::shared_ptr<std::string> latest_side_info() override;
    int32_t frame_count() override;
    void set_address(const std::string& address) override;
    void kick() override;
    void stop() override;
    void close() override;
    bool auto_route() override;
    uint64_t video_discontinuities() override;
    MediaLinkStats link_stats() override;

    // Files one frame by its first five bytes; `wholeUs` is when it became whole.
    void sort_frame(const std::shared_ptr<std::string>& frame, int64_t wholeUs = 0);
    // A video frame without its 16-byte time trailer, and the trailer's time.
    static MediaDataTime split_time_trailer(const std::shared_ptr<std::string>& frame);
    // The records of a container frame (after its 5-byte prefix).
    static std::vector<MediaDataTime> parse_container(const std::string& frame);

    KcpMonitor& monitor() { return monitor_; }
    size_t video_queue_size();
    size_t container_queue_size();

private:
    // A frame and the time it became whole.
    using Queue = std::deque<std::pair<std::shared_ptr<std::string>, int64_t>>;

    std::shared_ptr<std::string> take_frame(const std::shared_ptr<Queue>& queue,
                                            std::recursive_mutex& mutex, uint32_t timeoutMs,
                                            bool take, int64_t* wholeUs = nullptr);
    MediaDataTime take_record(uint32_t timeoutMs, bool take);

    KcpMonitor monitor_;
    std::shared_ptr<std::string> sideInfo_;
    std::recursive_mutex sideInfoMutex_;
    std::shared_ptr<Queue> containers_;
    std::recursive_mutex containersMutex_;
    std::shared_ptr<Queue> videos_;
    std::recursive_mutex videosMutex_;
    std::atomic<uint64_t> videosDropped_{0};
    std::shared_ptr<std::deque<MediaDataTime>> records_;
    std::recursive_mutex recordsMutex_;
};
