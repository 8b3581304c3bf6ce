#include "UiTestSupport.h"

#include "ui/CountDownDlg.h"
#include "ui/ErrorInfoDlg.h"
#include "ui/MySlider.h"
#include "ui/OrunAppUI.h"
#include "ui/PohtoModeSettingDlg.h"
#include "ui/VideoMaskWidget.h"
#include "ui/VideoStatisticalTimeDlg.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QSettings>

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

// Configuration in English, with the program's translations.
void useEnglish(const QString& base) {
    QDir().mkpath(base + "/config");
    QDir().mkpath(base + "/language");
    QSettings ini(base + "/config/config.ini", QSettings::IniFormat);
    ini.setValue("BaseOption/language", 1);
    ini.sync();
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

    // The small widgets of the video area, laid out as the overlay places them.
    QWidget* area = window.videoView()->parentWidget();
    VideoStatisticalTimeDlg* time = VideoStatisticalTimeDlg::instance();
    time->setParent(area);
    time->setGeometry(34 + 1297 / 2 - 80, 30, 160, 40);
    time->startTime(3725);
    PohtoModeSettingDlg* selector = PohtoModeSettingDlg::instance();
    selector->setParent(area);
    hub->iPhotoMode = 1;
    hub->iPhotoParam = 1;
    selector->slot_showModeSettingUIStyle();
    selector->move(34 + 1297 / 2 - 120, 730 - 160);
    selector->show();
    MySlider* slider = MySlider::instance();
    slider->setParent(area);
    slider->move(34 + 1297 - 140, 730 / 2 - 150);
    slider->show();
    slider->slot_showCurrentZoomRate(20);
    CountDownDlg* count = CountDownDlg::instance();
    count->setParent(area);
    count->setGeometry(34 + 1297 / 2 - 100, 730 / 2 - 100, 200, 200);
    count->startCount(3, false);
    ErrorInfoDlg* banners[3];
    const char* texts[3] = {"Gimbal fault", "Storage card almost full", "Battery low"};
    for (int i = 0; i < 3; ++i) {
        banners[i] = new ErrorInfoDlg(area);
        banners[i]->setMessage(i, i, texts[i]);
        banners[i]->move(34 + 1297 / 2 - 185, (60 + 18) * i + 90);
        banners[i]->show();
    }
    pumpUntil([] { return false; }, 400);
    const QImage widgets = window.grab().toImage();
    EXPECT_TRUE(widgets.save(artifactPath("ui_video_area_widgets_en.png")));

    VideoMaskWidget::instance()->show();
    VideoMaskWidget::instance()->raise();
    pumpUntil([] { return false; }, 300);
    EXPECT_TRUE(window.grab().toImage().save(artifactPath("ui_loading_mask_en.png")));

    for (ErrorInfoDlg* b : banners)
        delete b;
    for (QWidget* w : std::initializer_list<QWidget*>{time, selector, slider, count})
        w->setParent(nullptr);
    count->stopCount();
    time->stopTime();
}

} // namespace
