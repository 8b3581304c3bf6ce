#pragma once

#include <QImage>
#include <QOpenGLBuffer>
#include <QOpenGLFunctions>
#include <QOpenGLShaderProgram>
#include <QOpenGLWidget>
#include <QPointF>

#include "hub/PlanePicture.h"
#include "video/PlaneColour.h"
#include "video/SurfaceImport.h"

#include <opencv2/core.hpp>

#include <array>

// Wraps a picture matrix in a QImage: 8-bit grey becomes an indexed copy,
// 8-bit R, G, B and 8-bit four-channel matrices are wrapped without a copy
// (the image is valid only while the matrix is). Any other type logs an error
// and gives a null image.
QImage matToQImage(const cv::Mat& mat);

// Shows the video as one textured quad and draws the focus circle. Stream
// pictures come as the decoder's planes (slot_showVideoPlanes): the planes are
// uploaded as two or three textures and converted in the fragment shader by
// the picture's own matrix, and the target boxes and the focus circle are
// drawn over them. A software rasterizer (Mesa's llvmpipe, say) copies a
// plain texture far faster than it runs that shader: for it the display stage
// converts the pictures to R, G, B, A as well, and the widget uploads those. Pictures that are R,
// G, B already (the stop-video picture, the background) come through slot_showVideoFrame and
// slot_showVideoBgImg.
class VideoWidget : public QOpenGLWidget, protected QOpenGLFunctions {
    Q_OBJECT
public:
    static VideoWidget* instance();

    // State of the focus circle, for the overlay and for inspection.
    float circleRadius() const { return m_radius; }
    bool circleDrawn() const { return m_drawCircle; }
    std::array<double, 4> circleColor() const { return m_circleColor; }
    // The last R, G, B picture; null while the decoder's planes are shown.
    const QImage& currentImage() const { return m_image; }
    // The size of the picture whose planes are shown (empty when none).
    QSize planesSize() const {
        return m_planesShown ? QSize(m_planes.width, m_planes.height) : QSize();
    }

public slots:
    void slot_showVideoFrame(cv::Mat matRgb);
    void slot_showVideoPlanes(PlanePicture picture);
    void slot_showVideoBgImg(QImage img);
    void slot_drawFocusCircle(QPointF ptCenter, bool bDraw);

protected:
    explicit VideoWidget(QWidget* parent = nullptr);

    void initializeGL() override;
    void paintGL() override;
    void timerEvent(QTimerEvent* event) override;

private:
    // What the planes' textures hold.
    struct PlaneTextures {
        bool interleaved = false; // NV12: one texture of Cb, Cr pairs
        bool surface = false;     // an imported surface: the pairs in red and green
        int lumaWidth = 0;        // texels (the line size)
        int chromaWidth = 0;
        int height = 0;
    };

    void killCircleTimers();
    float fullRadius() const;
    // The picture's quad with `program` bound, and back.
    void bindQuad(QOpenGLShaderProgram& program);
    void releaseQuad(QOpenGLShaderProgram& program);
    void drawImage();
    // Uploads the pending planes into the plane textures; false when the
    // frame's layout cannot be shown.
    bool uploadPlanes();
    // An imported hardware surface into the plane textures; false when it
    // could not be imported (the import is then given up).
    bool importSurface();
    void makePlaneTextures();
    // Whether the picture can be shown: its layout, or a surface the import takes.
    bool showable(const PlanePicture& picture) const;
    void drawPlanes();
    // The planes' R, G, B, A conversion, for a software rasterizer.
    void drawRgba();
    // Rectangles in picture pixels, and the focus circle, over the planes.
    void drawOverlays();
    void fillShape(const QVector<GLfloat>& triangles, const QColor& colour);

    QOpenGLShaderProgram m_program;
    QOpenGLShaderProgram m_planeProgram;
    QOpenGLShaderProgram m_shapeProgram;
    QOpenGLBuffer m_vertexBuffer{QOpenGLBuffer::VertexBuffer};
    GLuint m_texture = 0;
    GLuint m_rgbaTexture = 0;
    QSize m_rgbaSize;
    std::array<GLuint, 3> m_planeTextures{{0, 0, 0}};
    QImage m_image;

    // The planes shown (or to be uploaded at the next paint while
    // m_planesPending). The frame is held until the next picture, so that a
    // new context can be given the picture again.
    PlanePicture m_planes;
    bool m_planesPending = false;
    bool m_planesShown = false;
    bool m_rgbaPending = false; // m_planes.rgba is still to be uploaded
    PlaneTextures m_uploaded;
    // Hardware surfaces straight into the textures, where the system can.
    std::unique_ptr<SurfaceImport> m_import;
    PlaneColour m_colour;

    int m_hideTimerId = 0;
    int m_shrinkTimerId = 0;
    float m_radius = 35.0f;
    std::array<double, 4> m_circleColor{{255, 255, 255, 0}};
    QPointF m_circleCenter{0, 0};
    bool m_drawCircle = false;
};
