#include "ui/settings/CaptureSettingsPage.h"

#include "video/webcam/VirtualCamera.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QStandardItemModel>
#include <QToolButton>

namespace {

const char* const kBrowseStyle =
    "QToolButton{border-image: url(:/icon/SettingOKBtn1.bmp);color: rgb(255, 255, 255);}"
    "QToolButton:hover{border-image: url(:/icon/SettingOKBtn2.png);color: rgb(255, 255, 255);}";

// The kinds in the order of the list.
const LiveSettings::Kind kKinds[] = {LiveSettings::Kind::SrtListener, LiveSettings::Kind::UdpMpegTs,
                                     LiveSettings::Kind::RtmpPush};

int indexOfKind(LiveSettings::Kind kind) {
    for (int i = 0; i < 3; ++i)
        if (kKinds[i] == kind)
            return i;
    return 0;
}

} // namespace

CaptureSettingsPage::CaptureSettingsPage(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("wgCaptureSetting"));
    setStyleSheet(QStringLiteral("QLabel, QRadioButton, QCheckBox{color: rgb(220, 220, 220);}"
                                 "QComboBox{color: rgb(0, 0, 0);}"));
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(20, 12, 20, 0);
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(6);
    int row = 0;

    auto folderRow = [&](const QString& label, const char* name) {
        auto* title = new QLabel(label, this);
        grid->addWidget(title, row, 0);
        auto* edit = new QLineEdit(this);
        edit->setObjectName(QLatin1String(name));
        // Screen readers name the field by its label.
        title->setBuddy(edit);
        edit->setMinimumHeight(26);
        grid->addWidget(edit, row, 1);
        auto* browse = new QToolButton(this);
        browse->setText(tr("浏览..."));
        browse->setFixedSize(80, 28);
        browse->setStyleSheet(kBrowseStyle);
        grid->addWidget(browse, row, 2);
        connect(browse, &QToolButton::clicked, this, [this, edit] { chooseFolder(edit); });
        connect(edit, &QLineEdit::textEdited, this, &CaptureSettingsPage::edited);
        ++row;
        return edit;
    };
    auto pairRow = [&](const QString& label, const QString& a, const QString& b, const char* nameA,
                       const char* nameB, QRadioButton** first, QRadioButton** second) {
        grid->addWidget(new QLabel(label, this), row, 0);
        auto* box = new QWidget(this);
        auto* line = new QHBoxLayout(box);
        line->setContentsMargins(0, 0, 0, 0);
        *first = new QRadioButton(a, box);
        *second = new QRadioButton(b, box);
        (*first)->setObjectName(QLatin1String(nameA));
        (*second)->setObjectName(QLatin1String(nameB));
        line->addWidget(*first);
        line->addWidget(*second);
        line->addStretch();
        auto* group = new QButtonGroup(box);
        group->addButton(*first);
        group->addButton(*second);
        connect(*first, &QRadioButton::clicked, this, &CaptureSettingsPage::edited);
        connect(*second, &QRadioButton::clicked, this, &CaptureSettingsPage::edited);
        grid->addWidget(box, row, 1, 1, 2);
        ++row;
    };

    m_recordFolder = folderRow(tr("录像文件夹:"), "leRecordFolder");
    pairRow(tr("录像格式:"), QStringLiteral("MP4"), QStringLiteral("MKV"), "rbRecordMp4",
            "rbRecordMkv", &m_mp4, &m_mkv);
    m_snapshotFolder = folderRow(tr("截图文件夹:"), "leSnapshotFolder");
    pairRow(tr("截图格式:"), QStringLiteral("PNG"), QStringLiteral("JPEG"), "rbSnapshotPng",
            "rbSnapshotJpg", &m_png, &m_jpg);
    m_boxes = new QCheckBox(tr("截图包含目标框"), this);
    m_boxes->setObjectName(QStringLiteral("cbSnapshotBoxes"));
    connect(m_boxes, &QCheckBox::clicked, this, &CaptureSettingsPage::edited);
    grid->addWidget(m_boxes, row++, 1, 1, 2);

    grid->addWidget(new QLabel(tr("摄像头:"), this), row, 0);
    // Where the webcam goes: PipeWire, or a v4l2loopback device (Linux; only
    // loopback devices are listed, greyed with how to make one when none is).
    m_webcamOutput = new QComboBox(this);
    m_webcamOutput->setObjectName(QStringLiteral("cbWebcamOutput"));
    m_webcamOutput->setMinimumHeight(26);
    m_webcamOutput->setToolTip(tr("PipeWire(浏览器、OBS、会议程序)"));
    m_webcamOutput->addItem(QStringLiteral("PipeWire"), QString());
    m_webcamOutput->setItemData(0, tr("PipeWire(浏览器、OBS、会议程序)"), Qt::ToolTipRole);
    const std::vector<LoopbackDevice> devices = listLoopbackDevices();
    for (const LoopbackDevice& d : devices) {
        m_webcamOutput->addItem(QStringLiteral("V4L2: %1").arg(QString::fromStdString(d.label)),
                                QString::fromStdString(d.path));
        m_webcamOutput->setItemData(m_webcamOutput->count() - 1, QString::fromStdString(d.path),
                                    Qt::ToolTipRole);
    }
    if (devices.empty()) {
        m_webcamOutput->addItem(tr("V4L2 回环设备(未找到)"), QString());
        const int none = m_webcamOutput->count() - 1;
        if (auto* model = qobject_cast<QStandardItemModel*>(m_webcamOutput->model()))
            model->item(none)->setEnabled(false);
        m_webcamOutput->setItemData(none,
                                    tr("没有 V4L2 回环设备。加载内核模块后重新打开设置:%1")
                                        .arg(QString::fromStdString(loopbackHowTo())),
                                    Qt::ToolTipRole);
    }
    connect(m_webcamOutput, QOverload<int>::of(&QComboBox::activated), this,
            &CaptureSettingsPage::edited);
    m_webcamAtStart = new QCheckBox(tr("启动时开启"), this);
    m_webcamAtStart->setObjectName(QStringLiteral("cbWebcamAtStart"));
    m_webcamAtStart->setToolTip(tr("程序启动时作为摄像头提供(orunapp 摄像头)"));
    connect(m_webcamAtStart, &QCheckBox::clicked, this, &CaptureSettingsPage::edited);
    auto* webcamRow = new QHBoxLayout();
    webcamRow->addWidget(m_webcamOutput, 1);
    webcamRow->addWidget(m_webcamAtStart);
    grid->addLayout(webcamRow, row++, 1, 1, 2);
    grid->addWidget(new QLabel(tr("直播输出:"), this), row, 0);
    m_kind = new QComboBox(this);
    m_kind->setObjectName(QStringLiteral("cbLiveKind"));
    m_kind->addItem(tr("SRT 监听(OBS、播放器)"));
    m_kind->addItem(tr("UDP 发送(MPEG-TS)"));
    m_kind->addItem(tr("RTMP 推流(直播平台)"));
    m_kind->setMinimumHeight(26);
    grid->addWidget(m_kind, row++, 1, 1, 2);
    auto* addressTitle = new QLabel(tr("地址:"), this);
    grid->addWidget(addressTitle, row, 0);
    m_address = new QLineEdit(this);
    m_address->setObjectName(QStringLiteral("leLiveAddress"));
    addressTitle->setBuddy(m_address);
    m_address->setMinimumHeight(26);
    grid->addWidget(m_address, row++, 1, 1, 2);
    // The SRT passphrase, or the RTMP stream key: typed, never shown.
    m_secretTitle = new QLabel(this);
    m_secretTitle->setObjectName(QStringLiteral("lbLiveSecret"));
    grid->addWidget(m_secretTitle, row, 0);
    m_secret = new QLineEdit(this);
    m_secret->setObjectName(QStringLiteral("leLiveSecret"));
    m_secret->setEchoMode(QLineEdit::Password);
    m_secretTitle->setBuddy(m_secret);
    m_secret->setMinimumHeight(26);
    grid->addWidget(m_secret, row++, 1, 1, 2);
    m_hint = new QLabel(this);
    m_hint->setObjectName(QStringLiteral("lbLiveHint"));
    m_hint->setWordWrap(true);
    m_hint->setTextInteractionFlags(Qt::TextSelectableByMouse);
    grid->addWidget(m_hint, row++, 0, 1, 3);
    // The pictures offered as a camera to other programs (the camera lists
    // show it as "orunapp camera").
    grid->setRowStretch(row, 1);
    grid->setColumnStretch(1, 1);

    connect(m_kind, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &CaptureSettingsPage::kindChosen);
    connect(m_address, &QLineEdit::textEdited, this, [this] {
        updateHint();
        emit edited();
    });
    connect(m_secret, &QLineEdit::textEdited, this, [this] {
        updateHint();
        emit edited();
    });

    m_saved = CaptureSettings::load();
    showSettings(m_saved);
}

