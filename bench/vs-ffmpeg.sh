#!/bin/sh
# Side-by-side decoding speed of our picture decoder and ffmpeg's MPEG-1 decoder on the same
# frames, one thread each, at 640x224 and 640x272.
#
#   bench/vs-ffmpeg.sh [BUILD_DIR] [FRAMES] [Q] [RUNS]
#       default build/release, 2000 frames, quantiser scale 4, best of 5 runs
#
# The frames are scene pictures from tamlorex-sim make-yuv (four channels in turn), or raw
# yuv420p files of your own given as YUV224=FILE and YUV272=FILE in the environment (640x224
# and 640x272; FRAMES is then taken from the file size). Each size is encoded twice: by
# tamlorex-sim encode-yuv as our full pictures at quantiser scale Q, and by ffmpeg's mpeg1video
# encoder as intra-only MPEG-1 (-g 1) at the bit rate our records come to at 25 pictures a
# second, written as a bare video stream so that both sizes count picture data only.
#
# Ours: tamlorex_decode_records times parsing and decoding alone (records already in memory),
# with the path the processor selects, by processor time and by wall-clock time. ffmpeg:
# `ffmpeg -threads 1 -benchmark -f mpegvideo -i IN -f null -`, whose utime and rtime cover its
# decoding loop (reading the stream, decoding, handing pictures to the null output) but not its
# start-up. The ratio that counts is processor time against utime: on a shared machine the
# wall-clock figures of both sides include time spent waiting for other processes.
#
# Needs ffmpeg (apt-get install ffmpeg) and a release build
# (cmake --preset release && cmake --build build/release -j2).
set -eu

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
build=${1:-$root/build/release}
frames=${2:-2000}
q=${3:-4}
runs=${4:-5}
fps=25

sim="$build/tamlorex-sim"
timer="$build/bench/ffmpeg/tamlorex_decode_records"
for exe in "$sim" "$timer"; do
    if [ ! -x "$exe" ]; then
        echo "no $exe: build the release preset first" >&2
        exit 1
    fi
done
if ! command -v ffmpeg >/dev/null 2>&1; then
    echo "ffmpeg not found: apt-get update && apt-get install ffmpeg" >&2
    exit 1
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/vs-ffmpeg.XXXXXX")
trap 'rm -rf "$work"' EXIT

# Best (smallest) user and real time of `ffmpeg -benchmark` over RUNS runs: prints "utime rtime".
ffmpeg_best() {
    i=0
    while [ "$i" -lt "$runs" ]; do
        ffmpeg -nostdin -hide_banner -nostats -threads 1 -benchmark "$@" -f null - 2>&1 | grep 'bench: utime=' || true
        i=$((i + 1))
    done | sed 's/.*utime=\([0-9.]*\)s.*rtime=\([0-9.]*\)s.*/\1 \2/' |
        awk 'NR == 1 || $1 < u { u = $1 } NR == 1 || $2 < r { r = $2 } END { if (NR == 0) exit 1; print u, r }'
}

echo "$(ffmpeg -version | head -n 1)"
echo "$frames frames per size, quantiser scale $q, best of $runs runs, $(nproc) processors"
for height in 224 272; do
    size="640x$height"
    frame_bytes=$((640 * height * 3 / 2))
    eval "given=\${YUV$height:-}"
    if [ -n "$given" ]; then
        yuv=$given
        n=$(( $(wc -c <"$yuv") / frame_bytes ))
    else
        yuv="$work/$size.yuv"
        "$sim" make-yuv "$yuv" --frames "$frames" --size "$size" >/dev/null
        n=$frames
    fi

    "$sim" encode-yuv "$yuv" "$work/$size.records" --size "$size" --q "$q" >/dev/null
    ours=$("$timer" "$work/$size.records" --pictures "$n" --runs "$runs")
    ours_bytes=$(echo "$ours" | sed 's/.*, \([0-9.]*\) bytes per picture.*/\1/')
    ours_pps=$(echo "$ours" | sed 's/.*processor [0-9.]* s \([0-9.]*\) pictures\/s.*/\1/')
    ours_wall=$(echo "$ours" | sed 's/.*wall [0-9.]* s \([0-9.]*\) pictures\/s.*/\1/')
    ours_path=$(echo "$ours" | sed 's/.*path \([a-z0-9-]*\),.*/\1/')

    rate=$(awk -v b="$ours_bytes" -v f="$fps" 'BEGIN { printf "%d", b * 8 * f }')
    m1v="$work/$size.m1v"
    ffmpeg -nostdin -hide_banner -loglevel error -y -f rawvideo -pix_fmt yuv420p -s "$size" -r "$fps" -i "$yuv" \
        -frames:v "$n" -c:v mpeg1video -g 1 -b:v "$rate" -f mpeg1video "$m1v"
    theirs_bytes=$(awk -v s="$(wc -c <"$m1v")" -v n="$n" 'BEGIN { printf "%.1f", s / n }')

    set -- $(ffmpeg_best -f mpegvideo -i "$m1v")
    utime=$1 rtime=$2

    echo
    echo "$size: $n pictures"
    awk -v n="$n" -v ours="$ours_pps" -v wall="$ours_wall" -v path="$ours_path" -v ob="$ours_bytes" \
        -v tb="$theirs_bytes" -v rate="$rate" -v u="$utime" -v r="$rtime" 'BEGIN {
        printf "  size    ours %.0f bytes/picture, ffmpeg MPEG-1 %.0f bytes/picture (-b:v %d)\n", ob, tb, rate
        printf "  ours    %8.1f pictures/s processor time  (%8.1f wall-clock; %s path)\n", ours, wall, path
        printf "  ffmpeg  %8.1f pictures/s utime           (%8.1f rtime)\n", n / u, n / r
        printf "  ratio ours/ffmpeg  %.2f  (wall-clock %.2f; target 1.5)\n", ours / (n / u), wall / (n / r)
    }'
done
