#include "ui/OrunAppUI.h"

#include <QToolButton>
#include <QVBoxLayout>

OrunAppUI::OrunAppUI(QWidget* parent) : QWidget(parent) {
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setWindowTitle("OrunAppV1.0.2");
    resize(1366, 768);
    auto* layout = new QVBoxLayout(this);
    auto* close = new QToolButton(this);
    close->setText("X");
    layout->addWidget(close, 0, Qt::AlignRight | Qt::AlignTop);
    connect(close, &QToolButton::clicked, this, &QWidget::close);
}
