#pragma once

#include <QWidget>

namespace Ui {
class PohtoModeSettingDlg;
}

// Photo-mode selector: single shot, multi-shot and burst buttons. A click sets
// the camera's photo mode; clicking the selected multi-shot or burst button
// again steps through its interval. One instance per process.
class PohtoModeSettingDlg : public QWidget {
    Q_OBJECT
public:
    static PohtoModeSettingDlg* instance();
    ~PohtoModeSettingDlg() override;

    // Requester id of this widget in the hub's request slot.
    static constexpr int kWho = 1;
    // How long one request is waited for.
    static constexpr int kWaitMs = 1000;

    // Icon file names (under :/icon/Takephoto/) of the three buttons for a
    // photo mode and parameter: single, multi-shot, burst.
    static QStringList iconNames(int photoMode, int photoParam);

    // True while a click's requests are on their way to the camera. The
    // hub already holds the chosen mode then, and a camera status that
    // still shows the old one must not be taken over meanwhile.
    bool isApplying() const { return m_applying; }

public slots:
    void on_tbSinglePhoto_clicked();
    void on_tbMultiPhoto_clicked();
    void on_tbBurstPhoto_clicked();
    void slot_doOperationFinished(int iWho, int ec);
    void slot_showModeSettingUIStyle();

private:
    explicit PohtoModeSettingDlg(QWidget* parent = nullptr);
    // Posts an operation as requester 1 and pumps events until its result
    // arrives, the wait runs out or the application closes; -1 on time-out.
    int runOperation(int code);
    // Shared body of the three buttons: the new values, then requests.
    void applyMode(int subMode, int newParam, bool sendParam);

    Ui::PohtoModeSettingDlg* ui;
    bool m_opFinished = false;
    int m_opResult = 0;
    bool m_applying = false;
};
