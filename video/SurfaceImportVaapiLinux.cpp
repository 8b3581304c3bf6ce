// VA-API surfaces into OpenGL textures through EGL's dma-buf import: the
// surface is exported as DRM PRIME descriptors (one layer per plane), each
// layer becomes an EGL image, and each image the storage of one texture.
// Only where the widget's context is an EGL one (Wayland, or X11 with Qt's
// EGL integration) with EGL_EXT_image_dma_buf_import and GL_OES_EGL_image.
#include "video/SurfaceImport.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>

#include <QDebug>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QVariant>
#include <QtPlatformHeaders/QEGLNativeContext>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/hwcontext.h>
#include <libavutil/hwcontext_drm.h>
#include <libavutil/pixfmt.h>
}

#include <array>
#include <cstring>
#include <vector>

namespace {

// The DRM formats of the two layers VA-API exports for NV12 (drm_fourcc.h).
constexpr uint32_t fourcc(char a, char b, char c, char d) {
    return static_cast<uint32_t>(a) | static_cast<uint32_t>(b) << 8 |
           static_cast<uint32_t>(c) << 16 | static_cast<uint32_t>(d) << 24;
}
constexpr uint32_t kDrmR8 = fourcc('R', '8', ' ', ' ');
constexpr uint32_t kDrmGR88 = fourcc('G', 'R', '8', '8');
constexpr uint64_t kDrmModInvalid = 0x00ffffffffffffffULL;

using GLeglImage = void*;
using ImageTargetTexture = void (*)(GLenum target, GLeglImage image);

bool hasExtension(const char* list, const char* name) {
    if (!list)
        return false;
    const size_t n = std::strlen(name);
    for (const char* p = list; (p = std::strstr(p, name)) != nullptr; p += n) {
        if ((p == list || p[-1] == ' ') && (p[n] == ' ' || p[n] == '\0'))
            return true;
    }
    return false;
}

class VaapiEglImport : public SurfaceImport {
public:
    VaapiEglImport(QOpenGLContext& context, EGLDisplay display, bool modifiers)
        : m_context(context), m_display(display), m_modifiers(modifiers) {
        m_createImage =
            reinterpret_cast<PFNEGLCREATEIMAGEKHRPROC>(eglGetProcAddress("eglCreateImageKHR"));
        m_destroyImage =
            reinterpret_cast<PFNEGLDESTROYIMAGEKHRPROC>(eglGetProcAddress("eglDestroyImageKHR"));
        m_targetTexture = reinterpret_cast<ImageTargetTexture>(
            context.getProcAddress("glEGLImageTargetTexture2DOES"));
    }
    ~VaapiEglImport() override { release(); }

    bool usable() const { return m_createImage && m_destroyImage && m_targetTexture; }
    int pixelFormat() const override { return AV_PIX_FMT_VAAPI; }

