#include "video/capture/MediaMuxer.h"

#include "video/H264Inspect.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/error.h>
#include <libavutil/mem.h>
}

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

constexpr AVRational kTicks{1, MediaMuxer::kTicksPerSecond};

std::string nalText(const NalBuffer& nal) {
    return nal ? std::string(nal->begin(), nal->end()) : std::string();
}

AVDictionary* toDictionary(const std::map<std::string, std::string>& options) {
    AVDictionary* dict = nullptr;
    for (const auto& option : options)
        av_dict_set(&dict, option.first.c_str(), option.second.c_str(), 0);
    return dict;
}

} // namespace

bool readStreamParams(const std::string& keyFrame, StreamParams* out) {
    const NalUnitSet units = inspectAccessUnit(keyFrame);
    if (!units.sps || !units.pps)
        return false;
    StreamParams params;
    params.sps = nalText(units.sps);
    params.extradata = params.sps + nalText(units.pps);

    // The size comes from FFmpeg's own reading of the SPS (cropping included).
    AVCodecParserContext* parser = av_parser_init(AV_CODEC_ID_H264);
    AVCodecContext* context = avcodec_alloc_context3(nullptr);
    if (parser && context) {
        parser->flags |= PARSER_FLAG_COMPLETE_FRAMES;
        std::vector<uint8_t> padded(keyFrame.size() + AV_INPUT_BUFFER_PADDING_SIZE, 0);
        std::memcpy(padded.data(), keyFrame.data(), keyFrame.size());
        uint8_t* parsed = nullptr;
        int parsedSize = 0;
        av_parser_parse2(parser, context, &parsed, &parsedSize, padded.data(),
                         static_cast<int>(keyFrame.size()), AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
        params.width = parser->width;
        params.height = parser->height;
    }
    av_parser_close(parser);
    avcodec_free_context(&context);
    if (params.width <= 0 || params.height <= 0)
        return false;
    *out = std::move(params);
    return true;
}

MediaMuxer::MediaMuxer(const std::atomic<bool>& abort) : m_abort(abort) {}

MediaMuxer::~MediaMuxer() {
    close(nullptr, false);
}

std::string MediaMuxer::errorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {0};
    av_strerror(code, text, sizeof text);
    return text;
}

int MediaMuxer::systemError(int code) {
    // AVERROR(e) is -e for the system's numbers; FFmpeg's own codes are tags
    // far below.
    return code < 0 && code > -4096 ? -code : 0;
}

int MediaMuxer::interruptCallback(void* opaque) {
    return static_cast<MediaMuxer*>(opaque)->m_abort.load() ? 1 : 0;
}

bool MediaMuxer::connect(const std::string& url, const std::map<std::string, std::string>& options,
                         std::string* error, int* errorCode) {
    close(nullptr, false);
    const AVIOInterruptCB interrupt{&MediaMuxer::interruptCallback, this};
    AVDictionary* dict = toDictionary(options);
    const int rc = avio_open2(&m_io, url.c_str(), AVIO_FLAG_WRITE, &interrupt, &dict);
    av_dict_free(&dict);
    if (rc < 0) {
        m_io = nullptr;
        if (error)
            *error = errorText(rc);
        if (errorCode)
            *errorCode = rc;
        return false;
    }
    return true;
}

