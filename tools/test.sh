#!/usr/bin/env bash
# Installs what the tests need, builds the tool natively, with sanitizers and
# for both Windows architectures, and runs every lane of tests: unit and
# end-to-end, real PPP links, real serial drivers, Wine (once per Windows
# build this machine can run), sanitizers, fuzzing, packages. Each lane is one
# `lane NAME COMMAND...` line at the end (or a lane_start and lane_end pair);
# its time is printed when it passes, and a failing lane ends the run.
#
# HALVORN_TEST_NO_32BIT=1 makes the 32-bit check fail, as on a kernel that runs
# no 32-bit code, to try the 64-bit-only Wine lane on a machine that has both.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
started=$SECONDS
jobs=$(nproc)
export CTEST_OUTPUT_ON_FAILURE=1
timings=()
current_lane=

# Runs one lane as a plain command, so that set -e holds inside it too.
lane() {
  local start=$SECONDS
  current_lane=$1
  shift
  echo "== lane $current_lane"
  "$@"
  timings+=("$(printf '%-9s %4d s' "$current_lane" $((SECONDS - start)))")
}
trap 'status=$?; [ $status -eq 0 ] || echo "== lane $current_lane FAILED (status $status)"' EXIT

# A lane that mostly waits runs beside the lanes that follow: lane_start NAME
# COMMAND... starts it, with its output in build/NAME.log; lane_end NAME waits
# for it, shows that output and fails as the lane did. Its time is its own.
declare -A lane_pids
lane_start() {
  local name=$1
  shift
  echo "== lane $name: started, ends after the next lanes"
  (
    start=$SECONDS
    "$@"
    printf '%-9s %4d s, beside others\n' "$name" $((SECONDS - start)) >"build/$name.time"
  ) >"build/$name.log" 2>&1 &
  lane_pids[$name]=$!
}
lane_end() {
  local status=0
  current_lane=$1
  wait "${lane_pids[$1]}" || status=$?
  echo "== lane $1"
  cat "build/$1.log"
  [ $status -eq 0 ] || exit $status
  timings+=("$(cat "build/$1.time")")
}

# find_wine_lanes: the Windows builds Wine can run here, in wine_lanes.
source tools/wine_lanes.bash

build() {
  bash tools/build-windows.sh
  find_wine_lanes
  local lanes="${wine_lanes[*]}"
  cmake -S . -B build/native -G Ninja -DHALVORN_WINDOWS_BUILDS="$root/build" \
    -DHALVORN_WINE_LANES="${lanes// /;}" >/dev/null
  cmake --build build/native -j "$jobs"
}

run_ctest() { (cd build/native && ctest -j "$jobs" --timeout 600 --no-tests=error "$@"); }

sanitize() {
  cmake -S . -B build/sanitize -G Ninja -DHALVORN_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug >/dev/null
  cmake --build build/sanitize -j "$jobs" --target halvorn_unit_tests
  (cd build/sanitize && ctest -j "$jobs" -L unit)
}

packages() {
  bash tools/package.sh && bash tests/package/installed.sh && bash tests/package/windows_installer.sh
}

# Real PPP links in a User-Mode Linux guest (tests/link), with the packages
# the guest boots and runs.
link_lane() {
  bash tools/install-deps.sh user-mode-linux kmod iputils-ping ppp python3 strace libglib2.0-bin
  run_ctest -L link
}

# Real serial drivers in a QEMU guest (tests/uart), which boots Debian's
# kernel, fetched into build/native/qemu_guest on the first run.
uart_lane() {
  bash tools/install-deps.sh qemu-system-x86 busybox-static kmod ppp python3
  run_ctest -L uart
}

lane deps bash tools/install-deps.sh
lane build build
lane native run_ctest -LE 'wine|link|uart'
# Beside the link lane, whose guest waits too, and the fuzzers, which run for
# a bounded time each (sharing the CPU costs them runs, not a failure); the
# native and Wine lanes' timing tests would feel the QEMU guest's load.
lane_start uart uart_lane
lane link link_lane
lane fuzz bash tools/fuzz.sh
lane_end uart
lane wine run_ctest -L wine
lane sanitize sanitize
lane package packages

echo "== all tests passed; Wine lanes: ${wine_lanes[*]}"
printf 'bench: %s\n' "${timings[@]}"
printf 'bench: %-9s %4d s\n' total $((SECONDS - started))
