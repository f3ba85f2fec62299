# Sourced by the init of each test guest whose root is the machine's own files,
# read-only: writable_places puts a tmpfs wherever `query`, `ras` and pppd
# write (a terminal pair folder, the lock folder, pppd's files as the machine
# has them, the logs), so that nothing of the machine's is changed.
writable_places() {
  mkdir -p /dev/pts /run/lock && mount -t devpts -o newinstance,ptmxmode=666 devpts /dev/pts &&
    ln -sf pts/ptmx /dev/ptmx || return 1
  # The root's own /var/lock is the read-only /run/lock of the machine.
  [ "$(readlink -f /var/lock)" = /run/lock ] || mount -t tmpfs tmpfs /var/lock || return 1
  local dir copy
  for dir in /etc/ppp /etc/chatscripts; do
    copy=$(mktemp -d) && cp -a "$dir/." "$copy/" && mount -t tmpfs tmpfs "$dir" && cp -a "$copy/." "$dir/" ||
      return 1
  done
  # Logs the ppp package writes to: poweroff's wtmp record too.
  mount -t tmpfs tmpfs /var/log
}
