// Per-picture costs of the video pipeline at 1920 x 1080: software decoding,
// conversion to RGB with subject boxes (NV12 and I420), the widget's QImage
// wrap with its deep copy, and the texture upload. Run under an X server
// (xvfb-run) for the upload figure.
#include "tools/camsim/video/SyntheticVideoSource.h"
#include "video/FrameConvert.h"
#include "video/H264Decoder.h"
#include "video/RgbaConverter.h"
#include "video/VideoWidget.h"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/log.h>
}

#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

const std::vector<camsim::VideoFrame>& encodedStream() {
    static const std::vector<camsim::VideoFrame> frames = [] {
        camsim::SyntheticVideoSource source;
        camsim::VideoSettings hd;
        hd.width = kWidth;
        hd.height = kHeight;
        source.configure(hd);
        std::vector<camsim::VideoFrame> out(60);
        for (auto& f : out)
            source.nextFrame(f);
        return out;
    }();
    return frames;
}

// A panning, finely detailed picture: closer to a camera's picture than the
// flat synthetic scene, which the encoder almost entirely skips.
const std::vector<std::string>& detailedStream() {
    static const std::vector<std::string> units = [] {
        cv::Mat texture(kHeight + 64, kWidth + 256, CV_8UC3);
        cv::randu(texture, cv::Scalar::all(0), cv::Scalar::all(255));
        cv::GaussianBlur(texture, texture, cv::Size(5, 5), 1.5);
        camsim::H264Encoder encoder;
        encoder.open(kWidth, kHeight, 30);
        std::vector<std::string> out;
        for (int i = 0; i < 60; ++i)
            out.push_back(encoder.encode(texture(cv::Rect(i * 4, i, kWidth, kHeight)).clone()));
        return out;
    }();
    return units;
}

SideInfo oneBox() {
    std::string info = camsim::makeSideInfo(camsim::SubjectBox{true, 0.3f, 0.3f, 0.6f, 0.7f});
    SideInfo block{};
    fillSideInfo(block, &info);
    return block;
}

AVFrame* filledFrame(AVPixelFormat format, int lumaStride) {
    AVFrame* f = av_frame_alloc();
    f->format = format;
    f->width = kWidth;
    f->height = kHeight;
    f->linesize[0] = lumaStride;
    f->linesize[1] = format == AV_PIX_FMT_NV12 ? lumaStride : lumaStride / 2;
    f->linesize[2] = format == AV_PIX_FMT_NV12 ? 0 : lumaStride / 2;
    av_frame_get_buffer(f, 0);
    for (int p = 0; p < 3 && f->data[p]; ++p) {
        const int rows = p == 0 ? kHeight : kHeight / 2;
        std::memset(f->data[p], 100 + 20 * p, static_cast<size_t>(f->linesize[p]) * rows);
    }
    return f;
}

