#include "UiTestSupport.h"

#include "ui/ErrorInfoDlg.h"
#include "ui/VideoMaskWidget.h"

#include <QLabel>
#include <QMovie>
#include <QToolButton>

#include <gtest/gtest.h>

namespace {

QToolButton* closeButton(ErrorInfoDlg& banner) {
    return banner.findChild<QToolButton*>("tbClose");
}
QString iconStyleOf(ErrorInfoDlg& banner) {
    return banner.findChild<QLabel*>("lbIcon")->styleSheet();
}

TEST(ErrorBanner, CloseButtonAndIconFollowTheLevel) {
    QWidget parent;
    ErrorInfoDlg banner(&parent);
    EXPECT_EQ(banner.size(), QSize(370, 60));
    EXPECT_EQ(banner.parentWidget(), &parent);
    EXPECT_TRUE(banner.findChild<QLabel*>("lbMsg")->text().isEmpty());

    banner.setMessage(3, 0, QString::fromUtf8("云台异常"));
    EXPECT_TRUE(closeButton(banner)->isHidden());
    EXPECT_TRUE(iconStyleOf(banner).contains("icon_playon_notice_red2x.png"));
    EXPECT_EQ(banner.findChild<QLabel*>("lbMsg")->text(), QString::fromUtf8("云台异常"));
    EXPECT_EQ(banner.id(), 3);
    EXPECT_EQ(banner.level(), 0);

    // The same banner reused for a dismissible message gets its button back.
    banner.setMessage(4, 1, "card full");
    EXPECT_FALSE(closeButton(banner)->isHidden());
    EXPECT_TRUE(iconStyleOf(banner).contains("icon_playon_notice_yel2x.png"));
    banner.setMessage(5, 2, "battery low");
    EXPECT_FALSE(closeButton(banner)->isHidden());
    EXPECT_TRUE(iconStyleOf(banner).contains("icon_playon_notice_white2x.png"));

    banner.setMessage(6, 3, "unknown level");
    EXPECT_TRUE(iconStyleOf(banner).isEmpty());
    EXPECT_FALSE(closeButton(banner)->isHidden());
    EXPECT_EQ(banner.text(), "unknown level");
}

TEST(ErrorBanner, ClosingHidesTheBannerButKeepsTheFault) {
    OrunAppFace* hub = OrunAppFace::instance();
    hub->clearFaults();
    FaultEntry entry;
    entry.id = 41;
    entry.level = 1;
    entry.text = "storage card almost full";
    hub->raiseFault(entry);

    QWidget overlay;
    overlay.resize(800, 600);
    overlay.show();
    ErrorInfoDlg banner(&overlay);
    banner.setMessage(entry.id, entry.level, entry.text);
    banner.show();
    closeButton(banner)->click();
    EXPECT_FALSE(banner.isVisible());
    EXPECT_TRUE(hub->hasFault(41));

    // Rebuilding the banners after another fault shows the closed one again.
    entry.id = 42;
    hub->raiseFault(entry);
    for (const FaultEntry& e : hub->faults()) {
        if (e.id == banner.id()) {
            banner.setMessage(e.id, e.level, e.text);
            banner.show();
        }
    }
    EXPECT_TRUE(banner.isVisible());
    hub->clearFaults();
}

TEST(LoadingMask, IndicatorStaysCentred) {
    VideoMaskWidget* mask = VideoMaskWidget::instance();
    EXPECT_EQ(mask, VideoMaskWidget::instance());
    mask->resize(1299, 732);
    mask->show();
    QCoreApplication::processEvents();
    EXPECT_EQ(mask->indicatorGeometry(), QRect(617, 334, 64, 64));
    mask->resize(800, 451);
    QCoreApplication::processEvents();
    EXPECT_EQ(mask->indicatorGeometry(), QRect(368, 193, 64, 64));
    // Resized while hidden, it is centred when it comes up.
    mask->hide();
    mask->resize(410, 730);
    mask->show();
    QCoreApplication::processEvents();
    EXPECT_EQ(mask->indicatorGeometry(), QRect(173, 333, 64, 64));
    // The animation was found in the resources and runs.
    auto* movie = mask->findChild<QMovie*>();
    ASSERT_NE(movie, nullptr);
    EXPECT_TRUE(movie->isValid());
    EXPECT_GT(movie->frameCount(), 1);
    EXPECT_EQ(movie->state(), QMovie::Running);
    mask->hide();
}

} // namespace
