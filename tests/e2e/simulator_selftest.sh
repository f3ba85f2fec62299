#!/usr/bin/env bash
# The modem simulator itself, talked to through its pseudo-terminal: framing,
# speeds, echo and the E/Q/V settings, scripted misbehaviour, the log.
set -euo pipefail
source "$SOURCE_DIR/tests/e2e/lib.bash"
source "$SOURCE_DIR/tests/e2e/simulator.bash"

# exchange SPEED COMMAND [options]: one exchange; short waits, the simulator
# answers within milliseconds.
exchange() { python3 "$SOURCE_DIR/tests/e2e/serial_exchange.py" "$SIMULATOR_PTY" --wait 150 "$@" || true; }

# expect_reply NAME WANT SPEED COMMAND [options]: WANT is C-escaped.
expect_reply() {
  local name=$1 want=$2 got
  shift 2
  got=$(exchange "$@")
  if [ "$got" == "$want" ]; then
    echo "ok   $name"
  else
    echo "FAIL $name: got \"$got\", wanted \"$want\""
    failures=$((failures + 1))
  fi
}

log_has() { grep -Fq -- "$1" "$SIMULATOR_LOG"; }

# The worked example's modem: silent at 9600, plain answers at 115200.
simulator_start --speeds 115200 --profile E0
expect_reply "silent at a speed it does not support" "" 9600 ATQ0V1E0
expect_reply "OK at its speed" '\r\nOK\r\n' 115200 ATQ0V1E0
expect_reply "ATI0 framed" '\r\n56000\r\n\r\nOK\r\n' 115200 ATI0
expect_reply "AT+FCLASS=? framed" '\r\n0,1,8\r\n\r\nOK\r\n' 115200 AT+FCLASS=?
check "log: speed and bytes of the silent try" \
  log_has 'speed=9600 frame=8N1 flow=ixon,ixoff ldisc=raw rx="ATQ0V1E0\r\n" tx="" act=wrong-speed'
check "log: the answered command" log_has 'speed=115200 frame=8N1 flow=ixon,ixoff ldisc=raw rx="ATI0\r\n" tx="\r\n56000\r\n\r\nOK\r\n" act=answer'
check "exchanges in order" test "$(simulator_exchanges)" == \
  "$(printf '%s\n' '9600 ATQ0V1E0\r\n' '115200 ATQ0V1E0\r\n' '115200 ATI0\r\n' '115200 AT+FCLASS=?\r\n')"
check "the port is free after each exchange" test "$(grep -c '^close .* held=no$' "$SIMULATOR_LOG")" -eq 4

# The same from plain bash: stty sets the speed, cat reads the reply (bash's
# own read -d/-n would switch the terminal to its cooked cbreak mode).
bash_exchange() {
  local reply_file
  reply_file=$(mktemp)
  exec 3<>"$SIMULATOR_PTY"
  stty raw -echo 115200 cs8 -parenb -cstopb ixon ixoff <&3
  printf 'ATI0\r\n' >&3
  timeout 0.3 cat <&3 >"$reply_file" || true
  exec 3>&-
  printf '\r\n56000\r\n\r\nOK\r\n' | cmp -s - "$reply_file"
  local same=$?
  rm -f "$reply_file"
  return $same
}
check "bash and stty: ATI0 at 115200" bash_exchange
simulator_stop
check "stop is logged" test "$(tail -n 1 "$SIMULATOR_LOG")" == "stop t=$(sed -n 's/^stop t=\([0-9]*\) .*/\1/p' "$SIMULATOR_LOG") signal=15"

# Speeds without a Bxxx constant count; garbage at the others.
simulator_start --speeds 14400,28800 --wrong-speed garbage
expect_reply "echo while E1, then the answer" 'ATI0\r\r\n56000\r\n\r\nOK\r\n' 14400 ATI0
expect_reply "28800 answers too" 'AT\r\r\nOK\r\n' 28800 AT
expect_reply "garbage at 38400" '\xf3\xee\xe1\xc4\xcf\xe3\xdb\xd9\xd6\xf3' 38400 ATQ0V1E0
expect_reply "garbage when the input speed differs" '\xf3\xee\xe1\xc4\xcf\xe3' 14400 ATI0 --ispeed 9600
check "log: the input speed that differs" log_has 'speed=14400 ispeed=9600 '
expect_reply "E0 obeyed after its own echo" 'ATE0\r\r\nOK\r\n' 14400 ATE0
expect_reply "no echo at E0" '\r\nOK\r\n' 14400 AT
simulator_stop

# The command set: several commands per line, V0, Q1, errors, S registers.
simulator_start --profile E0
expect_reply "AT alone" '\r\nOK\r\n' 9600 AT
expect_reply "two information texts on one line" \
  '\r\nV2.41.07-K56_V92_DLS\r\n\r\nNORDKAPP DATACOM NK-5600 V.92 Data/Fax Modem\r\nSerial NK0416220375\r\n\r\nOK\r\n' 9600 ATI3I7
