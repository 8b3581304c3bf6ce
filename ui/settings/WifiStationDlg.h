#pragma once

#include <QDialog>
#include <QPoint>

namespace Ui {
class WifiStationDlg;
}
class SettingsEnvironment;

// Asks for the name and password of the Wi-Fi network the camera is to join.
// Accepting stores both texts in the event hub and ends the modal run with
// settings::kStationAccepted; cancelling ends it with kStationRejected. Texts
// longer than the camera's 32-byte fields are refused with a message.
class WifiStationDlg : public QDialog {
    Q_OBJECT
public:
    explicit WifiStationDlg(SettingsEnvironment& env, QWidget* parent = nullptr);
    ~WifiStationDlg() override;

private slots:
    void on_cbShowpassw_clicked(bool checked);
    void on_tbOk_clicked();
    void on_tbCancel_clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    Ui::WifiStationDlg* ui;
    bool m_dragging = false;
    QPoint m_dragOffset;
};
