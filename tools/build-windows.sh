#!/usr/bin/env bash
# Cross-builds both Windows programs, Release: build/win32/halvorn.exe (i686,
# the one shipped for every Windows) and build/win64/halvorn.exe (x86_64), each
# with the Wine tests' rasapi32.dll beside it.
set -euo pipefail
cd "$(dirname "$0")/.."
for build in win32:i686 win64:x86_64; do
  dir=build/${build%%:*}
  cmake --no-warn-unused-cli -S . -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-${build#*:}.cmake" \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$dir" -j "$(nproc)"
done
