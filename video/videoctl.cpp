#include "video/videoctl.h"

#include "hub/OrunAppFace.h"
#include "kcpclient/KcpWrapper.h"
#include "video/FetchGate.h"
#include "video/H264Decoder.h"
#include "video/LatencyTrace.h"
#include "video/RgbaConverter.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/frame.h>
#include <libavutil/hwcontext.h>
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
// What a rebuild of the decoder asks for (videoctl::m_rebuildAsked).
constexpr int kRebuild = 1;
constexpr int kRetryHardware = 2;

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

// The video widget's place among the picture sinks: emits the decoder's
// planes (with the boxes to draw over them) through the hub while the camera
// is linked; the widget converts them itself, so the display thread makes no
// R, G, B copy for it. The widget paces it through signal_randerFinished:
// false when a picture arrives, true once painted.
class videoctl::WidgetOutput : public PictureSink {
public:
    WidgetOutput(const std::atomic<bool>& linkUp, const std::atomic<uint64_t>& shownFrom)
        : m_linkUp(linkUp), m_shownFrom(shownFrom) {}
    bool wantsPicture() const override { return m_ready.load(); }
    bool wantsRgbPicture() const override { return false; }
    bool wantsDecodedFrame() const override { return true; }
    bool takesSurface() const override { return true; }
    // Display thread.
    void onPicture(const VideoPicture& picture) override {
        // Nothing from before the link last came up: such a picture could
        // replace the stop-video picture or show a moment long gone.
        // A software rasterizer imports no surfaces: it takes the copy.
        const bool software = OrunAppFace::instance()->softwareScreen.load();
        const std::shared_ptr<const AVFrame>& frame =
            picture.surface && !software ? picture.surface : picture.decoded;
        if (!m_linkUp.load() || picture.sequence < m_shownFrom.load() || !frame)
            return;
        PlanePicture planes;
        planes.frame = frame;
        planes.width = picture.shownWidth;
        planes.height = picture.height;
        planes.boxes = picture.boxes;
        planes.sequence = picture.sequence;
        planes.cameraTime = picture.cameraTime;
        if (software && picture.decoded)
            planes.rgba = m_rgba.convert(*picture.decoded, picture.shownWidth);
        latencytrace::pictureShown(frame->data[0], picture.cameraTime);
        emit OrunAppFace::instance()->signal_showVideoPlanes(planes);
    }
    void setReady(bool ready) { m_ready = ready; }

private:
    const std::atomic<bool>& m_linkUp;
    const std::atomic<uint64_t>& m_shownFrom;
    std::atomic<bool> m_ready{false};
    RgbaConverter m_rgba;
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
    // It starts where a stream can start: at the next key frame.
    m_unitSinks.add(std::move(sink), true);
}

void videoctl::removeUnitSink(const std::shared_ptr<UnitSink>& sink) {
    m_unitSinks.remove(sink);
}

void videoctl::setScreenSurfaces(int pixelFormat) {
    m_screenSurfaces = pixelFormat;
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
    std::lock_guard<std::mutex> guard(m_statusMutex);
    s.unusedHardware = m_unusedHardware;
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
    m_kcpStrQue.clear();
    m_kcpFrames.clear();
    m_kcpStrQue.interrupt(false);
    m_kcpFrames.interrupt(false);
    m_displayWorker.start("orun-display", [this] { kcpDisplayThread(); });
    m_decodeWorker.start("orun-decode", [this] { kcpDecDispThread(); });
    m_fetchWorker.start("orun-fetch", [this] { kcpFetchThread(); });
    return true;
}

void videoctl::setDecoderFactory(DecoderFactory factory) {
    std::lock_guard<std::mutex> guard(m_seamMutex);
    m_decoderFactory = std::move(factory);
}

void videoctl::initDecoder(bool retryHardware) {
    DecoderFactory factory;
    {
        std::lock_guard<std::mutex> guard(m_seamMutex);
        factory = m_decoderFactory;
    }
    // The decoder given up lets go of its device before the next one opens.
    m_decoder.reset();
    m_decoder = factory ? factory() : nullptr;
    if (!m_decoder)
        m_decoder = std::make_unique<H264Decoder>();
    m_decoder->init(OrunAppFace::instance()->iDecodeMode.load(), retryHardware);
    qDebug() << "video decoder:" << m_decoder->name();
    m_health.reset();
    m_replacePending = false;
    noteDecoder();
    av_frame_free(&m_picture);
    m_picture = av_frame_alloc();
}

