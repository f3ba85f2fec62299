#!/usr/bin/env bash
# Installs what the tests need, builds the tool natively, with sanitizers and
# for Windows, and runs every test: unit, end-to-end, and under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

bash tools/install-deps.sh

jobs=$(nproc)
export CTEST_OUTPUT_ON_FAILURE=1

echo "== Windows cross build"
cmake -S . -B build/win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/win -j "$jobs"

echo "== native build and tests (unit, end-to-end, Wine)"
cmake -S . -B build/native -G Ninja -DHALVORN_WINDOWS_EXE="$root/build/win/halvorn.exe" >/dev/null
cmake --build build/native -j "$jobs"
if [ ! -d build/native/wineprefix ]; then
  WINEPREFIX="$root/build/native/wineprefix" WINEDEBUG=-all wineboot -i >/dev/null 2>&1 || true
fi
(cd build/native && ctest -j "$jobs" --timeout 600)

echo "== unit tests with AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build/sanitize -G Ninja -DHALVORN_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build/sanitize -j "$jobs" --target halvorn_unit_tests
(cd build/sanitize && ctest -j "$jobs" -L unit)

bash tools/fuzz.sh
echo "== all tests passed"
