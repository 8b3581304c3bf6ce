#pragma once

#include <QImage>
#include <QOpenGLFunctions>
#include <QOpenGLWidget>
#include <QPointF>

#include <opencv2/core.hpp>

// Shows the decoded video as one textured quad and draws the focus circle.
class VideoWidget : public QOpenGLWidget, protected QOpenGLFunctions {
    Q_OBJECT
public:
    static VideoWidget* instance();

public slots:
    void slot_showVideoFrame(cv::Mat matRgb);
    void slot_showVideoBgImg(QImage img);
    void slot_drawFocusCircle(QPointF ptCenter, bool bDraw);

protected:
    explicit VideoWidget(QWidget* parent = nullptr);
    // (members are added by the implementation)
};
