// Decoding real H.264 from the simulated camera's encoder.
#include "tools/camsim/video/SyntheticVideoSource.h"
#include "video/FrameConvert.h"
#include "video/H264Decoder.h"
#include "video/H264Inspect.h"

extern "C" {
#include <libavutil/frame.h>
}

#include <gtest/gtest.h>

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <opencv2/imgproc.hpp>

#include <cstring>
#include <vector>

namespace {

using camsim::SyntheticScene;
using camsim::SyntheticVideoSource;
using camsim::VideoFrame;
using camsim::VideoSettings;

struct FrameDeleter {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;

std::vector<VideoFrame> encode(const VideoSettings& settings, int count) {
    SyntheticVideoSource source;
    source.configure(settings);
    std::vector<VideoFrame> frames;
    for (int i = 0; i < count; ++i) {
        VideoFrame f;
        EXPECT_TRUE(source.nextFrame(f));
        frames.push_back(f);
    }
    return frames;
}

// Mean absolute difference per channel over the picture, the frame-number
// corner left out.
double meanDifference(const cv::Mat& a, const cv::Mat& b) {
    const cv::Rect body(0, a.rows / 8, a.cols, a.rows - a.rows / 8);
    cv::Mat diff;
    cv::absdiff(a(body), b(body), diff);
    const cv::Scalar m = cv::mean(diff);
    return (m[0] + m[1] + m[2]) / 3.0;
}

void expectNear(const cv::Vec3b& got, const cv::Vec3b& want, int tolerance) {
    for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(got[c], want[c], tolerance) << "channel " << c;
}

TEST(SoftwareDecode, PicturesHaveTheEncodedSizeAndColours) {
    VideoSettings settings; // 1280 x 720
    std::vector<VideoFrame> frames = encode(settings, 35);
    ASSERT_TRUE(inspectAccessUnit(frames[0].accessUnit).isKeyFrame);
    EXPECT_FALSE(inspectAccessUnit(frames[1].accessUnit).isKeyFrame);
    // SPS and PPS come again with the IDR a second later.
    EXPECT_TRUE(inspectAccessUnit(frames[30].accessUnit).isKeyFrame);

    H264Decoder decoder;
    ASSERT_TRUE(decoder.init(kDecodeSoftware));
    EXPECT_EQ(decoder.mode(), kDecodeSoftware);
    FramePtr picture(av_frame_alloc());
    for (size_t i = 0; i < frames.size(); ++i) {
        const std::string& unit = frames[i].accessUnit;
        ASSERT_EQ(decoder.decode(reinterpret_cast<const uint8_t*>(unit.data()),
                                 static_cast<int>(unit.size()), picture.get()),
                  H264Decoder::Result::Picture)
            << "unit " << i;
        ASSERT_EQ(picture->width, 1280);
        ASSERT_EQ(picture->height, 720);
        cv::Mat rgb = convertFrame(picture.get(), decoder.mode());
        ASSERT_EQ(rgb.rows, 720);
        ASSERT_GE(rgb.cols, 1280);
        rgb = rgb(cv::Rect(0, 0, 1280, 720));
        const cv::Mat scene = SyntheticScene::render(static_cast<int64_t>(i), settings, nullptr);
        EXPECT_LT(meanDifference(rgb, scene), 6.0) << "unit " << i;
        if (i == 20) {
            expectNear(rgb.at<cv::Vec3b>(200, 100), SyntheticScene::kTopLeft, 16);
            expectNear(rgb.at<cv::Vec3b>(200, 1200), SyntheticScene::kTopRight, 16);
            expectNear(rgb.at<cv::Vec3b>(650, 100), SyntheticScene::kBottomLeft, 16);
            expectNear(rgb.at<cv::Vec3b>(650, 1200), SyntheticScene::kBottomRight, 16);
        }
    }
}

TEST(SoftwareDecode, FullHdAndGarbageUnits) {
    VideoSettings settings;
    settings.width = 1920;
    settings.height = 1080;
    std::vector<VideoFrame> frames = encode(settings, 3);
    H264Decoder decoder;
    ASSERT_TRUE(decoder.init(kDecodeSoftware));
    FramePtr picture(av_frame_alloc());

    // Before the key frame, garbage gives no picture and no crash.
    const std::string garbage("\0\0\0\x01\x41\xff\xff\xff\x00\x13", 10);
    EXPECT_EQ(decoder.decode(reinterpret_cast<const uint8_t*>(garbage.data()),
                             static_cast<int>(garbage.size()), picture.get()),
              H264Decoder::Result::NoPicture);
    for (const VideoFrame& f : frames) {
        ASSERT_EQ(decoder.decode(reinterpret_cast<const uint8_t*>(f.accessUnit.data()),
                                 static_cast<int>(f.accessUnit.size()), picture.get()),
                  H264Decoder::Result::Picture);
    }
    EXPECT_EQ(picture->width, 1920);
    EXPECT_EQ(picture->height, 1080);
    cv::Mat rgb = convertFrame(picture.get(), kDecodeSoftware);
    EXPECT_GE(rgb.cols, 1920);
    expectNear(rgb.at<cv::Vec3b>(900, 1800), SyntheticScene::kBottomRight, 16);

    decoder.release();
    EXPECT_FALSE(decoder.ready());
    EXPECT_EQ(decoder.decode(reinterpret_cast<const uint8_t*>(frames[0].accessUnit.data()),
                             static_cast<int>(frames[0].accessUnit.size()), picture.get()),
              H264Decoder::Result::NoDecoder);
}

QStringList* capturedLog = nullptr;
void captureLog(QtMsgType, const QMessageLogContext&, const QString& text) {
    if (capturedLog)
        capturedLog->append(text);
}

TEST(HardwareDecode, FallsBackToSoftwareOnceWhenTheDeviceIsMissing) {
    QStringList log;
    capturedLog = &log;
    QtMessageHandler previous = qInstallMessageHandler(captureLog);
    H264Decoder::resetHardwareMemo();

    H264Decoder decoder;
    ASSERT_TRUE(decoder.init(kDecodeHardware));
    EXPECT_EQ(decoder.mode(), kDecodeSoftware);
    const int failures = log.filter("does not support device type").size() +
                         log.filter("Failed to create specified HW device").size();
    EXPECT_EQ(failures, 1) << log.join("|").toStdString();
    EXPECT_EQ(log.filter("decoding in software").size(), 1);

    // A second set-up goes straight to software without a second failure.
    ASSERT_TRUE(decoder.init(kDecodeHardware));
    EXPECT_EQ(decoder.mode(), kDecodeSoftware);
    EXPECT_EQ(log.filter("decoding in software").size(), 1);
    qInstallMessageHandler(previous);
    capturedLog = nullptr;

    std::vector<VideoFrame> frames = encode(VideoSettings{}, 2);
    FramePtr picture(av_frame_alloc());
    for (const VideoFrame& f : frames) {
        EXPECT_EQ(decoder.decode(reinterpret_cast<const uint8_t*>(f.accessUnit.data()),
                                 static_cast<int>(f.accessUnit.size()), picture.get()),
                  H264Decoder::Result::Picture);
    }
    EXPECT_FALSE(convertFrame(picture.get(), decoder.mode()).empty());

    // An unknown mode keeps a context but decodes nothing.
    ASSERT_TRUE(decoder.init(5));
    EXPECT_EQ(decoder.decode(reinterpret_cast<const uint8_t*>(frames[0].accessUnit.data()),
                             static_cast<int>(frames[0].accessUnit.size()), picture.get()),
              H264Decoder::Result::Unchanged);
}

float floatAt(const std::string& info, int offset) {
    float v;
    std::memcpy(&v, info.data() + offset, sizeof(v));
    return v;
}

TEST(SyntheticSource, SideInfoFollowsTheSubjectMirrorAndZoom) {
    VideoSettings settings;
    camsim::SubjectBox plain;
    SyntheticScene::render(10, settings, &plain);
    std::vector<VideoFrame> frames = encode(settings, 11);
    const std::string& info = frames[10].sideInfo;
    ASSERT_EQ(info.size(), 791u);
    EXPECT_EQ(info[0], 1);
    EXPECT_EQ(info[31], 1);
    EXPECT_EQ(info[36], 1);
    EXPECT_FLOAT_EQ(floatAt(info, 37), plain.left);
    EXPECT_FLOAT_EQ(floatAt(info, 41), plain.top);
    EXPECT_FLOAT_EQ(floatAt(info, 45), plain.right);
    EXPECT_FLOAT_EQ(floatAt(info, 49), plain.bottom);

    // The subject's colour is inside its reported box, mirrored or not.
    for (bool mirror : {false, true}) {
        settings.mirror = mirror;
        camsim::SubjectBox box;
        cv::Mat scene = SyntheticScene::render(10, settings, &box);
        const int cx = static_cast<int>((box.left + box.right) / 2 * scene.cols);
        const int cy = static_cast<int>((box.top + box.bottom) / 2 * scene.rows);
        EXPECT_EQ(scene.at<cv::Vec3b>(cy, cx), SyntheticScene::kSubject) << mirror;
        if (mirror) {
            EXPECT_FLOAT_EQ(box.left, 1.0f - plain.right);
        }
    }

    settings.mirror = false;
    settings.zoom = 2.0f;
    camsim::SubjectBox zoomed;
    cv::Mat scene = SyntheticScene::render(10, settings, &zoomed);
    EXPECT_EQ(scene.cols, 1280);
    EXPECT_NEAR(zoomed.top, (plain.top - 0.25f) * 2.0f, 1e-5);
    EXPECT_NEAR(zoomed.bottom, (plain.bottom - 0.25f) * 2.0f, 1e-5);
}

TEST(SyntheticSource, ResolutionChangeStartsWithAKeyFrame) {
    SyntheticVideoSource source;
    VideoFrame f;
    ASSERT_TRUE(source.nextFrame(f));
    ASSERT_TRUE(source.nextFrame(f));
    EXPECT_FALSE(inspectAccessUnit(f.accessUnit).isKeyFrame);
    VideoSettings hd;
    hd.width = 1920;
    hd.height = 1080;
    source.configure(hd);
    ASSERT_TRUE(source.nextFrame(f));
    EXPECT_TRUE(inspectAccessUnit(f.accessUnit).isKeyFrame);
    EXPECT_FALSE(source.encoderName().empty());

    H264Decoder decoder;
    ASSERT_TRUE(decoder.init(kDecodeSoftware));
    FramePtr picture(av_frame_alloc());
    ASSERT_EQ(decoder.decode(reinterpret_cast<const uint8_t*>(f.accessUnit.data()),
                             static_cast<int>(f.accessUnit.size()), picture.get()),
              H264Decoder::Result::Picture);
    EXPECT_EQ(picture->width, 1920);
}

TEST(FileReplay, SplitsAStreamIntoDecodableAccessUnits) {
    std::vector<VideoFrame> frames = encode(VideoSettings{}, 12);
    std::string stream;
    for (const VideoFrame& f : frames)
        stream += f.accessUnit;
    auto source = camsim::AnnexBFileSource::fromBytes(stream);
    ASSERT_EQ(source->accessUnitCount(), frames.size());

    H264Decoder decoder;
    ASSERT_TRUE(decoder.init(kDecodeSoftware));
    FramePtr picture(av_frame_alloc());
    VideoFrame f;
    int count = 0;
    while (source->nextFrame(f)) {
        EXPECT_EQ(f.accessUnit.compare(0, 4, std::string("\0\0\0\x01", 4)), 0);
        EXPECT_TRUE(f.sideInfo.empty());
        if (count == 0) {
            EXPECT_TRUE(inspectAccessUnit(f.accessUnit).isKeyFrame);
        }
        EXPECT_EQ(decoder.decode(reinterpret_cast<const uint8_t*>(f.accessUnit.data()),
                                 static_cast<int>(f.accessUnit.size()), picture.get()),
                  H264Decoder::Result::Picture);
        ++count;
    }
    EXPECT_EQ(count, 12);

    // Three-byte start codes, an access unit delimiter and trailing zeros.
    const std::string odd("\0\0\x01\x09\xf0"
                          "\0\0\x01\x67\x42\0\0"
                          "\0\0\x01\x68\xce"
                          "\0\0\x01\x65\x88\x80"
                          "\0\0\x01\x09\xf0"
                          "\0\0\0\x01\x41\x9a",
                          34);
    std::vector<std::string> units = camsim::AnnexBFileSource::splitAccessUnits(odd);
    ASSERT_EQ(units.size(), 2u);
    // Trailing zeros of the SPS are not part of it.
    EXPECT_EQ(units[0], std::string("\0\0\0\x01\x09\xf0\0\0\0\x01\x67\x42\0\0\0\x01\x68\xce"
                                    "\0\0\0\x01\x65\x88\x80",
                                    25));
    EXPECT_EQ(units[1], std::string("\0\0\0\x01\x09\xf0\0\0\0\x01\x41\x9a", 12));

    camsim::AnnexBFileSource missing("/nonexistent/stream.h264");
    EXPECT_FALSE(missing.isValid());
    EXPECT_FALSE(missing.nextFrame(f));
}

} // namespace
