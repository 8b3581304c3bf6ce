// Decoding real H.264 from the simulated camera's encoder.
#include "tools/camsim/video/SyntheticVideoSource.h"
#include "video/DecoderHealth.h"
#include "video/FrameConvert.h"
#include "video/H264Decoder.h"
#include "video/H264Inspect.h"
#include "video/ProbeKeyFrame.h"

#include "tests/support/InjectedDecoders.h"
#include "tests/support/MediaProbe.h"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/hwcontext.h>
#include <libavutil/pixfmt.h>
}

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QtGlobal>

#include <opencv2/imgproc.hpp>

#include <algorithm>
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

struct CapturedLog {
    QStringList lines;
    QtMessageHandler previous;
    CapturedLog() {
        capturedLog = &lines;
        previous = qInstallMessageHandler(captureLog);
    }
    ~CapturedLog() {
        qInstallMessageHandler(previous);
        capturedLog = nullptr;
    }
    std::string all() const { return lines.join("|").toStdString(); }
};

// Hardware asked for where every device is missing: software, in one line
// per set-up that names each device type and why it is not used, in the log
// and for the statistics. A type that failed is skipped (and says so) until a
// set-up asks to retry.
TEST(HardwareDecode, FallsBackToSoftwareAndSaysWhichTypesWereSkippedAndWhy) {
    const std::vector<int> types = platformHwDeviceTypes();
    if (types.empty())
        GTEST_SKIP() << "this FFmpeg has none of the platform's device types";
    H264Decoder::forgetHardwareVerdicts();
    MissingDevices missing;
    H264Decoder decoder(missing.devices());
    int tried = 0;
    {
        CapturedLog log;
        ASSERT_TRUE(decoder.init(kDecodeHardware));
        tried = missing.attempts->load();
        EXPECT_GE(tried, 1);
        ASSERT_EQ(log.lines.size(), 1) << log.all();
        EXPECT_TRUE(log.lines[0].contains("decoding in software"));
        for (int type : types)
            EXPECT_TRUE(
                log.lines[0].contains(av_hwdevice_get_type_name(static_cast<AVHWDeviceType>(type))))
                << log.all();
    }
    EXPECT_EQ(decoder.mode(), kDecodeSoftware);
    EXPECT_STREQ(decoder.name(), "software");
    EXPECT_EQ(decoder.deviceType(), 0);
    const std::string unused = decoder.unusedHardware();
    for (int type : types)
        EXPECT_NE(unused.find(av_hwdevice_get_type_name(static_cast<AVHWDeviceType>(type))),
                  std::string::npos)
            << unused;
    EXPECT_EQ(unused.find("skipped"), std::string::npos) << unused;

    // Again: nothing is tried, but the line says what was skipped and why.
    {
        CapturedLog log;
        ASSERT_TRUE(decoder.init(kDecodeHardware));
        EXPECT_EQ(missing.attempts->load(), tried);
        ASSERT_EQ(log.lines.size(), 1) << log.all();
        EXPECT_TRUE(log.lines[0].contains("skipped, failed earlier")) << log.all();
        EXPECT_TRUE(log.lines[0].contains("decoding in software")) << log.all();
    }
    EXPECT_EQ(decoder.unusedHardware(), unused);

    // The user changed the setting (or the link started over): tried again.
    ASSERT_TRUE(decoder.init(kDecodeHardware, true));
    EXPECT_EQ(missing.attempts->load(), 2 * tried);
    // Software asked for: nothing to report.
    ASSERT_TRUE(decoder.init(kDecodeSoftware));
    EXPECT_EQ(decoder.unusedHardware(), "");

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
    H264Decoder::forgetHardwareVerdicts();
}

