#pragma once

#include <QImage>
#include <QOpenGLBuffer>
#include <QOpenGLFunctions>
#include <QOpenGLShaderProgram>
#include <QOpenGLWidget>
#include <QPointF>

#include <opencv2/core.hpp>

#include <array>

// Wraps a picture matrix in a QImage: 8-bit grey becomes an indexed copy,
// 8-bit R, G, B and 8-bit four-channel matrices are wrapped without a copy
// (the image is valid only while the matrix is). Any other type logs an error
// and gives a null image.
QImage matToQImage(const cv::Mat& mat);

// Shows the decoded video as one textured quad and draws the focus circle.
class VideoWidget : public QOpenGLWidget, protected QOpenGLFunctions {
    Q_OBJECT
public:
    static VideoWidget* instance();

    // State of the focus circle, for the overlay and for inspection.
    float circleRadius() const { return m_radius; }
    bool circleDrawn() const { return m_drawCircle; }
    std::array<double, 4> circleColor() const { return m_circleColor; }
    const QImage& currentImage() const { return m_image; }

public slots:
    void slot_showVideoFrame(cv::Mat matRgb);
    void slot_showVideoBgImg(QImage img);
    void slot_drawFocusCircle(QPointF ptCenter, bool bDraw);

protected:
    explicit VideoWidget(QWidget* parent = nullptr);

    void initializeGL() override;
    void paintGL() override;
    void timerEvent(QTimerEvent* event) override;

private:
    void killCircleTimers();
    float fullRadius() const;

    QOpenGLShaderProgram m_program;
    QOpenGLBuffer m_vertexBuffer{QOpenGLBuffer::VertexBuffer};
    GLuint m_texture = 0;
    QImage m_image;

    int m_hideTimerId = 0;
    int m_shrinkTimerId = 0;
    float m_radius = 35.0f;
    std::array<double, 4> m_circleColor{{255, 255, 255, 0}};
    QPointF m_circleCenter{0, 0};
    bool m_drawCircle = false;
};
