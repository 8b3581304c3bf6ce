#include "video/H264Decoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/buffer.h>
#include <libavutil/frame.h>
#include <libavutil/hwcontext.h>
}

#include <QDebug>

#include <atomic>

namespace {

// Pixel format of the chosen hardware configuration; read by the get-format
// callback, which FFmpeg calls without a user pointer of ours.
std::atomic<int> hwPixFmt{AV_PIX_FMT_NONE};
// Set once the hardware device could not be created: later set-ups decode in
// software straight away instead of failing (and logging) again.
std::atomic<bool> hwDeviceMissing{false};

enum AVPixelFormat getHwFormat(AVCodecContext*, const enum AVPixelFormat* formats) {
    const int wanted = hwPixFmt.load();
    for (const enum AVPixelFormat* p = formats; *p != AV_PIX_FMT_NONE; ++p) {
        if (*p == wanted)
            return *p;
    }
    return AV_PIX_FMT_NONE;
}

} // namespace

int platformHwDeviceType() {
#ifdef _WIN32
    return AV_HWDEVICE_TYPE_DXVA2;
#else
    return AV_HWDEVICE_TYPE_VAAPI;
#endif
}

void H264Decoder::resetHardwareMemo() {
    hwDeviceMissing = false;
}

H264Decoder::H264Decoder() = default;

H264Decoder::~H264Decoder() {
    release();
}

bool H264Decoder::initHardware() {
    const auto type = static_cast<AVHWDeviceType>(platformHwDeviceType());
    const AVCodecHWConfig* chosen = nullptr;
    for (int i = 0;; ++i) {
        const AVCodecHWConfig* config = avcodec_get_hw_config(m_codec, i);
        if (!config)
            break;
        if ((config->methods & AV_CODEC_HW_CONFIG_METHOD_HW_DEVICE_CTX) &&
            config->device_type == type) {
            chosen = config;
            break;
        }
    }
    if (!chosen) {
        qDebug("Decoder %s does not support device type %s.\n", m_codec->name,
               av_hwdevice_get_type_name(type));
        return false;
    }
    hwPixFmt = chosen->pix_fmt;

    m_codecCtx = avcodec_alloc_context3(m_codec);
    if (!m_codecCtx) {
        qDebug() << "avcodec_alloc_context3 failed!";
        return false;
    }
    m_codecCtx->get_format = getHwFormat;
    const int err = av_hwdevice_ctx_create(&m_hwDeviceCtx, type, nullptr, nullptr, 0);
    if (err < 0) {
        qDebug("Failed to create specified HW device, err %x.\n", static_cast<unsigned>(err));
        qDebug() << "hw_decoder_init failed";
        avcodec_free_context(&m_codecCtx);
        return false;
    }
    m_codecCtx->hw_device_ctx = av_buffer_ref(m_hwDeviceCtx);
    return true;
}

bool H264Decoder::init(int requestedMode) {
    release();
    m_mode = requestedMode;
    m_codec = avcodec_find_decoder(AV_CODEC_ID_H264);
    if (!m_codec) {
        qDebug() << "avcodec_find_decoder " << AV_CODEC_ID_H264 << "failed!";
        return false;
    }
    if (m_mode == 0 && !hwDeviceMissing) {
        if (!initHardware()) {
            hwDeviceMissing = true;
            qDebug() << "hardware decoding unavailable, decoding in software";
            m_mode = 1;
        }
    } else if (m_mode == 0) {
        m_mode = 1;
    }
    if (!m_codecCtx) {
        m_codecCtx = avcodec_alloc_context3(m_codec);
        if (!m_codecCtx) {
            qDebug() << "avcodec_alloc_context3 failed!";
            return false;
        }
    }
    if (avcodec_open2(m_codecCtx, m_codec, nullptr) < 0) {
        qDebug() << "avcodec_open2 failed";
        avcodec_free_context(&m_codecCtx);
        av_buffer_unref(&m_hwDeviceCtx);
        return false;
    }
    m_decFrame = av_frame_alloc();
    m_packet = av_packet_alloc();
    if (!m_decFrame || !m_packet) {
        qDebug() << "alloc frame failed!";
        release();
        return false;
    }
    return true;
}

void H264Decoder::release() {
    av_frame_free(&m_decFrame);
    av_packet_free(&m_packet);
    avcodec_free_context(&m_codecCtx);
    av_buffer_unref(&m_hwDeviceCtx);
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

    if (m_mode == 0) {
        if (avcodec_send_packet(m_codecCtx, m_packet) < 0) {
            qDebug() << "Error during decoding";
            return Result::NoPicture;
        }
        if (avcodec_receive_frame(m_codecCtx, m_decFrame) < 0) {
            qDebug() << "Error while decoding";
            return Result::NoPicture;
        }
        if (m_decFrame->format != hwPixFmt.load()) {
            qDebug() << "Error hw_pix_fmt";
            av_frame_unref(m_decFrame);
            return Result::Unchanged;
        }
        // Transfer into fresh buffers: the display thread may still hold the
        // buffers of the picture this slot had before.
        av_frame_unref(out);
        int err = av_hwframe_transfer_data(out, m_decFrame, 0);
        if (err >= 0)
            err = av_frame_copy_props(out, m_decFrame);
        av_frame_unref(m_decFrame);
        if (err < 0) {
            qDebug() << "Error transferring the data to system memory";
            return Result::NoPicture;
        }
        return Result::Picture;
    }

    // Software: one frame per packet, no draining loop.
    int err = avcodec_send_packet(m_codecCtx, m_packet);
    if (err >= 0)
        err = avcodec_receive_frame(m_codecCtx, m_decFrame);
    if (err < 0) {
        qDebug() << "decode frame failed!" << 0;
        return Result::NoPicture;
    }
    av_frame_unref(out);
    av_frame_move_ref(out, m_decFrame);
    return Result::Picture;
}
