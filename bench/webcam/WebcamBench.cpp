// The PipeWire camera at 1080p30 with one reader asking for I420, in a
// PipeWire session of its own: the CPU time of the camera's thread
// ("orun-webcam") as a share of one core, and the picture's age at the
// reader (picture handed to the sink -> buffer in the reader's process
// callback), p50 / p95 / max. Each picture carries its number in blocks of
// its first lines, so the reader knows which it got.
//
//   webcam_bench [seconds]      (default 10)
#include "tests/support/PipeWireSession.h"
#include "video/webcam/PipeWireCamera.h"

#include <pipewire/pipewire.h>
#include <spa/param/video/format-utils.h>

extern "C" {
#include <libavutil/frame.h>
}

#include <QCoreApplication>
#include <QDir>

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kBits = 16;
constexpr int kBlock = 16;

int64_t nowUs() {
    return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now().time_since_epoch())
        .count();
}

// CPU time (user + system) of this process's thread called `name`, in
// clock ticks; -1 when there is none.
long threadTicks(const std::string& name) {
    const QDir tasks("/proc/self/task");
    for (const QString& tid : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        std::ifstream comm(("/proc/self/task/" + tid + "/comm").toStdString());
        std::string c;
        std::getline(comm, c);
        if (c != name)
            continue;
        std::ifstream stat(("/proc/self/task/" + tid + "/stat").toStdString());
        std::string all((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
        std::istringstream rest(all.substr(all.rfind(')') + 2));
        std::string field;
        long utime = 0;
        long stime = 0;
        for (int i = 3; i <= 15 && rest >> field; ++i) {
            if (i == 14)
                utime = std::stol(field);
            if (i == 15)
                stime = std::stol(field);
        }
        return utime + stime;
    }
    return -1;
}

// A reader of the camera in this process, as a meeting program is: a
// PipeWire input stream on a thread loop of its own, asking for I420.
class Reader {
public:
    explicit Reader(std::vector<std::atomic<int64_t>>* sentAt) : m_sentAt(sentAt) {}
    ~Reader() { stop(); }

    bool start(int node) {
        m_loop = pw_thread_loop_new("bench-reader", nullptr);
        pw_thread_loop_lock(m_loop);
        m_stream = pw_stream_new_simple(pw_thread_loop_get_loop(m_loop), "bench reader",
                                        pw_properties_new(PW_KEY_MEDIA_TYPE, "Video",
                                                          PW_KEY_MEDIA_CATEGORY, "Capture",
                                                          PW_KEY_MEDIA_ROLE, "Camera", nullptr),
                                        &events(), this);
        uint8_t buffer[1024];
        spa_pod_builder b = SPA_POD_BUILDER_INIT(buffer, sizeof buffer);
        spa_rectangle size = SPA_RECTANGLE(kWidth, kHeight);
        spa_fraction rate = SPA_FRACTION(30, 1);
        const spa_pod* params[1] = {static_cast<const spa_pod*>(spa_pod_builder_add_object(
            &b, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType,
            SPA_POD_Id(SPA_MEDIA_TYPE_video), SPA_FORMAT_mediaSubtype,
            SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw), SPA_FORMAT_VIDEO_format,
            SPA_POD_Id(SPA_VIDEO_FORMAT_I420), SPA_FORMAT_VIDEO_size, SPA_POD_Rectangle(&size),
            SPA_FORMAT_VIDEO_framerate, SPA_POD_Fraction(&rate)))};
        const int res = pw_stream_connect(
            m_stream, PW_DIRECTION_INPUT, static_cast<uint32_t>(node),
            static_cast<pw_stream_flags>(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS),
            params, 1);
        pw_thread_loop_unlock(m_loop);
        return res >= 0 && pw_thread_loop_start(m_loop) >= 0;
    }
    void stop() {
        if (!m_loop)
            return;
        pw_thread_loop_stop(m_loop);
        pw_stream_destroy(m_stream);
        pw_thread_loop_destroy(m_loop);
        m_loop = nullptr;
    }
    std::vector<int64_t> ages() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_ages;
    }
    long received() const { return m_received.load(); }
    void measure(bool on) { m_measuring = on; }

private:
    static const pw_stream_events& events() {
        static const pw_stream_events e = [] {
            pw_stream_events ev{};
            ev.version = PW_VERSION_STREAM_EVENTS;
            ev.process = [](void* data) { static_cast<Reader*>(data)->onProcess(); };
            return ev;
        }();
        return e;
    }
    void onProcess() {
        pw_buffer* b = pw_stream_dequeue_buffer(m_stream);
        if (!b)
            return;
        const int64_t at = nowUs();
        const spa_data& d = b->buffer->datas[0];
        if (d.data && d.chunk->size >= static_cast<uint32_t>(kWidth * kHeight)) {
            const uint8_t* y = static_cast<const uint8_t*>(d.data);
            const int stride = d.chunk->stride > 0 ? d.chunk->stride : kWidth;
            int index = 0;
            for (int bit = 0; bit < kBits; ++bit)
                if (y[(kBlock / 2) * stride + bit * kBlock + kBlock / 2] > 128)
                    index |= 1 << bit;
            const int64_t sent = (*m_sentAt)[static_cast<size_t>(index) % m_sentAt->size()].load();
            ++m_received;
            if (m_measuring && sent > 0 && at >= sent) {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_ages.push_back(at - sent);
            }
        }
        pw_stream_queue_buffer(m_stream, b);
    }

    std::vector<std::atomic<int64_t>>* m_sentAt;
    pw_thread_loop* m_loop = nullptr;
    pw_stream* m_stream = nullptr;
    std::mutex m_mutex;
    std::vector<int64_t> m_ages;
    std::atomic<long> m_received{0};
    std::atomic<bool> m_measuring{false};
};

