#pragma once

// The game controller's buttons in the main window: each gives the command
// of a key, so that it does just what that key does.

#include "app/gamepad/GamepadMapping.h"
#include "ui/KeyMap.h"

#include <QString>
#include <QVector>

struct GamepadBinding {
    GamepadButton button;
    const char* name; // as printed on the pad
    KeyCommand command;
};

// Every button, in the order the key help lists them.
const QVector<GamepadBinding>& gamepadBindings();
const GamepadBinding& gamepadBinding(GamepadButton button);

// The rows of the key help for the controller: what is moved or pressed
// (translated), then what it does.
QVector<QPair<QString, QString>> gamepadHelpRows();
