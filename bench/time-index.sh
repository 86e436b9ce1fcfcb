#!/bin/sh
# Finding footage by clock time on big inputs: Go to time on a 50 GB recorder disk image from a
# cold and a warm page cache (page reads and wall-clock time), the time to the timeline's first
# rows and to the end of its scan on that image, and `tamlorex index` over a two-hour recording.
#
#   bench/time-index.sh [BUILD_DIR] [GIGABYTES] [WORK_DIR]
#       default build/release, 50 GB, /tmp (the image and the recording are made there once and
#       kept for the next run: tamlorex-bench-disk-G.img and tamlorex-bench-2h.vvf)
#
# The search's own time is what `seek --reads` prints (the index built and searched); the whole
# command's time adds the program's start, which after a dropped cache loads its libraries from
# disk. A cold start drops the page cache (root only: /proc/sys/vm/drop_caches); without root the
# "cold" figures are warm ones and the script says so.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
build=${1:-$root/build/release}
gigabytes=${2:-50}
work=${3:-/tmp}
cli=$build/tamlorex
sim=$build/tamlorex-sim
image=$work/tamlorex-bench-disk-$gigabytes.img
recording=$work/tamlorex-bench-2h.vvf

now_ms() { echo $(( $(date +%s%N) / 1000000 )); }

drop_cache() {
    sync
    if [ -w /proc/sys/vm/drop_caches ]; then
        echo 3 > /proc/sys/vm/drop_caches
        echo cold
    else
        echo "warm (no root: the page cache could not be dropped)"
    fi
}

if [ ! -f "$image" ]; then
    start=$(now_ms)
    "$sim" make-disk "$image" --gigabytes "$gigabytes" --wrap 0.6 --channels 8 > /dev/null
    echo "made $image in $(( $(now_ms) - start )) ms"
fi

# Targets in the newest run (before the wrap point), the oldest run and past the end.
first=$("$cli" index "$image" --drive --step 86400 | head -1 | sed 's/.*"time":"\([^"]*\)".*/\1/')
hours=$("$cli" index "$image" --drive --step 3600)
middle=$(echo "$hours" | awk -v n="$(echo "$hours" | wc -l)" 'NR == int(n / 2) + 1' | sed 's/.*"time":"\([^"]*\)".*/\1/')
last=$(echo "$hours" | tail -1 | sed 's/.*"time":"\([^"]*\)".*/\1/')
for target in "$first" "$middle" "$last"; do
    [ -n "$target" ] || continue
    for run in 1 2; do
        if [ $run = 1 ]; then state=$(drop_cache); else state=warm; fi
        start=$(now_ms)
        reads=$("$cli" seek "$image" --drive --time "$target" --reads 2>&1 > /dev/null | sed -n 's/page reads: //p')
        echo "go to $target on ${gigabytes} GB, $state: $reads, the whole command $(( $(now_ms) - start )) ms"
    done
done

state=$(drop_cache)
"$cli" timeline "$image" --drive | awk -v state="$state" '
    /"samples":[1-9]/ && !first { sub(/.*"t":/, ""); sub(/,.*/, ""); print "timeline, " state ": first rows after " $0 " ms"; first = 1 }
    /"done":true/ { line = $0; sub(/.*"t":/, "", line); sub(/,.*/, "", line); s = $0; sub(/.*"samples":/, "", s); sub(/,.*/, "", s);
                    print "timeline, " state ": scan done after " line " ms (" s " samples)" }'

if [ ! -f "$recording" ]; then
    start=$(now_ms)
    "$sim" make-sample "$recording" --channels 8 --seconds 7200 > /dev/null
    echo "made $recording in $(( $(now_ms) - start )) ms"
fi
for step in 60 10 1; do
    start=$(now_ms)
    lines=$("$cli" index "$recording" --step $step | wc -l)
    echo "index of a two-hour recording, --step $step: $lines lines in $(( $(now_ms) - start )) ms"
done
