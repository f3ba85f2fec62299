# The guest side of serial_rig.sh, sourced by the checks it runs: mounts what
# the guest writes to (tmpfs on pppd's and the logs' folders), loads the
# modules in the order given (usbmon first, recording every USB request from
# then on into TMPDIR/usbmon), finds the USB ports, and offers modem simulators
# behind a terminal or behind the CDC-ACM gadget.
out=/run/out
source "$out/env"
source "$SOURCE_DIR/tests/e2e/lib.bash"
wire_log=$SOURCE_DIR/tools/qemu_guest/wire_log.py
export TMPDIR=/run/tmp ALLUSERSPROFILE=/run/tmp/halvorn XDG_DESKTOP_DIR=/run/tmp
source "$SOURCE_DIR/tools/guest_writable.bash"
mkdir -p "$ALLUSERSPROFILE" && writable_places && ln -sf /proc/self/fd /dev/fd
mount -t debugfs debugfs /sys/kernel/debug && touch /dev/log
dmesg -n 1  # the console, ttyS0, writes nothing into the UARTs' trace
for module in $GUEST_MODULES; do
  insmod "$BUILD_DIR/qemu_guest/modules/$module.ko"
  [ "$module" != usbmon ] || cat /sys/kernel/debug/usb/usbmon/0u >"$TMPDIR/usbmon" &
done
chmod 666 /dev/ttyS*

# usb_ports: waits for the adapters on USB ports 1 and 2 and the CDC-ACM
# modem: ftdi1 and ftdi2 are their ttys, acm_device the modem's USB device.
usb_ports() {
  tty_of() { ls "/sys/bus/usb/devices/$1:1.0" 2>/dev/null | grep -m1 '^tty'; }
  acm_of() { local path; path=$(ls -d /sys/bus/usb/devices/*/tty/ttyACM0) && path=${path#/sys/bus/usb/devices/} &&
    echo "${path%%:*}"; }
  wait_until 30 eval 'tty_of 1-1 && tty_of 1-2 && [ -e /dev/ttyGS0 ] && acm_of' >/dev/null 2>&1 || return 1
  ftdi1=/dev/$(tty_of 1-1) ftdi2=/dev/$(tty_of 1-2) acm_device=$(acm_of)
  chmod 666 /dev/ttyUSB* /dev/ttyACM0
}
# usb_address DEVICE: its BUS:ADDRESS, as usbmon names it.
usb_address() { echo "$(cat "/sys/bus/usb/devices/$1/busnum"):$(cat "/sys/bus/usb/devices/$1/devnum")"; }

# simulator NAME ARGS...: a modem simulator in the guest, behind a terminal of
# its own (in TMPDIR/NAME.pty), log in TMPDIR/NAME.log.
declare -A simulators
simulator() {
  local name=$1
  shift
  rm -f "$TMPDIR/$name.pty"
  "$BUILD_DIR/modem_simulator" --log "$TMPDIR/$name.log" --ready-file "$TMPDIR/$name.pty" --profile E0 "$@" \
    >/dev/null &
  simulators[$name]=$!
  wait_until 10 test -s "$TMPDIR/$name.pty"
}
# acm_modem ARGS...: the CDC-ACM modem is (from now on) a simulator behind the
# gadget's end, at the speed usbmon shows the host set.
acm_modem() {
  [ -z "${simulators[acm]:-}" ] || kill "${simulators[acm]}" "${simulators[relay]}"
  simulator acm "$@"
  rm -f "$TMPDIR/relay.ready"
  python3 "$wire_log" relay "${acm_device%%-*}" /dev/ttyGS0 "$(cat "$TMPDIR/acm.pty")" \
    "/sys/kernel/debug/usb/usbmon/${acm_device%%-*}u" >"$TMPDIR/relay.ready" &
  simulators[relay]=$!
  wait_until 10 test -s "$TMPDIR/relay.ready"
}

# The wire during a run, from QEMU's trace ($out/trace) or TMPDIR/usbmon:
# mark NAME FILE notes where a run starts (NAME.start) or ends (NAME.end) in
# it; wire NAME FILE DECODER... prints what went over the line between (see
# wire_log.py), each speed within 0.2 % of one of the probe's taken as it.
mark() { wc -l <"$2" >"$TMPDIR/$1"; }
wire() {
  local name=$1 file=$2 decoder=$3
  shift 3
  head -n "$(cat "$TMPDIR/$name.end")" "$file" >"$TMPDIR/$name.wire"
  python3 "$wire_log" "$decoder" "$(($(cat "$TMPDIR/$name.start") + 1))" "$@" "$TMPDIR/$name.wire" | awk '{
    for (i = split("1200 9600 14400 19200 28800 33600 57600 115200 230400 460800", s); i > 0; i--)
      if ($1 >= s[i] * 0.998 && $1 <= s[i] * 1.002) $1 = s[i]
    print }'
}

# query_run NAME PORT COMMANDS: `query` in the background; output, status and
# report in TMPDIR's NAME.out, NAME.status and NAME.ini, with the port's name
# in the report as "port".
declare -A runs
query_run() {
  (
    status=0
    "$HALVORN" query "$2" "$3" "$TMPDIR/$1.ini" >"$TMPDIR/$1.out" || status=$?
    [ ! -e "$TMPDIR/$1.ini" ] || sed -i "s|^\[$2\]|[port]|" "$TMPDIR/$1.ini"
    echo "$status" >"$TMPDIR/$1.status"
  ) &
  runs[$1]=$!
}
query_wait() { wait "${runs[$1]}"; }
