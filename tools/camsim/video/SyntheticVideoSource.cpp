#include "tools/camsim/video/SyntheticVideoSource.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/opt.h>
}

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>

namespace camsim {

const cv::Vec3b SyntheticScene::kTopLeft(200, 40, 40);
const cv::Vec3b SyntheticScene::kTopRight(40, 170, 60);
const cv::Vec3b SyntheticScene::kBottomLeft(40, 60, 200);
const cv::Vec3b SyntheticScene::kBottomRight(128, 128, 128);
const cv::Vec3b SyntheticScene::kSubject(230, 210, 40);

SubjectBox SyntheticScene::subjectAt(int64_t index, int framesPerSecond) {
    // The subject crosses from 10 % to 75 % of the width and back in four
    // seconds; it is 15 % wide and 30 % high, centred vertically.
    const double period = 4.0 * std::max(framesPerSecond, 1);
    const double phase = std::fmod(static_cast<double>(index), period) / period; // 0..1
    const double tri = phase < 0.5 ? phase * 2.0 : 2.0 - phase * 2.0;            // 0..1..0
    SubjectBox box;
    box.visible = true;
    box.left = static_cast<float>(0.10 + 0.65 * tri);
    box.right = box.left + 0.15f;
    box.top = 0.35f;
    box.bottom = 0.65f;
    return box;
}

namespace {

cv::Scalar toScalar(const cv::Vec3b& c) {
    return cv::Scalar(c[0], c[1], c[2]);
}

// Maps a fraction of the full scene into the zoomed (centre-cropped) view.
float zoomed(float v, float zoom) {
    return (v - (0.5f - 0.5f / zoom)) * zoom;
}

} // namespace

cv::Mat SyntheticScene::render(int64_t index, const VideoSettings& settings, SubjectBox* box) {
    const int w = std::max(settings.width, 16);
    const int h = std::max(settings.height, 16);
    cv::Mat scene(h, w, CV_8UC3);
    scene(cv::Rect(0, 0, w / 2, h / 2)).setTo(toScalar(kTopLeft));
    scene(cv::Rect(w / 2, 0, w - w / 2, h / 2)).setTo(toScalar(kTopRight));
    scene(cv::Rect(0, h / 2, w / 2, h - h / 2)).setTo(toScalar(kBottomLeft));
    scene(cv::Rect(w / 2, h / 2, w - w / 2, h - h / 2)).setTo(toScalar(kBottomRight));

    SubjectBox subject = subjectAt(index, 30);
    cv::rectangle(
        scene,
        cv::Rect(
            cv::Point(static_cast<int>(subject.left * w), static_cast<int>(subject.top * h)),
            cv::Point(static_cast<int>(subject.right * w), static_cast<int>(subject.bottom * h))),
        toScalar(kSubject), cv::FILLED);

    if (settings.mirror) {
        cv::flip(scene, scene, 1);
        const float left = 1.0f - subject.right;
        subject.right = 1.0f - subject.left;
        subject.left = left;
    }
    const float zoom = std::min(std::max(settings.zoom, 1.0f), 3.5f);
    if (zoom > 1.0f) {
        const int cw = std::max(1, static_cast<int>(std::lround(w / zoom)));
        const int ch = std::max(1, static_cast<int>(std::lround(h / zoom)));
        cv::Mat crop = scene(cv::Rect((w - cw) / 2, (h - ch) / 2, cw, ch));
        cv::Mat scaled;
        cv::resize(crop, scaled, cv::Size(w, h), 0, 0, cv::INTER_LINEAR);
        scene = scaled;
        subject.left = zoomed(subject.left, zoom);
        subject.right = zoomed(subject.right, zoom);
        subject.top = zoomed(subject.top, zoom);
        subject.bottom = zoomed(subject.bottom, zoom);
        if (subject.right <= 0 || subject.left >= 1 || subject.bottom <= 0 || subject.top >= 1)
            subject.visible = false;
        subject.left = std::max(subject.left, 0.0f);
        subject.top = std::max(subject.top, 0.0f);
        subject.right = std::min(subject.right, 1.0f);
        subject.bottom = std::min(subject.bottom, 1.0f);
    }

    // Frame number, readable whatever the mirroring.
    const double scale = h / 720.0;
    cv::putText(scene, "#" + std::to_string(index),
                cv::Point(static_cast<int>(20 * scale), static_cast<int>(60 * scale)),
                cv::FONT_HERSHEY_SIMPLEX, 1.5 * scale, cv::Scalar(255, 255, 255),
                std::max(1, static_cast<int>(3 * scale)));
    if (box)
        *box = subject;
    return scene;
}

std::string makeSideInfo(const SubjectBox& box) {
    std::string info(791, '\0');
    info[0] = 1;
    info[31] = box.visible ? 1 : 0;
    info[36] = box.visible ? 1 : 0;
    const float values[4] = {box.left, box.top, box.right, box.bottom};
    for (int i = 0; i < 4; ++i) {
        uint32_t bits;
        std::memcpy(&bits, &values[i], sizeof(bits));
        for (int b = 0; b < 4; ++b)
            info[37 + i * 4 + b] = static_cast<char>((bits >> (8 * b)) & 0xFF);
    }
    return info;
}

namespace {

// Payload ranges of the NAL units of an Annex B stream: after each 00 00 01,
// up to the next start code, trailing zero bytes removed.
std::vector<std::pair<size_t, size_t>> nalPayloads(const std::string& stream) {
    const auto* b = reinterpret_cast<const uint8_t*>(stream.data());
    const size_t n = stream.size();
    std::vector<std::pair<size_t, size_t>> nals;
    size_t begin = std::string::npos;
    auto close = [&](size_t end) {
        while (end > begin && b[end - 1] == 0)
            --end;
        if (end > begin)
            nals.emplace_back(begin, end);
    };
    for (size_t i = 0; i + 3 <= n; ++i) {
        if (b[i] == 0 && b[i + 1] == 0 && b[i + 2] == 1) {
            if (begin != std::string::npos)
                close(i);
            begin = i + 3;
            i += 2;
        }
    }
    if (begin != std::string::npos)
        close(n);
    return nals;
}

// The same stream with a four-byte start code before every NAL unit, the
// form the camera sends.
std::string withLongStartCodes(const std::string& stream) {
    std::string out;
    out.reserve(stream.size() + 16);
    for (auto [from, to] : nalPayloads(stream)) {
        out.append("\x00\x00\x00\x01", 4);
        out.append(stream, from, to - from);
    }
    return out;
}

} // namespace

H264Encoder::H264Encoder() = default;

H264Encoder::~H264Encoder() {
    close();
}

void H264Encoder::close() {
    avcodec_free_context(&m_ctx);
    av_frame_free(&m_frame);
    av_packet_free(&m_packet);
    m_pts = 0;
}

std::string H264Encoder::name() const {
    return m_ctx && m_ctx->codec ? std::string(m_ctx->codec->name) : std::string();
}

namespace {

AVCodecContext* openWith(const AVCodec* codec, int width, int height, int fps, int gop) {
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    if (!ctx)
        return nullptr;
    ctx->width = width;
    ctx->height = height;
    ctx->pix_fmt = AV_PIX_FMT_YUV420P;
    ctx->time_base = AVRational{1, fps};
    ctx->framerate = AVRational{fps, 1};
    ctx->gop_size = gop;
    ctx->max_b_frames = 0;
    ctx->bit_rate = static_cast<int64_t>(width) * height * 4; // about 3.7 Mbit/s at 720p
    // One thread: every picture is a single slice with four-byte start codes.
    ctx->thread_count = 1;
    if (std::strcmp(codec->name, "libx264") == 0) {
        av_opt_set(ctx->priv_data, "preset", "ultrafast", 0);
        av_opt_set(ctx->priv_data, "tune", "zerolatency", 0);
        av_opt_set(ctx->priv_data, "x264-params", "repeat-headers=1:scenecut=0", 0);
    }
    if (avcodec_open2(ctx, codec, nullptr) < 0) {
        avcodec_free_context(&ctx);
        return nullptr;
    }
    return ctx;
}

} // namespace

bool H264Encoder::open(int width, int height, int framesPerSecond, int keyFrameSeconds) {
    close();
    const int gop = framesPerSecond * std::max(1, keyFrameSeconds);
    const AVCodec* preferred = avcodec_find_encoder_by_name("libx264");
    if (preferred)
        m_ctx = openWith(preferred, width, height, framesPerSecond, gop);
    void* it = nullptr;
    const AVCodec* codec = nullptr;
    while (!m_ctx && (codec = av_codec_iterate(&it))) {
        if (codec == preferred || !av_codec_is_encoder(codec) || codec->id != AV_CODEC_ID_H264)
            continue;
        m_ctx = openWith(codec, width, height, framesPerSecond, gop);
    }
    if (!m_ctx)
        return false;
    m_frame = av_frame_alloc();
    m_packet = av_packet_alloc();
    if (!m_frame || !m_packet) {
        close();
        return false;
    }
    m_frame->format = AV_PIX_FMT_YUV420P;
    m_frame->width = width;
    m_frame->height = height;
    if (av_frame_get_buffer(m_frame, 0) < 0) {
        close();
        return false;
    }
    return true;
}

std::string H264Encoder::encode(const cv::Mat& rgb, bool forceKey) {
    if (!m_ctx || rgb.cols != m_ctx->width || rgb.rows != m_ctx->height || rgb.type() != CV_8UC3)
        return std::string();
    if (av_frame_make_writable(m_frame) < 0)
        return std::string();
    cv::Mat yuv;
    cv::cvtColor(rgb, yuv, cv::COLOR_RGB2YUV_I420);
    const int w = m_ctx->width;
    const int h = m_ctx->height;
    const uint8_t* src = yuv.data;
    for (int y = 0; y < h; ++y)
        std::memcpy(m_frame->data[0] + y * m_frame->linesize[0], src + y * w, w);
    src += static_cast<size_t>(w) * h;
    for (int plane = 1; plane <= 2; ++plane) {
        for (int y = 0; y < h / 2; ++y)
            std::memcpy(m_frame->data[plane] + y * m_frame->linesize[plane], src + y * (w / 2),
                        w / 2);
        src += static_cast<size_t>(w / 2) * (h / 2);
    }
    m_frame->pts = m_pts++;
    m_frame->pict_type = forceKey ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
    if (avcodec_send_frame(m_ctx, m_frame) < 0)
        return std::string();
    std::string unit;
    while (avcodec_receive_packet(m_ctx, m_packet) >= 0) {
        unit.append(reinterpret_cast<const char*>(m_packet->data), m_packet->size);
        av_packet_unref(m_packet);
    }
    return withLongStartCodes(unit);
}

SyntheticVideoSource::SyntheticVideoSource(int framesPerSecond, int keyFrameSeconds)
    : m_fps(std::max(1, framesPerSecond)), m_keyFrameSeconds(std::max(1, keyFrameSeconds)) {}

void SyntheticVideoSource::configure(const VideoSettings& settings) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (settings.width != m_settings.width || settings.height != m_settings.height)
        m_reopen = true;
    m_settings = settings;
}