void videoctl::noteDecoder() {
    m_decoderName = m_decoder->name();
    const std::string unused = m_decoder->unusedHardware();
    std::lock_guard<std::mutex> guard(m_statusMutex);
    m_unusedHardware = unused;
}

void videoctl::releaseDecoder() {
    av_frame_free(&m_picture);
    m_decoder.reset();
}

void videoctl::rebuildDecoder(bool retryHardware) {
    m_rebuildAsked.fetch_or(retryHardware ? kRebuild | kRetryHardware : kRebuild);
    // What waits was meant for the decoder given up: the new one starts at
    // the next key frame.
    m_kcpStrQue.resync();
    m_kcpStrQue.wake();
}

void videoctl::pauseAndReinit() {
    m_fetchPaused = true;
    m_fetchWorker.notify();
    rebuildDecoder(false);
}

void videoctl::resume() {
    m_fetchPaused = false;
    m_fetchWorker.notify();
}

void videoctl::stop() {
    // The fetch thread ends first: its next pull would arm the media
    // client's reconnection again and open a new session behind the stop.
    // The link then closes for good: nothing restarts it while the program
    // goes.
    m_fetchWorker.stop(kStopWaitMs, [this] { m_fetchWorker.notify(); });
    mediaClient()->close();
    m_decodeWorker.stop(kStopWaitMs, [this] { m_kcpStrQue.interrupt(true); });
    m_displayWorker.stop(kStopWaitMs, [this] { m_kcpFrames.interrupt(true); });
}

void videoctl::slot_randerFinished(bool b) {
    m_widgetOutput->setReady(b);
}

void videoctl::slot_resetVideoKcpClient() {
    // The link started over: hardware that failed before gets another chance.
    rebuildDecoder(true);
}

void videoctl::breakStream(StreamBreak reason) {
    m_unitSinks.dispatch(
        [reason](const SinkList<UnitSink>::Sinks& sinks) {
            for (const auto& sink : sinks)
                sink->onStreamBreak(reason);
        },
        false);
}

