#include "video/VideoWidget.h"

#include "hub/OrunAppFace.h"
#include "video/LatencyTrace.h"
#include "video/videoctl.h"

#include <QCoreApplication>
#include <QDebug>
#include <QTimerEvent>
#include <QVector>

#include <opencv2/imgproc.hpp>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

#include <QColor>
#include <QMatrix3x3>
#include <QVector2D>
#include <QVector3D>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// The texture coordinates are scaled here, once per corner, so that the
// fragment shader of the R, G, B picture stays a plain copy (which a software
// rasterizer runs on its fast path).
const char* const kVertexShader = "attribute highp vec4 vertexIn;\n"
                                  "attribute mediump vec4 textureIn;\n"
                                  "uniform highp vec2 textureScale;\n"
                                  "varying mediump vec4 textureOut;\n"
                                  "void main(void)\n"
                                  "{\n"
                                  "    gl_Position = vertexIn;\n"
                                  "    textureOut = vec4(textureIn.st * textureScale, 0.0, 1.0);\n"
                                  "}\n";

const char* const kFragmentShader = "uniform sampler2D textureRGB;\n"
                                    "varying mediump vec4 textureOut;\n"
                                    "void main(void)\n"
                                    "{\n"
                                    "gl_FragColor = texture2D(textureRGB, textureOut.st); \n"
                                    "}\n";

// The decoder's planes: Y in one texture, Cb and Cr in two (planar) or as the
// two channels of one (NV12: Cb in luminance, Cr in alpha; an imported
// surface: Cb in red, Cr in green). The texture coordinates are scaled per
// plane so that the line padding is not shown where the picture is narrower
// than its lines. The chroma is sampled nearest, each value serving its 2 x 2
// pixels, as libswscale and OpenCV do.
const char* const kPlaneFragmentShader =
    "uniform sampler2D planeY;\n"
    "uniform sampler2D planeU;\n"
    "uniform sampler2D planeV;\n"
    "uniform mediump float chromaPairs;\n"
    "uniform highp vec2 lumaScale;\n"
    "uniform highp vec2 chromaScale;\n"
    "uniform highp mat3 yuvToRgb;\n"
    "uniform highp vec3 yuvOffset;\n"
    "varying mediump vec4 textureOut;\n"
    "void main(void)\n"
    "{\n"
    "    highp vec2 at = textureOut.st;\n"
    "    highp float y = texture2D(planeY, at * lumaScale).r;\n"
    "    highp vec4 u = texture2D(planeU, at * chromaScale);\n"
    "    highp float v = texture2D(planeV, at * chromaScale).r;\n"
    "    highp vec2 c = chromaPairs > 1.5 ? u.rg : (chromaPairs > 0.5 ? u.ra : vec2(u.r, v));\n"
    "    highp vec3 rgb = yuvToRgb * (vec3(y, c) - yuvOffset);\n"
    "    gl_FragColor = vec4(clamp(rgb, 0.0, 1.0), 1.0);\n"
    "}\n";

// Shapes over the picture, in clip space, in one colour.
const char* const kShapeVertexShader = "attribute highp vec2 vertexIn;\n"
                                       "void main(void)\n"
                                       "{\n"
                                       "    gl_Position = vec4(vertexIn, 0.0, 1.0);\n"
                                       "}\n";
const char* const kShapeFragmentShader = "uniform mediump vec4 colour;\n"
                                         "void main(void)\n"
                                         "{\n"
                                         "    gl_FragColor = colour;\n"
                                         "}\n";

// Whether the OpenGL renderer draws on the CPU.
bool softwareRenderer(const QByteArray& renderer) {
    for (const char* name : {"llvmpipe", "softpipe", "swrast", "Software Rasterizer", "SwiftShader",
                             "GDI Generic", "Microsoft Basic Render"}) {
        if (renderer.contains(name))
            return true;
    }
    return false;
}

// Segments of the focus circle's ring.
constexpr int kCircleSegments = 96;

// Clip-space corners, then the texture coordinates: the image's first scan
// line is shown at the top.
const GLfloat kVertices[16] = {-1, 1, 1, 1, 1, -1, -1, -1, 0, 0, 1, 0, 1, 1, 0, 1};

