#include "video/videoctl.h"

#include "app/OrunAppFace.h"
#include "kcpclient/KcpWrapper.h"
#include "video/VideoLinks.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/frame.h>
}

#include <QDebug>

#include <chrono>

#ifdef ORUN_LATENCY_TRACE
#include "bench/e2e/LatencyTrace.h"
#endif

namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

void sleepMs(int ms) {
    std::this_thread::sleep_for(milliseconds(ms));
}

constexpr uint32_t kPopTimeoutMs = 100;
constexpr int kStopWaitMs = 1000;
constexpr int kPauseStepMs = 30;

} // namespace

videoctl* videoctl::instance() {
    // Never deleted: its threads may run until the process ends.
    static videoctl* controller = new videoctl();
    return controller;
}

videoctl::videoctl() : QObject(nullptr) {
    avformat_network_init();
}

void videoctl::setMediaClient(std::shared_ptr<KcpWrapper> client) {
    std::lock_guard<std::mutex> guard(m_seamMutex);
    m_mediaClient = std::move(client);
}

void videoctl::setConnectedFlag(const std::atomic<bool>* connected) {
    std::lock_guard<std::mutex> guard(m_seamMutex);
    m_connected = connected;
}

std::shared_ptr<KcpWrapper> videoctl::mediaClient() {
    std::lock_guard<std::mutex> guard(m_seamMutex);
    if (!m_mediaClient)
        m_mediaClient = defaultMediaClient();
    return m_mediaClient;
}

bool videoctl::isConnected() {
    const std::atomic<bool>* flag = nullptr;
    {
        std::lock_guard<std::mutex> guard(m_seamMutex);
        flag = m_connected;
    }
    if (flag)
        return flag->load();
    return cameraLinkConnected();
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
    // and the ring (and replacing a running std::thread ends the process).
    if (m_fetchThread.joinable() || m_decodeThread.joinable() || m_displayThread.joinable())
        return true;
    WorkerFlags* order[] = {&m_display, &m_decode, &m_fetch};
    for (WorkerFlags* flags : order) {
        flags->running = true;
        flags->paused = false;
        flags->stopped = false;
    }
    m_displayThread = std::thread(&videoctl::kcpDisplayThread, this);
    m_decodeThread = std::thread(&videoctl::kcpDecDispThread, this);
    m_fetchThread = std::thread(&videoctl::kcpFetchThread, this);
    return true;
}

void videoctl::initDecoder() {
    m_kcpFrames.resetWriter();
    m_kcpStrQue.clear();
    std::lock_guard<std::mutex> guard(m_decoderMutex);
    m_decoder.init(OrunAppFace::instance()->iDecodeMode.load());
    m_activeMode = m_decoder.mode();
    av_frame_free(&m_picture);
    m_picture = av_frame_alloc();
    m_kcpFrames.resetWriter();
}

void videoctl::releaseDecoder() {
    std::lock_guard<std::mutex> guard(m_decoderMutex);
    av_frame_free(&m_picture);
    m_decoder.release();
}

void videoctl::pauseWorker(WorkerFlags& flags, bool paused) {
    flags.paused = paused;
    sleepMs(kPauseStepMs);
}

void videoctl::pauseAndReinit() {
    pauseWorker(m_fetch, true);
    pauseWorker(m_decode, true);
    pauseWorker(m_display, true);
    releaseDecoder();
    m_kcpStrQue.clear();
    m_kcpFrames.release();
    m_framesAllocated = m_kcpFrames.allocate(true);
    initDecoder();
}

void videoctl::resume() {
    pauseWorker(m_fetch, false);
    pauseWorker(m_decode, false);
    pauseWorker(m_display, false);
}

void videoctl::stopWorker(WorkerFlags& flags, std::thread& thread) {
    if (!flags.running)
        return;
    flags.running = false;
    const auto deadline = Clock::now() + milliseconds(kStopWaitMs);
    while (!flags.stopped && Clock::now() <= deadline)
        sleepMs(1);
    if (!thread.joinable())
        return;
    // A worker that reported stopped is about to return; one that did not is
    // left to end on its own.
    if (flags.stopped)
        thread.join();
    else
        thread.detach();
}

void videoctl::stop() {
    if (m_fetch.running)
        mediaClient()->stop();
    stopWorker(m_fetch, m_fetchThread);
    stopWorker(m_decode, m_decodeThread);
    stopWorker(m_display, m_displayThread);
}

void videoctl::slot_randerFinished(bool b) {
    m_renderFinished = b;
}

void videoctl::slot_resetVideoKcpClient() {
    pauseAndReinit();
    resume();
}

