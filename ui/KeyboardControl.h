#pragma once

#include "ui/KeyMap.h"

#include <QObject>
#include <QPointer>

#include <functional>
#include <map>

class QAction;
class QWidget;

// The keyboard of the main window. Each command of the key map is a QAction
// of the window (window shortcut context: it works whichever overlay shows,
// also in full screen, and not while a dialog of its own is active); the
// arrow keys are watched as they go down and up, so that the gimbal turns
// while they are held. Nothing happens while a text field has focus, and a
// held key repeats only the commands that ask for it.
class KeyboardControl : public QObject {
    Q_OBJECT
public:
    explicit KeyboardControl(QWidget* window);
    ~KeyboardControl() override;

    // What a command does; a command without a handler does nothing.
    void bind(KeyCommand command, std::function<void()> handler);
    // The arrow keys: `steer` with the direction of the keys held (dx, dy:
    // −1, 0 or 1, y down) whenever it changes, `release` once none is held.
    void bindGimbal(std::function<void(int dx, int dy)> steer, std::function<void()> release);

    // Runs what a command's keys run, whoever asks (a game controller's
    // button); nothing for a command without a handler.
    void runCommand(KeyCommand command);

    // The window's action of a command (nullptr for the arrow keys).
    QAction* action(KeyCommand command) const;
    // Whether arrow keys are held down now.
    bool gimbalKeysHeld() const { return m_held != 0; }

    // True while the focus is in a field that takes typed text.
    static bool textFieldHasFocus();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void run(KeyCommand command);
    void setHeld(int bits);

    QPointer<QWidget> m_window;
    std::map<KeyCommand, QAction*> m_actions;
    std::map<KeyCommand, std::function<void()>> m_handlers;
    std::function<void(int, int)> m_steer;
    std::function<void()> m_release;
    int m_held = 0; // bits: left, up, right, down
};