// Whether the planes can be shown: a 4:2:0 layout whose lines hold the shown
// width, each plane's lines as wide as the texture made of it.
bool planesShowable(const PlanePicture& p) {
    const AVFrame* f = p.frame.get();
    if (!f || p.width <= 0 || p.height < 2 || f->height != p.height || !f->data[0] || !f->data[1] ||
        f->linesize[0] < p.width || f->linesize[1] <= 0)
        return false;
    if (!p.rgba.empty()) {
        // Uploaded whole lines at a time: the matrix must be the top left of
        // one whose lines are its step long.
        cv::Size whole;
        cv::Point offset;
        p.rgba.locateROI(whole, offset);
        if (p.rgba.type() != CV_8UC4 || p.rgba.cols != p.width || p.rgba.rows != p.height ||
            offset != cv::Point(0, 0) || p.rgba.step != static_cast<size_t>(whole.width) * 4 ||
            whole.height < p.rgba.rows)
            return false;
    }
    if (f->format == AV_PIX_FMT_NV12)
        return f->linesize[1] / 2 >= (p.width + 1) / 2;
    if (f->format == AV_PIX_FMT_YUV420P || f->format == AV_PIX_FMT_YUVJ420P)
        return f->data[2] && f->linesize[2] == f->linesize[1] &&
               f->linesize[1] >= (p.width + 1) / 2;
    return false;
}

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
    m_planeProgram.addShaderFromSourceCode(QOpenGLShader::Vertex, kVertexShader);
    m_planeProgram.addShaderFromSourceCode(QOpenGLShader::Fragment, kPlaneFragmentShader);
    if (!m_planeProgram.link())
        qWarning() << "video: the plane shader does not link:" << m_planeProgram.log();
    m_shapeProgram.addShaderFromSourceCode(QOpenGLShader::Vertex, kShapeVertexShader);
    m_shapeProgram.addShaderFromSourceCode(QOpenGLShader::Fragment, kShapeFragmentShader);
    m_shapeProgram.link();
    m_vertexBuffer.create();
    m_vertexBuffer.bind();
    m_vertexBuffer.allocate(kVertices, sizeof(kVertices));
    m_vertexBuffer.release();
    glGenTextures(1, &m_texture);
    glGenTextures(1, &m_rgbaTexture);
    m_rgbaSize = QSize();
    makePlaneTextures();
    const QByteArray renderer(reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
    const bool software = softwareRenderer(renderer);
    if (software != OrunAppFace::instance()->softwareScreen.exchange(software) || software)
        qInfo().noquote() << "video: OpenGL renderer" << renderer
                          << (software ? "(draws on the CPU: pictures are converted before the "
                                         "upload)"
                                       : "");
    // Hardware surfaces straight into the textures where the system allows;
    // a software rasterizer gains nothing by it.
    QString why = QStringLiteral("the renderer draws on the CPU");
    m_import.reset();
    if (!software)
        m_import = makeSurfaceImport(*context(), why);
    videoctl::instance()->setScreenSurfaces(m_import ? m_import->pixelFormat() : -1);
    qInfo().noquote() << (m_import ? QStringLiteral("video: hardware decoders' surfaces are shown "
                                                    "without a copy (VA-API through EGL)")
                                   : QStringLiteral("video: hardware decoders' pictures are "
                                                    "copied through system memory (%1)")
                                         .arg(why));
    // A new context (the widget moved to another window) has none of the
    // old textures' contents: the planes shown are uploaded again.
    m_uploaded = PlaneTextures();
    if (m_planesShown)
        m_planesPending = true;
}

