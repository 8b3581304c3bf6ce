#pragma once

#include "hub/WorkerThread.h"
#include "video/VideoPicture.h"
#include "video/capture/CaptureEvent.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>

// Where and how a snapshot is written.
struct SnapshotSettings {
    std::string folder;
    std::string format = "png"; // "png" or "jpg"
    // With the subject boxes drawn (also when the screen hides them).
    bool withBoxes = false;
    std::string prefix = "orunapp";
};

// Saves the current picture on the PC: a picture sink that wants a picture
// only while a snapshot is asked for, so it costs nothing otherwise. The
// picture is encoded (PNG, or JPEG) and written by the taker's own thread
// ("orun-snapshot"); the display thread only hands the matrix over.
class SnapshotTaker : public PictureSink {
public:
    // A request that no picture answers within this time fails.
    static constexpr std::chrono::milliseconds kPictureTimeout{3000};

    explicit SnapshotTaker(CaptureReport report,
                           std::chrono::milliseconds pictureTimeout = kPictureTimeout);
    ~SnapshotTaker() override;
    SnapshotTaker(const SnapshotTaker&) = delete;
    SnapshotTaker& operator=(const SnapshotTaker&) = delete;

    // Takes the next picture; false while an earlier request is still open.
    bool request(const SnapshotSettings& settings);
    bool busy() const;
    // Ends the thread (a pending request is dropped).
    void stop();

    bool wantsPicture() const override { return m_wanted.load(); }
    bool wantsCleanPicture() const override { return m_wanted.load() && !m_withBoxes.load(); }
    void onPicture(const VideoPicture& picture) override;

    // The picture as the settings want it, R, G, B, at the picture's own size.
    static cv::Mat chooseImage(const VideoPicture& picture, bool withBoxes);
    // Encodes and writes `rgb`; the event tells where it went or why not.
    static CaptureEvent save(const cv::Mat& rgb, const SnapshotSettings& settings);

private:
    void run();

    const CaptureReport m_report;
    const std::chrono::milliseconds m_pictureTimeout;
    WorkerThread m_worker;
    std::atomic<bool> m_wanted{false};
    std::atomic<bool> m_withBoxes{false};
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_pending = false;
    bool m_hasPicture = false;
    bool m_stopping = false;
    SnapshotSettings m_settings;
    VideoPicture m_picture;
    std::chrono::steady_clock::time_point m_deadline;
};
