// Writes one small H.264 key frame in Annex B form: SPS, PPS and an IDR slice
// of a 64x64 grey picture with a soft gradient, constrained baseline profile,
// 4:2:0, 8 bits. Every decoder (hardware ones included) can decode it on its
// own; the encoder's information message (SEI) is left out to keep it small.
//
//   probeframe OUTPUT

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
}

#include <cstdio>
#include <string>

namespace {

constexpr int kSize = 64;

// The NAL units of an Annex B buffer without those of type `drop`, each after
// a four-byte start code, as the camera sends them.
std::string withoutNalType(const uint8_t* data, int size, int drop) {
    std::string out;
    int start = -1; // first byte of the current unit's start code
    auto flush = [&](int end) {
        if (start < 0)
            return;
        int header = start;
        while (header < end && data[header] == 0)
            ++header;
        ++header; // the 01 of the start code
        if (header < end && (data[header] & 0x1F) != drop) {
            out.append("\0\0\0\1", 4);
            out.append(reinterpret_cast<const char*>(data + header), end - header);
        }
    };
    for (int i = 0; i + 3 <= size; ++i) {
        const bool four = i + 4 <= size && data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 0 &&
                          data[i + 3] == 1;
        const bool three = data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1;
        if (four || three) {
            flush(i);
            start = i;
            i += four ? 3 : 2;
        }
    }
    flush(size);
    return out;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT\n", argv[0]);
        return 2;
    }
    av_log_set_level(AV_LOG_ERROR); // the encoder's statistics are noise here
    const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
    if (!codec) {
        std::fprintf(stderr, "probeframe: FFmpeg has no libx264 encoder\n");
        return 1;
    }
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    ctx->width = kSize;
    ctx->height = kSize;
    ctx->pix_fmt = AV_PIX_FMT_YUV420P;
    ctx->time_base = AVRational{1, 30};
    ctx->gop_size = 1;
    ctx->max_b_frames = 0;
    av_opt_set(ctx->priv_data, "profile", "baseline", 0);
    av_opt_set(ctx->priv_data, "preset", "veryslow", 0);
    av_opt_set(ctx->priv_data, "tune", "zerolatency", 0);
    av_opt_set(ctx->priv_data, "crf", "30", 0);
    if (avcodec_open2(ctx, codec, nullptr) < 0) {
        std::fprintf(stderr, "probeframe: cannot open the encoder\n");
        return 1;
    }
    AVFrame* frame = av_frame_alloc();
    frame->format = ctx->pix_fmt;
    frame->width = kSize;
    frame->height = kSize;
    frame->pts = 0;
    if (av_frame_get_buffer(frame, 0) < 0)
        return 1;
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x)
            frame->data[0][y * frame->linesize[0] + x] = static_cast<uint8_t>(96 + x + y);
    for (int p = 1; p < 3; ++p)
        for (int y = 0; y < kSize / 2; ++y)
            for (int x = 0; x < kSize / 2; ++x)
                frame->data[p][y * frame->linesize[p] + x] = 128;

    std::string stream;
    AVPacket* packet = av_packet_alloc();
    for (AVFrame* in : {frame, static_cast<AVFrame*>(nullptr)}) {
        if (avcodec_send_frame(ctx, in) < 0)
            return 1;
        while (avcodec_receive_packet(ctx, packet) >= 0) {
            if (stream.empty())
                stream = withoutNalType(packet->data, packet->size, 6);
            av_packet_unref(packet);
        }
    }
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&ctx);
    if (stream.empty()) {
        std::fprintf(stderr, "probeframe: the encoder gave no picture\n");
        return 1;
    }
    std::FILE* out = std::fopen(argv[1], "wb");
    if (!out || std::fwrite(stream.data(), 1, stream.size(), out) != stream.size()) {
        std::fprintf(stderr, "probeframe: cannot write %s\n", argv[1]);
        return 1;
    }
    std::fclose(out);
    std::printf("probeframe: %zu bytes in %s\n", stream.size(), argv[1]);
    return 0;
}