void SoftwareDecode1080p(benchmark::State& state) {
    const auto& frames = encodedStream();
    H264Decoder decoder;
    decoder.init(kDecodeSoftware);
    AVFrame* picture = av_frame_alloc();
    size_t i = 0;
    for (auto _ : state) {
        const std::string& unit = frames[i++ % frames.size()].accessUnit;
        decoder.decode(reinterpret_cast<const uint8_t*>(unit.data()), static_cast<int>(unit.size()),
                       picture);
        benchmark::DoNotOptimize(picture->data[0]);
    }
    av_frame_free(&picture);
    state.counters["fps"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void SoftwareDecodeDetailed1080p(benchmark::State& state) {
    const auto& units = detailedStream();
    H264Decoder decoder;
    decoder.init(kDecodeSoftware);
    AVFrame* picture = av_frame_alloc();
    size_t i = 0;
    size_t bytes = 0;
    for (auto _ : state) {
        const std::string& unit = units[i++ % units.size()];
        bytes += unit.size();
        decoder.decode(reinterpret_cast<const uint8_t*>(unit.data()), static_cast<int>(unit.size()),
                       picture);
        benchmark::DoNotOptimize(picture->data[0]);
    }
    av_frame_free(&picture);
    state.counters["fps"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["kB/unit"] = static_cast<double>(bytes) / 1000.0 /
                                static_cast<double>(std::max<int64_t>(state.iterations(), 1));
}

// The simulated camera's cost per picture (render and encode).
void SyntheticSourceFrame1080p(benchmark::State& state) {
    camsim::SyntheticVideoSource source;
    camsim::VideoSettings hd;
    hd.width = kWidth;
    hd.height = kHeight;
    source.configure(hd);
    camsim::VideoFrame frame;
    for (auto _ : state) {
        source.nextFrame(frame);
        benchmark::DoNotOptimize(frame.accessUnit.data());
    }
}

void ConvertWithBoxes(benchmark::State& state, AVPixelFormat format, int mode) {
    AVFrame* f = filledFrame(format, 1984);
    const SideInfo info = oneBox();
    for (auto _ : state) {
        cv::Mat rgb = convertFrame(f, mode);
        drawTargetBoxes(rgb, info, f->linesize[0], f->height);
        benchmark::DoNotOptimize(rgb.data);
    }
    av_frame_free(&f);
}
void ConvertNv12WithBoxes1080p(benchmark::State& s) {
    ConvertWithBoxes(s, AV_PIX_FMT_NV12, kDecodeHardware);
}
void ConvertI420WithBoxes1080p(benchmark::State& s) {
    ConvertWithBoxes(s, AV_PIX_FMT_YUV420P, kDecodeSoftware);
}

void MatToQImageDeepCopy1080p(benchmark::State& state) {
    cv::Mat rgb(kHeight, kWidth, CV_8UC3, cv::Scalar(10, 20, 30));
    for (auto _ : state) {
        QImage copy = matToQImage(rgb).copy();
        benchmark::DoNotOptimize(copy.constBits());
    }
}

// What the screen's path costs per picture now: libswscale's R, G, B, A for a
// software rasterizer, and the planes' upload into textures allocated once.
void ConvertI420ToRgba1080p(benchmark::State& state) {
    AVFrame* f = filledFrame(AV_PIX_FMT_YUV420P, 1920);
    RgbaConverter converter;
    for (auto _ : state) {
        cv::Mat rgba = converter.convert(*f, kWidth);
        benchmark::DoNotOptimize(rgba.data);
    }
    av_frame_free(&f);
}

// An offscreen OpenGL context made current; null (and the benchmark skipped)
// without a display.
QOpenGLFunctions* currentContext(benchmark::State& state, QOffscreenSurface& surface,
                                 QOpenGLContext& context) {
    surface.create();
    if (!context.create() || !context.makeCurrent(&surface)) {
        state.SkipWithError("no OpenGL context (run under xvfb-run)");
        return nullptr;
    }
    return context.functions();
}

void PlaneUpload1080p(benchmark::State& state) {
    QOffscreenSurface surface;
    QOpenGLContext context;
    QOpenGLFunctions* gl = currentContext(state, surface, context);
    if (!gl)
        return;
    GLuint textures[3] = {0, 0, 0};
    gl->glGenTextures(3, textures);
    const int widths[3] = {kWidth, kWidth / 2, kWidth / 2};
    const int heights[3] = {kHeight, kHeight / 2, kHeight / 2};
    std::vector<uint8_t> pixels(static_cast<size_t>(kWidth) * kHeight, 100);
    gl->glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    for (int i = 0; i < 3; ++i) {
        gl->glBindTexture(GL_TEXTURE_2D, textures[i]);
        gl->glTexImage2D(GL_TEXTURE_2D, 0, GL_LUMINANCE, widths[i], heights[i], 0, GL_LUMINANCE,
                         GL_UNSIGNED_BYTE, nullptr);
    }
    for (auto _ : state) {
        for (int i = 0; i < 3; ++i) {
            gl->glBindTexture(GL_TEXTURE_2D, textures[i]);
            gl->glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, widths[i], heights[i], GL_LUMINANCE,
                                GL_UNSIGNED_BYTE, pixels.data());
        }
        gl->glFinish();
    }
    gl->glDeleteTextures(3, textures);
    context.doneCurrent();
}

void TextureUpload1080p(benchmark::State& state) {
    QOffscreenSurface surface;
    QOpenGLContext context;
    QOpenGLFunctions* gl = currentContext(state, surface, context);
    if (!gl)
        return;
    GLuint texture = 0;
    gl->glGenTextures(1, &texture);
    gl->glBindTexture(GL_TEXTURE_2D, texture);
    QImage image(kWidth, kHeight, QImage::Format_RGB888);
    image.fill(QColor(40, 80, 120));
    for (auto _ : state) {
        gl->glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, kWidth, kHeight, 0, GL_RGB, GL_UNSIGNED_BYTE,
                         image.constBits());
        gl->glFinish();
    }
    gl->glDeleteTextures(1, &texture);
    context.doneCurrent();
}

} // namespace

BENCHMARK(SoftwareDecode1080p)->Unit(benchmark::kMillisecond);
BENCHMARK(SoftwareDecodeDetailed1080p)->Unit(benchmark::kMillisecond);
BENCHMARK(ConvertNv12WithBoxes1080p)->Unit(benchmark::kMillisecond);
BENCHMARK(ConvertI420WithBoxes1080p)->Unit(benchmark::kMillisecond);
BENCHMARK(MatToQImageDeepCopy1080p)->Unit(benchmark::kMillisecond);
BENCHMARK(TextureUpload1080p)->Unit(benchmark::kMillisecond);
BENCHMARK(ConvertI420ToRgba1080p)->Unit(benchmark::kMillisecond);
BENCHMARK(PlaneUpload1080p)->Unit(benchmark::kMillisecond);
BENCHMARK(SyntheticSourceFrame1080p)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    av_log_set_level(AV_LOG_ERROR);
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    encodedStream(); // encode before timing
    detailedStream();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
