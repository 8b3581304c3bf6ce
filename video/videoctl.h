#pragma once

#include "video/H264Decoder.h"
#include "video/VideoQueues.h"

#include <QObject>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

class KcpWrapper;

// The decoder controller: fetch, decode and display threads that turn the
// camera's H.264 stream into RGB pictures for the video widget. One instance
// per process, never destroyed.
class videoctl : public QObject {
    Q_OBJECT
public:
    static videoctl* instance();

    bool start();
    void pauseAndReinit();
    void resume();
    void stop();

    // Replaces the media client (KcpWrapper::instance() by default); call
    // before start().
    void setMediaClient(std::shared_ptr<KcpWrapper> client);
    // Replaces the control-link flag (Camera::instance()->connected by
    // default); call before start(). The flag must outlive the pipeline.
    void setConnectedFlag(const std::atomic<bool>* connected);

    bool allocFrames();
    void initDecoder();
    void releaseDecoder();

public slots:
    void slot_randerFinished(bool b);
    void slot_resetVideoKcpClient();

private:
    // One worker's flags: cleared running ends it, paused idles it, stopped is
    // set by the worker as it returns.
    struct WorkerFlags {
        std::atomic<bool> running{false};
        std::atomic<bool> paused{false};
        std::atomic<bool> stopped{false};
    };

    videoctl();
    void kcpFetchThread();
    void kcpDecDispThread();
    void kcpDisplayThread();

    std::shared_ptr<KcpWrapper> mediaClient();
    bool isConnected();
    static void stopWorker(WorkerFlags& flags, std::thread& thread);
    static void pauseWorker(WorkerFlags& flags, bool paused);

    std::thread m_fetchThread;
    std::thread m_displayThread;
    std::thread m_decodeThread;
    bool m_framesAllocated = false;

    H264Decoder m_decoder;
    // The mode the current decoder decodes in; the display converts by it.
    std::atomic<int> m_activeMode{0};
    // Guards the decoder against a re-initialisation from the GUI thread
    // while the decode thread is (still) in a step.
    std::mutex m_decoderMutex;

    StreamQueue m_kcpStrQue;
    FrameRing m_kcpFrames;
    AVFrame* m_picture = nullptr; // decoder output before it moves into a slot

    WorkerFlags m_fetch;
    WorkerFlags m_decode;
    WorkerFlags m_display;
    std::atomic<bool> m_renderFinished{false};

    std::mutex m_seamMutex;
    std::shared_ptr<KcpWrapper> m_mediaClient;
    const std::atomic<bool>* m_connected = nullptr;
};
