#include "camera/StationCamera.h"

#include "hub/OrunAppFace.h"

int findStationCamera(const QList<CameraRecord>& found, const StationCamera& wanted) {
    if (wanted.isEmpty())
        return -1;
    int sameName = -1;
    for (int i = 0; i < found.size(); ++i) {
        if (found[i].texts[1] != wanted.name)
            continue;
        if (found[i].texts[0] == wanted.address)
            return i;
        if (sameName < 0)
            sameName = i;
    }
    return sameName;
}