void videoctl::kcpFetchThread() {
    std::shared_ptr<KcpWrapper> client = mediaClient();
    client->set_address(OrunAppFace::instance()->sCameraAddress.get().toUtf8().toStdString());
    FetchGate gate(Clock::now());
    // Units are counted anew: a limit of the run before would hide pictures.
    m_shownFrom = 0;
    uint64_t discontinuities = client->video_discontinuities();
    // Whether units went to the sinks since the last break: a break is
    // announced once, not for every idle pass. While the link settles units
    // may go to the decoder alone: then it alone hears of a break.
    bool streaming = false;
    bool decodingAhead = false;
    std::shared_ptr<std::string> sideSeen;
    auto side = std::make_shared<const SideInfo>(SideInfo{});
    uint64_t sequence = 0;
    auto interrupt = [&](StreamBreak reason) {
        if (streaming)
            breakStream(reason);
        else if (decodingAhead)
            m_decoderInput->onStreamBreak(reason);
        streaming = false;
        decodingAhead = false;
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
        const FetchGate::Verdict verdict = gate.admit(*popped.data, Clock::now(), keyFrame);
        const bool decodeOnly = verdict == FetchGate::Verdict::DecodeOnly;
        if (verdict != FetchGate::Verdict::Admit && !decodeOnly) {
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
        if (decodeOnly) {
            // Decoded so that the first picture after the settle shows at
            // once; none of its own pictures is shown.
            m_shownFrom = unit.sequence + 1;
            m_counters.unitsGated.fetch_add(1, std::memory_order_relaxed);
            decodingAhead = true;
            m_decoderInput->onUnit(unit);
            continue;
        }
        latencytrace::unitFetched(unit.cameraTime, popped.wholeUs);
        streaming = true;
        m_counters.unitsAdmitted.fetch_add(1, std::memory_order_relaxed);
        m_unitSinks.dispatch(
            [&unit](const SinkList<UnitSink>::Sinks& sinks) {
                for (const auto& sink : sinks)
                    sink->onUnit(unit);
            },
            unit.keyFrame);
    }
    interrupt(StreamBreak::Stopped);
}

void videoctl::kcpDecDispThread() {
    m_rebuildAsked = 0;
    initDecoder(false);
    qDebug() << "kcpDecDispThread Start running...";
    VideoUnit unit;
    // After a rebuild the new decoder starts at a key frame: a unit taken
    // while the rebuild was asked may still belong to the group before.
    bool awaitKeyFrame = false;
    while (m_decodeWorker.running()) {
        const bool taken = m_kcpStrQue.pop(unit);
        // The decode thread's safe point: nothing else uses the decoder.
        if (const int asked = m_rebuildAsked.exchange(0)) {
            m_kcpFrames.clear();
            initDecoder((asked & kRetryHardware) != 0);
            awaitKeyFrame = true;
        }
        if (!taken)
            continue;
        if (awaitKeyFrame && !unit.keyFrame) {
            unit = VideoUnit{};
            continue;
        }
        awaitKeyFrame = false;
        latencytrace::decodeStarted(unit.cameraTime);
        PictureMeta& known = m_unitMeta[unit.sequence % m_unitMeta.size()];
        known.side = unit.side;
        known.sequence = unit.sequence;
        known.cameraTime = unit.cameraTime;
        known.arrivalUs = unit.arrivalUs;

        const Clock::time_point started = Clock::now();
        using Result = VideoDecoder::Result;
        Result result = Result::NoDecoder;
        // A decoder that failed on the stream gives way to the next choice
        // where a new one can start: at a key frame.
        if (m_replacePending && unit.keyFrame && m_picture) {
            m_decoder->replaceWithNext(m_health.reason());
            m_health.reset();
            m_replacePending = false;
            noteDecoder();
            m_counters.decoderSwitches.fetch_add(1, std::memory_order_relaxed);
        }
        if (m_picture) {
            m_decoder->keepSurfaces(m_screenSurfaces.load());
            result = m_decoder->decode(reinterpret_cast<const uint8_t*>(unit.data->data()),
                                       static_cast<int>(unit.data->size()), m_picture,
                                       static_cast<int64_t>(unit.sequence));
        }
        if (m_health.note(unit.keyFrame, result))
            m_replacePending = true;
        if (result == Result::Picture) {
            // The picture carries the sequence of the unit it came from.
            const auto from = static_cast<uint64_t>(m_picture->pts);
            const PictureMeta& candidate = m_unitMeta[from % m_unitMeta.size()];
            m_kcpFrames.publish(m_picture, candidate.sequence == from ? candidate : known);
        }
        unit = VideoUnit{};
        if (result == Result::NoDecoder)
            continue;
        m_counters.unitsDecoded.fetch_add(1, std::memory_order_relaxed);
        m_counters.decodeMicros.fetch_add(static_cast<uint64_t>(elapsedMicros(started)),
                                          std::memory_order_relaxed);
        if (result == Result::Picture)
            m_counters.picturesDecoded.fetch_add(1, std::memory_order_relaxed);
        else if (result == Result::NoPicture)
            m_counters.decodeErrors.fetch_add(1, std::memory_order_relaxed);
    }
    releaseDecoder();
}

void videoctl::kcpDisplayThread() {
    AVFrame* picture = av_frame_alloc();
    PictureMeta meta;
    while (picture && m_displayWorker.running()) {
        // `picture` holds its own reference to the slot's buffers, so the
        // decoder may refill the slot while this picture is converted.
        if (!m_kcpFrames.take(picture, meta))
            continue;
        // Pictures of units from before the link last came up, or decoded
        // ahead while it settled, go to no sink.
        if (picture->buf[0] && meta.sequence >= m_shownFrom.load())
            showPicture(picture, meta);
        av_frame_unref(picture);
    }
    av_frame_free(&picture);
    qDebug() << "kcpDisplayThread";
}

namespace {

struct FrameFree {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
using FramePtr = std::unique_ptr<AVFrame, FrameFree>;

// A reference of its own to the frame's buffers, shared.
std::shared_ptr<const AVFrame> heldFrame(const AVFrame* frame) {
    AVFrame* held = av_frame_clone(frame);
    if (!held)
        return nullptr;
    return std::shared_ptr<const AVFrame>(held, [](const AVFrame* f) {
        AVFrame* owned = const_cast<AVFrame*>(f);
        av_frame_free(&owned);
    });
}

} // namespace

void videoctl::showPicture(AVFrame* picture, const PictureMeta& meta) {
    m_pictureSinks.dispatch([&](const SinkList<PictureSink>::Sinks& sinks) {
        // Each sink is asked once: the widget may turn ready meanwhile.
        std::vector<bool> wanted(sinks.size(), false);
        bool any = false;
        bool rgb = false;
        bool clean = false;
        bool decoded = false;
        for (size_t i = 0; i < sinks.size(); ++i) {
            wanted[i] = sinks[i]->wantsPicture();
            any = any || wanted[i];
            rgb = rgb || (wanted[i] && sinks[i]->wantsRgbPicture());
            clean = clean || (wanted[i] && sinks[i]->wantsCleanPicture());
            decoded = decoded || (wanted[i] && sinks[i]->wantsDecodedFrame());
        }
        if (!any) {
            m_counters.picturesBusy.fetch_add(1, std::memory_order_relaxed);
            return;
        }
        // A hardware decoder's surface, kept for the screen: the sinks that
        // read pixels get a copy in system memory, made only for them.
        AVFrame* pixels = picture;
        FramePtr downloaded;
        std::shared_ptr<const AVFrame> surface;
        if (picture->hw_frames_ctx) {
            bool needsPixels = rgb;
            for (size_t i = 0; i < sinks.size(); ++i)
                needsPixels = needsPixels || (wanted[i] && sinks[i]->wantsDecodedFrame() &&
                                              !sinks[i]->takesSurface());
            surface = heldFrame(picture);
            if (needsPixels || OrunAppFace::instance()->softwareScreen.load()) {
                downloaded.reset(av_frame_alloc());
                if (!downloaded || av_hwframe_transfer_data(downloaded.get(), picture, 0) < 0 ||
                    av_frame_copy_props(downloaded.get(), picture) < 0) {
                    qDebug() << "Error transferring the data to system memory";
                    return;
                }
                pixels = downloaded.get();
            }
        }
        // By the picture's own layout: after a decoder was replaced, the
        // ring may still hold pictures of the one before.
        const int shownWidth = surface ? picture->width : convertedWidth(pixels);
        if (shownWidth <= 0)
            return;
        VideoPicture out;
        // The boxes' fractions are of the line size, as the decoder's
        // pictures always had them (a surface: of its width).
        out.boxWidth = surface ? picture->width : pixels->linesize[0];
        out.boxHeight = picture->height;
        if (rgb) {
            out.rgb = convertFrame(pixels, pixels->format == AV_PIX_FMT_NV12 ? kDecodeHardware
                                                                             : kDecodeSoftware);
            if (out.rgb.empty())
                return;
        }
        out.shownWidth = shownWidth;
        out.width = std::min(picture->width, shownWidth);
        out.height = picture->height;
        static const auto kNoSide = std::make_shared<const SideInfo>(SideInfo{});
        out.side = meta.side ? meta.side : kNoSide;
        out.sequence = meta.sequence;
        out.cameraTime = meta.cameraTime;
        out.arrivalUs = meta.arrivalUs;
        out.clean = out.rgb;
        out.surface = surface;
        if (decoded && (!surface || downloaded))
            out.decoded = heldFrame(pixels);
        if (OrunAppFace::instance()->showTarget.load()) {
            out.boxesDrawn = targetBoxShapes(*out.side, out.boxWidth, out.boxHeight, out.boxes) > 0;
            if (out.boxesDrawn && rgb) {
                cv::Mat drawn = clean ? out.rgb.clone() : out.rgb;
                fillBoxShapes(drawn, out.boxes);
                out.rgb = drawn;
                if (!clean)
                    out.clean = cv::Mat();
            }
        }
        m_counters.picturesShown.fetch_add(1, std::memory_order_relaxed);
        m_counters.lastPictureUs.store(latencytrace::nowMicros(), std::memory_order_relaxed);
        m_counters.width.store(shownWidth, std::memory_order_relaxed);
        m_counters.height.store(out.height, std::memory_order_relaxed);
        for (size_t i = 0; i < sinks.size(); ++i) {
            if (wanted[i])
                sinks[i]->onPicture(out);
        }
    });
}
