#include "video/H264Decoder.h"

#include "video/ProbeKeyFrame.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/buffer.h>
#include <libavutil/error.h>
#include <libavutil/frame.h>
#include <libavutil/hwcontext.h>
#include <libavutil/log.h>
#include <libavutil/pixdesc.h>
}

#include <QDebug>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <map>
#include <mutex>

namespace {

// What the process has learnt about each hardware device type, and for a
// type that failed, why.
enum class Verdict { Unknown, Works, Fails };

struct Learnt {
    Verdict verdict = Verdict::Unknown;
    std::string why;
};

std::mutex& memoMutex() {
    static std::mutex mutex;
    return mutex;
}

std::map<int, Learnt>& memo() {
    static std::map<int, Learnt> learnt;
    return learnt;
}

Learnt learntOf(int type) {
    std::lock_guard<std::mutex> lock(memoMutex());
    const auto it = memo().find(type);
    return it == memo().end() ? Learnt{} : it->second;
}

Verdict verdictOf(int type) {
    return learntOf(type).verdict;
}

void remember(int type, Verdict verdict, const std::string& why = std::string()) {
    std::lock_guard<std::mutex> lock(memoMutex());
    memo()[type] = Learnt{verdict, why};
}

void forgetFailures() {
    std::lock_guard<std::mutex> lock(memoMutex());
    for (auto it = memo().begin(); it != memo().end();)
        it = it->second.verdict == Verdict::Fails ? memo().erase(it) : std::next(it);
}

// The pixel format of the hardware configuration rides in the context's
// opaque pointer: FFmpeg calls this without a user pointer of ours.
enum AVPixelFormat getHwFormat(AVCodecContext* ctx, const enum AVPixelFormat* formats) {
    const auto wanted = static_cast<int>(reinterpret_cast<intptr_t>(ctx->opaque));
    for (const enum AVPixelFormat* p = formats; *p != AV_PIX_FMT_NONE; ++p) {
        if (*p == wanted)
            return *p;
    }
    return AV_PIX_FMT_NONE;
}

std::string errorText(int err) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {0};
    av_strerror(err, text, sizeof text);
    return text;
}

const char* typeName(int type) {
    const char* name = av_hwdevice_get_type_name(static_cast<AVHWDeviceType>(type));
    return name ? name : "unknown";
}

const AVCodecHWConfig* hwConfigFor(const AVCodec* codec, int type) {
    for (int i = 0;; ++i) {
        const AVCodecHWConfig* config = avcodec_get_hw_config(codec, i);
        if (!config)
            return nullptr;
        if ((config->methods & AV_CODEC_HW_CONFIG_METHOD_HW_DEVICE_CTX) &&
            config->device_type == type)
            return config;
    }
}

// Layouts of system-memory pictures the display converts.
bool convertible(int format) {
    return format == AV_PIX_FMT_NV12 || format == AV_PIX_FMT_YUV420P ||
           format == AV_PIX_FMT_YUVJ420P;
}

// A decoder context on a hardware device, opened; nullptr on failure (`err`).
AVCodecContext* openHwContext(const AVCodec* codec, AVBufferRef* device, int pixFmt, int& err) {
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    if (!ctx) {
        err = AVERROR(ENOMEM);
        return nullptr;
    }
    ctx->opaque = reinterpret_cast<void*>(static_cast<intptr_t>(pixFmt));
    ctx->get_format = getHwFormat;
    // Surfaces may be kept for the screen (keepSurfaces) while the picture
    // slots and the widget hold them: room for those beside the decoder's own.
    if (pixFmt == AV_PIX_FMT_VAAPI)
        ctx->extra_hw_frames = 12;
    ctx->hw_device_ctx = av_buffer_ref(device);
    err = ctx->hw_device_ctx ? avcodec_open2(ctx, codec, nullptr) : AVERROR(ENOMEM);
    if (err < 0)
        avcodec_free_context(&ctx);
    return ctx;
}

