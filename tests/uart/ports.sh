#!/usr/bin/env bash
# In the guest that tools/qemu_guest/serial_rig.sh boots: `query` on a 16550A
# (ttyS1, ttyS2), an FTDI adapter (USB ports 1 and 2) and a CDC-ACM modem
# (ttyACM0) against the same runs on a pseudo-terminal: the worked example's
# transcript and report, and a modem fixed at 57600, during whose run DTR is
# up, the port exclusive and locked and a second query refused, each probe
# going out at its own speed (QEMU's trace of the UARTs, usbmon), all as before
# once it ends. Then a port found at other settings, an adapter pulled
# mid-exchange, and a PPP link from ttyS3 to an ISP's pppd on ttyS4. Each
# driver's checks run side by side; the 16550s' one at a time, as the trace
# does not say which UART wrote.
set -euo pipefail
source "$(dirname "$0")/../../tools/qemu_guest/serial_guest.bash"

declare -A chains
same_as_pty() { diff "$TMPDIR/$2.out" "$TMPDIR/$1.out" && diff "$TMPDIR/$2.ini" "$TMPDIR/$1.ini"; }

# What the wire should carry for NAME's transcript: each try's probe at its
# speed, the commands at the speed found, all with DTR up, and DTR down at the
# end. AS lists the speeds the port runs otherwise: "460800:" sends nothing,
# "33600:38400" sends at 38400.
expected_wire() {
  awk -v as=" $2 " 'END { print "dtr off" }
    /^[0-9]+\tAT Command: / { speed = $1; wire = speed
      if (match(as, " " speed ":[0-9]*")) wire = substr(as, RSTART + length(speed) + 2, RLENGTH - length(speed) - 2)
      if (wire != "") print wire, "ATQ0V1E0\\r\\n" }
    /^AT Command: / { print wire, substr($0, 13) "\\r\\n" }' "$TMPDIR/$1.out"
}
# wire_check NAME AS FILE DECODER...
wire_check() {
  check "$1: each probe at its own speed on the wire, with DTR up; DTR down after" \
    diff <(expected_wire "$1" "$2") <(wire "$1" "$3" "${@:4}")
}

