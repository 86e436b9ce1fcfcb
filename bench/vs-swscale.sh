#!/bin/sh
# Side-by-side timing of our 24- and 32-bit colour conversion against libswscale
# (yuv420p -> bgr24 and bgra) at the recorder's picture sizes, one thread.
#
#   bench/vs-swscale.sh [BUILD_DIR] [FRAMES]     (default build/release, 2000 frames)
#
# Needs libswscale-dev and pkg-config (apt-get install libswscale-dev pkg-config) and a built
# tamlorex_core in BUILD_DIR (cmake --preset release && cmake --build build/release -j2).
set -eu

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
build=${1:-$root/build/release}
frames=${2:-2000}
core="$build/libtamlorex_core.a"

if [ ! -f "$core" ]; then
    echo "no $core: build the release preset first" >&2
    exit 1
fi
if ! pkg-config --exists libswscale libavutil; then
    echo "libswscale not found: apt-get install libswscale-dev pkg-config" >&2
    exit 1
fi

exe="$build/compare_swscale"
${CXX:-c++} -std=c++20 -O2 -I"$root/src" "$here/swscale/compare_swscale.cpp" "$core" \
    $(pkg-config --cflags --libs libswscale libavutil) -o "$exe"

echo "libswscale $(pkg-config --modversion libswscale)"
for size in "640 224" "640 272"; do
    # shellcheck disable=SC2086
    "$exe" $size "$frames"
done
