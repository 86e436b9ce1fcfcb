#!/bin/sh
# Side-by-side speed of `tamlorex export` to H.264 in MP4 and of ffmpeg encoding the same decoded
# pictures with the same encoder and settings, both over the two processors.
#
#   bench/export-vs-ffmpeg.sh [BUILD_DIR] [SECONDS] [CHANNELS] [RUNS]
#       default build/release, a 300-second sample of 8 channels, best of 3 runs
#
# The sample comes from tamlorex-sim make-sample. Ours: `tamlorex export SAMPLE OUT.mp4
# --no-audio --threads 2`, which reads the recording, decodes every picture, doubles its height,
# burns the time in and encodes it with libx264 (preset veryfast, rate factor 23, a key frame
# every two seconds of pictures, one encoder thread per file as the channels share the two
# lanes). ffmpeg: the same pictures, exported beforehand as uncompressed AVI files (one per
# channel, 24-bit as our encoder gets them, read from the page cache), each encoded by
# `ffmpeg -threads 1 -c:v libx264 -preset veryfast -crf 23 -g G` to MP4, two at a time. The
# ratio that counts is ours over ffmpeg's, by wall-clock time and by processor time (user +
# system, the cleaner figure on a shared machine); the target is 1.2 at most.
#
# Needs ffmpeg with libx264 (apt-get install ffmpeg), /usr/bin/time and a release build
# (cmake --preset release && cmake --build build/release -j2). The raw pictures take about
# 850 KB each (4 GB for the default sample) in TMPDIR.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
build=${1:-$root/build/release}
seconds=${2:-300}
channels=${3:-8}
runs=${4:-3}

cli="$build/tamlorex"
sim="$build/tamlorex-sim"
for exe in "$cli" "$sim"; do
    if [ ! -x "$exe" ]; then
        echo "no $exe: build the release preset first" >&2
        exit 1
    fi
done
if ! command -v ffmpeg >/dev/null 2>&1 || [ ! -x /usr/bin/time ]; then
    echo "needs ffmpeg and /usr/bin/time: apt-get update && apt-get install ffmpeg time" >&2
    exit 1
fi
if ! ffmpeg -hide_banner -encoders 2>/dev/null | grep -q ' libx264 '; then
    echo "this ffmpeg has no libx264" >&2
    exit 1
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/export-vs-ffmpeg.XXXXXX")
trap 'rm -rf "$work"' EXIT

"$sim" make-sample "$work/sample.vvf" --seconds "$seconds" --channels "$channels" >/dev/null
list=$(seq -s, 1 "$channels")
"$cli" export "$work/sample.vvf" "$work/raw.avi" --channels "$list" --no-audio --threads 2 2>/dev/null >"$work/raw.json"
# Our key-frame distance: two seconds of the file's pictures (rate / scale a second), 1..250.
gop=$(head -n 1 "$work/raw.json" | sed 's/.*"rate":\([0-9]*\),"scale":\([0-9]*\).*/\1 \2/' |
    awk '{ g = int(2 * $1 / $2 + 0.5); if (g < 1) g = 1; if (g > 250) g = 250; print g }')
pictures=$(sed 's/.*"frames":\([0-9]*\).*/\1/' "$work/raw.json" | awk '{ n += $1 } END { print n }')

cat >"$work/encode.sh" <<SCRIPT
#!/bin/sh
exec ffmpeg -nostdin -hide_banner -loglevel error -y -i "\$1" -an -c:v libx264 -preset veryfast -crf 23 \
    -g $gop -threads 1 -pix_fmt yuv420p -movflags +faststart "\${1%.avi}.mp4"
SCRIPT
chmod +x "$work/encode.sh"

# Prints "wall processor" seconds of one command.
timed() {
    /usr/bin/time -f '%e %U %S' -o "$work/time" "$@" >/dev/null 2>&1
    awk '{ printf "%.2f %.2f\n", $1, $2 + $3 }' "$work/time"
}

echo "$(ffmpeg -version | head -n 1)"
echo "$seconds s sample, $channels channels, $pictures pictures of 640x448, key frame every $gop, best of $runs runs, $(nproc) processors"
i=0
while [ "$i" -lt "$runs" ]; do
    # Taken in turns, so that other load on the machine falls on both sides alike.
    rm -f "$work"/ours-CH*.mp4 "$work"/raw-CH*.mp4
    echo "ours $(timed "$cli" export "$work/sample.vvf" "$work/ours.mp4" --channels "$list" --no-audio --threads 2)"
    echo "ffmpeg $(timed sh -c "ls '$work'/raw-CH*.avi | xargs -P2 -n1 '$work/encode.sh'")"
    i=$((i + 1))
done >"$work/times"
ours_bytes=$(cat "$work"/ours-CH*.mp4 | wc -c)
theirs_bytes=$(cat "$work"/raw-CH*.mp4 | wc -c)

awk -v n="$pictures" -v ob="$ours_bytes" -v tb="$theirs_bytes" '
    $1 == "ours" { if (!ow || $2 < ow) ow = $2; if (!op || $3 < op) op = $3 }
    $1 == "ffmpeg" { if (!fw || $2 < fw) fw = $2; if (!fp || $3 < fp) fp = $3 }
    END {
        printf "  ours    %6.2f s wall-clock %6.2f s processor  (%6.1f pictures/s wall-clock), %d bytes\n", ow, op, n / ow, ob
        printf "  ffmpeg  %6.2f s wall-clock %6.2f s processor  (%6.1f pictures/s wall-clock), %d bytes\n", fw, fp, n / fw, tb
        printf "  ratio ours/ffmpeg  %.2f wall-clock, %.2f processor  (target 1.2)\n", ow / fw, op / fp
    }' "$work/times"
