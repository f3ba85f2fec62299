#!/usr/bin/env bash
# Serial failures end a query with status 2: a port that does not exist or
# that another program has flocked (no output, no report, nothing sent or
# set), a modem that vanishes or holds the line with XOFF in the middle of a
# query (earlier keys stay, nothing further is written).
set -euo pipefail
source "$SOURCE_DIR/tests/e2e/lib.bash"
source "$SOURCE_DIR/tests/e2e/simulator.bash"
private_lock_folder
enter_scratch

expect_run "missing device path" 2 "" "$HALVORN" query /dev/halvorn-no-such-port "ATI0|ATI1" report.ini
expect_run "missing COM port" 2 "" "$HALVORN" query COM250 "ATI0" report.ini
check "no report file written" test ! -e report.ini

simulator_start --speeds 9600 --profile E0 --vanish-after 2
capture_run "$HALVORN" query "$SIMULATOR_PTY" "ATI0|ATI1|ATI2" $'gone\xff.ini'
check "a report path that is not UTF-8 names the file of those very bytes" test -e $'gone\xff.ini'
mv $'gone\xff.ini' gone.ini 2>/dev/null || true
check "vanished modem: status 2" test "$run_status" = 2
check "vanished modem: transcript stops before ATI1" \
  test "$run_output" = $'\n9600\tAT Command: ```ATQ0V1E0```\nAT Reply: ```OK```\nAT Command: ATI0\nAT Reply: 56000  OK'
check "vanished modem: earlier keys stay, no later key" \
  test "$(tr -d '\r' <gone.ini)" = "$(printf '[%s]\nAT=OK\nATI0=56000  OK' "$SIMULATOR_PTY")"
check "each command went at 8N1, XON/XOFF both ways, raw" \
  test "$(grep '^cmd ' "$SIMULATOR_LOG" | grep -vc ' frame=8N1 flow=ixon,ixoff ldisc=raw ')" = 0
simulator_stop

simulator_start --speeds 9600 --profile E0 --on ATI1 xoff
settings=$(stty -g -F "$SIMULATOR_PTY")
exec {held}<"$SIMULATOR_PTY" && flock -n "$held"
expect_run "a port another program has flocked" 2 "" "$HALVORN" query "$SIMULATOR_PTY" ATI0 flocked.ini
check "... nothing sent, the settings as found, no report" \
  test "$(grep -c '^cmd ' "$SIMULATOR_LOG") $(stty -g -F "$SIMULATOR_PTY") $(ls flocked.ini 2>&1 >/dev/null | wc -l)" = "0 $settings 1"
exec {held}<&-
capture_run timeout 60 "$HALVORN" query "$SIMULATOR_PTY" "ATI0|ATI1|ATI2" held.ini
check "XOFF without XON: status 2, no hang, ATI1 recorded and no ATI2" \
  test "$run_status $(grep -o '^ATI[0-9]' held.ini | tr '\n' ' ')" = "2 ATI0 ATI1 "
finish