void videoctl::kcpFetchThread() {
#ifdef ORUN_LATENCY_TRACE
    latencytrace::nameThread("orun-fetch");
#endif
    std::shared_ptr<KcpWrapper> client = mediaClient();
    client->set_address(OrunAppFace::instance()->sCameraAddress.get().toUtf8().toStdString());
    FetchGate gate(Clock::now());
    for (;;) {
        if (!m_fetch.running) {
            m_fetch.stopped = true;
            return;
        }
        if (!isConnected()) {
            gate.disconnected(Clock::now());
            sleepMs(30);
            continue;
        }
        if (m_fetch.paused) {
            gate.paused(Clock::now());
            sleepMs(30);
            continue;
        }
#ifdef ORUN_LATENCY_TRACE
        // The latency trace keeps the unit's send time from its trailer.
        MediaDataTime popped = client->pop_video(kPopTimeoutMs);
        std::shared_ptr<std::string> unit = std::move(popped.data);
        latencytrace::unitFetched(unit.get(), popped.time);
#else
        std::shared_ptr<std::string> unit = client->pop_video_data(kPopTimeoutMs);
#endif
        if (!unit || unit->empty()) {
            sleepMs(30);
            continue;
        }
        if (gate.admit(*unit, Clock::now()) != FetchGate::Verdict::Queue) {
            sleepMs(30);
            continue;
        }
        StreamUnit queued;
        queued.length = static_cast<int>(unit->size());
        queued.data = std::move(unit);
        std::shared_ptr<std::string> side = client->latest_side_info();
        fillSideInfo(queued.info, side.get());
        m_kcpStrQue.tryAppend(std::move(queued));
        sleepMs(25);
    }
}

void videoctl::kcpDecDispThread() {
#ifdef ORUN_LATENCY_TRACE
    latencytrace::nameThread("orun-decode");
#endif
    initDecoder();
    qDebug() << "kcpDecDispThread Start running...";
    StreamUnit current;
    for (;;) {
        if (!m_decode.running) {
            releaseDecoder();
            m_decode.stopped = true;
            return;
        }
        if (m_decode.paused) {
            sleepMs(30);
            continue;
        }
        if (m_kcpStrQue.size() == 0) {
            sleepMs(1);
            continue;
        }
        if (!m_kcpStrQue.takeForDecode(current))
            continue;
#ifdef ORUN_LATENCY_TRACE
        // The send time rides on the picture's pts into the ring.
        const int64_t traceSendUs = latencytrace::unitTaken(current.data.get());
#endif

        H264Decoder::Result result;
        {
            std::lock_guard<std::mutex> guard(m_decoderMutex);
            if (!m_picture)
                continue;
            result = m_decoder.decode(reinterpret_cast<const uint8_t*>(current.data->data()),
                                      current.length, m_picture);
            if (result == H264Decoder::Result::Picture) {
#ifdef ORUN_LATENCY_TRACE
                m_picture->pts = traceSendUs;
#endif
                m_kcpFrames.store(m_picture, current.info);
            }
        }
        current = StreamUnit{};
        if (result == H264Decoder::Result::NoDecoder || result == H264Decoder::Result::NoPicture)
            continue;
        m_kcpFrames.publish();
        sleepMs(1);
    }
}

void videoctl::kcpDisplayThread() {
#ifdef ORUN_LATENCY_TRACE
    latencytrace::nameThread("orun-display");
#endif
    unsigned readIndex = 0;
    AVFrame* picture = av_frame_alloc();
    SideInfo info{};
    OrunAppFace* hub = OrunAppFace::instance();
    for (;;) {
        if (!m_display.running) {
            av_frame_free(&picture);
            m_display.stopped = true;
            qDebug() << "kcpDisplayThread";
            return;
        }
        if (m_display.paused || !picture) {
            sleepMs(30);
            continue;
        }
        // `picture` holds its own reference to the slot's buffers, so the
        // decoder may refill the slot while this picture is converted.
        if (!m_kcpFrames.take(readIndex, picture, info)) {
            sleepMs(1);
            continue;
        }
        if (!m_renderFinished || !picture->buf[0]) {
            av_frame_unref(picture);
            continue;
        }
#ifdef ORUN_LATENCY_TRACE
        const int64_t traceSendUs = picture->pts;
#endif
        const int width = picture->linesize[0];
        const int height = picture->height;
        cv::Mat rgb = convertFrame(picture, m_activeMode.load());
        av_frame_unref(picture);
        if (rgb.empty())
            continue;
        if (hub->showTarget)
            drawTargetBoxes(rgb, info, width, height);
        if (isConnected()) {
#ifdef ORUN_LATENCY_TRACE
            latencytrace::pictureShown(rgb.data, traceSendUs);
#endif
            emit hub->signal_showVideoFrame(rgb);
        }
    }
}