void CaptureSettingsPage::showSettings(const CaptureSettings& settings) {
    m_filling = true;
    m_addresses = settings;
    m_recordFolder->setText(QDir::toNativeSeparators(settings.recordFolder));
    (settings.recordFormat == QLatin1String("mkv") ? m_mkv : m_mp4)->setChecked(true);
    m_snapshotFolder->setText(QDir::toNativeSeparators(settings.snapshotFolder));
    (settings.snapshotFormat == QLatin1String("jpg") ? m_jpg : m_png)->setChecked(true);
    m_boxes->setChecked(settings.snapshotBoxes);
    m_webcamAtStart->setChecked(settings.webcamAtStart);
    int output =
        settings.webcamDevice.isEmpty() ? 0 : m_webcamOutput->findData(settings.webcamDevice);
    if (output < 0) {
        // A device that is not there now stays chosen until another is.
        m_webcamOutput->addItem(tr("V4L2:%1(未找到)").arg(settings.webcamDevice),
                                settings.webcamDevice);
        output = m_webcamOutput->count() - 1;
    }
    m_webcamOutput->setCurrentIndex(output);
    m_shownKind = indexOfKind(settings.liveKind);
    m_kind->setCurrentIndex(m_shownKind);
    showAddress();
    updateHint();
    m_filling = false;
}