// A stream with B-frames: the decoder gives its first pictures a few units
// late. Those units are "no picture yet", never errors (nor logged).
TEST(SoftwareDecode, AStreamWithBFramesGivesItsPicturesLateWithoutErrors) {
    if (!mediaprobe::haveTool("ffmpeg"))
        GTEST_SKIP() << "no ffmpeg";
    QTemporaryDir dir;
    const QString path = dir.filePath("bframes.h264");
    const mediaprobe::RunResult made =
        mediaprobe::run("ffmpeg", {"-v",           "error",
                                   "-f",           "lavfi",
                                   "-i",           "testsrc=size=320x240:rate=30",
                                   "-frames:v",    "60",
                                   "-c:v",         "libx264",
                                   "-bf",          "3",
                                   "-g",           "20",
                                   "-x264-params", "repeat-headers=1",
                                   "-f",           "h264",
                                   "-y",           path});
    if (made.exitCode != 0)
        GTEST_SKIP() << "ffmpeg without libx264: " << made.err.toStdString();
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    const std::vector<std::string> units =
        camsim::AnnexBFileSource::splitAccessUnits(std::string(bytes.constData(), bytes.size()));
    ASSERT_EQ(units.size(), 60u);

    H264Decoder decoder;
    ASSERT_TRUE(decoder.init(kDecodeSoftware));
    FramePtr picture(av_frame_alloc());
    CapturedLog log;
    int notYet = 0;
    std::vector<int64_t> shown;
    for (size_t i = 0; i < units.size(); ++i) {
        const H264Decoder::Result r = decoder.decode(
            reinterpret_cast<const uint8_t*>(units[i].data()), static_cast<int>(units[i].size()),
            picture.get(), static_cast<int64_t>(i));
        if (r == H264Decoder::Result::NotYet) {
            ++notYet;
            EXPECT_TRUE(shown.empty()) << "held back only at the start, unit " << i;
        } else {
            ASSERT_EQ(r, H264Decoder::Result::Picture) << "unit " << i;
            shown.push_back(picture->pts);
        }
    }
    EXPECT_GE(notYet, 1);
    EXPECT_LE(notYet, 16);
    EXPECT_EQ(shown.size() + notYet, units.size());
    // Each picture is one unit's (its pts is the unit's number), none twice.
    std::sort(shown.begin(), shown.end());
    EXPECT_EQ(std::unique(shown.begin(), shown.end()), shown.end());
    EXPECT_LT(shown.back(), static_cast<int64_t>(units.size()));
    EXPECT_TRUE(log.lines.isEmpty()) << log.all();
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

// The key frame the decoder probes hardware devices with is a whole picture
// on its own.
TEST(ProbeKeyFrame, IsAKeyFrameThatDecodesAloneInSoftware) {
    const std::string unit(reinterpret_cast<const char*>(kProbeKeyFrame), kProbeKeyFrameSize);
    EXPECT_TRUE(inspectAccessUnit(unit).isKeyFrame);
    EXPECT_LT(kProbeKeyFrameSize, 1024u);
    H264Decoder decoder;
    ASSERT_TRUE(decoder.init(kDecodeSoftware));
    FramePtr picture(av_frame_alloc());
    ASSERT_EQ(decoder.decode(kProbeKeyFrame, static_cast<int>(kProbeKeyFrameSize), picture.get()),
              H264Decoder::Result::Picture);
    EXPECT_EQ(picture->width, 64);
    EXPECT_EQ(picture->height, 64);
    EXPECT_FALSE(convertFrame(picture.get(), kDecodeSoftware).empty());
}

// On this machine as it is: whatever the device types do, hardware decoding
// ends with a decoder that gives pictures (a device only after it decoded
// the probe frame).
TEST(HardwareDecode, TheDecoderChosenOnThisMachineGivesPictures) {
    H264Decoder::forgetHardwareVerdicts();
    H264Decoder decoder;
    ASSERT_TRUE(decoder.init(kDecodeHardware));
    std::vector<VideoFrame> frames = encode(VideoSettings{}, 3);
    FramePtr picture(av_frame_alloc());
    for (const VideoFrame& f : frames) {
        ASSERT_EQ(decoder.decode(reinterpret_cast<const uint8_t*>(f.accessUnit.data()),
                                 static_cast<int>(f.accessUnit.size()), picture.get()),
                  H264Decoder::Result::Picture)
            << decoder.name();
    }
    const int mode = picture->format == AV_PIX_FMT_NV12 ? kDecodeHardware : kDecodeSoftware;
    EXPECT_FALSE(convertFrame(picture.get(), mode).empty()) << decoder.name();
}

// A decoder that breaks down after some pictures, replaced by the next
// choice: pictures come again from the next key frame on, and the log says it
// once.
TEST(DecoderReplacement, ABrokenDecoderGivesWayAndTheNextOneDecodesFromTheKeyFrame) {
    H264Decoder::forgetHardwareVerdicts();
    std::vector<VideoFrame> frames = encode(VideoSettings{}, 36); // key frames at 0 and 30
    BreakingDecoder decoder(5, MissingDevices().devices());
    ASSERT_TRUE(decoder.init(kDecodeHardware, false));
    FramePtr picture(av_frame_alloc());
    auto decode = [&](size_t i) {
        const std::string& unit = frames[i].accessUnit;
        return decoder.decode(reinterpret_cast<const uint8_t*>(unit.data()),
                              static_cast<int>(unit.size()), picture.get(), 0);
    };
    DecoderHealth health;
    bool failed = false;
    size_t i = 0;
    for (; i < 30; ++i) {
        const H264Decoder::Result r = decode(i);
        EXPECT_EQ(r == H264Decoder::Result::Picture, i < 5) << "unit " << i;
        failed = health.note(i == 0, r) || failed;
    }
    EXPECT_TRUE(failed);
    EXPECT_TRUE(health.failed());

    {
        CapturedLog log;
        ASSERT_TRUE(decoder.replaceWithNext(health.reason()));
        ASSERT_EQ(log.lines.size(), 1) << log.all();
        EXPECT_TRUE(log.lines[0].contains("software failed on the stream")) << log.all();
        EXPECT_TRUE(log.lines[0].contains("without a picture")) << log.all();
    }
    EXPECT_STREQ(decoder.name(), "software");
    // The failure was one decoder's: the new one decodes from the key frame on.
    for (; i < frames.size(); ++i)
        EXPECT_EQ(decode(i), H264Decoder::Result::Picture) << "unit " << i;
    H264Decoder::forgetHardwareVerdicts();
}

// A decoder is judged by the pictures that come over key frames: one that
// holds pictures back passes, even with a key frame every other unit; one
// that swallows everything, or fails on every unit, does not.
TEST(DecoderHealth, ADelayedDecoderPassesAMuteOrFailingOneFailsOnce) {
    using Result = VideoDecoder::Result;
    for (int gop : {2, 30}) {
        DecoderHealth delayed;
        for (int i = 0; i < 200; ++i)
            EXPECT_FALSE(delayed.note(i % gop == 0, i < 3 ? Result::NotYet : Result::Picture))
                << "gop " << gop << ", unit " << i;
        // Up to the most pictures a decoder may hold back, however many key
        // frames come meanwhile.
        DecoderHealth deep;
        for (int i = 0; i < DecoderHealth::kMostHeldBack; ++i)
            EXPECT_FALSE(deep.note(i % gop == 0, Result::NotYet)) << "gop " << gop << " " << i;
        EXPECT_FALSE(deep.note(false, Result::Picture));
    }

    // Nothing but "not yet": fails at the second key frame after the margin.
    DecoderHealth mute;
    int unit = 0;
    while (!mute.note(unit % 30 == 0, Result::NotYet) && unit < 100)
        ++unit;
    EXPECT_EQ(unit, 30);
    EXPECT_NE(mute.reason().find("2 key frames"), std::string::npos) << mute.reason();
    EXPECT_FALSE(mute.note(true, Result::NotYet)) << "told once";

    // Errors count on their own; a picture forgets them, "not yet" does not.
    DecoderHealth failing;
    for (int i = 0; i < DecoderHealth::kErrorsWithoutPicture - 1; ++i)
        EXPECT_FALSE(failing.note(false, Result::NoPicture));
    EXPECT_FALSE(failing.note(false, Result::Picture));
    for (int i = 0; i < DecoderHealth::kErrorsWithoutPicture - 1; ++i) {
        EXPECT_FALSE(failing.note(false, Result::NoPicture));
        EXPECT_FALSE(failing.note(false, Result::NotYet));
    }
    EXPECT_TRUE(failing.note(false, Result::NoPicture));
    EXPECT_TRUE(failing.failed());
    EXPECT_NE(failing.reason().find("decoding errors"), std::string::npos);
    EXPECT_FALSE(failing.note(false, Result::NoDecoder));
    failing.reset();
    EXPECT_FALSE(failing.failed());
}
