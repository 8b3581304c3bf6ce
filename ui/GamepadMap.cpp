#include "ui/GamepadMap.h"

#include <QCoreApplication>

const QVector<GamepadBinding>& gamepadBindings() {
    static const QVector<GamepadBinding> bindings = {
        {GamepadButton::A, "A", KeyCommand::Shutter},
        {GamepadButton::B, "B", KeyCommand::ModeSwitch},
        {GamepadButton::X, "X", KeyCommand::GimbalLock},
        {GamepadButton::Y, "Y", KeyCommand::TargetBoxes},
        {GamepadButton::Start, "Start", KeyCommand::FullScreen},
        {GamepadButton::Back, "Back", KeyCommand::Statistics},
    };
    return bindings;
}

const GamepadBinding& gamepadBinding(GamepadButton button) {
    for (const GamepadBinding& b : gamepadBindings())
        if (b.button == button)
            return b;
    return gamepadBindings().front();
}

QVector<QPair<QString, QString>> gamepadHelpRows() {
    auto tr = [](const char* text) { return QCoreApplication::translate("orunapp", text); };
    QVector<QPair<QString, QString>> rows;
    rows.append({tr(QT_TRANSLATE_NOOP("orunapp", "左摇杆")),
                 tr(QT_TRANSLATE_NOOP("orunapp", "转动云台,松开后恢复跟踪"))});
    rows.append({tr(QT_TRANSLATE_NOOP("orunapp", "右摇杆上下 / 扳机")),
                 tr(QT_TRANSLATE_NOOP("orunapp", "放大 / 缩小"))});
    for (const GamepadBinding& b : gamepadBindings())
        rows.append({QString::fromLatin1(b.name), commandWords(b.command)});
    return rows;
}