// Decodes the probe key frame on the device; empty when a picture came back
// in a layout the display converts, else what went wrong.
std::string probeDevice(const AVCodec* codec, AVBufferRef* device, int pixFmt) {
    int err = 0;
    AVCodecContext* ctx = openHwContext(codec, device, pixFmt, err);
    if (!ctx)
        return "cannot open the decoder (" + errorText(err) + ")";
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    AVFrame* copy = av_frame_alloc();
    std::string failure;
    if (!packet || !frame || !copy) {
        failure = "out of memory";
    } else {
        // The packet only points at the data: sending copies it.
        packet->data = const_cast<uint8_t*>(kProbeKeyFrame);
        packet->size = static_cast<int>(kProbeKeyFrameSize);
        err = avcodec_send_packet(ctx, packet);
        if (err >= 0)
            err = avcodec_send_packet(ctx, nullptr); // drain: the picture comes out now
        if (err >= 0)
            err = avcodec_receive_frame(ctx, frame);
        if (err < 0) {
            failure = "the test picture was not decoded (" + errorText(err) + ")";
        } else if (frame->format != pixFmt) {
            failure = "the test picture did not stay on the device";
        } else if ((err = av_hwframe_transfer_data(copy, frame, 0)) < 0) {
            failure = "the test picture could not be read back (" + errorText(err) + ")";
        } else if (!convertible(copy->format)) {
            const char* format = av_get_pix_fmt_name(static_cast<AVPixelFormat>(copy->format));
            failure = std::string("pictures come back as ") + (format ? format : "unknown");
        }
    }
    av_frame_free(&copy);
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&ctx);
    return failure;
}

} // namespace

std::vector<int> platformHwDeviceTypes() {
#ifdef _WIN32
    const int wanted[] = {AV_HWDEVICE_TYPE_D3D11VA, AV_HWDEVICE_TYPE_DXVA2};
#else
    const int wanted[] = {AV_HWDEVICE_TYPE_VAAPI, AV_HWDEVICE_TYPE_CUDA, AV_HWDEVICE_TYPE_VDPAU};
#endif
    std::vector<int> built;
    for (AVHWDeviceType t = av_hwdevice_iterate_types(AV_HWDEVICE_TYPE_NONE);
         t != AV_HWDEVICE_TYPE_NONE; t = av_hwdevice_iterate_types(t))
        built.push_back(t);
    std::vector<int> types;
    for (int type : wanted) {
        if (std::find(built.begin(), built.end(), type) != built.end())
            types.push_back(type);
    }
    return types;
}

HardwareDevices platformHardwareDevices() {
    HardwareDevices devices;
    devices.types = platformHwDeviceTypes();
    devices.create = [](int type, AVBufferRef** device) {
        return av_hwdevice_ctx_create(device, static_cast<AVHWDeviceType>(type), nullptr, nullptr,
                                      0);
    };
    return devices;
}

void H264Decoder::forgetHardwareVerdicts() {
    std::lock_guard<std::mutex> lock(memoMutex());
    memo().clear();
}

H264Decoder::H264Decoder(HardwareDevices devices) : m_devices(std::move(devices)) {}

H264Decoder::~H264Decoder() {
    release();
}

const char* H264Decoder::name() const {
    return m_deviceType != AV_HWDEVICE_TYPE_NONE ? typeName(m_deviceType) : "software";
}

bool H264Decoder::openHardware(int type, std::string& reason) {
    const AVCodecHWConfig* config = hwConfigFor(m_codec, type);
    if (!config) {
        reason = "not offered by the H.264 decoder";
        return false;
    }
    int err = m_devices.create ? m_devices.create(type, &m_hwDeviceCtx) : AVERROR(ENODEV);
    if (err >= 0 && !m_hwDeviceCtx)
        err = AVERROR(ENODEV);
    if (err < 0) {
        reason = "no device (" + errorText(err) + ")";
        return false;
    }
    // A device type that decoded the test picture once in this process is
    // trusted again without it.
    if (verdictOf(type) != Verdict::Works) {
        reason = probeDevice(m_codec, m_hwDeviceCtx, config->pix_fmt);
        if (!reason.empty()) {
            av_buffer_unref(&m_hwDeviceCtx);
            return false;
        }
    }
    m_codecCtx = openHwContext(m_codec, m_hwDeviceCtx, config->pix_fmt, err);
    if (!m_codecCtx) {
        reason = "cannot open the decoder (" + errorText(err) + ")";
        av_buffer_unref(&m_hwDeviceCtx);
        return false;
    }
    m_hwPixFmt = config->pix_fmt;
    m_deviceType = type;
    return true;
}

