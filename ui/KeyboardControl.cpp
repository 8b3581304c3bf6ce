#include "ui/KeyboardControl.h"

#include <QAbstractSpinBox>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QWidget>

namespace {

// The bit of an arrow key in the held set; 0 for other keys.
int arrowBit(int key) {
    switch (key) {
    case Qt::Key_Left:
        return 1;
    case Qt::Key_Up:
        return 2;
    case Qt::Key_Right:
        return 4;
    case Qt::Key_Down:
        return 8;
    default:
        return 0;
    }
}

} // namespace

KeyboardControl::KeyboardControl(QWidget* window) : QObject(window), m_window(window) {
    for (const KeyBinding& binding : keyBindings()) {
        if (binding.keys.isEmpty())
            continue;
        auto* action = new QAction(commandWords(binding.command), window);
        action->setShortcuts(binding.keys);
        action->setShortcutContext(Qt::WindowShortcut);
        action->setAutoRepeat(binding.autoRepeat);
        const KeyCommand command = binding.command;
        connect(action, &QAction::triggered, this, [this, command] { run(command); });
        window->addAction(action);
        m_actions[command] = action;
    }
    // Key releases go to whichever widget has focus: the application's
    // filter sees all of them first.
    qApp->installEventFilter(this);
}

KeyboardControl::~KeyboardControl() {
    if (QCoreApplication::instance())
        QCoreApplication::instance()->removeEventFilter(this);
}

void KeyboardControl::bind(KeyCommand command, std::function<void()> handler) {
    m_handlers[command] = std::move(handler);
}

void KeyboardControl::bindGimbal(std::function<void(int, int)> steer,
                                 std::function<void()> release) {
    m_steer = std::move(steer);
    m_release = std::move(release);
}

QAction* KeyboardControl::action(KeyCommand command) const {
    const auto it = m_actions.find(command);
    return it == m_actions.end() ? nullptr : it->second;
}

bool KeyboardControl::textFieldHasFocus() {
    QWidget* focus = QApplication::focusWidget();
    if (!focus)
        return false;
    if (qobject_cast<QLineEdit*>(focus) || qobject_cast<QTextEdit*>(focus) ||
        qobject_cast<QPlainTextEdit*>(focus) || qobject_cast<QAbstractSpinBox*>(focus))
        return true;
    auto* combo = qobject_cast<QComboBox*>(focus);
    return combo && combo->isEditable();
}

void KeyboardControl::run(KeyCommand command) {
    if (textFieldHasFocus())
        return;
    runCommand(command);
}

void KeyboardControl::runCommand(KeyCommand command) {
    const auto it = m_handlers.find(command);
    if (it != m_handlers.end() && it->second)
        it->second();
}

void KeyboardControl::setHeld(int bits) {
    if (bits == m_held)
        return;
    m_held = bits;
    if (m_held == 0) {
        if (m_release)
            m_release();
        return;
    }
    const int dx = ((m_held & 4) ? 1 : 0) - ((m_held & 1) ? 1 : 0);
    const int dy = ((m_held & 8) ? 1 : 0) - ((m_held & 2) ? 1 : 0);
    if (m_steer)
        m_steer(dx, dy);
}

bool KeyboardControl::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type == QEvent::KeyPress || type == QEvent::KeyRelease) {
        auto* key = static_cast<QKeyEvent*>(event);
        const int bit = arrowBit(key->key());
        if (bit == 0 || (key->modifiers() & ~Qt::KeypadModifier) != 0 || !m_window)
            return false;
        // A key released after the window lost the focus still ends the motion.
        const bool ours = QApplication::activeWindow() == m_window && !textFieldHasFocus();
        if (type == QEvent::KeyPress) {
            if (!ours)
                return false;
            // Auto-repeat while held changes nothing: the motion goes on
            // until the key comes up.
            if (!key->isAutoRepeat())
                setHeld(m_held | bit);
            return true;
        }
        if ((m_held & bit) == 0)
            return false;
        if (!key->isAutoRepeat())
            setHeld(m_held & ~bit);
        return true;
    }
    // Keys let go while another window has the focus never come up here:
    // the motion ends when the window loses it.
    if ((type == QEvent::WindowDeactivate && watched == m_window) ||
        type == QEvent::ApplicationDeactivate) {
        setHeld(0);
    }
    return false;
}
