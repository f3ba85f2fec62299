#!/usr/bin/env bash
# Real PPP links, in the guest of tools/uml_guest (root, kernel PPP, pppd's
# files on tmpfs): `ras` writes two connections, a member of the dip group
# dials them with `pon`, and each modem simulator hands the answered call to
# an ISP (isp.sh) that checks the password itself. Then: pings cross both
# links, the launcher's Hang up and `poff` end one link each, `query` leaves a
# port with a link up alone, a wrong password gets no link, and pppd finds a
# port that `query` holds locked.
set -euo pipefail
source "$SOURCE_DIR/tests/e2e/lib.bash"
export ALLUSERSPROFILE=$TMPDIR/halvorn XDG_DESKTOP_DIR=$TMPDIR/desktop
mkdir -p "$ALLUSERSPROFILE" "$XDG_DESKTOP_DIR"
isp=$SOURCE_DIR/tests/link/isp.sh
office_pw='s3cret pw' home_pw='s"é\cret'  # a quote, a non-ASCII letter, a backslash

# What pppd and chat say goes to syslog, here a file.
syslog=$TMPDIR/syslog
python3 -c '
import os, socket, sys
s = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
s.bind("/dev/log")
os.chmod("/dev/log", 0o666)
with open(sys.argv[1], "ab", buffering=0) as log:
    while True:
        log.write(s.recv(8192).rstrip(b"\0\n") + b"\n")
' "$syslog" &
syslog_pid=$!
wait_until 5 test -S /dev/log || { echo "FAIL no syslog socket"; exit 1; }
# holds FILE REGEX: FILE has a match for REGEX; said REGEX: syslog has. No
# grep: starting a process costs tens of milliseconds in the guest, and the
# waits repeat these.
holds() {
  local text=
  read -r -d '' text <"$1" || true
  [[ $text =~ $2 ]]
}
said() { holds "$syslog" "$1"; }

# modem_start N ARGS...: a modem simulator behind /dev/ttyUSBN, its log and
# error output (the ISP's messages) in TMPDIR's modemN.
declare -A modem_pids
modem_start() {
  local n=$1 dir=$TMPDIR/modem$1
  shift
  modem_stop "$n"
  rm -rf "$dir" && mkdir "$dir"
  "$BUILD_DIR/modem_simulator" --log "$dir/log" --ready-file "$dir/ready" --link "/dev/ttyUSB$n" "$@" \
    >/dev/null 2>"$dir/stderr" &
  modem_pids[$n]=$!
  wait_until 5 test -s "$dir/ready" || { echo "FAIL modem $n did not start: $(cat "$dir/stderr")"; exit 1; }
}
modem_stop() {
  local pid=${modem_pids[$1]:-}
  [ -n "$pid" ] || return 0
  kill -TERM "$pid" 2>/dev/null || true
  wait_until 5 eval "! kill -0 $pid 2>/dev/null" || kill -KILL "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  modem_pids[$1]=
}
# On the way out, whatever the outcome: the modems stop, and a failure shows
# what pppd, chat, the modems and the ISPs said.
ending() {
  for n in "${!modem_pids[@]}"; do modem_stop "$n"; done
  kill "$syslog_pid" 2>/dev/null || true
  [ "$failures" -eq 0 ] && [ "$1" -eq 0 ] && return
  echo "--- syslog"; cat "$syslog"
  for n in 0 1; do echo "--- modem $n"; cat "$TMPDIR/modem$n/log" "$TMPDIR/modem$n/stderr" 2>/dev/null || true; done
}
trap 'ending $?' EXIT