bool H264Decoder::openSoftware() {
    m_codecCtx = avcodec_alloc_context3(m_codec);
    if (!m_codecCtx) {
        qDebug() << "avcodec_alloc_context3 failed!";
        return false;
    }
    if (avcodec_open2(m_codecCtx, m_codec, nullptr) < 0) {
        qDebug() << "avcodec_open2 failed";
        avcodec_free_context(&m_codecCtx);
        return false;
    }
    m_deviceType = AV_HWDEVICE_TYPE_NONE;
    return true;
}

namespace {

// FFmpeg's own complaints about a missing device would only repeat what the
// decoder's one line says; they are held back while devices are tried.
class QuietFfmpegLog {
public:
    QuietFfmpegLog() : m_saved(av_log_get_level()) { av_log_set_level(AV_LOG_FATAL); }
    ~QuietFfmpegLog() { av_log_set_level(m_saved); }
    QuietFfmpegLog(const QuietFfmpegLog&) = delete;
    QuietFfmpegLog& operator=(const QuietFfmpegLog&) = delete;

private:
    int m_saved;
};

} // namespace

bool H264Decoder::openFirstHardware(int after, std::string& failures) {
    const QuietFfmpegLog quiet;
    const std::vector<int>& types = m_devices.types;
    auto it = types.begin();
    if (after != AV_HWDEVICE_TYPE_NONE) {
        it = std::find(types.begin(), types.end(), after);
        it = it == types.end() ? types.begin() : it + 1;
    }
    auto note = [&failures](const std::string& text) {
        if (!failures.empty())
            failures += "; ";
        failures += text;
    };
    for (; it != types.end(); ++it) {
        const Learnt learnt = learntOf(*it);
        if (learnt.verdict == Verdict::Fails) {
            note(std::string(typeName(*it)) + ": skipped, failed earlier (" + learnt.why + ")");
            continue;
        }
        std::string reason;
        if (openHardware(*it, reason)) {
            remember(*it, Verdict::Works);
            return true;
        }
        remember(*it, Verdict::Fails, reason);
        note(std::string(typeName(*it)) + ": " + reason);
    }
    return false;
}

void H264Decoder::noteUnused() {
    m_unused.clear();
    if (m_requestedMode != 0)
        return;
    for (int type : m_devices.types) {
        const Learnt learnt = learntOf(type);
        if (type == m_deviceType || learnt.verdict != Verdict::Fails)
            continue;
        if (!m_unused.empty())
            m_unused += ", ";
        m_unused += std::string(typeName(type)) + " (" + learnt.why + ")";
    }
}

bool H264Decoder::allocateFrames() {
    m_decFrame = av_frame_alloc();
    m_packet = av_packet_alloc();
    if (!m_decFrame || !m_packet) {
        qDebug() << "alloc frame failed!";
        release();
        return false;
    }
    return true;
}

bool H264Decoder::init(int requestedMode, bool retryFailed) {
    release();
    m_requestedMode = requestedMode;
    m_mode = requestedMode;
    m_deviceType = AV_HWDEVICE_TYPE_NONE;
    m_unused.clear();
    m_codec = avcodec_find_decoder(AV_CODEC_ID_H264);
    if (!m_codec) {
        qDebug() << "avcodec_find_decoder " << AV_CODEC_ID_H264 << "failed!";
        return false;
    }
    if (m_mode == 0) {
        if (retryFailed)
            forgetFailures();
        std::string failures;
        if (!openFirstHardware(AV_HWDEVICE_TYPE_NONE, failures)) {
            m_mode = 1;
            if (!failures.empty())
                qDebug("hardware decoding unavailable (%s); decoding in software",
                       failures.c_str());
        } else if (!failures.empty()) {
            qDebug("hardware decoding with %s; not used: %s", name(), failures.c_str());
        }
    }
    if (!m_codecCtx && !openSoftware())
        return false;
    noteUnused();
    return allocateFrames();
}

