// The video widget showing the decoder's planes under a real X server (Mesa):
// what reaches the screen is read back with glReadPixels and held against
// libswscale's conversion of the same planes and against the boxes and focus
// circle as the R, G, B picture has them drawn.
#include "hub/OrunAppFace.h"
#include "tools/camsim/video/SyntheticVideoSource.h"
#include "video/FrameConvert.h"
#include "video/SurfaceImport.h"
#include "video/VideoWidget.h"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#include <gtest/gtest.h>

#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QSignalSpy>
#include <QTest>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cstring>
#include <memory>
#include <string>

namespace {

using FramePtr = std::shared_ptr<const AVFrame>;

FramePtr owned(AVFrame* frame) {
    return FramePtr(frame, [](const AVFrame* f) {
        AVFrame* p = const_cast<AVFrame*>(f);
        av_frame_free(&p);
    });
}

// The colour tables libswscale uses for a colour space.
const int* swsTable(AVColorSpace space) {
    return sws_getCoefficients(space == AVCOL_SPC_BT709 ? SWS_CS_ITU709 : SWS_CS_ITU601);
}

// `rgb` (R, G, B) as a 4:2:0 frame of `format` in the colour space and range,
// by libswscale; lines aligned to 64 bytes, so a width that is not a multiple
// of 64 leaves padding at the end of each line.
FramePtr toFrame(const cv::Mat& rgb, AVPixelFormat format, AVColorSpace space, bool full) {
    AVFrame* f = av_frame_alloc();
    f->format = format;
    f->width = rgb.cols;
    f->height = rgb.rows;
    f->colorspace = space;
    f->color_range = full ? AVCOL_RANGE_JPEG : AVCOL_RANGE_MPEG;
    EXPECT_EQ(av_frame_get_buffer(f, 64), 0);
    // libswscale reads and writes whole blocks of pixels: lines with room.
    cv::Mat padded(rgb.rows + 1, (rgb.cols + 63) / 64 * 64, CV_8UC3, cv::Scalar(0, 0, 0));
    rgb.copyTo(padded(cv::Rect(0, 0, rgb.cols, rgb.rows)));
    SwsContext* sws = sws_getContext(rgb.cols, rgb.rows, AV_PIX_FMT_RGB24, rgb.cols, rgb.rows,
                                     format, SWS_POINT, nullptr, nullptr, nullptr);
    sws_setColorspaceDetails(sws, swsTable(space), 1, swsTable(space), full ? 1 : 0, 0, 1 << 16,
                             1 << 16);
    const uint8_t* src[1] = {padded.data};
    const int srcStride[1] = {static_cast<int>(padded.step)};
    sws_scale(sws, src, srcStride, 0, rgb.rows, f->data, f->linesize);
    sws_freeContext(sws);
    return owned(f);
}

// libswscale's R, G, B picture of the frame by its own colour space and range,
// by its unscaled 4:2:0 converter (which, unlike the shader, truncates: its
// levels are about one lower). NV12 is first split into planes (by hand,
// losslessly), so that both layouts meet the same converter.
cv::Mat swsRgb(const AVFrame& frame) {
    FramePtr planar;
    const AVFrame* f = &frame;
    if (frame.format == AV_PIX_FMT_NV12) {
        AVFrame* split = av_frame_alloc();
        split->format = AV_PIX_FMT_YUV420P;
        split->width = frame.width;
        split->height = frame.height;
        split->colorspace = frame.colorspace;
        split->color_range = frame.color_range;
        EXPECT_EQ(av_frame_get_buffer(split, 64), 0);
        for (int y = 0; y < frame.height; ++y)
            std::memcpy(split->data[0] + y * split->linesize[0],
                        frame.data[0] + y * frame.linesize[0], static_cast<size_t>(frame.width));
        for (int y = 0; y < (frame.height + 1) / 2; ++y) {
            const uint8_t* pair = frame.data[1] + y * frame.linesize[1];
            for (int x = 0; x < (frame.width + 1) / 2; ++x) {
                split->data[1][y * split->linesize[1] + x] = pair[2 * x];
                split->data[2][y * split->linesize[2] + x] = pair[2 * x + 1];
            }
        }
        planar = owned(split);
        f = split;
    }
    cv::Mat rgb(f->height + 1, (f->width + 63) / 64 * 64, CV_8UC3);
    SwsContext* sws =
        sws_getContext(f->width, f->height, static_cast<AVPixelFormat>(f->format), f->width,
                       f->height, AV_PIX_FMT_RGB24, SWS_POINT, nullptr, nullptr, nullptr);
    const AVColorSpace space = f->colorspace;
    sws_setColorspaceDetails(sws, swsTable(space), f->color_range == AVCOL_RANGE_JPEG ? 1 : 0,
                             swsTable(space), 1, 0, 1 << 16, 1 << 16);
    uint8_t* dst[1] = {rgb.data};
    const int dstStride[1] = {static_cast<int>(rgb.step)};
    sws_scale(sws, f->data, f->linesize, 0, f->height, dst, dstStride);
    sws_freeContext(sws);
    return rgb(cv::Rect(0, 0, f->width, f->height)).clone();
}

// The widget on screen at exactly `size` device pixels.
VideoWidget* shownAt(QSize size) {
    VideoWidget* w = VideoWidget::instance();
    w->resize(size);
    w->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(w));
    EXPECT_EQ(w->devicePixelRatioF(), 1.0);
    return w;
}

