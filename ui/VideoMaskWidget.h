#pragma once

#include <QWidget>

class QMovie;

namespace Ui {
class VideoMaskWidget;
}

// Loading mask: a semi-transparent dark layer with a centred loading animation,
// shown over the video while a widget waits for a camera operation. One
// instance per process; callers show and hide it.
class VideoMaskWidget : public QWidget {
    Q_OBJECT
public:
    static VideoMaskWidget* instance();
    ~VideoMaskWidget() override;

    // Geometry of the loading indicator inside the mask.
    QRect indicatorGeometry() const;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    explicit VideoMaskWidget(QWidget* parent = nullptr);
    void placeIndicator();

    Ui::VideoMaskWidget* ui;
    QMovie* m_movie = nullptr;
    int m_setupDepth = 0;
};
