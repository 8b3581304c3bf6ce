#include "video/webcam/PipeWireCamera.h"

#include "video/capture/SnapshotTaker.h"

#include <pipewire/pipewire.h>
#include <spa/param/video/format-utils.h>
#include <spa/pod/builder.h>

#include <cerrno>
#include <cstring>
#include <mutex>

namespace {

constexpr PictureLayout::Format kFormats[] = {
    PictureLayout::Format::I420, PictureLayout::Format::YUY2, PictureLayout::Format::BGRx};

spa_video_format spaFormat(PictureLayout::Format format) {
    switch (format) {
    case PictureLayout::Format::I420:
        return SPA_VIDEO_FORMAT_I420;
    case PictureLayout::Format::YUY2:
        return SPA_VIDEO_FORMAT_YUY2;
    case PictureLayout::Format::BGRx:
        return SPA_VIDEO_FORMAT_BGRx;
    }
    return SPA_VIDEO_FORMAT_UNKNOWN;
}

bool fromSpa(uint32_t format, PictureLayout::Format* out) {
    for (PictureLayout::Format f : kFormats)
        if (spaFormat(f) == format) {
            *out = f;
            return true;
        }
    return false;
}

void initOnce() {
    static std::once_flag once;
    std::call_once(once, [] { pw_init(nullptr, nullptr); });
}

} // namespace

// The PipeWire objects of one run of the thread; they live and die there.
struct PipeWireCamera::Session {
    PipeWireCamera* owner = nullptr;
    pw_loop* loop = nullptr;
    pw_context* context = nullptr;
    pw_core* core = nullptr;
    spa_hook coreListener{};
    pw_stream* stream = nullptr;
    spa_hook streamListener{};
    int offeredWidth = 0;
    int offeredHeight = 0;
    int offeredRate = 0;
    bool negotiated = false;
    PictureLayout layout;
    PictureConverter converter;
    bool streaming = false;
    bool quit = false;
    std::string lost; // why the daemon went away

    ~Session() {
        if (stream) {
            spa_hook_remove(&streamListener);
            pw_stream_destroy(stream);
        }
        if (core) {
            spa_hook_remove(&coreListener);
            pw_core_disconnect(core);
        }
        if (context)
            pw_context_destroy(context);
    }

