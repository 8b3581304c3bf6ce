#include "ui/KeyMap.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QStringList>
#include <QWidget>

namespace {

const char* const kContext = "orunapp";

} // namespace

const QVector<KeyBinding>& keyBindings() {
    // Keys are the same on every keyboard layout Qt maps to these codes; the
    // unshifted "=" serves as "+" on keyboards where "+" needs Shift.
    static const QVector<KeyBinding> bindings = {
        {KeyCommand::Gimbal, {}, 0, QT_TRANSLATE_NOOP("orunapp", "按住转动云台"), false},
        {KeyCommand::ZoomIn,
         {QKeySequence(Qt::Key_Plus), QKeySequence(Qt::Key_Equal),
          QKeySequence(Qt::KeypadModifier | Qt::Key_Plus)},
         1,
         QT_TRANSLATE_NOOP("orunapp", "放大一级"),
         true},
        {KeyCommand::ZoomOut,
         {QKeySequence(Qt::Key_Minus), QKeySequence(Qt::KeypadModifier | Qt::Key_Minus)},
         1,
         QT_TRANSLATE_NOOP("orunapp", "缩小一级"),
         true},
        {KeyCommand::Shutter,
         {QKeySequence(Qt::Key_Space)},
         1,
         QT_TRANSLATE_NOOP("orunapp", "快门(当前模式)"),
         false},
        {KeyCommand::CameraVideo,
         {QKeySequence(Qt::Key_V)},
         1,
         QT_TRANSLATE_NOOP("orunapp", "相机开始/停止录像"),
         false},
        {KeyCommand::ModeSwitch,
         {QKeySequence(Qt::Key_M)},
         1,
         QT_TRANSLATE_NOOP("orunapp", "切换拍照/录像模式"),
         false},
        {KeyCommand::GimbalLock,
         {QKeySequence(Qt::Key_L)},
         1,
         QT_TRANSLATE_NOOP("orunapp", "云台锁定/解锁"),
         false},
        // Plain letters: Ctrl+Shift+S (the statistics) is another key.
        {KeyCommand::PcRecording,
         {QKeySequence(Qt::Key_R)},
         1,
         QT_TRANSLATE_NOOP("orunapp", "在电脑上开始/停止录像"),
         false},
        {KeyCommand::PcSnapshot,
         {QKeySequence(Qt::Key_S)},
         1,
         QT_TRANSLATE_NOOP("orunapp", "在电脑上保存当前画面"),
         false},
        {KeyCommand::PcWebcam,
         {QKeySequence(Qt::Key_W)},
         1,
         QT_TRANSLATE_NOOP("orunapp", "作为摄像头提供给其他程序/停止"),
         false},
        {KeyCommand::TargetBoxes,
         {QKeySequence(Qt::Key_T)},
         1,
         QT_TRANSLATE_NOOP("orunapp", "显示/隐藏目标框"),
         false},
        {KeyCommand::FullScreen,
         {QKeySequence(Qt::Key_F), QKeySequence(Qt::Key_F11)},
         2,
         QT_TRANSLATE_NOOP("orunapp", "全屏/退出全屏"),
         false},
        {KeyCommand::LeaveFullScreen,
         {QKeySequence(Qt::Key_Escape)},
         1,
         QT_TRANSLATE_NOOP("orunapp", "退出全屏"),
         false},
        {KeyCommand::Settings,
         {QKeySequence(Qt::CTRL | Qt::Key_Comma)},
         1,
         QT_TRANSLATE_NOOP("orunapp", "打开设置"),
         false},
        {KeyCommand::Statistics,
         {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S)},
         1,
         QT_TRANSLATE_NOOP("orunapp", "显示/隐藏统计信息"),
         false},
        {KeyCommand::Help,
         {QKeySequence(Qt::Key_F1)},
         1,
         QT_TRANSLATE_NOOP("orunapp", "键盘快捷键"),
         false},
    };
    return bindings;
}

const KeyBinding& keyBinding(KeyCommand command) {
    for (const KeyBinding& b : keyBindings()) {
        if (b.command == command)
            return b;
    }
    return keyBindings().front();
}

QString keyNames(KeyCommand command) {
    if (command == KeyCommand::Gimbal)
        return QCoreApplication::translate(kContext, "方向键");
    const KeyBinding& binding = keyBinding(command);
    QStringList names;
    for (int i = 0; i < binding.named && i < binding.keys.size(); ++i)
        names << binding.keys[i].toString(QKeySequence::NativeText);
    return names.join(QStringLiteral(", "));
}

QString commandWords(KeyCommand command) {
    return QCoreApplication::translate(kContext, keyBinding(command).words);
}

void nameControl(QWidget* control, const QString& words) {
    control->setToolTip(words);
    control->setAccessibleName(words);
}

QString withKeys(const QString& words, KeyCommand command) {
    return QStringLiteral("%1 (%2)").arg(words, keyNames(command));
}

void nameUnnamedControls(QWidget* root) {
    for (QWidget* w : root->findChildren<QWidget*>()) {
        const bool control = qobject_cast<QAbstractButton*>(w) || qobject_cast<QComboBox*>(w) ||
                             qobject_cast<QLineEdit*>(w) || qobject_cast<QAbstractSlider*>(w);
        if (!control || !w->accessibleName().isEmpty())
            continue;
        QString words = w->toolTip();
        if (words.isEmpty()) {
            if (auto* button = qobject_cast<QAbstractButton*>(w))
                words = button->text().remove(QLatin1Char('&'));
        }
        if (!words.isEmpty())
            nameControl(w, words);
    }
}
