// The webcam written to a v4l2loopback device with libavdevice's V4L2
// output: which devices are offered, what a device that is none does, and,
// where the kernel module is loaded, the pictures as FFmpeg's V4L2 input
// reads them back.
#include "video/webcam/V4l2Loopback.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavdevice/avdevice.h>
#include <libavformat/avformat.h>
}

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// What a camera reported, for the test to wait on.
struct Reports {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<CaptureEvent> events;
    CaptureReport report() {
        return [this](const CaptureEvent& e) {
            {
                std::lock_guard<std::mutex> lock(mutex);
                events.push_back(e);
            }
            changed.notify_all();
        };
    }
    bool waitFor(CaptureEvent::Kind kind, int ms = 5000) {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, std::chrono::milliseconds(ms), [&] {
            for (const CaptureEvent& e : events)
                if (e.kind == kind)
                    return true;
            return false;
        });
    }
    std::string reasonOf(CaptureEvent::Kind kind) {
        std::lock_guard<std::mutex> lock(mutex);
        for (const CaptureEvent& e : events)
            if (e.kind == kind)
                return e.reason;
        return std::string();
    }
};

VideoPicture flat(int w, int h, const cv::Scalar& rgb) {
    VideoPicture p;
    p.rgb = cv::Mat(h, w, CV_8UC3, rgb);
    p.clean = p.rgb;
    p.width = w;
    p.height = h;
    return p;
}

} // namespace

TEST(WebcamLoopback, OnlyLoopbackDevicesAreOfferedAndChosenByPathOrLabel) {
    // Files that are named like video devices but are none are left out.
    QTemporaryDir dir;
    for (const char* name : {"video0", "video12", "videox"}) {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    EXPECT_TRUE(listLoopbackDevices(dir.path().toStdString()).empty());
    EXPECT_TRUE(listLoopbackDevices(dir.filePath("missing").toStdString()).empty());
    for (const LoopbackDevice& d : listLoopbackDevices())
        EXPECT_EQ(d.path.rfind("/dev/video", 0), 0u) << d.path;

    const std::vector<LoopbackDevice> devices = {{"/dev/video10", "orunapp camera"},
                                                 {"/dev/video11", "/dev/video10"}};
    EXPECT_EQ(findLoopbackDevice(devices, "orunapp camera").path, "/dev/video10");
    EXPECT_EQ(findLoopbackDevice(devices, "/dev/video10").path, "/dev/video10")
        << "a path comes before a label that looks like one";
    EXPECT_EQ(findLoopbackDevice(devices, "/dev/video11").label, "/dev/video10");
    EXPECT_TRUE(findLoopbackDevice(devices, "OBS Virtual Camera").path.empty());
    EXPECT_NE(loopbackHowTo().find("modprobe v4l2loopback exclusive_caps=1 card_label="),
              std::string::npos);
}

TEST(WebcamLoopback, ADeviceThatIsNoLoopbackIsRefusedAndTheVideoNeverWaits) {
    for (const char* choice : {"/dev/null", "no such camera"}) {
        Reports reports;
        WebcamSettings settings;
        settings.loopbackDevice = choice;
        V4l2LoopbackCamera camera(settings, reports.report());
        ASSERT_TRUE(camera.start());
        for (int i = 0; i < 10; ++i)
            camera.onPicture(flat(64, 36, cv::Scalar(10, 20, 30)));
        ASSERT_TRUE(reports.waitFor(CaptureEvent::Kind::OutputFailed)) << choice;
        EXPECT_NE(reports.reasonOf(CaptureEvent::Kind::OutputFailed).find("modprobe"),
                  std::string::npos)
            << reports.reasonOf(CaptureEvent::Kind::OutputFailed);
        EXPECT_TRUE(reports.waitFor(CaptureEvent::Kind::Finished));
        camera.onPicture(flat(64, 36, cv::Scalar(10, 20, 30)));
        camera.stop();
        EXPECT_EQ(camera.stats().sent, 0u);
    }
}

TEST(WebcamLoopback, PicturesReachTheDeviceAsFFmpegsV4l2InputReadsThem) {
    const std::vector<LoopbackDevice> devices = listLoopbackDevices();
    if (devices.empty())
        GTEST_SKIP() << "no v4l2loopback device on this machine (these machines load no kernel "
                        "modules; "
                     << loopbackHowTo() << " makes one)";
    const LoopbackDevice device = devices.front();
    Reports reports;
    WebcamSettings settings;
    settings.loopbackDevice = device.label.empty() ? device.path : device.label;
    V4l2LoopbackCamera camera(settings, reports.report());
    ASSERT_TRUE(camera.start());
    // The writer's side: 30 pictures a second while the reader opens.
    std::atomic<bool> feeding{true};
    std::thread feeder([&] {
        while (feeding) {
            camera.onPicture(flat(640, 360, cv::Scalar(200, 40, 40)));
            std::this_thread::sleep_for(std::chrono::milliseconds(33));
        }
    });
    ASSERT_TRUE(reports.waitFor(CaptureEvent::Kind::OutputOpened))
        << reports.reasonOf(CaptureEvent::Kind::OutputFailed);

    avdevice_register_all();
    const AVInputFormat* v4l2 = av_find_input_format("video4linux2");
    ASSERT_NE(v4l2, nullptr);
    AVFormatContext* input = nullptr;
    ASSERT_EQ(avformat_open_input(&input, device.path.c_str(), v4l2, nullptr), 0);
    ASSERT_EQ(avformat_find_stream_info(input, nullptr), 0);
    ASSERT_GE(input->nb_streams, 1u);
    const AVCodecParameters* par = input->streams[0]->codecpar;
    EXPECT_EQ(par->width, 640);
    EXPECT_EQ(par->height, 360);
    EXPECT_EQ(par->format, AV_PIX_FMT_YUYV422);
    AVPacket* packet = av_packet_alloc();
    ASSERT_EQ(av_read_frame(input, packet), 0);
    ASSERT_EQ(packet->size, 640 * 360 * 2);
    // Red in YUYV, BT.601 video range: Y about 82, U about 101, V about 210
    // for (200, 40, 40).
    EXPECT_NEAR(packet->data[0], 16 + (65.481 * 200 + 128.553 * 40 + 24.966 * 40) / 255, 4);
    EXPECT_NEAR(packet->data[3], 128 + (112.0 * 200 - 93.786 * 40 - 18.214 * 40) / 255, 4);
    av_packet_free(&packet);
    avformat_close_input(&input);
    feeding = false;
    feeder.join();
    camera.stop();
}
