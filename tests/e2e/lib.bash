# Helpers shared by the end-to-end scripts.
failures=0
fail() { echo "FAIL $1"; failures=$((failures + 1)); }

# expect_run NAME STATUS OUTPUT COMMAND...: runs COMMAND and compares its exact
# standard output (bytes, including trailing line feeds) and exit status.
expect_run() {
  local name=$1 want_status=$2 want_output=$3
  shift 3
  capture_run "$@"
  if [ "$run_status" != "$want_status" ]; then
    fail "$name: status $run_status, wanted $want_status"
  elif [ "$run_output" != "$want_output" ]; then
    fail "$name: output differs"
    diff <(printf '%s' "$want_output" | od -c) <(printf '%s' "$run_output" | od -c) | head -20 || true
  else
    echo "ok   $name"
  fi
}

# Runs a command once, capturing its output in $run_output and status in $run_status.
capture_run() {
  run_status=0
  run_output=$("$@" 2>/dev/null; s=$?; printf x; exit $s) || run_status=$?
  run_output=${run_output%x}
}

check() {
  local name=$1
  shift
  if "$@"; then echo "ok   $name"; else fail "$name"; fi
}

# Moves into a fresh, empty folder under a new $TMPDIR that holds every
# temporary file from here on, removed (after the simulator stops) at exit.
enter_scratch() {
  export TMPDIR && TMPDIR=$(mktemp -d)
  chmod 755 "$TMPDIR"  # test users reach their homes below it
  trap 'if declare -F simulator_stop >/dev/null; then simulator_stop; fi; rm -rf "$TMPDIR"' EXIT
  cd "$(mktemp -d)"
}

# hang_up LAUNCHER: runs the launcher's "Hang up" action as GNOME does, through
# GLib (gio launch, which runs a file's main Exec line: the action's goes
# there), and waits for everything it started to end.
hang_up() {
  local copy
  copy=$(mktemp --suffix=.desktop)
  printf '[Desktop Entry]\nType=Application\nName=Hang up\n%s\n' \
    "$(sed -n '/^\[Desktop Action HangUp\]$/,/^\[/p' "$1" | grep '^Exec=')" >"$copy"
  strace -f -qq -e trace=none -o /dev/null gio launch "$copy"
}

# wait_until SECONDS COMMAND...: true once COMMAND is, false when time runs out.
# The pause is a read that times out on a FIFO nobody writes to: it starts no
# process (each costs tens of milliseconds in the link lane's guest).
wait_until() {
  local tries=$(($1 * 10)) fifo
  shift
  if [ -z "${pause_fd:-}" ]; then
    fifo=$(mktemp -u) && mkfifo "$fifo" && exec {pause_fd}<>"$fifo" && rm "$fifo"
  fi
  until "$@"; do
    [ $((tries -= 1)) -gt 0 ] || return 1
    read -r -t 0.1 -u "$pause_fd" || true
  done
}

# What the program prints without a command, of the version under test.
banner=$'\nHalvorn utility version '"${HALVORN_VERSION:-}"$'\n\n\tUsage:\thalvorn.exe query COMx "AT|ATI0|ATI1" output.ini\n\n\t\thalvorn.exe ras connection modem phonenumber user password baudrate [shortcut]\n'

finish() { [ "$failures" -eq 0 ] || { echo "$failures failure(s)"; exit 1; }; }

# The real folder of UUCP locks: /var/lock, on Debian a link to /run/lock.
lock_folder() { readlink -f /var/lock; }

# Runs the calling script again in a private mount namespace (as root, or in a
# user namespace of the caller's: unshare -r) whose lock folder is an empty
# scratch tmpfs, so the UUCP locks that `query` takes never touch the machine's.
private_lock_folder() {
  if [ "${HALVORN_PRIVATE:-}" != 1 ]; then
    local as_root=() status=0
    [ "$(id -u)" -eq 0 ] || as_root=(-r)
    HALVORN_PRIVATE=1 unshare -m "${as_root[@]}" --propagation private bash "$0" "$@" || status=$?
    exit "$status"
  fi
  mount -t tmpfs -o mode=1777 tmpfs "$(lock_folder)"
}

# As private_lock_folder, as root, with scratch copies of /etc/ppp and
# /etc/chatscripts, so `ras` writes pppd's files at their real paths and the
# machine's stay as they are. With "dev", /dev is a copy too, with /dev/ppp
# (pppd's dry run checks it) and /dev/ttyUSB0.
private_ppp_config() {
  [ "$(id -u)" -eq 0 ] || { echo "FAIL ${0##*/}: needs root for a private mount namespace (unshare -m)"; exit 1; }
  [ "${HALVORN_PRIVATE:-}" = 1 ] || enter_scratch  # the copies' scratch folder, outside
  private_lock_folder "$@"
  local dir copy
  for dir in /etc/ppp /etc/chatscripts; do
    [ -d "$dir" ] || { echo "FAIL ${0##*/}: $dir is missing: install the ppp package"; exit 1; }
    copy=$(mktemp -d)
    cp -a "$dir/." "$copy/"
    mount -t tmpfs tmpfs "$dir"
    cp -a "$copy/." "$dir/"
    rm -rf "$copy"
  done
  if [ "${1:-}" = dev ]; then
    copy=$(mktemp -d)
    mount -t tmpfs tmpfs "$copy"
    cp -a /dev/. "$copy/" 2>/dev/null || true
    rm -rf "$copy/pts" && mkdir "$copy/pts" && mount --rbind /dev/pts "$copy/pts"
    mknod "$copy/ppp" c 1 3
    mknod "$copy/ttyUSB0" c 188 0
    mount --rbind "$copy" /dev
  fi
}
