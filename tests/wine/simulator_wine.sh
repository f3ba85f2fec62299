#!/usr/bin/env bash
# The modem simulator as a Windows program sees it under Wine: a COM port
# linked to the simulator's pseudo-terminal, driven by plain Win32 serial calls.
set -euo pipefail
source "$SOURCE_DIR/tests/e2e/lib.bash"
source "$SOURCE_DIR/tests/e2e/simulator.bash"

probe=$BUILD_DIR/serial_probe.exe
i686-w64-mingw32-g++ -std=c++20 -Wall -Wextra -Wpedantic -O1 -municode -static \
  -o "$probe" "$SOURCE_DIR/tests/wine/serial_probe.cpp"
com5=$WINEPREFIX/dosdevices/com5

expect_probe() {
  local name=$1 want=$2
  shift 2
  expect_run "$name" 0 "$want"$'\n' wine "$probe" '\\.\com5' "$@"
}

simulator_start --link "$com5" --speeds 115200,38400 --profile E0
expect_probe "silent at 9600" "" 9600 ATQ0V1E0
expect_probe "OK at 115200" '\r\nOK\r\n' 115200 ATQ0V1E0
expect_probe "ATI0 framed" '\r\n56000\r\n\r\nOK\r\n' 115200 ATI0
# Wine has no Bxxx constant for 14400 and sets a pseudo-terminal to 38400.
expect_probe "14400 arrives as 38400" '\r\nOK\r\n' 14400 AT
check "log: speeds as Wine set them" test "$(simulator_exchanges)" == \
  "$(printf '%s\n' '9600 ATQ0V1E0\r\n' '115200 ATQ0V1E0\r\n' '115200 ATI0\r\n' '38400 AT\r\n')"
check "log: 8N1 with XON/XOFF in raw mode" test "$(grep -c '^cmd .* frame=8N1 flow=ixon,ixoff ldisc=raw ' "$SIMULATOR_LOG")" -eq 4
check "the port is free after each exchange" test "$(grep -c '^close .* held=no$' "$SIMULATOR_LOG")" -eq 4
simulator_stop
check "the COM link is gone" test ! -L "$com5"
finish
