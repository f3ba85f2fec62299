#!/usr/bin/env bash
# The Windows build under Wine against the modem simulator linked as com5: the
# transcript byte for byte, the bytes on the wire and the report file (CR LF
# lines, as Windows writes); a modem that holds the line with XOFF; a port that
# does not exist.
set -euo pipefail
source "$SOURCE_DIR/tests/e2e/lib.bash"
source "$SOURCE_DIR/tests/wine/lib.bash"
source "$SOURCE_DIR/tests/e2e/simulator.bash"
work=$(mktemp -d)
trap 'simulator_discard; wine_wait 2>/dev/null || true; rm -rf "$work"' EXIT
cd "$work"

simulator_start --speeds 115200 --profile E0 --link "$WINEPREFIX/dosdevices/com5"

transcript=$'\n9600\tAT Command: ```ATQ0V1E0```\nAT Reply: ``````'
transcript+=$'\n115200\tAT Command: ```ATQ0V1E0```\nAT Reply: ```OK```'
transcript+=$'\nAT Command: ATI0\nAT Reply: 56000  OK'
transcript+=$'\nAT Command: AT+FCLASS=?\nAT Reply: 0,1,8  OK'
expect_run "worked example under Wine" 0 "$transcript" halvorn_exe query com5 "ATI0|AT+FCLASS=?" report.ini
check "report in the current folder holds the four lines" \
  test "$(cat report.ini)" = "$(printf '[com5]\r\nAT=OK\r\nATI0=56000  OK\r\nAT_FCLASS__=0,1,8  OK\r\n')"
check "the wire carried the probe and the commands at their speeds" \
  test "$(simulator_exchanges)" = "$(printf '%s\n' '9600 ATQ0V1E0\r\n' '115200 ATQ0V1E0\r\n' '115200 ATI0\r\n' '115200 AT+FCLASS=?\r\n')"

capture_run halvorn_exe query com5 "ATI3" report.ini
check "second run ends 0" test "$run_status" = 0
check "second run adds ATI3 and rewrites AT in place" \
  grep -qzP '^\[com5\]\r\nAT=OK\r\nATI0=56000  OK\r\nAT_FCLASS__=0,1,8  OK\r\nATI3=[^\r\n]+\r\n$' report.ini

# XOFF without XON holds the next write: the write times out, status 2, no hang.
simulator_start --speeds 9600 --profile E0 --on ATI1 xoff --link "$WINEPREFIX/dosdevices/com5"
capture_run timeout 120 "$WINELOADER" "$HALVORN_EXE" query com5 "ATI0|ATI1|ATI2" held.ini
check "XOFF without XON: status 2" test "$run_status" = 2
check "XOFF without XON: ATI1 recorded, ATI2 not" test "$(grep -o '^ATI[12]=' held.ini)" = ATI1=

expect_run "missing COM port" 2 "" halvorn_exe query COM250 "ATI0" missing.ini
check "no report file written" test ! -e missing.ini
finish
