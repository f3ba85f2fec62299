#!/usr/bin/env bash
# Benchmark of the worked example (silent at 9600, OK at 115200, two commands):
# prints the wall time against the six seconds of fixed waits, the overhead per
# exchange, CPU time and peak memory; then the large-file figure: the probe's
# one key written into a 10 MB report (editing is linear in the file size, with
# peak memory under three times it). Prints figures; it is not a test.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
cmake -S . -B build/native -G Ninja >/dev/null
cmake --build build/native --target halvorn modem_simulator measure_run >/dev/null

export BUILD_DIR=$root/build/native
source tests/e2e/simulator.bash
work=$(mktemp -d)
trap 'simulator_discard; rm -rf "$work"' EXIT
simulator_start --speeds 115200 --profile E0

# Fixed waits: 4 exchanges x 1 s, plus 1 s after each of the 2 probe tries.
runs=${1:-3}
for run in $(seq 1 "$runs"); do
  echo "== run $run of $runs"
  rm -f "$work/report.ini"
  (cd "$work" && "$BUILD_DIR/measure_run" 6000 4 "$BUILD_DIR/halvorn" query "$SIMULATOR_PTY" \
    "ATI0|AT+FCLASS=?" report.ini) || true
done

# One key (the probe's AT, no command list) into a report of 10 MB, 20-byte lines.
echo "== one key written into a 10 MB report"
awk 'BEGIN { print "[Other]\r"; for (i = 0; i < 455000; i++) printf "K%07d=value %05d\r\n", i, i % 99999 }' \
  >"$work/large.ini"
echo "file size             $(stat -c %s "$work/large.ini") bytes"
(cd "$work" && "$BUILD_DIR/measure_run" 4000 0 "$BUILD_DIR/halvorn" query "$SIMULATOR_PTY" "" large.ini) || true
