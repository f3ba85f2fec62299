#!/usr/bin/env bash
# Builds Halvorn and shows its main job.
set -euo pipefail
cd "$(dirname "$0")/.."
command -v cmake >/dev/null && command -v ninja >/dev/null && command -v g++ >/dev/null || bash tools/install-deps.sh
cmake -S . -B build/native -G Ninja -DBUILD_TESTING=OFF >/dev/null
cmake --build build/native --target halvorn >/dev/null
status=0
./build/native/halvorn || status=$?
echo
echo "(exit status $status)"
