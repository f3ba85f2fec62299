#!/usr/bin/env bash
# Makes the packages a user installs, in build/native/packages (VERSION is the
# project's, from CMakeLists.txt):
#   halvorn_VERSION_amd64.deb          Linux program, manual page, README
#   halvorn-VERSION-windows.zip        win32/ and win64/ halvorn.exe, README, licence
#   halvorn-VERSION-win32.msi          Windows installer of the 32-bit program
#   halvorn-VERSION-win64.msi          Windows installer of the 64-bit program
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
command -v cpack >/dev/null && command -v dpkg-shlibdeps >/dev/null &&
  command -v x86_64-w64-mingw32-g++ >/dev/null && command -v wixl >/dev/null &&
  command -v msibuild >/dev/null || bash tools/install-deps.sh

bash tools/build-windows.sh
cmake -S . -B build/native -G Ninja -DHALVORN_WINDOWS_BUILDS="$root/build" >/dev/null
cmake --build build/native -j "$(nproc)"
rm -rf build/native/packages
(cd build/native && cpack >cpack.log 2>&1) || { cat build/native/cpack.log; exit 1; }
cmake --build build/native --target windows_installers >/dev/null
ls build/native/packages/*.deb build/native/packages/*.zip build/native/packages/*.msi
