#include "UiTestSupport.h"

#include "app/CaptureControl.h"
#include "ui/CaptureBar.h"
#include "ui/ErrorInfoDlg.h"
#include "ui/OrunAppUI.h"
#include "ui/VideoMaskWidget.h"
#include "ui/WindowGeometry.h"
#include "video/VideoWidget.h"

#include <QApplication>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QRegularExpression>
#include <QScreen>
#include <QToolButton>
#include <QUdpSocket>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        hub = OrunAppFace::instance();
        hub->iScreenLayout = 0;
        window = std::make_unique<OrunAppUI>();
        window->setGeometry(QRect(200, 100, 1366, 768));
        window->show();
        QCoreApplication::processEvents();
    }
    void TearDown() override { window.reset(); }

    void mouse(QEvent::Type type, QPoint local, Qt::MouseButtons buttons) {
        const QPoint global = window->geometry().topLeft() + local;
        QMouseEvent event(type, local, global,
                          type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons,
                          Qt::NoModifier);
        QApplication::sendEvent(window.get(), &event);
    }
    // Presses at `from`, moves by (dx, dy) in one step and releases there.
    void drag(QPoint from, int dx, int dy) {
        mouse(QEvent::MouseButtonPress, from, Qt::LeftButton);
        mouse(QEvent::MouseMove, from + QPoint(dx, dy), Qt::LeftButton);
        // The window may have moved or changed under the pointer: release
        // where the pointer now is in window coordinates.
        mouse(QEvent::MouseButtonRelease, from, Qt::NoButton);
    }
    QString connStyle() const { return window->findChild<QLabel*>("lbConnStatus")->styleSheet(); }

    ScratchConfig config;
    OrunAppFace* hub = nullptr;
    std::unique_ptr<OrunAppUI> window;
};

TEST_F(MainWindowTest, ConstructionSetsTheWindowUp) {
    EXPECT_EQ(window->windowTitle(), "OrunAppV1.0.2");
    EXPECT_EQ(static_cast<int>(window->windowFlags()), 0xE801);
    EXPECT_EQ(window->minimumSize(), QSize(1140, 640));
    EXPECT_EQ(hub->rcNormal.get(), QRect(QPoint(300, 200), QPoint(1665, 967)));
    for (const char* hidden :
         {"tbAboutUs", "tbAutoSetting", "tbCameraSetting", "tbHelp", "tbLiveSetting", "tbPhoto"})
        EXPECT_TRUE(window->findChild<QToolButton*>(hidden)->isHidden()) << hidden;
    EXPECT_FALSE(window->findChild<QToolButton*>("tbGeneraSetting")->isHidden());
    EXPECT_TRUE(connStyle().contains(":/icon/disConn.jpg"));
    EXPECT_TRUE(window->findChild<QToolButton*>("tbMax")->styleSheet().contains("big1.bmp"));
    // The video widget and the mask live in the video area.
    QWidget* area = window->findChild<QWidget*>("wgVideo");
    EXPECT_EQ(window->videoView()->parentWidget(), area);
    EXPECT_EQ(window->maskView()->parentWidget(), area);
    EXPECT_TRUE(window->maskView()->isHidden());
}

TEST_F(MainWindowTest, ConnectionIconFollowsTheState) {
    window->slot_showConnectSatus(0);
    EXPECT_EQ(connStyle(), "border-image: url(:/icon/wifi.jpg);");
    window->slot_showConnectSatus(1);
    EXPECT_EQ(connStyle(), "border-image: url(:/icon/Usb.jpg);");
    window->slot_showConnectSatus(5);
    EXPECT_EQ(connStyle(), "border-image: url(:/icon/disConn.jpg);");
    // The hub's signal reaches the window.
    emit hub->signal_showConnectSatus(1);
    EXPECT_EQ(connStyle(), "border-image: url(:/icon/Usb.jpg);");
    window->slot_showConnectSatus(-1);
    EXPECT_EQ(connStyle(), "border-image: url(:/icon/disConn.jpg);");
}

