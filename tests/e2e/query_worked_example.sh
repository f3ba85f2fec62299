#!/usr/bin/env bash
# halvorn query against the modem simulator: the transcript byte for byte, the
# report file and the bytes on the wire, the port's settings as they were
# before the run, and a modem found at 14400 (a second run into the same
# report: tests/wine/query_worked_example.sh).
set -euo pipefail
source "$SOURCE_DIR/tests/e2e/lib.bash"
source "$SOURCE_DIR/tests/e2e/simulator.bash"
private_lock_folder
enter_scratch

# Silent at 9600, answering at 115200 only.
simulator_start --speeds 115200 --profile E0
port=$SIMULATOR_PTY
stty -F "$port" 2400 -ixon icrnl -opost -hupcl
settings=$(stty -g -F "$port")

transcript=$'\n9600\tAT Command: ```ATQ0V1E0```\nAT Reply: ``````'
transcript+=$'\n115200\tAT Command: ```ATQ0V1E0```\nAT Reply: ```OK```'
transcript+=$'\nAT Command: ATI0\nAT Reply: 56000  OK'
transcript+=$'\nAT Command: AT+FCLASS=?\nAT Reply: 0,1,8  OK'
expect_run "worked example" 0 "$transcript" "$HALVORN" query "$port" "ATI0|AT+FCLASS=?" report.ini
check "report holds the four lines" \
  test "$(cat report.ini)" = "$(printf '[%s]\nAT=OK\nATI0=56000  OK\nAT_FCLASS__=0,1,8  OK\n' "$port")"
check "the wire carried the probe and the commands at their speeds" \
  test "$(simulator_exchanges)" = "$(printf '%s\n' '9600 ATQ0V1E0\r\n' '115200 ATQ0V1E0\r\n' '115200 ATI0\r\n' '115200 AT+FCLASS=?\r\n')"
check "the port has the settings it was found with" test "$(stty -g -F "$port")" = "$settings"
simulator_stop

# A modem that answers only at 14400, a speed termios has no constant for;
# the report is a file from Windows, whose CR LF line ends stay.
simulator_start --speeds 14400 --profile E0
printf '[old]\r\nk=1\r\n' >found.ini
capture_run "$HALVORN" query "$SIMULATOR_PTY" "ATI0" found.ini
found=${run_output/*$'\n14400\tAT Command: ```ATQ0V1E0```\nAT Reply: ```OK```\n'*/found}
check "found at 14400 after four silent speeds: status 0" \
  test "$run_status $(grep -c '^AT Reply: ``````$' <<<"$run_output") $found" = "0 4 found"
check "ATI0 sent at 14400" grep -qx '14400 ATI0\\r\\n' <(simulator_exchanges)
check "a report from Windows keeps CR LF" \
  test "$(cat found.ini)" = "$(printf '[old]\r\nk=1\r\n[%s]\r\nAT=OK\r\nATI0=56000  OK\r\n' "$SIMULATOR_PTY")"
finish