void VideoWidget::paintGL() {
    glClearColor(0.5f, 0.5f, 0.7f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

    if (m_planesPending) {
        m_planesPending = false;
        if (!m_planes.rgba.empty()) {
            m_rgbaPending = true;
            m_planesShown = true;
        } else {
            m_planesShown = uploadPlanes();
        }
        latencytrace::painted();
    }
    if (m_planesShown) {
        if (m_planes.rgba.empty())
            drawPlanes();
        else
            drawRgba();
        drawOverlays();
    } else {
        drawImage();
    }

    emit OrunAppFace::instance()->signal_randerFinished(true);
}

void VideoWidget::bindQuad(QOpenGLShaderProgram& program) {
    program.bind();
    m_vertexBuffer.bind();
    program.enableAttributeArray("vertexIn");
    program.enableAttributeArray("textureIn");
    program.setAttributeBuffer("vertexIn", GL_FLOAT, 0, 2, 2 * sizeof(GLfloat));
    program.setAttributeBuffer("textureIn", GL_FLOAT, 8 * sizeof(GLfloat), 2, 2 * sizeof(GLfloat));
}

void VideoWidget::releaseQuad(QOpenGLShaderProgram& program) {
    program.disableAttributeArray("vertexIn");
    program.disableAttributeArray("textureIn");
    program.release();
    m_vertexBuffer.release();
}

void VideoWidget::drawImage() {
    glEnable(GL_DEPTH_TEST);
    bindQuad(m_program);

    // The texture is uploaded as three bytes per pixel. An image with fewer
    // bytes per line than that (the indexed grey copy) is widened first so
    // that the upload never reads past its pixels.
    QImage upload = m_image;
    if (!upload.isNull() && upload.bytesPerLine() < upload.width() * 3)
        upload = upload.convertToFormat(QImage::Format_RGB888);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, m_texture);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, upload.width(), upload.height(), 0, GL_RGB,
                 GL_UNSIGNED_BYTE, upload.isNull() ? nullptr : upload.constBits());
    latencytrace::painted();
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);

    m_program.setUniformValue("textureRGB", 0);
    m_program.setUniformValue("textureScale", QVector2D(1.0f, 1.0f));
    // Without a picture the texture is empty (incomplete, so it would sample
    // black): the clear colour stays visible instead.
    if (!upload.isNull())
        glDrawArrays(GL_TRIANGLE_FAN, 0, 4);

    releaseQuad(m_program);
    glDisable(GL_DEPTH_TEST);
}

void VideoWidget::makePlaneTextures() {
    glGenTextures(static_cast<GLsizei>(m_planeTextures.size()), m_planeTextures.data());
    for (GLuint texture : m_planeTextures) {
        glBindTexture(GL_TEXTURE_2D, texture);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    }
}

bool VideoWidget::importSurface() {
    const AVFrame* f = m_planes.frame.get();
    for (size_t i = 0; i < 2; ++i) {
        glBindTexture(GL_TEXTURE_2D, m_planeTextures[i]);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, i == 0 ? GL_LINEAR : GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, i == 0 ? GL_LINEAR : GL_NEAREST);
    }
    if (!m_import->import(*f, m_planeTextures[0], m_planeTextures[1])) {
        // Given up for good: from the next picture on the decoder copies into
        // system memory again. Fresh textures: the import may have left
        // these bound to images.
        m_import.reset();
        videoctl::instance()->setScreenSurfaces(-1);
        glDeleteTextures(static_cast<GLsizei>(m_planeTextures.size()), m_planeTextures.data());
        makePlaneTextures();
        m_uploaded = PlaneTextures();
        return false;
    }
    m_uploaded = PlaneTextures();
    m_uploaded.interleaved = true;
    m_uploaded.surface = true;
    m_uploaded.lumaWidth = f->width;
    m_uploaded.chromaWidth = (f->width + 1) / 2;
    m_uploaded.height = f->height;
    m_colour = planeColourOf(*f);
    return true;
}

bool VideoWidget::uploadPlanes() {
    if (m_import && m_planes.frame && m_planes.frame->format == m_import->pixelFormat())
        return importSurface();
    if (!planesShowable(m_planes))
        return false;
    const AVFrame* f = m_planes.frame.get();
    const bool interleaved = f->format == AV_PIX_FMT_NV12;
    const int chromaRows = (f->height + 1) / 2;
    // Every plane as wide as its lines, so that a line of the texture is a
    // line of the plane; the shown part is chosen by the texture coordinates.
    const int chromaWidth = interleaved ? f->linesize[1] / 2 : f->linesize[1];

    PlaneTextures want;
    want.interleaved = interleaved;
    want.lumaWidth = f->linesize[0];
    want.chromaWidth = chromaWidth;
    want.height = f->height;
    const bool allocate =
        want.interleaved != m_uploaded.interleaved || want.lumaWidth != m_uploaded.lumaWidth ||
        want.chromaWidth != m_uploaded.chromaWidth || want.height != m_uploaded.height;

    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    auto plane = [&](int index, GLenum format, int width, int rows, const uint8_t* pixels,
                     GLint filter) {
        glBindTexture(GL_TEXTURE_2D, m_planeTextures[static_cast<size_t>(index)]);
        if (allocate) {
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
            glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(format), width, rows, 0, format,
                         GL_UNSIGNED_BYTE, nullptr);
        }
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width, rows, format, GL_UNSIGNED_BYTE, pixels);
    };
    plane(0, GL_LUMINANCE, want.lumaWidth, want.height, f->data[0], GL_LINEAR);
    if (interleaved) {
        plane(1, GL_LUMINANCE_ALPHA, chromaWidth, chromaRows, f->data[1], GL_NEAREST);
    } else {
        plane(1, GL_LUMINANCE, chromaWidth, chromaRows, f->data[1], GL_NEAREST);
        plane(2, GL_LUMINANCE, chromaWidth, chromaRows, f->data[2], GL_NEAREST);
    }
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    m_uploaded = want;
    m_colour = planeColourOf(*f);
    return true;
}

