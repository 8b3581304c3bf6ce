#pragma once

#include <QString>

#include <memory>

struct AVFrame;
class QOpenGLContext;

// Hands a hardware decoder's surface to the screen's textures without the
// copy through system memory, where the platform's graphics allow it: one
// implementation per interop (VA-API through EGL dma-buf on Linux), each with
// its "can I?" check when it is made. The video widget asks for one when its
// OpenGL context is made, and copies through system memory without one.
class SurfaceImport {
public:
    virtual ~SurfaceImport() = default;
    // The hardware frame format it takes (an AVPixelFormat).
    virtual int pixelFormat() const = 0;
    // Binds the surface's luma plane to `luma` and its chroma pairs to
    // `chroma` (two channels, red and green: Cb, Cr), each as large as the
    // picture's plane. The widget's context is current. What the previous
    // import bound is released. False when the surface could not be
    // imported (a log line says why).
    virtual bool import(const AVFrame& surface, unsigned luma, unsigned chroma) = 0;
};

// The import this system offers for the current OpenGL context; empty with
// `why` filled when there is none.
std::unique_ptr<SurfaceImport> makeSurfaceImport(QOpenGLContext& context, QString& why);
