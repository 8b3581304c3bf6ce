#pragma once

#include "ui/KeyHelpDialog.h"

#include <QPoint>
#include <QPointer>
#include <QWidget>

namespace Ui {
class OrunAppUI;
}
class KeyboardControl;
class StatsOverlay;
class CaptureBar;

// The one top-level window: a frameless window with its own title bar (a small
// toolbar, the connection icon, minimise, maximise and close), moved by
// dragging and resized by dragging its edges. Below the bar the video area
// holds the video widget, the overlay of the current picture layout and the
// loading mask. The construction wires the event hub's signals to their
// receivers.
class OrunAppUI : public QWidget {
    Q_OBJECT
public:
    explicit OrunAppUI(QWidget* parent = nullptr);
    ~OrunAppUI() override;

    bool isMaximizedView() const { return bMaximized; }
    bool isFullScreenView() const { return bFullScreen; }

    // The widgets of the video area: the video widget, the overlay of a layout
    // (nullptr when the overlays are not part of this build) and the mask.
    QWidget* videoView() const { return m_videoView; }
    QWidget* overlayView(int layout) const;
    QWidget* maskView() const { return m_maskView; }
    // The statistics over the video, the keyboard and the list of keys
    // (nullptr until first shown).
    StatsOverlay* statsView() const { return m_stats; }
    KeyboardControl* keyboard() const { return m_keys; }
    KeyHelpDialog* keyHelp() const { return m_keyHelp; }

    // Enters or leaves full screen as the overlay's full-screen button does.
    void setFullScreenView(bool fullScreen);
    // Shows the list of keys.
    void showKeyHelp();
    // The capture buttons of the title bar (record, snapshot, live output on
    // the PC); CaptureControl::instance() is their programmatic entry.
    CaptureBar* captureBar() const { return m_captureBar; }

public slots:
    void slot_showConnectSatus(int iState);
    void slot_showFullScreen(bool bFullScreen);
    void slot_syncScreenSize();
    void on_tbSmall_clicked();
    void on_tbMax_clicked();
    void on_tbClose_clicked();
    void on_cbShowTarget_clicked(bool checked);
    void on_cbShowStats_clicked(bool checked);
    void on_tbPhoto_clicked();
    void on_tbCameraSetting_clicked();
    void on_tbAutoSetting_clicked();
    void on_tbGeneraSetting_clicked();
    void on_tbLiveSetting_clicked();
    void on_tbAboutUs_clicked();
    void on_tbHelp_clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void setupWindow();
    void placeChildren();
    void makeConnections();
    void makeKeys();
    void setMaxButtonNormal();
    void setMaxButtonMaximized();
    QRect screenRect() const;
    // Places the picture widgets by the fit for the current layout.
    void fitPicture();
    void placePicture(const QRect& picture, const QRect& mask);
    // Overlay shown for the current layout, or nullptr.
    QWidget* currentOverlay() const;

    Ui::OrunAppUI* ui;
    bool bPressed = false;
    bool bMaximized = false;
    bool bFullScreen = false;
    int iDragRegion = 22;
    int iSetupDepth = 0;
    QPoint ptLastGlobal;

    QWidget* m_videoView = nullptr;
    QWidget* m_overlays[5] = {nullptr, nullptr, nullptr, nullptr, nullptr};
    QWidget* m_maskView = nullptr;
    StatsOverlay* m_stats = nullptr;
    KeyboardControl* m_keys = nullptr;
    QPointer<KeyHelpDialog> m_keyHelp;
    CaptureBar* m_captureBar = nullptr;
};
