// The settings dialog with the program's own environment, the operation
// runtime and the simulated camera.
#include "StackFixture.h"

#include "ui/settings/GeneralSettingsDlg.h"
#include "ui/settings/SettingsLogic.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QRadioButton>
#include <QToolButton>

using namespace stack;

namespace {

class StackSettings : public StackTest {
protected:
    void SetUp() override {
        StackTest::SetUp();
        hub->iLanguage = 1;
        hub->iWifiMode = 1;
        hub->bPortrait = false;
        hub->sdkInfoB1.set(SdkInfoB1{});
        hub->gimbalState.set(GimbalStateRecord{});
    }
    void TearDown() override {
        hub->iWifiMode = 1;
        Camera::instance()->linkState = 0;
        StackTest::TearDown();
    }
};

template <typename T> T* child(QWidget* dlg, const char* name) {
    T* w = dlg->findChild<T*>(QLatin1String(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
}

TEST_F(StackSettings, ResolutionTheCameraDoesNotConfirmIsRestored) {
    // The camera acknowledges at once but switches only after 8 s.
    cam->updateFaults([](camsim::Faults& f) { f.resolutionConfirmDelayMs = 8000; });
    GeneralSettingsDlg dlg;
    QObject::connect(hub, &OrunAppFace::signal_doOperationFinished, &dlg,
                     &GeneralSettingsDlg::slot_doOperationFinished);
    child<QRadioButton>(&dlg, "rb1080p")->click();
    QElapsedTimer clock;
    clock.start();
    QMetaObject::invokeMethod(&dlg, "on_tbApply_clicked");
    const qint64 elapsed = clock.elapsed();

    EXPECT_GE(elapsed, 5000);
    EXPECT_LT(elapsed, 12000);
    EXPECT_EQ(payload(SetCamera, 0x241), bytes({1}));
    EXPECT_EQ(hub->iResolution.load(), 0);
    EXPECT_EQ(dlg.changedSettings(), QList<int>{settings::kIdResolution});
    EXPECT_EQ(cam->state().resolution, 0);
    // The dialog gave up before the runtime did: let the resolution step and
    // its AI follow-up report, so that neither result reaches the next test.
    EXPECT_TRUE(signals_->waitFor("doOperationFinished", 2, 10000));
}

TEST_F(StackSettings, ConfirmedResolutionIsKept) {
    cam->updateFaults([](camsim::Faults& f) { f.resolutionConfirmDelayMs = 600; });
    GeneralSettingsDlg dlg;
    QObject::connect(hub, &OrunAppFace::signal_doOperationFinished, &dlg,
                     &GeneralSettingsDlg::slot_doOperationFinished);
    child<QRadioButton>(&dlg, "rb1080p")->click();
    QMetaObject::invokeMethod(&dlg, "on_tbApply_clicked");
    EXPECT_EQ(hub->iResolution.load(), 1);
    EXPECT_EQ(cam->state().resolution, 1);
    EXPECT_TRUE(dlg.changedSettings().isEmpty());
}

TEST_F(StackSettings, ConnectGivesUpWhenTheCameraNeverComesUp) {
    // Station mode with the supervisor off: nothing ever links.
    hub->iWifiMode = 0;
    CameraRecord record;
    record.texts[0] = QStringLiteral("127.0.0.1");
    record.texts[1] = QStringLiteral("ORUN-CAMSIM");
    hub->appendCameraRecord(record);
    Camera::instance()->linkState = 0;
    GeneralSettingsDlg dlg;
    auto* connect = child<QToolButton>(&dlg, "tbConnect");
    ASSERT_EQ(child<QComboBox>(&dlg, "cbOnlineCamera")->count(), 1);
    QElapsedTimer clock;
    clock.start();
    connect->click();
    const qint64 elapsed = clock.elapsed();
    EXPECT_GE(elapsed, 4999);
    EXPECT_LT(elapsed, 9000);
    EXPECT_EQ(hub->selectedCamera.get().texts[0], QStringLiteral("127.0.0.1"));
    EXPECT_EQ(Camera::instance()->linkState.load(), 1);
}

} // namespace
