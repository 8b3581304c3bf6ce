#include "ui/settings/GeneralSettingsDlg.h"

#include "hub/OrunAppFace.h"
#include "ui/KeyMap.h"
#include "ui/MovieWhileShown.h"
#include "ui/settings/CaptureSettingsPage.h"
#include "ui/settings/ControlSettingsPage.h"
#include "ui/settings/PumpWait.h"
#include "ui/settings/SettingsEnvironment.h"
#include "ui/settings/SettingsLogic.h"
#include "ui/settings/WifiStationDlg.h"
#include "ui_GeneralSettingsDlg.h"

#include <QDebug>
#include <QMessageBox>
#include <QMouseEvent>
#include <QMovie>

using namespace settings;

namespace {

const char* const kMenuOn = "border-image: url(:/icon/SettingBg2.bmp);color: rgb(255, 255, 255);";
const char* const kMenuOff = "border-image: url(:/icon/SettingBg1.bmp);color: rgb(190, 190, 190);";
const char* const kMenuDisabled =
    "border-image: url(:/icon/SettingBg1.bmp);color: rgb(100, 100, 100);";
const char* const kApplyDisabled =
    "color: rgb(150, 150, 150);border-image: url(:/icon/SettingNGBtn1.bmp);";
const char* const kApplyEnabled =
    "QToolButton{border-image: url(:/icon/SettingOKBtn1.bmp);color: rgb(255, 255, "
    "255);}QToolButton:hover{border-image: url(:/icon/SettingOKBtn2.png);color: rgb(255, 255, "
    "255);}";
const char* const kClose = "QToolButton{border-image: url(:/icon/SettingClose1.bmp);}"
                           "QToolButton:hover{border-image: url(:/icon/SettingClose2.bmp);}";

// RAII raise of the dialog's guard: slots ignore the signals the dialog's
// own changes cause meanwhile.
struct GuardRaise {
    explicit GuardRaise(int& g) : guard(g) { ++guard; }
    ~GuardRaise() { --guard; }
    int& guard;
};

} // namespace

GeneralSettingsDlg::GeneralSettingsDlg(SettingsEnvironment& env, QWidget* parent)
    : QDialog(parent), ui(new Ui::GeneralSettingsDlg), m_env(&env) {
    GuardRaise guard(iGuard);
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);

    OrunAppFace* hub = OrunAppFace::instance();
    connect(hub, &OrunAppFace::signal_updateOnlineCamera, this,
            &GeneralSettingsDlg::slot_updateOnlineCamera);
    connect(hub, &OrunAppFace::signal_showWifiWorkStatusInfo, this,
            &GeneralSettingsDlg::slot_showWifiWorkStatusInfo);

    ui->tbClose->setStyleSheet(kClose);
    ui->tbCancel->setStyleSheet(kApplyEnabled);
    ui->scrollArea->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_loadingMovie = new QMovie(QStringLiteral(":/icon/loading.gif"), QByteArray(), this);
    m_loadingMovie->setScaledSize(ui->lbLoading->size());
    ui->lbLoading->hide();
    playWhileShown(ui->lbLoading, m_loadingMovie);
    addCapturePage();

    selectPage(0, ui->tbVideoSetting);
    showApplyEnabled(false);
    checkControlsFromState();

    if (hub->iWifiMode.load() == 1) {
        ui->rbHotMode->setChecked(true);
        setStationWidgetsVisible(false);
    } else {
        ui->rbStationMode->setChecked(true);
        setStationWidgetsVisible(true);
        slot_updateOnlineCamera();
    }
    updateConnectButton();
    slot_showWifiWorkStatusInfo();
    nameControl(ui->tbClose, tr("关闭"));
    nameControl(ui->cbLanguage, tr("语言设置"));
    nameControl(ui->cbOnlineCamera, tr("相机列表"));
    nameUnnamedControls(this);
}

GeneralSettingsDlg::~GeneralSettingsDlg() {
    delete ui;
}

// --- Current state and choices ----------------------------------------------