// Shows the planes and reads back what was painted, top row first (R, G, B).
cv::Mat paintAndReadBack(VideoWidget* w, PlanePicture picture) {
    QSignalSpy painted(OrunAppFace::instance(), &OrunAppFace::signal_randerFinished);
    w->slot_showVideoPlanes(std::move(picture));
    for (int i = 0; i < 50; ++i) {
        bool done = false;
        for (const QList<QVariant>& args : painted)
            done = done || args.value(0).toBool();
        if (done)
            break;
        painted.wait(100);
    }
    w->makeCurrent();
    QOpenGLFunctions* gl = w->context()->functions();
    gl->glBindFramebuffer(GL_FRAMEBUFFER, w->defaultFramebufferObject());
    const int width = w->width();
    const int height = w->height();
    cv::Mat rgba(height, width, CV_8UC4);
    gl->glPixelStorei(GL_PACK_ALIGNMENT, 1);
    gl->glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data);
    w->doneCurrent();
    cv::Mat rgb;
    cv::cvtColor(rgba, rgb, cv::COLOR_RGBA2RGB);
    cv::flip(rgb, rgb, 0); // OpenGL's first row is the bottom one
    return rgb;
}

PlanePicture planesOf(FramePtr frame, std::vector<PictureRect> boxes = {}) {
    PlanePicture p;
    p.width = frame->width;
    p.height = frame->height;
    p.frame = std::move(frame);
    p.boxes = std::move(boxes);
    return p;
}

cv::Mat scenePicture(int width, int height) {
    camsim::VideoSettings settings;
    camsim::SubjectBox box;
    cv::Mat scene = camsim::SyntheticScene::render(47, settings, &box);
    cv::Mat sized;
    cv::resize(scene, sized, cv::Size(width, height), 0, 0, cv::INTER_AREA);
    return sized;
}

