#include "video/VideoWidget.h"

#include "hub/OrunAppFace.h"
#include "video/LatencyTrace.h"

#include <QCoreApplication>
#include <QDebug>
#include <QTimerEvent>
#include <QVector>

#include <opencv2/imgproc.hpp>

#include <cmath>
#include <cstring>

namespace {

const char* const kVertexShader =
    "attribute highp vec4 vertexIn;              attribute mediump vec4 textureIn;              "
    "varying mediump vec4 textureOut;               uniform mediump mat4 matrix;             void "
    "main(void)                        {                                          gl_Position = "
    "vertexIn;                  textureOut = textureIn;              }";

const char* const kFragmentShader = "uniform sampler2D textureRGB;\n"
                                    "varying mediump vec4 textureOut;\n"
                                    "void main(void)\n"
                                    "{\n"
                                    "gl_FragColor = texture2D(textureRGB, textureOut.st); \n"
                                    "}\n";

// Clip-space corners, then the texture coordinates: the image's first scan
// line is shown at the top.
const GLfloat kVertices[16] = {-1, 1, 1, 1, 1, -1, -1, -1, 0, 0, 1, 0, 1, 1, 0, 1};

} // namespace

QImage matToQImage(const cv::Mat& mat) {
    switch (mat.type()) {
    case CV_8UC1: {
        QImage image(mat.cols, mat.rows, QImage::Format_Indexed8);
        QVector<QRgb> table(256);
        for (int i = 0; i < 256; ++i)
            table[i] = qRgb(i, i, i);
        image.setColorTable(table);
        for (int row = 0; row < mat.rows; ++row)
            std::memcpy(image.scanLine(row), mat.ptr(row), static_cast<size_t>(mat.cols));
        return image;
    }
    case CV_8UC3:
        return QImage(mat.data, mat.cols, mat.rows, static_cast<int>(mat.step),
                      QImage::Format_RGB888);
    case CV_8UC4:
        return QImage(mat.data, mat.cols, mat.rows, static_cast<int>(mat.step),
                      QImage::Format_ARGB32);
    default:
        qDebug() << "ERROR: Mat could not be converted to QImage.";
        return QImage();
    }
}

VideoWidget* VideoWidget::instance() {
    // Created on first use (a QApplication must exist), never deleted.
    static VideoWidget* widget = new VideoWidget(nullptr);
    return widget;
}

VideoWidget::VideoWidget(QWidget* parent) : QOpenGLWidget(parent) {
    m_radius = fullRadius();
    if (objectName().isEmpty())
        setObjectName(QStringLiteral("VideoWidget"));
    resize(1297, 730);
    setWindowTitle(QCoreApplication::translate("VideoWidget", "video"));
    QMetaObject::connectSlotsByName(this);
    setWindowFlags(Qt::FramelessWindowHint | Qt::CustomizeWindowHint);
    setAttribute(Qt::WA_MouseTracking, true);
}

float VideoWidget::fullRadius() const {
    return OrunAppFace::instance()->iResolution.load() != 0 ? 40.0f : 35.0f;
}

void VideoWidget::initializeGL() {
    initializeOpenGLFunctions();
    m_program.addShaderFromSourceCode(QOpenGLShader::Vertex, kVertexShader);
    m_program.addShaderFromSourceCode(QOpenGLShader::Fragment, kFragmentShader);
    m_program.link();
    m_vertexBuffer.create();
    m_vertexBuffer.bind();
    m_vertexBuffer.allocate(kVertices, sizeof(kVertices));
    glGenTextures(1, &m_texture);
}