int GeneralSettingsDlg::currentOf(int id) const {
    OrunAppFace* hub = OrunAppFace::instance();
    switch (id) {
    case kIdResolution:
        return hub->iResolution.load();
    case kIdMirror:
        return hub->sdkInfoB1.get().value3 & 0xFF;
    case kIdStartOrientation:
        return hub->gimbalState.get()[23];
    case kIdOrientation:
        return hub->bPortrait.load() ? 1 : 0;
    case kIdCtrlButtons:
        return hub->bCtrlBtnVisible.load() ? 1 : 0;
    case kIdLanguage:
        return hub->iLanguage.load();
    case kIdPhotoRatio:
        return photoRatioOfLayout(hub->iScreenLayout.load());
    case kIdDecodeMode:
        // What decodes in this run, also when the command line chose it.
        return hub->iDecodeMode.load() == 1 ? 1 : 0;
    case kIdAutoConnect:
        return m_env->readConfig(QStringLiteral("autoConnect"), true).toBool() ? 1 : 0;
    default:
        return 0;
    }
}

int GeneralSettingsDlg::choiceOf(int id) const {
    // A pair where neither button is checked keeps the current value.
    auto pair = [this, id](const QAbstractButton* zero, const QAbstractButton* one) {
        if (one->isChecked())
            return 1;
        if (zero->isChecked())
            return 0;
        return currentOf(id);
    };
    switch (id) {
    case kIdResolution:
        return ui->rb1080p->isChecked() && !ui->rb720p->isChecked() ? 1 : 0;
    case kIdMirror:
        return pair(ui->rbNotMirror, ui->rbMirror);
    case kIdStartOrientation:
        return pair(ui->rbHScreenDef, ui->rbVScreenDef);
    case kIdOrientation:
        return pair(ui->rbHScreenSetting, ui->rbVScreenSetting);
    case kIdCtrlButtons:
        return pair(ui->rbVideoCtrlBtnSettingHide, ui->rbVideoCtrlBtnSettingShow);
    case kIdLanguage:
        return ui->cbLanguage->currentIndex();
    case kIdPhotoRatio:
        if (ui->rbPohto4V3->isChecked())
            return 0;
        if (ui->rbPohto1V1->isChecked())
            return 2;
        if (ui->rbPohto16V9->isChecked())
            return 1;
        return currentOf(id);
    case kIdDecodeMode:
        return pair(ui->rbHwDecode, ui->rbSwDecode);
    case kIdAutoConnect:
        return ui->cbAutoConnect->isChecked() ? 1 : 0;
    default:
        return 0;
    }
}

void GeneralSettingsDlg::checkControlsFromState() {
    GuardRaise guard(iGuard);
    auto check = [](QAbstractButton* zero, QAbstractButton* one, int value) {
        if (value == 0)
            zero->setChecked(true);
        else if (value == 1)
            one->setChecked(true);
    };
    if (currentOf(kIdResolution) == 1)
        ui->rb1080p->setChecked(true);
    else
        ui->rb720p->setChecked(true);
    check(ui->rbHwDecode, ui->rbSwDecode, currentOf(kIdDecodeMode));
    ui->cbAutoConnect->setChecked(currentOf(kIdAutoConnect) == 1);
    check(ui->rbNotMirror, ui->rbMirror, currentOf(kIdMirror));
    check(ui->rbHScreenDef, ui->rbVScreenDef, currentOf(kIdStartOrientation));
    check(ui->rbHScreenSetting, ui->rbVScreenSetting, currentOf(kIdOrientation));
    check(ui->rbVideoCtrlBtnSettingHide, ui->rbVideoCtrlBtnSettingShow, currentOf(kIdCtrlButtons));
    const int language = currentOf(kIdLanguage);
    ui->cbLanguage->setCurrentIndex(language >= 0 && language < ui->cbLanguage->count() ? language
                                                                                        : 0);
    switch (currentOf(kIdPhotoRatio)) {
    case 0:
        ui->rbPohto4V3->setChecked(true);
        break;
    case 2:
        ui->rbPohto1V1->setChecked(true);
        break;
    default:
        ui->rbPohto16V9->setChecked(true);
        break;
    }
}

