#include "video/videoctl.h"

#include "hub/OrunAppFace.h"
#include "kcpclient/KcpWrapper.h"
#include "video/FetchGate.h"
#include "video/LatencyTrace.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

#include <QDebug>

#include <opencv2/core/utility.hpp>

#include <algorithm>
#include <chrono>

namespace {

using Clock = std::chrono::steady_clock;

// The pull from the media client: also what keeps the media session alive.
constexpr uint32_t kPopTimeoutMs = 100;
constexpr int kStopWaitMs = 1000;
// How long a pause waits for the decode and display threads to acknowledge.
constexpr auto kPauseWait = std::chrono::milliseconds(2000);

int64_t elapsedMicros(Clock::time_point since) {
    return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - since).count();
}

} // namespace

// The decoder's place among the unit sinks: queues the units for the decode
// thread, which may fall behind without holding up the fetch thread.
class videoctl::DecoderInput : public UnitSink {
public:
    explicit DecoderInput(UnitQueue& queue) : m_queue(queue) {}
    void onUnit(const VideoUnit& unit) override { m_queue.push(unit); }
    void onStreamBreak(StreamBreak) override { m_queue.resync(); }

private:
    UnitQueue& m_queue;
};

// The video widget's place among the picture sinks: emits the picture through
// the hub while the camera is linked. The widget paces it through
// signal_randerFinished: false when a picture arrives, true once painted.
class videoctl::WidgetOutput : public PictureSink {
public:
    WidgetOutput(const std::atomic<bool>& linkUp, const std::atomic<uint64_t>& shownFrom)
        : m_linkUp(linkUp), m_shownFrom(shownFrom) {}
    bool wantsPicture() const override { return m_ready.load(); }
    void onPicture(const VideoPicture& picture) override {
        // Nothing from before the link last came up: such a picture could
        // replace the stop-video picture or show a moment long gone.
        if (!m_linkUp.load() || picture.sequence < m_shownFrom.load())
            return;
        latencytrace::pictureShown(picture.rgb.data, picture.cameraTime);
        emit OrunAppFace::instance()->signal_showVideoFrame(picture.rgb);
    }
    void setReady(bool ready) { m_ready = ready; }

private:
    const std::atomic<bool>& m_linkUp;
    const std::atomic<uint64_t>& m_shownFrom;
    std::atomic<bool> m_ready{false};
};

videoctl* videoctl::instance() {
    // Never deleted: its threads may run until the process ends.
    static videoctl* controller = new videoctl();
    return controller;
}

videoctl::videoctl()
    : QObject(nullptr), m_decoderInput(std::make_shared<DecoderInput>(m_kcpStrQue)),
      m_widgetOutput(std::make_shared<WidgetOutput>(m_linkUp, m_shownFrom)) {
    avformat_network_init();
    m_unitSinks.add(m_decoderInput);
    m_pictureSinks.add(m_widgetOutput);
}

void videoctl::setMediaClient(std::shared_ptr<KcpWrapper> client) {
    std::lock_guard<std::mutex> guard(m_seamMutex);
    m_mediaClient = std::move(client);
}

std::shared_ptr<KcpWrapper> videoctl::mediaClient() {
    std::lock_guard<std::mutex> guard(m_seamMutex);
    if (!m_mediaClient)
        m_mediaClient = KcpWrapper::instance();
    return m_mediaClient;
}

void videoctl::setLinkUp(bool up) {
    m_linkUp = up;
    m_fetchWorker.notify();
}

void videoctl::addUnitSink(std::shared_ptr<UnitSink> sink) {
    m_unitSinks.add(std::move(sink));
}

void videoctl::removeUnitSink(const std::shared_ptr<UnitSink>& sink) {
    m_unitSinks.remove(sink);
}

void videoctl::addPictureSink(std::shared_ptr<PictureSink> sink) {
    m_pictureSinks.add(std::move(sink));
}

void videoctl::removePictureSink(const std::shared_ptr<PictureSink>& sink) {
    m_pictureSinks.remove(sink);
}

PipelineStats videoctl::stats() const {
    PipelineStats s;
    s.unitsReceived = m_counters.unitsReceived.load();
    s.bytesReceived = m_counters.bytesReceived.load();
    s.unitsAdmitted = m_counters.unitsAdmitted.load();
    s.unitsGated = m_counters.unitsGated.load();
    s.unitsQueueFull = m_kcpStrQue.dropped();
    s.unitsDecoded = m_counters.unitsDecoded.load();
    s.decodeErrors = m_counters.decodeErrors.load();
    s.picturesDecoded = m_counters.picturesDecoded.load();
    s.picturesDropped = m_kcpFrames.dropped();
    s.picturesBusy = m_counters.picturesBusy.load();
    s.picturesShown = m_counters.picturesShown.load();
    s.decodeMicros = m_counters.decodeMicros.load();
    s.lastPictureUs = m_counters.lastPictureUs.load();
    s.width = m_counters.width.load();
    s.height = m_counters.height.load();
    s.decodeQueueDepth = m_kcpStrQue.size();
    s.decodeQueueMax = m_kcpStrQue.maxDepth();
    s.decoder = m_decoderName.load();
    s.decoderSwitches = m_counters.decoderSwitches.load();
    return s;
}

