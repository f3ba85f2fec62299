#!/usr/bin/env bash
# Serial failures in the middle of a query: the modem vanishes, or holds the
# line with XOFF. Status 2, earlier keys stay, nothing further is written.
set -euo pipefail
source "$SOURCE_DIR/tests/e2e/lib.bash"
source "$SOURCE_DIR/tests/e2e/simulator.bash"
work=$(mktemp -d)
trap 'simulator_stop; rm -rf "$work"' EXIT
cd "$work"

simulator_start --speeds 9600 --profile E0 --vanish-after 2
capture_run "$HALVORN" query "$SIMULATOR_PTY" "ATI0|ATI1|ATI2" gone.ini
check "vanished modem: status 2" test "$run_status" = 2
check "vanished modem: transcript stops before ATI1" \
  test "$run_output" = $'\n9600\tAT Command: ```ATQ0V1E0```\nAT Reply: ```OK```\nAT Command: ATI0\nAT Reply: 56000  OK'
check "vanished modem: earlier keys stay, no later key" \
  test "$(tr -d '\r' <gone.ini)" = "$(printf '[%s]\nAT=OK\nATI0=56000  OK' "$SIMULATOR_PTY")"
simulator_stop

simulator_start --speeds 9600 --profile E0 --on ATI1 xoff
capture_run timeout 60 "$HALVORN" query "$SIMULATOR_PTY" "ATI0|ATI1|ATI2" held.ini
check "XOFF without XON: status 2, no hang" test "$run_status" = 2
check "XOFF without XON: ATI2 never written to the report" bash -c '! grep -q ATI2 held.ini'
check "XOFF without XON: ATI1 recorded" grep -q '^ATI1=' held.ini
finish
