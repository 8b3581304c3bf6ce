#include "camera/StationCamera.h"
#include "hub/OrunAppFace.h"

#include <gtest/gtest.h>

namespace {

CameraRecord record(const char* address, const char* name) {
    CameraRecord r;
    r.texts[0] = address;
    r.texts[1] = name;
    return r;
}

} // namespace

// The remembered camera among those the search found: its name decides, its
// old address only chooses between cameras of the same name.
TEST(StationCamera, FoundByNameTheOldAddressBreakingATie) {
    const QList<CameraRecord> found = {record("10.0.0.2", "ORUN-A"), record("10.0.0.3", "ORUN-B"),
                                       record("10.0.0.4", "ORUN-A"), record("10.0.0.5", "")};
    EXPECT_EQ(findStationCamera(found, {"ORUN-A", "10.0.0.4"}), 2);
    EXPECT_EQ(findStationCamera(found, {"ORUN-A", "10.0.0.9"}), 0) << "a new address";
    EXPECT_EQ(findStationCamera(found, {"ORUN-B", "10.0.0.2"}), 1);
    EXPECT_EQ(findStationCamera(found, {"ORUN-C", "10.0.0.2"}), -1)
        << "another camera at the old address";
    EXPECT_EQ(findStationCamera(found, {"", "10.0.0.5"}), -1) << "nothing remembered";
    EXPECT_EQ(findStationCamera({}, {"ORUN-A", "10.0.0.2"}), -1);
}
