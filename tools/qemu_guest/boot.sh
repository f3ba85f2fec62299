#!/usr/bin/env bash
# Boots a QEMU guest on Debian's kernel with the machine's own files as its
# root, read-only over 9p, and runs SCRIPT in it as root (see init): tmpfs on
# /run, the scratch folder OUT (the only place it writes to on the machine) at
# /run/out, where SCRIPT's output lands in `console` and its status in
# `status`; the kernel's messages go to OUT/kernel.
#   boot.sh [--modules "NAME..."] [--append ARGS] [--seconds N] CACHE OUT SCRIPT [QEMU ARG...]
# CACHE keeps the kernel between runs: the package that linux-image-amd64
# depends on, fetched with apt-get download and unpacked, never installed, of
# which only the kernel and the modules named (beside 9p's) are kept, in
# CACHE/modules, for SCRIPT to insmod in the order given. TCG by default:
# HALVORN_GUEST_ACCEL=kvm where KVM works (not on every machine that has
# /dev/kvm). --seconds (default 120) bounds the guest's run.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
modules="" append="" seconds=120
while [ $# -gt 0 ]; do
  case $1 in
    --modules) modules=$2 ;;
    --append) append=$2 ;;
    --seconds) seconds=$2 ;;
    *) break ;;
  esac
  shift 2
done
cache=$1 out=$2 script=$3
shift 3
fail() { echo "FAIL guest: $*" >&2; exit 1; }

# 9p over virtio, in the order of their dependencies: in the initramfs.
boot_modules="virtio_ring virtio virtio_pci_modern_dev virtio_pci_legacy_dev virtio_pci netfs fscache 9pnet
  9pnet_virtio 9p"
fetch_kernel() {
  local name missing=
  for name in $boot_modules $modules; do [ -s "$cache/modules/$name.ko" ] || missing=1; done
  [ -s "$cache/vmlinuz" ] && [ -z "$missing" ] && return
  local package fetch
  package=$(apt-cache depends linux-image-amd64 | sed -n 's/^ *Depends: \(linux-image-[0-9].*\)$/\1/p')
  [ -n "$package" ] || fail "apt knows no linux-image-amd64 (apt-get update?)"
  rm -rf "$cache" && mkdir -p "$cache/modules"
  fetch=$(mktemp -d "$cache/fetch.XXXXXX")
  echo "== fetching $package"
  (cd "$fetch" && apt-get -q -o APT::Sandbox::User=root download "$package" >/dev/null) ||
    fail "apt-get download $package failed"
  dpkg-deb -x "$fetch"/*.deb "$fetch/root"
  cp "$fetch"/root/boot/vmlinuz-* "$cache/vmlinuz"
  for name in $boot_modules $modules; do
    find "$fetch/root/lib/modules" -name "$name.ko" -exec cp {} "$cache/modules/" \;
    [ -s "$cache/modules/$name.ko" ] || fail "$package has no module $name"
  done
  rm -rf "$fetch"
}

# A busybox initramfs with init and 9p's modules, made again when init changes.
make_initrd() {
  [ "$cache/initrd" -nt "$here/init" ] && return
  local tree name
  tree=$(mktemp -d)
  mkdir -p "$tree"/{bin,dev,proc,sys,root,modules}
  cp /bin/busybox "$tree/bin/busybox" && install -m 755 "$here/init" "$tree/init"
  for name in $boot_modules; do cp "$cache/modules/$name.ko" "$tree/modules/"; done
  echo $boot_modules >"$tree/modules/order"
  (cd "$tree" && find . | busybox cpio -o -H newc 2>/dev/null) >"$cache/initrd.new"
  mv "$cache/initrd.new" "$cache/initrd"
  rm -rf "$tree"
}

[ -x /bin/busybox ] || fail "no /bin/busybox: install busybox-static"
command -v qemu-system-x86_64 >/dev/null || fail "no qemu-system-x86_64: install qemu-system-x86"
fetch_kernel
make_initrd
# No network, no display, no defaults: the console is the first 16550 (ttyS0)
# and further devices are the caller's.
exec timeout -k 5 "$seconds" qemu-system-x86_64 -nodefaults -no-user-config -display none -no-reboot \
  -machine pc,accel="${HALVORN_GUEST_ACCEL:-tcg}" -m 512 -smp 2 -kernel "$cache/vmlinuz" -initrd "$cache/initrd" \
  -append "console=ttyS0 quiet panic=-1 HALVORN_GUEST_SCRIPT=$script $append" -serial "file:$out/kernel" \
  -virtfs local,path=/,mount_tag=root,security_model=none,readonly=on,multidevs=remap \
  -virtfs "local,path=$out,mount_tag=out,security_model=none" "$@"
