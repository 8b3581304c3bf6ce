#include "app/RunOptions.h"

#include <mutex>

namespace {

std::mutex& overridesMutex() {
    static std::mutex mutex;
    return mutex;
}

RunOverrides& current() {
    static RunOverrides overrides;
    return overrides;
}

} // namespace

void setRunOverrides(const RunOverrides& overrides) {
    std::lock_guard<std::mutex> lock(overridesMutex());
    current() = overrides;
}

RunOverrides runOverrides() {
    std::lock_guard<std::mutex> lock(overridesMutex());
    return current();
}
