#!/bin/sh
# Regenerates resources/probe/key_frame.h264 with tools/probeframe: one
# 64x64 H.264 key frame (SPS, PPS, IDR; constrained baseline, 4:2:0), which
# the video decoder decodes on a hardware device before it uses the device.
# Needs FFmpeg with libx264.
set -e
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${BUILD_DIR:-$root/build-probeframe}
cmake -S "$root" -B "$build" -G Ninja -DORUN_BUILD_TESTS=OFF -DORUN_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --target probeframe
mkdir -p "$root/resources/probe"
"$build/bin/probeframe" "$root/resources/probe/key_frame.h264"
