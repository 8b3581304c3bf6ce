#include "UiTestSupport.h"
#include "app/BurstCountdown.h"

#include "ui/CountDownDlg.h"
#include "ui/PohtoModeSettingDlg.h"
#include "ui/VideoMaskWidget.h"
#include "ui/VideoStatisticalTimeDlg.h"

#include <QAbstractEventDispatcher>
#include <QMovie>
#include <QSignalSpy>
#include <QToolButton>

#include <gtest/gtest.h>

namespace {

class PhotoModeSelectorTest : public ::testing::Test {
protected:
    void SetUp() override {
        hub = OrunAppFace::instance();
        hub->iOperating = 0;
        hub->uiActive = true;
        selector = PohtoModeSettingDlg::instance();
        // The main window makes this connection in the program.
        connection = QObject::connect(hub, &OrunAppFace::signal_doOperationFinished, selector,
                                      &PohtoModeSettingDlg::slot_doOperationFinished);
        setValues(0, 0, 0, 0);
        selector->slot_showModeSettingUIStyle();
    }
    void TearDown() override {
        QObject::disconnect(connection);
        hub->uiActive = true;
        hub->iOperating = 0;
    }
    void setValues(int work, int sub, int mode, int param) {
        hub->iWorkMode = work;
        hub->iWorkSubMode = sub;
        hub->iPhotoMode = mode;
        hub->iPhotoParam = param;
    }
    void click(const char* button) { selector->findChild<QToolButton*>(button)->click(); }
    QString style(const char* button) {
        return selector->findChild<QToolButton*>(button)->styleSheet();
    }