bool MediaMuxer::begin(const std::string& format, const StreamParams& params,
                       const std::map<std::string, std::string>& options, std::string* error,
                       int* errorCode) {
    auto failed = [&](int rc) {
        if (error)
            *error = errorText(rc);
        if (errorCode)
            *errorCode = rc;
        if (m_ctx) {
            // The output stays with the caller's close().
            m_ctx->pb = nullptr;
            avformat_free_context(m_ctx);
            m_ctx = nullptr;
        }
        return false;
    };
    if (!m_io)
        return failed(AVERROR(EINVAL));
    if (m_ctx)
        return failed(AVERROR(EBUSY));
    int rc = avformat_alloc_output_context2(&m_ctx, nullptr, format.c_str(), nullptr);
    if (rc < 0 || !m_ctx) {
        m_ctx = nullptr;
        return failed(rc < 0 ? rc : AVERROR_MUXER_NOT_FOUND);
    }
    m_ctx->interrupt_callback = AVIOInterruptCB{&MediaMuxer::interruptCallback, this};
    m_ctx->pb = m_io;
    AVStream* stream = avformat_new_stream(m_ctx, nullptr);
    if (!stream)
        return failed(AVERROR(ENOMEM));
    AVCodecParameters* par = stream->codecpar;
    par->codec_type = AVMEDIA_TYPE_VIDEO;
    par->codec_id = AV_CODEC_ID_H264;
    par->width = params.width;
    par->height = params.height;
    par->format = AV_PIX_FMT_YUV420P;
    par->extradata =
        static_cast<uint8_t*>(av_mallocz(params.extradata.size() + AV_INPUT_BUFFER_PADDING_SIZE));
    if (!par->extradata)
        return failed(AVERROR(ENOMEM));
    std::memcpy(par->extradata, params.extradata.data(), params.extradata.size());
    par->extradata_size = static_cast<int>(params.extradata.size());
    stream->time_base = kTicks;
    AVDictionary* dict = toDictionary(options);
    rc = avformat_write_header(m_ctx, &dict);
    av_dict_free(&dict);
    if (rc < 0)
        return failed(rc);
    if (!m_packet)
        m_packet = av_packet_alloc();
    if (!m_packet)
        return failed(AVERROR(ENOMEM));
    m_lastDts = INT64_MIN;
    return true;
}

bool MediaMuxer::open(const std::string& url, const std::string& format, const StreamParams& params,
                      const std::map<std::string, std::string>& options, std::string* error,
                      int* errorCode) {
    if (!connect(url, options, error, errorCode))
        return false;
    if (!begin(format, params, options, error, errorCode)) {
        close(nullptr, false);
        return false;
    }
    return true;
}

bool MediaMuxer::write(const std::string& accessUnit, int64_t pts, int64_t duration, bool keyFrame,
                       std::string* error, int* errorCode) {
    if (!m_ctx || !m_packet) {
        if (error)
            *error = "not open";
        if (errorCode)
            *errorCode = AVERROR(EINVAL);
        return false;
    }
    const AVRational base = m_ctx->streams[0]->time_base;
    int64_t dts = av_rescale_q(pts, kTicks, base);
    // The time base may be coarser than the ticks (Matroska: milliseconds).
    if (m_lastDts != INT64_MIN && dts <= m_lastDts)
        dts = m_lastDts + 1;
    av_packet_unref(m_packet);
    int rc = av_new_packet(m_packet, static_cast<int>(accessUnit.size()));
    if (rc >= 0) {
        std::memcpy(m_packet->data, accessUnit.data(), accessUnit.size());
        m_packet->stream_index = 0;
        m_packet->pts = dts;
        m_packet->dts = dts;
        m_packet->duration =
            duration > 0 ? std::max<int64_t>(1, av_rescale_q(pts + duration, kTicks, base) - dts)
                         : 0;
        if (keyFrame)
            m_packet->flags |= AV_PKT_FLAG_KEY;
        rc = av_write_frame(m_ctx, m_packet);
    }
    av_packet_unref(m_packet);
    if (rc < 0) {
        if (error)
            *error = errorText(rc);
        if (errorCode)
            *errorCode = rc;
        return false;
    }
    m_lastDts = dts;
    return true;
}

bool MediaMuxer::close(std::string* error, bool writeTrailer, int* errorCode) {
    int rc = 0;
    if (m_ctx) {
        if (writeTrailer)
            rc = av_write_trailer(m_ctx);
        m_ctx->pb = nullptr;
        avformat_free_context(m_ctx);
        m_ctx = nullptr;
    }
    if (m_io) {
        // The last bytes reach the file or the network here.
        avio_flush(m_io);
        if (rc >= 0 && m_io->error < 0)
            rc = m_io->error;
        const int closed = avio_closep(&m_io);
        if (rc >= 0 && closed < 0)
            rc = closed;
    }
    av_packet_free(&m_packet);
    if (rc < 0) {
        if (error)
            *error = errorText(rc);
        if (errorCode)
            *errorCode = rc;
        return false;
    }
    return true;
}
