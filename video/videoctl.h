#pragma once

#include "hub/WorkerThread.h"
#include "kcpclient/LinkCounters.h"
#include "video/DecoderHealth.h"
#include "video/FrameRing.h"
#include "video/PipelineStats.h"
#include "video/SinkList.h"
#include "video/UnitQueue.h"
#include "video/VideoDecoder.h"
#include "video/VideoPicture.h"
#include "video/VideoUnit.h"

#include <QObject>

#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>

class KcpWrapper;

// The decoder controller: a source of H.264 units with unit sinks, and a
// source of pictures with picture sinks.
//
//   fetch thread    pulls units from the media client (its 100 ms pull keeps
//                   the media session alive), admits them through the fetch
//                   gate and hands each to the unit sinks; the first unit
//                   sink is the decoder's queue.
//   decode thread   sleeps until a unit is queued, decodes it and publishes
//                   the picture into the ring of eight slots. It owns the
//                   decoder: asked to rebuild it, it does so itself, between
//                   two units.
//   display thread  sleeps until a picture is published and hands it to the
//                   picture sinks: the decoder's planes with the target boxes
//                   to draw over them, and an R, G, B conversion with the
//                   boxes drawn in for the sinks that want one; the first
//                   picture sink is the video widget, which takes the planes.
//
// No thread polls: each sleeps on what it waits for and is woken when it
// comes (or for a pause or a stop). One instance per process, never destroyed.
class videoctl : public QObject {
    Q_OBJECT
public:
    // Units that may wait for the decoder before it skips to the next key frame.
    static constexpr size_t kDecodeQueueCapacity = 16;

    static videoctl* instance();

    // Allocates the picture slots (once) and starts the three threads. True
    // when they run.
    bool start();
    // Asks the decode thread to build a new decoder for the hub's decode mode
    // and returns at once: the decode thread does it before the next unit,
    // and the new decoder starts at the next key frame. `retryHardware`: the
    // hardware device types that failed before are tried again.
    void rebuildDecoder(bool retryHardware);
    // Stops handing units on and asks for a new decoder (rebuildDecoder);
    // returns at once. The pipeline stays paused until resume().
    void pauseAndReinit();
    void resume();
    // Ends the three threads and joins them, and closes the media link for
    // good (the program is going).
    void stop();

    // What makes each decoder (an H264Decoder by default; an empty factory
    // restores it). Used from the next rebuild on.
    void setDecoderFactory(DecoderFactory factory);
    // Replaces the media client (KcpWrapper::instance() by default); call
    // before start().
    void setMediaClient(std::shared_ptr<KcpWrapper> client);
    // The hardware frame format (an AVPixelFormat, -1: none) whose surfaces
    // the screen imports itself: the decoder hands those out without the
    // copy into system memory, and the display stage copies them only for
    // the sinks that read pixels. The video widget says so once its OpenGL
    // context is made.
    void setScreenSurfaces(int pixelFormat);
    // The state of the control link: while it is down nothing is fetched or
    // shown. The program hands it in from the connection supervisor.
    void setLinkUp(bool up);
    bool linkUp() const { return m_linkUp.load(); }

    // Sinks may be added and removed at any time, also while the video runs.
    void addUnitSink(std::shared_ptr<UnitSink> sink);
    void removeUnitSink(const std::shared_ptr<UnitSink>& sink);
    void addPictureSink(std::shared_ptr<PictureSink> sink);
    void removePictureSink(const std::shared_ptr<PictureSink>& sink);

    PipelineStats stats() const;
    // What the media client counted of its link.
    MediaLinkStats linkStats();

    bool allocFrames();

public slots:
    void slot_randerFinished(bool b);
    void slot_resetVideoKcpClient();

private:
    class DecoderInput;
    class WidgetOutput;

    videoctl();
    void kcpFetchThread();
    void kcpDecDispThread();
    void kcpDisplayThread();

    std::shared_ptr<KcpWrapper> mediaClient();
    // Decode thread: a new decoder from the factory, set up for the hub's mode.
    void initDecoder(bool retryHardware);
    void releaseDecoder();
    // Publishes what decodes now, for stats().
    void noteDecoder();
    void breakStream(StreamBreak reason);
    void showPicture(AVFrame* picture, const PictureMeta& meta);

    WorkerThread m_fetchWorker;
    WorkerThread m_decodeWorker;
    WorkerThread m_displayWorker;
    std::atomic<bool> m_fetchPaused{false};
    std::atomic<bool> m_linkUp{false};
    std::atomic<int> m_screenSurfaces{-1};
    // The first unit admitted since the link last came up: the widget shows
    // no picture from before it.
    std::atomic<uint64_t> m_shownFrom{0};
    bool m_framesAllocated = false;

    // The decoder and what belongs to it are the decode thread's alone.
    std::unique_ptr<VideoDecoder> m_decoder;
    DecoderHealth m_health;
    // The decoder failed on the stream: it is replaced at the next key frame.
    bool m_replacePending = false;
    // Rebuilds asked of the decode thread (kRebuild, kRetryHardware bits).
    std::atomic<int> m_rebuildAsked{0};
    // What decodes now (VideoDecoder::name()) and the hardware not used.
    std::atomic<const char*> m_decoderName{"software"};
    mutable std::mutex m_statusMutex;
    std::string m_unusedHardware;
    AVFrame* m_picture = nullptr; // decoder output before it moves into a slot

    UnitQueue m_kcpStrQue{kDecodeQueueCapacity};
    FrameRing m_kcpFrames;
    // What the decode thread knows of the units it has taken, by sequence.
    std::array<PictureMeta, 32> m_unitMeta{};

    SinkList<UnitSink> m_unitSinks;
    SinkList<PictureSink> m_pictureSinks;
    std::shared_ptr<DecoderInput> m_decoderInput;
    std::shared_ptr<WidgetOutput> m_widgetOutput;

    struct Counters {
        std::atomic<uint64_t> unitsReceived{0};
        std::atomic<uint64_t> bytesReceived{0};
        std::atomic<uint64_t> unitsAdmitted{0};
        std::atomic<uint64_t> unitsGated{0};
        std::atomic<uint64_t> unitsDecoded{0};
        std::atomic<uint64_t> decodeErrors{0};
        std::atomic<uint64_t> picturesDecoded{0};
        std::atomic<uint64_t> picturesBusy{0};
        std::atomic<uint64_t> picturesShown{0};
        std::atomic<uint64_t> decodeMicros{0};
        std::atomic<uint64_t> decoderSwitches{0};
        std::atomic<int64_t> lastPictureUs{0};
        std::atomic<int> width{0};
        std::atomic<int> height{0};
    } m_counters;

    std::mutex m_seamMutex;
    std::shared_ptr<KcpWrapper> m_mediaClient;
    DecoderFactory m_decoderFactory;
};
