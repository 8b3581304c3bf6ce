# Shared by scripts/test and scripts/demo: installs what the build needs from
# Debian's packages (only what is missing), configures and builds.
set -euo pipefail

ORUN_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

ORUN_PACKAGES=(
    build-essential cmake ninja-build ccache pkg-config
    qtbase5-dev qttools5-dev qttools5-dev-tools
    libavcodec-dev libavformat-dev libavutil-dev
    libopencv-core-dev libopencv-imgproc-dev libopencv-imgcodecs-dev
    libboost-system-dev libsdl2-dev libegl-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    xvfb xauth libgl1-mesa-dri fonts-wqy-microhei
    iproute2 nftables
    clang libclang-rt-14-dev
    dpkg-dev lintian xdotool
    # The capture tests check what was written with FFmpeg's tools and nginx.
    ffmpeg nginx libnginx-mod-rtmp
    # The webcam: PipeWire's client library and libswscale; its tests run a
    # PipeWire session of their own and read it with GStreamer.
    libpipewire-0.3-dev libswscale-dev libavdevice-dev
    pipewire wireplumber gstreamer1.0-pipewire gstreamer1.0-tools dbus-bin
)

# Only the Windows build check (scripts/test --windows, scripts/windows-check)
# installs these: MinGW-w64 with the POSIX thread model, Wine to run the
# cross-compiled tests, and GoogleTest's sources to build it for Windows.
ORUN_WINDOWS_PACKAGES=(g++-mingw-w64-x86-64-posix wine64 googletest)

orun_install_packages() {
    local missing=()
    for p in "${ORUN_PACKAGES[@]}"; do
        if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$p")
        fi
    done
    if [ ${#missing[@]} -eq 0 ]; then
        return
    fi
    echo "== Installing: ${missing[*]}"
    local sudo=""
    if [ "$(id -u)" != 0 ]; then sudo=sudo; fi
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# orun_build BUILD_DIR [extra cmake args...]
# Builds everything, or only the targets listed in ORUN_BUILD_TARGETS.
orun_build() {
    local dir=$1
    shift
    export CCACHE_DIR=${CCACHE_DIR:-$HOME/.cache/ccache}
    cmake -S "$ORUN_ROOT" -B "$dir" -G Ninja "$@"
    local targets=()
    for t in ${ORUN_BUILD_TARGETS:-}; do
        targets+=(--target "$t")
    done
    cmake --build "$dir" --parallel "$(nproc)" "${targets[@]}"
}