void VideoWidget::drawPlanes() {
    bindQuad(m_planeProgram);
    for (size_t i = 0; i < m_planeTextures.size(); ++i) {
        glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(i));
        // NV12 has no third plane: the unit keeps the Cb, Cr texture, unread.
        glBindTexture(GL_TEXTURE_2D, m_planeTextures[m_uploaded.interleaved && i == 2 ? 1 : i]);
    }
    m_planeProgram.setUniformValue("textureScale", QVector2D(1.0f, 1.0f));
    m_planeProgram.setUniformValue("planeY", 0);
    m_planeProgram.setUniformValue("planeU", 1);
    m_planeProgram.setUniformValue("planeV", 2);
    // Planar, NV12 as luminance and alpha, or an imported surface's red and green.
    m_planeProgram.setUniformValue("chromaPairs", m_uploaded.surface       ? 2.0f
                                                  : m_uploaded.interleaved ? 1.0f
                                                                           : 0.0f);
    const float shownChroma = static_cast<float>(m_planes.width) / 2.0f;
    m_planeProgram.setUniformValue(
        "lumaScale", QVector2D(static_cast<float>(m_planes.width) / m_uploaded.lumaWidth, 1.0f));
    m_planeProgram.setUniformValue("chromaScale",
                                   QVector2D(shownChroma / m_uploaded.chromaWidth, 1.0f));
    m_planeProgram.setUniformValue("yuvToRgb", QMatrix3x3(m_colour.matrix.data()));
    m_planeProgram.setUniformValue(
        "yuvOffset", QVector3D(m_colour.offset[0], m_colour.offset[1], m_colour.offset[2]));
    glDrawArrays(GL_TRIANGLE_FAN, 0, 4);
    releaseQuad(m_planeProgram);
    glActiveTexture(GL_TEXTURE0);
}

void VideoWidget::drawRgba() {
    // The texture is as wide as the matrix's lines; the picture's part of it
    // is chosen by the texture coordinates.
    const cv::Mat& rgba = m_planes.rgba;
    const int lineWidth = static_cast<int>(rgba.step / 4);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, m_rgbaTexture);
    if (m_rgbaSize != QSize(lineWidth, rgba.rows)) {
        m_rgbaSize = QSize(lineWidth, rgba.rows);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, lineWidth, rgba.rows, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                     nullptr);
    }
    if (m_rgbaPending) {
        m_rgbaPending = false;
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, lineWidth, rgba.rows, GL_RGBA, GL_UNSIGNED_BYTE,
                        rgba.data);
    }
    bindQuad(m_program);
    m_program.setUniformValue("textureRGB", 0);
    m_program.setUniformValue("textureScale",
                              QVector2D(static_cast<float>(rgba.cols) / lineWidth, 1.0f));
    glDrawArrays(GL_TRIANGLE_FAN, 0, 4);
    releaseQuad(m_program);
}

void VideoWidget::fillShape(const QVector<GLfloat>& triangles, const QColor& colour) {
    if (triangles.isEmpty())
        return;
    m_shapeProgram.bind();
    m_shapeProgram.enableAttributeArray("vertexIn");
    m_shapeProgram.setAttributeArray("vertexIn", triangles.constData(), 2);
    m_shapeProgram.setUniformValue("colour", colour);
    glDrawArrays(GL_TRIANGLES, 0, triangles.size() / 2);
    m_shapeProgram.disableAttributeArray("vertexIn");
    m_shapeProgram.release();
}