TEST(VideoWidgetPlanes, TheShaderConvertsAsLibswscaleDoesInEachMatrixAndRange) {
    struct Case {
        const char* name;
        AVPixelFormat format;
        int width;
        AVColorSpace space;
        bool full;
    };
    // NV12 as the hardware decoders give it, narrower than its lines.
    const Case cases[] = {
        {"i420-bt601-limited", AV_PIX_FMT_YUV420P, 640, AVCOL_SPC_BT470BG, false},
        {"i420-bt601-full", AV_PIX_FMT_YUV420P, 640, AVCOL_SPC_BT470BG, true},
        {"i420-bt709-limited", AV_PIX_FMT_YUV420P, 640, AVCOL_SPC_BT709, false},
        {"i420-bt709-full", AV_PIX_FMT_YUV420P, 640, AVCOL_SPC_BT709, true},
        {"nv12-bt601-limited", AV_PIX_FMT_NV12, 632, AVCOL_SPC_BT470BG, false},
        {"nv12-bt709-full", AV_PIX_FMT_NV12, 632, AVCOL_SPC_BT709, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const cv::Mat scene = scenePicture(c.width, 360);
        FramePtr frame = toFrame(scene, c.format, c.space, c.full);
        if (c.format == AV_PIX_FMT_NV12) {
            ASSERT_GT(frame->linesize[0], frame->width) << "the case needs line padding";
        }
        const cv::Mat want = swsRgb(*frame);
        VideoWidget* w = shownAt(QSize(c.width, 360));
        const cv::Mat got = paintAndReadBack(w, planesOf(frame));
        ASSERT_EQ(got.size(), want.size());
        EXPECT_EQ(w->planesSize(), QSize(c.width, 360));

        cv::Mat diff;
        cv::absdiff(got, want, diff);
        const cv::Scalar mean = cv::mean(diff);
        double worst = 0;
        cv::minMaxLoc(diff.reshape(1), nullptr, &worst);
        for (int ch = 0; ch < 3; ++ch)
            EXPECT_LT(mean[ch], 2.0) << "channel " << ch;
        EXPECT_LE(worst, 8.0);
        if (::testing::Test::HasFailure()) {
            cv::Mat bgr;
            cv::cvtColor(got, bgr, cv::COLOR_RGB2BGR);
            const QByteArray dir = qgetenv("ORUN_TEST_ARTIFACTS");
            if (!dir.isEmpty())
                cv::imwrite(dir.toStdString() + "/planes-" + c.name + ".png", bgr);
        }
    }
}

// Side information with one subject box at the fractions given.
SideInfo oneBox(float l, float t, float r, float b) {
    SideInfo info{};
    info[0] = 1;
    info[31] = 1;
    info[36] = 1;
    const float v[4] = {l, t, r, b};
    for (int k = 0; k < 4; ++k)
        std::memcpy(&info[37 + 4 * k], &v[k], 4);
    return info;
}

bool whiteAt(const cv::Mat& m, int x, int y) {
    if (x < 0 || y < 0 || x >= m.cols || y >= m.rows)
        return false;
    const cv::Vec3b p = m.at<cv::Vec3b>(y, x);
    return p[0] > 200 && p[1] > 200 && p[2] > 200;
}

bool whiteNear(const cv::Mat& m, int x, int y) {
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
            if (whiteAt(m, x + dx, y + dy))
                return true;
    return false;
}

// The planes as they come for a software rasterizer: converted already.
PlanePicture convertedOf(FramePtr frame, const cv::Mat& rgb, std::vector<PictureRect> boxes = {}) {
    PlanePicture p = planesOf(std::move(frame), std::move(boxes));
    cv::cvtColor(rgb, p.rgba, cv::COLOR_RGB2RGBA);
    return p;
}

TEST(VideoWidgetPlanes, AConvertedPictureIsShownAsItCame) {
    const cv::Mat scene = scenePicture(640, 360);
    FramePtr frame = toFrame(scene, AV_PIX_FMT_YUV420P, AVCOL_SPC_BT470BG, false);
    VideoWidget* w = shownAt(QSize(640, 360));
    const cv::Mat got = paintAndReadBack(w, convertedOf(frame, scene));
    ASSERT_EQ(got.size(), scene.size());
    double worst = 0;
    cv::Mat diff;
    cv::absdiff(got, scene, diff);
    cv::minMaxLoc(diff.reshape(1), nullptr, &worst);
    EXPECT_LE(worst, 1.0);
    // A converted picture of another size than the planes is not shown.
    PlanePicture wrong = convertedOf(frame, scene);
    wrong.rgba = wrong.rgba(cv::Rect(0, 0, 320, 360)).clone();
    QSignalSpy painted(OrunAppFace::instance(), &OrunAppFace::signal_randerFinished);
    w->slot_showVideoPlanes(wrong);
    EXPECT_TRUE(painted.isEmpty()) << "dropped before it takes the widget's turn";
}

TEST(VideoWidgetPlanes, BoxesAndTheFocusCircleAreWhereThePictureHadThem) {
    for (const bool converted : {false, true}) {
        SCOPED_TRACE(converted ? "converted for a software rasterizer" : "planes");
        const int width = 640, height = 360;
        const cv::Mat black(height, width, CV_8UC3, cv::Scalar(0, 0, 0));
        FramePtr frame = toFrame(black, AV_PIX_FMT_YUV420P, AVCOL_SPC_BT470BG, false);
        auto picture = [&](std::vector<PictureRect> shapes) {
            return converted ? convertedOf(frame, black, std::move(shapes))
                             : planesOf(frame, std::move(shapes));
        };
        const SideInfo info = oneBox(0.2f, 0.25f, 0.55f, 0.8f);
        std::vector<PictureRect> boxes;
        ASSERT_EQ(targetBoxShapes(info, frame->linesize[0], height, boxes), 1);

        // The picture the display stage draws for its R, G, B sinks.
        cv::Mat want = black.clone();
        ASSERT_EQ(drawTargetBoxes(want, info, frame->linesize[0], height), 1);

        VideoWidget* w = shownAt(QSize(width, height));
        w->slot_drawFocusCircle(QPointF(0.75, 0.5), false);
        const cv::Mat got = paintAndReadBack(w, picture(boxes));
        int wantWhite = 0, missing = 0, stray = 0;
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const bool w0 = whiteAt(want, x, y);
                wantWhite += w0 ? 1 : 0;
                if (w0 && !whiteNear(got, x, y))
                    ++missing;
                if (whiteAt(got, x, y) && !whiteNear(want, x, y))
                    ++stray;
            }
        }
        EXPECT_GT(wantWhite, 1000);
        EXPECT_EQ(missing, 0) << "box pixels not drawn within a pixel of their place";
        EXPECT_EQ(stray, 0) << "white where the picture has no box";
        // White itself, on a line of the outline.
        const cv::Vec3b onLine = got.at<cv::Vec3b>(boxes[0].y, boxes[0].x + 50);
        EXPECT_GE(onLine[0], 250);
        EXPECT_GE(onLine[1], 250);
        EXPECT_GE(onLine[2], 250);

        // The focus circle: a ring of the widget's radius around the point, in
        // the circle's colour, and nothing at its centre.
        OrunAppFace::instance()->iResolution = 0;
        w->slot_drawFocusCircle(QPointF(0.75, 0.5), true);
        const int radius = static_cast<int>(w->circleRadius());
        const cv::Mat ring = paintAndReadBack(w, picture({}));
        const int cx = 480, cy = 180;
        for (const cv::Point at : {cv::Point(cx + radius, cy), cv::Point(cx - radius, cy),
                                   cv::Point(cx, cy + radius), cv::Point(cx, cy - radius)})
            EXPECT_TRUE(whiteNear(ring, at.x, at.y)) << at;
        EXPECT_FALSE(whiteNear(ring, cx, cy));
        EXPECT_FALSE(whiteNear(ring, cx + radius + 3, cy));
        EXPECT_FALSE(whiteNear(ring, cx + radius - 3, cy));
        w->slot_drawFocusCircle(QPointF(0.75, 0.5), false);
    }
}