expect_reply "blanks and lower case" '\r\nNK-5600 V.92 Data/Fax Modem\r\n\r\nOK\r\n' 9600 'at +gmm'
expect_reply "AT+CGMI" '\r\nNORDKAPP DATACOM\r\n\r\nOK\r\n' 9600 AT+CGMI
expect_reply "extended commands joined by ;" '\r\n2.41.07\r\n\r\nNK0416220375\r\n\r\nOK\r\n' 9600 'AT+GMR;+GSN'
expect_reply "unknown command" '\r\nERROR\r\n' 9600 ATI9
expect_reply "unknown extended command" '\r\nERROR\r\n' 9600 AT+XYZ
expect_reply "semicolon after a basic command" '\r\n56000\r\n\r\nERROR\r\n' 9600 'ATI0;ATI1'
expect_reply "S register set and read" '\r\n007\r\n\r\nOK\r\n' 9600 'ATS7=7S7?'
expect_reply "fax class read" '\r\n0\r\n\r\nOK\r\n' 9600 'AT+FCLASS?'
expect_reply "V0 switches to digits" '0\r' 9600 ATV0
expect_reply "V0 information text" '56000\r\n0\r' 9600 ATI0
expect_reply "V0 error" '4\r' 9600 ATI8
expect_reply "Q1 keeps texts, drops codes" '56000\r\n' 9600 ATQ1I0
expect_reply "Z restores E1 Q0 V1" '\r\nOK\r\n' 9600 ATZ
expect_reply "echo after Z" 'AT\r\r\nOK\r\n' 9600 AT
expect_reply "a line without AT gets its echo only" 'hello\r' 9600 hello
simulator_stop

# Scripted misbehaviour.
simulator_start --profile E0 --speeds 115200 \
  --on '@9600#1' error --on ATI3 silent --on ati4 error --on ATI5 lower --on ATI6 flood:400 \
  --on ATI1 'late:400' --on ATI7 'late:3000' --on 'AT+GMM' 'text:Model\r\nX' --on ATI2 'raw:\xff0\r' \
  --on AT+GMI xoff
expect_reply "ERROR once at 9600" '\r\nERROR\r\n' 9600 ATQ0V1E0
expect_reply "then silence at 9600" '' 9600 ATQ0V1E0
expect_reply "silent command" '' 115200 ATI3
expect_reply "error command" '\r\nERROR\r\n' 115200 ATI4
expect_reply "lower-case answer" '\r\nb5\r\n\r\nok\r\n' 115200 ATI5
check "flood of more than 250 bytes is cut by the reader" test "$(exchange 115200 ATI6 | sed 's/\\r/R/g; s/\\n/N/g' | wc -c)" -eq 251
expect_reply "custom text" '\r\nModel\r\nX\r\n\r\nOK\r\n' 115200 AT+GMM
expect_reply "raw answer" '\xff0\r' 115200 ATI2
expect_reply "late answer inside a long wait" '\r\n062\r\n\r\nOK\r\n' 115200 ATI1 --wait 1000
expect_reply "late answer after a short wait" '' 115200 ATI7
expect_reply "next command unharmed" '\r\n56000\r\n\r\nOK\r\n' 115200 ATI0
check "a late answer for a closed port is dropped" simulator_wait_log '^drop .* seq=[0-9]+ tx="\\r\\nNORDKAPP.*OK\\r\\n" why=port-closed' 5
check "log: the delay" log_has 'rx="ATI7\r\n" tx="\r\nNORDKAPP DATACOM NK-5600 V.92 Data/Fax Modem\r\nSerial NK0416220375\r\n\r\nOK\r\n" delay=3000 act=late:3000'
expect_reply "XOFF is taken by the line, the answer arrives" '\r\nNORDKAPP DATACOM\r\n\r\nOK\r\n' 115200 AT+GMI
expect_reply "then the output stays stopped" 'error: write: blocked' 115200 AT
check "no XON follows" log_has 'tx="\x13\r\nNORDKAPP DATACOM\r\n\r\nOK\r\n"'
simulator_stop

# Disappearing mid-run: two answers, then a hang-up during the third exchange.
simulator_start --vanish-after 2 --profile E0
pty=$SIMULATOR_PTY
expect_reply "first exchange" '\r\nOK\r\n' 9600 AT
expect_reply "second exchange" '\r\nOK\r\n' 9600 AT
expect_reply "third exchange fails" 'error: FIONREAD: Input/output error' 9600 AT
check "the port is gone" test ! -e "$pty"
check "vanish is logged" simulator_wait_log '^vanish .* seq=3$'
simulator_stop

# The link for Wine's COM ports and the end by SIGINT.
dir=$(mktemp -d)
simulator_start --link "$dir/com5"
check "link points at the slave" test "$(readlink "$dir/com5")" == "$SIMULATOR_PTY"
kill -INT "$SIMULATOR_PID"
check "link removed at the end" simulator_wait_log '^stop .* signal=2$'
sleep 0.1
check "link gone" test ! -L "$dir/com5"
simulator_stop
rmdir "$dir"

finish
