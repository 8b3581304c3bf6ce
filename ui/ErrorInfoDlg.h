#pragma once

#include <QString>
#include <QWidget>

namespace Ui {
class ErrorInfoDlg;
}

// One fault banner over the video: severity icon, message and, unless the
// message is red (level 0), a close button. Closing only hides the banner; the
// fault stays listed in the hub, so the banner returns when the banners are
// rebuilt.
class ErrorInfoDlg : public QWidget {
    Q_OBJECT
public:
    explicit ErrorInfoDlg(QWidget* parent = nullptr);
    ~ErrorInfoDlg() override;

    void setMessage(int id, int level, const QString& text);
    // Makes the banner `width` pixels wide (370 by default), the message
    // taking the room.
    void setBannerWidth(int width);

    int id() const { return m_id; }
    int level() const { return m_level; }
    QString text() const { return m_text; }

    // Style sheet of the severity icon for a level (no icon for unknown levels).
    static QString iconStyle(int level);

public slots:
    void on_tbClose_clicked();

private:
    Ui::ErrorInfoDlg* ui;
    int m_id = 0;
    int m_level = 2;
    QString m_text;
};