// Pictures numbered 0..n-1 in their first line of blocks.
std::vector<VideoPicture> numberedPictures(int n) {
    std::vector<VideoPicture> out;
    for (int i = 0; i < n; ++i) {
        VideoPicture p;
        p.rgb = cv::Mat(kHeight, kWidth, CV_8UC3, cv::Scalar(40 + i % 7 * 20, 120, 200));
        for (int bit = 0; bit < kBits; ++bit)
            p.rgb(cv::Rect(bit * kBlock, 0, kBlock, kBlock))
                .setTo((i >> bit) & 1 ? cv::Scalar(255, 255, 255) : cv::Scalar(0, 0, 0));
        p.clean = p.rgb;
        p.width = kWidth;
        p.height = kHeight;
        // The decoder's frame beside it, as the display stage hands it out.
        cv::Mat yuv;
        cv::cvtColor(p.rgb, yuv, cv::COLOR_RGB2YUV_I420);
        AVFrame* frame = av_frame_alloc();
        frame->format = AV_PIX_FMT_YUV420P;
        frame->width = kWidth;
        frame->height = kHeight;
        if (av_frame_get_buffer(frame, 64) == 0) {
            const uint8_t* from[3] = {yuv.data, yuv.data + kWidth * kHeight,
                                      yuv.data + kWidth * kHeight * 5 / 4};
            for (int plane = 0; plane < 3; ++plane) {
                const int w = plane == 0 ? kWidth : kWidth / 2;
                for (int r = 0; r < (plane == 0 ? kHeight : kHeight / 2); ++r)
                    std::memcpy(frame->data[plane] + r * frame->linesize[plane],
                                from[plane] + r * w, static_cast<size_t>(w));
            }
            p.decoded = std::shared_ptr<const AVFrame>(frame, [](const AVFrame* f) {
                AVFrame* owned = const_cast<AVFrame*>(f);
                av_frame_free(&owned);
            });
        } else {
            av_frame_free(&frame);
        }
        out.push_back(p);
    }
    return out;
}

int64_t percentile(std::vector<int64_t> v, double q) {
    if (v.empty())
        return -1;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<size_t>(q * (v.size() - 1) + 0.5))];
}

} // namespace

