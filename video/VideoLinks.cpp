// Kept free of Qt object headers: the camera header uses names that Qt's
// keyword macros would rewrite.
#include "camera/Camera.h"
#include "kcpclient/KcpWrapper.h"

#include "video/VideoLinks.h"

bool cameraLinkConnected() {
    static const std::shared_ptr<Camera> camera = Camera::instance();
    return camera->connected.load();
}

std::shared_ptr<KcpWrapper> defaultMediaClient() {
    return KcpWrapper::instance();
}
