#include "ui/settings/ControlSettingsPage.h"

#include "app/GamepadControl.h"
#include "app/RunOptions.h"
#include "app/ViscaControl.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>

ControlSettingsPage::ControlSettingsPage(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("wgControlSetting"));
    setStyleSheet(QStringLiteral("QLabel, QCheckBox{color: rgb(220, 220, 220);}"));
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(20, 12, 20, 0);
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(8);
    int row = 0;

    auto titled = [&](const QString& label, QWidget* field) {
        auto* title = new QLabel(label, this);
        title->setBuddy(field);
        grid->addWidget(title, row, 0);
        field->setMinimumHeight(26);
        // A spin box's own text field is named by the label too.
        if (qobject_cast<QSpinBox*>(field))
            if (auto* edit = field->findChild<QLineEdit*>())
                edit->setAccessibleName(label);
        grid->addWidget(field, row++, 1);
    };
    auto port = [this](const char* name) {
        auto* box = new QSpinBox(this);
        box->setObjectName(QLatin1String(name));
        box->setRange(1, 65535);
        box->setMinimumWidth(100);
        connect(box, QOverload<int>::of(&QSpinBox::valueChanged), this, [this] {
            updateHint();
            emit edited();
        });
        return box;
    };

    m_visca = new QCheckBox(tr("接受 VISCA over IP 控制(UDP)"), this);
    m_visca->setObjectName(QStringLiteral("cbVisca"));
    grid->addWidget(m_visca, row++, 0, 1, 2);
    m_address = new QLineEdit(this);
    m_address->setObjectName(QStringLiteral("leViscaAddress"));
    titled(tr("监听地址:"), m_address);
    m_udpPort = port("sbViscaUdpPort");
    titled(tr("UDP 端口:"), m_udpPort);
    m_tcp = new QCheckBox(tr("同时接受 TCP 上的 VISCA"), this);
    m_tcp->setObjectName(QStringLiteral("cbViscaTcp"));
    grid->addWidget(m_tcp, row++, 0, 1, 2);
    m_tcpPort = port("sbViscaTcpPort");
    titled(tr("TCP 端口:"), m_tcpPort);
    m_allowed = new QLineEdit(this);
    m_allowed->setObjectName(QStringLiteral("leViscaAllowed"));
    m_allowed->setPlaceholderText(tr("全部(以逗号分隔的 IPv4 地址)"));
    titled(tr("允许的发送方:"), m_allowed);
    m_hint = new QLabel(this);
    m_hint->setObjectName(QStringLiteral("lbViscaHint"));
    m_hint->setWordWrap(true);
    grid->addWidget(m_hint, row++, 0, 1, 2);

    // Game controllers.
    m_gamepad = new QCheckBox(tr("用游戏手柄控制相机"), this);
    m_gamepad->setObjectName(QStringLiteral("cbGamepad"));
    grid->addWidget(m_gamepad, row++, 0, 1, 2);
    m_deadZone = new QSpinBox(this);
    m_deadZone->setObjectName(QStringLiteral("sbGamepadDeadZone"));
    m_deadZone->setRange(0, ControlSettings::kMostDeadZonePercent);
    m_deadZone->setSuffix(QStringLiteral(" %"));
    m_deadZone->setMinimumWidth(100);
    titled(tr("摇杆死区:"), m_deadZone);
    m_zoomBy = new QComboBox(this);
    m_zoomBy->setObjectName(QStringLiteral("cmbGamepadZoom"));
    m_zoomBy->addItem(tr("右摇杆上下"));
    m_zoomBy->addItem(tr("扳机(右放大,左缩小)"));
    titled(tr("变焦:"), m_zoomBy);
    m_invert = new QCheckBox(tr("反转上下方向"), this);
    m_invert->setObjectName(QStringLiteral("cbGamepadInvert"));
    grid->addWidget(m_invert, row++, 0, 1, 2);
    m_background = new QCheckBox(tr("窗口在后台时也响应手柄"), this);
    m_background->setObjectName(QStringLiteral("cbGamepadBackground"));
    grid->addWidget(m_background, row++, 0, 1, 2);
    m_gamepadState = new QLabel(this);
    m_gamepadState->setObjectName(QStringLiteral("lbGamepadState"));
    m_gamepadState->setWordWrap(true);
    grid->addWidget(m_gamepadState, row++, 0, 1, 2);
    grid->setRowStretch(row, 1);
    grid->setColumnStretch(1, 1);

    connect(m_deadZone, QOverload<int>::of(&QSpinBox::valueChanged), this, [this] {
        updateHint();
        emit edited();
    });
    connect(m_zoomBy, QOverload<int>::of(&QComboBox::activated), this, [this] {
        updateHint();
        emit edited();
    });
    connect(GamepadControl::instance(), &GamepadControl::controllersChanged, this,
            &ControlSettingsPage::updateHint);
    for (QCheckBox* box : {m_visca, m_tcp, m_gamepad, m_invert, m_background})
        connect(box, &QCheckBox::clicked, this, [this] {
            updateHint();
            emit edited();
        });
    for (QLineEdit* edit : {m_address, m_allowed})
        connect(edit, &QLineEdit::textEdited, this, [this] {
            updateHint();
            emit edited();
        });

    m_saved = ControlSettings::load();
    showSettings(m_saved);
}

