#include "ui/PohtoModeSettingDlg.h"
#include "ui_PohtoModeSettingDlg.h"

#include "ui/IconResources.h"

#include "hub/OrunAppFace.h"
#include "ui/VideoMaskWidget.h"
#include "ui/settings/PumpWait.h"

#include <QCoreApplication>
#include <QPointer>

namespace {

// The four hub values a click changes, remembered to undo a failed change.
struct PhotoValues {
    int workMode;
    int subMode;
    int photoMode;
    int photoParam;

    static PhotoValues read(const OrunAppFace* hub) {
        return {hub->iWorkMode, hub->iWorkSubMode, hub->iPhotoMode, hub->iPhotoParam};
    }
    void write(OrunAppFace* hub) const {
        hub->iWorkMode = workMode;
        hub->iWorkSubMode = subMode;
        hub->iPhotoMode = photoMode;
        hub->iPhotoParam = photoParam;
    }
};

QString buttonStyle(const QString& icon) {
    return QString("QToolButton{border-image: url(:/icon/Takephoto/%1);}").arg(icon);
}

} // namespace

PohtoModeSettingDlg* PohtoModeSettingDlg::instance() {
    static QPointer<PohtoModeSettingDlg> dlg;
    if (dlg.isNull())
        dlg = new PohtoModeSettingDlg();
    return dlg;
}

PohtoModeSettingDlg::PohtoModeSettingDlg(QWidget* parent)
    : QWidget(parent), ui(new Ui::PohtoModeSettingDlg) {
    initIconResources();
    ui->setupUi(this);
    // A styled (rounded, translucent) background of its own; a translucent
    // widget attribute would suppress it.
    setAttribute(Qt::WA_StyledBackground);
    setStyleSheet("#PohtoModeSettingDlg{background-color: rgba(0, 0, 0, 110);"
                  "border: 1px solid rgba(255, 255, 255, 60);border-radius: 14px;}");
    slot_showModeSettingUIStyle();
}

PohtoModeSettingDlg::~PohtoModeSettingDlg() {
    delete ui;
}

QStringList PohtoModeSettingDlg::iconNames(int photoMode, int photoParam) {
    if (photoMode == 0)
        return {"mode_single_p2x.png", "mode_multi_n2x.png", "mode_burst_n2x.png"};
    if (photoMode == 2) {
        static const char* multi[] = {"mode_multi_p2x_3.png", "mode_multi_p2x_5.png",
                                      "mode_multi_p2x_7.png"};
        const QString selected =
            photoParam >= 0 && photoParam < 3 ? multi[photoParam] : "mode_multi_n2x.png";
        return {"mode_single_n2x.png", selected, "mode_burst_n2x.png"};
    }
    static const char* burst[] = {"mode_burst_p2x_1s.png", "mode_burst_p2x_3s.png",
                                  "mode_burst_p2x_5s.png", "mode_burst_p2x_10s.png"};
    // An unknown burst parameter shows the burst button as not selected
    // rather than a wrong interval.
    const QString selected =
        photoParam >= 0 && photoParam < 4 ? burst[photoParam] : "mode_burst_n2x.png";
    return {"mode_single_n2x.png", "mode_multi_n2x.png", selected};
}

void PohtoModeSettingDlg::slot_showModeSettingUIStyle() {
    const OrunAppFace* hub = OrunAppFace::instance();
    const QStringList icons = iconNames(hub->iPhotoMode, hub->iPhotoParam);
    ui->tbSinglePhoto->setStyleSheet(buttonStyle(icons[0]));
    ui->tbMultiPhoto->setStyleSheet(buttonStyle(icons[1]));
    ui->tbBurstPhoto->setStyleSheet(buttonStyle(icons[2]));
}

void PohtoModeSettingDlg::slot_doOperationFinished(int iWho, int ec) {
    if (iWho != kWho)
        return;
    m_opResult = ec;
    m_opFinished = true;
}

int PohtoModeSettingDlg::runOperation(int code) {
    OrunAppFace* hub = OrunAppFace::instance();
    m_opFinished = false;
    m_opResult = 0;
    hub->iWho = kWho;
    hub->postOperation(code);
    // The event loop runs on while the result is awaited.
    if (!pumpEventsUntil([this] { return m_opFinished; }, [hub] { return hub->uiActive.load(); },
                         kWaitMs))
        return -1;
    m_opFinished = false;
    return m_opResult;
}

void PohtoModeSettingDlg::applyMode(int subMode, int newParam, bool sendParam) {
    OrunAppFace* hub = OrunAppFace::instance();
    VideoMaskWidget* mask = VideoMaskWidget::instance();
    mask->show();
    mask->raise();
    const PhotoValues before = PhotoValues::read(hub);
    const bool modeChanged = before.workMode != 0 || before.subMode != subMode;
    hub->iWorkMode = 0;
    hub->iWorkSubMode = subMode;
    hub->iPhotoMode = subMode;
    hub->iPhotoParam = newParam;
    if (subMode == 0)
        emit hub->signal_showPhotoModeSettingBtnStyle();

    bool ok = true;
    m_applying = true;
    if (modeChanged)
        ok = runOperation(4) == 0;
    if (ok && sendParam)
        ok = runOperation(subMode == 1 ? 5 : 6) == 0;
    m_applying = false;
    mask->hide();

    if (!ok)
        before.write(hub);
    slot_showModeSettingUIStyle();
    // The overlay's photo-mode button shows the mode now in force.
    if (!ok || subMode != 0)
        emit hub->signal_showPhotoModeSettingBtnStyle();
}

void PohtoModeSettingDlg::on_tbSinglePhoto_clicked() {
    applyMode(0, 0, false);
}

void PohtoModeSettingDlg::on_tbMultiPhoto_clicked() {
    const OrunAppFace* hub = OrunAppFace::instance();
    int param = hub->iPhotoParam;
    if (hub->iPhotoMode == 2)
        param = (param + 1) % 3;
    applyMode(2, param, true);
}

void PohtoModeSettingDlg::on_tbBurstPhoto_clicked() {
    const OrunAppFace* hub = OrunAppFace::instance();
    const int before = hub->iPhotoParam;
    int param = before;
    if (hub->iPhotoMode == 1)
        param = (param + 1) % 4;
    applyMode(1, param, param != before);
}