    bool import(const AVFrame& surface, unsigned luma, unsigned chroma) override {
        release();
        if (surface.format != AV_PIX_FMT_VAAPI || !surface.hw_frames_ctx)
            return fail("not a VA-API surface");
        m_mapped = av_frame_alloc();
        if (!m_mapped)
            return fail("out of memory");
        m_mapped->format = AV_PIX_FMT_DRM_PRIME;
        const int err = av_hwframe_map(m_mapped, &surface, AV_HWFRAME_MAP_READ);
        if (err < 0) {
            char text[AV_ERROR_MAX_STRING_SIZE] = {0};
            av_strerror(err, text, sizeof text);
            return fail(QStringLiteral("the surface cannot be exported (%1)").arg(text));
        }
        const auto* desc = reinterpret_cast<const AVDRMFrameDescriptor*>(m_mapped->data[0]);
        if (!desc || desc->nb_layers != 2 || desc->layers[0].format != kDrmR8 ||
            desc->layers[1].format != kDrmGR88)
            return fail("the surface is not exported as one luma and one chroma layer");
        const std::array<unsigned, 2> textures{{luma, chroma}};
        QOpenGLFunctions* gl = m_context.functions();
        for (int i = 0; i < 2; ++i) {
            const AVDRMLayerDescriptor& layer = desc->layers[i];
            if (layer.nb_planes < 1 || layer.planes[0].object_index < 0 ||
                layer.planes[0].object_index >= desc->nb_objects)
                return fail("a layer without its plane");
            const AVDRMPlaneDescriptor& plane = layer.planes[0];
            const AVDRMObjectDescriptor& object = desc->objects[plane.object_index];
            const int width = i == 0 ? surface.width : (surface.width + 1) / 2;
            const int height = i == 0 ? surface.height : (surface.height + 1) / 2;
            std::vector<EGLint> attributes = {
                EGL_WIDTH,
                width,
                EGL_HEIGHT,
                height,
                EGL_LINUX_DRM_FOURCC_EXT,
                static_cast<EGLint>(layer.format),
                EGL_DMA_BUF_PLANE0_FD_EXT,
                object.fd,
                EGL_DMA_BUF_PLANE0_OFFSET_EXT,
                static_cast<EGLint>(plane.offset),
                EGL_DMA_BUF_PLANE0_PITCH_EXT,
                static_cast<EGLint>(plane.pitch),
            };
            if (m_modifiers && object.format_modifier != kDrmModInvalid) {
                attributes.insert(attributes.end(),
                                  {EGL_DMA_BUF_PLANE0_MODIFIER_LO_EXT,
                                   static_cast<EGLint>(object.format_modifier & 0xffffffffULL),
                                   EGL_DMA_BUF_PLANE0_MODIFIER_HI_EXT,
                                   static_cast<EGLint>(object.format_modifier >> 32)});
            }
            attributes.push_back(EGL_NONE);
            EGLImageKHR image = m_createImage(m_display, EGL_NO_CONTEXT, EGL_LINUX_DMA_BUF_EXT,
                                              nullptr, attributes.data());
            if (image == EGL_NO_IMAGE_KHR)
                return fail(
                    QStringLiteral("EGL refused the layer (error 0x%1)").arg(eglGetError(), 0, 16));
            m_images[static_cast<size_t>(i)] = image;
            gl->glBindTexture(GL_TEXTURE_2D, textures[static_cast<size_t>(i)]);
            m_targetTexture(GL_TEXTURE_2D, image);
        }
        return true;
    }

private:
    bool fail(const QString& why) {
        qWarning().noquote() << "video: the hardware surface is copied instead:" << why;
        release();
        return false;
    }
    void release() {
        for (EGLImageKHR& image : m_images) {
            if (image != EGL_NO_IMAGE_KHR)
                m_destroyImage(m_display, image);
            image = EGL_NO_IMAGE_KHR;
        }
        av_frame_free(&m_mapped);
    }

    QOpenGLContext& m_context;
    EGLDisplay m_display;
    const bool m_modifiers;
    PFNEGLCREATEIMAGEKHRPROC m_createImage = nullptr;
    PFNEGLDESTROYIMAGEKHRPROC m_destroyImage = nullptr;
    ImageTargetTexture m_targetTexture = nullptr;
    // What the textures show: the images and the export they were made from.
    std::array<EGLImageKHR, 2> m_images{{EGL_NO_IMAGE_KHR, EGL_NO_IMAGE_KHR}};
    AVFrame* m_mapped = nullptr;
};

} // namespace

std::unique_ptr<SurfaceImport> makeSurfaceImport(QOpenGLContext& context, QString& why) {
    const QVariant native = context.nativeHandle();
    if (!native.canConvert<QEGLNativeContext>()) {
        why = QStringLiteral("the OpenGL context is not an EGL one");
        return nullptr;
    }
    const EGLDisplay display = native.value<QEGLNativeContext>().display();
    const char* extensions = eglQueryString(display, EGL_EXTENSIONS);
    if (!hasExtension(extensions, "EGL_EXT_image_dma_buf_import")) {
        why = QStringLiteral("EGL cannot import dma-bufs");
        return nullptr;
    }
    if (!context.hasExtension(QByteArrayLiteral("GL_OES_EGL_image"))) {
        why = QStringLiteral("OpenGL cannot take EGL images");
        return nullptr;
    }
    auto import = std::make_unique<VaapiEglImport>(
        context, display, hasExtension(extensions, "EGL_EXT_image_dma_buf_import_modifiers"));
    if (!import->usable()) {
        why = QStringLiteral("the EGL image functions are missing");
        return nullptr;
    }
    return import;
}