    OrunAppFace* hub = nullptr;
    PohtoModeSettingDlg* selector = nullptr;
    QMetaObject::Connection connection;
};

TEST_F(PhotoModeSelectorTest, BurstClickedThreeTimesFromSingleShot) {
    FakeRuntime runtime;
    click("tbBurstPhoto");
    EXPECT_EQ(hub->iPhotoMode.load(), 1);
    EXPECT_EQ(hub->iWorkSubMode.load(), 1);
    EXPECT_EQ(hub->iPhotoParam.load(), 0);
    EXPECT_TRUE(style("tbBurstPhoto").contains("mode_burst_p2x_1s.png"));
    EXPECT_TRUE(style("tbSinglePhoto").contains("mode_single_n2x.png"));
    click("tbBurstPhoto");
    EXPECT_EQ(hub->iPhotoParam.load(), 1);
    EXPECT_TRUE(style("tbBurstPhoto").contains("mode_burst_p2x_3s.png"));
    click("tbBurstPhoto");
    EXPECT_EQ(hub->iPhotoParam.load(), 2);
    EXPECT_TRUE(style("tbBurstPhoto").contains("mode_burst_p2x_5s.png"));
    // Only the first click changes the work mode; the others set the interval.
    EXPECT_EQ(runtime.codes, (QList<int>{4, 5, 5}));
    EXPECT_EQ(hub->iWho.load(), 1);
    EXPECT_TRUE(VideoMaskWidget::instance()->isHidden());
}

TEST_F(PhotoModeSelectorTest, MultiShotStepsAndWrapsItsInterval) {
    FakeRuntime runtime;
    setValues(0, 1, 1, 3);
    click("tbMultiPhoto"); // from burst: mode change, interval sent as stored
    click("tbMultiPhoto");
    click("tbMultiPhoto");
    click("tbMultiPhoto");
    EXPECT_EQ(runtime.codes, (QList<int>{4, 6, 6, 6, 6}));
    // 3 (kept from burst) steps to 1, 2, then wraps to 0.
    EXPECT_EQ(hub->iPhotoParam.load(), 0);
    EXPECT_TRUE(style("tbMultiPhoto").contains("mode_multi_p2x_3.png"));
    // Single shot from multi-shot changes the mode and resets the parameter.
    click("tbSinglePhoto");
    EXPECT_EQ(runtime.codes.last(), 4);
    EXPECT_EQ(hub->iWorkSubMode.load(), 0);
    EXPECT_TRUE(style("tbSinglePhoto").contains("mode_single_p2x.png"));
    // Single shot again needs no request at all.
    const int before = runtime.codes.size();
    click("tbSinglePhoto");
    EXPECT_EQ(runtime.codes.size(), before);
}

TEST_F(PhotoModeSelectorTest, FailedIntervalRestoresIconAndParameter) {
    FakeRuntime runtime;
    runtime.results[5] = 7;
    setValues(0, 1, 1, 1);
    selector->slot_showModeSettingUIStyle();
    QSignalSpy restyle(hub, &OrunAppFace::signal_showPhotoModeSettingBtnStyle);
    click("tbBurstPhoto");
    EXPECT_EQ(runtime.codes, (QList<int>{5}));
    EXPECT_EQ(hub->iPhotoParam.load(), 1);
    EXPECT_EQ(hub->iPhotoMode.load(), 1);
    EXPECT_TRUE(style("tbBurstPhoto").contains("mode_burst_p2x_3s.png"));
    // The overlay's photo-mode button is told to show the restored mode.
    EXPECT_GE(restyle.count(), 1);
}

TEST_F(PhotoModeSelectorTest, FailedModeChangeSendsNoIntervalAndRestoresAll) {
    FakeRuntime runtime;
    runtime.results[4] = 118;
    setValues(1, 0, 2, 1);
    click("tbMultiPhoto");
    EXPECT_EQ(runtime.codes, (QList<int>{4}));
    EXPECT_EQ(hub->iWorkMode.load(), 1);
    EXPECT_EQ(hub->iWorkSubMode.load(), 0);
    EXPECT_EQ(hub->iPhotoMode.load(), 2);
    EXPECT_EQ(hub->iPhotoParam.load(), 1);
}

TEST_F(PhotoModeSelectorTest, ClosingApplicationEndsTheWaitAsAFailure) {
    hub->uiActive = false;
    setValues(0, 1, 1, 2);
    click("tbSinglePhoto"); // nobody answers; the wait gives up at once
    EXPECT_EQ(hub->iWorkSubMode.load(), 1);
    EXPECT_EQ(hub->iPhotoMode.load(), 1);
    EXPECT_EQ(hub->iPhotoParam.load(), 2);
    EXPECT_TRUE(VideoMaskWidget::instance()->isHidden());
}

TEST_F(PhotoModeSelectorTest, UnansweredRequestTimesOut) {
    FakeRuntime runtime;
    runtime.ignored[4] = true;
    setValues(0, 0, 0, 0);
    QElapsedTimer t;
    t.start();
    click("tbBurstPhoto");
    EXPECT_LT(t.elapsed(), 3000);
    EXPECT_EQ(hub->iPhotoMode.load(), 0);
    EXPECT_TRUE(style("tbSinglePhoto").contains("mode_single_p2x.png"));
}

TEST_F(PhotoModeSelectorTest, ResultsOfOtherRequestersAreIgnored) {
    selector->slot_doOperationFinished(0, 0);
    selector->slot_doOperationFinished(2, 0);
    FakeRuntime runtime;
    runtime.ignored[4] = true;
    // A stray result for another requester must not end the wait as success.
    QTimer::singleShot(50, [&] { emit hub->signal_doOperationFinished(2, 0); });
    click("tbBurstPhoto");
    EXPECT_EQ(hub->iPhotoMode.load(), 0);
}

TEST(PhotoModeIcons, SelectedModeAndIntervalPickTheIcons) {
    using D = PohtoModeSettingDlg;
    EXPECT_EQ(D::iconNames(0, 3),
              (QStringList{"mode_single_p2x.png", "mode_multi_n2x.png", "mode_burst_n2x.png"}));
    EXPECT_EQ(D::iconNames(2, 0)[1], "mode_multi_p2x_3.png");
    EXPECT_EQ(D::iconNames(2, 1)[1], "mode_multi_p2x_5.png");
    EXPECT_EQ(D::iconNames(2, 2)[1], "mode_multi_p2x_7.png");
    EXPECT_EQ(D::iconNames(2, 3)[1], "mode_multi_n2x.png");
    EXPECT_EQ(D::iconNames(1, 3)[2], "mode_burst_p2x_10s.png");
    // Any other photo mode counts as burst.
    EXPECT_EQ(D::iconNames(9, 0),
              (QStringList{"mode_single_n2x.png", "mode_multi_n2x.png", "mode_burst_p2x_1s.png"}));
}

class CountDownTest : public ::testing::Test {
protected:
    void SetUp() override {
        dlg = CountDownDlg::instance();
        // An overlay of an earlier test may still hold it.
        dlg->setParent(nullptr);
    }
    void TearDown() override { dlg->stopCount(); }
    // Shows the start value, then n ticks.
    QStringList run(int n) {
        QStringList shown{dlg->shownText()};
        for (int i = 0; i < n; ++i) {
            dlg->tick();
            shown << dlg->shownText();
        }
        return shown;
    }
    CountDownDlg* dlg = nullptr;
};

TEST_F(CountDownTest, DefaultStartCountsFromOneThenRepeatsTheInterval) {
    OrunAppFace::instance()->iPhotoParam = 1;
    dlg->slot_startCountDown();
    EXPECT_TRUE(dlg->isCounting());
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_EQ(dlg->interval(), 3);
    EXPECT_EQ(run(7), (QStringList{"1", "3", "2", "1", "3", "2", "1", "3"}));
}

TEST_F(CountDownTest, OneSecondBurstAlternatesOneAndZero) {
    OrunAppFace::instance()->iPhotoParam = 0;
    dlg->slot_startCountDown();
    EXPECT_EQ(run(4), (QStringList{"0", "1", "0", "1", "0"}));
}

TEST_F(CountDownTest, StartValuesFromTheCamera) {
    OrunAppFace* hub = OrunAppFace::instance();
    hub->iPhotoParam = 2;
    // A start value of 1 without a beginning starts at 0, then the interval.
    dlg->slot_startBurstCount(1, false);
    EXPECT_EQ(run(2), (QStringList{"0", "5", "4"}));
    hub->iPhotoParam = 3;
    dlg->startCount(4, false);
    EXPECT_EQ(run(5), (QStringList{"4", "3", "2", "1", "10", "9"}));
    // The hub's signal reaches the slot.
    QObject::connect(hub, &OrunAppFace::signal_startBurstCount, dlg,
                     &CountDownDlg::slot_startBurstCount, Qt::UniqueConnection);
    emit hub->signal_startBurstCount(7, false);
    EXPECT_EQ(dlg->shownText(), "7");
    dlg->slot_stopCountDown();
    EXPECT_FALSE(dlg->isCounting());
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_EQ(dlg->interval(), 0);
    EXPECT_EQ(dlg->remaining(), 0);
}

TEST(CountDownIntervals, BurstParameterTable) {
    EXPECT_EQ(burstIntervalSeconds(0), 1);
    EXPECT_EQ(burstIntervalSeconds(1), 3);
    EXPECT_EQ(burstIntervalSeconds(2), 5);
    EXPECT_EQ(burstIntervalSeconds(3), 10);
    EXPECT_EQ(burstIntervalSeconds(4), 0);
    EXPECT_EQ(burstIntervalSeconds(-1), 0);
}

TEST(RecordingTime, FormatsHoursMinutesAndSeconds) {
    using D = VideoStatisticalTimeDlg;
    EXPECT_EQ(D::formatTime(0), "00:00:00");
    EXPECT_EQ(D::formatTime(59), "00:00:59");
    EXPECT_EQ(D::formatTime(3599), "00:59:59");
    EXPECT_EQ(D::formatTime(3725), "01:02:05");
    EXPECT_EQ(D::formatTime(360000), "100:00:00");
    EXPECT_EQ(D::formatTime(int64_t(1) << 40), "305419896:36:16");
}

TEST(RecordingTime, StartShowsAndCountsStopHides) {
    VideoStatisticalTimeDlg* dlg = VideoStatisticalTimeDlg::instance();
    dlg->setParent(nullptr);
    // Not recording: no timer of its own runs (the dot blinks only while
    // the time counts).
    QAbstractEventDispatcher* events = QAbstractEventDispatcher::instance();
    EXPECT_TRUE(events->registeredTimers(dlg).isEmpty());
    EXPECT_EQ(dlg->size(), QSize(160, 40));
    dlg->slot_startCountVideoTime(3725);
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_TRUE(dlg->isCounting());
    EXPECT_EQ(dlg->shownText(), "01:02:05");
    ASSERT_TRUE(pumpUntil([&] { return dlg->seconds() >= 3726; }, 3000));
    EXPECT_EQ(dlg->shownText(), "01:02:06");
    dlg->slot_stopVideoStatisticalTime();
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_FALSE(dlg->isCounting());
    EXPECT_EQ(dlg->seconds(), 0);
    EXPECT_TRUE(events->registeredTimers(dlg).isEmpty());
    dlg->slot_startVideoStatisticalTime();
    EXPECT_EQ(dlg->shownText(), "00:00:00");
    dlg->stopTime();
    EXPECT_TRUE(events->registeredTimers(dlg).isEmpty());
}

TEST(LoadingMask, AnimationRunsOnlyWhileShown) {
    VideoMaskWidget* mask = VideoMaskWidget::instance();
    QMovie* movie = mask->findChild<QMovie*>();
    ASSERT_NE(movie, nullptr);
    mask->hide();
    EXPECT_EQ(movie->state(), QMovie::NotRunning);
    mask->show();
    EXPECT_EQ(movie->state(), QMovie::Running);
    mask->hide();
    EXPECT_EQ(movie->state(), QMovie::NotRunning);
}

} // namespace