TEST(VideoWidgetPlanes, BoxLinesStayWholeWhenThePictureIsShownSmaller) {
    // A 1280 x 720 picture in a 640 x 360 widget: a one-pixel line of the
    // picture is half a screen pixel wide, and is still drawn along its
    // whole length.
    const cv::Mat black(720, 1280, CV_8UC3, cv::Scalar(0, 0, 0));
    FramePtr frame = toFrame(black, AV_PIX_FMT_YUV420P, AVCOL_SPC_BT470BG, false);
    std::vector<PictureRect> boxes;
    ASSERT_EQ(targetBoxShapes(oneBox(0.2f, 0.3f, 0.6f, 0.7f), 1280, 720, boxes), 1);
    VideoWidget* w = shownAt(QSize(640, 360));
    const cv::Mat got = paintAndReadBack(w, planesOf(frame, boxes));
    const PictureRect top = boxes[0]; // the outline's top line
    ASSERT_EQ(top.height, 1);
    const int row = top.y / 2;
    int gaps = 0;
    for (int x = top.x / 2 + 1; x < (top.x + top.width) / 2 - 1; ++x)
        gaps +=
            (whiteAt(got, x, row) || whiteAt(got, x, row + 1) || whiteAt(got, x, row - 1)) ? 0 : 1;
    EXPECT_EQ(gaps, 0);
    const PictureRect left = boxes[2]; // the outline's left line
    ASSERT_EQ(left.width, 1);
    gaps = 0;
    for (int y = left.y / 2 + 1; y < (left.y + left.height) / 2 - 1; ++y)
        gaps += (whiteAt(got, left.x / 2, y) || whiteAt(got, left.x / 2 + 1, y) ||
                 whiteAt(got, left.x / 2 - 1, y))
                    ? 0
                    : 1;
    EXPECT_EQ(gaps, 0);
}