void ControlSettingsPage::showSettings(const ControlSettings& s) {
    const QSignalBlocker a(m_udpPort);
    const QSignalBlocker b(m_tcpPort);
    const QSignalBlocker c(m_deadZone);
    m_visca->setChecked(s.visca);
    m_address->setText(s.address);
    m_udpPort->setValue(s.udpPort);
    m_tcp->setChecked(s.tcp);
    m_tcpPort->setValue(s.tcpPort);
    m_allowed->setText(s.allowed.join(QStringLiteral(", ")));
    m_gamepad->setChecked(s.gamepad);
    m_deadZone->setValue(s.gamepadDeadZonePercent);
    m_zoomBy->setCurrentIndex(s.gamepadZoomByTriggers ? 1 : 0);
    m_invert->setChecked(s.gamepadInvertVertical);
    m_background->setChecked(s.gamepadBackground);
    updateHint();
}

ControlSettings ControlSettingsPage::chosen() const {
    ControlSettings s;
    s.visca = m_visca->isChecked();
    s.address = m_address->text().trimmed();
    s.udpPort = m_udpPort->value();
    s.tcp = m_tcp->isChecked();
    s.tcpPort = m_tcpPort->value();
    QStringList allowed;
    if (ControlSettings::parseAllowed(m_allowed->text(), &allowed))
        s.allowed = allowed;
    else
        s.allowed = QStringList{m_allowed->text()};
    s.gamepad = m_gamepad->isChecked();
    s.gamepadDeadZonePercent = m_deadZone->value();
    s.gamepadZoomByTriggers = m_zoomBy->currentIndex() == 1;
    s.gamepadInvertVertical = m_invert->isChecked();
    s.gamepadBackground = m_background->isChecked();
    return s;
}

bool ControlSettingsPage::changed() const {
    return chosen() != m_saved;
}

void ControlSettingsPage::updateHint() {
    const ControlSettings s = chosen();
    m_address->setEnabled(s.visca);
    m_udpPort->setEnabled(s.visca);
    m_tcp->setEnabled(s.visca);
    m_tcpPort->setEnabled(s.visca && s.tcp);
    const bool loopback = s.address.startsWith(QStringLiteral("127."));
    m_allowed->setEnabled(s.visca && !loopback);
    if (!s.visca)
        m_hint->setText(tr("关闭时不打开任何端口。"));
    else if (loopback)
        m_hint->setText(tr("只有本机的程序(如 OBS 的 PTZ 控制)能控制相机。"));
    else
        m_hint->setText(tr("VISCA 没有身份验证:能访问此端口的任何人都能控制相机。"));

    for (QWidget* w : {static_cast<QWidget*>(m_deadZone), static_cast<QWidget*>(m_zoomBy),
                       static_cast<QWidget*>(m_invert), static_cast<QWidget*>(m_background)})
        w->setEnabled(s.gamepad);
    const QStringList pads = GamepadControl::instance()->controllers();
    if (!s.gamepad)
        m_gamepadState->clear();
    else if (!GamepadControl::instance()->reading())
        m_gamepadState->setText(tr("应用后开始读取游戏手柄。"));
    else if (pads.isEmpty())
        m_gamepadState->setText(tr("没有连接游戏手柄:插入后即可使用。"));
    else
        m_gamepadState->setText(tr("已连接:%1").arg(pads.join(QStringLiteral(", "))));
}

bool ControlSettingsPage::apply() {
    const ControlSettings s = chosen();
    QStringList allowed;
    if (!ControlSettings::addressValid(s.address)) {
        m_hint->setText(tr("监听地址应为 IPv4 地址,例如 127.0.0.1"));
        return false;
    }
    if (!ControlSettings::parseAllowed(m_allowed->text(), &allowed)) {
        m_hint->setText(tr("允许的发送方应为以逗号分隔的 IPv4 地址"));
        return false;
    }
    s.save();
    m_saved = s;
    // --visca decides for the whole run; otherwise the server follows at once.
    if (!runOverrides().viscaPort)
        startViscaControl(s);
    GamepadControl::instance()->apply(s);
    updateHint();
    return true;
}
