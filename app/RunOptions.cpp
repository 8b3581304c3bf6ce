#include "app/RunOptions.h"

#include <QMutex>
#include <QMutexLocker>

namespace {

QMutex& overridesMutex() {
    static QMutex mutex;
    return mutex;
}

RunOverrides& current() {
    static RunOverrides overrides;
    return overrides;
}

} // namespace

void setRunOverrides(const RunOverrides& overrides) {
    QMutexLocker lock(&overridesMutex());
    current() = overrides;
}

RunOverrides runOverrides() {
    QMutexLocker lock(&overridesMutex());
    return current();
}
