// Pictures of the real main window with the simulated camera's live video
// behind the overlay of every layout, of every settings page, and of the
// window in Chinese. They are saved for inspection; the checks here catch a
// window without video or a control pushed out of its overlay.
#include "tests/ui/UiTestSupport.h"

#include "app/Configuration.h"
#include "kcpclient/KcpWrapper.h"
#include "tools/camsim/media/MediaCamera.h"
#include "tools/camsim/video/SyntheticVideoSource.h"
#include "ui/KeyHelpDialog.h"
#include "ui/OrunAppUI.h"
#include "ui/StatsOverlay.h"
#include "ui/settings/GeneralSettingsDlg.h"
#include "ui/settings/SettingsEnvironment.h"
#include "ui/settings/WifiStationDlg.h"
#include "video/VideoWidget.h"
#include "video/videoctl.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QScreen>
#include <QToolButton>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>

namespace {

QString artifactPath(const QString& name) {
    QString dir = qEnvironmentVariable("ORUN_TEST_ARTIFACTS");
    if (dir.isEmpty())
        dir = QDir::tempPath();
    QDir().mkpath(dir);
    return dir + "/" + name;
}

// A scratch configuration with the program's translations, in `language`.
void useLanguage(const QString& base, int language) {
    QDir().mkpath(base + "/language");
    writeConfigValue("BaseOption/language", language);
    writeConfigValue("BaseOption/wifiMode", 1);
    QFile::copy(QDir::currentPath() + "/language/orunapp_en_cn.qm",
                base + "/language/orunapp_en_cn.qm");
    OrunAppFace::instance()->iLanguage = language;
    loadLanguage(language);
}

// The simulated camera's media side and the real media client and decoder,
// decoding in software; counts the pictures published to the window.
class LiveVideo {
public:
    LiveVideo() {
        camera.setVideoSource(std::make_shared<camsim::SyntheticVideoSource>());
        started = camera.start();
        OrunAppFace* hub = OrunAppFace::instance();
        hub->sCameraAddress.set(QStringLiteral("127.0.0.1"));
        hub->iDecodeMode = 0;
        videoctl::instance()->setLinkUp(true);
        videoctl::instance()->slot_randerFinished(true);
        QObject::connect(hub, &OrunAppFace::signal_showVideoPlanes, &receiver,
                         [this](PlanePicture) { ++pictures; });
        started = started && videoctl::instance()->start();
    }
    ~LiveVideo() {
        videoctl::instance()->stop();
        camera.stop();
    }
    // Waits until `n` more pictures were shown.
    bool waitPictures(int n, int ms = 10000) {
        const int target = pictures + n;
        return pumpUntil([&] { return pictures >= target; }, ms);
    }