TEST_F(MainWindowTest, EdgeDragsResizeAndInsideDragsMove) {
    window->setGeometry(QRect(100, 100, 1200, 700));
    QCoreApplication::processEvents();
    drag(QPoint(1198, 300), 40, 0);
    EXPECT_EQ(window->geometry(), QRect(100, 100, 1240, 700));
    drag(QPoint(600, 698), 0, -20);
    EXPECT_EQ(window->geometry(), QRect(100, 100, 1240, 680));
    drag(QPoint(600, 300), 15, 25);
    EXPECT_EQ(window->geometry(), QRect(115, 125, 1240, 680));
    EXPECT_EQ(window->cursor().shape(), Qt::ArrowCursor);
    // The release stored the normal rectangle.
    EXPECT_EQ(hub->rcNormal.get(), QRect(115, 125, 1240, 680));
}

TEST_F(MainWindowTest, NarrowWindowRefusesToShrinkButGrows) {
    window->setGeometry(QRect(100, 100, 1140, 700));
    QCoreApplication::processEvents();
    drag(QPoint(1138, 300), -30, 0);
    EXPECT_EQ(window->width(), 1140);
    drag(QPoint(1138, 300), 30, 0);
    EXPECT_EQ(window->width(), 1170);
    // The widget's minimum size applies on top of the drag rule.
    drag(QPoint(1168, 300), -200, 0);
    EXPECT_EQ(window->width(), 1140);
}

TEST_F(MainWindowTest, MovingOverTheEdgesShowsResizeCursors) {
    mouse(QEvent::MouseMove, QPoint(2, 2), Qt::NoButton);
    EXPECT_EQ(window->cursor().shape(), Qt::SizeFDiagCursor);
    mouse(QEvent::MouseMove, QPoint(window->width() - 2, 300), Qt::NoButton);
    EXPECT_EQ(window->cursor().shape(), Qt::SizeHorCursor);
    mouse(QEvent::MouseMove, QPoint(300, window->height() - 1), Qt::NoButton);
    EXPECT_EQ(window->cursor().shape(), Qt::SizeVerCursor);
    mouse(QEvent::MouseMove, QPoint(300, 300), Qt::NoButton);
    EXPECT_EQ(window->cursor().shape(), Qt::ArrowCursor);
}

