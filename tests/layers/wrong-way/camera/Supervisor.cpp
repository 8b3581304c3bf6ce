// A camera file that reaches up into app/: the checker must report it.
#include "app/CameraStateSync.h"
#include "hub/OrunAppFace.h"