MediaLinkStats videoctl::linkStats() {
    return mediaClient()->link_stats();
}

bool videoctl::allocFrames() {
    if (!m_kcpFrames.allocate())
        return false;
    m_framesAllocated = true;
    return true;
}

bool videoctl::start() {
    if (!m_framesAllocated && !allocFrames())
        return false;
    // Already running: a second set of workers would fight over the queue
    // and the ring.
    if (m_fetchWorker.active() || m_decodeWorker.active() || m_displayWorker.active())
        return true;
    // The pipeline's stages already run side by side on threads of their
    // own; OpenCV's worker pool would only add threads that spin between the
    // display thread's conversions (measured: a third of its CPU time at
    // 120 pictures a second, and a longer wait for the picture).
    cv::setNumThreads(1);
    m_fetchPaused = false;
    m_kcpStrQue.interrupt(false);
    m_kcpFrames.interrupt(false);
    m_displayWorker.start("orun-display", [this] { kcpDisplayThread(); });
    m_decodeWorker.start("orun-decode", [this] { kcpDecDispThread(); });
    m_fetchWorker.start("orun-fetch", [this] { kcpFetchThread(); });
    return true;
}

void videoctl::initDecoder() {
    m_kcpStrQue.clear();
    m_kcpFrames.clear();
    std::lock_guard<std::mutex> guard(m_decoderMutex);
    m_decoder.init(OrunAppFace::instance()->iDecodeMode.load());
    m_decoderName = m_decoder.name();
    qDebug() << "video decoder:" << m_decoder.name();
    m_health.reset();
    m_replacePending = false;
    av_frame_free(&m_picture);
    m_picture = av_frame_alloc();
}

void videoctl::releaseDecoder() {
    std::lock_guard<std::mutex> guard(m_decoderMutex);
    av_frame_free(&m_picture);
    m_decoder.release();
}

int videoctl::runningWorkers() const {
    return (m_decodeWorker.running() ? 1 : 0) + (m_displayWorker.running() ? 1 : 0);
}

void videoctl::pauseAndReinit() {
    // The fetch thread touches neither the decoder nor the slots: it only
    // stops handing units on. The decode and display threads acknowledge at
    // a safe point, so nothing uses the decoder or the slots while they are
    // rebuilt.
    m_fetchPaused = true;
    m_fetchWorker.notify();
    const bool parked = m_pause.pause(
        runningWorkers(),
        [this] {
            m_kcpStrQue.interrupt(true);
            m_kcpFrames.interrupt(true);
        },
        kPauseWait);
    if (!parked)
        qDebug() << "video threads did not pause in time; rebuilding the decoder anyway";
    releaseDecoder();
    m_kcpFrames.release();
    m_framesAllocated = m_kcpFrames.allocate(true);
    initDecoder();
    // A unit the fetch thread handed on while the pause began is dropped
    // unless it starts a group of pictures.
    m_kcpStrQue.resync();
}

void videoctl::resume() {
    m_kcpStrQue.interrupt(false);
    m_kcpFrames.interrupt(false);
    m_pause.resume();
    m_fetchPaused = false;
    m_fetchWorker.notify();
}

void videoctl::stop() {
    // The fetch thread ends first: its next pull would arm the media
    // client's reconnection again and open a new session behind the stop.
    const bool fetching = m_fetchWorker.active();
    m_fetchWorker.stop(kStopWaitMs, [this] { m_fetchWorker.notify(); });
    if (fetching)
        mediaClient()->stop();
    m_decodeWorker.stop(kStopWaitMs, [this] {
        m_kcpStrQue.interrupt(true);
        m_pause.wakeAll();
    });
    m_displayWorker.stop(kStopWaitMs, [this] {
        m_kcpFrames.interrupt(true);
        m_pause.wakeAll();
    });
}

void videoctl::slot_randerFinished(bool b) {
    m_widgetOutput->setReady(b);
}

void videoctl::slot_resetVideoKcpClient() {
    pauseAndReinit();
    resume();
}

