// Fuzz entry point: an access unit from the media link split into its NAL
// units, and the diagnostic text of the result.

#include "video/H264Inspect.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

void checkUnit(const NalBuffer& unit, size_t accessUnitSize) {
    if (unit && (unit->size() < 5 || unit->size() > accessUnitSize))
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 1024 * 1024)
        return 0;
    const std::string accessUnit(reinterpret_cast<const char*>(data), size);
    const NalUnitSet units = inspectAccessUnit(accessUnit);
    if (units.isKeyFrame && (!units.sps || !units.pps || !units.idr))
        __builtin_trap();
    checkUnit(units.sps, size);
    checkUnit(units.pps, size);
    checkUnit(units.sei, size);
    checkUnit(units.idr, size);
    describe(units);
    return 0;
}
