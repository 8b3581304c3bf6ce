// The OpenGL video widget under a real X server (Mesa).
#include "video/VideoWidget.h"
#include "hub/OrunAppFace.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QSignalSpy>
#include <QTest>

#include <opencv2/imgproc.hpp>

namespace {

// Four quadrants: red, green, blue, white (R, G, B order).
cv::Mat quadrants(int w, int h) {
    cv::Mat m(h, w, CV_8UC3);
    m(cv::Rect(0, 0, w / 2, h / 2)).setTo(cv::Scalar(255, 0, 0));
    m(cv::Rect(w / 2, 0, w - w / 2, h / 2)).setTo(cv::Scalar(0, 255, 0));
    m(cv::Rect(0, h / 2, w / 2, h - h / 2)).setTo(cv::Scalar(0, 0, 255));
    m(cv::Rect(w / 2, h / 2, w - w / 2, h - h / 2)).setTo(cv::Scalar(255, 255, 255));
    return m;
}

void expectColour(const QImage& img, int x, int y, QRgb want, int tolerance = 8) {
    const QRgb got = img.pixel(x, y);
    EXPECT_NEAR(qRed(got), qRed(want), tolerance) << x << "," << y;
    EXPECT_NEAR(qGreen(got), qGreen(want), tolerance) << x << "," << y;
    EXPECT_NEAR(qBlue(got), qBlue(want), tolerance) << x << "," << y;
}

void saveArtifact(const QImage& img, const char* name) {
    const QByteArray dir = qgetenv("ORUN_TEST_ARTIFACTS");
    if (dir.isEmpty())
        return;
    QDir().mkpath(QString::fromLocal8Bit(dir));
    img.save(QString::fromLocal8Bit(dir) + "/" + name);
}

VideoWidget* shownWidget() {
    VideoWidget* w = VideoWidget::instance();
    w->resize(640, 360);
    w->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(w));
    return w;
}

TEST(VideoWidget, ShowsTheClearColourThenTheFrameTopRowUp) {
    VideoWidget* w = shownWidget();
    EXPECT_EQ(w->objectName(), "VideoWidget");
    EXPECT_TRUE(w->currentImage().isNull());
    QImage grab = w->grabFramebuffer();
    expectColour(grab, 320, 180, qRgb(128, 128, 179), 2);

    QSignalSpy rendered(OrunAppFace::instance(), &OrunAppFace::signal_randerFinished);
    w->slot_showVideoFrame(quadrants(1280, 720));
    ASSERT_GE(rendered.count(), 1);
    EXPECT_FALSE(rendered.first().at(0).toBool());
    // The repaint that follows reports the widget ready again.
    ASSERT_TRUE(rendered.wait(3000) || rendered.count() >= 2);
    EXPECT_TRUE(rendered.last().at(0).toBool());

    grab = w->grabFramebuffer();
    saveArtifact(grab, "video_widget_quadrants.png");
    ASSERT_EQ(grab.size(), QSize(640, 360) * w->devicePixelRatioF());
    const int gw = grab.width(), gh = grab.height();
    expectColour(grab, gw / 4, gh / 4, qRgb(255, 0, 0));
    expectColour(grab, gw * 3 / 4, gh / 4, qRgb(0, 255, 0));
    expectColour(grab, gw / 4, gh * 3 / 4, qRgb(0, 0, 255));
    expectColour(grab, gw * 3 / 4, gh * 3 / 4, qRgb(255, 255, 255));

    // A grey frame is shown as grey; an unsupported one leaves the picture.
    cv::Mat grey(90, 160, CV_8UC1, cv::Scalar(90));
    w->slot_showVideoFrame(grey);
    expectColour(w->grabFramebuffer(), gw / 2, gh / 2, qRgb(90, 90, 90));
    w->slot_showVideoFrame(cv::Mat(90, 160, CV_16UC1, cv::Scalar(1000)));
    expectColour(w->grabFramebuffer(), gw / 2, gh / 2, qRgb(90, 90, 90));

    // A background image replaces the picture.
    QImage bg(64, 36, QImage::Format_RGB888);
    bg.fill(QColor(10, 200, 30));
    w->slot_showVideoBgImg(bg);
    w->slot_showVideoBgImg(QImage());
    expectColour(w->grabFramebuffer(), gw / 2, gh / 2, qRgb(10, 200, 30));
}

