#!/usr/bin/env bash
# Runs tools/test.sh as on a kernel that runs no 32-bit code (as root, in a
# private mount namespace): Wine's 32-bit loader and server and the i386
# dynamic linker are covered by a file that fails with "Exec format error".
# The 32-bit check must then fail by itself and the 64-bit Wine lane must pass
# without starting any 32-bit program.
set -euo pipefail
cd "$(dirname "$0")/.."
[ "$(id -u)" -eq 0 ] || { echo "needs root, for unshare -m" >&2; exit 1; }
bash tools/install-deps.sh
fake=$(mktemp -d)
trap 'rm -rf "$fake"' EXIT
# An ELF file for a machine this kernel does not know (e_machine 0xb7, AArch64).
cp /usr/lib/wine/wine "$fake/not-here"
printf '\xb7\x00' | dd of="$fake/not-here" bs=1 seek=18 conv=notrunc status=none
unshare -m bash -c '
  set -e
  mount --make-rprivate /
  for file in /usr/lib/wine/wine /usr/lib/wine/wineserver32 "$(readlink -f /lib/ld-linux.so.2)"; do
    mount --bind "$1" "$file"
  done
  exec bash tools/test.sh' bash "$fake/not-here"
