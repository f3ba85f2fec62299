#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when missing;
# given package names, only those (a lane that installs its own).
set -euo pipefail

# wine32 runs the 32-bit Windows build where the kernel runs 32-bit code,
# wine64 the 64-bit one everywhere; dpkg-dev, lintian and man-db build and
# check the Debian package; ppp and desktop-file-utils read what `ras` writes on
# Linux, and gio (libglib2.0-bin) runs the launcher as GLib does; strace kills
# the real binary at each of its writes; clang and its runtime build the
# fuzzers; wixl and msitools build the Windows installers, and python3-pefile
# reads the Windows programs' resources back; user-mode-linux is the kernel
# with PPP that the link lane boots, kmod loads its modules and iputils-ping
# sends across the links; qemu-system-x86 runs the uart lane's guest from a
# busybox-static initramfs (without their recommends: a desktop's worth).
packages=(cmake ninja-build g++ libgtest-dev libgmock-dev mingw-w64 wine wine32:i386 wine64
  python3 dpkg-dev lintian man-db groff-base ppp desktop-file-utils libglib2.0-bin strace
  clang-14 libclang-rt-14-dev liblnk-utils wixl msitools python3-pefile user-mode-linux kmod
  iputils-ping qemu-system-x86 busybox-static)
bare=" qemu-system-x86 busybox-static "  # installed without their recommends
[ $# -eq 0 ] || packages=("$@")
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "== installing: ${missing[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
$sudo env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 update -qq
install=(env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 install -y -qq)
with=() without=()
for package in "${missing[@]}"; do
  if [[ $bare == *" $package "* ]]; then without+=("$package"); else with+=("$package"); fi
done
[ ${#with[@]} -eq 0 ] || $sudo "${install[@]}" "${with[@]}" >/dev/null
[ ${#without[@]} -eq 0 ] || $sudo "${install[@]}" --no-install-recommends "${without[@]}" >/dev/null
