#include "UiTestSupport.h"

#include "ui/MySlider.h"

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QSignalSpy>

#include <gtest/gtest.h>

namespace {

class ZoomSliderTest : public ::testing::Test {
protected:
    void SetUp() override {
        hub = OrunAppFace::instance();
        slider = MySlider::instance();
        // An overlay of an earlier test may still hold it.
        slider->setParent(nullptr);
        slider->resize(100, 300);
        slider->show();
        // Let any earlier release's pause run out so camera pushes apply.
        ASSERT_TRUE(pumpUntil([&] { return slider->followsCamera(); }, 3000));
        slider->slot_showCurrentZoomRate(10);
    }
    void TearDown() override {
        // Enter kills a pending hide timer so later tests start shown.
        QEvent enter(QEvent::Enter);
        QApplication::sendEvent(slider, &enter);
        slider->hide();
    }
    QString label(const char* name) {
        // Rendering runs the paint code whether or not a screen shows it.
        slider->grab();
        return slider->findChild<QLabel*>(name)->text();
    }
    void mouse(QEvent::Type type, QPointF pos) {
        QMouseEvent event(type, pos, slider->mapToGlobal(pos.toPoint()),
                          type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                          type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton,
                          Qt::NoModifier);
        QApplication::sendEvent(slider, &event);
    }

    OrunAppFace* hub = nullptr;
    MySlider* slider = nullptr;
};

TEST_F(ZoomSliderTest, CameraRatesPlaceTheHandle) {
    QSignalSpy synced(hub, &OrunAppFace::signal_syncRateBtn);
    slider->slot_showCurrentZoomRate(10);
    EXPECT_EQ(slider->handleRect(), QRectF(25, 250, 50, 50));
    EXPECT_EQ(label("lbHandle"), "1.0x");
    EXPECT_EQ(label("lbTop"), "3.5x");
    EXPECT_EQ(label("lbBottom"), ""); // the handle covers it
    ASSERT_GE(synced.count(), 1);
    EXPECT_EQ(synced.first().at(0).toRectF(), QRectF(25, 250, 50, 50));
    EXPECT_EQ(synced.first().at(1).toString(), "1.0x");

    slider->slot_showCurrentZoomRate(35);
    EXPECT_EQ(slider->handleRect().y(), 0.0);
    EXPECT_EQ(label("lbHandle"), "3.5x");
    EXPECT_EQ(label("lbTop"), "");
    EXPECT_EQ(label("lbBottom"), "1.0x");

    slider->slot_showCurrentZoomRate(20);
    EXPECT_DOUBLE_EQ(slider->handleRect().y(), 150.0);
    EXPECT_EQ(label("lbHandle"), "2.0x");
    // Reports outside 1.0x .. 3.5x keep the handle on the track.
    slider->slot_showCurrentZoomRate(90);
    EXPECT_EQ(slider->handleRect().y(), 0.0);
}

TEST_F(ZoomSliderTest, ReleaseRequestsTheDraggedFactor) {
    hub->iOperating = 0;
    hub->iOperation = -1;
    mouse(QEvent::MouseButtonPress, QPointF(50, 275));
    // 107.5 pixels up from the bottom of a 250-pixel travel: ratio 0.43.
    mouse(QEvent::MouseMove, QPointF(50, 167.5));
    EXPECT_FLOAT_EQ(slider->ratio(), 0.43f);
    mouse(QEvent::MouseButtonRelease, QPointF(50, 167.5));
    EXPECT_EQ(hub->iOperation.load(), 3);
    EXPECT_EQ(hub->iOperating.load(), 1);
    EXPECT_EQ(hub->iZoomSpeed.load(), 100);
    EXPECT_FLOAT_EQ(hub->fZoomRate.load(), 2.1f);
    hub->iOperating = 0;
}

TEST_F(ZoomSliderTest, DragStopsAtTheEnds) {
    mouse(QEvent::MouseButtonPress, QPointF(50, 275));
    mouse(QEvent::MouseMove, QPointF(50, 320)); // already at the bottom
    EXPECT_EQ(slider->handleRect().y(), 250.0);
    mouse(QEvent::MouseMove, QPointF(50, -400));
    EXPECT_EQ(slider->handleRect().y(), 0.0);
    EXPECT_FLOAT_EQ(slider->ratio(), 1.0f);
    mouse(QEvent::MouseButtonRelease, QPointF(50, -400));
    EXPECT_FLOAT_EQ(hub->fZoomRate.load(), 3.5f);
    hub->iOperating = 0;
}

TEST_F(ZoomSliderTest, CameraPushesWaitTwoSecondsAfterARelease) {
    mouse(QEvent::MouseButtonPress, QPointF(50, 275));
    mouse(QEvent::MouseMove, QPointF(50, 175));
    mouse(QEvent::MouseButtonRelease, QPointF(50, 175));
    hub->iOperating = 0;
    const double y = slider->handleRect().y();
    slider->slot_showCurrentZoomRate(35);
    EXPECT_EQ(slider->handleRect().y(), y);
    EXPECT_FALSE(slider->followsCamera());
    ASSERT_TRUE(pumpUntil([&] { return slider->followsCamera(); }, 3500));
    slider->slot_showCurrentZoomRate(35);
    EXPECT_EQ(slider->handleRect().y(), 0.0);
}

TEST_F(ZoomSliderTest, HidesThreeSecondsAfterThePointerLeaves) {
    QSignalSpy rateButton(hub, &OrunAppFace::signal_showRateBtn);
    QEvent leave(QEvent::Leave);
    QEvent enter(QEvent::Enter);
    // Coming back before the time is up keeps it shown.
    QApplication::sendEvent(slider, &leave);
    pumpUntil([] { return false; }, 300);
    QApplication::sendEvent(slider, &enter);
    pumpUntil([] { return false; }, 3300);
    EXPECT_TRUE(slider->isVisible());
    EXPECT_EQ(rateButton.count(), 0);

    QApplication::sendEvent(slider, &leave);
    ASSERT_TRUE(pumpUntil([&] { return !slider->isVisible(); }, 4500));
    ASSERT_EQ(rateButton.count(), 1);
    EXPECT_TRUE(rateButton.first().at(0).toBool());
}

} // namespace
