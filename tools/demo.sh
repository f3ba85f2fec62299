#!/usr/bin/env bash
# The tool's main job, end to end: builds Halvorn and the modem simulator,
# starts a simulated modem on a pseudo-terminal, runs a real query against it,
# prints the console transcript and shows the report file.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
command -v cmake >/dev/null && command -v ninja >/dev/null && command -v g++ >/dev/null ||
  bash tools/install-deps.sh

cmake -S . -B build/native -G Ninja >/dev/null
cmake --build build/native --target halvorn modem_simulator >/dev/null

export BUILD_DIR=$root/build/native
source tests/e2e/simulator.bash
work=$(mktemp -d)
trap 'simulator_discard; rm -rf "$work"' EXIT

# A modem that is silent at 9600 and answers at 115200.
simulator_start --speeds 115200 --profile E0
echo "Simulated modem on $SIMULATOR_PTY"
echo "\$ halvorn query $SIMULATOR_PTY \"ATI0|ATI3|AT+FCLASS=?\" report.ini"

status=0
(cd "$work" && "$root/build/native/halvorn" query "$SIMULATOR_PTY" "ATI0|ATI3|AT+FCLASS=?" report.ini) || status=$?
echo
echo
echo "(exit status $status)"
echo
echo "report.ini:"
tr -d '\r' <"$work/report.ini"
exit "$status"
