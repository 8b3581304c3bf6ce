#include "app/BurstCountdown.h"

#include <QtGlobal>

int burstIntervalSeconds(int photoParam) {
    switch (photoParam) {
    case 0:
        return 1;
    case 1:
        return 3;
    case 2:
        return 5;
    case 3:
        return 10;
    default:
        return 0;
    }
}

int burstCountStart(int interval, int shotCount, int halfSeconds, bool* alignHalfSecond) {
    double elapsed =
        halfSeconds * 0.5 - static_cast<double>(interval) * (static_cast<double>(shotCount) - 1);
    const long long twice = static_cast<long long>(2 * elapsed);
    const bool odd = twice % 2 != 0;
    if (odd)
        elapsed += 0.5;
    if (alignHalfSecond)
        *alignHalfSecond = odd;
    const double start = interval - elapsed + 1;
    return static_cast<int>(qBound(0.0, start, static_cast<double>(interval) + 1));
}