void VideoWidget::paintGL() {
    glClearColor(0.5f, 0.5f, 0.7f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);

    m_program.bind();
    m_vertexBuffer.bind();
    m_program.enableAttributeArray("vertexIn");
    m_program.enableAttributeArray("textureIn");
    m_program.setAttributeBuffer("vertexIn", GL_FLOAT, 0, 2, 2 * sizeof(GLfloat));
    m_program.setAttributeBuffer("textureIn", GL_FLOAT, 8 * sizeof(GLfloat), 2,
                                 2 * sizeof(GLfloat));

    // The texture is uploaded as three bytes per pixel. An image with fewer
    // bytes per line than that (the indexed grey copy) is widened first so
    // that the upload never reads past its pixels.
    QImage upload = m_image;
    if (!upload.isNull() && upload.bytesPerLine() < upload.width() * 3)
        upload = upload.convertToFormat(QImage::Format_RGB888);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, m_texture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, upload.width(), upload.height(), 0, GL_RGB,
                 GL_UNSIGNED_BYTE, upload.isNull() ? nullptr : upload.constBits());
    latencytrace::painted();
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);

    m_program.setUniformValue("textureRGB", 0);
    // Without a picture the texture is empty (incomplete, so it would sample
    // black): the clear colour stays visible instead.
    if (!upload.isNull())
        glDrawArrays(GL_QUADS, 0, 4);

    m_program.disableAttributeArray("vertexIn");
    m_program.disableAttributeArray("textureIn");
    m_program.release();

    emit OrunAppFace::instance()->signal_randerFinished(true);
}

void VideoWidget::slot_showVideoFrame(cv::Mat matRgb) {
    latencytrace::pictureReceived(matRgb.data);
    emit OrunAppFace::instance()->signal_randerFinished(false);
    if (m_drawCircle && !matRgb.empty()) {
        const float x = static_cast<float>(matRgb.cols) * static_cast<float>(m_circleCenter.x());
        const float y = static_cast<float>(matRgb.rows) * static_cast<float>(m_circleCenter.y());
        cv::circle(
            matRgb, cv::Point(static_cast<int>(std::lround(x)), static_cast<int>(std::lround(y))),
            static_cast<int>(m_radius),
            cv::Scalar(m_circleColor[0], m_circleColor[1], m_circleColor[2], m_circleColor[3]), 1,
            cv::LINE_AA, 0);
    }
    QImage wrapped = matToQImage(matRgb);
    if (wrapped.isNull())
        return;
    QImage copy = wrapped.copy();
    wrapped = QImage();
    if (copy.isNull())
        return;
    m_image = copy;
    update();
}

void VideoWidget::slot_showVideoBgImg(QImage img) {
    if (img.isNull())
        return;
    m_image = img;
    update();
}

void VideoWidget::killCircleTimers() {
    if (m_hideTimerId != 0)
        killTimer(m_hideTimerId);
    if (m_shrinkTimerId != 0)
        killTimer(m_shrinkTimerId);
    m_hideTimerId = 0;
    m_shrinkTimerId = 0;
}

void VideoWidget::slot_drawFocusCircle(QPointF ptCenter, bool bDraw) {
    killCircleTimers();
    if (bDraw) {
        m_radius = fullRadius();
        m_circleCenter = ptCenter;
        m_shrinkTimerId = startTimer(5, Qt::CoarseTimer);
        m_hideTimerId = startTimer(3000, Qt::CoarseTimer);
    }
    m_drawCircle = bDraw;
}

void VideoWidget::timerEvent(QTimerEvent* event) {
    const bool hd = OrunAppFace::instance()->iResolution.load() != 0;
    if (event->timerId() == m_hideTimerId && m_hideTimerId != 0) {
        killCircleTimers();
        m_drawCircle = false;
        m_radius = fullRadius();
    } else if (event->timerId() == m_shrinkTimerId && m_shrinkTimerId != 0) {
        if (m_radius >= (hd ? 35.0f : 25.0f)) {
            m_radius -= 0.5f;
        } else {
            m_circleColor = {{255, 170, 0, 0}};
            killTimer(m_shrinkTimerId);
            m_shrinkTimerId = 0;
        }
    } else {
        QOpenGLWidget::timerEvent(event);
    }
}
