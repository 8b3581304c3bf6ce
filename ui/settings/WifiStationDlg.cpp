#include "ui/settings/WifiStationDlg.h"

#include "hub/OrunAppFace.h"
#include "ui/KeyMap.h"
#include "ui/settings/SettingsEnvironment.h"
#include "ui/settings/SettingsLogic.h"
#include "ui_WifiStationDlg.h"

#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>

WifiStationDlg::WifiStationDlg(SettingsEnvironment& env, QWidget* parent)
    : QDialog(parent), ui(new Ui::WifiStationDlg) {
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setWindowOpacity(1);
    setAttribute(Qt::WA_TranslucentBackground);
    ui->leWifiPassw->setEchoMode(QLineEdit::Password);

    OrunAppFace* hub = OrunAppFace::instance();
    const QString ssid = env.readConfig(QStringLiteral("wifiSsid"), QString()).toString();
    const QString passwd = env.readConfig(QStringLiteral("wifiPasswd"), QString()).toString();
    hub->sWifiSsid.set(ssid);
    hub->sWifiPasswd.set(passwd);
    ui->leWifiName->setText(ssid);
    ui->leWifiPassw->setText(passwd);

    // The fields are named by their labels, without the colon.
    for (auto field : {std::make_pair(ui->leWifiName, ui->lbWifiName),
                       std::make_pair(ui->leWifiPassw, ui->lbWifiPassw)}) {
        field.second->setBuddy(field.first);
        QString words = field.second->text().trimmed();
        if (words.endsWith(QLatin1Char(':')) || words.endsWith(QChar(0xFF1A)))
            words.chop(1);
        nameControl(field.first, words);
    }
    nameUnnamedControls(this);
}

WifiStationDlg::~WifiStationDlg() {
    delete ui;
}

void WifiStationDlg::on_cbShowpassw_clicked(bool checked) {
    ui->leWifiPassw->setEchoMode(checked ? QLineEdit::Normal : QLineEdit::Password);
}

void WifiStationDlg::on_tbOk_clicked() {
    const QString name = ui->leWifiName->text();
    const QString passwd = ui->leWifiPassw->text();
    // The camera keeps 32 bytes for each; a longer text would be cut off in
    // the middle of a character or lose its end, so it is refused here.
    if (!settings::fitsWifiField(name)) {
        QMessageBox::warning(this, QString(), tr("Wifi名称过长,最多32个字节(一个汉字占3个字节)"));
        ui->leWifiName->setFocus();
        return;
    }
    if (!settings::fitsWifiField(passwd)) {
        QMessageBox::warning(this, QString(), tr("Wifi密码过长,最多32个字节(一个汉字占3个字节)"));
        ui->leWifiPassw->setFocus();
        return;
    }
    OrunAppFace* hub = OrunAppFace::instance();
    hub->sWifiSsid.set(name);
    hub->sWifiPasswd.set(passwd);
    done(settings::kStationAccepted);
}

void WifiStationDlg::on_tbCancel_clicked() {
    done(settings::kStationRejected);
}

void WifiStationDlg::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        m_dragging = true;
        m_dragOffset = event->globalPos() - frameGeometry().topLeft();
    }
    QDialog::mousePressEvent(event);
}

void WifiStationDlg::mouseMoveEvent(QMouseEvent* event) {
    if (m_dragging && (event->buttons() & Qt::LeftButton))
        move(event->globalPos() - m_dragOffset);
    QDialog::mouseMoveEvent(event);
}

void WifiStationDlg::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        m_dragging = false;
    QDialog::mouseReleaseEvent(event);
}