void GeneralSettingsDlg::recomputeChanged() {
    for (int id = kIdResolution; id <= kIdDecodeMode; ++id)
        markChanged(lstChanged, id, choiceOf(id) != currentOf(id));
    markChanged(lstChanged, kIdAutoConnect, choiceOf(kIdAutoConnect) != currentOf(kIdAutoConnect));
    OrunAppFace* hub = OrunAppFace::instance();
    if (hub->iWifiMode.load() == 0) {
        const bool differs =
            ui->cbOnlineCamera->currentText() != hub->selectedCamera.get().texts[1] ||
            m_env->linkState() == 0;
        markChanged(lstChanged, kIdOnlineCamera, differs);
    } else {
        lstChanged.removeAll(kIdOnlineCamera);
    }
}

bool GeneralSettingsDlg::onlineCameraDiffers() const {
    return ui->cbOnlineCamera->currentText() !=
               OrunAppFace::instance()->selectedCamera.get().texts[1] ||
           m_env->linkState() == 0;
}

void GeneralSettingsDlg::updateConnectButton() {
    // Also evaluated when the list is filled: with a single camera listed the
    // user has no other entry to pick, and the button must still work.
    ui->tbConnect->setEnabled(OrunAppFace::instance()->iWifiMode.load() == 0 &&
                              ui->cbOnlineCamera->count() > 0 && onlineCameraDiffers());
}

bool GeneralSettingsDlg::hasApplySteps() const {
    // The camera choice (id 8) has no apply step; tbConnect takes it.
    for (int id : lstChanged) {
        if (id != kIdOnlineCamera)
            return true;
    }
    return false;
}

void GeneralSettingsDlg::showApplyEnabled(bool enabled) {
    ui->tbApply->setEnabled(enabled);
    ui->tbApply->setStyleSheet(enabled ? kApplyEnabled : kApplyDisabled);
}

void GeneralSettingsDlg::radioChanged(bool checked) {
    if (!checked || iGuard > 0)
        return;
    recomputeChanged();
    showApplyEnabled(hasChanges());
}

bool GeneralSettingsDlg::hasChanges() const {
    return !lstChanged.isEmpty() || m_capturePage->changed() || m_controlPage->changed();
}

// --- Menu ----------------------------------------------------------------------

void GeneralSettingsDlg::selectPage(int index, QToolButton* button) {
    ui->stackedWidget->setCurrentIndex(index);
    const bool photoMode = OrunAppFace::instance()->iWorkMode.load() == 0;
    ui->tbPohtoSetting->setEnabled(photoMode);
    for (QToolButton* b : {ui->tbVideoSetting, ui->tbGeneralFunc, ui->tbBtnSetting, ui->tbLanguage,
                           ui->tbPohtoSetting, ui->tbConnectMode, m_captureMenu, m_controlMenu}) {
        if (b == button)
            b->setStyleSheet(kMenuOn);
        else if (b == ui->tbPohtoSetting && !photoMode)
            b->setStyleSheet(kMenuDisabled);
        else
            b->setStyleSheet(kMenuOff);
    }
}

void GeneralSettingsDlg::on_tbVideoSetting_clicked() {
    selectPage(0, ui->tbVideoSetting);
}
void GeneralSettingsDlg::on_tbGeneralFunc_clicked() {
    selectPage(1, ui->tbGeneralFunc);
}
void GeneralSettingsDlg::on_tbBtnSetting_clicked() {
    selectPage(2, ui->tbBtnSetting);
}
void GeneralSettingsDlg::on_tbLanguage_clicked() {
    selectPage(3, ui->tbLanguage);
}
void GeneralSettingsDlg::on_tbPohtoSetting_clicked() {
    selectPage(4, ui->tbPohtoSetting);
}
void GeneralSettingsDlg::on_tbConnectMode_clicked() {
    selectPage(5, ui->tbConnectMode);
}

// The capture page and its menu entry, below the others.
void GeneralSettingsDlg::addCapturePage() {
    m_capturePage = new CaptureSettingsPage(ui->stackedWidget);
    ui->stackedWidget->addWidget(m_capturePage);
    m_captureMenu = new QToolButton(ui->wgFrameLeft);
    m_captureMenu->setObjectName(QStringLiteral("tbCaptureSetting"));
    m_captureMenu->setGeometry(0, 370, 180, 44);
    m_captureMenu->setText(tr("录制与直播"));
    connect(m_captureMenu, &QToolButton::clicked, this, &GeneralSettingsDlg::captureMenuClicked);
    connect(m_capturePage, &CaptureSettingsPage::edited, this,
            [this] { showApplyEnabled(hasChanges()); });

    m_controlPage = new ControlSettingsPage(ui->stackedWidget);
    ui->stackedWidget->addWidget(m_controlPage);
    m_controlMenu = new QToolButton(ui->wgFrameLeft);
    m_controlMenu->setObjectName(QStringLiteral("tbControlSetting"));
    m_controlMenu->setGeometry(0, 414, 180, 44);
    m_controlMenu->setText(tr("外部控制"));
    connect(m_controlMenu, &QToolButton::clicked, this, &GeneralSettingsDlg::controlMenuClicked);
    connect(m_controlPage, &ControlSettingsPage::edited, this,
            [this] { showApplyEnabled(hasChanges()); });
}

