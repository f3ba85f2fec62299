#!/usr/bin/env bash
# A modem still printing past the second (a settings dump of several hundred
# bytes at 1200 bps; a real modem reads no command meanwhile): every later
# command gets its own reply under its own key. A reply byte that is no UTF-8
# keeps the value code page 1252 gives it.
set -euo pipefail
source "$SOURCE_DIR/tests/e2e/lib.bash"
source "$SOURCE_DIR/tests/e2e/simulator.bash"
private_lock_folder
enter_scratch

simulator_start --speeds 1200 --profile E0 --on ATI4 flood:640,paced \
  --info 'I5:NVRAM settings' --info 'I3:Courier \xa9 1998\x81'
capture_run "$HALVORN" query "$SIMULATOR_PTY" "ATI4|ATI5|ATI0|ATI3" report.ini
check "status 0" test "$run_status" = 0
check "ATI4 keeps the start of its dump" grep -q '^ATI4=S00=000 S01=013' report.ini
check "each later command under its own key" \
  test "$(grep -a '^ATI[503]=' report.ini | tr -d '\r')" = "$(printf 'ATI5=NVRAM settings  OK\nATI0=56000  OK\nATI3=Courier \xc2\xa9 1998\xc2\x81  OK')"
check "the console shows the C1 byte escaped" grep -qF 'AT Reply: Courier © 1998\x81  OK' <<<"$run_output"
check "no command was sent while the modem printed" bash -c "! grep -q ignored-while-printing '$SIMULATOR_LOG'"
finish
