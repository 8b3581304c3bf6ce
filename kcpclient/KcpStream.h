#pragma once

#include "kcpclient/FrameQueue.h"
#include "kcpclient/KcpCmdOp.h"
#include "kcpclient/LinkCounters.h"
#include "kcpclient/SockUdpBoost.h"
#include "kcpclient/ikcp.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

// One media conversation with the camera: opens it with a start request,
// and tells the camera to stop when it ends.
class KcpStream {
public:
    // One whole frame, waiting up to timeoutMs; `wholeUs`, when given,
    // receives the time it became whole (frame_clock_us).
    virtual std::shared_ptr<std::string> pop_frame(int32_t timeoutMs,
                                                   int64_t* wholeUs = nullptr) = 0;
    virtual int32_t frame_count() = 0;
    // Frames the full queue let go so far.
    virtual uint64_t frames_dropped() const = 0;
    // Ends the waits of pop_frame, now and later: the session is being let go.
    virtual void release_waiters() = 0;

    bool is_started() const { return started_; }
    uint16_t conversation() const { return conv_; }
    const std::string& local_address() const { return localAddress_; }
    const std::string& camera_address() const { return cameraAddress_; }
    // The bound local media port (0 before start).
    uint16_t media_port() const;

    KcpStream(const KcpStream&) = delete;
    KcpStream& operator=(const KcpStream&) = delete;

protected:
    KcpStream(const std::string& cameraAddress, uint16_t commandPort);
    virtual ~KcpStream();

    bool start();
    void stop();

    std::shared_ptr<UdpSocket> mediaSocket_;
    uint16_t conv_ = 0;
    std::string localAddress_;
    std::string cameraAddress_;
    bool started_ = false;
    std::shared_ptr<KcpCmdOp> cmdOp_;
};

// The session with its engine, receive thread and frame queue. Always one
// shared object, created whole: the constructor runs the start sequence.
class KcpStreamDetail : public KcpStream {
public:
    // Size of the receive buffer asked for on the media socket.
    static constexpr int kMediaReceiveBuffer = 4 << 20;

    // `counters`, when given, is told of every datagram, segment and frame.
    KcpStreamDetail(const std::string& cameraAddress, uint16_t commandPort, uint32_t capacity,
                    std::shared_ptr<MediaLinkCounters> counters = nullptr);
    ~KcpStreamDetail() override;

    std::shared_ptr<std::string> pop_frame(int32_t timeoutMs, int64_t* wholeUs = nullptr) override;
    int32_t frame_count() override;
    uint64_t frames_dropped() const override;
    void release_waiters() override;
    void set_recv_notifier(std::function<void()> notifier);

private:
    void receive_loop();

    FrameQueue<std::shared_ptr<std::string>> queue_;
    std::shared_ptr<MediaLinkCounters> counters_;
    ikcpcb* kcp_ = nullptr;
    std::function<void()> notifier_;
    std::mutex notifierMutex_;
    std::atomic<bool> running_{false};
    std::shared_ptr<std::thread> thread_;
};

// Milliseconds since a process-wide steady origin (fixed at first use).
uint32_t kcp_clock_ms();
// A port drawn uniformly from 10000..65535 by the process-wide generator.
uint16_t random_media_port();