void GeneralSettingsDlg::controlMenuClicked() {
    selectPage(ui->stackedWidget->indexOf(m_controlPage), m_controlMenu);
}

void GeneralSettingsDlg::captureMenuClicked() {
    selectPage(ui->stackedWidget->indexOf(m_capturePage), m_captureMenu);
}

void GeneralSettingsDlg::on_tbClose_clicked() {
    reject();
}
void GeneralSettingsDlg::on_tbCancel_clicked() {
    reject();
}

// --- Radio buttons and combo boxes ---------------------------------------------

void GeneralSettingsDlg::on_rb720p_clicked(bool checked) {
    radioChanged(checked);
}
void GeneralSettingsDlg::on_rb1080p_clicked(bool checked) {
    radioChanged(checked);
}
void GeneralSettingsDlg::on_rbMirror_clicked(bool checked) {
    radioChanged(checked);
}
void GeneralSettingsDlg::on_rbNotMirror_clicked(bool checked) {
    radioChanged(checked);
}
void GeneralSettingsDlg::on_rbHScreenDef_clicked(bool checked) {
    radioChanged(checked);
}
void GeneralSettingsDlg::on_rbVScreenDef_clicked(bool checked) {
    radioChanged(checked);
}
void GeneralSettingsDlg::on_rbHScreenSetting_clicked(bool checked) {
    radioChanged(checked);
}
void GeneralSettingsDlg::on_rbVScreenSetting_clicked(bool checked) {
    radioChanged(checked);
}
void GeneralSettingsDlg::on_rbVideoCtrlBtnSettingShow_clicked(bool checked) {
    radioChanged(checked);
}
void GeneralSettingsDlg::on_rbVideoCtrlBtnSettingHide_clicked(bool checked) {
    radioChanged(checked);
}
void GeneralSettingsDlg::on_rbPohto16V9_clicked(bool checked) {
    radioChanged(checked);
}
void GeneralSettingsDlg::on_rbPohto4V3_clicked(bool checked) {
    radioChanged(checked);
}
void GeneralSettingsDlg::on_rbPohto1V1_clicked(bool checked) {
    radioChanged(checked);
}
void GeneralSettingsDlg::on_rbHwDecode_clicked(bool checked) {
    radioChanged(checked);
}
void GeneralSettingsDlg::on_rbSwDecode_clicked(bool checked) {
    radioChanged(checked);
}
void GeneralSettingsDlg::on_cbLanguage_currentIndexChanged(int) {
    radioChanged(true);
}
void GeneralSettingsDlg::on_cbAutoConnect_clicked(bool) {
    radioChanged(true);
}

void GeneralSettingsDlg::on_cbOnlineCamera_currentIndexChanged(const QString&) {
    if (iGuard > 0)
        return;
    recomputeChanged();
    updateConnectButton();
}

// --- Operations -----------------------------------------------------------------

void GeneralSettingsDlg::slot_doOperationFinished(int iWho, int ec) {
    if (iWho != 2)
        return;
    iResult = ec;
    bFinished = true;
    m_results.append(ec);
}

int GeneralSettingsDlg::runOperation(int code, int limitMs, int results) {
    OrunAppFace* hub = OrunAppFace::instance();
    m_env->showMask();
    // Results that arrive late for an earlier request must not be taken for
    // this one's.
    m_results.clear();
    bFinished = false;
    iResult = 0;
    hub->iWho.store(2);
    hub->postOperation(code);
    auto active = [hub] { return hub->uiActive.load(); };
    int ec = -1;
    if (pumpEventsUntil([this] { return !m_results.isEmpty(); }, active, limitMs)) {
        ec = m_results.first();
        // Operation 12 reports twice (resolution, then the AI setting); its
        // second report is awaited too so that it cannot be mistaken for the
        // result of the next step.
        if (results > 1)
            pumpEventsUntil([this, results] { return m_results.size() >= results; }, active,
                            limitMs);
    }
    m_results.clear();
    bFinished = false;
    iResult = 0;
    m_env->hideMask();
    return ec;
}

