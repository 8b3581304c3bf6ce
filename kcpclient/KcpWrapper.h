#pragma once

#include "kcpclient/LinkCounters.h"

#include <cstdint>
#include <memory>
#include <string>

// One media record handed to consumers: data (may be empty) and its time
// (0 when the frame carried none). Video frames also tell when the client had
// them whole (steady-clock microseconds, frame_clock_us; 0 when unknown).
struct MediaDataTime {
    std::shared_ptr<std::string> data;
    int64_t time = 0;
    int64_t wholeUs = 0;
};

// The media client: the only way the rest of the program reaches the media
// link. Time-outs are in milliseconds and must lie in 0..8999.
class KcpWrapper {
public:
    static std::shared_ptr<KcpWrapper> instance();

    virtual MediaDataTime pop_video(uint32_t timeoutMs) = 0;
    virtual MediaDataTime peek_video(uint32_t timeoutMs) = 0;
    virtual MediaDataTime pop_record(uint32_t timeoutMs) = 0;
    virtual MediaDataTime peek_record(uint32_t timeoutMs) = 0;
    virtual std::shared_ptr<std::string> pop_video_data(uint32_t timeoutMs) = 0;
    virtual std::shared_ptr<std::string> peek_video_data(uint32_t timeoutMs) = 0;
    virtual std::shared_ptr<std::string> pop_record_data(uint32_t timeoutMs) = 0;
    virtual std::shared_ptr<std::string> peek_record_data(uint32_t timeoutMs) = 0;
    virtual std::shared_ptr<std::string> latest_side_info() = 0;
    virtual int32_t frame_count() = 0;
    virtual void set_address(const std::string& address) = 0;
    virtual void kick() = 0;
    virtual void stop() = 0;
    // Ends the media link for good, when the program closes: the camera is
    // told to stop the session and nothing opens one again.
    virtual void close() { stop(); }
    virtual bool auto_route() = 0;
    // Counts the events after which the next video frame need not continue
    // the one popped before it: a new media session, or frames that a full
    // queue let go. Consumers compare it between frames; only a change counts.
    virtual uint64_t video_discontinuities() { return 0; }
    // What the client counted of its link so far (all zero when it counts nothing).
    virtual MediaLinkStats link_stats() { return {}; }
    virtual ~KcpWrapper() = default;
};