bool H264Decoder::replaceWithNext(const std::string& why) {
    if (!m_codec)
        return init(m_requestedMode);
    const std::string was = name();
    const int wasType = m_deviceType;
    release();
    std::string failures;
    bool hardware = false;
    if (wasType != AV_HWDEVICE_TYPE_NONE) {
        remember(wasType, Verdict::Fails, "failed on the stream: " + why);
        hardware = openFirstHardware(wasType, failures);
    }
    m_mode = hardware ? 0 : 1;
    m_deviceType = hardware ? m_deviceType : AV_HWDEVICE_TYPE_NONE;
    if (!hardware && !openSoftware()) {
        qDebug("video decoder %s failed on the stream (%s); no decoder left", was.c_str(),
               why.c_str());
        return false;
    }
    qDebug("video decoder %s failed on the stream (%s); decoding with %s%s%s%s", was.c_str(),
           why.c_str(), wasType == AV_HWDEVICE_TYPE_NONE ? "a new " : "", name(),
           failures.empty() ? "" : "; could not use ", failures.c_str());
    noteUnused();
    return allocateFrames();
}

void H264Decoder::release() {
    av_frame_free(&m_decFrame);
    av_packet_free(&m_packet);
    avcodec_free_context(&m_codecCtx);
    av_buffer_unref(&m_hwDeviceCtx);
}

H264Decoder::Result H264Decoder::receive(AVFrame* out) {
    const int err = avcodec_receive_frame(m_codecCtx, m_decFrame);
    // The decoder wants more input first: normal at the start of a stream
    // with B-frames, and for decoders that keep a few pictures in flight.
    if (err == AVERROR(EAGAIN))
        return Result::NotYet;
    if (err < 0) {
        if (m_mode == 0)
            qDebug("Error while decoding (%s)", errorText(err).c_str());
        else
            qDebug("decode frame failed! (%s)", errorText(err).c_str());
        return Result::NoPicture;
    }
    if (m_mode != 0) {
        av_frame_unref(out);
        av_frame_move_ref(out, m_decFrame);
        return Result::Picture;
    }
    if (m_decFrame->format != m_hwPixFmt) {
        qDebug() << "Error hw_pix_fmt";
        av_frame_unref(m_decFrame);
        return Result::Unchanged;
    }
    if (m_decFrame->format == m_keepFormat) {
        av_frame_unref(out);
        av_frame_move_ref(out, m_decFrame);
        return Result::Picture;
    }
    // Transfer into fresh buffers: the display thread may still hold the
    // buffers of the picture this slot had before.
    av_frame_unref(out);
    int transferred = av_hwframe_transfer_data(out, m_decFrame, 0);
    if (transferred >= 0)
        transferred = av_frame_copy_props(out, m_decFrame);
    av_frame_unref(m_decFrame);
    if (transferred < 0) {
        qDebug() << "Error transferring the data to system memory";
        return Result::NoPicture;
    }
    return Result::Picture;
}

H264Decoder::Result H264Decoder::decode(const uint8_t* data, int size, AVFrame* out, int64_t pts) {
    if (!m_codecCtx)
        return Result::NoDecoder;
    if (m_mode != 0 && m_mode != 1)
        return Result::Unchanged;
    // The packet only points at the unit; the unit outlives this call.
    m_packet->data = const_cast<uint8_t*>(data);
    m_packet->size = size;
    m_packet->pts = pts;
    m_packet->dts = pts;

    // One picture out per unit in: a decoder that holds pictures back keeps
    // holding as many.
    int err = avcodec_send_packet(m_codecCtx, m_packet);
    Result result = Result::NotYet;
    if (err == AVERROR(EAGAIN)) {
        // A picture waits to be taken before the decoder takes more input.
        result = receive(out);
        err = avcodec_send_packet(m_codecCtx, m_packet);
        if (err >= 0)
            return result;
    }
    if (err < 0) {
        if (m_mode == 0)
            qDebug("Error during decoding (%s)", errorText(err).c_str());
        else
            qDebug("decode frame failed! (%s)", errorText(err).c_str());
        return result == Result::Picture ? result : Result::NoPicture;
    }
    return receive(out);
}
