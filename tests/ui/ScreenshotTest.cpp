#include "UiTestSupport.h"

#include "ui/CountDownDlg.h"
#include "ui/MySlider.h"
#include "ui/OrunAppUI.h"
#include "ui/PohtoModeSettingDlg.h"
#include "ui/VideoMaskWidget.h"
#include "ui/VideoStatisticalTimeDlg.h"

#include <QDir>
#include <QFile>
#include <QImage>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <gtest/gtest.h>

namespace {

QString artifactPath(const QString& name) {
    QString dir = qEnvironmentVariable("ORUN_TEST_ARTIFACTS");
    if (dir.isEmpty())
        dir = QDir::tempPath();
    QDir().mkpath(dir);
    return dir + "/" + name;
}

// Configuration in English, with the program's translations; `base` is the
// scratch program folder.
void useEnglish(const QString& base) {
    QDir().mkpath(base + "/language");
    writeConfigValue("BaseOption/language", 1);
    const QString qm = QDir::currentPath() + "/language/orunapp_en_cn.qm";
    QFile::copy(qm, base + "/language/orunapp_en_cn.qm");
}

void showPicture(const char* file) {
    cv::Mat bgr = cv::imread(file, cv::IMREAD_COLOR);
    ASSERT_FALSE(bgr.empty()) << file;
    cv::Mat rgb;
    cv::cvtColor(bgr, rgb, cv::COLOR_BGR2RGB);
    emit OrunAppFace::instance()->signal_showVideoFrame(rgb);
}

TEST(WindowScreenshot, WholeWindowAtDefaultSizeInEnglish) {
    ScratchConfig config;
    useEnglish(config.dir.path());
    OrunAppFace* hub = OrunAppFace::instance();
    hub->iScreenLayout = 0;
    OrunAppUI window;
    window.setGeometry(QRect(0, 0, 1366, 768));
    window.show();
    pumpUntil([] { return false; }, 300);
    emit hub->signal_syncScreenSize();
    emit hub->signal_showConnectSatus(1);
    showPicture("icon/stopVideo_16_9.png");
    pumpUntil([] { return false; }, 500);

    const QImage shot = window.grab().toImage();
    ASSERT_EQ(shot.size(), QSize(1366, 768));
    EXPECT_TRUE(shot.save(artifactPath("ui_main_window_1366x768_en.png")));
    // The title bar is dark and the picture area is not empty black.
    EXPECT_LT(qGray(shot.pixel(600, 18)), 80);
    EXPECT_EQ(window.videoView()->geometry(), QRect(34, 0, 1297, 730));

    // The small widgets of the video area, placed by the overlay that hosts
    // them: recording time, burst countdown, photo-mode selector, zoom slider
    // and three fault banners.
    QWidget* overlay = window.overlayView(0);
    ASSERT_NE(overlay, nullptr);
    VideoStatisticalTimeDlg::instance()->startTime(3725);
    hub->iPhotoMode = 1;
    hub->iPhotoParam = 1;
    PohtoModeSettingDlg::instance()->slot_showModeSettingUIStyle();
    QMetaObject::invokeMethod(overlay, "on_tbPhotoMode1_clicked");
    QMetaObject::invokeMethod(overlay, "on_tbRate_clicked");
    MySlider::instance()->slot_showCurrentZoomRate(20);
    CountDownDlg::instance()->startCount(3, false);
    hub->clearFaults();
    const char* texts[3] = {"Gimbal fault", "Storage card almost full", "Battery low"};
    for (int i = 0; i < 3; ++i) {
        FaultEntry entry;
        entry.id = 900 + i;
        entry.level = i;
        entry.text = texts[i];
        hub->raiseFault(entry);
    }
    emit hub->signal_showErrInfo();
    pumpUntil([] { return false; }, 400);
    const QImage widgets = window.grab().toImage();
    EXPECT_TRUE(widgets.save(artifactPath("ui_video_area_widgets_en.png")));

    VideoMaskWidget::instance()->show();
    VideoMaskWidget::instance()->raise();
    pumpUntil([] { return false; }, 300);
    EXPECT_TRUE(window.grab().toImage().save(artifactPath("ui_loading_mask_en.png")));

    VideoMaskWidget::instance()->hide();
    CountDownDlg::instance()->stopCount();
    VideoStatisticalTimeDlg::instance()->stopTime();
    hub->clearFaults();
}

} // namespace
