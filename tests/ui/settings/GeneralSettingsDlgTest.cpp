#include "ui/settings/GeneralSettingsDlg.h"
#include "app/CaptureSettings.h"
#include "app/Configuration.h"
#include "app/ControlSettings.h"
#include "app/GamepadControl.h"
#include "app/ViscaControl.h"
#include "tests/ui/overlay/UiTestKit.h"
#include "tests/ui/settings/FakeSettingsEnvironment.h"
#include "ui/settings/SettingsEnvironment.h"
#include "ui/settings/SettingsLogic.h"
#include "ui/settings/WifiStationDlg.h"
#include "video/webcam/VirtualCamera.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QMovie>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStandardItemModel>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

namespace {

// Hub state of a camera in photo mode: 720p, not mirrored, landscape, 16:9,
// buttons shown, English, hotspot mode.
void resetHub() {
    OrunAppFace* hub = OrunAppFace::instance();
    hub->iOperating.store(0);
    hub->iResolution.store(0);
    hub->sdkInfoB1.set(SdkInfoB1{});
    hub->gimbalState.set(GimbalStateRecord{});
    hub->bPortrait.store(false);
    hub->bCtrlBtnVisible.store(true);
    hub->iLanguage.store(1);
    hub->iScreenLayout.store(0);
    hub->iWorkMode.store(0);
    hub->iWifiMode.store(1);
    hub->uiActive.store(true);
    hub->clearCameraRecords();
    hub->selectedCamera.set(CameraRecord{});
}

template <typename T> T* child(QWidget* dlg, const char* name) {
    T* w = dlg->findChild<T*>(QLatin1String(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
}

QToolButton* applyButton(QWidget* dlg) {
    return child<QToolButton>(dlg, "tbApply");
}

void pressApply(GeneralSettingsDlg& dlg) {
    // Called directly so that a disabled button does not hide a missing check.
    QMetaObject::invokeMethod(&dlg, "on_tbApply_clicked");
}

struct SettingsFixture : ::testing::Test {
    void SetUp() override { resetHub(); }
    FakeEnvironment env;
    RuntimeDouble runtime;
};

// Makes `base` the program's folder, with both translations in it, so that
// loadLanguage() finds them.
void useBaseWithTranslations(const QTemporaryDir& base) {
    setApplicationBaseDir(base.path());
    QDir().mkpath(base.path() + "/language");
    for (const char* name : {"orunapp_zh_cn.qm", "orunapp_en_cn.qm"})
        QFile::copy(QDir::current().filePath(QString("language/") + name),
                    base.path() + "/language/" + name);
}

// Opens the page of `button` in English and in Chinese, after `prepare`, and
// saves each as NAME_en.png and NAME_zh.png among the test artifacts, for a
// look; English is loaded again afterwards.
void savePageInBothLanguages(
    FakeEnvironment& env, const char* button, const QString& name,
    const std::function<void(GeneralSettingsDlg&)>& prepare = [](GeneralSettingsDlg&) {}) {
    const QString artifacts = qEnvironmentVariable("ORUN_TEST_ARTIFACTS");
    for (int language : {1, 0}) {
        loadLanguage(language);
        GeneralSettingsDlg shown(env);
        child<QToolButton>(&shown, button)->click();
        prepare(shown);
        if (!artifacts.isEmpty() && QDir().mkpath(artifacts))
            shown.grab().save(artifacts + "/" + name + (language == 1 ? "_en.png" : "_zh.png"));
    }
    loadLanguage(1);
}

} // namespace

TEST_F(SettingsFixture, ApplyWithoutChangesDoesNothing) {
    GeneralSettingsDlg dlg(env);
    QObject::connect(OrunAppFace::instance(), &OrunAppFace::signal_doOperationFinished, &dlg,
                     &GeneralSettingsDlg::slot_doOperationFinished);
    EXPECT_FALSE(applyButton(&dlg)->isEnabled());
    EXPECT_TRUE(child<QRadioButton>(&dlg, "rb720p")->isChecked());
    EXPECT_TRUE(child<QRadioButton>(&dlg, "rbNotMirror")->isChecked());
    EXPECT_TRUE(child<QRadioButton>(&dlg, "rbPohto16V9")->isChecked());
    EXPECT_EQ(child<QComboBox>(&dlg, "cbLanguage")->currentIndex(), 1);
    const QString artifacts = qEnvironmentVariable("ORUN_TEST_ARTIFACTS");
    if (!artifacts.isEmpty() && QDir().mkpath(artifacts))
        dlg.grab().save(artifacts + QStringLiteral("/general_settings.png"));

    pressApply(dlg);
    spin(100);
    EXPECT_TRUE(runtime.seen.empty());
    EXPECT_TRUE(env.calls.isEmpty()) << env.calls.join(", ").toStdString();
    EXPECT_FALSE(applyButton(&dlg)->isEnabled());
}

TEST_F(SettingsFixture, ChangingAndRevertingAChoiceLeavesNothingToApply) {
    GeneralSettingsDlg dlg(env);
    child<QRadioButton>(&dlg, "rb1080p")->click();
    EXPECT_EQ(dlg.changedSettings(), QList<int>{settings::kIdResolution});
    EXPECT_TRUE(applyButton(&dlg)->isEnabled());

    child<QRadioButton>(&dlg, "rbMirror")->click();
    EXPECT_EQ(dlg.changedSettings(), (QList<int>{settings::kIdResolution, settings::kIdMirror}));

    child<QRadioButton>(&dlg, "rb720p")->click();
    child<QRadioButton>(&dlg, "rbNotMirror")->click();
    EXPECT_TRUE(dlg.changedSettings().isEmpty());
    EXPECT_FALSE(applyButton(&dlg)->isEnabled());
}

TEST_F(SettingsFixture, ResolutionChangeRunsBetweenDecoderPauseAndResume) {
    GeneralSettingsDlg dlg(env);
    QObject::connect(OrunAppFace::instance(), &OrunAppFace::signal_doOperationFinished, &dlg,
                     &GeneralSettingsDlg::slot_doOperationFinished);
    child<QRadioButton>(&dlg, "rb1080p")->click();
    pressApply(dlg);

    ASSERT_EQ(runtime.codes(), std::vector<int>{12});
    EXPECT_EQ(runtime.seen[0].who, 2);
    EXPECT_EQ(runtime.seen[0].resolution, 1);
    EXPECT_EQ(env.calls, (QStringList{"pause", "mask", "unmask", "resume"}));
    EXPECT_EQ(OrunAppFace::instance()->iResolution.load(), 1);
    EXPECT_TRUE(dlg.changedSettings().isEmpty());
    EXPECT_FALSE(applyButton(&dlg)->isEnabled());
}

TEST_F(SettingsFixture, SecondReportOfResolutionIsNotTakenForTheNextStep) {
    // The resolution operation reports twice; its late second report (a
    // failure here) must not be read as the result of the mirror step.
    runtime.answerDelayMs = 20;
    runtime.secondAnswer = [](const SeenRequest&) { return 55; };
    GeneralSettingsDlg dlg(env);
    QObject::connect(OrunAppFace::instance(), &OrunAppFace::signal_doOperationFinished, &dlg,
                     &GeneralSettingsDlg::slot_doOperationFinished);
    child<QRadioButton>(&dlg, "rb1080p")->click();
    child<QRadioButton>(&dlg, "rbMirror")->click();
    pressApply(dlg);

    EXPECT_EQ(runtime.codes(), (std::vector<int>{12, 14}));
    EXPECT_EQ(OrunAppFace::instance()->iMirror.load(), 1);
    EXPECT_TRUE(dlg.changedSettings().isEmpty());
}

TEST_F(SettingsFixture, UnconfirmedResolutionIsRestoredAfterFiveSeconds) {
    runtime.answer = [](const SeenRequest&) { return std::nullopt; };
    runtime.secondAnswer = runtime.answer;
    GeneralSettingsDlg dlg(env);
    QObject::connect(OrunAppFace::instance(), &OrunAppFace::signal_doOperationFinished, &dlg,
                     &GeneralSettingsDlg::slot_doOperationFinished);
    child<QRadioButton>(&dlg, "rb1080p")->click();
    QElapsedTimer clock;
    clock.start();
    pressApply(dlg);
    const qint64 elapsed = clock.elapsed();

    EXPECT_GE(elapsed, 5000);
    EXPECT_LT(elapsed, 8000);
    EXPECT_EQ(OrunAppFace::instance()->iResolution.load(), 0);
    EXPECT_EQ(env.calls.last(), QStringLiteral("resume"));
    // Still listed and applicable again.
    EXPECT_EQ(dlg.changedSettings(), QList<int>{settings::kIdResolution});
    EXPECT_TRUE(applyButton(&dlg)->isEnabled());
}

TEST_F(SettingsFixture, RefusedMirrorPutsTheCurrentValueBack) {
    runtime.answer = [](const SeenRequest&) { return 118; };
    OrunAppFace::instance()->iMirror.store(0);
    GeneralSettingsDlg dlg(env);
    QObject::connect(OrunAppFace::instance(), &OrunAppFace::signal_doOperationFinished, &dlg,
                     &GeneralSettingsDlg::slot_doOperationFinished);
    child<QRadioButton>(&dlg, "rbMirror")->click();
    pressApply(dlg);
    ASSERT_EQ(runtime.codes(), std::vector<int>{14});
    EXPECT_EQ(runtime.seen[0].mirror, 1);
    EXPECT_EQ(OrunAppFace::instance()->iMirror.load(), 0);
    EXPECT_TRUE(applyButton(&dlg)->isEnabled());
}

TEST_F(SettingsFixture, PhotoRatioAppliesThenRefreshesTheLayoutAndRestartsTheMediaClient) {
    GeneralSettingsDlg dlg(env);
    QObject::connect(OrunAppFace::instance(), &OrunAppFace::signal_doOperationFinished, &dlg,
                     &GeneralSettingsDlg::slot_doOperationFinished);
    OrunAppFace* hub = OrunAppFace::instance();
    QObject probe;
    QObject::connect(hub, &OrunAppFace::signal_syncScreenSize, &probe,
                     [&] { env.calls << "layout"; });
    QObject::connect(hub, &OrunAppFace::signal_resetVideoKcpClient, &probe,
                     [&] { env.calls << "reset"; });

    child<QRadioButton>(&dlg, "rbPohto1V1")->click();
    EXPECT_EQ(dlg.changedSettings(), QList<int>{settings::kIdPhotoRatio});
    pressApply(dlg);

    // Photo mode: the layout is read back from the camera (operation 16).
    EXPECT_EQ(runtime.codes(), (std::vector<int>{17, 16}));
    EXPECT_EQ(runtime.seen[0].photoRatio, 2);
    const int layout = env.calls.indexOf("layout");
    ASSERT_GE(layout, 0);
    EXPECT_EQ(env.calls.mid(layout), (QStringList{"layout", "stop", "reset", "kick"}));
}

TEST_F(SettingsFixture, OrientationInVideoModeSetsTheLayoutLocally) {
    OrunAppFace* hub = OrunAppFace::instance();
    hub->iWorkMode.store(1);
    hub->bPortrait.store(false);
    hub->iScreenLayout.store(3);
    GeneralSettingsDlg dlg(env);
    QObject::connect(hub, &OrunAppFace::signal_doOperationFinished, &dlg,
                     &GeneralSettingsDlg::slot_doOperationFinished);
    EXPECT_FALSE(child<QToolButton>(&dlg, "tbPohtoSetting")->isEnabled());
    child<QRadioButton>(&dlg, "rbVScreenSetting")->click();
    pressApply(dlg);
    ASSERT_EQ(runtime.codes(), std::vector<int>{15});
    EXPECT_EQ(runtime.seen[0].gimbalSetItem, 1);
    EXPECT_EQ(runtime.seen[0].gimbalSetValue, 1);
    EXPECT_EQ(hub->iScreenLayout.load(), 0);
}

TEST_F(SettingsFixture, LocalSettingsNeedNoOperation) {
    ModalAnswerer answers;
    GeneralSettingsDlg dlg(env);
    OrunAppFace* hub = OrunAppFace::instance();
    QSignalSpy buttons(hub, &OrunAppFace::signal_videoBtnCtrlVisable);
    child<QRadioButton>(&dlg, "rbVideoCtrlBtnSettingHide")->click();
    child<QComboBox>(&dlg, "cbLanguage")->setCurrentIndex(0);
    EXPECT_EQ(dlg.changedSettings(), (QList<int>{settings::kIdCtrlButtons, settings::kIdLanguage}));
    pressApply(dlg);

    EXPECT_TRUE(runtime.seen.empty());
    EXPECT_FALSE(hub->bCtrlBtnVisible.load());
    EXPECT_EQ(buttons.count(), 1);
    EXPECT_EQ(hub->iLanguage.load(), 0);
    EXPECT_EQ(env.config.value("language").toInt(), 0);
    EXPECT_EQ(answers.texts, QStringList{QStringLiteral("重启软件生效")});
}

TEST_F(SettingsFixture, DecoderChoiceIsKeptAndUsedAtOnceButARunsOwnChoiceIsNotWritten) {
    OrunAppFace* hub = OrunAppFace::instance();
    hub->iDecodeMode.store(0);
    {
        GeneralSettingsDlg dlg(env);
        EXPECT_TRUE(child<QRadioButton>(&dlg, "rbHwDecode")->isChecked());
        child<QRadioButton>(&dlg, "rbSwDecode")->click();
        EXPECT_EQ(dlg.changedSettings(), QList<int>{settings::kIdDecodeMode});
        pressApply(dlg);
        EXPECT_TRUE(runtime.seen.empty());
        EXPECT_EQ(env.config.value("decodeMode").toInt(), 1);
        EXPECT_EQ(hub->iDecodeMode.load(), 1);
        // The decoder is rebuilt for the new choice.
        EXPECT_EQ(env.calls, (QStringList{"write decodeMode", "rebuild"}));
        EXPECT_TRUE(dlg.changedSettings().isEmpty());
    }
    // Software decoding for this run only (the command line) over hardware
    // decoding in the file: the dialog shows what runs, and applying another
    // setting leaves the file's choice alone.
    env.config["decodeMode"] = 0;
    env.calls.clear();
    GeneralSettingsDlg dlg(env);
    EXPECT_TRUE(child<QRadioButton>(&dlg, "rbSwDecode")->isChecked());
    child<QRadioButton>(&dlg, "rbVideoCtrlBtnSettingHide")->click();
    pressApply(dlg);
    EXPECT_EQ(env.config.value("decodeMode").toInt(), 0);
    EXPECT_FALSE(env.calls.contains("write decodeMode")) << env.calls.join(", ").toStdString();
    EXPECT_EQ(hub->iDecodeMode.load(), 1);
    hub->bCtrlBtnVisible.store(true);
    hub->iDecodeMode.store(0);
}

TEST_F(SettingsFixture, AutoConnectIsOnByDefaultShownInStationModeAndKept) {
    OrunAppFace* hub = OrunAppFace::instance();
    {
        GeneralSettingsDlg dlg(env);
        EXPECT_TRUE(child<QCheckBox>(&dlg, "cbAutoConnect")->isChecked());
        EXPECT_TRUE(child<QCheckBox>(&dlg, "cbAutoConnect")->isHidden()) << "hotspot mode";
    }
    hub->iWifiMode.store(0);
    GeneralSettingsDlg dlg(env);
    auto* box = child<QCheckBox>(&dlg, "cbAutoConnect");
    EXPECT_FALSE(box->isHidden());
    EXPECT_FALSE(box->toolTip().isEmpty());
    box->click();
    EXPECT_TRUE(dlg.changedSettings().contains(settings::kIdAutoConnect));
    EXPECT_TRUE(applyButton(&dlg)->isEnabled());
    pressApply(dlg);
    EXPECT_TRUE(runtime.seen.empty());
    EXPECT_EQ(env.config.value("autoConnect"), QVariant(false));
    EXPECT_FALSE(dlg.changedSettings().contains(settings::kIdAutoConnect));
    GeneralSettingsDlg reopened(env);
    EXPECT_FALSE(child<QCheckBox>(&reopened, "cbAutoConnect")->isChecked());

    // The Wi-Fi page in both languages, for a look.
    const QString artifacts = qEnvironmentVariable("ORUN_TEST_ARTIFACTS");
    if (artifacts.isEmpty() || !QDir().mkpath(artifacts))
        return;
    QTemporaryDir base;
    useBaseWithTranslations(base);
    env.config.remove("autoConnect");
    savePageInBothLanguages(env, "tbConnectMode", "settings_wifi");
    setApplicationBaseDir(QString());
}

// --- Wi-Fi mode -------------------------------------------------------------------

TEST_F(SettingsFixture, CancelledHotspotQuestionSendsNothing) {
    OrunAppFace::instance()->iWifiMode.store(0);
    ModalAnswerer answers;
    answers.buttons = {QMessageBox::Cancel};
    GeneralSettingsDlg dlg(env);
    child<QRadioButton>(&dlg, "rbHotMode")->click();

    EXPECT_EQ(answers.titles, QStringList{QStringLiteral("是否设置为热点模式")});
    EXPECT_TRUE(child<QRadioButton>(&dlg, "rbStationMode")->isChecked());
    EXPECT_TRUE(runtime.seen.empty());
    EXPECT_TRUE(env.calls.isEmpty()) << env.calls.join(", ").toStdString();
    EXPECT_TRUE(env.connected);
    EXPECT_EQ(OrunAppFace::instance()->iWifiMode.load(), 0);
}

TEST_F(SettingsFixture, HotspotWhileDisconnectedOnlyStoresTheMode) {
    OrunAppFace::instance()->iWifiMode.store(0);
    env.connected = false;
    ModalAnswerer answers;
    GeneralSettingsDlg dlg(env);
    dlg.show();
    child<QRadioButton>(&dlg, "rbHotMode")->click();

    EXPECT_TRUE(runtime.seen.empty());
    EXPECT_EQ(env.config.value("wifiMode").toInt(), 1);
    EXPECT_EQ(OrunAppFace::instance()->iWifiMode.load(), 1);
    ASSERT_EQ(answers.texts.size(), 2);
    EXPECT_EQ(answers.texts[1], QStringLiteral("相机未连接,设置为热点模式成功"));
    EXPECT_TRUE(child<QRadioButton>(&dlg, "rbHotMode")->isChecked());
    EXPECT_FALSE(child<QComboBox>(&dlg, "cbOnlineCamera")->isVisible());
    EXPECT_FALSE(child<QToolButton>(&dlg, "tbConnect")->isVisible());
    EXPECT_FALSE(child<QLabel>(&dlg, "lbLoading")->isVisible());
    // The hidden loading animation does not run.
    ASSERT_NE(child<QLabel>(&dlg, "lbLoading")->movie(), nullptr);
    EXPECT_EQ(child<QLabel>(&dlg, "lbLoading")->movie()->state(), QMovie::NotRunning);
}

TEST_F(SettingsFixture, HotspotRequestSuccessAndFailure) {
    OrunAppFace* hub = OrunAppFace::instance();
    {
        hub->iWifiMode.store(0);
        ModalAnswerer answers;
        GeneralSettingsDlg dlg(env);
        QObject::connect(hub, &OrunAppFace::signal_doOperationFinished, &dlg,
                         &GeneralSettingsDlg::slot_doOperationFinished);
        child<QRadioButton>(&dlg, "rbHotMode")->click();
        ASSERT_EQ(runtime.codes(), std::vector<int>{20});
        EXPECT_EQ(runtime.seen[0].wifi[0], 1);
        EXPECT_EQ(runtime.seen[0].wifi[1], 0);
        EXPECT_EQ(hub->iWifiMode.load(), 1);
        EXPECT_EQ(env.config.value("wifiMode").toInt(), 1);
        EXPECT_FALSE(env.connected); // discovery restarts in the new mode
    }
    {
        resetHub();
        hub->iWifiMode.store(0);
        env.connected = true;
        env.config.clear();
        runtime.answer = [](const SeenRequest&) { return 118; };
        ModalAnswerer answers;
        GeneralSettingsDlg dlg(env);
        QObject::connect(hub, &OrunAppFace::signal_doOperationFinished, &dlg,
                         &GeneralSettingsDlg::slot_doOperationFinished);
        child<QRadioButton>(&dlg, "rbHotMode")->click();
        EXPECT_EQ(hub->iWifiMode.load(), 0);
        EXPECT_FALSE(env.config.contains("wifiMode"));
        EXPECT_TRUE(child<QRadioButton>(&dlg, "rbStationMode")->isChecked());
        EXPECT_EQ(answers.texts.last(), QStringLiteral("设置为热点模式失败"));
        EXPECT_FALSE(env.connected);
    }
}

TEST_F(SettingsFixture, StationModeSendsTheCredentialsFromTheStationDialog) {
    OrunAppFace* hub = OrunAppFace::instance();
    ModalAnswerer answers;
    answers.onDialog = [](QWidget* w) {
        auto* station = qobject_cast<WifiStationDlg*>(w);
        ASSERT_NE(station, nullptr);
        station->findChild<QLineEdit*>("leWifiName")->setText(QStringLiteral("家里的网"));
        station->findChild<QLineEdit*>("leWifiPassw")->setText(QStringLiteral("secret-1"));
        station->findChild<QToolButton*>("tbOk")->click();
    };
    GeneralSettingsDlg dlg(env);
    QObject::connect(hub, &OrunAppFace::signal_doOperationFinished, &dlg,
                     &GeneralSettingsDlg::slot_doOperationFinished);
    child<QRadioButton>(&dlg, "rbStationMode")->click();

    ASSERT_EQ(runtime.codes(), std::vector<int>{20});
    const WifiBlock& wifi = runtime.seen[0].wifi;
    const QByteArray name = QStringLiteral("家里的网").toUtf8();
    EXPECT_EQ(wifi[0], 0);
    EXPECT_EQ(0, std::memcmp(wifi.data() + 1, name.constData(), name.size()));
    EXPECT_EQ(wifi[1 + name.size()], 0);
    EXPECT_EQ(0, std::memcmp(wifi.data() + 33, "secret-1", 8));
    EXPECT_EQ(env.config.value("wifiSsid").toString(), QStringLiteral("家里的网"));
    EXPECT_EQ(env.config.value("wifiMode").toInt(), 0);
    EXPECT_EQ(hub->iWifiMode.load(), 0);
    EXPECT_EQ(env.link, 0);
    EXPECT_FALSE(env.connected);
}

TEST_F(SettingsFixture, CancelledStationDialogStaysInHotspotMode) {
    OrunAppFace* hub = OrunAppFace::instance();
    ModalAnswerer answers;
    answers.onDialog = [](QWidget* w) { w->findChild<QToolButton*>("tbCancel")->click(); };
    GeneralSettingsDlg dlg(env);
    child<QRadioButton>(&dlg, "rbStationMode")->click();
    EXPECT_TRUE(runtime.seen.empty());
    EXPECT_EQ(hub->iWifiMode.load(), 1);
    EXPECT_EQ(env.config.value("wifiMode").toInt(), 1);
    EXPECT_TRUE(child<QRadioButton>(&dlg, "rbHotMode")->isChecked());
}

TEST_F(SettingsFixture, StationDialogRefusesTextsBeyond32Bytes) {
    OrunAppFace* hub = OrunAppFace::instance();
    env.config["wifiSsid"] = QStringLiteral("old");
    WifiStationDlg station(env);
    EXPECT_EQ(station.findChild<QLineEdit*>("leWifiName")->text(), QStringLiteral("old"));
    EXPECT_EQ(station.findChild<QLineEdit*>("leWifiPassw")->echoMode(), QLineEdit::Password);

    ModalAnswerer answers;
    station.show();
    // Eleven CJK characters: 33 bytes.
    station.findChild<QLineEdit*>("leWifiName")->setText(QString(11, QChar(0x7F51)));
    station.findChild<QToolButton*>("tbOk")->click();
    ASSERT_EQ(answers.texts.size(), 1);
    EXPECT_TRUE(answers.texts[0].contains("32"));
    EXPECT_TRUE(station.isVisible());
    EXPECT_EQ(hub->sWifiSsid.get(), QStringLiteral("old"));

    station.findChild<QLineEdit*>("leWifiName")->setText(QStringLiteral("ok"));
    station.findChild<QLineEdit*>("leWifiPassw")->setText(QString(33, QChar('p')));
    station.findChild<QToolButton*>("tbOk")->click();
    EXPECT_EQ(answers.texts.size(), 2);
    EXPECT_TRUE(station.isVisible());

    station.findChild<QLineEdit*>("leWifiPassw")->setText(QString(32, QChar('p')));
    station.findChild<QToolButton*>("tbOk")->click();
    EXPECT_EQ(station.result(), settings::kStationAccepted);
    EXPECT_EQ(hub->sWifiPasswd.get(), QString(32, QChar('p')));
}

// --- Cameras on the station network ------------------------------------------------------

namespace {
CameraRecord record(const char* address, const char* name) {
    CameraRecord r;
    r.texts[0] = QString::fromLatin1(address);
    r.texts[1] = QString::fromLatin1(name);
    return r;
}
} // namespace

TEST_F(SettingsFixture, ConnectGivesUpWhenTheCameraNeverComesUp) {
    OrunAppFace* hub = OrunAppFace::instance();
    hub->iWifiMode.store(0);
    hub->appendCameraRecord(record("127.0.0.1", "camA"));
    hub->appendCameraRecord(record("127.0.0.2", "camB"));
    env.link = 0;
    GeneralSettingsDlg dlg(env);
    auto* combo = child<QComboBox>(&dlg, "cbOnlineCamera");
    ASSERT_EQ(combo->count(), 2);
    combo->setCurrentIndex(1);
    EXPECT_TRUE(dlg.changedSettings().contains(settings::kIdOnlineCamera));
    EXPECT_TRUE(child<QToolButton>(&dlg, "tbConnect")->isEnabled());

    QElapsedTimer clock;
    clock.start();
    child<QToolButton>(&dlg, "tbConnect")->click();
    const qint64 elapsed = clock.elapsed();
    EXPECT_GE(elapsed, 4999);
    EXPECT_LT(elapsed, 8000);
    EXPECT_EQ(hub->selectedCamera.get().texts[0], QStringLiteral("127.0.0.2"));
    EXPECT_EQ(env.link, 1);
    EXPECT_EQ(env.calls, (QStringList{"mask", "link=1", "unmask"}));
}

TEST_F(SettingsFixture, ConnectReturnsOnceLinkedAndRefreshStartsANewSearch) {
    OrunAppFace* hub = OrunAppFace::instance();
    hub->iWifiMode.store(0);
    hub->appendCameraRecord(record("127.0.0.1", "camA"));
    hub->lstOnlineCamera.set(QStringList{"127.0.0.1"});
    env.link = 0;
    GeneralSettingsDlg dlg(env);
    // The supervisor links 200 ms after the request.
    QTimer::singleShot(200, [this] { env.link = 2; });
    QElapsedTimer clock;
    clock.start();
    child<QToolButton>(&dlg, "tbConnect")->click();
    EXPECT_LT(clock.elapsed(), 3000);
    EXPECT_EQ(hub->selectedCamera.get().texts[1], QStringLiteral("camA"));
    EXPECT_FALSE(dlg.changedSettings().contains(settings::kIdOnlineCamera));

    child<QToolButton>(&dlg, "tbReflush")->click();
    EXPECT_EQ(child<QComboBox>(&dlg, "cbOnlineCamera")->count(), 0);
    EXPECT_TRUE(hub->cameraRecords().isEmpty());
    EXPECT_TRUE(hub->lstOnlineCamera.get().isEmpty());
    EXPECT_EQ(env.link, 0);
}

TEST_F(SettingsFixture, WifiStatusLineNamesTheLinkAndTheMode) {
    OrunAppFace* hub = OrunAppFace::instance();
    StationInfoBlock status{};
    std::memcpy(status.data() + 3, "ZORBEX-01", 9);
    hub->wifiWorkStatus.set(status);
    GeneralSettingsDlg dlg(env);
    EXPECT_EQ(child<QLabel>(&dlg, "lbWifiMsg")->text(),
              QStringLiteral("当前连接:ZORBEX-01(热点模式)"));
    env.connected = false;
    hub->iWifiMode.store(0);
    emit hub->signal_showWifiWorkStatusInfo();
    EXPECT_EQ(child<QLabel>(&dlg, "lbWifiMsg")->text(),
              QStringLiteral("当前连接:未连接(站点模式)"));
}

// The capture page keeps its settings in the configuration file; an address
// that does not suit the output is refused with the reason on the page.
TEST_F(SettingsFixture, CapturePageSavesFoldersFormatsAndTheLiveOutput) {
    QTemporaryDir base;
    useBaseWithTranslations(base);
    savePageInBothLanguages(env, "tbCaptureSetting", "settings_capture");

    GeneralSettingsDlg dlg(env);
    child<QToolButton>(&dlg, "tbCaptureSetting")->click();
    auto* stack = child<QStackedWidget>(&dlg, "stackedWidget");
    ASSERT_EQ(stack->currentWidget()->objectName(), "wgCaptureSetting");
    auto* folder = child<QLineEdit>(&dlg, "leRecordFolder");
    EXPECT_EQ(QDir::fromNativeSeparators(folder->text()), CaptureSettings::defaultRecordFolder());
    EXPECT_FALSE(applyButton(&dlg)->isEnabled());

    folder->clear();
    QTest::keyClicks(folder, base.path() + "/rec");
    child<QRadioButton>(&dlg, "rbRecordMkv")->click();
    child<QCheckBox>(&dlg, "cbSnapshotBoxes")->click();
    EXPECT_TRUE(applyButton(&dlg)->isEnabled());
    auto* kind = child<QComboBox>(&dlg, "cbLiveKind");
    auto* address = child<QLineEdit>(&dlg, "leLiveAddress");
    kind->setCurrentIndex(1); // UDP
    EXPECT_EQ(address->text(), "127.0.0.1:1234");
    address->clear();
    QTest::keyClicks(address, "239.1.1.1:5004");
    pressApply(dlg);
    EXPECT_FALSE(applyButton(&dlg)->isEnabled());
    CaptureSettings saved = CaptureSettings::load();
    EXPECT_EQ(saved.recordFolder, base.path() + "/rec");
    EXPECT_EQ(saved.recordFormat, "mkv");
    EXPECT_TRUE(saved.snapshotBoxes);
    EXPECT_EQ(saved.liveKind, LiveSettings::Kind::UdpMpegTs);
    EXPECT_EQ(saved.liveUdp, "239.1.1.1:5004");
    EXPECT_TRUE(runtime.seen.empty()) << "nothing for the camera";

    // Switching kinds keeps each kind's address; a bad RTMP URL is refused.
    kind->setCurrentIndex(2);
    address->clear();
    child<QLineEdit>(&dlg, "leLiveSecret")->clear();
    QTest::keyClicks(address, "not a url");
    kind->setCurrentIndex(1);
    EXPECT_EQ(address->text(), "239.1.1.1:5004");
    kind->setCurrentIndex(2);
    EXPECT_EQ(address->text(), "not a url");
    pressApply(dlg);
    EXPECT_TRUE(applyButton(&dlg)->isEnabled()) << "refused, still to apply";
    EXPECT_EQ(CaptureSettings::load().liveKind, LiveSettings::Kind::UdpMpegTs);
    EXPECT_TRUE(child<QLabel>(&dlg, "lbLiveHint")->text().contains("rtmp://"));

    // The stream key and the SRT passphrase go in a field that hides them;
    // the server stays in the open.
    auto* secret = child<QLineEdit>(&dlg, "leLiveSecret");
    EXPECT_EQ(secret->echoMode(), QLineEdit::Password);
    address->clear();
    QTest::keyClicks(address, "rtmp://live.example.com/app");
    QTest::keyClicks(secret, "my-stream-key");
    pressApply(dlg);
    EXPECT_EQ(CaptureSettings::load().liveRtmp, "rtmp://live.example.com/app/my-stream-key");
    EXPECT_FALSE(child<QLabel>(&dlg, "lbLiveHint")->text().contains("my-stream-key"));
    kind->setCurrentIndex(0); // SRT
    EXPECT_TRUE(secret->isVisibleTo(&dlg));
    QTest::keyClicks(secret, "short");
    pressApply(dlg);
    EXPECT_TRUE(applyButton(&dlg)->isEnabled()) << "a passphrase of 5 characters is refused";
    QTest::keyClicks(secret, "-but-long-now");
    pressApply(dlg);
    EXPECT_EQ(CaptureSettings::load().liveSrtPassphrase, "short-but-long-now");
    EXPECT_FALSE(child<QLabel>(&dlg, "lbLiveHint")->text().contains("short-but-long-now"));
    address->setText("127.0.0.1:9710?colour=red");
    pressApply(dlg);
    EXPECT_TRUE(child<QLabel>(&dlg, "lbLiveHint")->text().contains("colour"));
    kind->setCurrentIndex(1); // UDP
    EXPECT_FALSE(secret->isVisibleTo(&dlg));
    kind->setCurrentIndex(2);
    EXPECT_EQ(address->text(), "rtmp://live.example.com/app");
    EXPECT_EQ(secret->text(), "my-stream-key");

    // The webcam: on at the start, to PipeWire; without a v4l2loopback
    // device its choice is greyed and says how to make one.
    auto* atStart = child<QCheckBox>(&dlg, "cbWebcamAtStart");
    auto* output = child<QComboBox>(&dlg, "cbWebcamOutput");
    EXPECT_EQ(output->currentText(), "PipeWire");
    if (listLoopbackDevices().empty()) {
        ASSERT_EQ(output->count(), 2);
        auto* model = qobject_cast<QStandardItemModel*>(output->model());
        ASSERT_NE(model, nullptr);
        EXPECT_FALSE(model->item(1)->isEnabled());
        EXPECT_TRUE(output->itemData(1, Qt::ToolTipRole)
                        .toString()
                        .contains("modprobe v4l2loopback exclusive_caps=1"));
    }
    atStart->click();
    kind->setCurrentIndex(1);
    pressApply(dlg);
    EXPECT_TRUE(CaptureSettings::load().webcamAtStart);
    EXPECT_TRUE(CaptureSettings::load().webcamDevice.isEmpty());
    setApplicationBaseDir(QString());
}

TEST_F(SettingsFixture, ControlPageSwitchesTheViscaServerAndRefusesBadAddresses) {
    QTemporaryDir base;
    useBaseWithTranslations(base);
    savePageInBothLanguages(
        env, "tbControlSetting", "settings_control",
        [](GeneralSettingsDlg& shown) { child<QCheckBox>(&shown, "cbVisca")->click(); });

    GeneralSettingsDlg dlg(env);
    child<QToolButton>(&dlg, "tbControlSetting")->click();
    auto* stack = child<QStackedWidget>(&dlg, "stackedWidget");
    ASSERT_EQ(stack->currentWidget()->objectName(), "wgControlSetting");
    // Off by default, on the loopback address and the usual ports.
    auto* visca = child<QCheckBox>(&dlg, "cbVisca");
    auto* address = child<QLineEdit>(&dlg, "leViscaAddress");
    EXPECT_FALSE(visca->isChecked());
    EXPECT_EQ(address->text(), "127.0.0.1");
    EXPECT_EQ(child<QSpinBox>(&dlg, "sbViscaUdpPort")->value(), 52381);
    EXPECT_EQ(child<QSpinBox>(&dlg, "sbViscaTcpPort")->value(), 5678);
    EXPECT_FALSE(applyButton(&dlg)->isEnabled());

    // Another address than the loopback one: the warning, and a bad sender refused.
    visca->click();
    address->clear();
    QTest::keyClicks(address, "0.0.0.0");
    EXPECT_TRUE(child<QLabel>(&dlg, "lbViscaHint")->text().contains("no authentication"));
    auto* allowed = child<QLineEdit>(&dlg, "leViscaAllowed");
    QTest::keyClicks(allowed, "192.168.1.20, camera-desk");
    pressApply(dlg);
    EXPECT_TRUE(applyButton(&dlg)->isEnabled()) << "refused, still to apply";
    EXPECT_FALSE(ControlSettings::load().visca);

    allowed->clear();
    QTest::keyClicks(allowed, "192.168.1.20, 192.168.1.21");
    child<QSpinBox>(&dlg, "sbViscaUdpPort")->setValue(1259);
    child<QCheckBox>(&dlg, "cbViscaTcp")->click();
    pressApply(dlg);
    EXPECT_FALSE(applyButton(&dlg)->isEnabled());
    const ControlSettings saved = ControlSettings::load();
    EXPECT_TRUE(saved.visca);
    EXPECT_EQ(saved.address, "0.0.0.0");
    EXPECT_EQ(saved.udpPort, 1259);
    EXPECT_TRUE(saved.tcp);
    EXPECT_EQ(saved.allowed, QStringList({"192.168.1.20", "192.168.1.21"}));
    EXPECT_TRUE(runtime.seen.empty()) << "nothing for the camera";
    stopViscaControl();
    setApplicationBaseDir(QString());
}

TEST_F(SettingsFixture, ControlPageSwitchesTheGameControllersWithTheirOptions) {
    QTemporaryDir base;
    useBaseWithTranslations(base);
    savePageInBothLanguages(
        env, "tbControlSetting", "settings_control_gamepad",
        [](GeneralSettingsDlg& shown) { child<QCheckBox>(&shown, "cbGamepad")->click(); });

    GeneralSettingsDlg dlg(env);
    child<QToolButton>(&dlg, "tbControlSetting")->click();
    // Off by default, and its options greyed until it is on.
    auto* gamepad = child<QCheckBox>(&dlg, "cbGamepad");
    auto* deadZone = child<QSpinBox>(&dlg, "sbGamepadDeadZone");
    auto* zoom = child<QComboBox>(&dlg, "cmbGamepadZoom");
    auto* background = child<QCheckBox>(&dlg, "cbGamepadBackground");
    EXPECT_FALSE(gamepad->isChecked());
    EXPECT_EQ(deadZone->value(), 15);
    EXPECT_EQ(deadZone->maximum(), 50);
    EXPECT_FALSE(deadZone->isEnabled());
    EXPECT_FALSE(background->isChecked());
    EXPECT_FALSE(GamepadControl::instance()->reading());

    // On, with its options: saved, and the controllers are read at once.
    gamepad->click();
    EXPECT_TRUE(deadZone->isEnabled());
    deadZone->setValue(25);
    zoom->setCurrentIndex(1);
    emit zoom->activated(1);
    child<QCheckBox>(&dlg, "cbGamepadInvert")->click();
    EXPECT_TRUE(applyButton(&dlg)->isEnabled());
    pressApply(dlg);
    EXPECT_FALSE(applyButton(&dlg)->isEnabled());
    ControlSettings saved = ControlSettings::load();
    EXPECT_TRUE(saved.gamepad);
    EXPECT_EQ(saved.gamepadDeadZonePercent, 25);
    EXPECT_TRUE(saved.gamepadZoomByTriggers);
    EXPECT_TRUE(saved.gamepadInvertVertical);
    EXPECT_FALSE(saved.gamepadBackground);
    EXPECT_TRUE(GamepadControl::instance()->reading());
    EXPECT_TRUE(child<QLabel>(&dlg, "lbGamepadState")->text().contains("No game controller"));

    // Off again: nothing is read any more.
    gamepad->click();
    pressApply(dlg);
    EXPECT_FALSE(ControlSettings::load().gamepad);
    EXPECT_FALSE(GamepadControl::instance()->reading());
    EXPECT_TRUE(runtime.seen.empty()) << "nothing for the camera";
    setApplicationBaseDir(QString());
}
