#!/bin/bash
# The first process of the User-Mode Linux guest that boot.sh starts: the
# machine's own files are its root, read-only, so every place it writes is a
# tmpfs of its own. It runs $GUEST_SCRIPT with its output and status in the
# host's scratch folder $HALVORN_LINK_OUT, then powers off: an init that ends
# would panic the guest. Its scratch files go to /run, not /tmp, whose tmpfs would
# hide a checkout or a build under the machine's /tmp.
out=/run/out
# The kernel starts init with no PATH.
export PATH=/usr/sbin:/usr/bin:/sbin:/bin
setup() {
  mount -t proc proc /proc && mount -t sysfs sys /sys &&
    mount -t tmpfs tmpfs /run && mkdir -p /run/lock "$out" && mkdir -m 1777 /run/tmp &&
    mount -t hostfs -o "$HALVORN_LINK_OUT" none "$out" || return 1
  export TMPDIR=/run/tmp
  exec >"$out/console" 2>&1
  source "$out/env" || return 1
  # Nothing runs unless the machine's own files are read-only here.
  local device mountpoint type options rest
  while read -r device mountpoint type options rest; do
    [ "$mountpoint $type" != "/ hostfs" ] || [[ $options == ro,* ]] || { echo "FAIL root is $options" && return 1; }
  done </proc/mounts
  source "$SOURCE_DIR/tools/guest_writable.bash" && writable_places || return 1
  # PPP over a serial line, in the order of the modules' dependencies.
  local module
  for module in drivers/net/slip/slhc lib/crc-ccitt drivers/net/ppp/ppp_generic drivers/net/ppp/ppp_async; do
    insmod "/usr/lib/uml/modules/$UML_RELEASE/kernel/$module.ko" || return 1
  done
  [ -c /dev/ppp ] || mknod /dev/ppp c 108 0
}

if setup; then
  status=0
  bash "$GUEST_SCRIPT" || status=$?
  echo "$status" >"$out/status"
else
  echo "guest setup failed" >&2
fi
exec >/dev/console 2>&1
sync
umount "$out"
poweroff -f
