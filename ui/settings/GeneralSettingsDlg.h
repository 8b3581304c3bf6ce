#pragma once

#include <QDialog>
#include <QList>
#include <QPoint>
#include <QString>

namespace Ui {
class GeneralSettingsDlg;
}
class CaptureSettingsPage;
class ControlSettingsPage;
class QMovie;
class QToolButton;
class SettingsEnvironment;

// The modal settings dialog: picture resolution, decoding, mirroring,
// orientation, overlay buttons, language, photo ratio, the camera's Wi-Fi
// mode and whether the last station camera is linked by itself. Only the
// settings that differ from the current state are applied, each through an
// operation of the runtime while the loading mask is shown. The capture page
// (recording, snapshots, live output on the PC) is saved to the configuration.
class GeneralSettingsDlg : public QDialog {
    Q_OBJECT
public:
    explicit GeneralSettingsDlg(QWidget* parent = nullptr);
    explicit GeneralSettingsDlg(SettingsEnvironment& env, QWidget* parent = nullptr);
    ~GeneralSettingsDlg() override;

    // Ids of the settings whose choice differs from the current state, in
    // the order they were found.
    QList<int> changedSettings() const { return lstChanged; }

public slots:
    void slot_doOperationFinished(int iWho, int ec);
    void slot_updateOnlineCamera();
    void slot_showWifiWorkStatusInfo();

private slots:
    void on_tbVideoSetting_clicked();
    void on_tbBtnSetting_clicked();
    void on_tbGeneralFunc_clicked();
    void on_tbLanguage_clicked();
    void on_tbClose_clicked();
    void on_tbApply_clicked();
    void on_tbCancel_clicked();
    void on_rb720p_clicked(bool checked);
    void on_rb1080p_clicked(bool checked);
    void on_rbMirror_clicked(bool checked);
    void on_rbNotMirror_clicked(bool checked);
    void on_rbHScreenDef_clicked(bool checked);
    void on_rbVScreenDef_clicked(bool checked);
    void on_rbHScreenSetting_clicked(bool checked);
    void on_rbVScreenSetting_clicked(bool checked);
    void on_rbVideoCtrlBtnSettingShow_clicked(bool checked);
    void on_rbVideoCtrlBtnSettingHide_clicked(bool checked);
    void on_rbPohto16V9_clicked(bool checked);
    void on_rbPohto4V3_clicked(bool checked);
    void on_rbPohto1V1_clicked(bool checked);
    void on_rbHwDecode_clicked(bool checked);
    void on_rbSwDecode_clicked(bool checked);
    void on_cbLanguage_currentIndexChanged(int index);
    void on_tbPohtoSetting_clicked();
    void on_rbHotMode_clicked(bool checked);
    void on_rbStationMode_clicked(bool checked);
    void on_tbConnectMode_clicked();
    void on_tbReflush_clicked();
    void on_cbOnlineCamera_currentIndexChanged(const QString& text);
    void on_tbConnect_clicked();
    void on_cbAutoConnect_clicked(bool checked);
    void captureMenuClicked();
    void controlMenuClicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    // Choices of the controls and current values, by setting id.
    int choiceOf(int id) const;
    int currentOf(int id) const;
    void checkControlsFromState();
    void recomputeChanged();
    bool onlineCameraDiffers() const;
    bool hasApplySteps() const;
    void updateConnectButton();
    void radioChanged(bool checked);
    void showApplyEnabled(bool enabled);
    void selectPage(int index, QToolButton* button);
    void setStationWidgetsVisible(bool visible);
    // Requests `code` with iWho 2 and waits up to `limitMs` for its result
    // (the first of `results` results); −1 when none came in time or the
    // application is closing.
    int runOperation(int code, int limitMs, int results = 1);
    bool applyStep(int id);
    void updateLayoutAfterChange();
    void tell(const QString& text);
    void switchToHotspot();
    void switchToStation();
    void addCapturePage();
    bool hasChanges() const;

    Ui::GeneralSettingsDlg* ui;
    SettingsEnvironment* m_env;
    QList<int> lstChanged;
    bool bFinished = false;
    int iResult = 0;
    QList<int> m_results; // results with iWho 2 since the last request
    int iGuard = 0;
    QMovie* m_loadingMovie = nullptr;
    bool m_dragging = false;
    QPoint m_dragOffset;
    CaptureSettingsPage* m_capturePage = nullptr;
    QToolButton* m_captureMenu = nullptr;
    ControlSettingsPage* m_controlPage = nullptr;
    QToolButton* m_controlMenu = nullptr;
};