void VideoWidget::drawOverlays() {
    const float width = static_cast<float>(m_planes.width);
    const float height = static_cast<float>(m_planes.height);
    // A picture pixel in device pixels: shapes thinner than one device pixel
    // are widened to one, so that a line never falls between the pixels.
    const float dpr = static_cast<float>(devicePixelRatioF());
    const float minW = width / std::max(1.0f, static_cast<float>(this->width()) * dpr);
    const float minH = height / std::max(1.0f, static_cast<float>(this->height()) * dpr);
    auto clipX = [width](float x) { return x / width * 2.0f - 1.0f; };
    auto clipY = [height](float y) { return 1.0f - y / height * 2.0f; };
    auto quad = [&](QVector<GLfloat>& out, float x0, float y0, float x1, float y1) {
        const GLfloat a = clipX(x0), b = clipX(x1), c = clipY(y0), d = clipY(y1);
        out << a << c << b << c << b << d << a << c << b << d << a << d;
    };

    QVector<GLfloat> boxes;
    for (const PictureRect& r : m_planes.boxes) {
        float x0 = static_cast<float>(r.x);
        float x1 = static_cast<float>(r.x + r.width);
        float y0 = static_cast<float>(r.y);
        float y1 = static_cast<float>(r.y + r.height);
        if (x1 - x0 < minW) {
            const float mid = (x0 + x1) / 2.0f;
            x0 = mid - minW / 2.0f;
            x1 = mid + minW / 2.0f;
        }
        if (y1 - y0 < minH) {
            const float mid = (y0 + y1) / 2.0f;
            y0 = mid - minH / 2.0f;
            y1 = mid + minH / 2.0f;
        }
        quad(boxes, x0, y0, x1, y1);
    }
    fillShape(boxes, Qt::white);

    if (!m_drawCircle)
        return;
    // The circle of one pixel around its centre, in picture pixels as the
    // picture's own drawing had it.
    const float cx =
        static_cast<float>(std::lround(width * static_cast<float>(m_circleCenter.x())));
    const float cy =
        static_cast<float>(std::lround(height * static_cast<float>(m_circleCenter.y())));
    const float radius = static_cast<float>(static_cast<int>(m_radius));
    const float halfX = std::max(0.5f, minW / 2.0f);
    const float halfY = std::max(0.5f, minH / 2.0f);
    QVector<GLfloat> ring;
    ring.reserve(kCircleSegments * 12);
    for (int i = 0; i < kCircleSegments; ++i) {
        const double a0 = 2.0 * M_PI * i / kCircleSegments;
        const double a1 = 2.0 * M_PI * (i + 1) / kCircleSegments;
        auto at = [&](double angle, float dx, float dy) {
            ring << clipX(cx + static_cast<float>(std::cos(angle)) * (radius + dx))
                 << clipY(cy + static_cast<float>(std::sin(angle)) * (radius + dy));
        };
        at(a0, -halfX, -halfY);
        at(a0, halfX, halfY);
        at(a1, halfX, halfY);
        at(a0, -halfX, -halfY);
        at(a1, halfX, halfY);
        at(a1, -halfX, -halfY);
    }
    fillShape(ring, QColor(static_cast<int>(m_circleColor[0]), static_cast<int>(m_circleColor[1]),
                           static_cast<int>(m_circleColor[2])));
}

bool VideoWidget::showable(const PlanePicture& p) const {
    const AVFrame* f = p.frame.get();
    if (f && m_import && f->format == m_import->pixelFormat())
        return f->hw_frames_ctx && p.width == f->width && p.height == f->height && p.height >= 2 &&
               p.rgba.empty();
    return planesShowable(p);
}

void VideoWidget::slot_showVideoPlanes(PlanePicture picture) {
    if (!showable(picture))
        return;
    latencytrace::pictureReceived(picture.frame->data[0]);
    emit OrunAppFace::instance()->signal_randerFinished(false);
    m_planes = std::move(picture);
    m_planesPending = true;
    m_image = QImage();
    update();
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
    m_planesShown = false;
    m_planesPending = false;
    m_planes = PlanePicture();
    update();
}

void VideoWidget::slot_showVideoBgImg(QImage img) {
    if (img.isNull())
        return;
    m_image = img;
    m_planesShown = false;
    m_planesPending = false;
    m_planes = PlanePicture();
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