    // The formats offered for a picture of this size.
    static uint32_t formats(uint8_t* buffer, size_t size, int width, int height, int rate,
                            const spa_pod** params) {
        spa_pod_builder b = SPA_POD_BUILDER_INIT(buffer, static_cast<uint32_t>(size));
        uint32_t n = 0;
        for (PictureLayout::Format f : kFormats) {
            spa_rectangle picture =
                SPA_RECTANGLE(static_cast<uint32_t>(width), static_cast<uint32_t>(height));
            spa_fraction perSecond = SPA_FRACTION(static_cast<uint32_t>(rate), 1);
            params[n++] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
                &b, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType,
                SPA_POD_Id(SPA_MEDIA_TYPE_video), SPA_FORMAT_mediaSubtype,
                SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw), SPA_FORMAT_VIDEO_format,
                SPA_POD_Id(spaFormat(f)), SPA_FORMAT_VIDEO_size, SPA_POD_Rectangle(&picture),
                SPA_FORMAT_VIDEO_framerate, SPA_POD_Fraction(&perSecond)));
        }
        return n;
    }

    bool offer(int width, int height, int rate) {
        uint8_t buffer[2048];
        const spa_pod* params[3];
        const uint32_t n = formats(buffer, sizeof buffer, width, height, rate, params);
        offeredWidth = width;
        offeredHeight = height;
        offeredRate = rate;
        owner->m_offeredRate = rate;
        negotiated = false;
        if (stream)
            return pw_stream_update_params(stream, params, n) >= 0;
        pw_properties* props = pw_properties_new(
            PW_KEY_MEDIA_CLASS, "Video/Source", PW_KEY_MEDIA_ROLE, "Camera", PW_KEY_MEDIA_TYPE,
            "Video", PW_KEY_MEDIA_CATEGORY, "Capture", PW_KEY_NODE_NAME,
            owner->m_settings.nodeName.c_str(), PW_KEY_NODE_DESCRIPTION,
            owner->m_settings.description.c_str(), nullptr);
        stream = pw_stream_new(core, owner->m_settings.description.c_str(), props);
        if (!stream)
            return false;
        static const pw_stream_events events = [] {
            pw_stream_events e{};
            e.version = PW_VERSION_STREAM_EVENTS;
            e.state_changed = [](void* data, pw_stream_state, pw_stream_state state,
                                 const char* error) {
                static_cast<Session*>(data)->onState(state, error);
            };
            e.param_changed = [](void* data, uint32_t id, const spa_pod* param) {
                static_cast<Session*>(data)->onParam(id, param);
            };
            e.process = [](void* data) { static_cast<Session*>(data)->onProcess(); };
            return e;
        }();
        pw_stream_add_listener(stream, &streamListener, &events, this);
        const int res = pw_stream_connect(
            stream, PW_DIRECTION_OUTPUT, PW_ID_ANY,
            static_cast<pw_stream_flags>(PW_STREAM_FLAG_DRIVER | PW_STREAM_FLAG_MAP_BUFFERS),
            params, n);
        if (res < 0)
            return false;
        owner->tell(CaptureEvent::Kind::OutputWaiting);
        return true;
    }

    void onState(pw_stream_state state, const char* error) {
        const bool now = state == PW_STREAM_STATE_STREAMING;
        if (state == PW_STREAM_STATE_ERROR && lost.empty() && error)
            lost = error;
        if (now == streaming)
            return;
        streaming = now;
        owner->m_streaming = now;
        if (now) {
            owner->tell(CaptureEvent::Kind::OutputOpened);
            // The picture held goes out at once.
            pw_stream_trigger_process(stream);
        } else {
            owner->tell(CaptureEvent::Kind::OutputClosed, "the consumer stopped reading");
        }
    }

    void onParam(uint32_t id, const spa_pod* param) {
        if (id != SPA_PARAM_Format)
            return;
        negotiated = false;
        if (!param)
            return;
        uint32_t mediaType = 0;
        uint32_t mediaSubtype = 0;
        spa_video_info_raw info{};
        PictureLayout::Format format;
        if (spa_format_parse(param, &mediaType, &mediaSubtype) < 0 ||
            mediaType != SPA_MEDIA_TYPE_video || mediaSubtype != SPA_MEDIA_SUBTYPE_raw ||
            spa_format_video_raw_parse(param, &info) < 0 || !fromSpa(info.format, &format))
            return;
        layout = PictureLayout::of(format, static_cast<int>(info.size.width),
                                   static_cast<int>(info.size.height));
        if (layout.size == 0)
            return;
        negotiated = true;
        ++owner->m_formats;
        uint8_t buffer[512];
        spa_pod_builder b = SPA_POD_BUILDER_INIT(buffer, sizeof buffer);
        const spa_pod* params[1];
        params[0] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
            &b, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_buffers,
            SPA_POD_CHOICE_RANGE_Int(4, 2, 8), SPA_PARAM_BUFFERS_blocks, SPA_POD_Int(1),
            SPA_PARAM_BUFFERS_size, SPA_POD_Int(static_cast<int>(layout.size)),
            SPA_PARAM_BUFFERS_stride, SPA_POD_Int(layout.strides[0]), SPA_PARAM_BUFFERS_dataType,
            SPA_POD_CHOICE_FLAGS_Int((1 << SPA_DATA_MemFd) | (1 << SPA_DATA_MemPtr))));
        pw_stream_update_params(stream, params, 1);
    }

    // A consumer's cycle: the held picture into one free buffer.
    void onProcess() {
        VideoPicture picture;
        {
            std::lock_guard<std::mutex> lock(owner->m_mutex);
            if (!owner->m_latest.rgb.empty())
                picture = owner->m_latest;
            owner->m_fresh = false;
        }
        if (!negotiated || picture.rgb.empty())
            return;
        const int width = picture.width > 0 ? picture.width : picture.rgb.cols;
        const int height = picture.height > 0 ? picture.height : picture.rgb.rows;
        if (width != layout.width || height != layout.height)
            return; // a new size is being offered
        pw_buffer* buffer = pw_stream_dequeue_buffer(stream);
        if (!buffer) {
            ++owner->m_dropped;
            return;
        }
        spa_buffer* b = buffer->buffer;
        spa_data& d = b->datas[0];
        d.chunk->offset = 0;
        d.chunk->size = 0;
        d.chunk->stride = layout.strides[0];
        if (d.data && d.maxsize >= layout.size) {
            auto* into = static_cast<uint8_t*>(d.data);
            bool written = !owner->m_settings.withBoxes && picture.decoded &&
                           converter.convert(*picture.decoded, layout, into, d.maxsize);
            if (!written) {
                const cv::Mat image =
                    SnapshotTaker::chooseImage(picture, owner->m_settings.withBoxes);
                written = !image.empty() && converter.convert(image, layout, into, d.maxsize);
            }
            if (written) {
                d.chunk->size = static_cast<uint32_t>(layout.size);
                ++owner->m_sent;
            }
        }
        pw_stream_queue_buffer(stream, buffer);
    }

    // On the loop: what the display thread handed in.
    void onWake() {
        if (!owner->m_worker.running()) {
            quit = true;
            return;
        }
        int width = 0;
        int height = 0;
        int rate = 0;
        {
            std::lock_guard<std::mutex> lock(owner->m_mutex);
            if (!owner->m_fresh)
                return;
            width = owner->m_latest.width > 0 ? owner->m_latest.width : owner->m_latest.rgb.cols;
            height = owner->m_latest.height > 0 ? owner->m_latest.height : owner->m_latest.rgb.rows;
            rate = owner->m_rate.perSecond();
        }
        // Until the stream's own rate is known, the configured one; once it
        // is, the formats are offered again at it when it differs.
        if (rate == 0)
            rate = offeredRate > 0 ? offeredRate : owner->m_settings.rate;
        if (width != offeredWidth || height != offeredHeight || rate != offeredRate) {
            if (!offer(width, height, rate)) {
                lost = std::string("the camera could not be offered: ") + std::strerror(errno);
                quit = true;
                return;
            }
        }
        if (streaming && negotiated)
            pw_stream_trigger_process(stream);
    }
};

