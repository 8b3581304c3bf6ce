#include "ui/ErrorInfoDlg.h"
#include "ui_ErrorInfoDlg.h"

#include "ui/IconResources.h"
#include "ui/KeyMap.h"

#include <algorithm>

ErrorInfoDlg::ErrorInfoDlg(QWidget* parent) : QWidget(parent), ui(new Ui::ErrorInfoDlg) {
    initIconResources();
    ui->setupUi(this);
    setWindowFlags(windowFlags() | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_TranslucentBackground);
    // The video area's dark background would otherwise cascade into the labels.
    setStyleSheet("QLabel{background-color: transparent;}");
    setFixedSize(370, 60);
    ui->lbMsg->setText(m_text);
    ui->lbIcon->setStyleSheet(iconStyle(m_level));
    nameControl(ui->tbClose, tr("关闭"));
}

ErrorInfoDlg::~ErrorInfoDlg() {
    delete ui;
}

QString ErrorInfoDlg::iconStyle(int level) {
    const char* icon = nullptr;
    switch (level) {
    case 0:
        icon = ":/icon/icon_playon_notice_red2x.png";
        break;
    case 1:
        icon = ":/icon/icon_playon_notice_yel2x.png";
        break;
    case 2:
        icon = ":/icon/icon_playon_notice_white2x.png";
        break;
    default:
        return QString();
    }
    return QString("background-color: rgba(255, 255, 255, 0);border-image: url(%1);").arg(icon);
}

void ErrorInfoDlg::setMessage(int id, int level, const QString& text) {
    ui->lbIcon->setStyleSheet(iconStyle(level));
    ui->lbMsg->setText(text);
    // Red messages cannot be dismissed.
    ui->tbClose->setVisible(level != 0);
    m_id = id;
    m_level = level;
    m_text = text;
}

void ErrorInfoDlg::setBannerWidth(int width) {
    const int extra = std::max(width, 370) - 370;
    setFixedSize(370 + extra, 60);
    ui->widget->setGeometry(0, 0, 370 + extra, 60);
    ui->lbMsg->setGeometry(60, 6, 262 + extra, 48);
    ui->tbClose->move(330 + extra, 15);
}

void ErrorInfoDlg::on_tbClose_clicked() {
    hide();
}