CaptureSettings CaptureSettingsPage::chosen() const {
    CaptureSettings s = m_addresses;
    s.recordFolder = QDir::fromNativeSeparators(m_recordFolder->text().trimmed());
    if (s.recordFolder.isEmpty())
        s.recordFolder = CaptureSettings::defaultRecordFolder();
    s.recordFormat = m_mkv->isChecked() ? QStringLiteral("mkv") : QStringLiteral("mp4");
    s.snapshotFolder = QDir::fromNativeSeparators(m_snapshotFolder->text().trimmed());
    if (s.snapshotFolder.isEmpty())
        s.snapshotFolder = CaptureSettings::defaultSnapshotFolder();
    s.snapshotFormat = m_jpg->isChecked() ? QStringLiteral("jpg") : QStringLiteral("png");
    s.snapshotBoxes = m_boxes->isChecked();
    s.webcamAtStart = m_webcamAtStart->isChecked();
    s.webcamDevice = m_webcamOutput->currentData().toString();
    s.liveKind = kKinds[m_shownKind];
    const QString address = m_address->text().trimmed();
    const QString secret = m_secret->text();
    switch (s.liveKind) {
    case LiveSettings::Kind::RtmpPush:
        s.liveRtmp = QString::fromStdString(
            LiveSettings::joinRtmpUrl(address.toStdString(), secret.trimmed().toStdString()));
        break;
    case LiveSettings::Kind::SrtListener:
        s.liveSrt = address;
        s.liveSrtPassphrase = secret;
        break;
    case LiveSettings::Kind::UdpMpegTs:
        s.liveUdp = address;
        break;
    }
    return s;
}

