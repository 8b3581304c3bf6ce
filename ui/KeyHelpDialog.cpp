#include "ui/KeyHelpDialog.h"

#include "ui/GamepadMap.h"
#include "ui/KeyMap.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <QVariant>

KeyHelpDialog::KeyHelpDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("键盘快捷键"));
    setObjectName(QStringLiteral("KeyHelpDialog"));
    setStyleSheet(
        QStringLiteral("#KeyHelpDialog{background-color: rgb(30, 30, 30);}"
                       "QLabel{color: rgb(220, 220, 220);}"
                       "QLabel[role=\"key\"]{color: rgb(255, 255, 255);font-weight: bold;}"
                       "QPushButton{color: rgb(255, 255, 255);background-color: rgb(0, 120, 210);"
                       "border: none;border-radius: 4px;padding: 5px 18px;}"
                       "QPushButton:hover{background-color: rgb(0, 140, 230);}"));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 16, 20, 16);
    layout->setSpacing(12);
    auto* title = new QLabel(tr("键盘快捷键"), this);
    QFont big = title->font();
    big.setPointSizeF(big.pointSizeF() * 1.25);
    big.setBold(true);
    title->setFont(big);
    layout->addWidget(title);

    auto* grid = new QGridLayout();
    grid->setHorizontalSpacing(24);
    grid->setVerticalSpacing(6);
    int row = 0;
    auto addRow = [&](QGridLayout* into, const QString& keys, const QString& words) {
        m_rows.append({keys, words});
        auto* keyLabel = new QLabel(keys, this);
        keyLabel->setProperty("role", QStringLiteral("key"));
        into->addWidget(keyLabel, row, 0);
        into->addWidget(new QLabel(words, this), row, 1);
        ++row;
    };
    for (const KeyBinding& binding : keyBindings())
        addRow(grid, keyNames(binding.command), commandWords(binding.command));
    grid->setColumnStretch(1, 1);

    // The game controller's sticks and buttons, beside the keys.
    auto* pad = new QGridLayout();
    pad->setHorizontalSpacing(24);
    pad->setVerticalSpacing(6);
    row = 0;
    auto* padTitle = new QLabel(tr("游戏手柄"), this);
    padTitle->setProperty("role", QStringLiteral("key"));
    pad->addWidget(padTitle, row++, 0, 1, 2);
    m_gamepadFrom = m_rows.size();
    for (const auto& [control, words] : gamepadHelpRows())
        addRow(pad, control, words);
    pad->setColumnStretch(1, 1);
    pad->setRowStretch(row, 1);

    auto* columns = new QHBoxLayout();
    columns->setSpacing(36);
    columns->addLayout(grid);
    columns->addLayout(pad);
    layout->addLayout(columns);

    auto* close = new QPushButton(tr("关闭"), this);
    close->setObjectName(QStringLiteral("pbClose"));
    nameControl(close, tr("关闭"));
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    layout->addWidget(close, 0, Qt::AlignRight);
}
