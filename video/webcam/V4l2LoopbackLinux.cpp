#include "video/webcam/V4l2Loopback.h"

#include "video/capture/SnapshotTaker.h"

extern "C" {
#include <libavdevice/avdevice.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
}

#include <linux/videodev2.h>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <dirent.h>
#include <mutex>

namespace {

// The driver name v4l2loopback gives in VIDIOC_QUERYCAP.
constexpr const char* kLoopbackDriver = "v4l2 loopback";

std::string avError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

// The driver and card of a video device; false when it is none.
bool queryDevice(const std::string& path, std::string* driver, std::string* card) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    v4l2_capability caps{};
    const bool ok = ::ioctl(fd, VIDIOC_QUERYCAP, &caps) == 0;
    ::close(fd);
    if (!ok)
        return false;
    *driver = std::string(reinterpret_cast<const char*>(caps.driver),
                          strnlen(reinterpret_cast<const char*>(caps.driver), sizeof caps.driver));
    *card = std::string(reinterpret_cast<const char*>(caps.card),
                        strnlen(reinterpret_cast<const char*>(caps.card), sizeof caps.card));
    return true;
}

// libavdevice's V4L2 output at one picture size.
class LoopbackOutput {
public:
    ~LoopbackOutput() { close(); }
    bool open(const std::string& path, int width, int height, int rate, std::string* why) {
        close();
        static std::once_flag devices;
        std::call_once(devices, [] { avdevice_register_all(); });
        const AVOutputFormat* format = av_guess_format("video4linux2", nullptr, nullptr);
        if (!format) {
            *why = "this FFmpeg has no video4linux2 output";
            return false;
        }
        int res = avformat_alloc_output_context2(&m_context, format, nullptr, path.c_str());
        if (res < 0 || !m_context) {
            *why = avError(res);
            return false;
        }
        AVStream* stream = avformat_new_stream(m_context, nullptr);
        if (!stream) {
            *why = "no stream";
            return false;
        }
        stream->codecpar->codec_type = AVMEDIA_TYPE_VIDEO;
        stream->codecpar->codec_id = AV_CODEC_ID_RAWVIDEO;
        stream->codecpar->format = AV_PIX_FMT_YUYV422;
        stream->codecpar->width = width;
        stream->codecpar->height = height;
        stream->time_base = AVRational{1, rate > 0 ? rate : 30};
        res = avformat_write_header(m_context, nullptr);
        if (res < 0) {
            *why = avError(res);
            close();
            return false;
        }
        m_headerWritten = true;
        m_layout = PictureLayout::of(PictureLayout::Format::YUY2, width, height);
        // The device's lines are width * 2 bytes, without padding.
        m_layout.strides[0] = width * 2;
        m_layout.size = static_cast<size_t>(width) * 2 * height;
        m_buffer.assign(m_layout.size, 0);
        m_index = 0;
        return true;
    }
    bool write(const cv::Mat& rgb, std::string* why) {
        if (!m_converter.convert(rgb, m_layout, m_buffer.data(), m_buffer.size())) {
            *why = "the picture could not be converted";
            return false;
        }
        AVPacket* packet = av_packet_alloc();
        if (!packet) {
            *why = "out of memory";
            return false;
        }
        packet->data = m_buffer.data();
        packet->size = static_cast<int>(m_buffer.size());
        packet->stream_index = 0;
        packet->pts = packet->dts = m_index++;
        const int res = av_write_frame(m_context, packet);
        av_packet_free(&packet);
        if (res < 0) {
            *why = avError(res);
            return false;
        }
        return true;
    }
    void close() {
        if (!m_context)
            return;
        if (m_headerWritten)
            av_write_trailer(m_context);
        avformat_free_context(m_context);
        m_context = nullptr;
        m_headerWritten = false;
        m_layout = PictureLayout{};
    }
    int width() const { return m_layout.width; }
    int height() const { return m_layout.height; }

private:
    AVFormatContext* m_context = nullptr;
    bool m_headerWritten = false;
    PictureLayout m_layout;
    PictureConverter m_converter;
    std::vector<uint8_t> m_buffer;
    int64_t m_index = 0;
};

} // namespace

