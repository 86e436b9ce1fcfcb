#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for SECONDS each, one after the other, and prints each
# one's runs and coverage (libFuzzer's final stats). The working corpus of a target is
# BUILD/corpus/<target> (kept between runs), seeded from tests/fuzz/corpus/<target>; inputs that
# crash go to BUILD/crashes/, each run's output to BUILD/logs/<target>.log. Exit status 1 when a
# target crashed.
#
#   tests/fuzz/run.sh BUILD SECONDS
set -uo pipefail
build="$(cd "$1" && pwd)"
seconds="$2"
seeds="$(cd "$(dirname "$0")" && pwd)/corpus"
list="$build/tests/fuzz/targets.txt"
[ -f "$list" ] || { echo "run.sh: $list is missing: build the fuzz preset first" >&2; exit 2; }
mkdir -p "$build/crashes" "$build/logs"

failed=0
summary=()
while read -r name max_len _; do
  [ -n "$name" ] || continue
  mkdir -p "$build/corpus/$name"
  log="$build/logs/$name.log"
  echo "fuzzing $name for $seconds s"
  TZ=UTC "$build/tests/fuzz/fuzz_$name" -max_total_time="$seconds" -print_final_stats=1 -max_len="$max_len" \
    -timeout=20 -artifact_prefix="$build/crashes/$name-" "$build/corpus/$name" "$seeds/$name" >"$log" 2>&1
  status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1)
  ft=$(grep -o 'ft: [0-9]*' "$log" | tail -1)
  line="$name: ${runs:-?} runs, ${cov:-cov: ?}, ${ft:-ft: ?}"
  if [ "$status" -ne 0 ]; then
    line+=" -- FAILED (status $status, see $log)"
    failed=1
  fi
  summary+=("$line")
done <"$list"

echo
printf '%s\n' "${summary[@]}"
exit "$failed"