void GeneralSettingsDlg::updateLayoutAfterChange() {
    OrunAppFace* hub = OrunAppFace::instance();
    if (hub->iWorkMode.load() != 0)
        hub->iScreenLayout.store(hub->bPortrait.load() ? 1 : 0);
    else
        runOperation(16, 8000);
    emit hub->signal_syncScreenSize();
    m_env->stopMediaClient();
    emit hub->signal_resetVideoKcpClient();
    m_env->kickMediaClient();
}

bool GeneralSettingsDlg::applyStep(int id) {
    OrunAppFace* hub = OrunAppFace::instance();
    const int choice = choiceOf(id);
    switch (id) {
    case kIdResolution: {
        const int previous = hub->iResolution.load();
        hub->iResolution.store(choice);
        m_env->pauseVideo();
        const int ec = runOperation(12, 5000, 2);
        m_env->resumeVideo();
        if (ec != 0)
            hub->iResolution.store(previous);
        return ec == 0;
    }
    case kIdMirror: {
        hub->iMirror.store(choice);
        const int ec = runOperation(14, 5000);
        if (ec != 0)
            hub->iMirror.store(currentOf(kIdMirror));
        return ec == 0;
    }
    case kIdStartOrientation:
        hub->iAiMode.store(8);
        hub->iAiValue.store(choice);
        return runOperation(13, 5000) == 0;
    case kIdOrientation: {
        hub->iGimbalSetItem.store(1);
        hub->iGimbalSetValue.store(choice);
        const int ec = runOperation(15, 5000);
        updateLayoutAfterChange();
        return ec == 0;
    }
    case kIdCtrlButtons:
        hub->bCtrlBtnVisible.store(choice == 1);
        emit hub->signal_videoBtnCtrlVisable();
        return true;
    case kIdLanguage:
        m_env->writeConfig(QStringLiteral("language"), choice);
        hub->iLanguage.store(choice);
        QMessageBox::information(this, QString(),
                                 choice == 1 ? QStringLiteral("Restart software in effect")
                                             : tr("重启软件生效"));
        return true;
    case kIdPhotoRatio: {
        hub->iPhotoRatio.store(choice);
        qDebug() << "ui->rbPohto1V1" << choice;
        const int ec = runOperation(17, 5000);
        updateLayoutAfterChange();
        return ec == 0;
    }
    case kIdDecodeMode:
        // Kept for the next start and used at once: the decoder is rebuilt.
        m_env->writeConfig(QStringLiteral("decodeMode"), choice);
        hub->iDecodeMode.store(choice);
        m_env->rebuildDecoder();
        return true;
    case kIdAutoConnect:
        // Read by the supervisor's search: in use at once and at the next start.
        m_env->writeConfig(QStringLiteral("autoConnect"), choice == 1);
        return true;
    default:
        return true;
    }
}

void GeneralSettingsDlg::on_tbApply_clicked() {
    ui->tbApply->setEnabled(false);
    const QList<int> pending = lstChanged;
    for (int id = kIdResolution; id <= kIdAutoConnect; ++id) {
        if (id == kIdOnlineCamera || !pending.contains(id))
            continue;
        if (applyStep(id))
            lstChanged.removeAll(id);
    }
    // Refused (an address that does not fit) it stays changed, with its reason
    // on its page.
    if (m_capturePage->changed() && !m_capturePage->apply())
        captureMenuClicked();
    if (m_controlPage->changed() && !m_controlPage->apply())
        controlMenuClicked();
    // A step that failed stays listed, so the user can apply it again.
    showApplyEnabled(hasApplySteps() || m_capturePage->changed() || m_controlPage->changed());
}

// --- Wi-Fi mode ----------------------------------------------------------------

void GeneralSettingsDlg::tell(const QString& text) {
    QMessageBox::information(this, QString(), text);
}