std::vector<LoopbackDevice> listLoopbackDevices(const std::string& folder) {
    std::vector<std::pair<int, LoopbackDevice>> found;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return {};
    while (dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.rfind("video", 0) != 0 || name.size() == 5 ||
            name.find_first_not_of("0123456789", 5) != std::string::npos)
            continue;
        LoopbackDevice device;
        device.path = folder + "/" + name;
        std::string driver;
        if (!queryDevice(device.path, &driver, &device.label) || driver != kLoopbackDriver)
            continue;
        found.emplace_back(std::stoi(name.substr(5)), device);
    }
    ::closedir(dir);
    std::sort(found.begin(), found.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<LoopbackDevice> out;
    for (auto& f : found)
        out.push_back(std::move(f.second));
    return out;
}

V4l2LoopbackCamera::V4l2LoopbackCamera(WebcamSettings settings, CaptureReport report)
    : m_settings(std::move(settings)), m_report(std::move(report)) {}

V4l2LoopbackCamera::~V4l2LoopbackCamera() {
    stop();
}

bool V4l2LoopbackCamera::start() {
    if (m_started)
        return false;
    m_started = true;
    return m_worker.start("orun-v4l2", [this] { run(); });
}

void V4l2LoopbackCamera::stop(int limitMs) {
    m_worker.stop(limitMs, [this] {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stopping = true;
        }
        m_changed.notify_all();
    });
    std::lock_guard<std::mutex> lock(m_mutex);
    m_latest = VideoPicture{};
}

WebcamStats V4l2LoopbackCamera::stats() const {
    WebcamStats s;
    s.pictures = m_pictures.load();
    s.sent = m_sent.load();
    s.dropped = s.pictures > s.sent ? s.pictures - s.sent : 0;
    s.formats = m_formats.load();
    s.streaming = m_open.load();
    return s;
}

void V4l2LoopbackCamera::onPicture(const VideoPicture& picture) {
    if (picture.rgb.empty())
        return;
    ++m_pictures;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_latest = picture;
        m_fresh = true;
    }
    m_changed.notify_all();
}

void V4l2LoopbackCamera::tell(CaptureEvent::Kind kind, const std::string& reason) {
    if (!m_report)
        return;
    CaptureEvent event;
    event.kind = kind;
    event.path = m_settings.loopbackDevice;
    event.reason = reason;
    m_report(event);
}

void V4l2LoopbackCamera::run() {
    const LoopbackDevice device =
        findLoopbackDevice(listLoopbackDevices(), m_settings.loopbackDevice);
    if (device.path.empty()) {
        tell(CaptureEvent::Kind::OutputFailed, "no v4l2loopback device called " +
                                                   m_settings.loopbackDevice + " (" +
                                                   loopbackHowTo() + ")");
        tell(CaptureEvent::Kind::Finished);
        return;
    }
    LoopbackOutput output;
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_stopping || m_fresh; });
        if (m_stopping)
            break;
        const VideoPicture picture = m_latest;
        m_fresh = false;
        lock.unlock();
        const cv::Mat image = SnapshotTaker::chooseImage(picture, m_settings.withBoxes);
        std::string why;
        bool ok = true;
        if (image.cols != output.width() || image.rows != output.height()) {
            ok = output.open(device.path, image.cols, image.rows, m_settings.rate, &why);
            if (ok) {
                ++m_formats;
                if (!m_open.exchange(true))
                    tell(CaptureEvent::Kind::OutputOpened);
            }
        }
        ok = ok && output.write(image, &why);
        if (!ok) {
            output.close();
            m_open = false;
            tell(CaptureEvent::Kind::OutputFailed, device.path + ": " + why);
            tell(CaptureEvent::Kind::Finished);
            return;
        }
        ++m_sent;
        lock.lock();
    }
    lock.unlock();
    output.close();
    m_open = false;
    tell(CaptureEvent::Kind::Finished);
}
