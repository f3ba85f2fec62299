#!/usr/bin/env bash
# Benchmark of the worked example (silent at 9600, OK at 115200, two commands):
# prints the wall time against the six seconds of fixed waits, the overhead per
# exchange, CPU time and peak memory. Prints figures; it is not a test.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
cmake -S . -B build/native -G Ninja >/dev/null
cmake --build build/native --target halvorn modem_simulator measure_run >/dev/null

export BUILD_DIR=$root/build/native
source tests/e2e/simulator.bash
work=$(mktemp -d)
trap 'simulator_stop; rm -rf "$work"' EXIT
simulator_start --speeds 115200 --profile E0

# Fixed waits: 4 exchanges x 1 s, plus 1 s after each of the 2 probe tries.
runs=${1:-3}
for run in $(seq 1 "$runs"); do
  echo "== run $run of $runs"
  rm -f "$work/report.ini"
  (cd "$work" && "$BUILD_DIR/measure_run" 6000 4 "$BUILD_DIR/halvorn" query "$SIMULATOR_PTY" \
    "ATI0|AT+FCLASS=?" report.ini) || true
done
