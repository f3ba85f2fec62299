#!/usr/bin/env bash
# Makes the packages a user installs, in build/native/packages:
#   halvorn_0.201.50928_amd64.deb      Linux program, manual page, README
#   halvorn-0.201.50928-windows.zip    win32/ and win64/ halvorn.exe, README, licence
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
command -v cpack >/dev/null && command -v dpkg-shlibdeps >/dev/null &&
  command -v x86_64-w64-mingw32-g++ >/dev/null || bash tools/install-deps.sh

bash tools/build-windows.sh
cmake -S . -B build/native -G Ninja -DHALVORN_WINDOWS_BUILDS="$root/build" >/dev/null
cmake --build build/native -j "$(nproc)"
rm -rf build/native/packages
(cd build/native && cpack >cpack.log 2>&1) || { cat build/native/cpack.log; exit 1; }
ls build/native/packages/*.deb build/native/packages/*.zip