void videoctl::breakStream(StreamBreak reason) {
    m_unitSinks.dispatch([reason](const SinkList<UnitSink>::Sinks& sinks) {
        for (const auto& sink : sinks)
            sink->onStreamBreak(reason);
    });
}

void videoctl::kcpFetchThread() {
    std::shared_ptr<KcpWrapper> client = mediaClient();
    client->set_address(OrunAppFace::instance()->sCameraAddress.get().toUtf8().toStdString());
    FetchGate gate(Clock::now());
    uint64_t discontinuities = client->video_discontinuities();
    // Whether units went to the sinks since the last break: a break is
    // announced once, not for every idle pass.
    bool streaming = false;
    std::shared_ptr<std::string> sideSeen;
    auto side = std::make_shared<const SideInfo>(SideInfo{});
    uint64_t sequence = 0;
    auto interrupt = [&](StreamBreak reason) {
        if (streaming)
            breakStream(reason);
        streaming = false;
    };

    while (m_fetchWorker.running()) {
        if (m_fetchPaused.load()) {
            interrupt(StreamBreak::Paused);
            m_fetchWorker.waitUntil([this] { return !m_fetchPaused.load(); });
            gate.restart(Clock::now());
            continue;
        }
        if (!m_linkUp.load()) {
            interrupt(StreamBreak::LinkLost);
            m_fetchWorker.waitUntil([this] { return m_linkUp.load() || m_fetchPaused.load(); });
            gate.restart(Clock::now());
            m_shownFrom = sequence + 1;
            continue;
        }
        MediaDataTime popped = client->pop_video(kPopTimeoutMs);
        if (!popped.data || popped.data->empty())
            continue;
        m_counters.unitsReceived.fetch_add(1, std::memory_order_relaxed);
        m_counters.bytesReceived.fetch_add(popped.data->size(), std::memory_order_relaxed);
        const uint64_t now = client->video_discontinuities();
        if (now != discontinuities) {
            discontinuities = now;
            gate.resync();
            interrupt(StreamBreak::NewSession);
        }
        // The link may have gone (or a pause begun) while the pull waited.
        if (!m_linkUp.load() || m_fetchPaused.load())
            continue;
        bool keyFrame = false;
        if (gate.admit(*popped.data, Clock::now(), keyFrame) != FetchGate::Verdict::Admit) {
            m_counters.unitsGated.fetch_add(1, std::memory_order_relaxed);
            continue;
        }
        std::shared_ptr<std::string> latest = client->latest_side_info();
        if (latest != sideSeen) {
            sideSeen = latest;
            auto info = std::make_shared<SideInfo>();
            fillSideInfo(*info, latest.get());
            side = std::move(info);
        }
        VideoUnit unit;
        unit.data = std::move(popped.data);
        unit.cameraTime = popped.time;
        unit.arrivalUs = popped.wholeUs != 0 ? popped.wholeUs : latencytrace::nowMicros();
        unit.keyFrame = keyFrame;
        unit.sequence = ++sequence;
        unit.side = side;
        latencytrace::unitFetched(unit.cameraTime, popped.wholeUs);
        streaming = true;
        m_counters.unitsAdmitted.fetch_add(1, std::memory_order_relaxed);
        m_unitSinks.dispatch([&unit](const SinkList<UnitSink>::Sinks& sinks) {
            for (const auto& sink : sinks)
                sink->onUnit(unit);
        });
    }
    interrupt(StreamBreak::Stopped);
}