void SyntheticVideoSource::startStream() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_keyFrameNext = true;
}

bool SyntheticVideoSource::nextFrame(VideoFrame& out) {
    VideoSettings settings;
    bool reopen;
    bool key;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        settings = m_settings;
        reopen = m_reopen;
        m_reopen = false;
        key = m_keyFrameNext;
        m_keyFrameNext = false;
    }
    // A new size opens a new encoder, whose first picture is an IDR with SPS and PPS.
    if (reopen && !m_encoder.open(settings.width, settings.height, m_fps, m_keyFrameSeconds))
        return false;
    SubjectBox box;
    cv::Mat picture = SyntheticScene::render(m_index, settings, &box);
    ++m_index;
    out.accessUnit = m_encoder.encode(picture, key);
    out.sideInfo = makeSideInfo(box);
    return m_encoder.isOpen();
}

// --- File replay

AnnexBFileSource::AnnexBFileSource(const std::string& path, int framesPerSecond, bool loop)
    : m_fps(framesPerSecond), m_loop(loop) {
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return;
    std::ostringstream bytes;
    bytes << file.rdbuf();
    m_units = splitAccessUnits(bytes.str());
}

std::unique_ptr<AnnexBFileSource> AnnexBFileSource::fromBytes(const std::string& bytes,
                                                              int framesPerSecond, bool loop) {
    std::unique_ptr<AnnexBFileSource> source(new AnnexBFileSource(framesPerSecond, loop));
    source->m_units = splitAccessUnits(bytes);
    return source;
}