TEST_F(MainWindowTest, PointerOverTheTitleBarEdgeShowsTheResizeCursor) {
    QWidget* head = window->findChild<QWidget*>("wgHead");
    const QPoint local(400, 1); // two pixels below the window's top edge
    QMouseEvent move(QEvent::MouseMove, local, head->mapToGlobal(local), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(head, &move);
    EXPECT_EQ(window->cursor().shape(), Qt::SizeVerCursor);
}

TEST_F(MainWindowTest, MaximisedAndFullScreenKeepTheNormalRectangle) {
    const QRect normal(150, 120, 1300, 720);
    window->setGeometry(normal);
    drag(QPoint(600, 300), 0, 0);
    ASSERT_EQ(hub->rcNormal.get(), normal);

    QRect screen = QGuiApplication::primaryScreen()->geometry();
    screen.setBottom(screen.bottom() - 1);
    // A screen smaller than the window's minimum size (the test screen is)
    // leaves the window at its minimum size.
    screen.setSize(screen.size().expandedTo(window->minimumSize()));
    window->on_tbMax_clicked();
    EXPECT_TRUE(window->isMaximizedView());
    EXPECT_EQ(window->geometry(), screen);
    QToolButton* max = window->findChild<QToolButton*>("tbMax");
    EXPECT_TRUE(max->styleSheet().contains("Unbig1.bmp"));
    EXPECT_EQ(max->toolTip(), QString::fromUtf8("还原窗口"));
    drag(QPoint(600, 300), 10, 10);
    EXPECT_EQ(hub->rcNormal.get(), normal);
    window->on_tbMax_clicked();
    EXPECT_FALSE(window->isMaximizedView());
    EXPECT_EQ(window->geometry(), normal);
    EXPECT_TRUE(max->styleSheet().contains("big1.bmp"));
    EXPECT_EQ(max->toolTip(), QString::fromUtf8("最大化"));

    emit hub->signal_showFullScreen(true);
    EXPECT_TRUE(window->isFullScreenView());
    EXPECT_TRUE(window->findChild<QWidget*>("wgHead")->isHidden());
    EXPECT_EQ(window->geometry(), screen);
    drag(QPoint(600, 300), 10, 10);
    EXPECT_EQ(hub->rcNormal.get(), normal);
    emit hub->signal_showFullScreen(false);
    EXPECT_FALSE(window->isFullScreenView());
    EXPECT_FALSE(window->findChild<QWidget*>("wgHead")->isHidden());
    EXPECT_EQ(window->geometry(), normal);
}

TEST_F(MainWindowTest, DefaultSizeUsesTheFixedRectangleOtherSizesTheFit) {
    hub->iScreenLayout = 1;
    window->resize(1366, 768);
    QCoreApplication::processEvents();
    emit hub->signal_syncScreenSize();
    EXPECT_EQ(window->videoView()->geometry(), QRect(478, 0, 410, 730));
    EXPECT_EQ(window->maskView()->geometry(), QRect(478, 0, 410, 730));

    window->resize(1500, 900);
    QCoreApplication::processEvents();
    QWidget* area = window->findChild<QWidget*>("wgVideo");
    WindowGeometry::PictureFit fit;
    ASSERT_TRUE(WindowGeometry::fitPicture(1, area->width(), area->height(), &fit));
    // The resize alone runs the fit.
    EXPECT_EQ(window->videoView()->geometry(), fit.picture);
    EXPECT_EQ(window->maskView()->geometry(), fit.mask);
    emit hub->signal_syncScreenSize();
    EXPECT_EQ(window->videoView()->geometry(), fit.picture);

    // An unknown layout leaves everything as it was.
    hub->iScreenLayout = 7;
    window->slot_syncScreenSize();
    EXPECT_EQ(window->videoView()->geometry(), fit.picture);
    hub->iScreenLayout = 0;
}

TEST_F(MainWindowTest, LayoutShowsItsOverlayAndHidesTheOthers) {
    if (window->overlayView(0) == nullptr)
        GTEST_SKIP() << "this build has no video control overlays";
    window->resize(1366, 768);
    QCoreApplication::processEvents();
    for (int layout : {3, 0, 4}) {
        hub->iScreenLayout = layout;
        emit hub->signal_syncScreenSize();
        for (int i = 0; i < WindowGeometry::kLayoutCount; ++i)
            EXPECT_EQ(window->overlayView(i)->isVisible(), i == layout) << layout << " " << i;
        EXPECT_EQ(window->overlayView(layout)->geometry(),
                  WindowGeometry::fixedPictureRect(layout));
        EXPECT_EQ(window->videoView()->geometry(), WindowGeometry::fixedPictureRect(layout));
    }
    // Outside the default size the visible overlay follows the fit.
    window->resize(1600, 939);
    QCoreApplication::processEvents();
    EXPECT_EQ(window->overlayView(4)->geometry(), window->videoView()->geometry());
    hub->iScreenLayout = 0;
}

TEST_F(MainWindowTest, OverlaysHearTheHubAndDrawIntoTheVideo) {
    if (window->overlayView(0) == nullptr)
        GTEST_SKIP() << "this build has no video control overlays";
    hub->iScreenLayout = 2;
    emit hub->signal_setVideoBtnDlgVisable(true);
    // Only the 4:3 overlay answers for its own layout.
    EXPECT_TRUE(window->overlayView(2)->isVisible());
    EXPECT_FALSE(window->overlayView(0)->isVisible());
    emit hub->signal_setVideoBtnDlgVisable(false);
    EXPECT_FALSE(window->overlayView(2)->isVisible());
    // Each overlay's focus circle reaches the video widget.
    auto* video = qobject_cast<VideoWidget*>(window->videoView());
    ASSERT_NE(video, nullptr);
    for (int layout = 0; layout < WindowGeometry::kLayoutCount; ++layout) {
        QMetaObject::invokeMethod(window->overlayView(layout), "signal_drawFocusCircle",
                                  Q_ARG(QPointF, QPointF(0.5, 0.5)), Q_ARG(bool, true));
        EXPECT_TRUE(video->circleDrawn()) << layout;
        QMetaObject::invokeMethod(window->overlayView(layout), "signal_drawFocusCircle",
                                  Q_ARG(QPointF, QPointF(0.5, 0.5)), Q_ARG(bool, false));
        EXPECT_FALSE(video->circleDrawn()) << layout;
    }
    hub->iScreenLayout = 0;
}

TEST_F(MainWindowTest, TargetCheckBoxWritesTheHubFlag) {
    auto* box = window->findChild<QWidget*>("cbShowTarget");
    ASSERT_NE(box, nullptr);
    window->on_cbShowTarget_clicked(false);
    EXPECT_FALSE(hub->showTarget.load());
    window->on_cbShowTarget_clicked(true);
    EXPECT_TRUE(hub->showTarget.load());
}

TEST_F(MainWindowTest, SingletonsOutliveTheWindow) {
    QWidget* mask = window->maskView();
    QWidget* video = window->videoView();
    window.reset();
    // Both are still alive and can be placed into the next window.
    EXPECT_EQ(mask, VideoMaskWidget::instance());
    window = std::make_unique<OrunAppUI>();
    EXPECT_EQ(window->maskView(), mask);
    EXPECT_EQ(window->videoView(), video);
}

TEST_F(MainWindowTest, CaptureButtonsSitBesideTheSettingsButton) {
    CaptureBar* bar = window->captureBar();
    ASSERT_NE(bar, nullptr);
    auto* row = window->findChild<QHBoxLayout*>("horizontalLayout");
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->indexOf(bar), row->indexOf(window->findChild<QWidget*>("tbGeneraSetting")) + 1);
    EXPECT_TRUE(bar->isVisibleTo(window.get()));
    // Its banner belongs to the video area, not to the title bar.
    EXPECT_EQ(bar->banner()->parentWidget(), window->videoView()->parentWidget());
}

