// The pipeline tests replace the media client and the connected flag through
// videoctl's setters, so the real camera and media client must never start
// in them. These weak definitions keep the tests linkable without pulling in
// the camera and media transport; where the real ones are linked they win.
#include "camera/Camera.h"
#include "kcpclient/KcpWrapper.h"

#include <cstdio>
#include <cstdlib>

__attribute__((weak)) std::shared_ptr<Camera> Camera::instance() {
    std::fprintf(stderr, "video test reached Camera::instance()\n");
    std::abort();
}

__attribute__((weak)) std::shared_ptr<KcpWrapper> KcpWrapper::instance() {
    std::fprintf(stderr, "video test reached KcpWrapper::instance()\n");
    std::abort();
}