PipeWireCamera::PipeWireCamera(WebcamSettings settings, CaptureReport report)
    : m_settings(std::move(settings)), m_report(std::move(report)) {}

PipeWireCamera::~PipeWireCamera() {
    stop();
}

bool PipeWireCamera::start() {
    if (m_started)
        return false;
    m_started = true;
    return m_worker.start("orun-webcam", [this] { run(); });
}

void PipeWireCamera::stop(int limitMs) {
    m_worker.stop(limitMs, [this] {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_loop && m_wake)
            pw_loop_signal_event(m_loop, m_wake);
    });
    std::lock_guard<std::mutex> lock(m_mutex);
    m_latest = VideoPicture{};
}

WebcamStats PipeWireCamera::stats() const {
    WebcamStats s;
    s.pictures = m_pictures.load();
    s.sent = m_sent.load();
    s.dropped = m_dropped.load();
    s.formats = m_formats.load();
    s.streaming = m_streaming.load();
    s.rate = m_offeredRate.load();
    return s;
}

void PipeWireCamera::onPicture(const VideoPicture& picture) {
    if (picture.rgb.empty())
        return;
    ++m_pictures;
    std::lock_guard<std::mutex> lock(m_mutex);
    // The matrices are shared and never changed: holding them is enough.
    m_latest = picture;
    m_fresh = true;
    m_rate.add(picture.sequence, picture.arrivalUs);
    if (m_loop && m_wake)
        pw_loop_signal_event(m_loop, m_wake);
}

void PipeWireCamera::tell(CaptureEvent::Kind kind, const std::string& reason, int number) {
    if (!m_report)
        return;
    CaptureEvent event;
    event.kind = kind;
    event.path = m_settings.nodeName;
    event.reason = reason;
    event.errorNumber = number;
    m_report(event);
}

void PipeWireCamera::run() {
    initOnce();
    Session session;
    session.owner = this;
    session.loop = pw_loop_new(nullptr);
    if (!session.loop) {
        tell(CaptureEvent::Kind::OutputFailed, "PipeWire could not start a loop");
        tell(CaptureEvent::Kind::Finished);
        return;
    }
    session.context = pw_context_new(session.loop, nullptr, 0);
    if (session.context)
        session.core = pw_context_connect(session.context, nullptr, 0);
    if (!session.core) {
        const int number = errno;
        if (session.context) {
            pw_context_destroy(session.context);
            session.context = nullptr;
        }
        pw_loop_destroy(session.loop);
        tell(CaptureEvent::Kind::OutputFailed,
             std::string("no PipeWire daemon: ") + std::strerror(number), number);
        tell(CaptureEvent::Kind::Finished);
        return;
    }
    static const pw_core_events coreEvents = [] {
        pw_core_events e{};
        e.version = PW_VERSION_CORE_EVENTS;
        e.error = [](void* data, uint32_t id, int, int res, const char* message) {
            auto* s = static_cast<Session*>(data);
            if (id == PW_ID_CORE && res == -EPIPE) {
                s->lost = "the PipeWire daemon went away";
                s->quit = true;
            } else if (id == PW_ID_CORE && s->lost.empty()) {
                s->lost = message ? message : std::strerror(-res);
            }
        };
        return e;
    }();
    pw_core_add_listener(session.core, &session.coreListener, &coreEvents, &session);
    spa_source* wake = pw_loop_add_event(
        session.loop, [](void* data, uint64_t) { static_cast<Session*>(data)->onWake(); },
        &session);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_loop = session.loop;
        m_wake = wake;
        // A picture that came before the loop ran is offered at once.
        if (m_fresh)
            pw_loop_signal_event(m_loop, m_wake);
    }
    pw_loop_enter(session.loop);
    while (m_worker.running() && !session.quit)
        pw_loop_iterate(session.loop, -1);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_loop = nullptr;
        m_wake = nullptr;
    }
    const bool streamed = session.streaming;
    const std::string lost = session.lost;
    const bool daemonGone = session.quit && !lost.empty();
    // Withdraws the node (or finds the daemon gone).
    if (session.stream) {
        spa_hook_remove(&session.streamListener);
        pw_stream_disconnect(session.stream);
        pw_stream_destroy(session.stream);
        session.stream = nullptr;
    }
    if (wake)
        pw_loop_destroy_source(session.loop, wake);
    pw_loop_leave(session.loop);
    spa_hook_remove(&session.coreListener);
    pw_core_disconnect(session.core);
    session.core = nullptr;
    pw_context_destroy(session.context);
    session.context = nullptr;
    pw_loop_destroy(session.loop);
    m_streaming = false;
    if (daemonGone)
        tell(CaptureEvent::Kind::OutputClosed, lost, EPIPE);
    else if (streamed)
        tell(CaptureEvent::Kind::OutputClosed, "the camera was switched off");
    tell(CaptureEvent::Kind::Finished);
}