// One run: `withBoxes` takes the R, G, B picture, else the decoder's planes.
int run(const std::vector<VideoPicture>& pictures, bool withBoxes, int seconds) {
    std::vector<std::atomic<int64_t>> sentAt(pictures.size());
    WebcamSettings settings;
    settings.withBoxes = withBoxes;
    auto camera = std::make_shared<PipeWireCamera>(settings, CaptureReport());
    camera->start();

    // The display thread's part: 30 pictures a second, each told when.
    std::atomic<bool> feeding{true};
    std::thread feeder([&] {
        auto next = Clock::now();
        for (size_t i = 0; feeding; ++i) {
            const size_t k = i % pictures.size();
            sentAt[k] = nowUs();
            camera->onPicture(pictures[k]);
            next += std::chrono::microseconds(33333);
            std::this_thread::sleep_until(next);
        }
    });
    const int node = PipeWireSession::waitForNode("orunapp");
    if (node < 0) {
        std::fprintf(stderr, "webcam_bench: no node\n");
        feeding = false;
        feeder.join();
        return 1;
    }
    // Idle: the node listed, nobody reading.
    const long idle0 = threadTicks("orun-webcam");
    QTest::qWait(2000);
    const long idle1 = threadTicks("orun-webcam");

    Reader reader(&sentAt);
    reader.start(node);
    if (!QTest::qWaitFor([&] { return reader.received() > 30; }, 10000))
        std::fprintf(stderr, "webcam_bench: the reader got %ld pictures\n", reader.received());
    reader.measure(true);
    const WebcamStats before = camera->stats();
    const long ticks0 = threadTicks("orun-webcam");
    const auto t0 = Clock::now();
    QTest::qWait(seconds * 1000);
    const long ticks1 = threadTicks("orun-webcam");
    const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
    reader.measure(false);
    const WebcamStats after = camera->stats();
    const std::vector<int64_t> ages = reader.ages();
    reader.stop();
    feeding = false;
    feeder.join();
    camera->stop();

    if (!PipeWireSession::waitForNodeGone("orunapp"))
        std::fprintf(stderr, "webcam_bench: the node stayed\n");
    const double hz = static_cast<double>(sysconf(_SC_CLK_TCK));
    std::printf("webcam_bench: 1920x1080 at 30/s, one reader in I420, %.1f s, %s\n", wall,
                withBoxes ? "with boxes (from the R, G, B picture)"
                          : "without boxes (the decoder's planes)");
    std::printf("  orun-webcam CPU, nobody reading : %5.2f %% of one core\n",
                100.0 * (idle1 - idle0) / hz / 2.0);
    std::printf("  orun-webcam CPU, one I420 reader: %5.2f %% of one core\n",
                100.0 * (ticks1 - ticks0) / hz / wall);
    std::printf("  pictures in %llu, sent %llu, dropped %llu; reader got %zu\n",
                static_cast<unsigned long long>(after.pictures - before.pictures),
                static_cast<unsigned long long>(after.sent - before.sent),
                static_cast<unsigned long long>(after.dropped - before.dropped), ages.size());
    std::printf("  age at the reader (sink -> reader's buffer): p50 %.2f ms, p95 %.2f ms, max "
                "%.2f ms (one frame: 33.3 ms)\n",
                percentile(ages, 0.5) / 1000.0, percentile(ages, 0.95) / 1000.0,
                percentile(ages, 1.0) / 1000.0);
    return 0;
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    PipeWireSession session;
    const QString why = session.start();
    if (!why.isEmpty()) {
        std::fprintf(stderr, "webcam_bench: no PipeWire session: %s\n", qPrintable(why));
        return 2;
    }
    pw_init(nullptr, nullptr);
    const std::vector<VideoPicture> pictures = numberedPictures(64);
    const int first = run(pictures, false, seconds);
    const int second = run(pictures, true, seconds);
    return first != 0 ? first : second;
}
