#include "video/SurfaceImport.h"

std::unique_ptr<SurfaceImport> makeSurfaceImport(QOpenGLContext&, QString& why) {
    why = QStringLiteral("no surface import on this system");
    return nullptr;
}
