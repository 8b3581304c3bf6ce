#pragma once

#include <QWidget>

// The main window (first, plain version: a frameless window with a close button).
class OrunAppUI : public QWidget {
    Q_OBJECT
public:
    explicit OrunAppUI(QWidget* parent = nullptr);
};