void videoctl::kcpDecDispThread() {
    initDecoder();
    qDebug() << "kcpDecDispThread Start running...";
    auto stopping = [this] { return !m_decodeWorker.running(); };
    VideoUnit unit;
    while (m_decodeWorker.running()) {
        m_pause.checkpoint(stopping);
        if (!m_kcpStrQue.pop(unit))
            continue;
        latencytrace::decodeStarted(unit.cameraTime);
        PictureMeta& known = m_unitMeta[unit.sequence % m_unitMeta.size()];
        known.side = unit.side;
        known.sequence = unit.sequence;
        known.cameraTime = unit.cameraTime;
        known.arrivalUs = unit.arrivalUs;

        const Clock::time_point started = Clock::now();
        H264Decoder::Result result = H264Decoder::Result::NoDecoder;
        PictureMeta meta;
        {
            std::lock_guard<std::mutex> guard(m_decoderMutex);
            // A decoder that failed on the stream gives way to the next
            // choice where a new one can start: at a key frame.
            if (m_replacePending && unit.keyFrame && m_picture) {
                m_decoder.replaceWithNext(m_health.reason());
                m_decoderName = m_decoder.name();
                m_health.reset();
                m_replacePending = false;
                m_counters.decoderSwitches.fetch_add(1, std::memory_order_relaxed);
            }
            if (m_picture) {
                result = m_decoder.decode(reinterpret_cast<const uint8_t*>(unit.data->data()),
                                          static_cast<int>(unit.data->size()), m_picture,
                                          static_cast<int64_t>(unit.sequence));
            }
            if (result != H264Decoder::Result::NoDecoder &&
                m_health.note(unit.keyFrame, result == H264Decoder::Result::Picture))
                m_replacePending = true;
            if (result == H264Decoder::Result::Picture) {
                // The picture carries the sequence of the unit it came from.
                const auto from = static_cast<uint64_t>(m_picture->pts);
                const PictureMeta& candidate = m_unitMeta[from % m_unitMeta.size()];
                meta = candidate.sequence == from ? candidate : known;
                m_kcpFrames.publish(m_picture, meta);
            }
        }
        unit = VideoUnit{};
        if (result == H264Decoder::Result::NoDecoder)
            continue;
        m_counters.unitsDecoded.fetch_add(1, std::memory_order_relaxed);
        m_counters.decodeMicros.fetch_add(static_cast<uint64_t>(elapsedMicros(started)),
                                          std::memory_order_relaxed);
        if (result == H264Decoder::Result::Picture)
            m_counters.picturesDecoded.fetch_add(1, std::memory_order_relaxed);
        else if (result == H264Decoder::Result::NoPicture)
            m_counters.decodeErrors.fetch_add(1, std::memory_order_relaxed);
    }
    releaseDecoder();
}

void videoctl::kcpDisplayThread() {
    AVFrame* picture = av_frame_alloc();
    auto stopping = [this] { return !m_displayWorker.running(); };
    PictureMeta meta;
    while (picture && m_displayWorker.running()) {
        m_pause.checkpoint(stopping);
        // `picture` holds its own reference to the slot's buffers, so the
        // decoder may refill the slot while this picture is converted.
        if (!m_kcpFrames.take(picture, meta))
            continue;
        if (picture->buf[0])
            showPicture(picture, meta);
        av_frame_unref(picture);
    }
    av_frame_free(&picture);
    qDebug() << "kcpDisplayThread";
}

void videoctl::showPicture(AVFrame* picture, const PictureMeta& meta) {
    m_pictureSinks.dispatch([&](const SinkList<PictureSink>::Sinks& sinks) {
        // Each sink is asked once: the widget may turn ready meanwhile.
        std::vector<bool> wanted(sinks.size(), false);
        bool any = false;
        bool clean = false;
        for (size_t i = 0; i < sinks.size(); ++i) {
            wanted[i] = sinks[i]->wantsPicture();
            any = any || wanted[i];
            clean = clean || (wanted[i] && sinks[i]->wantsCleanPicture());
        }
        if (!any) {
            m_counters.picturesBusy.fetch_add(1, std::memory_order_relaxed);
            return;
        }
        VideoPicture out;
        out.boxWidth = picture->linesize[0];
        out.boxHeight = picture->height;
        // By the picture's own layout: after a decoder was replaced, the
        // ring may still hold pictures of the one before.
        out.rgb = convertFrame(picture, picture->format == AV_PIX_FMT_NV12 ? kDecodeHardware
                                                                           : kDecodeSoftware);
        if (out.rgb.empty())
            return;
        out.width = std::min(picture->width, out.rgb.cols);
        out.height = std::min(picture->height, out.rgb.rows);
        static const auto kNoSide = std::make_shared<const SideInfo>(SideInfo{});
        out.side = meta.side ? meta.side : kNoSide;
        out.sequence = meta.sequence;
        out.cameraTime = meta.cameraTime;
        out.arrivalUs = meta.arrivalUs;
        out.clean = out.rgb;
        if (OrunAppFace::instance()->showTarget.load()) {
            cv::Mat drawn = clean ? out.rgb.clone() : out.rgb;
            out.boxesDrawn = drawTargetBoxes(drawn, *out.side, out.boxWidth, out.boxHeight) > 0;
            if (out.boxesDrawn) {
                out.rgb = drawn;
                if (!clean)
                    out.clean = cv::Mat();
            }
        }
        m_counters.picturesShown.fetch_add(1, std::memory_order_relaxed);
        m_counters.lastPictureUs.store(latencytrace::nowMicros(), std::memory_order_relaxed);
        m_counters.width.store(out.rgb.cols, std::memory_order_relaxed);
        m_counters.height.store(out.rgb.rows, std::memory_order_relaxed);
        for (size_t i = 0; i < sinks.size(); ++i) {
            if (wanted[i])
                sinks[i]->onPicture(out);
        }
    });
}