# refused PORT: another user's open of PORT fails as busy at some time during
# the run (the tool holds the port, in exclusive mode, for each try).
refused() {
  setpriv --reuid=nobody --regid=nogroup --clear-groups bash -c 'for _ in $(seq 100); do
      (: <"$1") 2>&1 | grep -q busy && exit 0
      sleep 0.05
    done
    exit 1' _ "$1"
}
# held_run NAME PORT LOG: `query ATI0` on the modem fixed at 57600, with the
# checks of a held port meanwhile and after; LOG records its wire.
held_run() {
  local name=$1 port=$2 log=$3 lock=/run/lock/LCK..${2#/dev/} settings
  settings=$(stty -a -F "$port")
  mark "$name.start" "$log"
  query_run "$name" "$port" ATI0
  check "$name: the run's UUCP lock" wait_until 10 eval \
    '[ "$(cat "/proc/$(tr -d " \n" 2>/dev/null <"$lock")/comm" 2>/dev/null)" = halvorn ]'
  # Before anything else opens the port: DTR is the run's.
  [ "$port" != /dev/ttyS2 ] ||
    check "$name: DTR up in /proc/tty/driver/serial" wait_until 5 grep -q "^2: .*DTR" /proc/tty/driver/serial
  check "$name: exclusive while held" refused "$port"
  expect_run "$name: a second query meanwhile: 2, nothing printed" 2 "" "$HALVORN" query "$port" ATI0 \
    "$TMPDIR/$name.second.ini"
  query_wait "$name"
  sleep 0.5  # usbmon's last lines reach the file
  mark "$name.end" "$log"
  check "$name: lock removed" test ! -e "$lock"
  [ "$port" != /dev/ttyS2 ] || check "$name: DTR down after" eval '! grep -q "^2: .*DTR" /proc/tty/driver/serial'
  check "$name: stty -a as before" test "$(stty -a -F "$port")" = "$settings"
  check "$name: not exclusive after" eval 'setpriv --reuid=nobody --regid=nogroup --clear-groups stty -F "$port" >/dev/null'
}

# A PPP link from ttyS3 through the modem to the ISP's pppd on ttyS4.
ppp() {
  local password='s3cret pw'
  check "ras Office on ttyS3" eval '"$HALVORN" ras Office /dev/ttyS3 5551234 alice "$password" 115200 >/dev/null'
  stty -F /dev/ttyS4 raw -echo clocal 115200
  bash "$SOURCE_DIR/tests/link/isp.sh" pap Office alice "$password" 192.0.2.1:192.0.2.2 <>/dev/ttyS4 >&0 \
    2>"$TMPDIR/isp.log" &
  local isp=$!
  pon Office
  check "ras + pon over a 16550: the link comes up" wait_until 20 eval 'ip -4 -o addr show | grep -q "peer 192.0.2.1/32"'
  expect_run "query on the link's port while it is up: 2, nothing printed" 2 "" "$HALVORN" query /dev/ttyS3 ATI0 \
    "$TMPDIR/busy.ini"
  poff Office
  check "poff: the link ends" wait_until 10 eval '! kill -0 $isp 2>/dev/null'
}
# The same runs on pseudo-terminals, for comparison.
simulator pty_worked --speeds 115200 && query_run pty_worked "$(cat "$TMPDIR/pty_worked.pty")" "ATI0|AT+FCLASS=?"
simulator pty_fixed --speeds 57600 && query_run pty_fixed "$(cat "$TMPDIR/pty_fixed.pty")" ATI0

# The 16550s: the modem at 57600 alone (its wire is in the trace); then side
# by side a PPP link and the worked example on a port found at other settings
# (crtscts stalls nothing: the tool sets its own flow control).
uart() {
  held_run uart_fixed /dev/ttyS2 "$out/trace"
  stty -F /dev/ttyS1 2400 cs7 parenb -hupcl crtscts
  local settings
  settings=$(stty -a -F /dev/ttyS1)
  query_run uart_worked /dev/ttyS1 "ATI0|AT+FCLASS=?"
  ppp
  query_wait uart_worked
  check "16550 found at 2400 cs7 parenb -hupcl crtscts: stty -a as before" test "$(stty -a -F /dev/ttyS1)" = "$settings"
}
# chain NAME: the checks of NAME in the background.
chain() {
  $1 >"$TMPDIR/$1.checks" 2>&1 &
  chains[$1]=$!
}
chain uart
usb_ports || { echo "FAIL the USB ports did not come up"; exit 1; }

# The FTDI adapters side by side, then the one on port 1 pulled in the middle
# of a list of commands.
ftdi() {
  query_run ftdi_worked "$ftdi1" "ATI0|AT+FCLASS=?"
  held_run ftdi_fixed "$ftdi2" "$TMPDIR/usbmon"
  query_wait ftdi_worked
  query_run ftdi_pulled "$ftdi1" "ATI0|ATI1|ATI2|ATI3|ATI4|ATI5"
  wait_until 20 grep -q "^AT Command: ATI1" "$TMPDIR/ftdi_pulled.out" && echo U1 >"$out/unplug"
  check "FTDI adapter pulled mid-exchange: the run ends" wait_until 20 test -s "$TMPDIR/ftdi_pulled.status"
  check "it ends with 2 and leaves no lock" test "$(cat "$TMPDIR/ftdi_pulled.status")" = 2 -a ! -e "/run/lock/LCK..${ftdi1#/dev/}"
}
acm() {
  acm_modem --speeds 57600 && held_run acm_fixed /dev/ttyACM0 "$TMPDIR/usbmon"
  acm_modem --speeds 115200 && query_run acm_worked /dev/ttyACM0 "ATI0|AT+FCLASS=?" && query_wait acm_worked
}
chain ftdi
chain acm
for chain in uart ftdi acm; do
  wait "${chains[$chain]}" || echo "FAIL $chain: its checks stopped early (status $?)" >>"$TMPDIR/$chain.checks"
  cat "$TMPDIR/$chain.checks"
done
failures=$(cat "$TMPDIR"/{uart,ftdi,acm}.checks | grep -c '^FAIL' || true)

# Each driver against the pseudo-terminal, and its wire.
for driver in uart ftdi acm; do
  check "$driver: the worked example as on a pseudo-terminal" same_as_pty "${driver}_worked" pty_worked
  check "$driver: the modem fixed at 57600 found as on a pseudo-terminal" same_as_pty "${driver}_fixed" pty_fixed
done
# A 16550 runs 115200 divided by a whole number: neither 460800 nor 33600
# (its nearest divisor, 3, gives 38400) is sent.
wire_check uart_fixed "460800: 33600:" "$out/trace" uart
wire_check ftdi_fixed "" "$TMPDIR/usbmon" usb "$(usb_address 1-2)"
wire_check acm_fixed "" "$TMPDIR/usbmon" usb "$(usb_address "$acm_device")"
echo "checks ran $SECONDS s"
finish