void GeneralSettingsDlg::setStationWidgetsVisible(bool visible) {
    GuardRaise guard(iGuard);
    ui->cbOnlineCamera->setVisible(visible);
    ui->tbReflush->setVisible(visible);
    ui->tbConnect->setVisible(visible);
    ui->cbAutoConnect->setVisible(visible);
}

void GeneralSettingsDlg::on_rbHotMode_clicked(bool checked) {
    if (!checked || iGuard > 0)
        return;
    switchToHotspot();
}

void GeneralSettingsDlg::on_rbStationMode_clicked(bool checked) {
    if (!checked || iGuard > 0)
        return;
    switchToStation();
}

void GeneralSettingsDlg::switchToHotspot() {
    OrunAppFace* hub = OrunAppFace::instance();
    const auto answer =
        QMessageBox::information(nullptr, tr("是否设置为热点模式"), tr("确定"),
                                 QMessageBox::Yes | QMessageBox::Cancel, QMessageBox::Yes);
    if (answer != QMessageBox::Yes) {
        GuardRaise guard(iGuard);
        ui->rbStationMode->setChecked(true);
        return;
    }
    ui->lbWifiMsg->clear();
    ui->lbLoading->show();
    if (!m_env->cameraConnected()) {
        m_env->writeConfig(QStringLiteral("wifiMode"), 1);
        hub->iWifiMode.store(1);
        {
            GuardRaise guard(iGuard);
            ui->rbHotMode->setChecked(true);
        }
        setStationWidgetsVisible(false);
        tell(tr("相机未连接,设置为热点模式成功"));
    } else {
        WifiBlock request{};
        request[0] = 1;
        hub->wifiRequest.set(request);
        if (runOperation(20, 5000) != 0) {
            {
                GuardRaise guard(iGuard);
                ui->rbStationMode->setChecked(true);
            }
            setStationWidgetsVisible(true);
            hub->iWifiMode.store(0);
            tell(tr("设置为热点模式失败"));
        } else {
            tell(
                tr("设置热点模式请求已发送,提示灯变为蓝色闪烁表示正在切换模式,绿色常亮表示切换成功,"
                   "如果失败,请重新设置,如果成功,请切换您电脑的Wifi."));
            m_env->writeConfig(QStringLiteral("wifiMode"), 1);
            hub->iWifiMode.store(1);
            {
                GuardRaise guard(iGuard);
                ui->rbHotMode->setChecked(true);
            }
            setStationWidgetsVisible(false);
        }
    }
    // The link is looked for again in the new mode.
    m_env->setCameraConnected(false);
    ui->lbLoading->hide();
}

void GeneralSettingsDlg::switchToStation() {
    OrunAppFace* hub = OrunAppFace::instance();
    const auto answer =
        QMessageBox::information(nullptr, tr("是否设置为站点模式"), tr("确定"),
                                 QMessageBox::Yes | QMessageBox::Cancel, QMessageBox::Yes);
    if (answer != QMessageBox::Yes) {
        GuardRaise guard(iGuard);
        ui->rbHotMode->setChecked(true);
        return;
    }
    ui->lbWifiMsg->clear();
    ui->lbLoading->show();
    auto backToHotspot = [this, hub] {
        m_env->writeConfig(QStringLiteral("wifiMode"), 1);
        hub->iWifiMode.store(1);
        {
            GuardRaise guard(iGuard);
            ui->rbHotMode->setChecked(true);
        }
        setStationWidgetsVisible(false);
    };
    if (!m_env->cameraConnected()) {
        m_env->writeConfig(QStringLiteral("wifiMode"), 0);
        hub->iWifiMode.store(0);
        {
            GuardRaise guard(iGuard);
            ui->cbOnlineCamera->clear();
        }
        setStationWidgetsVisible(true);
        tell(tr("相机未连接,设置为站点模式成功"));
        m_env->setLinkState(0);
    } else {
        WifiStationDlg station(*m_env, this);
        if (station.exec() == kStationAccepted) {
            const QString name = hub->sWifiSsid.get();
            const QString password = hub->sWifiPasswd.get();
            m_env->writeConfig(QStringLiteral("wifiSsid"), name);
            m_env->writeConfig(QStringLiteral("wifiPasswd"), password);
            WifiBlock request{};
            // The station dialog refuses texts that do not fit; a failure here
            // means the texts came from elsewhere and is treated as a failed switch.
            const bool built = buildWifiRequest(0, name, password, request);
            if (built)
                hub->wifiRequest.set(request);
            if (!built || runOperation(20, 5000) != 0) {
                backToHotspot();
                tell(tr("设置为站点模式失败"));
            } else {
                m_env->writeConfig(QStringLiteral("wifiMode"), 0);
                hub->iWifiMode.store(0);
                setStationWidgetsVisible(true);
                m_env->setLinkState(0);
                tell(
                    tr("设置站点模式请求已发送,提示灯变为紫色闪烁表示正在切换模式,常亮表示切换成功,"
                       "如果失败,请检查Wifi名称和密码重新设置,如果成功,请切换您电脑的Wifi."));
            }
        } else {
            backToHotspot();
        }
    }
    m_env->setCameraConnected(false);
    ui->lbLoading->hide();
}