bool CaptureSettingsPage::changed() const {
    return chosen() != m_saved;
}

bool CaptureSettingsPage::apply() {
    const CaptureSettings settings = chosen();
    if (!CaptureSettings::addressValid(settings.liveKind, settings.liveAddress())) {
        const QString option = CaptureSettings::refusedOption(
            CaptureSettings::urlOf(settings.liveKind, settings.liveAddress()));
        if (settings.liveKind == LiveSettings::Kind::RtmpPush)
            m_hint->setText(tr("地址应为 rtmp:// 开头的推流地址"));
        else if (!option.isEmpty())
            m_hint->setText(tr("地址中的选项 %1 无法识别").arg(option));
        else
            m_hint->setText(tr("地址应为 主机:端口,例如 127.0.0.1:9710"));
        return false;
    }
    if (settings.liveKind == LiveSettings::Kind::SrtListener &&
        !CaptureSettings::passphraseValid(settings.liveSrtPassphrase)) {
        m_hint->setText(tr("密码应为 10 到 79 个字符"));
        return false;
    }
    settings.save();
    m_saved = settings;
    return true;
}

void CaptureSettingsPage::kindChosen(int index) {
    if (m_filling || index < 0 || index >= 3)
        return;
    // Keep the address typed for the kind that was shown.
    CaptureSettings edited = chosen();
    m_addresses = edited;
    m_shownKind = index;
    m_addresses.liveKind = kKinds[index];
    m_filling = true;
    showAddress();
    m_filling = false;
    updateHint();
    emit this->edited();
}

void CaptureSettingsPage::showAddress() {
    const LiveSettings::Kind kind = kKinds[m_shownKind];
    switch (kind) {
    case LiveSettings::Kind::RtmpPush: {
        // The server in the open, the stream key in its hidden field.
        const auto parts = LiveSettings::splitRtmpUrl(m_addresses.liveRtmp.toStdString());
        m_address->setText(QString::fromStdString(parts.first));
        m_secret->setText(QString::fromStdString(parts.second));
        m_secretTitle->setText(tr("串流密钥:"));
        break;
    }
    case LiveSettings::Kind::SrtListener:
        m_address->setText(m_addresses.liveSrt);
        m_secret->setText(m_addresses.liveSrtPassphrase);
        m_secretTitle->setText(tr("SRT 密码:"));
        break;
    case LiveSettings::Kind::UdpMpegTs:
        m_address->setText(m_addresses.liveUdp);
        m_secret->clear();
        break;
    }
    m_secret->setVisible(kind != LiveSettings::Kind::UdpMpegTs);
    m_secretTitle->setVisible(kind != LiveSettings::Kind::UdpMpegTs);
}

void CaptureSettingsPage::chooseFolder(QLineEdit* edit) {
    const QString folder = QFileDialog::getExistingDirectory(
        this, tr("选择文件夹"), QDir::fromNativeSeparators(edit->text().trimmed()));
    if (folder.isEmpty())
        return;
    edit->setText(QDir::toNativeSeparators(folder));
    emit edited();
}

void CaptureSettingsPage::updateHint() {
    const LiveSettings live = chosen().live();
    const QString url = QString::fromStdString(live.shownUrl());
    switch (live.kind) {
    case LiveSettings::Kind::SrtListener:
        m_hint->setText(tr("OBS:添加“媒体源”,取消“本地文件”,输入 %1\n播放器:ffplay %1").arg(url));
        break;
    case LiveSettings::Kind::UdpMpegTs:
        m_hint->setText(tr("播放器或 OBS 打开 %1").arg(url));
        break;
    case LiveSettings::Kind::RtmpPush:
        m_hint->setText(tr("直播平台给出的服务器地址和串流密钥"));
        break;
    }
}
