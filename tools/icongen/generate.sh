#!/bin/sh
# Regenerates resources/icons, resources/appicon and resources/stopvideo from
# tools/icongen.
# Needs the font "WenQuanYi Micro Hei" (Debian: fonts-wqy-microhei) for the
# Chinese texts of the stop-video pictures.
set -e
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${BUILD_DIR:-$root/build-icongen}
cmake -S "$root" -B "$build" -G Ninja -DORUN_BUILD_TESTS=OFF -DORUN_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --target icongen
QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} "$build/bin/icongen" "$root/resources"