// --- Cameras on the station network ------------------------------------------------

void GeneralSettingsDlg::slot_updateOnlineCamera() {
    GuardRaise guard(iGuard);
    OrunAppFace* hub = OrunAppFace::instance();
    ui->cbOnlineCamera->clear();
    for (const CameraRecord& record : hub->cameraRecords())
        ui->cbOnlineCamera->addItem(record.texts[1]);
    if (m_env->linkState() == 2) {
        const int index = ui->cbOnlineCamera->findText(hub->selectedCamera.get().texts[1]);
        if (index >= 0)
            ui->cbOnlineCamera->setCurrentIndex(index);
    }
    updateConnectButton();
}

void GeneralSettingsDlg::on_tbReflush_clicked() {
    {
        GuardRaise guard(iGuard);
        ui->cbOnlineCamera->clear();
    }
    OrunAppFace* hub = OrunAppFace::instance();
    hub->clearCameraRecords();
    hub->lstOnlineCamera.set(QStringList());
    m_env->setLinkState(0);
    updateConnectButton();
}

void GeneralSettingsDlg::on_tbConnect_clicked() {
    OrunAppFace* hub = OrunAppFace::instance();
    const QString name = ui->cbOnlineCamera->currentText();
    const QList<CameraRecord> records = hub->cameraRecords();
    const CameraRecord* chosen = nullptr;
    for (const CameraRecord& record : records) {
        if (record.texts[1] == name) {
            chosen = &record;
            break;
        }
    }
    // Without a listed camera there is no address to link to.
    if (!chosen)
        return;
    m_env->showMask();
    hub->selectedCamera.set(*chosen);
    m_env->setLinkState(1);
    pumpEventsUntil([this] { return m_env->linkState() == 2; },
                    [hub] { return hub->uiActive.load(); }, 4999);
    m_env->hideMask();
    recomputeChanged();
    showApplyEnabled(hasApplySteps() || m_capturePage->changed() || m_controlPage->changed());
    updateConnectButton();
}

void GeneralSettingsDlg::slot_showWifiWorkStatusInfo() {
    OrunAppFace* hub = OrunAppFace::instance();
    const bool hotspot = hub->iWifiMode.load() == 1;
    if (m_env->cameraConnected()) {
        const QString where = stationText(hub->wifiWorkStatus.get());
        ui->lbWifiMsg->setText(hotspot ? tr("当前连接:%1(热点模式)").arg(where)
                                       : tr("当前连接:%1(站点模式)").arg(where));
    } else {
        ui->lbWifiMsg->setText(hotspot ? tr("当前连接:未连接(热点模式)")
                                       : tr("当前连接:未连接(站点模式)"));
    }
}

// --- Dragging the frameless dialog -------------------------------------------------

void GeneralSettingsDlg::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        m_dragging = true;
        m_dragOffset = event->globalPos() - frameGeometry().topLeft();
    }
    QDialog::mousePressEvent(event);
}

void GeneralSettingsDlg::mouseMoveEvent(QMouseEvent* event) {
    if (m_dragging && (event->buttons() & Qt::LeftButton))
        move(event->globalPos() - m_dragOffset);
    QDialog::mouseMoveEvent(event);
}

void GeneralSettingsDlg::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        m_dragging = false;
    QDialog::mouseReleaseEvent(event);
}
