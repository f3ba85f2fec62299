#!/usr/bin/env bash
# The Windows serial line under Wine: one AT exchange through at_exchange.exe
# against a pseudo-terminal linked as COM5, with a scripted modem on the other
# side. (Wine cannot set 14400, 28800 or 33600 on a pseudo-terminal; the
# native tests cover those speeds.)
set -euo pipefail
source "$SOURCE_DIR/tests/e2e/lib.bash"
source "$SOURCE_DIR/tests/wine/lib.bash"

at_exchange="$(dirname "$HALVORN_EXE")/at_exchange.exe"
state=$(mktemp -d)
com5="$WINEPREFIX/dosdevices/com5"
modem_pid=

stop_modem() {
  if [ -n "$modem_pid" ]; then
    kill "$modem_pid" 2>/dev/null || true
    wait "$modem_pid" 2>/dev/null || true
    modem_pid=
  fi
}

cleanup() {
  stop_modem
  rm -f "$com5"
  # No Wine process of this test outlives it, nor the port link.
  wineserver -w || true
  rm -rf "$state"
}
trap cleanup EXIT

# start_modem [REPLY_HEX...]: a fresh pseudo-terminal modem linked as COM5.
start_modem() {
  stop_modem
  rm -f "$state"/*
  python3 "$SOURCE_DIR/tests/wine/pty_modem.py" "$state" "$@" &
  modem_pid=$!
  for _ in $(seq 100); do
    [ -f "$state/port" ] && break
    sleep 0.1
  done
  ln -sfn "$(cat "$state/port")" "$com5"
}

# exchange PORT SPEED [COMMAND]: runs one exchange; prints its one line
# without the line end.
exchange() {
  local out status=0
  out=$(wine "$at_exchange" "$@" 2>/dev/null) || status=$?
  printf '%s' "${out%$'\r'}"
  return $status
}

to_hex() { od -An -v -tx1 | tr -d ' \n'; }
heard() { cat "$state/heard" 2>/dev/null || true; }
line() { cat "$state/line" 2>/dev/null || true; }

ok_hex=0d0a4f4b0d0a
probe_hex=41545130563145300d0a  # ATQ0V1E0 CR LF, ten bytes

for speed in 9600 115200 1200; do
  start_modem
  expect_run "probe at $speed" 0 "reply: $ok_hex" exchange COM5 "$speed"
  check "probe at $speed: exactly ten bytes on the line" test "$(heard)" = "$probe_hex"
  check "probe at $speed: 8N1, XON/XOFF with 11/13" test "$(line)" = \
    "speed=$speed cs8=1 parenb=0 cstopb=0 ixon=1 ixoff=1 vstart=11 vstop=13"
done

# A reply of 300 bytes: the first 250 come back, the rest is purged and never
# reaches the next exchange on the same port.
long_reply=$(printf 'abcdefghij%.0s' $(seq 30) | to_hex)
start_modem "$long_reply" "$ok_hex"
expect_run "long reply cut at 250 bytes" 0 "reply: ${long_reply:0:500}" exchange COM5 9600 ATI4
expect_run "rest of a long reply purged, port opened again" 0 "reply: $ok_hex" exchange COM5 9600 AT

start_modem ""
expect_run "silent modem" 0 "reply: " exchange COM5 57600 ATZ

command60=$(printf 'AT%.0s' $(seq 30))
start_modem
expect_run "long command" 0 "reply: $ok_hex" exchange COM5 9600 "$command60"
check "long command sent whole" test "$(heard)" = "$(printf '%s\r\n' "$command60" | to_hex)"

# The modem ends its answer with XOFF and never sends XON: the next command
# cannot be written, and the write timeout ends the exchange instead of a hang.
start_modem "${ok_hex}13" "$ok_hex"
expect_run "answer ending in XOFF" 0 "reply: $ok_hex" exchange COM5 9600
expect_run "write held by XOFF times out" 2 "error: 1460" exchange COM5 9600
check "nothing more on the line" test "$(heard)" = "$probe_hex"
stop_modem

rm -f "$com5"
expect_run "missing port" 2 "error: 2" exchange COM5 9600
finish
