#pragma once

#include <QDialog>

// The list of the main window's keys (F1): every command of the key map with
// its keys, in the interface language.
class KeyHelpDialog : public QDialog {
    Q_OBJECT
public:
    explicit KeyHelpDialog(QWidget* parent = nullptr);

    // The rows as shown: keys, then what they do.
    QList<QPair<QString, QString>> rows() const { return m_rows; }

private:
    QList<QPair<QString, QString>> m_rows;
};
