#!/usr/bin/env bash
# The serial line on real kernel drivers: boots a QEMU guest (boot.sh) in
# which tests/uart/ports.sh (with serial_guest.bash) runs `query` and `ras` +
# `pon` on 16550A UARTs (8250), FTDI USB adapters (ftdi_sio) and a CDC-ACM
# modem (cdc_acm), each wired to a modem simulator. The simulators of the
# emulated ports run here, on the terminals QEMU's ports use; the guest hands
# its results back through one scratch folder, and asks for a USB adapter to be
# pulled by writing its id to the file `unplug` there.
set -euo pipefail

fail() { echo "FAIL uart: $*"; exit 1; }
[ "$(id -u)" -eq 0 ] || fail "needs root: the guest reads pppd's files as the machine's root"
for program in qemu-system-x86_64 /bin/busybox /usr/sbin/pppd python3 "$HALVORN" "$BUILD_DIR/modem_simulator"; do
  command -v "$program" >/dev/null || fail "$program is missing (tools/install-deps.sh)"
done

out=$(mktemp -d)
chmod 755 "$out"
pids=()
trap 'kill "${pids[@]}" 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$out"' EXIT
# In the order of their dependencies, usbmon first.
modules="usb-common usbcore usbmon xhci-hcd xhci-pci usbserial ftdi_sio cdc-acm udc-core dummy_hcd configfs
  libcomposite u_serial usb_f_acm g_serial slhc ppp_generic ppp_async"
printf 'export HALVORN=%q BUILD_DIR=%q SOURCE_DIR=%q GUEST_MODULES=%q\n' "$HALVORN" "$BUILD_DIR" "$SOURCE_DIR" \
  "$(echo $modules)" >"$out/env"

# simulator NAME ARGS...: a modem simulator whose log is $out/NAME.log, its
# terminal in $pty.
simulator() {
  local name=$1
  shift
  "$BUILD_DIR/modem_simulator" --log "$out/$name.log" --ready-file "$out/$name.ready" "$@" >/dev/null \
    2>"$out/$name.stderr" &
  pids+=($!)
  for _ in $(seq 100); do [ -s "$out/$name.ready" ] && break; sleep 0.05; done
  read -r pty <"$out/$name.ready" || fail "modem simulator $name did not start: $(cat "$out/$name.stderr")"
}
# The 16550s' and FTDI adapters' modems: one that answers at 115200 (the
# worked example), one fixed at 57600.
args=()
for port in S1:115200 S2:57600 U1:115200 U2:57600; do
  simulator "${port%:*}" --speeds "${port#*:}" --profile E0
  args+=(-chardev "serial,id=${port%:*},path=$pty")
done
# The PPP link's two ports: QEMU's pipes, which keep CTS and DCD up (a port on
# a terminal shows them down), so pppd's crtscts and modem options hold. The
# dialler's modem answers a call with the ISP's port.
for name in dial isp; do mkfifo "$out/$name.in" "$out/$name.out"; done
simulator dial --answer bash -c 'cat <"$1.out" & exec cat >"$1.in"' _ "$out/isp"
stty -F "$pty" raw -echo 115200
cat "$out/dial.out" >"$pty" &
pids+=($!)
cat "$pty" >"$out/dial.in" &
pids+=($!)
mkfifo "$out/monitor.in" "$out/monitor.out"

# The 16550s are ttyS1 to ttyS4 (ttyS0 is the console), the adapters on ports
# 1 and 2 of one xHCI controller, the trace of the UARTs in $out/trace.
args+=(-device isa-serial,chardev=S1 -device isa-serial,chardev=S2
  -chardev "pipe,id=dial,path=$out/dial" -device isa-serial,chardev=dial
  -chardev "pipe,id=isp,path=$out/isp" -device pci-serial,chardev=isp
  -device qemu-xhci,id=xhci -device usb-serial,bus=xhci.0,port=1,chardev=U1,id=U1
  -device usb-serial,bus=xhci.0,port=2,chardev=U2,id=U2
  -chardev "pipe,id=monitor,path=$out/monitor" -mon chardev=monitor
  -trace serial_write -trace serial_update_parameters -D "$out/trace")

cat "$out/monitor.out" >/dev/null &
pids+=($!)
(while [ ! -s "$out/unplug" ]; do sleep 0.05; done; echo "device_del $(cat "$out/unplug")" >"$out/monitor.in") &
pids+=($!)

started=$SECONDS
status=0
bash "$SOURCE_DIR/tools/qemu_guest/boot.sh" --seconds "${HALVORN_UART_SECONDS:-150}" --append 8250.nr_uarts=5 \
  --modules "$modules" "$BUILD_DIR/qemu_guest" "$out" "$SOURCE_DIR/tests/uart/ports.sh" "${args[@]}" >"$out/qemu" 2>&1 || status=$?
echo "guest ran $((SECONDS - started)) s (status $status)"

[ -s "$out/console" ] || { tail -n 20 "$out/qemu" "$out/kernel"; fail "the guest did not start its checks"; }
cat "$out/console"
[ -s "$out/status" ] || { tail -n 20 "$out/kernel"; fail "the guest stopped before its checks ended"; }
[ "$(cat "$out/status")" = 0 ] || fail "checks in the guest failed (status $(cat "$out/status"))"