bool AnnexBFileSource::nextFrame(VideoFrame& out) {
    if (m_units.empty())
        return false;
    if (m_next >= m_units.size()) {
        if (!m_loop)
            return false;
        m_next = 0;
    }
    out.accessUnit = m_units[m_next++];
    out.sideInfo.clear();
    return true;
}

std::vector<std::string> AnnexBFileSource::splitAccessUnits(const std::string& stream) {
    const auto* b = reinterpret_cast<const uint8_t*>(stream.data());
    const std::vector<std::pair<size_t, size_t>> nals = nalPayloads(stream);
    std::vector<std::string> units;
    std::string current;
    bool hasSlice = false;
    for (auto [from, to] : nals) {
        const int type = b[from] & 0x1F;
        const bool slice = type == 1 || type == 5;
        const bool firstSlice = slice && to - from > 1 && (b[from + 1] & 0x80) != 0;
        const bool opensUnit =
            type == 9 ||
            ((type == 6 || type == 7 || type == 8 || (type >= 14 && type <= 18)) && hasSlice) ||
            (firstSlice && hasSlice);
        if (opensUnit && !current.empty()) {
            units.push_back(std::move(current));
            current.clear();
            hasSlice = false;
        }
        current.append("\x00\x00\x00\x01", 4);
        current.append(stream, from, to - from);
        hasSlice = hasSlice || slice;
    }
    if (!current.empty())
        units.push_back(std::move(current));
    return units;
}

} // namespace camsim
