#pragma once

#include <QKeySequence>
#include <QList>
#include <QString>
#include <QVector>

class QWidget;

// The keys of the main window: what each command is, the keys that give it
// and the words that describe it (in the help, and in the tooltip of the
// control that does the same). A new command is a value here, a row in
// keyBindings() and a handler bound by the window.
enum class KeyCommand {
    Gimbal,          // the arrow keys, while held
    ZoomIn,          // one step of the zoom slider up
    ZoomOut,         // one step down
    Shutter,         // the shutter of the current mode
    CameraVideo,     // start or stop the camera's video recording
    ModeSwitch,      // photo / video mode
    GimbalLock,      // lock or free the gimbal
    PcRecording,     // start or stop recording on the PC
    PcSnapshot,      // save the current picture on the PC
    PcWebcam,        // offer the pictures as a camera to other programs, or stop
    TargetBoxes,     // show or hide the target boxes
    FullScreen,      // enter or leave full screen
    LeaveFullScreen, // leave full screen
    Settings,        // the settings dialog
    Statistics,      // show or hide the statistics over the video
    Help,            // the list of keys
};

struct KeyBinding {
    KeyCommand command;
    QList<QKeySequence> keys; // empty for the arrow keys, which are held
    int named;                // the first this many keys are named to the user
    const char* words;        // untranslated (context "orunapp")
    bool autoRepeat;          // a held key repeats the command
};

// Every binding, in the order the help lists them.
const QVector<KeyBinding>& keyBindings();
const KeyBinding& keyBinding(KeyCommand command);

// The keys of a command as the user reads them, e.g. "F, F11" (translated).
QString keyNames(KeyCommand command);
// The translated words of a command.
QString commandWords(KeyCommand command);

// Tooltip and accessible name of a control: the same words, so that screen
// readers and interface test tools find the control by what its tooltip says.
void nameControl(QWidget* control, const QString& words);
// The words of a control with the keys that do the same, e.g. "Full screen (F, F11)".
QString withKeys(const QString& words, KeyCommand command);
// Gives every button, combo box and text field under `root` that has no
// accessible name one: its tooltip, else its text (which becomes its tooltip too).
void nameUnnamedControls(QWidget* root);
