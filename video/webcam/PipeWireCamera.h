#pragma once

#include "hub/WorkerThread.h"
#include "video/webcam/PictureLayout.h"
#include "video/webcam/StreamRate.h"
#include "video/webcam/VirtualCamera.h"

#include <atomic>
#include <mutex>

struct pw_loop;
struct spa_source;

// The camera as a PipeWire node (media.class Video/Source, media.role
// Camera) that browsers, the camera portal and OBS list. Its thread
// ("orun-webcam") runs a PipeWire loop of its own: it connects to the
// daemon, offers I420, YUY2 and BGRx at the picture's size once the first
// picture came, and offers the new size again when the picture's size
// changes. onPicture() only keeps the picture (its matrix, no copy) and wakes
// the thread; the copy into a buffer is made there, once, and only while a
// consumer streams. A consumer that connects gets the picture held at once.
class PipeWireCamera : public VirtualCamera {
public:
    PipeWireCamera(WebcamSettings settings, CaptureReport report);
    ~PipeWireCamera() override;
    PipeWireCamera(const PipeWireCamera&) = delete;
    PipeWireCamera& operator=(const PipeWireCamera&) = delete;

    bool start() override;
    void stop(int limitMs = 2000) override;
    WebcamStats stats() const override;

    bool wantsPicture() const override { return true; }
    // Without boxes the decoder's planes are copied, not the R, G, B picture
    // converted back; so the display stage never makes a picture without
    // boxes for this sink (a copy of every picture while boxes are shown).
    bool wantsDecodedFrame() const override { return !m_settings.withBoxes; }
    void onPicture(const VideoPicture& picture) override;

    const WebcamSettings& settings() const { return m_settings; }

private:
    struct Session;
    void run();
    void tell(CaptureEvent::Kind kind, const std::string& reason = std::string(), int number = 0);

    const WebcamSettings m_settings;
    const CaptureReport m_report;
    WorkerThread m_worker;
    bool m_started = false;

    // Shared with the display thread.
    mutable std::mutex m_mutex;
    VideoPicture m_latest;
    bool m_fresh = false;
    StreamRate m_rate;
    pw_loop* m_loop = nullptr;    // while the thread's loop runs
    spa_source* m_wake = nullptr; // its event that a picture came (or stop)

    std::atomic<uint64_t> m_pictures{0};
    std::atomic<uint64_t> m_sent{0};
    std::atomic<uint64_t> m_dropped{0};
    std::atomic<uint64_t> m_formats{0};
    std::atomic<bool> m_streaming{false};
    std::atomic<int> m_offeredRate{0};
};
