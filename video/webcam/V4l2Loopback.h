#pragma once

#include "hub/WorkerThread.h"
#include "video/webcam/PictureLayout.h"
#include "video/webcam/VirtualCamera.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

// The pictures written to a v4l2loopback device with libavdevice's V4L2
// output (FFmpeg's video4linux2 muxer, raw YUYV at the picture's size): a
// picture sink whose thread ("orun-v4l2") converts the latest picture and
// writes it; pictures that come while it writes are replaced by the newer
// one, so the video never waits. A new picture size opens the device again
// at that size. Reports OutputOpened once the device takes pictures, and
// OutputFailed (reason) when it cannot be opened or written, then Finished.
class V4l2LoopbackCamera : public VirtualCamera {
public:
    V4l2LoopbackCamera(WebcamSettings settings, CaptureReport report);
    ~V4l2LoopbackCamera() override;
    V4l2LoopbackCamera(const V4l2LoopbackCamera&) = delete;
    V4l2LoopbackCamera& operator=(const V4l2LoopbackCamera&) = delete;

    bool start() override;
    void stop(int limitMs = 2000) override;
    WebcamStats stats() const override;

    bool wantsCleanPicture() const override { return !m_settings.withBoxes; }
    void onPicture(const VideoPicture& picture) override;

private:
    void run();
    void tell(CaptureEvent::Kind kind, const std::string& reason = std::string());

    const WebcamSettings m_settings;
    const CaptureReport m_report;
    WorkerThread m_worker;
    bool m_started = false;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    VideoPicture m_latest;
    bool m_fresh = false;
    bool m_stopping = false;
    std::atomic<uint64_t> m_pictures{0};
    std::atomic<uint64_t> m_sent{0};
    std::atomic<uint64_t> m_formats{0};
    std::atomic<bool> m_open{false};
};