    camsim::MediaCamera camera;
    QObject receiver;
    int pictures = 0;
    bool started = false;
};

// The statistics over the live video (after two readings) and the list of
// keys, saved with `suffix`.
void showStatisticsAndKeys(OrunAppUI& window, LiveVideo& video, const QString& suffix) {
    auto* box = window.findChild<QCheckBox*>(QStringLiteral("cbShowStats"));
    ASSERT_NE(box, nullptr);
    box->click();
    ASSERT_TRUE(window.statsView()->isVisible());
    ASSERT_TRUE(video.waitPictures(45));
    pumpUntil([] { return false; }, 300);
    EXPECT_TRUE(window.statsView()->lastReport().receivedFps > 0);
    EXPECT_TRUE(
        window.grab().save(artifactPath(QStringLiteral("stack_statistics_%1.png").arg(suffix))));
    box->click();
    window.showKeyHelp();
    pumpUntil([] { return false; }, 200);
    EXPECT_TRUE(window.keyHelp()->grab().save(
        artifactPath(QStringLiteral("stack_keyhelp_%1.png").arg(suffix))));
    window.keyHelp()->close();
}

QRect inWindow(QWidget* w, QWidget* window) {
    return QRect(w->mapTo(window, QPoint(0, 0)), w->size());
}

// Every visible button of the overlay lies inside the overlay's picture.
void expectControlsInside(QWidget* overlay, QWidget* window) {
    const QRect area = inWindow(overlay, window);
    for (QToolButton* b : overlay->findChildren<QToolButton*>()) {
        if (!b->isVisibleTo(overlay))
            continue;
        EXPECT_TRUE(area.contains(inWindow(b, window))) << b->objectName().toStdString();
    }
}

void showLayouts(OrunAppUI& window, LiveVideo& video, const QString& suffix,
                 std::initializer_list<int> layouts) {
    OrunAppFace* hub = OrunAppFace::instance();
    for (int layout : layouts) {
        SCOPED_TRACE(layout);
        hub->iScreenLayout = layout;
        emit hub->signal_syncScreenSize();
        ASSERT_TRUE(video.waitPictures(15));
        pumpUntil([] { return false; }, 300);
        QWidget* overlay = window.overlayView(layout);
        ASSERT_NE(overlay, nullptr);
        EXPECT_TRUE(overlay->isVisible());
        expectControlsInside(overlay, &window);
        const QImage shot = window.grab().toImage();
        ASSERT_EQ(shot.size(), QSize(1366, 768));
        EXPECT_TRUE(shot.save(
            artifactPath(QStringLiteral("stack_layout%1_%2.png").arg(layout).arg(suffix))));
        // What the X server shows, composed by the window system.
        const QPixmap screen = QGuiApplication::primaryScreen()->grabWindow(window.winId());
        EXPECT_TRUE(screen.save(
            artifactPath(QStringLiteral("stack_layout%1_%2_screen.png").arg(layout).arg(suffix))));
        // The centre of the picture shows the camera's scene, not the black
        // background.
        const QRect picture = inWindow(window.videoView(), &window);
        const QColor centre = shot.pixelColor(picture.center());
        EXPECT_GT(centre.red() + centre.green() + centre.blue(), 60);
    }
}

TEST(StackScreenshots, FiveLayoutsWithLiveVideoAndEverySettingsPageInEnglish) {
    ScratchConfig config;
    useLanguage(config.dir.path(), 1);
    OrunAppFace* hub = OrunAppFace::instance();
    hub->iScreenLayout = 0;
    hub->iWifiMode = 1;
    LiveVideo video;
    ASSERT_TRUE(video.started);
    // Never destroyed: the window owns the video widget and overlay
    // singletons, which a later window of this process takes over.
    OrunAppUI& window = *new OrunAppUI;
    window.setGeometry(QRect(0, 0, 1366, 768));
    window.show();
    emit hub->signal_showConnectSatus(1);
    showLayouts(window, video, QStringLiteral("en"), {0, 1, 2, 3, 4});
    hub->iScreenLayout = 0;
    emit hub->signal_syncScreenSize();
    showStatisticsAndKeys(window, video, QStringLiteral("en"));

    GeneralSettingsDlg dlg;
    dlg.show();
    const char* pages[] = {"tbVideoSetting", "tbGeneralFunc",  "tbBtnSetting",
                           "tbLanguage",     "tbPohtoSetting", "tbConnectMode"};
    for (const char* page : pages) {
        auto* button = dlg.findChild<QToolButton*>(QLatin1String(page));
        ASSERT_NE(button, nullptr) << page;
        button->click();
        pumpUntil([] { return false; }, 200);
        EXPECT_TRUE(
            dlg.grab().save(artifactPath(QStringLiteral("stack_settings_%1_en.png").arg(page))));
    }
    dlg.hide();
    WifiStationDlg station(SettingsEnvironment::standard());
    station.show();
    pumpUntil([] { return false; }, 200);
    EXPECT_TRUE(station.grab().save(artifactPath("stack_settings_station_en.png")));
    auto* show = station.findChild<QCheckBox*>(QStringLiteral("cbShowpassw"));
    ASSERT_NE(show, nullptr);
    show->click();
    pumpUntil([] { return false; }, 100);
    EXPECT_TRUE(station.grab().save(artifactPath("stack_settings_station_shown_en.png")));
    station.hide();
    window.hide();
}

TEST(StackScreenshots, MainWindowInChinese) {
    ScratchConfig config;
    useLanguage(config.dir.path(), 0);
    OrunAppFace* hub = OrunAppFace::instance();
    hub->iScreenLayout = 0;
    LiveVideo video;
    ASSERT_TRUE(video.started);
    // Never destroyed: the window owns the video widget and overlay
    // singletons, which a later window of this process takes over.
    OrunAppUI& window = *new OrunAppUI;
    window.setGeometry(QRect(0, 0, 1366, 768));
    window.show();
    emit hub->signal_showConnectSatus(1);
    showLayouts(window, video, QStringLiteral("cn"), {0});
    showStatisticsAndKeys(window, video, QStringLiteral("cn"));

    GeneralSettingsDlg dlg;
    dlg.show();
    pumpUntil([] { return false; }, 200);
    EXPECT_TRUE(dlg.grab().save(artifactPath("stack_settings_tbVideoSetting_cn.png")));
    useLanguage(config.dir.path(), 1);
}

} // namespace