TEST(VideoWidgetPlanes, AnRgbPictureAfterThePlanesReplacesThem) {
    const cv::Mat grey(360, 640, CV_8UC3, cv::Scalar(128, 128, 128));
    VideoWidget* w = shownAt(QSize(640, 360));
    paintAndReadBack(w, planesOf(toFrame(grey, AV_PIX_FMT_YUV420P, AVCOL_SPC_BT470BG, false)));
    EXPECT_EQ(w->planesSize(), QSize(640, 360));
    // The stop-video picture is R, G, B already.
    cv::Mat red(360, 640, CV_8UC3, cv::Scalar(255, 0, 0));
    w->slot_showVideoFrame(red);
    EXPECT_FALSE(w->currentImage().isNull());
    EXPECT_FALSE(w->planesSize().isValid());
    QImage shown = w->grabFramebuffer();
    EXPECT_EQ(qRed(shown.pixel(320, 180)), 255);
    EXPECT_EQ(qGreen(shown.pixel(320, 180)), 0);
    // A frame of a layout the widget cannot show is dropped, and the last
    // picture stays.
    FramePtr odd = toFrame(grey, AV_PIX_FMT_YUV420P, AVCOL_SPC_BT470BG, false);
    PlanePicture wrong = planesOf(odd);
    wrong.height = 100; // does not match the frame
    w->slot_showVideoPlanes(wrong);
    shown = w->grabFramebuffer();
    EXPECT_FALSE(w->planesSize().isValid());
    EXPECT_EQ(qRed(shown.pixel(320, 180)), 255);
}

} // namespace

namespace {

TEST(VideoWidgetPlanes, HardwareSurfacesAreTakenOnlyWhereTheyCanBeImported) {
    VideoWidget* w = shownAt(QSize(640, 360));
    // No GPU here: the context offers no import, and says why.
    w->makeCurrent();
    QString why;
    const std::unique_ptr<SurfaceImport> import = makeSurfaceImport(*w->context(), why);
    w->doneCurrent();
    if (!import) {
        EXPECT_FALSE(why.isEmpty());
    }
    // A surface the widget cannot import is dropped before it takes the
    // widget's turn; the picture shown stays.
    const cv::Mat grey(360, 640, CV_8UC3, cv::Scalar(128, 128, 128));
    paintAndReadBack(w, planesOf(toFrame(grey, AV_PIX_FMT_YUV420P, AVCOL_SPC_BT470BG, false)));
    AVFrame* fake = av_frame_alloc();
    fake->format = AV_PIX_FMT_VAAPI;
    fake->width = 640;
    fake->height = 360;
    QSignalSpy painted(OrunAppFace::instance(), &OrunAppFace::signal_randerFinished);
    w->slot_showVideoPlanes(planesOf(owned(fake)));
    EXPECT_TRUE(painted.isEmpty());
    EXPECT_EQ(w->planesSize(), QSize(640, 360));
}

} // namespace
