#include "app/Shutdown.h"

#include "app/CaptureControl.h"
#include "app/GamepadControl.h"
#include "app/OrunAppRt.h"
#include "app/ViscaControl.h"
#include "camera/Camera.h"
#include "camera/UDPTransciever.h"
#include "hub/OrunAppFace.h"
#include "video/videoctl.h"

void shutdown() {
    OrunAppFace::instance()->uiActive = false;
    // No controller's request comes in after this.
    stopViscaControl();
    GamepadControl::instance()->stop();
    // Each stop waits for its worker to acknowledge within its own limit and
    // then joins it; the order keeps later stages available to earlier ones.
    OrunAppRt::instance()->stop();
    Camera::instance()->stop();
    UDPTransciever::instance()->stop();
    videoctl::instance()->stop();
    // The video has ended (every capture writer was told so): recordings are
    // completed, within a limit, before the program goes.
    CaptureControl::instance()->shutdown();
}