TEST(VideoWidget, MatToQImageByType) {
    cv::Mat grey(3, 5, CV_8UC1, cv::Scalar(77));
    QImage g = matToQImage(grey);
    EXPECT_EQ(g.format(), QImage::Format_Indexed8);
    EXPECT_EQ(g.size(), QSize(5, 3));
    EXPECT_EQ(g.pixel(4, 2), qRgb(77, 77, 77));

    cv::Mat rgb = quadrants(8, 4);
    QImage c = matToQImage(rgb);
    EXPECT_EQ(c.format(), QImage::Format_RGB888);
    EXPECT_EQ(c.constBits(), rgb.data); // no copy
    EXPECT_EQ(c.pixel(0, 0), qRgb(255, 0, 0));
    // A region of a larger matrix keeps its row step.
    QImage roi = matToQImage(rgb(cv::Rect(4, 0, 4, 4)));
    EXPECT_EQ(roi.pixel(0, 0), qRgb(0, 255, 0));

    EXPECT_EQ(matToQImage(cv::Mat(2, 2, CV_8UC4)).format(), QImage::Format_ARGB32);
    EXPECT_TRUE(matToQImage(cv::Mat(2, 2, CV_32FC3)).isNull());
    EXPECT_TRUE(matToQImage(cv::Mat()).isNull());
}

TEST(VideoWidget, FocusCircleIsDrawnAtTheCentreAndShrinks) {
    OrunAppFace::instance()->iResolution = 1; // 1080p: radius 40 shrinking to 34.5
    VideoWidget* w = shownWidget();
    w->slot_drawFocusCircle(QPointF(0.5, 0.5), true);
    EXPECT_TRUE(w->circleDrawn());
    EXPECT_FLOAT_EQ(w->circleRadius(), 40.0f);

    cv::Mat frame = cv::Mat::zeros(1080, 1920, CV_8UC3);
    w->slot_showVideoFrame(frame); // draws into the shared pixels
    const cv::Vec3b onCircle = frame.at<cv::Vec3b>(540, 1000);
    EXPECT_GT(onCircle[0], 100);
    EXPECT_EQ(frame.at<cv::Vec3b>(540, 960), cv::Vec3b(0, 0, 0));
    EXPECT_GT(frame.at<cv::Vec3b>(500, 960)[1], 100);
    EXPECT_GT(frame.at<cv::Vec3b>(540, 920)[2], 100);
    EXPECT_EQ(frame.at<cv::Vec3b>(540, 1010), cv::Vec3b(0, 0, 0));

    // Eleven half-pixel steps, then orange.
    QTest::qWait(600);
    EXPECT_FLOAT_EQ(w->circleRadius(), 34.5f);
    const auto orange = w->circleColor();
    EXPECT_EQ(orange[0], 255);
    EXPECT_EQ(orange[1], 170);
    EXPECT_EQ(orange[2], 0);

    // 720p: twenty-one steps, 35 down to 24.5. A new request restarts both timers.
    OrunAppFace::instance()->iResolution = 0;
    w->slot_drawFocusCircle(QPointF(0.25, 0.25), true);
    EXPECT_FLOAT_EQ(w->circleRadius(), 35.0f);
    QTest::qWait(800);
    EXPECT_FLOAT_EQ(w->circleRadius(), 24.5f);
    cv::Mat small = cv::Mat::zeros(720, 1280, CV_8UC3);
    w->slot_showVideoFrame(small);
    const cv::Vec3b later = small.at<cv::Vec3b>(180, 320 + 24);
    EXPECT_GT(later[0], 60); // orange: red and some green, no blue
    EXPECT_LT(later[2], 10);

    // A request to hide ends it at once.
    w->slot_drawFocusCircle(QPointF(0.5, 0.5), false);
    EXPECT_FALSE(w->circleDrawn());
    cv::Mat none = cv::Mat::zeros(720, 1280, CV_8UC3);
    w->slot_showVideoFrame(none);
    EXPECT_EQ(cv::countNonZero(none.reshape(1)), 0);
}

TEST(VideoWidget, FocusCircleHidesThreeSecondsAfterTheLastRequest) {
    VideoWidget* w = shownWidget();
    w->slot_drawFocusCircle(QPointF(0.5, 0.5), true);
    QTest::qWait(1000);
    w->slot_drawFocusCircle(QPointF(0.5, 0.5), true);
    QTest::qWait(2500);
    EXPECT_TRUE(w->circleDrawn());
    QTest::qWait(1500);
    EXPECT_FALSE(w->circleDrawn());
}

} // namespace