// The capture buttons follow the controller, whoever switched it.
TEST(CaptureBarTest, ButtonsFollowTheControllerAndNoticesShowAsABanner) {
    ScratchConfig config;
    QUdpSocket probe;
    ASSERT_TRUE(probe.bind(QHostAddress(QHostAddress::LocalHost), 0));
    const QString address = QString("127.0.0.1:%1").arg(probe.localPort());
    probe.close();
    writeConfigValue("Capture/liveSrt", address);
    writeConfigValue("Capture/recordFolder", config.dir.path() + "/videos");
    std::vector<std::shared_ptr<UnitSink>> sinks;
    CaptureControl control;
    CaptureControl::VideoHooks hooks;
    hooks.addUnitSink = [&](std::shared_ptr<UnitSink> s) { sinks.push_back(std::move(s)); };
    hooks.removeUnitSink = [&](const std::shared_ptr<UnitSink>& s) {
        sinks.erase(std::remove(sinks.begin(), sinks.end(), s), sinks.end());
    };
    control.setVideoHooks(hooks);
    QWidget area;
    area.resize(1280, 720);
    CaptureBar bar(&control, &area);
    area.show();

    const QString idle = bar.recordButton()->text();
    QTest::mouseClick(bar.recordButton(), Qt::LeftButton);
    EXPECT_TRUE(control.isRecording());
    // No camera: nothing is in a file, so no time runs.
    EXPECT_EQ(bar.recordButton()->text(), QString::fromUtf8("等待相机"));
    control.stopRecording(); // as a key would
    EXPECT_EQ(bar.recordButton()->text(), idle);
    EXPECT_TRUE(sinks.empty());

    EXPECT_TRUE(bar.liveButton()->toolTip().contains("srt://" + address))
        << bar.liveButton()->toolTip().toStdString();
    const QString offTip = bar.liveButton()->toolTip();
    QTest::mouseClick(bar.liveButton(), Qt::LeftButton);
    EXPECT_TRUE(control.isLiveOutputOn());
    EXPECT_NE(bar.liveButton()->toolTip(), offTip);
    EXPECT_TRUE(bar.liveButton()->toolTip().contains("srt://" + address));
    QTest::mouseClick(bar.liveButton(), Qt::LeftButton);
    EXPECT_FALSE(control.isLiveOutputOn());
    EXPECT_EQ(bar.liveButton()->toolTip(), offTip);

    EXPECT_FALSE(bar.banner()->isVisible());
    emit control.notice(CaptureControl::kNoticeInfo, "saved to /somewhere/file.mp4");
    EXPECT_TRUE(bar.banner()->isVisible());
    EXPECT_EQ(bar.banner()->text(), "saved to /somewhere/file.mp4");
    EXPECT_EQ(bar.banner()->level(), CaptureControl::kNoticeInfo);
    EXPECT_TRUE(area.rect().contains(bar.banner()->geometry())) << "inside the video area";
}

} // namespace