as_dialler() { runuser -u nobody -G dip -- "$@"; }
# The links' addresses are from the documentation range 192.0.2.0/24; the
# guest has no network device but them, and each ISP's end is in a network
# namespace of its own.
# up PEER [LOCAL]: a link whose far end is PEER (and whose own address is
# LOCAL) is up. ip prints a line such as
# "3: ppp1    inet 192.0.2.6 peer 192.0.2.5/32 scope global ppp1".
up() {
  local addresses
  addresses=$(ip -4 -o addr show)
  if [ $# -eq 2 ]; then [[ $addresses == *" inet $2 peer $1/32 "* ]]; else [[ $addresses == *" peer $1/32 "* ]]; fi
}
down() { ! up "$1"; }
pings() { ping -c 2 -i 0.2 -W 2 "$1" >/dev/null; }
running() { [ -e "/run/ppp-$1.pid" ]; }
ended() { ! running "$1"; }

expect_run "ras Office (PAP)" 0 $'\n' "$HALVORN" ras Office /dev/ttyUSB0 5551234 alice "$office_pw" 115200 shortcut
expect_run "ras Home (CHAP)" 0 $'\n' "$HALVORN" ras Home /dev/ttyUSB1 5559876 bob "$home_pw" 115200 shortcut

# Two connections up at once, each through its modem to its own ISP.
modem_start 0 --profile E0 --answer "$isp" pap Office alice "$office_pw" 192.0.2.1:192.0.2.2
modem_start 1 --answer "$isp" chap Home bob "$home_pw" 192.0.2.5:192.0.2.6
as_dialler pon Office
as_dialler pon Home
check "pon Office: the link comes up, with the address its ISP gave" wait_until 15 up 192.0.2.1 192.0.2.2
check "pon Home: the link comes up, with the address its ISP gave" wait_until 15 up 192.0.2.5 192.0.2.6
check "Office: PAP, and the ISP checked the password" eval 'said "PAP authentication succeeded" &&
  grep -q "PAP peer authentication succeeded for alice" "$TMPDIR/modem0/stderr"'
check "Home: CHAP, and the ISP checked the password" eval 'said "CHAP authentication succeeded" &&
  grep -q "sent \[CHAP Success" "$TMPDIR/modem1/stderr"'
check "pings cross both links" eval 'pings 192.0.2.1 && pings 192.0.2.5'

# query leaves the port of a link alone: it never opens it.
opens=$(grep -c '^open ' "$TMPDIR/modem0/log")
expect_run "query on Office's port while the link is up: 2, nothing printed" 2 "" \
  "$HALVORN" query /dev/ttyUSB0 ATI0 "$TMPDIR/busy.ini"
check "that query opened nothing and wrote no report" \
  test "$(grep -c '^open ' "$TMPDIR/modem0/log")" = "$opens" -a ! -e "$TMPDIR/busy.ini"

# The launcher's Hang up, run as GLib runs its Exec line, ends Office only.
home_pid=$(head -n 1 /run/ppp-Home.pid)
as_dialler env HOME="$TMPDIR" bash -c 'source "$1" && hang_up "$2"' _ "$SOURCE_DIR/tests/e2e/lib.bash" \
  "$XDG_DESKTOP_DIR/Office.desktop"
check "Hang up ends the Office link" wait_until 10 eval 'ended Office && down 192.0.2.1'
check "the modem of Office hangs up as pppd lets the port go" \
  wait_until 5 holds "$TMPDIR/modem0/log" $'\nhangup [^\n]* why=port-closed'
check "Hang up leaves Home up" eval 'up 192.0.2.5 && kill -0 "$home_pid" && pings 192.0.2.5'
capture_run "$HALVORN" query /dev/ttyUSB0 ATI0 "$TMPDIR/after.ini"
check "query on that port once the link is down: status 0" test "$run_status" = 0
check "and it has the modem's reply" grep -qx 'ATI0=56000  OK' "$TMPDIR/after.ini"
as_dialler poff Home >/dev/null
check "poff Home ends the other link" wait_until 10 eval 'ended Home && down 192.0.2.5'

# A password the ISP does not know: no link, and pppd says why.
modem_start 0 --answer "$isp" pap Office alice "not $office_pw" 192.0.2.1:192.0.2.2
as_dialler pon Office
check "a wrong password: pppd says why" wait_until 15 said "PAP authentication failed"
check "the ISP refused it" grep -q "PAP peer authentication failed for alice" "$TMPDIR/modem0/stderr"
check "pppd gives up, and no link came up" eval 'wait_until 10 ended Office && down 192.0.2.1'

# pppd's lock option finds the port lock that query holds for the whole run.
modem_start 0 --profile E0 --speeds 115200
"$HALVORN" query /dev/ttyUSB0 "ATI0|ATI3" "$TMPDIR/locked.ini" >/dev/null &
query_pid=$!
wait_until 5 holds "$TMPDIR/modem0/log" $'\nopen ' || true
as_dialler pon Office
check "pon while query runs: pppd finds the port locked" \
  wait_until 10 said "Device [^ ]* is locked by pid $query_pid"
query_status=0
wait "$query_pid" || query_status=$?
check "the query goes on undisturbed, and pppd never dialled" eval 'test "$query_status" = 0 &&
  grep -q "^ATI3=" "$TMPDIR/locked.ini" && ! grep -q ATDT "$TMPDIR/modem0/log"'
check "pppd has ended" wait_until 5 ended Office
finish
