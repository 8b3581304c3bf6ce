#pragma once

#include <QDialog>

// The list of the main window's keys (F1): every command of the key map with
// its keys, and beside them the game controller's sticks and buttons, in the
// interface language.
class KeyHelpDialog : public QDialog {
    Q_OBJECT
public:
    explicit KeyHelpDialog(QWidget* parent = nullptr);

    // The rows as shown: keys (or the controller's stick or button), then
    // what they do; the controller's rows from gamepadFrom() on.
    QList<QPair<QString, QString>> rows() const { return m_rows; }
    int gamepadFrom() const { return m_gamepadFrom; }

private:
    QList<QPair<QString, QString>> m_rows;
    int m_gamepadFrom = 0;
};
